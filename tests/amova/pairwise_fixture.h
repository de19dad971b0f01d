#pragma once

// Sample sets built by hand for comparisons of pairs of samples (random DNA
// haplotypes at the rows of a distance matrix), a result file in a fresh
// directory, and independent reference calculations: a two-sample AMOVA over
// explicit gene copies, the pair shuffles written out again, a report reader.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "amova/Amova.h"
#include "core/random.h"
#include "core/xml.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "project/DistMat.h"
#include "project/Samples.h"
#include "project/pass_results.h"
#include "project/Structure.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle::pairwise_testing {

namespace fs = std::filesystem;

constexpr std::int64_t kPairwiseFst = 1024;

// Reseeds the run's generator: the draws that follow are reproducible.
inline void reseed(long seed) {
    long s = -seed;
    ran3(&s);
}

inline double next_draw() {
    long s = 1;
    return ran3(&s);
}

// Sum of distances over all pairs within one list of gene copies and
// between two lists, read straight from the matrix copy by copy.
inline double within_pairs(std::vector<int> const& copies, std::vector<std::vector<double>> const& d) {
    double sum = 0.0;
    for (std::size_t x = 0; x < copies.size(); ++x)
        for (std::size_t y = x + 1; y < copies.size(); ++y) sum += d[copies[x]][copies[y]];
    return sum;
}
inline double between_pairs(std::vector<int> const& a, std::vector<int> const& b,
                            std::vector<std::vector<double>> const& d) {
    double sum = 0.0;
    for (int x : a)
        for (int y : b) sum += d[x][y];
    return sum;
}

// The two-sample AMOVA written out from its definition: mean squares among
// and within the two samples, n coefficient, Va, Vb.
struct ReferenceAmova {
    double Va = 0.0, Vb = 0.0, FST = 0.0;
};
inline ReferenceAmova reference_amova(std::vector<int> const& a, std::vector<int> const& b,
                                      std::vector<std::vector<double>> const& d) {
    double const na = static_cast<double>(a.size());
    double const nb = static_cast<double>(b.size());
    double const N = na + nb;
    double const ssdWithin = within_pairs(a, d) / na + within_pairs(b, d) / nb;
    double const ssdTotal = (within_pairs(a, d) + within_pairs(b, d) + between_pairs(a, b, d)) / N;
    double const msdAmong = (ssdTotal - ssdWithin) / 1.0;  // 1 d.f. among two samples
    double const msdWithin = ssdWithin / (N - 2.0);
    double const n0 = N - (na * na + nb * nb) / N;
    ReferenceAmova r;
    r.Vb = msdWithin;
    r.Va = (msdAmong - msdWithin) / n0;
    r.FST = r.Va / (r.Va + r.Vb);
    return r;
}

// The pair shuffles, written out again: the second sample's stretch of the
// copies of a then b, gene copy by gene copy or individual by individual.
inline void reference_shuffle_copies(std::vector<int>& v, int na) {
    int const N = static_cast<int>(v.size());
    for (int t = N - 1; t > na; --t) {
        int const k = static_cast<int>(t * next_draw());
        std::swap(v[t], v[k]);
    }
}
inline void reference_shuffle_individuals(std::vector<int>& v, int na) {
    int const N = static_cast<int>(v.size());
    for (int t = N - 1; t > na + 1; t -= 2) {
        int const k = static_cast<int>(t * next_draw());
        int q = (k % 2 == 0) ? k + 1 : k;
        if (q >= N) q -= 2;
        std::swap(v[t], v[q]);
        std::swap(v[t - 1], v[q - 1]);
    }
}

// The cells of one row of a table in the report, the first table after
// `title`: the row's text after its label, split at blanks. The line of
// column numbers (1, 2, ...) is not a row.
inline std::vector<std::string> row_cells(std::string const& text, std::string const& title, int row) {
    std::size_t at = text.find(title);
    if (at == std::string::npos) return {};
    std::istringstream in(text.substr(at));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream cells(line);
        std::vector<std::string> tokens;
        for (std::string c; cells >> c;) tokens.push_back(c);
        if (tokens.empty() || tokens[0] != std::to_string(row)) continue;
        bool header = true;
        for (std::size_t k = 0; k < tokens.size(); ++k) header = header && tokens[k] == std::to_string(k + 1);
        if (header) continue;
        return std::vector<std::string>(tokens.begin() + 1, tokens.end());
    }
    return {};
}

inline std::string fixed5(double x) {
    std::ostringstream os;
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.precision(5);
    os << x;
    return os.str();
}

class PairwiseTest : public ::testing::Test {
protected:
    void SetUp() override {
        samples.set_data_context(DNA, '\0');
        result_.open(dir_ / "result.htm", std::ios::out | std::ios::trunc);
        run.ResultFile = &result_;
        run.ResultFileName = (dir_ / "result.htm").string().c_str();
        run.TaskNumber = kPairwiseFst;
        run.ComputePairwiseFST = 1;
        run.PrintFstVals = 1;
        run.ComputeDistanceMatrixAMOVA = 1;
        run.NumPermutationsFST = 0;
        run.FSTSignifLevel = 0.05;
        initialize_pellomar_global_objects();  // the distance-method names
    }
    void TearDown() override { result_.close(); }

