// The data-type slots of microsatellite and standard-data samples: count
// checks, distance matrices, molecular diversity, and the refusals of sizes
// that cannot be compared.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulStandard.h"
#include "datatypes/allele_data.h"
#include "datatypes/allele_fixture.h"
#include "datatypes/microsat_distances.h"
#include "datatypes/standard_distances.h"

namespace quintle {
namespace {

using testing_support::AlleleRun;
using testing_support::reports;
using Microsat = testing_support::AlleleSample<PopulMicrosat>;
using Standard = testing_support::AlleleSample<PopulStandard>;

constexpr char kRefused[] =
    "ERROR PopulMicrosat::compute_distance_matrix() : microsatellite allele not coded as an integer value";
constexpr char kNoMatrix[] = "ERROR PopulMicrosat::compute_molecular_diversity() : distance matrix does not exist";

// The distance of the second haplotype to the first, and the maximum kept.
struct PairCase {
    char const* first;
    char const* second;
    int method;
    std::vector<int> usable;  // empty: every locus
    double distance;
    int maximum;
};

TEST(MicrosatDistances, PairsBySizeOrByDifferentAlleles) {
    const PairCase cases[] = {
        {"10 12", "10 15", 0, {}, 1.0, 1},
        {"10 12", "10 15", 1, {}, 9.0, 9},
        // A missing allele on either side adds nothing, with either method.
        {"10 ?", "10 15", 1, {}, 0.0, 0},
        {"10 15", "10 ?", 1, {}, 0.0, 0},
        {"10 15", "12 ?", 0, {}, 1.0, 1},
        // A locus that is not usable never counts.
        {"10 12", "11 15", 1, {1, 0}, 1.0, 1},
        // Sizes are read as decimal numbers; the maximum keeps the whole part.
        {"12.5 7", "10 7", 1, {}, 6.25, 6},
        {"0010", "10", 0, {}, 0.0, 0},
    };
    for (PairCase const& c : cases) {
        AlleleRun run(MICROSAT, 0);
        Microsat m("m", {{c.first, 1}, {c.second, 1}});
        m.pop.usableSite = c.usable;
        m.pop.microsatDistanceMethod = c.method;
        EXPECT_EQ(m.pop.compute_distance_matrix(nullptr, &run.s, 0), 0) << "callers look at the matrix";
        ASSERT_TRUE(m.pop.distMat) << c.first << " / " << c.second;
        EXPECT_DOUBLE_EQ((*m.pop.distMat)(1, 0), c.distance) << c.first << " / " << c.second << " method " << c.method;
        EXPECT_EQ(m.pop.maxPairwiseDistance, c.maximum);
        EXPECT_EQ((*m.pop.distMat)(0, 1), 0.0) << "nothing above the diagonal";
    }
}

TEST(MicrosatDistances, FirstHaplotypeWithoutLociGivesZeros) {
    AlleleRun run(MICROSAT, 0);
    Microsat m("m", {{"", 2}, {"10 12", 1}});
    m.pop.compute_distance_matrix(nullptr, &run.s, 0);
    ASSERT_TRUE(m.pop.distMat);
    EXPECT_EQ((*m.pop.distMat)(1, 0), 0.0);
    EXPECT_EQ(m.pop.maxPairwiseDistance, 0);
}

// A size that cannot be compared, or a distance beyond the int range of the
// maximum, leaves no matrix: a partly filled one would pass for complete.
TEST(MicrosatDistances, SizesThatCannotBeComparedLeaveNoMatrix) {
    struct Case {
        char const* first;
        char const* second;
        int method;
        bool refused;
    } const cases[] = {
        {"inf 10", "12 10", 0, true},  {"12 10", "-inf 10", 1, true}, {"nan 10", "12 10", 0, true},
        {"12 10", "1e999 10", 0, true},  // beyond the double range: infinity
        {"0 10", "50000 10", 1, true},   // 2.5e9 squared steps
        {"0 10", "50000 10", 0, false},  // one different allele
        {"inf 10", "? 10", 0, false},    // never compared with anything
        {"46340 10", "0 10", 1, false},  // 2147395600, just within the range
    };
    for (Case const& c : cases) {
        AlleleRun run(MICROSAT, 0);
        Microsat m("m", {{c.first, 1}, {c.second, 1}});
        m.pop.microsatDistanceMethod = c.method;
        m.pop.compute_distance_matrix(nullptr, &run.s, 0);
        EXPECT_EQ(!m.pop.distMat, c.refused) << c.first << " / " << c.second;
        if (c.refused) {
            EXPECT_EQ(m.pop.maxPairwiseDistance, 0);
            EXPECT_EQ(reports(run.log()), std::vector<std::string>{kRefused});
            EXPECT_EQ(run.log().find("\t\tdone !"), std::string::npos) << "no timing line after the refusal";
        } else {
            EXPECT_TRUE(reports(run.log()).empty()) << run.log();
        }
    }
}

TEST(MicrosatDistances, DiversityAfterARefusedMatrixReportsTheMissingMatrix) {
    AlleleRun run(MICROSAT, 0);
    Microsat m("m", {{"inf", 2}, {"12", 1}});
    m.pop.numUsableSites = 1;
    m.pop.microsatDistanceMethod = 0;
    m.pop.compute_distance_matrix(nullptr, &run.s, 0);
    EXPECT_EQ(m.pop.compute_molecular_diversity(run.s), 1);
    EXPECT_EQ(reports(run.log()), (std::vector<std::string>{kRefused, kRefused, kNoMatrix}));
    EXPECT_EQ(m.pop.meanPairwiseDiff, 0.0) << "unchanged";
}

TEST(MicrosatDistances, PrintedMatrixOfThreeHaplotypes) {
    AlleleRun run(MICROSAT, 0);
    Microsat m("m", {{"10 12", 1}, {"10 15", 1}, {"11 15", 1}});
    m.pop.microsatDistanceMethod = 1;
    std::fstream out(run.dir() / "matrix.txt", std::ios::out | std::ios::trunc);
    m.pop.compute_distance_matrix(&out, &run.s, 0);
    out.close();
    EXPECT_EQ(testing_support::read_file(run.dir() / "matrix.txt"),
              "\nInter-haplotypic distance matrix:\n\n"
              "          0.0000  0.0000\n"
              "  9.0000          0.0000\n"
              " 10.0000  1.0000        \n");
    const std::string log = run.log();
    EXPECT_NE(log.find("\t\tBeginning distance computations ...\n\t\tdone ! ("), std::string::npos) << log;
    EXPECT_NE(log.find("\t\tWriting matrix to file ...\n"), std::string::npos) << log;
}

TEST(MicrosatSizes, AtofRules) {
    EXPECT_EQ(microsat_size(my_string("  124")), 124.0);
    EXPECT_EQ(microsat_size(my_string("12.5x")), 12.5);
    EXPECT_EQ(microsat_size(my_string("abc")), 0.0);
    EXPECT_TRUE(std::isinf(microsat_size(my_string("1e400"))));
}

TEST(StandardDistances, DifferentAllelesAtUsableLoci) {
    struct Case {
        char const* first;
        char const* second;
        std::vector<int> usable;
        double distance;
    } const cases[] = {
        {"A B C", "A D C", {}, 1.0},
        {"A ? C", "A D C", {}, 0.0},
        {"A B C", "E D F", {}, 3.0},
        {"A B C", "E D F", {1, 0, 1}, 2.0},
        {"AB B", "A B", {}, 1.0},  // names are labels: AB is not A
    };
    for (auto const& c : cases) {
        AlleleRun run(STANDARD, 0);
        Standard st("s", {{c.first, 1}, {c.second, 1}});
        st.pop.usableSite = c.usable;
        EXPECT_EQ(st.pop.compute_distance_matrix(nullptr, &run.s, 0), 1);
        ASSERT_TRUE(st.pop.distMat);
        EXPECT_EQ((*st.pop.distMat)(1, 0), c.distance) << c.first << " / " << c.second;
        EXPECT_EQ(st.pop.maxPairwiseDistance, static_cast<int>(c.distance));
    }
}

// Long rows that differ at a few loci, with missing data, a text repeated
// in a definition of its own and a definition listed twice: every distance
// is the number of loci where both texts have an allele and the two differ,
// counted here on the texts; the rows keep the four loci where some
// haplotype differs from the first, and repeated rows fall into one class.
TEST(StandardDistances, RowsKeepTheLociThatDifferAndRepeatsShareAClass) {
    std::vector<std::string> const texts = {"A A A A A A A A A A", "A A A A A A A A A B", "A A ? A A A A A A A",
                                            "A A A A A A A A A B", "C A A A A B A A A ?"};
    AlleleRun run(STANDARD, 0);
    Standard st("s", {{texts[0], 1}, {texts[1], 1}, {texts[2], 1}, {texts[3], 1}, {texts[4], 1}});
    st.pop.haplotypes.Add(new PHaploDef{st.definitions[1].get(), 2});
    std::vector<std::string> all = texts;
    all.push_back(texts[1]);
    auto by_hand = [&all](std::size_t i, std::size_t j) {
        double d = 0.0;
        for (std::size_t c = 0; c < all[i].size(); c += 2)
            if (all[i][c] != '?' && all[j][c] != '?' && all[i][c] != all[j][c]) d += 1.0;
        return d;
    };

    std::vector<int> classOf;
    EXPECT_EQ(allele_row_classes(st.pop.haplotypes, usable_loci({}, 10), classOf), 4);
    EXPECT_EQ(classOf, (std::vector<int>{0, 1, 2, 1, 3, 1}));
    StandardAlleleRows const rows = read_standard_alleles(list_entries(st.pop.haplotypes), usable_loci({}, 10), '?');
    EXPECT_EQ(rows.loci, 4);

    ASSERT_EQ(st.pop.compute_distance_matrix(nullptr, &run.s, 0), 1);
    ASSERT_TRUE(st.pop.distMat);
    for (std::size_t i = 0; i < all.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_EQ((*st.pop.distMat)(static_cast<int>(i), static_cast<int>(j)), by_hand(i, j)) << i << " " << j;
    EXPECT_EQ(st.pop.maxPairwiseDistance, 2);
}

// Two copies of one haplotype and one of another at distance 2 over three
// usable loci: S = 2 x 1 x 2 = 4, pi = 4/3. The s.d. are from a separate
// calculation of the same formulas (python3):
//   n, S, L = 3, 4, 3; pi = S / (n*(n-1)/2); h = pi / L
//   sqrt((3*n*(n+1)*pi + 2*(n*n+n+3)*pi**2) / (11*n*n-7*n+6))  -> 1.098339294731
//   sqrt((n+1)*h/(3*(n-1)*L) + 2*(n*n+n+3)*h**2/(9*n*(n-1)))   -> 0.456623259479
TEST(MolecularDiversity, BothTypesFromTheMatrix) {
    {
        AlleleRun run(STANDARD, 0);
        Standard st("s", {{"A B C", 2}, {"A D E", 1}});
        st.pop.evaluate_polymorphism(run.s);
        ASSERT_EQ(st.pop.numUsableSites, 3);
        EXPECT_EQ(st.pop.compute_molecular_diversity(run.s), 1);
        EXPECT_DOUBLE_EQ(st.pop.stdMeanPairwiseDiff, 4.0 / 3.0);
        EXPECT_NEAR(st.pop.stdMeanPairwiseDiffSd, 1.098339294731, 1e-11);
        EXPECT_NEAR(st.pop.piPerSite, 0.444444444444, 1e-11);
        EXPECT_NEAR(st.pop.piPerSiteSd, 0.456623259479, 1e-11);
        EXPECT_EQ(st.pop.meanPairwiseDiff, 0.0) << "the standard class keeps its own members";
    }
    {
        AlleleRun run(MICROSAT, 0);
        Microsat m("m", {{"10 20 30", 2}, {"10 21 32", 1}});
        m.pop.evaluate_polymorphism(run.s);
        m.pop.microsatDistanceMethod = 0;
        m.pop.compute_molecular_diversity(run.s);
        EXPECT_DOUBLE_EQ(m.pop.meanPairwiseDiff, 4.0 / 3.0);
        EXPECT_NEAR(m.pop.piPerSiteSd, 0.456623259479, 1e-11);
        // Squared size differences are no numbers of differences.
        m.pop.distMat.reset();
        m.pop.microsatDistanceMethod = 1;
        m.pop.compute_molecular_diversity(run.s);
        EXPECT_EQ(m.pop.meanPairwiseDiff, 0.0);
        EXPECT_EQ(m.pop.maxPairwiseDistance, 5) << "the matrix of the method in force";
    }
}

TEST(MolecularDiversity, OneGeneCopyOrNoUsableLocusGivesZeros) {
    for (bool oneCopy : {true, false}) {
        AlleleRun run(STANDARD, 0);
        Standard st("s", oneCopy ? std::vector<std::pair<std::string, int>>{{"A B", 1}}
                                 : std::vector<std::pair<std::string, int>>{{"A B", 2}, {"C B", 1}});
        st.pop.numUsableSites = oneCopy ? 2 : 0;
        st.pop.stdMeanPairwiseDiff = st.pop.stdMeanPairwiseDiffSd = st.pop.piPerSite = st.pop.piPerSiteSd = 7.0;
        EXPECT_EQ(st.pop.compute_molecular_diversity(run.s), 1);
        EXPECT_EQ(st.pop.stdMeanPairwiseDiff, 0.0);
        EXPECT_EQ(st.pop.stdMeanPairwiseDiffSd, 0.0);
        EXPECT_EQ(st.pop.piPerSite, 0.0);
        EXPECT_EQ(st.pop.piPerSiteSd, 0.0);
    }
}

// 70000 x 70000 pairs pass 2^31: the products are formed in 64 bits.
// pi = 70000^2 / (140000 * 139999 / 2) = 0.500003571454 (python3).
TEST(MolecularDiversity, LargeCountsDoNotOverflow) {
    AlleleRun run(MICROSAT, 0);
    Microsat m("m", {{"10 12", 70000}, {"11 12", 70000}});
    m.pop.numUsableSites = 2;
    m.pop.microsatDistanceMethod = 0;
    m.pop.compute_molecular_diversity(run.s);
    EXPECT_NEAR(m.pop.meanPairwiseDiff, 0.500003571454, 1e-12);
}

TEST(CheckData, CountsAgainstTheList) {
    struct Case {
        TDataType type;
        double declaredSize;
        int declaredHaplotypes;
        bool phased;
        int result;
        double size;
        int haplotypes;
        char const* report;  // null: none
    } const cases[] = {
        {MICROSAT, 3, 2, false, 1, 3, 2, nullptr},
        {MICROSAT, 0, 0, false, 1, 3, 2, nullptr},  // unknown values are taken silently
        {MICROSAT, 5, 2, false, 0, 3, 2,
         "WARNING PopulMicrosat::check_data() : sum of haplotype frequencies do not Add up to specified number"},
        {MICROSAT, 3, 4, false, 0, 3, 4,
         "ERROR PopulMicrosat::check_data() : number of haplotypes does not correspond to initial value"},
        {STANDARD, 3, 4, false, 0, 3, 4,
         "WARNING PopulStandard::check_data() : number of haplotypes does not correspond to initial value"},
        {STANDARD, 3, 4, true, 1, 3, 2, nullptr},  // phased genotypes: the list length
    };
    for (Case const& c : cases) {
        AlleleRun run(c.type, 0);
        Microsat m("m", {{"10 12", 2}, {"11 12", 1}});
        Standard st("s", {{"A B", 2}, {"C B", 1}});
        PopGenetics& p = c.type == MICROSAT ? static_cast<PopGenetics&>(m.pop) : st.pop;
        p.SampleSize = c.declaredSize;
        p.NbHaplotypeEntries = c.declaredHaplotypes;
        p.profile.GenotypicData = c.phased ? 1 : 0;
        p.profile.GameticPhase = c.phased ? 1 : 0;
        EXPECT_EQ(p.check_data(), c.result);
        EXPECT_EQ(p.SampleSize, c.size);
        EXPECT_EQ(p.NbHaplotypeEntries, c.haplotypes);
        const std::vector<std::string> expected = c.report ? std::vector<std::string>{c.report}
                                                           : std::vector<std::string>{};
        EXPECT_EQ(reports(run.log()), expected);
    }
}

TEST(CheckData, EmptyListIsConsistentButHasNoMatrix) {
    AlleleRun run(STANDARD, 0);
    Standard st("s", {});
    EXPECT_EQ(st.pop.check_data(), 1);
    EXPECT_EQ(st.pop.compute_distance_matrix(nullptr, &run.s, 0), 0);
    EXPECT_EQ(st.pop.compute_molecular_diversity(run.s), 0);
    EXPECT_EQ(reports(run.log()),
              (std::vector<std::string>{
                  "ERROR PopulStandard::compute_distance_matrix() : haplotype list is empty",
                  "ERROR PopulStandard::compute_distance_matrix() : haplotype list is empty",
                  "ERROR PopulStandard::compute_molecular_diversity(settings& www) : haplotype list is empty"}));
}

}  // namespace
}  // namespace quintle
