// Pairwise FST of every pair against a two-sample AMOVA written out from its
// definition, mean pairwise differences against direct counts, (delta mu)
// squared at unit level, the permutation test (both shuffles) against a
// separate transcription drawing the same ran3 stream, and the exits that
// must give the engine back its sample array and free the samples' vectors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "amova/pairwise_fixture.h"
#include "amova/pairwise_kernels.h"
#include "amova/pairwise_pass.h"

namespace quintle {
namespace {

using namespace pairwise_testing;

class PairwiseFst : public PairwiseTest {};

TEST_F(PairwiseFst, EveryPairAgreesWithASeparateTwoSampleAmova) {
    for (unsigned seed : {3u, 17u, 40u}) {
        SCOPED_TRACE(seed);
        samples.clean();
        copies.clear();
        make_haplotypes(8, 20, seed);
        random_samples(4, 3, 12, seed + 1);
        run.PrintMissIntermatchs = 1;
        std::size_t const before = result_text().size();
        build();

        ASSERT_TRUE(line.pairFst && line.pairPi);
        ASSERT_EQ(line.pairFst->size(), 6u);
        ASSERT_EQ(line.pairPi->size(), 6u);
        std::string const text = result_text().substr(before);
        int k = 0;
        for (int i = 1; i < 4; ++i) {
            std::vector<std::string> const row = row_cells(text, "Population pairwise FSTs", i + 1);
            ASSERT_EQ(row.size(), static_cast<std::size_t>(i + 1));
            for (int j = 0; j < i; ++j, ++k) {
                // FST_i+1_j+1 is the k-th value, in the order of the columns.
                ReferenceAmova const ref = reference_amova(copies[i], copies[j], d);
                EXPECT_NEAR((*line.pairFst)[k], ref.FST, 1e-12) << i << "," << j;
                EXPECT_EQ(row[j], fixed5(ref.FST));
                double const pixy = between_pairs(copies[i], copies[j], d) /
                                    static_cast<double>(copies[i].size() * copies[j].size());
                EXPECT_NEAR((*line.pairPi)[k], pixy, 1e-12);
            }
            EXPECT_EQ(row[i], "0.00000");
        }
    }
}

TEST(DeltaMuSquared, MeanOverLociWithDataInBoth) {
    double const a[] = {10.0, 12.0, 0.0, 15.0};
    double const b[] = {11.0, 15.0, 14.0, 0.0};
    EXPECT_DOUBLE_EQ(delta_mu_squared(a, 4, b, 4), (1.0 + 9.0) / 2.0);
    // A locus beyond the second sample's loci has no data there.
    EXPECT_DOUBLE_EQ(delta_mu_squared(a, 4, b, 1), 1.0);
    EXPECT_EQ(delta_mu_squared(a, 0, b, 4), 0.0);
}

TEST_F(PairwiseFst, MatrixHoldsPiXYAbovePiXOnAndCorrectedBelow) {
    make_haplotypes(6, 15, 21);
    random_samples(3, 4, 9, 22);
    run.PrintFstVals = 0;
    run.PrintMissIntermatchs = 1;
    build();
    std::string const text = result_text();
    ASSERT_NE(text.find("\nBelow diagonal    : Corrected average pairwise difference (PiXY-(PiX+PiY)/2)\n\n"
                        "Distance method: Pairwise difference\n"),
              std::string::npos);
    std::vector<double> pix(3);
    for (int i = 0; i < 3; ++i) {
        double const n = static_cast<double>(copies[i].size());
        pix[i] = within_pairs(copies[i], d) / (n * (n - 1) / 2);
    }
    for (int i = 0; i < 3; ++i) {
        std::vector<std::string> const row = row_cells(text, "Population average pairwise differences", i + 1);
        ASSERT_EQ(row.size(), 3u);
        for (int j = 0; j < 3; ++j) {
            int const lo = std::min(i, j), hi = std::max(i, j);
            double const pixy = between_pairs(copies[lo], copies[hi], d) /
                                static_cast<double>(copies[lo].size() * copies[hi].size());
            double const expected = i == j ? pix[i] : (i < j ? pixy : pixy - (pix[i] + pix[j]) / 2);
            EXPECT_EQ(row[j], fixed5(expected)) << i << "," << j;
        }
    }
}

// Each list the comparison computes goes to the line, in the order of the
// columns; (delta mu) squared only when it is computed.
TEST_F(PairwiseFst, ListsOfTheComputedValuesOnly) {
    make_haplotypes(6, 15, 5);
    random_samples(3, 4, 9, 6);
    run.PrintMissIntermatchs = 1;
    run.ComputeDeltaMuSqr = 0;
    build();
    ASSERT_TRUE(line.pairFst && line.pairPi);
    ASSERT_EQ(line.pairFst->size(), 3u);
    EXPECT_NEAR((*line.pairFst)[2], reference_amova(copies[2], copies[1], d).FST, 1e-12) << "FST_3_2";
    EXPECT_EQ(line.pairPi->size(), 3u);
    EXPECT_FALSE(line.pairDmuSqr);
}

// The pass decides itself whether the permutation test runs (permutations
// asked, and FST or the differences computed) and leaves the settings'
// TestSignificancePairewiseFST as it was read.
TEST_F(PairwiseFst, TheTestDecisionDoesNotGoBackIntoTheSettings) {
    make_haplotypes(6, 15, 5);
    random_samples(3, 4, 9, 6);
    for (int permutations : {0, 10}) {
        SCOPED_TRACE(permutations);
        run.NumPermutationsFST = permutations;
        run.TestSignificancePairewiseFST = 7;
        std::size_t const before = log.text().size();
        build();
        EXPECT_EQ(log.text().find("and test significance", before) != std::string::npos, permutations > 0);
        EXPECT_EQ(run.TestSignificancePairewiseFST, 7);
    }
}

// The FST list takes the computed values with no FST table printed; the
// other lists keep the gates of their computations, so a pass that does not
// compute them leaves the earlier values in place.
TEST_F(PairwiseFst, FstListIsFilledWithNoTablePrinted) {
    make_haplotypes(6, 15, 31);
    random_samples(4, 3, 10, 32);
    run.PrintFstVals = 0;
    run.PrintConcestryCoeff = 1;  // printed only beside the FST table
    run.PrintSlatkinsDist = 1;
    run.PrintMissIntermatchs = 0;
    run.ComputeDeltaMuSqr = 0;
    build();

    std::string const text = result_text();
    EXPECT_NE(text.find("== Comparisons of pairs of population samples"), std::string::npos);
    EXPECT_EQ(text.find("Population pairwise FSTs"), std::string::npos);
    EXPECT_EQ(text.find("Matrix of coancestry"), std::string::npos);
    EXPECT_EQ(text.find("Matrix of Slatkin"), std::string::npos);

    ASSERT_TRUE(line.pairFst);
    ASSERT_EQ(line.pairFst->size(), 6u);
    int k = 0;
    for (int i = 1; i < 4; ++i)
        for (int j = 0; j < i; ++j, ++k)
            EXPECT_NEAR((*line.pairFst)[k], reference_amova(copies[i], copies[j], d).FST, 1e-12)
                << "FST_" << i + 1 << "_" << j + 1;
    // Not computed: the statistics record keeps the earlier values.
    EXPECT_FALSE(line.pairPi);
    EXPECT_FALSE(line.pairDmuSqr);
}

// Runs the test of one pair, then repeats its draws in the test's own
// transcription; returns the permutations counted.
struct Replay {
    long count = 0;
    std::vector<long> blocks;
};
Replay replay_test(std::vector<int> v, int na, double observedVa, long total, int B, bool individuals,
                   std::vector<std::vector<double>> const& d) {
    Replay r;
    r.blocks.assign(static_cast<std::size_t>(B), 0);
    for (long p = 0; p < total; ++p) {
        if (individuals)
            reference_shuffle_individuals(v, na);
        else
            reference_shuffle_copies(v, na);
        std::vector<int> const a(v.begin(), v.begin() + na);
        std::vector<int> const b(v.begin() + na, v.end());
        double const va = reference_amova(a, b, d).Va;
        if (std::fabs(va - observedVa) < 1e-10 || va > observedVa) {
            ++r.count;
            ++r.blocks[static_cast<std::size_t>(p % B)];
        }
    }
    return r;
}

TEST_F(PairwiseFst, PermutationTestFollowsTheRecordedStreamInBothShuffles) {
    for (bool individuals : {false, true}) {
        SCOPED_TRACE(individuals ? "individuals" : "gene copies");
        samples.clean();
        copies.clear();
        make_haplotypes(5, 12, 11);
        if (individuals) {
            add_individuals({{0, 1}, {1, 1}, {0, 2}});
            add_individuals({{1, 3}, {4, 4}, {3, 2}, {0, 4}});
        } else {
            add_sample({{0, 3}, {1, 2}, {2, 1}});
            add_sample({{1, 1}, {3, 3}, {4, 2}});
        }
        run.NumPermutationsFST = 20;  // B = 4 blocks of 6: 24 permutations
        std::size_t const before = result_text().size();
        reseed(4242);
        build();
        double const after = next_draw();

        reseed(4242);
        std::vector<int> v = copies[0];
        v.insert(v.end(), copies[1].begin(), copies[1].end());
        int const na = static_cast<int>(copies[0].size());
        double const observed = reference_amova(copies[0], copies[1], d).Va;
        Replay const r = replay_test(v, na, observed, 24, 4, individuals, d);
        EXPECT_EQ(next_draw(), after) << "the pass drew as many values as the transcription";

        double const P = static_cast<double>(r.count) / 25.0;
        double sum = 0.0;
        for (long b : r.blocks) sum += std::pow(static_cast<double>(b) / 6.0 - P, 2) / (3.0 * 4.0);
        std::ostringstream sd;
        sd.setf(std::ios::fixed, std::ios::floatfield);
        sd.precision(4);
        sd << std::sqrt(sum);

        std::string const text = result_text().substr(before);
        EXPECT_NE(text.find("Number of permutations : 24\n"), std::string::npos);
        std::vector<std::string> const row = row_cells(text, "FST P values", 2);
        ASSERT_EQ(row.size(), 2u) << text;
        EXPECT_EQ(row[0], fixed5(P) + "+-" + sd.str());
        EXPECT_EQ(row[1], "*");
    }
}

// Distances with fractions (eighths: every sum of them is exact, so the
// transcription's order of summation gives the same numbers) and samples
// that repeat their haplotypes: the test of every pair, one after the other
// on one stream, is the transcription's over the explicit gene copies.
TEST_F(PairwiseFst, PairsWithRepeatedHaplotypesAndFractionalDistancesFollowTheStream) {
    for (bool individuals : {false, true}) {
        SCOPED_TRACE(individuals ? "individuals" : "gene copies");
        samples.clean();
        copies.clear();
        set_matrix(6, [](int i, int j) { return i == j ? 0.0 : ((i * 7 + j * 7) % 13 + 1) / 8.0; });
        if (individuals) {
            add_individuals({{0, 1}, {1, 1}, {0, 2}, {0, 0}, {2, 1}, {5, 0}});
            add_individuals({{1, 3}, {4, 4}, {3, 2}, {0, 4}, {1, 1}});
            add_individuals({{0, 1}, {5, 5}, {2, 2}, {1, 0}, {3, 3}, {0, 0}, {1, 5}});
        } else {
            add_sample({{0, 5}, {1, 4}, {2, 3}});
            add_sample({{0, 4}, {1, 3}, {2, 2}, {3, 1}});
            add_sample({{0, 2}, {1, 5}, {3, 3}, {5, 4}});
        }
        run.NumPermutationsFST = 100;  // B = 10 blocks of 11: 110 permutations
        std::size_t const before = result_text().size();
        reseed(91);
        build();
        double const after = next_draw();

        reseed(91);
        std::string const text = result_text().substr(before);
        for (int i = 0; i < 3; ++i) {
            for (int j = i + 1; j < 3; ++j) {
                std::vector<int> v = copies[i];
                v.insert(v.end(), copies[j].begin(), copies[j].end());
                int const na = static_cast<int>(copies[i].size());
                double const observed = reference_amova(copies[i], copies[j], d).Va;
                Replay const r = replay_test(v, na, observed, 110, 10, individuals, d);
                double const P = static_cast<double>(r.count) / 111.0;
                std::vector<std::string> const row = row_cells(text, "FST P values", j + 1);
                ASSERT_EQ(row.size(), static_cast<std::size_t>(j + 1)) << text;
                EXPECT_EQ(row[i].substr(0, 7), fixed5(P)) << i << "," << j;
                EXPECT_EQ(row_cells(text, "Population pairwise FSTs", j + 1)[i],
                          fixed5(reference_amova(copies[i], copies[j], d).FST));
            }
        }
        EXPECT_EQ(next_draw(), after) << "the pass drew as many values as the transcription";
    }
}

// A pair of more distinct haplotypes than the pair's table holds is tested
// on the samples themselves, with the same draws.
TEST_F(PairwiseFst, PairOfManyDistinctHaplotypesFollowsTheStream) {
    int const K = 1100;
    set_matrix(K, [](int i, int j) { return i == j ? 0.0 : static_cast<double>((i + 3 * j) % 5 + (j + 3 * i) % 5); });
    std::vector<std::pair<int, int>> a, b;
    for (int h = 0; h < K; ++h) (h % 2 == 0 ? a : b).emplace_back(h, 1);
    add_sample(a);
    add_sample(b);
    run.NumPermutationsFST = 3;  // one block of 4
    std::size_t const before = result_text().size();
    reseed(5);
    build();
    double const after = next_draw();

    reseed(5);
    std::vector<int> v = copies[0];
    v.insert(v.end(), copies[1].begin(), copies[1].end());
    double const observed = reference_amova(copies[0], copies[1], d).Va;
    Replay const r = replay_test(v, static_cast<int>(copies[0].size()), observed, 4, 1, false, d);
    EXPECT_EQ(next_draw(), after);
    std::vector<std::string> const row = row_cells(result_text().substr(before), "FST P values", 2);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[0], fixed5(static_cast<double>(r.count) / 5.0) + "+-0.0000");
}

// --- exits that must leave the engine and the samples as they were ---------------

class PairwiseExits : public PairwiseTest {
protected:
    // An engine that ran nothing, on which the call is then made directly
    // with a recognisable array in place.
    std::unique_ptr<Amova> idle_engine() {
        std::int64_t const task = run.TaskNumber;
        int const fst = run.ComputePairwiseFST;
        int const deltaMu = run.ComputeDeltaMuSqr;
        run.TaskNumber = 0;
        run.ComputePairwiseFST = 0;
        run.ComputeDeltaMuSqr = 0;
        auto engine = build();
        run.TaskNumber = task;
        run.ComputePairwiseFST = fst;
        run.ComputeDeltaMuSqr = deltaMu;
        engine->pops_by_id = {&sentinel_, nullptr, &sentinel_};
        return engine;
    }
    void expect_restored(Amova const& engine) {
        ASSERT_EQ(engine.pops_by_id.size(), 3u);
        EXPECT_EQ(engine.pops_by_id[0], &sentinel_);
        EXPECT_EQ(engine.pops_by_id[1], nullptr);
        for (long i = 0; i < samples.Populations.count; ++i) {
            Population const* p = samples.Populations.data[i];
            EXPECT_EQ(p->perm_vector_size, 0);
            EXPECT_TRUE(p->hapl_count.empty());
        }
    }
    Population sentinel_{my_string("sentinel")};
};

TEST_F(PairwiseExits, SampleWithoutGeneCopiesStopsAfterMessage72) {
    make_haplotypes(3, 8, 2);
    add_sample({{0, 2}, {1, 2}});
    add_sample({});
    add_sample({{2, 3}});
    auto engine = idle_engine();
    std::size_t const before = result_text().size();
    engine->CalcPairDist();
    expect_restored(*engine);
    EXPECT_NE(log.text().find("\"Amova::CalcPairDist()\" : no degrees of freedom left"), std::string::npos);
    EXPECT_EQ(result_text().size(), before) << "nothing of the section is written";
}

TEST_F(PairwiseExits, FillBipopVectorChecksCountsAndIndexes) {
    make_haplotypes(3, 8, 2);
    Population* a = add_sample({{0, 2}, {2, 1}});
    Population* b = add_sample({{1, 2}});
    a->CreatePermutationVectors(3);
    b->CreatePermutationVectors(3);

    std::vector<int> v(6, -7);
    fill_bipop_vector(a, b, v.data());
    EXPECT_EQ(v, (std::vector<int>{0, 0, 2, 1, 1, -7}));

    struct Case {
        char const* what;
        double size;
        int index;
        char const* message;
    };
    Case const cases[] = {
        {"counts short of the size", 4.0, 1, "ill-defined genetic structure"},
        {"counts beyond the size", 2.0, 1, "ill-defined genetic structure"},
        {"size not whole", 3.5, 1, "ill-defined genetic structure"},
        {"index beyond the vectors", 3.0, 3, "array out of bounds"},
        {"negative index", 3.0, -1, "array out of bounds"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        a->SampleSize = c.size;
        defs[2]->matrixIndex = c.index;
        std::vector<int> w(12, -7);
        std::size_t const before = log.text().size();
        EXPECT_THROW(fill_bipop_vector(b, a, w.data()), Amova::AmovaFatalError);
        EXPECT_EQ(w, std::vector<int>(12, -7)) << "nothing written";
        EXPECT_NE(log.text().find(std::string("\"fill_bipop_vector()\" : ") + c.message, before), std::string::npos);
    }
    a->DeletePermutationVectors();
    b->DeletePermutationVectors();
}

}  // namespace
}  // namespace quintle
