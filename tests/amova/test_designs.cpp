// The AMOVA engine and its designs: sums of squares, variance components
// and fixation indices checked by hand and against a plain pair-by-pair
// calculation, the permutation tests, and the checks that refuse a structure
// or lists that do not fit.

#include <gtest/gtest.h>

#include <algorithm>
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
#include "amova/amova_results.h"
#include "core/random.h"
#include "core/xml.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "project/DistMat.h"
#include "project/Samples.h"
#include "project/pass_results.h"
#include "project/Structure.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;
using Copies = std::vector<int>;            // haplotype index of each gene copy of a sample
using Groups = std::vector<std::vector<Copies>>;  // samples of each group

// The observed part of a record, in one order for all comparisons: d.f. of
// the components and the total, the sums by level and the total, the
// components and their total, FST, FSC, FCT.
std::vector<double> observed(amova_results const& r) {
    return {double(r.df1), double(r.df2), double(r.df3), double(r.df_total), r.SS1, r.SS2, r.SS3, r.SST,
            r.V1,          r.V2,          r.V3,          r.VT,               r.FST, r.FSC, r.FCT};
}

void expect_close(std::vector<double> const& got, std::vector<double> const& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], 1e-9 * std::max(1.0, std::fabs(want[i]))) << "field " << i;
}

// An AMOVA written out pair by pair, as in the textbook: the sum of squared
// differences of a set of gene copies is the sum of the distances of its
// unordered pairs divided by its size. Returns the observed() layout.
template <class D>
std::vector<double> reference_amova(Groups const& groups, D const& d) {
    auto ssd = [&](Copies const& c) {
        double s = 0;
        for (std::size_t i = 0; i < c.size(); ++i)
            for (std::size_t j = i + 1; j < c.size(); ++j) s += d(c[i], c[j]);
        return s / static_cast<double>(c.size());
    };
    Copies all;
    double ssWG = 0, ssWP = 0, N = 0, sumN2 = 0, sumNg2 = 0, sumN2byGroup = 0;
    int P = 0;
    for (auto const& g : groups) {
        Copies pooled;
        double Ng = 0, n2 = 0;
        for (Copies const& s : g) {
            pooled.insert(pooled.end(), s.begin(), s.end());
            ssWP += ssd(s);
            Ng += static_cast<double>(s.size());
            n2 += static_cast<double>(s.size() * s.size());
            ++P;
        }
        all.insert(all.end(), pooled.begin(), pooled.end());
        ssWG += ssd(pooled);
        N += Ng;
        sumN2 += n2;
        sumNg2 += Ng * Ng;
        sumN2byGroup += n2 / Ng;
    }
    double const G = static_cast<double>(groups.size());
    double const ssT = ssd(all);
    if (G == 1) {
        double const dfAP = P - 1, dfWP = N - P;
        double const n0 = (N - sumN2 / N) / dfAP;
        double const vb = ssWP / dfWP;
        double const va = ((ssT - ssWP) / dfAP - vb) / n0;
        return {dfAP, dfWP, 0, N - 1, 0, ssT - ssWP, ssWP, ssT, va, vb, 0, va + vb, va / (va + vb), 0, 0};
    }
    double const dfAG = G - 1, dfAP = P - G, dfWP = N - P;
    double const n = (N - sumN2byGroup) / dfAP;
    double const n1 = (sumN2byGroup - sumN2 / N) / dfAG;
    double const n2 = (N - sumNg2 / N) / dfAG;
    double const vc = ssWP / dfWP;
    double const vb = ((ssWG - ssWP) / dfAP - vc) / n;
    double const va = ((ssT - ssWG) / dfAG - vc - n1 * vb) / n2;
    double const vt = va + vb + vc;
    return {dfAG, dfAP, dfWP, N - 1, ssT - ssWG, ssWG - ssWP, ssWP, ssT, va, vb, vc, vt,
            (va + vb) / vt, vb / (vb + vc), va / vt};
}

// Random binary sequences; the distance of two is their number of
// differing sites.
auto hamming_distances(std::mt19937& rng, int count, int sites) {
    std::vector<std::vector<int>> seq(static_cast<std::size_t>(count));
    for (auto& s : seq)
        for (int k = 0; k < sites; ++k) s.push_back(static_cast<int>(rng() % 2));
    return [seq](int i, int j) {
        double k = 0;
        for (std::size_t s = 0; s < seq[0].size(); ++s) k += seq[i][s] != seq[j][s];
        return k;
    };
}

// A sample of `size` copies drawn from haplotype weights.
Copies draw_sample(std::mt19937& rng, std::vector<double> const& weights, int size) {
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    Copies c(static_cast<std::size_t>(size));
    for (int& h : c) h = pick(rng);
    return c;
}

class DesignTest : public ::testing::Test {
protected:
    void SetUp() override {
        result_.open(dir_ / "proj.htm", std::ios::out | std::ios::trunc);
        run.ResultFile = &result_;
        run.ResultFileName = (dir_ / "proj.htm").string().c_str();
        run.MenuScriptFileName = (dir_ / "menu.js").string().c_str();
        run.NumPermutationsAMOVA = 0;
    }
    void TearDown() override {
        release_structure();
        result_.close();
    }

