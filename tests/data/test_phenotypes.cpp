// Tests of phenotypes, their phase resolutions, the EM steps on a phenotype
// set and the genotype printouts.

#include "data/TGenotype.h"
#include "data/TPhenDB.h"
#include "data/TPhenotype.h"

#include <gtest/gtest.h>

#include "data/logged_test.h"

#include <cmath>
#include <map>
#include <sstream>
#include <vector>

#include "data/TAlleleDB.h"
#include "data/TPopHaploDB.h"
#include "data/TPopHaplotype.h"

namespace quintle {
namespace {

class PhenotypeLogged : public test::LoggedTest {
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

// ------------------------------------------------------------ enumeration

using PhenoResolution = PhenotypeLogged;

TEST_F(PhenoResolution, ThreeHeterozygousLociGiveFourPairsKeepingTheFirstOne) {
    // Locus 0 homozygous, loci 1..3 heterozygous.
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
    EXPECT_EQ(p->homozygous, 0);
    EXPECT_EQ(p->numResolutions, 4);
    // Pass k exchanges the heterozygous loci after the first one as the bits
    // of k say; the first heterozygous locus (A/a) never moves.
    std::vector<std::string> const expected = {"D A B C |D a b c ", "D A b C |D a B c ", "D A B c |D a b C ",
                                               "D A b c |D a B C "};
    EXPECT_EQ(pairs(*p), expected);
    ASSERT_EQ(store.haplotypes.count, 8);
    for (long i = 0; i < store.haplotypes.count; ++i) EXPECT_EQ(store.haplotypes.data[i]->frequency, 1.0);
}

TEST_F(PhenoResolution, HomozygousPhenotypeGivesOneSharedHaplotype) {
    TAllele* A = allele(0, "A");
    TAllele* B = allele(1, "B");
    std::unique_ptr<TPhenotype> p(pheno({A, B}, {A, B}, 3));
    TPopHaploDB store;
    p->build_genotypes(store, &db_, 0, false);
    EXPECT_EQ(p->homozygous, 1);
    ASSERT_EQ(p->genotypes.count, 1);
    EXPECT_EQ(p->genotypes.data[0]->hapl1, p->genotypes.data[0]->hapl2);
    ASSERT_EQ(store.haplotypes.count, 1);
    EXPECT_EQ(store.haplotypes.data[0]->frequency, 2.0);

    store.haplotypes.data[0]->frequency = 0.4;
    p->update_gen_prob();
    EXPECT_DOUBLE_EQ(p->probability, 0.16);
    EXPECT_DOUBLE_EQ(p->genotypes.data[0]->probability, 0.16);
    EXPECT_DOUBLE_EQ(p->genotypes.data[0]->share, 1.0);
}

TEST_F(PhenoResolution, OneHeterozygousLocusGivesOnePass) {
    TAllele* A = allele(0, "A");
    TAllele* a = allele(0, "a");
    TAllele* B = allele(1, "B");
    std::unique_ptr<TPhenotype> p(pheno({A, B}, {a, B}, 1));
    TPopHaploDB store;
    p->build_genotypes(store, &db_, 0, false);
    EXPECT_EQ(p->homozygous, 0);
    EXPECT_EQ(pairs(*p), std::vector<std::string>{"A B |a B "});
}

TEST_F(PhenoResolution, SecondResolutionAddsNoGenotypeButRaisesFrequencies) {
    TAllele* A = allele(0, "A");
    TAllele* a = allele(0, "a");
    TAllele* B = allele(1, "B");
    TAllele* b = allele(1, "b");
    std::unique_ptr<TPhenotype> p(pheno({A, B}, {a, b}, 1));
    TPopHaploDB store;
    p->build_genotypes(store, &db_, 0, false);
    EXPECT_EQ(p->numResolutions, 2);
    p->build_genotypes(store, &db_, 0, false);
    EXPECT_EQ(p->genotypes.count, 2);
    EXPECT_EQ(p->numResolutions, 0);
    ASSERT_EQ(store.haplotypes.count, 4);
    for (long i = 0; i < store.haplotypes.count; ++i) EXPECT_EQ(store.haplotypes.data[i]->frequency, 2.0);
}

TEST_F(PhenoResolution, RecessiveModeHidesTheRecessiveAlleleBehindHomozygousLoci) {
    // The recessive allele stands first in each locus.
    TAllele* r = allele(0, "r");
    TAllele* A = allele(0, "A");
    TAllele* s = allele(1, "s");
    TAllele* B = allele(1, "B");
    TAllele* C = allele(1, "C");
    (void)s;
    std::unique_ptr<TPhenotype> p(pheno({A, B}, {A, C}, 1));
    TPopHaploDB store;
    p->build_genotypes(store, &db_, 1, false);
    EXPECT_EQ(p->homozygous, 0);
    EXPECT_EQ(p->numResolutions, 3);
    std::vector<std::string> const expected = {"A B |A C ", "A B |r C ", "A C |r B "};
    EXPECT_EQ(pairs(*p), expected);
    EXPECT_EQ(text(p->genotypes.data[1]->hapl2), "r C ");
    EXPECT_EQ(p->genotypes.data[1]->hapl2->alleles.data[0], r);
}

TEST_F(PhenoResolution, RecessiveModeLeavesAHomozygousRecessiveLocusAlone) {
    TAllele* r = allele(0, "r");
    allele(0, "A");
    std::unique_ptr<TPhenotype> p(pheno({r}, {r}, 1));
    TPopHaploDB store;
    p->build_genotypes(store, &db_, 1, false);
    EXPECT_EQ(pairs(*p), std::vector<std::string>{"r |r "});
}

TEST_F(PhenoResolution, RecessiveModeWithSourcePositionsUsesTheSourceLocus) {
    // Alleles of a cut sub-haplotype name their locus by source position.
    TAllele* r0 = allele(0, "r0");
    TAllele* r1 = allele(1, "r1");
    TAllele* A = allele(1, "A");
    (void)r0;
    A->sourcePos = 1;
    std::unique_ptr<TPhenotype> p(pheno({A}, {A}, 1));
    TPopHaploDB store;
    p->build_genotypes(store, &db_, 1, true);
    ASSERT_EQ(p->genotypes.count, 2);
    EXPECT_EQ(p->genotypes.data[1]->hapl2->alleles.data[0], r1);
}

// 32 heterozygous loci are the most a pass count can hold. A recorded
// number of resolutions sets the number of passes, which keeps the accepted
// run short while going through the limit check.
TEST_F(PhenoResolution, MoreThanThirtyTwoHeterozygousLociAreRefused) {
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
        EXPECT_EQ(store.haplotypes.count, n == 32 ? 6 : 0);
        EXPECT_EQ(reports("TPhenotype::build_genotypes()", "too many heterozygous loci"), 1);
    }
}

TEST_F(PhenoResolution, RecessiveModeRefusesMoreThanSixtyTwoLoci) {
    // 2^63 passes would not fit a signed 64-bit count.
    std::vector<TAllele*> g1, g2;
    for (int k = 0; k < 63; ++k) {
        g1.push_back(allele(k, "x"));
        g2.push_back(k == 0 ? allele(k, "y") : g1.back());
    }
    std::unique_ptr<TPhenotype> p(pheno(g1, g2, 1));
    TPopHaploDB store;
    EXPECT_EQ(p->build_genotypes(store, &db_, 1, false), 0);
    EXPECT_EQ(p->genotypes.count, 0);
    EXPECT_EQ(reports("TPhenotype::build_genotypes()", "too many heterozygous loci"), 1);

    // Without the recessive mode the same phenotype has one heterozygous
    // locus and resolves at once.
    EXPECT_EQ(p->build_genotypes(store, &db_, 0, false), 1);
    EXPECT_EQ(p->genotypes.count, 1);
}

// ------------------------------------------------------------------- EM

using PhenoSetOps = PhenotypeLogged;

// Two-locus EM transcribed from the textbook gene-counting rule: only the
// double heterozygote is ambiguous, split between AB/ab and Ab/aB in
// proportion to 2·pAB·pab and 2·pAb·paB.
struct TwoLocusEM {
    double AB = 0.25, Ab = 0.25, aB = 0.25, ab = 0.25;
    void run(double nAABB, double nAaBb, double nAabb, double naabb, double nAaBB, int iterations) {
        double const genes = 2.0 * (nAABB + nAaBb + nAabb + naabb + nAaBB);
        for (int it = 0; it < iterations; ++it) {
            double const cis = AB * ab, trans = Ab * aB;
            double const x = nAaBb * cis / (cis + trans);
            double const y = nAaBb - x;
            double const cAB = 2 * nAABB + x + nAaBB;
            double const cab = x + nAabb + 2 * naabb;
            double const cAb = y + nAabb;
            double const caB = y + nAaBB;
            AB = cAB / genes;
            ab = cab / genes;
            Ab = cAb / genes;
            aB = caB / genes;
        }
    }
    double lnL(double nAABB, double nAaBb, double nAabb, double naabb, double nAaBB) const {
        return nAABB * std::log(AB * AB) + nAaBb * std::log(2 * AB * ab + 2 * Ab * aB) +
               nAabb * std::log(2 * Ab * ab) + naabb * std::log(ab * ab) + nAaBB * std::log(2 * AB * aB);
    }
};

TEST_F(PhenoSetOps, TwoLocusEMAgreesWithAnIndependentGeneCount) {
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
    EXPECT_EQ(set[1]->count, 4.0);

    TPopHaploDB store;
    EXPECT_EQ(set.build_all_genotypes(store, &db_, 0), 1);
    ASSERT_EQ(store.haplotypes.count, 4);
    store.assign_rand_init_freq(0);  // equal start values
    double const genes = 2.0 * set.nb_individuals();
    EXPECT_EQ(genes, 22.0);
    for (int it = 0; it < 60; ++it) {
        set.update_genotypes();
        set.update_hapl_freq(store);
        for (long i = 0; i < store.haplotypes.count; ++i) store.haplotypes.data[i]->frequency /= genes;
    }
    set.update_genotypes();
    double const lnL = set.calc_ln_likelihood();

    TwoLocusEM ref;
    ref.run(3, 4, 2, 1, 1, 60);
    std::map<std::string, double> got;
    for (long i = 0; i < store.haplotypes.count; ++i)
        got[text(store.haplotypes.data[i])] = store.haplotypes.data[i]->frequency;
    EXPECT_NEAR(got["A B "], ref.AB, 1e-12);
    EXPECT_NEAR(got["A b "], ref.Ab, 1e-12);
    EXPECT_NEAR(got["a B "], ref.aB, 1e-12);
    EXPECT_NEAR(got["a b "], ref.ab, 1e-12);
    EXPECT_NEAR(lnL, ref.lnL(3, 4, 2, 1, 1), 1e-10);
    EXPECT_EQ(set.lnLikelihood, lnL);
}

TEST(PhenoSetPlain, LikelihoodOfEmptyAndImpossibleSets) {
    TPhenDB set;
    EXPECT_EQ(set.calc_ln_likelihood(), 0.0);
    set.add(new TPhenotype(my_string("x"), 2));
    set[0]->probability = 0.5;
    set.add(new TPhenotype(my_string("y"), 1));
    EXPECT_EQ(set.calc_ln_likelihood(), -3.4028234663852886e38);
    set[1]->probability = 0.25;
    EXPECT_DOUBLE_EQ(set.calc_ln_likelihood(), 2 * std::log(0.5) + std::log(0.25));
}

TEST_F(PhenoSetOps, EStepKeepsSharesWhenThePhenotypeHasNoProbability) {
    TAllele* A = allele(0, "A");
    TAllele* a = allele(0, "a");
    TAllele* B = allele(1, "B");
    TAllele* b = allele(1, "b");
    std::unique_ptr<TPhenotype> p(pheno({A, B}, {a, b}, 1));
    TPopHaploDB store;
    p->build_genotypes(store, &db_, 0, false);
    p->genotypes.data[0]->share = 0.7;
    store.reset_freq();
    p->update_gen_prob();
    EXPECT_EQ(p->probability, 0.0);
    EXPECT_EQ(p->genotypes.data[0]->share, 0.7);
}

// ------------------------------------------------------- set operations

TEST_F(PhenoSetOps, RedundancyMergesIdenticalPhenotypesInOrder) {
    TAllele* A = allele(0, "A");
    TAllele* a = allele(0, "a");
    TPhenDB set;
    set.add(pheno({A}, {a}, 1, "p1"));
    set.add(pheno({A}, {A}, 5, "p2"));
    set.add(pheno({a}, {A}, 2, "p3"));
    set.add(pheno({A}, {a}, 3, "p4"));
    set.convert_freq_to_real();
    set.check_pheno_redundancy();
    ASSERT_EQ(set.size(), 2);
    EXPECT_STREQ(set[0]->name.c_str(), "p1");
    EXPECT_EQ(set[0]->count, 6.0);
    EXPECT_DOUBLE_EQ(set[0]->relFreq, 6.0 / 11.0);
    EXPECT_STREQ(set[1]->name.c_str(), "p2");
    EXPECT_EQ(set[1]->count, 5.0);
}

TEST(PhenoSetPlain, WithoutPseudoHaplotypesEqualCountsMerge) {
    TPhenDB set;
    set.add(new TPhenotype(my_string("a"), 2));
    set.add(new TPhenotype(my_string("b"), 3));
    set.add(new TPhenotype(my_string("c"), 2));
    set.check_pheno_redundancy();
    ASSERT_EQ(set.size(), 2);
    EXPECT_EQ(set[0]->count, 4.0);
    EXPECT_EQ(set[1]->count, 3.0);
}

TEST_F(PhenoSetOps, CopiesOwnTheirPseudoHaplotypesAndShareTheStore) {
    TAllele* A = allele(0, "A");
    TAllele* a = allele(0, "a");
    TAllele* B = allele(1, "B");
    TAllele* b = allele(1, "b");
    TPhenDB set;
    set.add(pheno({A, B}, {a, b}, 2));
    TPopHaploDB store;
    set.build_all_genotypes(store, &db_, 0);
    set.lnLikelihood = -4.5;
    set.ambiguousInds = 7;

    TPhenDB copy(set);
    ASSERT_EQ(copy.size(), 1);
    EXPECT_EQ(copy.lnLikelihood, -4.5);
    EXPECT_EQ(copy.ambiguousInds, 7);
    TPhenotype const& c = *copy[0];
    EXPECT_NE(c.pseudo1.get(), set[0]->pseudo1.get());
    EXPECT_TRUE(*c.pseudo1 == *set[0]->pseudo1);
    ASSERT_EQ(c.genotypes.count, 2);
    EXPECT_NE(c.genotypes.data[0], set[0]->genotypes.data[0]);
    EXPECT_EQ(c.genotypes.data[0]->hapl1, set[0]->genotypes.data[0]->hapl1);
    EXPECT_EQ(c.numResolutions, 2);
    EXPECT_EQ(c.heteroLoci, 2);

    copy = copy;  // self-assignment keeps everything
    EXPECT_EQ(copy.size(), 1);
    EXPECT_EQ(copy[0]->genotypes.count, 2);
}

TEST_F(PhenoSetOps, RestrictedSetKeepsTheSelectedLoci) {
    TAllele* A = allele(0, "A");
    TAllele* a = allele(0, "a");
    TAllele* B = allele(1, "B");
    TAllele* C = allele(2, "C");
    TAllele* c = allele(2, "c");
    TPhenDB set;
    set.add(pheno({A, B, C}, {a, B, c}, 2, "n1"));
    TPopHaploDB store;
    set.build_all_genotypes(store, &db_, 0);
    set.lnLikelihood = -1.5;

    int const sel[] = {2, 2, 0};  // loci 2 then 0
    TPhenDB sub;
    sub.create_temp_PhenDB(sel, set);
    ASSERT_EQ(sub.size(), 1);
    EXPECT_EQ(sub.lnLikelihood, -1.5);
    EXPECT_EQ(text(sub[0]->pseudo1.get()), "C A ");
    EXPECT_EQ(text(sub[0]->pseudo2.get()), "c a ");
    EXPECT_EQ(sub[0]->genotypes.count, 0);
    EXPECT_EQ(sub[0]->numResolutions, 0);
    EXPECT_EQ(sub[0]->heteroLoci, 2);
    EXPECT_EQ(sub[0]->count, 2.0);

    int const mask[] = {0, 1, 1};
    TPhenDB masked;
    masked.build_sub_PhenDB(mask, set);
    ASSERT_EQ(masked.size(), 1);
    EXPECT_EQ(text(masked[0]->pseudo1.get()), "B C ");
    EXPECT_EQ(masked[0]->heteroLoci, 0);
}

TEST_F(PhenoSetOps, APhenotypeCanBeRestrictedInPlace) {
    TAllele* A = allele(0, "A");
    TAllele* a = allele(0, "a");
    TAllele* B = allele(1, "B");
    TAllele* C = allele(2, "C");
    TAllele* c = allele(2, "c");
    std::unique_ptr<TPhenotype> p(pheno({A, B, C}, {a, B, c}, 3, "n1"));
    TPopHaploDB store;
    ASSERT_EQ(p->build_genotypes(store, &db_, 0, false), 1);
    ASSERT_GT(p->genotypes.count, 0);
    EXPECT_EQ(p->count_hetero_loci(), 2);

    int const sel[] = {2, 2, 1};  // loci 2 then 1
    p->copy_restricted_pheno(sel, *p);
    EXPECT_EQ(text(p->pseudo1.get()), "C B ");
    EXPECT_EQ(text(p->pseudo2.get()), "c B ");
    EXPECT_STREQ(p->name.c_str(), "n1");
    EXPECT_EQ(p->count, 3.0);
    EXPECT_EQ(p->heteroLoci, 2);  // kept, not recounted
    EXPECT_EQ(p->genotypes.count, 0);
    EXPECT_EQ(p->numResolutions, 0);

    int const mask[] = {0, 1, 0};
    p->build_sub_phenotype(mask, *p);
    EXPECT_EQ(text(p->pseudo1.get()), "B ");
    EXPECT_EQ(text(p->pseudo2.get()), "B ");
    EXPECT_STREQ(p->name.c_str(), "n1");
    EXPECT_EQ(p->heteroLoci, 0);
}

TEST_F(PhenoSetOps, LinkageEquilibriumProbabilityFromAlleleWeights) {
    TAllele* A = allele(0, "A");
    TAllele* a = allele(0, "a");
    TAllele* B = allele(1, "B");
    A->weight = 0.6;
    a->weight = 0.4;
    B->weight = 0.5;
    TPhenDB set;
    set.add(pheno({A, B}, {a, B}, 2));
    // 2·0.6·0.4 at the heterozygous locus, 0.5² at the homozygous one.
    EXPECT_DOUBLE_EQ(set[0]->link_equil_pheno_prob(), 0.12);
    EXPECT_DOUBLE_EQ(set.link_equil_ln_likelihood(), 2 * std::log(0.12));

    B->selected = 0;
    EXPECT_DOUBLE_EQ(set[0]->link_equil_pheno_prob(), 0.48);
    EXPECT_EQ(reports("TPhenotype::link_equil_pheno_prob()", "attempt to do computation on non-selected alleles"), 1);
}

// --------------------------------------------------------------- printouts

class PhenoPrint : public PhenotypeLogged {
protected:
    void SetUp() override {
        PhenotypeLogged::SetUp();
        A = allele(0, "A");
        a = allele(0, "a");
        B = allele(1, "B");
        b = allele(1, "b");
        h[0] = store.insert(*hapl({A, B}), 0.5);
        h[1] = store.insert(*hapl({A, b}), 0.3);
        h[2] = store.insert(*hapl({a, B}), 0.15);
        h[3] = store.insert(*hapl({a, b}), 0.05);
        int const ids[] = {1, 2, 3, -1};
        for (int i = 0; i < 4; ++i) h[i]->listedIndex = ids[i];
        p.reset(pheno({A, B}, {a, b}, 2, "ind1"));
        // Listed in the wrong order on purpose: the printout sorts.
        add(h[2], h[3]);
        add(h[0], h[1]);
    }
    void add(TPopHaplotype* x, TPopHaplotype* y) {
        auto* g = new TGenotype;
        g->hapl1 = x;
        g->hapl2 = y;
        p->genotypes.Add(g);
    }
    TAllele *A, *a, *B, *b;
    TPopHaploDB store;
    TPopHaplotype* h[4];
    std::unique_ptr<TPhenotype> p;
};

TEST_F(PhenoPrint, GenotypeFrequencyBlock) {
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
    // The sorted order stays on the phenotype.
    EXPECT_EQ(p->genotypes.data[0]->hapl1, h[0]);
    EXPECT_DOUBLE_EQ(p->probability, 0.315);
}

TEST_F(PhenoPrint, InbreedingCoefficientsEnterTheProbabilities) {
    h[1]->inbreedingCoeff = 0.5;
    h[2]->inbreedingCoeff = 0.25;
    add(h[2], h[2]);
    std::ostringstream os;
    p->printGenotypeFreqs(os, 0, 0.0);
    double const het1 = 0.5 * 2 * 0.5 * 0.3;                      // (1 - F2) 2 p1 p2, F2 of h[1]
    double const het2 = 1.0 * 2 * 0.15 * 0.05;                    // F of h[3] is 0
    double const hom = 0.15 * 0.15 * (1 + 0.25 * 0.15 * 0.85);    // p² (1 + F p (1 - p))
    EXPECT_DOUBLE_EQ(p->probability, het1 + het2 + hom);
}

TEST_F(PhenoPrint, ThresholdOfOneListsNoGenotype) {
    std::ostringstream os;
    p->printGenotypeFreqs(os, 4, 1.0);
    std::string const out = os.str();
    EXPECT_NE(out.find("Phenotype #    5\n"), std::string::npos);
    EXPECT_TRUE(out.size() >= 11 && out.compare(out.size() - 11, 11, "Haplotypes\n") == 0);
}

TEST_F(PhenoPrint, GenotypeAndPhenotypeStreams) {
    TGenotype g{h[0], h[1], 0.3, 0.0};
    std::ostringstream os;
    g.print_genot(os, 0.315);
    EXPECT_EQ(os.str(), "      0.95238 A B \n              A b \n");
    std::ostringstream plain;
    plain << g;
    EXPECT_EQ(plain.str(), "      0.30000 A B \n              A b \n");

    std::ostringstream ph;
    ph << *p;
    EXPECT_EQ(ph.str(), "           ind1        2.000 A B \n                             a b \n");
}

TEST_F(PhenoPrint, DetailedGenotypesListOnlyPositiveOnes) {
    p->genotypes.data[0]->probability = 0.0;
    p->genotypes.data[1]->probability = 0.25;
    p->probability = 0.5;
    std::ostringstream os;
    p->print_detailed_genotypes(os);
    EXPECT_EQ(os.str(), "ind1          2.000\n      0.50000 A B \n              A b \n");

    p->kill_gen_list();
    std::ostringstream bare, direct;
    p->print_detailed_genotypes(bare);
    direct << *p;
    EXPECT_EQ(bare.str(), direct.str());
}

}  // namespace
}  // namespace quintle
