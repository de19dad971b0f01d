// Tests of phenotypes and phenotype sets: phase resolutions, EM steps,
// Hardy-Weinberg G, permutation, resampling, phase measures and printouts.

#include "data/TGenotype.h"
#include "data/TPhenDB.h"
#include "data/TPhenotype.h"

#include <gtest/gtest.h>

#include "data/logged_test.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <vector>

#include "core/random.h"
#include "data/TAlleleDB.h"
#include "data/TPopHaploDB.h"
#include "data/TPopHaplotype.h"

namespace quintle {
namespace {

class Pheno : public test::LoggedTest {
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

TPhenotype* pheno(std::vector<TAllele*> const& g1, std::vector<TAllele*> const& g2, double count,
                  char const* name = "ind") {
    auto* p = new TPhenotype(my_string(name), count);
    p->set_pseudo_hapl(hapl(g1).release(), 0);
    p->set_pseudo_hapl(hapl(g2).release(), 1);
    return p;
}

std::string text(TPopHaplotype const* h) {
    std::ostringstream os;
    os << *h;
    return os.str();
}

// The genotype list as "first|second" texts.
std::vector<std::string> pairs(TPhenotype const& p) {
    std::vector<std::string> out;
    for (long i = 0; i < p.genotypes.count; ++i)
        out.push_back(text(p.genotypes.data[i]->hapl1) + "|" + text(p.genotypes.data[i]->hapl2));
    return out;
}

// The next uniform numbers of the shared stream after the same seeding.
std::vector<double> draws(long seed, int n) {
    initialize_ran3(seed);
    long one = 1;
    std::vector<double> u;
    for (int i = 0; i < n; ++i) u.push_back(ran3(&one));
    return u;
}

TEST_F(Pheno, ThreeHeterozygousLociGiveFourPairsKeepingTheFirstOne) {
    TAllele* D = allele(0, "D");
    TAllele* A = allele(1, "A");
    TAllele* a = allele(1, "a");
    TAllele* B = allele(2, "B");
    TAllele* b = allele(2, "b");
    TAllele* C = allele(3, "C");
    TAllele* c = allele(3, "c");
    std::unique_ptr<TPhenotype> p(pheno({D, A, B, C}, {D, a, b, c}, 1));
    TPopHaploDB store;
    EXPECT_EQ(p->build_genotypes(store, &db_, 0, false), 1);
    EXPECT_EQ(p->heteroLoci, 3);
    EXPECT_EQ(p->numResolutions, 4);
    // Pass k exchanges the heterozygous loci after the first one as the bits
    // of k say; the first heterozygous locus (A/a) never moves.
    std::vector<std::string> const expected = {"D A B C |D a b c ", "D A b C |D a B c ", "D A B c |D a b C ",
                                               "D A b c |D a B C "};
    EXPECT_EQ(pairs(*p), expected);
    EXPECT_EQ(store.haplotypes.count, 8);
}

TEST_F(Pheno, RecessiveModeHidesTheRecessiveAlleleBehindHomozygousLoci) {
    // The recessive allele stands first in each locus.
    TAllele* r = allele(0, "r");
    TAllele* A = allele(0, "A");
    allele(1, "s");
    TAllele* B = allele(1, "B");
    TAllele* C = allele(1, "C");
    std::unique_ptr<TPhenotype> p(pheno({A, B}, {A, C}, 1));
    TPopHaploDB store;
    p->build_genotypes(store, &db_, 1, false);
    EXPECT_EQ(p->numResolutions, 3);
    std::vector<std::string> const expected = {"A B |A C ", "A B |r C ", "A C |r B "};
    EXPECT_EQ(pairs(*p), expected);
    EXPECT_EQ(p->genotypes.data[1]->hapl2->alleles.data[0], r);
}

// Pass counts are 64-bit: 32 heterozygous loci are accepted, 33 refused, and
// the recessive mode refuses more than 62 loci. A recorded number of
// resolutions sets the number of passes, which keeps the accepted run short.
TEST_F(Pheno, TooManyHeterozygousLociAreRefused) {
    for (int n : {33, 32}) {
        SCOPED_TRACE(n);
        std::vector<TAllele*> g1, g2;
        for (int k = 0; k < n; ++k) {
            g1.push_back(allele(k, "x"));
            g2.push_back(allele(k, "y"));
        }
        std::unique_ptr<TPhenotype> p(pheno(g1, g2, 1));
        p->numResolutions = 3;
        TPopHaploDB store;
        EXPECT_EQ(p->build_genotypes(store, &db_, 0, false), n == 32 ? 1 : 0);
        EXPECT_EQ(p->genotypes.count, n == 32 ? 3 : 0);
    }
    std::vector<TAllele*> g1, g2;
    for (int k = 0; k < 63; ++k) {
        g1.push_back(allele(k, "x"));
        g2.push_back(k == 0 ? allele(k, "y") : g1.back());
    }
    std::unique_ptr<TPhenotype> p(pheno(g1, g2, 1));
    TPopHaploDB store;
    EXPECT_EQ(p->build_genotypes(store, &db_, 1, false), 0);
    EXPECT_EQ(p->genotypes.count, 0);
    EXPECT_EQ(reports("TPhenotype::build_genotypes()", "too many heterozygous loci"), 2);
    EXPECT_EQ(p->build_genotypes(store, &db_, 0, false), 1);  // one heterozygous locus otherwise
}

// Two-locus EM transcribed from the textbook gene-counting rule: only the
// double heterozygote is ambiguous, split between AB/ab and Ab/aB in
// proportion to pAB·pab and pAb·paB.
TEST_F(Pheno, TwoLocusEMAgreesWithAnIndependentGeneCount) {
    TAllele* A = allele(0, "A");
    TAllele* a = allele(0, "a");
    TAllele* B = allele(1, "B");
    TAllele* b = allele(1, "b");
    TPhenDB set;
    set.add(pheno({A, B}, {A, B}, 3));
    set.add(pheno({A, B}, {a, b}, 2));
    set.add(pheno({a, B}, {A, b}, 2));  // same phenotype, other reading order
    set.add(pheno({A, b}, {a, b}, 2));
    set.add(pheno({a, b}, {a, b}, 1));
    set.add(pheno({A, B}, {a, B}, 1));
    set.check_pheno_redundancy();
    ASSERT_EQ(set.size(), 5);

    TPopHaploDB store;
    EXPECT_EQ(set.build_all_genotypes(store, &db_, 0), 1);
    ASSERT_EQ(store.haplotypes.count, 4);
    store.assign_rand_init_freq(0);  // equal start values
    double const genes = 2.0 * set.nb_individuals();
    for (int it = 0; it < 60; ++it) {
        set.update_genotypes();
        set.update_hapl_freq(store);
        for (long i = 0; i < store.haplotypes.count; ++i) store.haplotypes.data[i]->frequency /= genes;
    }
    set.update_genotypes();

    // Counts: AABB 3, AaBb 4, Aabb 2, aabb 1, AaBB 1.
    double AB = 0.25, Ab = 0.25, aB = 0.25, ab = 0.25;
    for (int it = 0; it < 60; ++it) {
        double const x = 4 * AB * ab / (AB * ab + Ab * aB);
        double const y = 4 - x;
        AB = (2 * 3 + x + 1) / 22;
        ab = (x + 2 + 2 * 1) / 22;
        Ab = (y + 2) / 22;
        aB = (y + 1) / 22;
    }
    double const lnL = 3 * std::log(AB * AB) + 4 * std::log(2 * AB * ab + 2 * Ab * aB) +
                       2 * std::log(2 * Ab * ab) + std::log(ab * ab) + std::log(2 * AB * aB);
    std::map<std::string, double> got;
    for (long i = 0; i < store.haplotypes.count; ++i)
        got[text(store.haplotypes.data[i])] = store.haplotypes.data[i]->frequency;
    EXPECT_NEAR(got["A B "], AB, 1e-12);
    EXPECT_NEAR(got["A b "], Ab, 1e-12);
    EXPECT_NEAR(got["a B "], aB, 1e-12);
    EXPECT_NEAR(got["a b "], ab, 1e-12);
    EXPECT_NEAR(set.calc_ln_likelihood(), lnL, 1e-10);
}

// G = 2 Σ O ln(O / E) over the genotype classes, E from the allele
// frequencies; a class nobody is in and an incomplete individual add nothing.
TEST_F(Pheno, HardyWeinbergGOnThreeGenotypeClasses) {
    TAllele* A = allele(0, "A");
    TAllele* B = allele(0, "B");
    TPhenDB set;
    set.add(pheno({A}, {A}, 10));
    set.add(pheno({A}, {B}, 20));
    set.add(pheno({B}, {B}, 5));
    set.add(pheno({A}, {allele(0, "C")}, 0));
    set.add(pheno({allele(0, "?")}, {B}, 7));
    double const p = 40.0 / 70, q = 1 - p;
    double const g = 2 * (10 * std::log(10 / (35 * p * p)) + 20 * std::log(20 / (35 * 2 * p * q)) +
                          5 * std::log(5 / (35 * q * q)));
    int df = -1;
    double const G = set.hw_chi_stat(&db_, 0, '?', df);
    EXPECT_NEAR(G, 0.982255, 1e-6);
    EXPECT_NEAR(G, g, 1e-12);
    EXPECT_EQ(df, 1);
}

TEST_F(Pheno, PermutationShufflesTheFirstPositionInDrawOrder) {
    std::vector<TAllele*> x, y;
    for (char const* n : {"a0", "a1", "a2", "a3"}) x.push_back(allele(0, n));
    for (char const* n : {"b0", "b1", "b2"}) y.push_back(allele(1, n));
    TPhenDB set;
    set.add(pheno({x[0], y[0]}, {x[1], y[1]}, 1));
    set.add(pheno({x[2], y[2]}, {x[3], y[0]}, 1));
    set.add(pheno({x[1], y[1]}, {x[0], y[2]}, 1));
    auto at = [&set](long pos) {
        std::vector<TAllele*> out;
        for (long i = 0; i < set.size(); ++i) {
            out.push_back(set[i]->pseudo1->alleles.data[pos]);
            out.push_back(set[i]->pseudo2->alleles.data[pos]);
        }
        return out;
    };
    std::vector<TAllele*> const before1 = at(1);
    // The same shuffle, transcribed: copy i is exchanged with copy
    // i + (n - i)·u.
    std::vector<double> const u = draws(-4242, 6);
    std::vector<TAllele*> expected = at(0);
    for (std::size_t i = 0; i < expected.size(); ++i)
        std::swap(expected[i], expected[i + static_cast<std::size_t>((expected.size() - i) * u[i])]);

    initialize_ran3(-4242);
    long seed = 1;
    int const sel[] = {2, 0, 1};
    set.permute_alleles(sel, seed);
    EXPECT_EQ(at(0), expected);
    EXPECT_EQ(at(1), before1);
}

class PhenoResample : public Pheno {
protected:
    void SetUp() override {
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
        ASSERT_EQ(p.pseudo1->alleles.count, 2);
        EXPECT_EQ(p.pseudo1->alleles.data[0], A1);
        EXPECT_EQ(p.pseudo1->alleles.data[1], B1);
        EXPECT_EQ(p.pseudo2->alleles.data[0], A2);
        EXPECT_EQ(p.pseudo2->alleles.data[1], B2);
        EXPECT_DOUBLE_EQ(p.relFreq, 1.0 / n);
    }
}

TEST_F(PhenoResample, EmptyStoreLeavesTheSetEmpty) {
    TPopHaploDB empty;
    TPhenDB set;
    set.add(pheno({a}, {a}, 9));
    long seed = 1;
    set.resample(4, locus1, empty, seed, &db_);
    EXPECT_EQ(set.size(), 0);
    EXPECT_EQ(reports("TPhenDB::resample()", "unable to find specified allele"), 1);
}

class PhenoTwoLoci : public Pheno {
protected:
    void SetUp() override {
        A = allele(0, "A");
        a = allele(0, "a");
        B = allele(1, "B");
        b = allele(1, "b");
    }
    TAllele *A, *a, *B, *b;
};

TEST_F(PhenoTwoLoci, ShareOfCorrectlyPhasedIndividuals) {
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
    EXPECT_DOUBLE_EQ(set.percent_correct_gametic_phase(os), 5.0 / 6.0);
    // 0.32 / (0.32 + 0.02) for the first individual.
    EXPECT_TRUE(os.str().starts_with("Phenotype : 1 (freq: 3.000000)\n"
                                     "\tCorrect genotype      : \t0.94118\t[A B ] & [a b ]"
                                     "\n\tMost likely genotype  : \t0.94118\t[A B ] & [a b ]\tPhase OK\n"))
        << os.str();
}

// No genotype gives a bad phase, a zero total a ratio of 0, never a NaN.
TEST_F(PhenoTwoLoci, PhaseMeasureWithoutGenotypesOrProbabilities) {
    TPhenDB set;
    set.add(pheno({A, B}, {a, b}, 0));  // never resolved
    std::ostringstream os;
    EXPECT_EQ(set.percent_correct_gametic_phase(os), 0.0);
    EXPECT_NE(os.str().find("Bad phase\n"), std::string::npos);

    TPhenDB zero;
    zero.add(pheno({A, B}, {a, b}, 2));
    TPopHaploDB store;
    zero.build_all_genotypes(store, &db_, 0);
    EXPECT_EQ(zero.percent_correct_gametic_phase(os), 1.0);
    EXPECT_EQ(os.str().find("nan"), std::string::npos);
}

TEST_F(PhenoTwoLoci, GenotypeFrequencyBlock) {
    TPopHaploDB store;
    TPopHaplotype* h[4] = {store.insert(*hapl({A, B}), 0.5), store.insert(*hapl({A, b}), 0.3),
                           store.insert(*hapl({a, B}), 0.15), store.insert(*hapl({a, b}), 0.05)};
    int const ids[] = {1, 2, 3, -1};
    for (int i = 0; i < 4; ++i) h[i]->listedIndex = ids[i];
    std::unique_ptr<TPhenotype> p(pheno({A, B}, {a, b}, 2, "ind1"));
    // Listed in the wrong order on purpose: the printout sorts.
    p->genotypes.Add(new TGenotype{h[2], h[3], 0.0, 0.0});
    p->genotypes.Add(new TGenotype{h[0], h[1], 0.0, 0.0});
    std::ostringstream os;
    p->printGenotypeFreqs(os, 0, 0.0);
    std::string const expected =
        "\n================\n"
        "Phenotype #    1\n"
        "================\n"
        "  Name\t  Abs. Freq.\t Rel. Freq.\n"
        "  ind1\t      2\t          0.315000\n\n"
        "List of genotypes (    2)\n"
        "-------------------------\n"
        "Gen. #\t  Rel. Freq.\t  Exp. Freq.\tHapl. IDs\tHaplotypes\n"
        "    1\t    0.952381\t    0.300000\t           1\tA B \n"
        "     \t            \t            \t           2\tA b \n"
        "    2\t    0.047619\t    0.015000\t           3\ta B \n"
        "     \t            \t            \t          -1\ta b \n";
    EXPECT_EQ(os.str(), expected);
}

}  // namespace
}  // namespace quintle