    // A distance matrix over `n` haplotypes with entries d(i, j).
    template <class D>
    void set_distances(int n, D const& d) {
        dist = std::make_unique<DistMat>(n);
        dist->MatrixSize = n;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < i; ++j) (*dist)(i, j) = d(i, j);
        defs.clear();
        for (int i = 0; i < n; ++i) {
            defs.push_back(std::make_unique<HaploDef>());
            defs.back()->matrixIndex = i;
        }
    }
    // The samples of `groups`, structured by group; ids follow the structure. Each copy is its own
    // list entry, in the haplotype list and in the gene-copy list alike, so
    // both roads lay the copies out the same way.
    void set_data(Groups const& groups) {
        release_structure();
        samples.clean();
        std::vector<Copies const*> flat;
        for (auto const& g : groups)
            for (Copies const& s : g) flat.push_back(&s);
        std::vector<Population*> byStructure(flat.size());
        for (std::size_t k = 0; k < flat.size(); ++k) {
            auto* p = new Population(my_string(names_[k % names_.size()].c_str()));
            for (int h : *flat[k]) {
                p->haplotypes.Add(new PHaploDef{defs[static_cast<std::size_t>(h)].get(), 1});
                p->geneCopies.Add(new PHaploDef{defs[static_cast<std::size_t>(h)].get(), 1});
            }
            p->SampleSize = static_cast<double>(flat[k]->size());
            samples.Populations.Add(p);
            byStructure[k] = p;
        }
        structure.NbGroups = static_cast<int>(groups.size());
        structure.GroupSizes = std::make_unique<int[]>(groups.size());
        structure.Groups = std::make_unique<PopulationGroup[]>(groups.size());
        structure.NbSamplesInGroups = 0;
        int id = 0;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            structure.Groups[g].owns = false;
            for (std::size_t j = 0; j < groups[g].size(); ++j) {
                Population* p = byStructure[static_cast<std::size_t>(id)];
                p->id = id++;
                structure.Groups[g].Add(p);
            }
            structure.GroupSizes[g] = static_cast<int>(groups[g].size());
            structure.NbSamplesInGroups += structure.GroupSizes[g];
        }
    }
    void release_structure() {
        if (structure.Groups)
            for (int g = 0; g < structure.NbGroups; ++g) structure.Groups[g].owns = false;
    }
    // Haplotypic data (designs 3 and 5) or unphased genotypes with the
    // individual level and conventional F-statistics (designs 7 and 8).
    void set_kind(bool unphasedGenotypes) {
        samples.GenotypicData = unphasedGenotypes ? 1 : 0;
        samples.GameticPhase = 0;
        run.IncludeIndividualLevel = unphasedGenotypes ? 1 : 0;
        run.ComputeConventionalFST = unphasedGenotypes ? 1 : 0;
    }
    std::unique_ptr<Amova> build() {
        run.TaskNumber = 512;
        run.HaplAMOVA = 1;
        record = amova_results();
        line = AmovaLine{};
        return std::make_unique<Amova>(run, &structure, &samples, dist.get(), nullptr, nullptr, nullptr, 1, 0,
                                       &record, &line);
    }
    // An engine whose constructor ran no analysis, initialised by hand, so
    // that a design can be called directly.
    std::unique_ptr<Amova> prepared() {
        run.TaskNumber = 0;
        record = amova_results();
        line = AmovaLine{};
        auto e = std::make_unique<Amova>(run, &structure, &samples, dist.get(), nullptr, nullptr, nullptr, 1, 0,
                                         &record, &line);
        e->initialize();
        run.build_sigm_histo_f_name();
        return e;
    }
    std::string result_text() {
        result_.flush();
        std::ifstream in(dir_ / "proj.htm", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    // First, so that it outlives the members below.
    test::Saved<bool> xml_{xmlOutput, false};

protected:
    test::LogGuard log{"quintle_designs"};
    settings run;
    Samples samples;
    Structure structure;
    std::unique_ptr<DistMat> dist;
    amova_results record;
    // What the engine hands to the statistics line.
    AmovaLine line;
    std::vector<std::unique_ptr<HaploDef>> defs;

private:
    fs::path const& dir_ = log.dir();
    std::fstream result_;
    std::vector<std::string> names_{"Aaa", "Bbb", "Ccc", "Ddd", "Eee", "Fff", "Ggg", "Hhh"};
};

double unit(int i, int j) { return i == j ? 0.0 : 1.0; }

// --- observed tables -------------------------------------------------------------

TEST_F(DesignTest, WorkedByHand) {
    set_distances(2, unit);

    // Copies {0,0,1} and {1,1}: 6 differing pairs, SST = 6/5; within 2/3
    // and 0; n0 = 5 - 13/5 = 2.4; Va = (8/15 - 2/9) / 2.4 = 7/54, Vb = 2/9.
    set_data({{{0, 0, 1}, {1, 1}}});
    build();
    EXPECT_EQ(record.type, 1);
    expect_close(observed(record),
                 {1, 3, 0, 4, 0, 8.0 / 15, 2.0 / 3, 6.0 / 5, 7.0 / 54, 2.0 / 9, 0, 19.0 / 54, 7.0 / 19, 0, 0});
    EXPECT_TRUE(line.indices.fst && !line.indices.fct);
    EXPECT_DOUBLE_EQ(*line.indices.fst, 7.0 / 19);
    std::string text = result_text();
    EXPECT_NE(text.find(" Among\n populations      1          0.533        0.12963 Va            36.84\n\n"
                        " Within\n populations      3          0.667        0.22222 Vb            63.16\n" +
                        std::string(70, '-') + "\n Total            4          1.200        0.35185\n" +
                        std::string(70, '-') + "\n Fixation Index      FST :      0.36842\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Significance tests"), std::string::npos);  // no permutations asked
    EXPECT_EQ(record.perm_values1.count, 0);
    EXPECT_EQ(record.P_FST, 0.0);

    // {0,0} {0,1} | {1,1} {1,1}: SST = 15/8, groups 3/4 and 0, within 1/2;
    // n = 2, n' = 2, n'' = 4; Vc = 1/8, Vb = 0, Va = (9/8 - 1/8) / 4.
    set_data({{{0, 0}, {0, 1}}, {{1, 1}, {1, 1}}});
    std::size_t const before = result_text().size();
    build();
    EXPECT_EQ(record.type, 3);
    expect_close(observed(record),
                 {1, 2, 4, 7, 1.125, 0.25, 0.5, 1.875, 0.25, 0, 0.125, 0.375, 2.0 / 3, 0, 2.0 / 3});
    EXPECT_TRUE(line.indices.fst && line.indices.fct && line.indices.fsc);
    EXPECT_DOUBLE_EQ(*line.indices.fct, 2.0 / 3);
    text = result_text().substr(before);
    EXPECT_NE(text.find(" Among\n groups           1          1.125        0.25000 Va            66.67\n\n"
                        " Among\n populations\n within\n groups           2          0.250        0.00000 Vb"
                        "             0.00\n\n Within\n populations      4          0.500        0.12500 Vc"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" Fixation Indices\n      FSC :      0.00000\n      FST :      0.66667\n"
                        "      FCT :      0.66667\n---"),
              std::string::npos);
}

TEST_F(DesignTest, AgreesWithAPairByPairCalculation) {
    std::mt19937 rng(20240611);
    auto const d = hamming_distances(rng, 9, 15);
    set_distances(9, d);
    std::vector<double> const w1{5, 3, 1, 1, 0.5, 0.5, 0.2, 0.2, 0.1}, w2{0.2, 1, 3, 4, 2, 1, 0.5, 0.3, 0.3};
    Groups const oneGroup{{draw_sample(rng, w1, 23), draw_sample(rng, w2, 31), draw_sample(rng, w1, 18)}};
    Groups const twoGroups{{draw_sample(rng, w1, 23), draw_sample(rng, w1, 40)},
                           {draw_sample(rng, w2, 17), draw_sample(rng, w2, 29), draw_sample(rng, w1, 35)}};
    for (Groups const* data : {&oneGroup, &twoGroups}) {
        set_data(*data);
        build();
        expect_close(observed(record), reference_amova(*data, d));
        EXPECT_GT(record.FST, 0.01);  // the samples differ
    }
}

// Designs that move individuals (here design 7) keep the two copies of each
// individual side by side, in their order.
TEST_F(DesignTest, IndividualsMoveAsWholeUnits) {
    run.NumPermutationsAMOVA = 40;
    set_distances(16, [](int i, int j) { return static_cast<double>(std::abs(i - j)); });
    set_data({{{0, 1, 2, 3}, {4, 5, 6, 7, 8, 9}, {10, 11}, {12, 13, 14, 15}}});
    set_kind(true);
    auto engine = prepared();
    ASSERT_EQ(engine->AMOVA_1G_P_IH(), 1);
    std::vector<int> const& v = engine->HaplotypeIndexVector;
    bool moved = false;
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(v[2 * k] % 2, 0);
        EXPECT_EQ(v[2 * k + 1], v[2 * k] + 1);
        moved = moved || v[2 * k] != 2 * k;
    }
    EXPECT_TRUE(moved);
}

