// The EM variants that no analysis calls: linkage equilibrium with an
// inbreeding coefficient, the coefficient solving the homozygote equation,
// the plain EM over the phenotype base's own steps, and the empty members.

#include <gtest/gtest.h>

#include <cmath>

#include "haplo/TCompGamPhase.h"
#include "haplo/haplo_test_support.h"

namespace quintle {
namespace {

using test::frequencies;
using test::HandSample;

class EmVariants : public test::HaploTest {
protected:
    static void fill(HandSample& h) {
        for (auto const& [a, b] : {std::pair{"AB", "AB"}, {"AB", "AB"}, {"ab", "ab"}, {"AB", "ab"}, {"Ab", "aB"},
                                   {"aB", "aB"}, {"AB", "aB"}, {"ab", "ab"}})
            h.add(a, b);
    }
    static double locus_total(HandSample& h, int locus) {
        double t = 0.0;
        for (long a = 0; a < h.db.loci.data[locus]->alleles.count; ++a) t += h.db.loci.data[locus]->alleles.data[a]->expFreq;
        return t;
    }
};

// Without inbreeding the equilibrium fit is the observed allele
// frequencies: its likelihood is the equilibrium likelihood of the data,
// and both public forms give it.
TEST_F(EmVariants, EquilibriumFitIsTheObservedAlleleFrequencies) {
    HandSample h(2);
    fill(h);
    h.pop.update_allele_freq();
    double const direct = h.pop.phenotypes.link_equil_ln_likelihood();
    for (int form = 0; form < 2; ++form) {
        TPhenDB phen(h.pop.phenotypes);
        TPopHaploDB out;
        int nDistinct = 0;
        double f = 0.0;
        double const lnL =
            form == 0 ? h.pop.calc_ML_hapl_freq_hill95_LE(phen, out, s(), nDistinct, 0, f, nullptr, nullptr, 0, 3, 100,
                                                          1e-10)
                      : h.pop.calc_ML_hapl_freq_HWD_LE(phen, out, s(), nDistinct, 0, f, 0, 3, 100, 1e-10);
        EXPECT_NEAR(lnL, direct, 1e-12);
        EXPECT_EQ(nDistinct, 1);
        // The haplotype AB: (7 A of 16) x (10 B of 16), counted by hand.
        EXPECT_NEAR(frequencies(out)["A B "], 7.0 / 16.0 * 10.0 / 16.0, 1e-12);
    }
}

// With an estimated coefficient each locus's frequencies still sum to 1,
// and an excess of homozygotes gives a positive coefficient.
TEST_F(EmVariants, EquilibriumFitWithInbreeding) {
    HandSample h(2);
    fill(h);
    initialize_ran3(-2);
    TPopHaploDB out;
    int nDistinct = 0;
    double f = 0.0;
    h.pop.calc_ML_hapl_freq_hill95_LE(h.pop.phenotypes, out, s(), nDistinct, 1, f, nullptr, nullptr, 0, 4, 2000, 1e-12);
    EXPECT_GT(f, 0.0);
    EXPECT_LT(f, 1.0);
    EXPECT_NEAR(locus_total(h, 0), 1.0, 1e-12);
    EXPECT_NEAR(locus_total(h, 1), 1.0, 1e-12);
}

// The homozygote-equation form: the same fit as the main estimator without
// inbreeding; with it, each haplotype knows its homozygotes and the
// coefficient found solves the equation.
TEST_F(EmVariants, HomozygoteEquationForm) {
    HandSample h(2);
    fill(h);
    TPhenDB a(h.pop.phenotypes), b(h.pop.phenotypes);
    TPopHaploDB ha, hb;
    int na = 0, nb = 0;
    double f = 0.0;
    initialize_ran3(-6);
    double const main = h.pop.calc_ML_hapl_freq_hill95_LD(a, ha, s(), na, 0, f, nullptr, nullptr, 0, 5, 500, 1e-9);
    initialize_ran3(-6);
    double const other = h.pop.calc_ML_hapl_freq_HWD_LD(b, hb, s(), nb, 0, f, 0, 5, 500, 1e-9);
    EXPECT_EQ(main, other);
    EXPECT_EQ(frequencies(ha), frequencies(hb));

    TPopHaploDB hc;
    int nc = 0;
    initialize_ran3(-6);
    h.pop.calc_ML_hapl_freq_HWD_LD(h.pop.phenotypes, hc, s(), nc, 1, f, 0, 5, 3000, 1e-12);
    std::map<std::string, int> homozygotes;
    double sum = 0.0;
    for (long k = 0; k < hc.haplotypes.count; ++k) {
        TPopHaplotype const* hp = hc.haplotypes.data[k];
        std::ostringstream os;
        os << *hp;
        homozygotes[os.str()] = hp->homoCount;
        if (hp->homoCount != 0) sum += hp->homoCount / (hp->frequency + f * (1.0 - hp->frequency));
    }
    EXPECT_EQ(homozygotes["A B "], 2);
    EXPECT_EQ(homozygotes["a b "], 2);
    EXPECT_EQ(homozygotes["a B "], 1);
    EXPECT_NEAR(sum, 8.0, 1e-4) << "F = " << f;
}

// The plain EM reaches the same maximum as the main estimator (reference
// values of the main estimator's test: the first two loci of em_standard).
TEST_F(EmVariants, PlainEmReachesTheSameMaximum) {
    load("em_standard.pmp");
    int const sel[3] = {2, 0, 1};
    TPhenDB phen;
    phen.create_temp_PhenDB(sel, sample(0).phenotypes);
    TPopHaploDB out;
    int nDistinct = 0;
    s().EpsilonValue = 1e-13;
    initialize_ran3(-9);
    double const lnL = sample(0).calc_ML_hapl_freq(phen, out, s(), nDistinct, 0, 20, 200000);
    EXPECT_NEAR(lnL, -140.1223811053, 1e-4);
    EXPECT_NEAR(frequencies(out)["1 1 "], 0.3494609786, 1e-4);
    EXPECT_NEAR(frequencies(out)["2 2 "], 0.2594850624, 1e-4);
}

TEST_F(EmVariants, EmptyMembersDoNothing) {
    HandSample h(2);
    fill(h);
    TPopHaploDB out;
    int nDistinct = 0;
    double f = 0.0;
    h.pop.calc_ML_hapl_freq_hill95_LD(h.pop.phenotypes, out, s(), nDistinct, 0, f, nullptr, nullptr, 0, 2, 100, 1e-7);
    auto const before = frequencies(out, true);
    h.pop.get_profile_lHood(*out.haplotypes.data[0], 0, h.pop.phenotypes, out, MY_TArrayAsVector<double>());
    EXPECT_EQ(frequencies(out, true), before);
    TCompGamPhase compare;
    std::ostringstream os;
    EXPECT_EQ(compare.compare_phase(os), 1.0);
    EXPECT_EQ(compare.compare_hapl_freq(os), 1.0);
    EXPECT_EQ(os.str(), "");
}

}  // namespace
}  // namespace quintle
