// The permutation tests of the comparisons of pairs of samples, end to end
// on projects of several data types whose samples repeat their haplotypes:
// the real program's FST table, FST P values (with their deviations) and
// the P values of the mean differences against a computation written here
// over the explicit gene copies, copy pair by copy pair, which replays the
// program's draws from the same seed.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/random.h"
#include "core/scratch.h"

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "pairwise";

using Distance = std::function<double(std::string const&, std::string const&)>;

// The gene copies of each sample of a project, in the order of its lines:
// a haploid line gives its data `count` times; an individual's two lines
// give its two gametes, adjacent.
std::vector<std::vector<std::string>> read_copies(std::string const& text, bool diploid) {
    std::vector<std::vector<std::string>> samples;
    std::istringstream in(text);
    bool inData = false;
    for (std::string line; std::getline(in, line);) {
        if (line.find("SampleName=") != std::string::npos) samples.emplace_back();
        if (line.find("SampleData={") != std::string::npos) {
            inData = true;
            continue;
        }
        if (line.find('}') != std::string::npos) inData = false;
        if (!inData) continue;
        std::istringstream cells(line);
        std::vector<std::string> tokens;
        for (std::string c; cells >> c;) tokens.push_back(c);
        if (tokens.empty()) continue;
        if (diploid && tokens.size() == 1) {  // an individual's second gamete
            samples.back().push_back(tokens[0]);
            continue;
        }
        std::string data;
        for (std::size_t k = 2; k < tokens.size(); ++k) data += (k > 2 ? " " : "") + tokens[k];
        int const count = std::stoi(tokens[1]);
        for (int c = 0; c < (diploid ? 1 : count); ++c) samples.back().push_back(data);
    }
    return samples;
}

// Distances between two gene copies' data.
double differing_characters(std::string const& a, std::string const& b) {
    double d = 0.0;
    for (std::size_t k = 0; k < a.size() && k < b.size(); ++k) d += a[k] != b[k] ? 1.0 : 0.0;
    return d;
}
std::vector<std::string> words(std::string const& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}
double differing_words(std::string const& a, std::string const& b) {
    std::vector<std::string> const x = words(a), y = words(b);
    double d = 0.0;
    for (std::size_t k = 0; k < x.size(); ++k) d += x[k] != y[k] ? 1.0 : 0.0;
    return d;
}
double squared_size_differences(std::string const& a, std::string const& b) {
    std::vector<std::string> const x = words(a), y = words(b);
    double d = 0.0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        double const diff = std::stod(x[k]) - std::stod(y[k]);
        d += diff * diff;
    }
    return d;
}

// Sums over pairs of gene copies: within copies [from, to) of v, and
// between [0, na) and [na, size).
double within(std::vector<std::string> const& v, std::size_t from, std::size_t to, Distance const& d) {
    double sum = 0.0;
    for (std::size_t x = from; x < to; ++x)
        for (std::size_t y = x + 1; y < to; ++y) sum += d(v[x], v[y]);
    return sum;
}
double between(std::vector<std::string> const& v, std::size_t na, Distance const& d) {
    double sum = 0.0;
    for (std::size_t x = 0; x < na; ++x)
        for (std::size_t y = na; y < v.size(); ++y) sum += d(v[x], v[y]);
    return sum;
}

double draw() {
    long s = 1;
    return quintle::ran3(&s);
}

std::string fixed(double x, int decimals, int width = 0) {
    std::ostringstream os;
    os << std::fixed << std::setprecision(decimals) << std::setw(width) << x;
    return os.str();
}

// What the report shows of one pair, in its own formats.
struct PairCells {
    std::string fst, fstP, pixyP, correctedP;
};