// --- permutation tests ----------------------------------------------------------

TEST_F(DesignTest, PValuesAreReproducibleForASeed) {
    std::mt19937 rng(99);
    set_distances(4, unit);
    std::vector<double> const w{1, 1, 1, 1};
    set_data({{draw_sample(rng, w, 10), draw_sample(rng, w, 12)}, {draw_sample(rng, w, 9), draw_sample(rng, w, 11)}});
    run.NumPermutationsAMOVA = 30;
    auto run_with = [&](long seed) {
        initialize_ran3(seed);
        build();
        std::vector<double> out{record.P_FST, record.P_FSC, record.P_FCT};
        for (auto const* list : {&record.perm_values1, &record.perm_values2, &record.perm_values3}) {
            EXPECT_EQ(list->count, 35);  // 30 raised to whole blocks: 5 blocks of 7
            out.insert(out.end(), list->data, list->data + list->count);
        }
        return out;
    };
    std::vector<double> const first = run_with(-4242);
    EXPECT_EQ(run_with(-4242), first);
    EXPECT_NE(run_with(-4243), first);
}

// With the null distributions kept: one file per component (the samples
// listed in that of Va, the among-group test's arrangements), the
// histogram of the three columns and the P values closing the batch line.
TEST_F(DesignTest, NullFilesHistogramAndBatchLineFollowTheTests) {
    std::mt19937 rng(7);
    set_distances(4, unit);
    std::vector<double> const w{3, 1, 1, 2};
    set_data({{draw_sample(rng, w, 8), draw_sample(rng, w, 6)}, {draw_sample(rng, w, 7), draw_sample(rng, w, 9)}});
    run.NumPermutationsAMOVA = 10;  // 3 blocks of 4: 12 permutations, 3 classes
    run.KeepNullDistrib = 1;
    fs::path const batchPath = fs::path(run.ResultFileName.c_str()).parent_path() / "amovares.sum";
    std::ofstream batch(batchPath);
    _AMOVA_RES_ = 1;
    ofs_amova_res = &batch;
    initialize_ran3(-11);
    build();
    batch.close();
    _AMOVA_RES_ = 0;  // the stream goes with this test
    ofs_amova_res = nullptr;

    auto read = [](fs::path const& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    auto sorted = [](MY_TArrayAsVector<double> const& list) {
        std::vector<double> v(list.data, list.data + list.count);
        std::sort(v.begin(), v.end());
        return v;
    };
    fs::path const base = fs::path(run.ResultFileName.c_str()).replace_extension();
    // Files of Vb and Vc: the sorted null values, one per line.
    for (auto [suffix, list] : {std::pair{".vb", &record.perm_values2}, std::pair{".vc", &record.perm_values3}}) {
        SCOPED_TRACE(suffix);
        std::string const text = read(fs::path(base.string() + suffix));
        ASSERT_NE(text.find("Number of permutations : 12\n"), std::string::npos);
        EXPECT_EQ(text.find("List of populations"), std::string::npos);
        std::istringstream lines(text.substr(text.rfind("============\n\n") + 14));
        std::vector<double> values;
        for (std::string line; std::getline(lines, line);) values.push_back(std::stod(line));
        ASSERT_EQ(values.size(), 12u);
        std::vector<double> const want = sorted(*list);
        for (std::size_t k = 0; k < values.size(); ++k) EXPECT_NEAR(values[k], want[k], 1e-9);
    }
    // File of Va: the samples, then each arrangement of samples in groups.
    std::string const va = read(fs::path(base.string() + ".va"));
    EXPECT_NE(va.find("List of populations:\n\n   1 : Aaa\n   2 : Bbb\n   3 : Ccc\n   4 : Ddd\n"), std::string::npos);
    std::size_t arrangements = 0;
    for (std::size_t at = va.find("]\t\t"); at != std::string::npos; at = va.find("]\t\t", at + 1)) ++arrangements;
    EXPECT_EQ(arrangements, 12u);

    std::string const text = result_text();
    std::size_t const histogram = text.find("Histogram of variance components null distributions");
    ASSERT_NE(histogram, std::string::npos);
    std::istringstream rows(text.substr(histogram));
    std::string line;
    for (int k = 0; k < 4; ++k) std::getline(rows, line);
    EXPECT_EQ(line, "                  Va                  Vb                  Vc");
    long counts[3] = {};
    for (int c = 0; c < 3; ++c) {
        std::getline(rows, line);
        std::istringstream cells(line);
        double middle = 0;
        for (long& n : counts) {
            long k = 0;
            cells >> middle >> k;
            n += k;
        }
    }
    for (long n : counts) EXPECT_EQ(n, 12) << "every null value in a class";
    EXPECT_NE(text.find("Observed  values:\n-----------------\nVa : "), std::string::npos);

    // Second half of the batch line: the count, then P of FCT, FSC and FST.
    std::string const line_text = read(batchPath);
    std::ostringstream tail;
    tail << "\t12\t" << record.P_FCT << "\t" << record.P_FSC << "\t" << record.P_FST << "\t0\n";
    ASSERT_GE(line_text.size(), tail.str().size());
    EXPECT_EQ(line_text.substr(line_text.size() - tail.str().size()), tail.str());
}

TEST_F(DesignTest, DesignsGiveUpCleanly) {
    set_distances(2, unit);
    struct Case {
        int (Amova::*design)();
        Groups data;
        char const* name;
    };
    Case const cases[] = {
        {&Amova::AMOVA_1G_P_H, {{{0, 1}, {}}}, "Amova::AMOVA_1G_P_H()"},              // a sample without copies
        {&Amova::AMOVA_G_P_H, {{{0, 1}, {1}}, {{}, {1, 1}}}, "Amova::AMOVA_G_P_H()"},  // the same in a group
        {&Amova::AMOVA_1G_P_IH, {{{0, 1}, {}}}, "Amova::AMOVA_1G_P_IH()"},            // a sample without copies
        {&Amova::AMOVA_G_P_IH, {{{0, 1}}, {{1, 1}}}, "Amova::AMOVA_G_P_IH()"},        // one sample per group
        {&Amova::AMOVA_1G_P_H, {{{0}, {1}, {1}}}, "Amova::AMOVA_1G_P_H()"},           // one copy per sample
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        set_data(c.data);
        auto engine = prepared();
        std::size_t const before = log.text().size();
        EXPECT_EQ(((*engine).*c.design)(), 0);
        EXPECT_NE(log.text().find("from function \"" + std::string(c.name) + "\" : ill-defined genetic structure",
                                  before),
                  std::string::npos);
        EXPECT_EQ(record.df_total, 0);  // nothing stored
    }
}

// The indices are stored when the table is written, before the tests: an
// analysis abandoned during a test still leaves them for the statistics line.
// Designs 1G_P_IH and G_P_IH refuse only what the gene-copy designs refuse:
// a sample of an odd number of copies (an individual with one allele
// missing at a locus) runs, with the observed values of the gene-copy
// design, its odd copy moving as a unit of its own.
TEST_F(DesignTest, OddSamplesRunInTheDesignsThatPermuteIndividuals) {
    set_distances(2, unit);
    run.NumPermutationsAMOVA = 10;
    struct Case {
        int (Amova::*copies)();
        int (Amova::*individuals)();
        Groups data;
    };
    Case const cases[] = {
        {&Amova::AMOVA_1G_P_H, &Amova::AMOVA_1G_P_IH, {{{0, 1}, {1, 1, 0}, {0, 0, 0, 1, 1}}}},
        {&Amova::AMOVA_G_P_H, &Amova::AMOVA_G_P_IH, {{{0, 1, 1}, {1, 1, 0, 1}}, {{0, 0, 1}, {0, 0}}}},
    };
    for (Case const& c : cases) {
        set_data(c.data);
        auto engine = prepared();
        ASSERT_EQ(((*engine).*c.copies)(), 1);
        std::vector<double> const want = observed(record);
        engine = prepared();
        EXPECT_FALSE(engine->individual_units.empty());
        std::size_t const before = log.text().size();
        EXPECT_EQ(((*engine).*c.individuals)(), 1);
        expect_close(observed(record), want);
        EXPECT_EQ(record.perm_values1.count, 12) << "the test of Va ran";
        EXPECT_EQ(log.text().find("ill-defined genetic structure", before), std::string::npos);
    }
}

TEST_F(DesignTest, IndicesStoredBeforeAFatalErrorStay) {
    set_distances(3, unit);
    set_data({{{0, 0, 1}, {1, 1}}, {{1, 2, 2}, {2, 2, 0}}});
    run.NumPermutationsAMOVA = 10;
    auto engine = prepared();
    // The Vb test reloads the lists; one that no longer fits the matrix
    // stops the analysis there.
    defs[2]->matrixIndex = 7;
    EXPECT_THROW(engine->AMOVA_G_P_H(), Amova::AmovaFatalError);
    EXPECT_NE(log.text().find("\"Amova::load_HaplotypeIndexVector()\" : array out of bounds"), std::string::npos);
    ASSERT_TRUE(line.indices.fst && line.indices.fct && line.indices.fsc);
    EXPECT_EQ(*line.indices.fst, record.FST);
    EXPECT_EQ(*line.indices.fct, record.FCT);
    EXPECT_EQ(*line.indices.fsc, record.FSC);
    EXPECT_GT(record.FST, 0.1);
    EXPECT_EQ(record.perm_values3.count, 12) << "the Vc test ran";
}

// --- mended behaviour -------------------------------------------------------------

TEST_F(DesignTest, NegativePermutationCountMeansNone) {
    set_distances(2, unit);
    set_data({{{0, 0, 1}, {1, 1}}});
    run.NumPermutationsAMOVA = -50;
    EXPECT_EQ(build()->nb_perm, 0);
    EXPECT_DOUBLE_EQ(record.FST, 7.0 / 19);
    EXPECT_EQ(record.perm_values1.count, 0);
    EXPECT_EQ(result_text().find("Significance tests"), std::string::npos);
}

TEST_F(DesignTest, SampleSpecificFstArrayIsZeroFilled) {
    set_distances(2, unit);
    set_data({{{0, 0, 1}, {1, 1}, {0, 1}}});
    build();
    EXPECT_EQ(std::vector<double>(record.pop_FST.data, record.pop_FST.data + record.pop_FST.count),
              std::vector<double>(3, 0.0));
}

// Ids that do not follow the structure, and lists that do not fit their
// sample's size or the matrix, stop the analysis before anything is loaded.
TEST_F(DesignTest, IllNumberedStructureAndUnfitListsAreRefused) {
    set_distances(3, unit);
    for (int c = 0; c < 2; ++c) {
        set_data({{{0, 1}, {1, 2}}, {{0, 0}}});
        if (c == 0)
            std::swap(samples.Populations.data[0]->id, samples.Populations.data[1]->id);
        else
            samples.Populations.data[2]->id = 5;
        std::size_t const before = log.text().size();
        EXPECT_THROW(build(), Amova::AmovaFatalError);
        EXPECT_NE(log.text().find("from function \"Amova::initialize()\" : ill-defined genetic structure", before),
                  std::string::npos);
    }
    struct Case {
        double size;
        int index;
        char const* message;
    };
    Case const cases[] = {
        {1.0, 2, "array out of bounds"},             // counts beyond the size
        {3.0, 2, "ill-defined genetic structure"},   // counts short of the size
        {2.5, 2, "ill-defined genetic structure"},   // size not whole
        {2.0, 3, "array out of bounds"},             // index beyond the matrix
        {2.0, -1, "array out of bounds"},            // negative index
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.message);
        set_data({{{0, 1}, {1, 2}}});
        samples.Populations.data[1]->SampleSize = c.size;
        defs[2]->matrixIndex = c.index;
        std::size_t const before = log.text().size();
        EXPECT_THROW(build(), Amova::AmovaFatalError);
        EXPECT_NE(log.text().find(std::string("from function \"Amova::load_HaplotypeIndexVector()\" : ") + c.message,
                                  before),
                  std::string::npos);
        for (long i = 0; i < samples.Populations.count; ++i)
            EXPECT_EQ(samples.Populations.data[i]->perm_vector_size, 0);
    }
}

