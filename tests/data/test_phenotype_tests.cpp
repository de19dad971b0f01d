// Tests of the phenotype-set statistics: Hardy-Weinberg G, degrees of
// freedom, permutation, expansion, random and resampled sets and the phase
// measures.

#include "data/TPhenDB.h"
#include "data/TPhenotype.h"

#include <gtest/gtest.h>

#include "data/logged_test.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <vector>

#include "core/random.h"
#include "data/TAlleleDB.h"
#include "data/TPopHaploDB.h"
#include "data/TPopHaplotype.h"

namespace quintle {
namespace {

class PhenoStats : public test::LoggedTest {
protected:
    TAllele* allele(int locus, char const* name) {
        int const pos = db_.InsertAllPos(locus, my_string(name), 0.0);
        return db_.loci.data[locus]->alleles.data[pos];
    }

    TAlleleDB db_;
};

std::unique_ptr<TPopHaplotype> hapl(std::vector<TAllele*> const& alleles) {
    auto h = std::make_unique<TPopHaplotype>();
    for (TAllele* a : alleles) h->alleles.Add(a);
    return h;
}

TPhenotype* pheno(std::vector<TAllele*> const& g1, std::vector<TAllele*> const& g2, double count) {
    auto* p = new TPhenotype(my_string("ind"), count);
    p->set_pseudo_hapl(hapl(g1).release(), 0);
    p->set_pseudo_hapl(hapl(g2).release(), 1);
    return p;
}

std::string text(TPopHaplotype const* h) {
    std::ostringstream os;
    os << *h;
    return os.str();
}

std::vector<TAllele*> position_alleles(TPhenDB const& set, long pos) {
    std::vector<TAllele*> out;
    for (long i = 0; i < set.size(); ++i) {
        out.push_back(set[i]->pseudo1->alleles.data[pos]);
        out.push_back(set[i]->pseudo2->alleles.data[pos]);
    }
    return out;
}

// The next uniform numbers of the shared stream, as the code under test
// would draw them after the same seeding.
std::vector<double> draws(long seed, int n) {
    initialize_ran3(seed);
    long one = 1;
    std::vector<double> u;
    for (int i = 0; i < n; ++i) u.push_back(ran3(&one));
    return u;
}

// ------------------------------------------------------------ Hardy-Weinberg

// G = 2 Σ O ln(O / E) over the genotype classes, E from the allele
// frequencies: the textbook form of the statistic.
double textbook_g(double nAA, double nAB, double nBB) {
    double const N = nAA + nAB + nBB;
    double const p = (2 * nAA + nAB) / (2 * N);
    double const q = 1 - p;
    return 2 * (nAA * std::log(nAA / (N * p * p)) + nAB * std::log(nAB / (N * 2 * p * q)) +
                nBB * std::log(nBB / (N * q * q)));
}

TEST_F(PhenoStats, HardyWeinbergGOnThreeGenotypeClasses) {
    TAllele* A = allele(0, "A");
    TAllele* B = allele(0, "B");
    TPhenDB set;
    set.add(pheno({A}, {A}, 10));
    set.add(pheno({A}, {B}, 20));
    set.add(pheno({B}, {B}, 5));
    int df = -1;
    double const G = set.hw_chi_stat(&db_, 0, '?', df);
    EXPECT_NEAR(G, 0.982255, 1e-6);
    EXPECT_NEAR(G, textbook_g(10, 20, 5), 1e-12);
    EXPECT_EQ(df, 1);

    // A class nobody is in and an incomplete individual change nothing.
    set.add(pheno({A}, {allele(0, "C")}, 0));
    set.add(pheno({allele(0, "?")}, {B}, 7));
    df = -1;
    EXPECT_NEAR(set.hw_chi_stat(&db_, 0, '?', df), textbook_g(10, 20, 5), 1e-12);
    EXPECT_EQ(df, 1);
}

TEST_F(PhenoStats, HardyWeinbergWithoutPolymorphismIsZero) {
    TAllele* A = allele(0, "A");
    TAllele* miss = allele(0, "?");
    TPhenDB set;
    set.add(pheno({A}, {A}, 4));
    int df = -1;
    EXPECT_EQ(set.hw_chi_stat(&db_, 0, '?', df), 0.0);
    EXPECT_EQ(df, 0);

    TPhenDB missing;
    missing.add(pheno({miss}, {miss}, 3));
    df = -1;
    EXPECT_EQ(missing.hw_chi_stat(&db_, 0, '?', df), 0.0);
    EXPECT_EQ(df, 0);
}

TEST_F(PhenoStats, HardyWeinbergRefusesTwoLoci) {
    TAllele* A = allele(0, "A");
    TAllele* B = allele(1, "B");
    TPhenDB set;
    set.add(pheno({A, B}, {A, B}, 4));
    int df = -1;
    EXPECT_EQ(set.hw_chi_stat(&db_, 0, '?', df), -1000.0);
    EXPECT_EQ(df, 0);
    EXPECT_EQ(reports("TPhenDB::hw_chi_stat()", "invalid number of selected loci"), 1);
}

TEST_F(PhenoStats, DegreesOfFreedomOfTheTwoLocusTest) {
    TAllele* A = allele(0, "A");
    TAllele* B = allele(0, "B");
    TAllele* C = allele(0, "C");
    TAllele* D = allele(1, "D");
    TAllele* F = allele(1, "F");
    TPhenDB set;
    EXPECT_EQ(set.get_num_of_deg_freed(), 1);
    set.add(pheno({A, D}, {B, D}, 1));
    set.add(pheno({C, F}, {A, D}, 1));
    EXPECT_EQ(set.get_num_of_deg_freed(), 2);

    TPhenDB single;
    single.add(pheno({A}, {B}, 1));
    EXPECT_EQ(single.get_num_of_deg_freed(), 1);
}

// --------------------------------------------------------------- permutation

class PhenoPermute : public PhenoStats {
protected:
    void SetUp() override {
        PhenoStats::SetUp();
        std::vector<TAllele*> x, y;
        for (char const* n : {"a0", "a1", "a2", "a3"}) x.push_back(allele(0, n));
        for (char const* n : {"b0", "b1", "b2"}) y.push_back(allele(1, n));
        set.add(pheno({x[0], y[0]}, {x[1], y[1]}, 1));
        set.add(pheno({x[2], y[2]}, {x[3], y[0]}, 1));
        set.add(pheno({x[1], y[1]}, {x[0], y[2]}, 1));
    }
    TPhenDB set;
};

TEST_F(PhenoPermute, ShufflesTheFirstPositionInDrawOrder) {
    std::vector<TAllele*> const before0 = position_alleles(set, 0);
    std::vector<TAllele*> const before1 = position_alleles(set, 1);

    // The same shuffle, transcribed: copy i is exchanged with copy
    // i + (n - i)·u.
    std::vector<double> const u = draws(-4242, 6);
    std::vector<TAllele*> expected = before0;
    for (std::size_t i = 0; i < expected.size(); ++i)
        std::swap(expected[i], expected[i + static_cast<std::size_t>((expected.size() - i) * u[i])]);

    initialize_ran3(-4242);
    long seed = 1;
    int const sel[] = {2, 0, 1};
    set.permute_alleles(sel, seed);

    EXPECT_EQ(position_alleles(set, 0), expected);
    EXPECT_EQ(position_alleles(set, 1), before1);
    std::vector<TAllele*> a = before0, b = position_alleles(set, 0);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
    EXPECT_EQ(count_in_log("ERROR"), 0);
}

TEST_F(PhenoPermute, BadSelectionCounts) {
    std::vector<TAllele*> const before = position_alleles(set, 0);
    long seed = 1;
    int const none[] = {0};
    set.permute_alleles(none, seed);
    EXPECT_EQ(position_alleles(set, 0), before);
    EXPECT_EQ(reports("TPhenDB::permute_alleles()", "invalid number of selected loci"), 1);

    // Three loci are reported but still permuted.
    int const three[] = {3, 0, 1, 2};
    initialize_ran3(-99);
    set.permute_alleles(three, seed);
    EXPECT_EQ(reports("TPhenDB::permute_alleles()", "invalid number of selected loci"), 2);
    std::vector<TAllele*> after = position_alleles(set, 0), sortedBefore = before;
    std::sort(after.begin(), after.end());
    std::sort(sortedBefore.begin(), sortedBefore.end());
    EXPECT_EQ(after, sortedBefore);
}

// ----------------------------------------------------------------- expansion

TEST_F(PhenoStats, ExplodeGivesOneEntryPerIndividual) {
    TAllele* A = allele(0, "A");
    TAllele* B = allele(0, "B");
    TPhenDB set;
    set.add(pheno({A}, {A}, 3));
    set.add(pheno({A}, {B}, 1));
    set[0]->name = "first";
    set[1]->name = "second";
    set.convert_freq_to_real();
    set.explode_base();
    ASSERT_EQ(set.size(), 4);
    char const* names[] = {"first", "second", "first", "first"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(set[i]->name.c_str(), names[i]);
        EXPECT_EQ(set[i]->count, 1.0);
    }
    EXPECT_DOUBLE_EQ(set[0]->relFreq, 0.25);
    EXPECT_DOUBLE_EQ(set[2]->relFreq, 0.25);
    EXPECT_DOUBLE_EQ(set[1]->relFreq, 0.25);
    EXPECT_NE(set[2]->pseudo1.get(), set[0]->pseudo1.get());
    EXPECT_EQ(count_in_log("ERROR"), 0);
}

TEST_F(PhenoStats, ExplodeReportsAZeroCount) {
    TAllele* A = allele(0, "A");
    TPhenDB set;
    set.add(pheno({A}, {A}, 2));
    set.add(pheno({A}, {A}, 0));
    set.explode_base();
    EXPECT_EQ(set.size(), 3);
    EXPECT_EQ(reports("TPhenDB::explode_base()", "number of phenotypes changed after DB expansion"), 1);
}

TEST(PhenoMultinomial, LogOfTheMultinomialCoefficient) {
    TPhenDB set;
    EXPECT_EQ(set.calc_ln_multinom(), 0.0);
    set.add(new TPhenotype(my_string("a"), 2));
    set.add(new TPhenotype(my_string("b"), 3.9));
    EXPECT_NEAR(set.calc_ln_multinom(), std::log(10.0), 1e-12);  // 5! / (2! 3!)
}

// ------------------------------------------------------------ random sets

class PhenoRandom : public PhenoStats {
protected:
    void SetUp() override {
        PhenoStats::SetUp();
        for (char const* n : {"A", "B", "C"}) alleles.push_back(allele(0, n));
    }
    void fill(std::vector<double> const& freqs) {
        for (std::size_t i = 0; i < freqs.size(); ++i) store.insert(*hapl({alleles[i]}), freqs[i]);
    }
    // First haplotype at which the running sum exceeds u; -1 when none.
    static int pick(std::vector<double> const& freqs, double u) {
        double sum = 0;
        for (std::size_t i = 0; i < freqs.size(); ++i) {
            sum += freqs[i];
            if (sum > u) return static_cast<int>(i);
        }
        return -1;
    }
    std::vector<TAllele*> alleles;
    TPopHaploDB store;
};

TEST_F(PhenoRandom, IndividualsFollowTheDraws) {
    std::vector<double> const f = {0.5, 0.3, 0.2};
    fill(f);
    std::vector<double> const u = draws(-321, 10);
    initialize_ran3(-321);
    TPhenDB set(5, store);
    ASSERT_EQ(set.size(), 5);
    EXPECT_EQ(set.auxValue, 0.0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(set[i]->name.c_str(), std::to_string(i).c_str());
        EXPECT_EQ(set[i]->count, 1.0);
        EXPECT_EQ(set[i]->pseudo1->alleles.data[0], alleles[pick(f, u[2 * i])]);
        EXPECT_EQ(set[i]->pseudo2->alleles.data[0], alleles[pick(f, u[2 * i + 1])]);
    }
}

TEST_F(PhenoRandom, FailedDrawsAreReportedAndRepeated) {
    std::vector<double> const f = {0.3, 0.2};
    fill(f);
    std::vector<double> const u = draws(-55, 400);
    int failures = 0;
    std::size_t k = 0;
    for (int i = 0; i < 4; k += 2) {
        if (pick(f, u[k]) < 0 || pick(f, u[k + 1]) < 0)
            ++failures;
        else
            ++i;
    }
    ASSERT_GT(failures, 0);
    ASSERT_LE(failures, 100);
    initialize_ran3(-55);
    TPhenDB set(4, store);
    EXPECT_EQ(set.size(), 4);
    EXPECT_EQ(reports("TPhenDB::create_random_list()", "unable to find specified allele"), failures);
}

TEST_F(PhenoRandom, EmptyStoreEndsAfterTheHundredAndFirstFailure) {
    TPhenDB set(3, store);
    EXPECT_EQ(set.size(), 0);
    EXPECT_EQ(reports("TPhenDB::create_random_list()", "unable to find specified allele"), 101);
}

// ----------------------------------------------------------- resampling

class PhenoResample : public PhenoStats {
protected:
    void SetUp() override {
        PhenoStats::SetUp();
        r = allele(0, "r");  // recessive alleles stand first
        a = allele(0, "a");
        s = allele(1, "s");
        b = allele(1, "b");
        locus1.insert(*hapl({r}), 0.3);
        locus1.insert(*hapl({a}), 0.7);
        locus2.insert(*hapl({s}), 0.4);
        locus2.insert(*hapl({b}), 0.6);
    }
    TAllele *r, *a, *s, *b;
    TPopHaploDB locus1, locus2;
};

TEST_F(PhenoResample, IndividualsFollowTheDrawsWithRecessiveMasking) {
    int const n = 6;
    std::vector<double> const u = draws(-777, 4 * n);
    auto pick = [](double v, double cut, TAllele* first, TAllele* second) { return v <= cut ? first : second; };

    initialize_ran3(-777);
    long seed = 1;
    TPhenDB set;
    set.add(pheno({a}, {a}, 9));  // replaced
    set.resample(n, locus1, locus2, seed, &db_);
    ASSERT_EQ(set.size(), n);
    for (int i = 0; i < n; ++i) {
        TAllele* A1 = pick(u[4 * i], 0.3, r, a);
        TAllele* B1 = pick(u[4 * i + 1], 0.4, s, b);
        TAllele* A2 = pick(u[4 * i + 2], 0.3, r, a);
        TAllele* B2 = pick(u[4 * i + 3], 0.4, s, b);
        if (A1 == r) A1 = A2;
        if (A2 == r) A2 = A1;
        if (B1 == s) B1 = B2;
        if (B2 == s) B2 = B1;
        TPhenotype const& p = *set[i];
        EXPECT_STREQ(p.name.c_str(), std::to_string(2 * i).c_str());
        EXPECT_STREQ(p.pseudo1->id.c_str(), std::to_string(2 * i).c_str());
        EXPECT_STREQ(p.pseudo2->id.c_str(), std::to_string(2 * i + 1).c_str());
        ASSERT_EQ(p.pseudo1->alleles.count, 2);
        EXPECT_EQ(p.pseudo1->alleles.data[0], A1);
        EXPECT_EQ(p.pseudo1->alleles.data[1], B1);
        EXPECT_EQ(p.pseudo2->alleles.data[0], A2);
        EXPECT_EQ(p.pseudo2->alleles.data[1], B2);
        EXPECT_DOUBLE_EQ(p.relFreq, 1.0 / n);
        EXPECT_EQ(p.heteroLoci, 2);
        EXPECT_EQ(p.count, 1.0);
    }
}

TEST_F(PhenoResample, RecessiveShowsOnlyWhenBothCopiesCarryIt) {
    // Cut the first locus between the first and the third draw so that the
    // individual draws (a, r) there; locus 2 always gives b.
    std::vector<double> const u = draws(-31, 4);
    double const cut = (u[0] + u[2]) / 2;
    ResampleSource one, two;
    one.recessive = r;
    if (u[0] < u[2])
        one.firstAlleles = {a, r};
    else
        one.firstAlleles = {r, a};
    one.cumulative = {0.0, cut, 1.0};
    two.recessive = s;
    two.firstAlleles = {b};
    two.cumulative = {0.0, 1.0};

    initialize_ran3(-31);
    long seed = 1;
    TPhenotype p;
    p.build_resam_pheno(4, 10, one, two, seed);
    EXPECT_EQ(text(p.pseudo1.get()), "a b ");
    EXPECT_EQ(text(p.pseudo2.get()), "a b ");

    ResampleSource onlyRecessive;
    onlyRecessive.recessive = r;
    onlyRecessive.firstAlleles = {r};
    onlyRecessive.cumulative = {0.0, 1.0};
    p.build_resam_pheno(0, 1, onlyRecessive, two, seed);
    EXPECT_EQ(text(p.pseudo1.get()), "r b ");
    EXPECT_EQ(text(p.pseudo2.get()), "r b ");
}

TEST(PhenoResampleDraw, DrawsOutsideEveryIntervalTakeTheNearestHaplotype) {
    TAllele x, y, z;
    ResampleSource src;
    src.firstAlleles = {&x, &y, &z};
    src.cumulative = {0.0, 0.0, 0.6, 0.99};  // x has frequency 0
    EXPECT_EQ(src.draw(0.0), &y);
    EXPECT_EQ(src.draw(0.3), &y);
    EXPECT_EQ(src.draw(0.6), &y);
    EXPECT_EQ(src.draw(0.61), &z);
    EXPECT_EQ(src.draw(0.995), &z);
    EXPECT_EQ(ResampleSource{}.draw(0.5), nullptr);
}

TEST_F(PhenoResample, FrequenciesNotSummingToOneLeaveTheSetEmpty) {
    locus2.haplotypes.data[1]->frequency = 0.55;
    TPhenDB set;
    set.add(pheno({a}, {a}, 9));
    long seed = 1;
    set.resample(4, locus1, locus2, seed, &db_);
    EXPECT_EQ(set.size(), 0);
    EXPECT_EQ(count_in_log("     TPhenDB::resample:  summ of freqs is not 1\n"), 1);
}

TEST_F(PhenoResample, EmptyStoreLeavesTheSetEmpty) {
    TPopHaploDB empty;
    TPhenDB set;
    set.add(pheno({a}, {a}, 9));
    long seed = 1;
    set.resample(4, locus1, empty, seed, &db_);
    EXPECT_EQ(set.size(), 0);
    EXPECT_EQ(reports("TPhenDB::resample()", "unable to find specified allele"), 1);

    set.add(pheno({a}, {a}, 9));
    set.resample(4, locus1, seed, &db_);
    EXPECT_EQ(set.size(), 0);
}

// ------------------------------------------------------------ phase measures

class PhenoPhase : public PhenoStats {
protected:
    void SetUp() override {
        PhenoStats::SetUp();
        A = allele(0, "A");
        a = allele(0, "a");
        B = allele(1, "B");
        b = allele(1, "b");
    }
    TAllele *A, *a, *B, *b;
};

TEST_F(PhenoPhase, ShareOfCorrectlyPhasedIndividuals) {
    TPhenDB set;
    set.add(pheno({A, B}, {a, b}, 3));  // true phase AB|ab
    set.add(pheno({A, b}, {a, B}, 1));  // true phase Ab|aB
    set.add(pheno({A, B}, {A, B}, 2));  // nothing to phase
    TPopHaploDB store;
    set.build_all_genotypes(store, &db_, 0);
    for (long i = 0; i < store.haplotypes.count; ++i) {
        std::string const t = text(store.haplotypes.data[i]);
        store.haplotypes.data[i]->frequency = (t == "A B " || t == "a b ") ? 0.4 : 0.1;
    }
    set.update_genotypes();

    std::ostringstream os;
    double const share = set.percent_correct_gametic_phase(os);
    EXPECT_DOUBLE_EQ(share, 5.0 / 6.0);
    EXPECT_EQ(set.ambiguousInds, 4);
    EXPECT_EQ(set.correctAmbiguousInds, 3);
    std::string const out = os.str();
    // 0.32 / (0.32 + 0.02) for the first individual.
    std::string const first =
        "Phenotype : 1 (freq: 3.000000)\n"
        "\tCorrect genotype      : \t0.94118\t[A B ] & [a b ]"
        "\n\tMost likely genotype  : \t0.94118\t[A B ] & [a b ]\tPhase OK\n";
    EXPECT_EQ(out.substr(0, first.size()), first);
    EXPECT_NE(out.find("\t0.05882\t[A b ] & [a B ]\n\tMost likely genotype  : \t0.94118\t[A B ] & [a b ]\tBad phase\n"),
              std::string::npos);
}

TEST_F(PhenoPhase, MissingGenotypesAndZeroTotals) {
    TPhenDB set;
    set.add(pheno({A, B}, {a, b}, 0));  // never resolved
    std::ostringstream os;
    EXPECT_EQ(set.percent_correct_gametic_phase(os), 0.0);
    EXPECT_NE(os.str().find("Bad phase\n"), std::string::npos);
    EXPECT_EQ(os.str().find("nan"), std::string::npos);

    // Resolved, but without probabilities: ratios print as 0.
    TPhenDB zero;
    zero.add(pheno({A, B}, {a, b}, 2));
    TPopHaploDB store;
    zero.build_all_genotypes(store, &db_, 0);
    std::ostringstream os2;
    EXPECT_EQ(zero.percent_correct_gametic_phase(os2), 1.0);
    EXPECT_EQ(os2.str().find("nan"), std::string::npos);
}

TEST_F(PhenoPhase, IFCoefficientComparesTrueAndEstimatedFrequencies) {
    TPhenDB set;
    set.add(pheno({A, B}, {a, b}, 1));
    set.add(pheno({A, B}, {A, b}, 1));
    // True frequencies: AB 0.5, ab 0.25, Ab 0.25.
    TPopHaploDB estimated;
    TPopHaplotype* eAB = estimated.insert(*hapl({A, B}), 0.6);
    TPopHaplotype* eab = estimated.insert(*hapl({a, b}), 0.3);
    TPopHaplotype* eaB = estimated.insert(*hapl({a, B}), 0.1);
    // s = |0.6-0.5| + |0.3-0.25| + 0.25 (Ab not estimated) + 0.1 (aB not true)
    EXPECT_NEAR(set.compute_IF_coeff(&estimated), 1 - 0.5 / 2, 1e-12);
    EXPECT_NEAR(set.IFcoeff, 0.75, 1e-12);
    EXPECT_EQ(eAB->found, 1);
    EXPECT_EQ(eab->found, 1);
    EXPECT_EQ(eaB->found, 0);
    // A second measure is not misled by the marks of the first.
    EXPECT_NEAR(set.compute_IF_coeff(&estimated), 0.75, 1e-12);
}

}  // namespace
}  // namespace quintle