// The test of every pair i < j, in the program's order, drawing from the
// run's generator: K' permutations in B blocks, the second sample's copies
// shuffled with the rest (individuals as pairs of copies), each
// arrangement's sums taken over its pairs of gene copies.
std::vector<std::vector<PairCells>> replay(std::vector<std::vector<std::string>> const& samples, Distance const& d,
                                           long K, bool individuals) {
    int const B = static_cast<int>(std::sqrt(static_cast<double>(K)));
    long const perBlock = K / B + 1;
    long const total = B * perBlock;
    std::size_t const n = samples.size();
    std::vector<std::vector<PairCells>> cells(n, std::vector<PairCells>(n));
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            std::vector<std::string> v = samples[i];
            v.insert(v.end(), samples[j].begin(), samples[j].end());
            std::size_t const sa = samples[i].size();
            double const na = static_cast<double>(sa);
            double const nb = static_cast<double>(samples[j].size());
            double const N = na + nb;
            double const c = 1.0 / (N - 2.0);
            double const nc = N - (na * na + nb * nb) / N;

            // The observed pair: the within sums are kept divided by the
            // sizes and multiplied back.
            double const wa = within(v, 0, sa, d) / na;
            double const wb = within(v, sa, v.size(), d) / nb;
            double const rawA = wa * na, rawB = wb * nb;
            double const S = between(v, sa, d);
            double const s = wa + wb;
            double const Vb = s * c;
            double const Va = ((S + rawA + rawB) / N - s - Vb) / nc;
            double const fst = Va + Vb > 0.0 ? Va / (Va + Vb) : Va * 100000.0;
            double const pixy = S / (na * nb);
            double const pixA = 2 * rawA / ((na - 1) * na);
            double const pixB = 2 * rawB / ((nb - 1) * nb);
            double const corrected = pixy - (pixA + pixB) / 2;

            long count = 0, countPixy = 0, countCorrected = 0;
            std::vector<double> blocks(static_cast<std::size_t>(B), 0.0);
            for (long p = 0; p < total; ++p) {
                int const N1 = static_cast<int>(v.size());
                if (individuals) {
                    for (int t = N1 - 1; t > static_cast<int>(sa) + 1; t -= 2) {
                        int const k = static_cast<int>(t * draw());
                        int q = k % 2 == 0 ? k + 1 : k;
                        if (q >= N1) q -= 2;
                        std::swap(v[t], v[q]);
                        std::swap(v[t - 1], v[q - 1]);
                    }
                } else {
                    for (int t = N1 - 1; t > static_cast<int>(sa); --t) std::swap(v[t], v[static_cast<int>(t * draw())]);
                }
                double const ssdA = within(v, 0, sa, d);
                double const ssdB = within(v, sa, v.size(), d);
                double const Sp = between(v, sa, d);
                double const w = ssdA / na + ssdB / nb;
                double const va = ((ssdA + ssdB + Sp) / N - w) / nc - w * c / nc;
                if (std::fabs(va - Va) < 1e-10 || va > Va) {
                    ++count;
                    blocks[static_cast<std::size_t>(p % B)] += 1.0;
                }
                double const pixyP = Sp / (na * nb);
                double const pixAP = 2 * (ssdA / na) / (na - 1);
                double const pixBP = 2 * (ssdB / nb) / (nb - 1);
                if (pixyP >= pixy) ++countPixy;
                if (pixyP - (pixAP + pixBP) / 2 >= corrected) ++countCorrected;
            }
            double const P = static_cast<double>(count) / static_cast<double>(total + 1);
            double var = 0.0;
            for (double b : blocks) var += std::pow(b / static_cast<double>(perBlock) - P, 2) / ((B - 1.0) * B);
            PairCells& cell = cells[j][i];
            cell.fst = fixed(fst, 5);
            cell.fstP = fixed(P, 5) + "+-" + fixed(std::sqrt(var), 4, 5);
            cell.pixyP = fixed(static_cast<double>(countPixy) / static_cast<double>(total), 5);
            cell.correctedP = fixed(static_cast<double>(countCorrected) / static_cast<double>(total), 5);
        }
    }
    return cells;
}

// The cells of row `row` (1-based label) of the first table after `title`.
std::vector<std::string> row_cells(std::string const& text, std::string const& title, int row) {
    std::size_t const at = text.find(title);
    if (at == std::string::npos) return {};
    std::istringstream in(text.substr(at + title.size()));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> tokens = words(line);
        if (tokens.size() < 2 || tokens[0] != std::to_string(row)) continue;
        if (tokens[1] == std::to_string(row + 1) || tokens[1] == "2") continue;  // a header line
        return {tokens.begin() + 1, tokens.end()};
    }
    return {};
}