// --- individual level ------------------------------------------------------------

// Four haplotypes 0000, 0011, 0111, 1111 (distance: differing sites) and
// phased individuals, two adjacent copies each, in four samples.
double four_sites(int i, int j) {
    static char const* const seq[] = {"0000", "0011", "0111", "1111"};
    double k = 0;
    for (int s = 0; s < 4; ++s) k += seq[i][s] != seq[j][s];
    return k;
}
Copies const popA{0, 0, 0, 1, 1, 1}, popB{0, 1, 1, 2, 0, 0, 2, 2}, popC{2, 3, 3, 3, 2, 2},
    popD{3, 3, 1, 3, 2, 3, 3, 2};

class IndividualDesignTest : public DesignTest {
protected:
    void SetUp() override {
        DesignTest::SetUp();
        set_distances(4, four_sites);
        samples.GenotypicData = 1;
        samples.GameticPhase = 1;
        run.IncludeIndividualLevel = 1;
    }
    std::vector<double> pop_fis() const {
        return std::vector<double>(record.pop_FIS.data, record.pop_FIS.data + record.pop_FIS.count);
    }
};

// Reference: ade4::amova with the individuals as samples (a haplotype x
// individual count table), distances as.dist(sqrt(D)) with D the numbers of
// differing sites, and structures data.frame(pop) or data.frame(pop, group)
// (none for one sample); Sum Sq, Sigma and Phi printed with digits = 15.
TEST_F(IndividualDesignTest, TablesMatchAde4) {
    struct Case {
        Groups data;
        int type;
        std::vector<double> df, ss, v;  // components in table order
        double fis, fst, fsc, fct, fit;
    };
    Case const cases[] = {
        // amova(m, d): one sample (B).
        {{{popB}}, 6, {3, 4}, {4.125, 1.5}, {0.5, 0.375}, 0.571428571428571, 0, 0, 0, 0},
        // amova(m, d, data.frame(pop)): A, B, C.
        {{{popA, popB, popC}},
         2,
         {2, 7, 10},
         {5.775, 7.125, 3.0},
         {0.283279220779221, 0.358928571428572, 0.3},
         0.544715447154472,
         0.300654720882150,
         0,
         0,
         0.681598897312199},
        // amova(m, d, data.frame(pop, group)): {A, B}, {C, D}.
        {{{popA, popB}, {popC, popD}},
         4,
         {1, 2, 10, 14},
         {8.428571428571427, 0.696428571428571, 7.875000000000002, 5.0},
         {0.578475765306122, -0.0640625, 0.215178571428572, 0.357142857142857},
         0.375975039001560,
         0,
         -0.126043039086517,
         0.532306338028169,
         0.671361502347418},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.type);
        set_data(c.data);
        build();
        EXPECT_EQ(record.type, c.type);
        std::vector<double> const df{double(record.df1), double(record.df2), double(record.df3),
                                     double(record.df4)};
        std::vector<double> const v{record.V1, record.V2, record.V3, record.V4};
        // Sums by level: one sample starts at SS3, one group at SS2.
        std::vector<double> const ss{record.SS1, record.SS2, record.SS3, record.SS4};
        std::size_t const first = 4 - c.ss.size();
        double total = 0;
        for (std::size_t k = 0; k < c.df.size(); ++k) {
            EXPECT_EQ(df[k], c.df[k]) << k;
            EXPECT_NEAR(ss[first + k], c.ss[k], 1e-12) << k;
            EXPECT_NEAR(v[k], c.v[k], 1e-12) << k;
            total += c.v[k];
        }
        EXPECT_NEAR(record.VT, total, 1e-12);
        EXPECT_NEAR(record.FIS, c.fis, 1e-12);
        EXPECT_NEAR(record.FST, c.fst, 1e-12);
        EXPECT_NEAR(record.FSC, c.fsc, 1e-12);
        EXPECT_NEAR(record.FCT, c.fct, 1e-12);
        EXPECT_NEAR(record.FIT, c.fit, 1e-12);
        EXPECT_TRUE(line.indices.fis);
        EXPECT_DOUBLE_EQ(*line.indices.fis, record.FIS);
    }
    // The design with groups gives FIS, FSC, FCT and FIT, and no FST.
    EXPECT_TRUE(line.indices.fsc && line.indices.fct && line.indices.fit);
    EXPECT_FALSE(line.indices.fst);
    std::string const text = result_text();
    EXPECT_NE(text.find(" Among\n individuals\n within\n populations     10          7.875        0.21518 Vc"
                        "            19.80\n Within\n individuals     14          5.000        0.35714 Vd"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" Total           27         22.000        1.08673\n"), std::string::npos);
    EXPECT_NE(text.find(" Fixation Index     FIS :      0.57143\n"), std::string::npos);
    EXPECT_NE(text.find(" Fixation Indices\n      FIS :      0.54472\n      FST :      0.30065\n"
                        "      FIT :      0.68160\n"),
              std::string::npos);
}