    // K random haplotypes of `sites` sites; the matrix holds their numbers
    // of differing sites.
    void make_haplotypes(int K, int sites, unsigned seed) {
        std::mt19937 gen(seed);
        std::uniform_int_distribution<int> base(0, 3);
        std::vector<std::string> seqs(static_cast<std::size_t>(K));
        for (std::string& s : seqs)
            for (int i = 0; i < sites; ++i) s += "ACGT"[base(gen)];
        set_matrix(K, [&](int i, int j) {
            int diff = 0;
            for (int x = 0; x < sites; ++x) diff += seqs[i][x] != seqs[j][x];
            return static_cast<double>(diff);
        });
    }
    template <class F>
    void set_matrix(int K, F distance) {
        dist.create(K);
        dist.MatrixSize = K;
        d.assign(static_cast<std::size_t>(K), std::vector<double>(static_cast<std::size_t>(K), 0.0));
        for (int i = 0; i < K; ++i)
            for (int j = 0; j < K; ++j) d[i][j] = distance(i, j);
        for (int i = 0; i < K; ++i)
            for (int j = 0; j <= i; ++j) dist(i, j) = d[i][j];
        defs.clear();
        for (int i = 0; i < K; ++i) {
            defs.push_back(std::make_unique<HaploDef>());
            defs.back()->matrixIndex = i;
        }
    }

    // A haplotypic sample from (haplotype, count) entries; its id is its place.
    Population* add_sample(std::vector<std::pair<int, int>> const& entries) {
        auto* p = new Population(my_string(("pop" + std::to_string(samples.Populations.count)).c_str()));
        p->id = static_cast<int>(samples.Populations.count);
        double size = 0.0;
        for (auto [h, c] : entries) {
            p->haplotypes.Add(new PHaploDef{defs[h].get(), c});
            size += c;
        }
        p->SampleSize = size;
        samples.Populations.Add(p);
        copies.push_back(expand(entries));
        return p;
    }
    // An unphased diploid sample: one gamete-list entry per gene copy, the
    // two copies of an individual adjacent.
    Population* add_individuals(std::vector<std::pair<int, int>> const& people) {
        auto* p = new Population(my_string(("ind" + std::to_string(samples.Populations.count)).c_str()));
        p->id = static_cast<int>(samples.Populations.count);
        p->profile.GenotypicData = 1;
        std::vector<int> list;
        for (auto [h1, h2] : people) {
            for (int h : {h1, h2}) {
                p->geneCopies.Add(new PHaploDef{defs[h].get(), 1});
                list.push_back(h);
            }
        }
        p->SampleSize = static_cast<double>(list.size());
        samples.GenotypicData = 1;
        samples.GameticPhase = 0;
        samples.Populations.Add(p);
        copies.push_back(list);
        return p;
    }
    // K random samples of random sizes drawn from the haplotypes.
    void random_samples(int count, int minSize, int maxSize, unsigned seed) {
        std::mt19937 gen(seed);
        std::uniform_int_distribution<int> size(minSize, maxSize);
        std::uniform_int_distribution<int> hap(0, static_cast<int>(defs.size()) - 1);
        for (int s = 0; s < count; ++s) {
            std::vector<int> tally(defs.size(), 0);
            for (int n = size(gen); n > 0; --n) ++tally[hap(gen)];
            std::vector<std::pair<int, int>> entries;
            for (std::size_t h = 0; h < tally.size(); ++h)
                if (tally[h] > 0) entries.emplace_back(static_cast<int>(h), tally[h]);
            add_sample(entries);
        }
    }

    static std::vector<int> expand(std::vector<std::pair<int, int>> const& entries) {
        std::vector<int> out;
        for (auto [h, c] : entries) out.insert(out.end(), static_cast<std::size_t>(c), h);
        return out;
    }

    std::unique_ptr<Amova> build() {
        line = AmovaLine{};
        return std::make_unique<Amova>(run, &structure, &samples, &dist, nullptr, nullptr, nullptr, 1, 0, nullptr,
                                       &line);
    }
    std::string result_text() {
        result_.flush();
        std::ifstream in(dir_ / "result.htm", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    // First, so that they outlive the members below.
    test::ProfileGuard profile_{DNA};
    test::Saved<bool> xml_{xmlOutput, false};

protected:
    test::LogGuard log{"quintle_pairwise"};
    fs::path const& dir_ = log.dir();
    settings run;
    // What the last build handed to the statistics line.
    AmovaLine line;
    Samples samples;
    Structure structure;
    DistMat dist;
    std::vector<std::unique_ptr<HaploDef>> defs;
    std::vector<std::vector<double>> d;       // the distances, full square
    std::vector<std::vector<int>> copies;     // each sample's gene copies, in list order

private:
    std::fstream result_;
};

}  // namespace quintle::pairwise_testing