class PairwisePermutationRun : public ::testing::Test {
protected:
    // Runs the project with the pairwise test and K permutations and checks
    // every pair's cells against the replay.
    void check(char const* project, std::string const& extra, Distance const& d, bool diploid, long K,
               std::string const& seed) {
        fs::path const work = base / ("run" + std::to_string(++runs_));
        fs::create_directories(work);
        fs::copy_file(data_dir / project, work / "p.pmp");
        write_file(work / "pml_run.pms",
                   extra + "NumPermutationsFST=" + std::to_string(K) + "\n" + read_file(data_dir / "pairwise.pms"));
        write_file(work / "ssdefs.txt", "POP_LEVEL\nPAIRWISE_FST\n");
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=" + seed + " '" + QUINTLE_BINARY +
                                    "' p.pmp stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
        std::string const text = read_file(work / "p.res" / "p.htm");

        std::vector<std::vector<std::string>> const samples = read_copies(read_file(data_dir / project), diploid);
        ASSERT_EQ(samples.size(), 3u);
        long s = -std::stol(seed);  // the program seeds its generator so from QUINTLE_SEED
        quintle::ran3(&s);
        std::vector<std::vector<PairCells>> const expected = replay(samples, d, K, diploid);

        for (int i = 1; i < 3; ++i) {
            std::vector<std::string> const fst = row_cells(text, "Population pairwise FSTs", i + 1);
            std::vector<std::string> const fstP = row_cells(text, "FST P values", i + 1);
            std::vector<std::string> const pixyP = row_cells(text, "PXY P value", i + 1);
            std::vector<std::string> const correctedP = row_cells(text, "Corrected PXY P value", i + 1);
            ASSERT_EQ(fst.size(), static_cast<std::size_t>(i + 1)) << text;
            ASSERT_EQ(fstP.size(), static_cast<std::size_t>(i + 1)) << text;
            ASSERT_EQ(pixyP.size(), static_cast<std::size_t>(i)) << text;
            ASSERT_EQ(correctedP.size(), static_cast<std::size_t>(i)) << text;
            for (int j = 0; j < i; ++j) {
                SCOPED_TRACE(std::to_string(i + 1) + "," + std::to_string(j + 1));
                PairCells const& e = expected[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
                EXPECT_EQ(fst[static_cast<std::size_t>(j)], e.fst);
                EXPECT_EQ(fstP[static_cast<std::size_t>(j)], e.fstP);
                EXPECT_EQ(pixyP[static_cast<std::size_t>(j)], e.pixyP);
                EXPECT_EQ(correctedP[static_cast<std::size_t>(j)], e.correctedP);
            }
        }
        long const B = static_cast<long>(std::sqrt(static_cast<double>(K)));
        EXPECT_NE(text.find("Number of permutations : " + std::to_string(B * (K / B + 1)) + "\n"), std::string::npos);
    }

    quintle::scratch::Dir base{"quintle_pairwise_permutations_e2e"};
    int runs_ = 0;
};

TEST_F(PairwisePermutationRun, DnaGeneCopies) {
    for (char const* seed : {"5", "31"}) check("dna_repeats.pmp", "", differing_characters, false, 200, seed);
}

TEST_F(PairwisePermutationRun, StandardGeneCopies) {
    check("std_repeats.pmp", "", differing_words, false, 200, "5");
}

TEST_F(PairwisePermutationRun, MicrosatelliteAllelesAndSquaredSizes) {
    check("msat_repeats.pmp", "DistanceMethodAMOVA=0\n", differing_words, false, 200, "5");
    check("msat_repeats.pmp", "DistanceMethodAMOVA=1\n", squared_size_differences, false, 200, "5");
}

TEST_F(PairwisePermutationRun, UnphasedIndividualsMoveAsPairs) {
    check("std_unphased_repeats.pmp", "", differing_characters, true, 200, "5");
}

}  // namespace