// FIS of each sample is that of the sample alone: ade4::amova of A alone and
// of C alone both give Phi-samples-total 0.5; B alone 0.571428571428571.
TEST_F(IndividualDesignTest, PopulationSpecificFisAndItsTable) {
    run.PopSpecificFIS = 1;
    set_data({{popA, popB, popC}});
    build();
    std::vector<double> const fis = pop_fis();
    ASSERT_EQ(fis.size(), 3u);
    EXPECT_NEAR(fis[0], 0.5, 1e-12);
    EXPECT_NEAR(fis[1], 0.571428571428571, 1e-12);
    EXPECT_NEAR(fis[2], 0.5, 1e-12);
    EXPECT_NE(result_text().find("\nPopulation specific FIS indices\n--------------------------\n"
                                 "  Pop#      Name      FIS\n--------------------------\n"
                                 "     1       Aaa   0.50000\n"),
              std::string::npos)
        << result_text();

    // With permutations, after the test among groups has shuffled the
    // groups: rows still follow the structure, each with its own values.
    run.NumPermutationsAMOVA = 20;  // 4 blocks of 6
    set_data({{popA, popB}, {popC, popD}});
    initialize_ran3(-5);
    std::size_t const before = result_text().size();
    build();
    std::string const text = result_text().substr(before);
    std::size_t const table = text.find("Population specific FIS indices (24 permutations)");
    ASSERT_NE(table, std::string::npos) << text;
    std::istringstream rows(text.substr(table));
    std::string line;
    for (int k = 0; k < 4; ++k) std::getline(rows, line);
    std::vector<double> const observed = pop_fis();
    char const* const names[] = {"Aaa", "Bbb", "Ccc", "Ddd"};
    for (int k = 0; k < 4; ++k) {
        std::getline(rows, line);
        std::istringstream cells(line);
        int number = 0;
        std::string name;
        double value = 0, p = -1;
        cells >> number >> name >> value >> p;
        EXPECT_EQ(number, k + 1);
        EXPECT_EQ(name, names[k]);
        EXPECT_NEAR(value, observed[static_cast<std::size_t>(k)], 1e-5);
        EXPECT_GE(p, 0.0);
        EXPECT_LE(p, 1.0);
    }
}

// Each test's P value and values list, the same for the same seed; the
// batch line of design 1G_P_I closes after the test of Va.
TEST_F(IndividualDesignTest, PermutationTestsOfEachDesign) {
    run.NumPermutationsAMOVA = 30;  // 5 blocks of 7
    std::ofstream batch(fs::path(run.ResultFileName.c_str()).parent_path() / "amovares.sum");
    _AMOVA_RES_ = 1;
    ofs_amova_res = &batch;
    struct Case {
        Groups data;
        std::vector<MY_TArrayAsVector<double>*> lists;
        std::vector<double*> p;
    };
    Case const cases[] = {
        {{{popB}}, {&record.perm_values1}, {&record.P_FIS}},
        {{{popA, popB, popC}},
         {&record.perm_values1, &record.perm_values2, &record.perm_values3},
         {&record.P_FST, &record.P_FIS, &record.P_FIT}},
        {{{popA, popB}, {popC, popD}},
         {&record.perm_values1, &record.perm_values2, &record.perm_values3, &record.perm_values4},
         {&record.P_FCT, &record.P_FSC, &record.P_FIS, &record.P_FIT}},
    };
    for (Case const& c : cases) {
        set_data(c.data);
        auto run_once = [&] {
            initialize_ran3(-31);
            build();
            std::vector<double> out;
            for (double* p : c.p) {
                EXPECT_GE(*p, 0.0);
                EXPECT_LE(*p, 1.0);
                out.push_back(*p);
            }
            for (auto* list : c.lists) {
                EXPECT_EQ(list->count, 35);
                out.insert(out.end(), list->data, list->data + list->count);
            }
            return out;
        };
        std::vector<double> const first = run_once();
        EXPECT_EQ(run_once(), first);
    }
    batch.close();
    _AMOVA_RES_ = 0;
    ofs_amova_res = nullptr;
    std::ifstream in(fs::path(run.ResultFileName.c_str()).parent_path() / "amovares.sum");
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 6u);
    // Second run of design 1G_P_I: first half, then K', P(Va), P(Vb), 0, 0.
    std::ostringstream tail;
    set_data(cases[1].data);
    initialize_ran3(-31);
    build();
    tail << "\t35\t" << record.P_FST << "\t" << record.P_FIS << "\t0\t0";
    EXPECT_EQ(lines[3].substr(lines[3].size() - tail.str().size()), tail.str()) << lines[3];
}

// All distances 0: no variance, every permuted value equal to the observed
// one, so every P value is 1.
TEST_F(IndividualDesignTest, NoVarianceGivesPOne) {
    set_distances(4, [](int, int) { return 0.0; });
    run.NumPermutationsAMOVA = 10;
    set_data({{popA, popB}, {popC, popD}});
    build();
    EXPECT_EQ(record.VT, 1e-18);
    EXPECT_EQ(record.FIS, 0.0);
    EXPECT_EQ(record.FSC, 0.0);
    for (double p : {record.P_FIT, record.P_FIS, record.P_FSC, record.P_FCT}) EXPECT_EQ(p, 1.0);
}

// Designs refuse a structure without degrees of freedom (G_P_I had no such
// check: its divisions by zero were printed and stored).
TEST_F(IndividualDesignTest, StructuresWithoutDegreesOfFreedomAreRefused) {
    struct Case {
        int (Amova::*design)();
        Groups data;
        char const* name;
    };
    Case const cases[] = {
        {&Amova::AMOVA_G_P_I, {{popA}, {popB}}, "Amova::AMOVA_G_P_I()"},                         // P = G
        {&Amova::AMOVA_G_P_I, {{{0, 1}, {2, 3}}, {{1, 1}, {3, 3}}}, "Amova::AMOVA_G_P_I()"},    // NI = P
        {&Amova::AMOVA_1G_P_I, {{{0, 1}, {2, 2}}}, "Amova::AMOVA_1G_P_I()"},                     // NI = P
        {&Amova::AMOVA_1G_1P_I, {{{0, 1}}}, "Amova::AMOVA_1G_1P_I()"},                           // one individual
        {&Amova::AMOVA_G_P_I, {{popA, {0, 1, 2}}, {popC, popD}}, "Amova::AMOVA_G_P_I()"},        // half an individual
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        set_data(c.data);
        auto engine = prepared();
        std::size_t const before = log.text().size();
        std::size_t const printed = result_text().size();
        EXPECT_EQ(((*engine).*c.design)(), 0);
        EXPECT_NE(log.text().find("from function \"" + std::string(c.name) + "\" : ill-defined genetic structure",
                                  before),
                  std::string::npos);
        EXPECT_EQ(record.df_total, 0);
        EXPECT_EQ(result_text().size(), printed);
    }
}

// A test without a null-value file name ends the design after its
// permutations: in 1G_P_I the test of Va (the second) reports an ERROR, the
// others a WARNING; the tests before it keep their P values.
TEST_F(IndividualDesignTest, MissingNullFileNameEndsTheDesign) {
    run.NumPermutationsAMOVA = 10;
    set_data({{popA, popB, popC}});
    struct Case {
        std::size_t file;
        char const* report;
        int testsDone;
    };
    Case const cases[] = {{0, "#[ERROR # ", 1}, {2, "#[WARNING # ", 2}};
    for (Case const& c : cases) {
        auto engine = prepared();
        run.SigmHistoFileNames[c.file] = "";
        std::size_t const before = log.text().size();
        EXPECT_EQ(engine->AMOVA_1G_P_I(), 0);
        std::string const text = log.text().substr(before);
        EXPECT_NE(text.find(c.report), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("\"Amova::AMOVA_1G_P_I()\" : missing file (Var ") +
                            (c.file == 0 ? "A" : "C") + " null distribution)"),
                  std::string::npos)
            << text;
        // 10 permutations run as 12; a test's values are kept even when its
        // file name is missing, the later tests do not run.
        EXPECT_EQ(record.perm_values2.count, 12);
        EXPECT_EQ(record.perm_values1.count, 12);
        EXPECT_EQ(record.perm_values3.count, c.testsDone >= 2 ? 12 : 0);
        EXPECT_EQ(record.P_FIT, 0.0);
    }
}

// Without PopSpecificFIS the record's FIS list holds zeros, not whatever
// the engine's array held.
TEST_F(IndividualDesignTest, FisListIsZeroWithoutPopulationSpecificFis) {
    set_data({{popA, popB}, {popC, popD}});
    build();
    EXPECT_EQ(pop_fis(), std::vector<double>(4, 0.0));
}

// Designs 3 and 5 divide by the gene copies even when the engine was built
// for the individual level.
TEST_F(IndividualDesignTest, GeneCopyDesignsIgnoreTheIndividualLevel) {
    set_data({{popA, popB}, {popC, popD}});
    for (int level : {0, 1}) {
        run.IncludeIndividualLevel = level;
        auto engine = prepared();
        ASSERT_EQ(engine->AMOVA_G_P_H(), 1);
        std::vector<double> const got = observed(record);
        run.IncludeIndividualLevel = 0;
        auto plain = prepared();
        ASSERT_EQ(plain->AMOVA_G_P_H(), 1);
        expect_close(got, observed(record));
        EXPECT_EQ(record.df3, 28 - 4);
    }
    set_data({{popA, popB, popC}});
    run.IncludeIndividualLevel = 1;
    auto engine = prepared();
    ASSERT_EQ(engine->AMOVA_1G_P_H(), 1);
    EXPECT_EQ(record.df2, 20 - 3);
}

}  // namespace
}  // namespace quintle

namespace quintle {
namespace {

// --- the design's result ----------------------------------------------------------

// The result a design returns, before any writer: two groups {A, B}, {C, D}
// of haplotypes 0, 1, 2 with squared distances d(0,1) = 1, d(0,2) = 3,
// d(1,2) = 2; A = {0,0,1,2}, B = {0,1,1}, C = {0,1,2,2,2}, D = {1,2,2}.
// Reference: R ade4,
//   amova(data.frame(A=c(2,1,1), B=c(1,2,0), C=c(1,1,3), D=c(0,1,2)),
//         as.dist(sqrt(matrix(c(0,1,3, 1,0,2, 3,2,0), 3, 3))),
//         data.frame(group=factor(c("g1","g1","g2","g2"))))
// printed with digits = 15: Sum Sq 2.079761904761904, 0.353571428571429,
// 7.7, total 10.133333333333333; Sigma 0.260696517412935,
// -0.145771144278607, 0.7, total 0.814925373134328; Phi-samples-total
// 0.141025641025641, Phi-samples-group -0.263016157989228, Phi-group-total
// 0.319902319902320.
TEST_F(DesignTest, GroupDesignReturnsItsComponentsAndTests) {
    set_distances(3, [](int i, int j) {
        static double const d[3][3] = {{0, 1, 3}, {1, 0, 2}, {3, 2, 0}};
        return d[i][j];
    });
    set_data({{{0, 0, 1, 2}, {0, 1, 1}}, {{0, 1, 2, 2, 2}, {1, 2, 2}}});
    run.NumPermutationsAMOVA = 20;  // 4 blocks of 6
    initialize_ran3(-77);
    auto engine = prepared();
    ASSERT_EQ(engine->AMOVA_G_P_H(), 1);
    AmovaDesignResult const& r = engine->design;
    EXPECT_EQ(r.design, 5);
    EXPECT_TRUE(r.computed);
    EXPECT_TRUE(r.finished);
    ASSERT_EQ(r.rows, 3);
    int const df[3] = {1, 2, 11};
    double const ss[3] = {2.079761904761904, 0.353571428571429, 7.7};
    double const v[3] = {0.260696517412935, -0.145771144278607, 0.7};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(r.df[k], df[k]) << k;
        EXPECT_NEAR(r.ss[k], ss[k], 1e-12) << k;
        EXPECT_NEAR(r.v[k], v[k], 1e-12) << k;
    }
    EXPECT_NEAR(r.total_ss, 10.133333333333333, 1e-12);
    EXPECT_NEAR(r.total_v, 0.814925373134328, 1e-12);
    EXPECT_EQ(r.total_df, 14);
    EXPECT_NEAR(r.FST, 0.141025641025641, 1e-12);
    EXPECT_NEAR(r.FSC, -0.263016157989228, 1e-12);
    EXPECT_NEAR(r.FCT, 0.319902319902320, 1e-12);
    EXPECT_EQ(r.names, (std::vector<std::string>{"Aaa", "Bbb", "Ccc", "Ddd"}));

    // The tests in their running order (Vc, Vb, Va), each with its P value
    // from its own counts and its permuted values; the record holds the same.
    EXPECT_EQ(r.permutations, 24);
    EXPECT_TRUE(r.tests_finished);
    ASSERT_EQ(r.tests.size(), 3u);
    char const* const names[] = {"Vc", "Vb", "Va"};
    for (std::size_t k = 0; k < 3; ++k) {
        AmovaTestOutcome const& t = r.tests[k];
        SCOPED_TRACE(names[k]);
        EXPECT_STREQ(t.name, names[k]);
        EXPECT_TRUE(t.complete);
        EXPECT_EQ(t.values.size(), 24u);
        EXPECT_DOUBLE_EQ(t.p, static_cast<double>(t.counted + t.equal) / 24);
        long beyond = 0;
        for (double x : t.values) beyond += k == 0 ? x < t.observed - 1e-10 : x > t.observed + 1e-10;
        EXPECT_EQ(beyond, t.counted);
        long in_classes = 0;
        for (long c : t.classes) in_classes += c;
        EXPECT_EQ(in_classes, 24);
    }
    EXPECT_EQ(record.P_FST, r.tests[0].p);
    EXPECT_EQ(record.P_FSC, r.tests[1].p);
    EXPECT_EQ(record.P_FCT, r.tests[2].p);
    EXPECT_EQ(std::vector<double>(record.perm_values1.data, record.perm_values1.data + record.perm_values1.count),
              r.tests[2].values);
    EXPECT_EQ(record.SS1, r.ss[0]);
    EXPECT_EQ(record.V2, r.v[1]);
}

// A design that gives up returns a result without components; one stopped
// part of the way returns the tests it ran, the stopped one without a P.
TEST_F(IndividualDesignTest, ResultOfADesignThatStops) {
    set_data({{{0, 1}, {1, 1, 0}}});
    auto failed = prepared();
    EXPECT_EQ(failed->AMOVA_1G_P_I(), 0);
    EXPECT_FALSE(failed->design.computed);
    EXPECT_TRUE(failed->design.tests.empty());

    run.NumPermutationsAMOVA = 10;
    set_data({{popA, popB, popC}});
    auto engine = prepared();
    run.SigmHistoFileNames[2] = "";  // the third test (Vc) has no null-value file
    EXPECT_EQ(engine->AMOVA_1G_P_I(), 0);
    AmovaDesignResult const& r = engine->design;
    EXPECT_TRUE(r.computed);
    EXPECT_FALSE(r.finished);
    EXPECT_FALSE(r.tests_finished);
    ASSERT_EQ(r.tests.size(), 3u);
    EXPECT_TRUE(r.tests[0].complete && r.tests[1].complete);
    EXPECT_FALSE(r.tests[2].complete);
    EXPECT_EQ(r.tests[2].values.size(), 12u);  // its permutations ran
    // The batch line's P values (those of Va and Vb) were due after the second test.
    EXPECT_TRUE(r.batch_p_due());
}

}  // namespace
}  // namespace quintle
