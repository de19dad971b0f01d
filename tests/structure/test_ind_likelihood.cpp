// The genotype assignment test: its kernel on values worked by hand, the
// section of a sample set built here, and whole runs on projects worked by
// hand (one with missing alleles) and on a public cattle data set whose
// values come from R.
//
// Reference values:
// - 1 - 0.95^(1/20) = 0.0025613787765302876 (n = 10 individuals).
// - n = 10, p(A) = 0.75, p(B) = 0.25: AB ln(2 x 0.75 x 0.25) = -0.981, AA
//   ln(0.5625) = -0.575; an absent allele's homozygote 2 ln m = -11.934, a
//   heterozygote of two absent alleles ln(2 m^2) = -11.241.
// - structure/microbov.txt, the 497 individuals of R package adegenet's
//   data(microbov) typed at all 30 loci; structure/microbov_assignment.txt
//   holds, per individual, its sample number, name and log-likelihood in
//   the 15 samples, computed in R (adegenet 2) from
//     x <- microbov[rowSums(is.na(tab(microbov))) == 0, ]
//     freq <- makefreq(genind2genpop(x))
//   as sum over loci of log(p1) + log(p2) (+ log 2 at heterozygous loci),
//   a frequency below 1e-15 replaced by 1 - exp(log(0.95) / (2 n_j)); the
//   one-locus EM of complete genotypes is allele counting, so the program
//   must agree to the 3 decimals it prints.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iomanip>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/scratch.h"
#include "core/xml.h"
#include "data/Population.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TPhenotype.h"
#include "project/Samples.h"
#include "run/settings.h"
#include "structure/IndLikelihood.h"
#include "structure/structure_runs.h"
#include "support/process_state.h"

namespace quintle {
namespace {

TEST(AssignmentKernel, MinimumFrequencyOfTenIndividuals) {
    EXPECT_NEAR(assignment_min_frequency(10), 0.0025613787765302876, 1e-17);
    EXPECT_NEAR(assignment_min_frequency(1), 1.0 - std::sqrt(0.95), 1e-16);
}

// 400 loci of p = 0.01: Q = 1e-1600 is below any double. The value goes on
// as a sum of logarithms instead of printing -inf.
TEST(AssignmentKernel, ManyLociDoNotUnderflow) {
    GenotypeLikelihood q(1e-3);
    for (int k = 0; k < 400; ++k) q.add(0.01, 0.01, false);
    EXPECT_TRUE(std::isfinite(q.ln()));
    EXPECT_NEAR(q.ln(), 800.0 * std::log(0.01), 1e-9);
    // And with absent alleles at the minimum frequency of a large sample.
    GenotypeLikelihood r(assignment_min_frequency(5000));
    for (int k = 0; k < 100; ++k) r.add(0.0, 0.0, true);
    EXPECT_NEAR(r.ln(), 100.0 * (std::log(2.0) + 2.0 * std::log(assignment_min_frequency(5000))), 1e-8);
}

// ---------------------------------------------------------------------------
// The section on a sample set built here

class AssignmentSetTest : public ::testing::Test {
protected:
    AssignmentSetTest() {
        result.open(log_.dir() / "result.txt", std::ios::in | std::ios::out | std::ios::trunc);
        s.ResultFile = &result;
        s.MenuScriptFileName = (log_.dir() / "menu.js").string().c_str();
        s.project_allele_db = &alleles;
        s.InitialConditionsEM = 3;
        s.MaximumNumOfIterationsEM = 100;
        set.GenotypicData = 1;
        set.GameticPhase = 0;
    }
    // An unphased sample of individuals (gamete 1, gamete 2), loci separated
    // by blanks.
    Population* sample(char const* name, std::vector<std::pair<char const*, char const*>> const& individuals) {
        auto* p = new Population(my_string(name));
        p->profile.GenotypicData = 1;
        p->profile.MissingData = '?';
        p->alleleDB = &alleles;
        int k = 0;
        for (auto const& [g1, g2] : individuals) {
            auto* ph = new TPhenotype(my_string((std::string(name) + std::to_string(++k)).c_str()), 1.0);
            ph->alleleString1 = g1;
            ph->alleleString2 = g2;
            p->phenotypes.add(ph);
        }
        p->SampleSize = 2.0 * static_cast<double>(individuals.size());
        p->build_allele_vectors(' ');
        set.Populations.Add(p);
        return p;
    }
    std::string text() {
        result.flush();
        return scratch::read_file(log_.dir() / "result.txt");
    }

    test::LogGuard log_{"quintle_assignment"};
    test::Saved<int> numPop_{TAllele::numPop};
    test::Saved<bool> xml_{xmlOutput, false};
    test::Saved<double> work_{settings::global_work_done};
    std::fstream result;
    TAlleleDB alleles{0};
    Samples set;
    settings s;
};

// A sample without individuals has no frequencies: its minimum frequency
// would be 1 and every individual would score 0 there, above its own
// sample. Its cells read "N.A." instead.
TEST_F(AssignmentSetTest, SampleWithoutIndividualsShowsNotAvailable) {
    sample("x", {{"A", "A"}, {"A", "B"}, {"B", "B"}, {"A", "A"}});
    sample("y", {});
    ASSERT_EQ(IndLikelihood(s, &set, 1e-10).run(), 1);
    std::string const t = text();
    // p(A) = 5/8, p(B) = 3/8 in x: AA ln(25/64), AB ln(2 x 15/64).
    auto const row = [](char const* label, double lnQ) {
        std::ostringstream r;
        r << std::fixed << std::setprecision(3) << label << "\t" << std::setw(10) << lnQ << "      N.A.\n";
        return r.str();
    };
    EXPECT_NE(t.find(row("        x1", std::log(25.0 / 64.0))), std::string::npos) << t;
    EXPECT_NE(t.find(row("        x2", std::log(30.0 / 64.0))), std::string::npos) << t;
    EXPECT_NE(t.find("Sample2\n----------\n                   1         2\n\n"), std::string::npos) << t;
    // The frequency arrays are released afterwards; the count of samples stays.
    EXPECT_EQ(TAllele::numPop, 2);
    for (long l = 0; l < alleles.loci.count; ++l)
        for (long a = 0; a < alleles.loci.data[l]->alleles.count; ++a)
            EXPECT_FALSE(alleles.loci.data[l]->alleles.data[a]->popFreq);
}

// Arrays left by another analysis, sized for another number of samples, are
// never read: an allele the EM does not estimate counts as absent.
TEST_F(AssignmentSetTest, StaleFrequencyArraysAreNotRead) {
    sample("x", {{"A", "A"}, {"A", "A"}});
    sample("y", {{"B", "B"}, {"B", "B"}});
    alleles.create_pop_freq_vector(1);
    for (long a = 0; a < alleles.loci.data[0]->alleles.count; ++a) alleles.loci.data[0]->alleles.data[a]->popFreq[0] = 0.5;
    IndLikelihood(s, &set, 1e-10).run();
    std::ostringstream expected;
    expected << std::fixed << std::setprecision(3) << "        x1\t" << std::setw(10) << 0.0 << std::setw(10)
             << std::log(std::pow(assignment_min_frequency(2), 2)) << "\n";
    EXPECT_NE(text().find(expected.str()), std::string::npos) << text();
}

TEST_F(AssignmentSetTest, HaplotypicDataWriteHeadersWithoutRows) {
    set.GenotypicData = 0;
    sample("x", {{"A", "A"}});
    sample("y", {{"B", "B"}});
    ASSERT_EQ(IndLikelihood(s, &set, 1e-10).run(), 1);
    std::string const t = text();
    EXPECT_NE(t.find("== LIKELIHOOD OF INDIVIDUAL GENOTYPES IN ALL POPULATIONS =="), std::string::npos);
    EXPECT_NE(t.find("       1:\tx\n       2:\ty\n"), std::string::npos) << t;
    EXPECT_NE(t.find("Sample1\n----------\n                   1         2\n\nSample2\n"), std::string::npos) << t;
    EXPECT_EQ(t.find("x1"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Whole runs

using structure_test::ProjectRun;

std::map<std::string, std::string> assignment_only() { return {{"TaskNumber", "32768"}}; }

TEST_F(ProjectRun, AssignmentWorkedByHand) {
    ASSERT_EQ(run("structure/assignment_hand.pmp", assignment_only()), 0);
    std::string const s = section("== LIKELIHOOD OF INDIVIDUAL", "////////");
    EXPECT_NE(s.find("Sample1\n----------\n                   1         2\n"
                     "        a1\t    -0.575   -11.934\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("        b5\t    -0.981   -11.241\n"), std::string::npos) << s;
    EXPECT_NE(s.find("Sample2\n----------\n                   1         2\n"
                     "        c1\t   -11.934     0.000\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("       c10\t   -11.934     0.000\n"), std::string::npos) << s;
    // Nothing of it on the statistics line.
    std::string const line = file("stats.txt");
    ASSERT_EQ(run("structure/assignment_hand.pmp", {{"TaskNumber", "0"}}), 0);
    EXPECT_EQ(file("stats.txt"), line);
}

// Missing alleles ("?") are no allele: a sample's frequencies at a locus
// are counts over its known gene copies (the known copy of an x/? genotype
// included), a locus where the scored genotype holds a "?" is left out in
// every sample, and the floor m_j still counts all n_j individuals.
// structure/assignment_missing.pmp, worked by hand:
//   first  (n = 4): f1 AA CD EE, f2 AB ?? EF, f3 B? CC FF, f4 AA CD ??
//   second (n = 3): s1 BB DD FF, s2 B? CD FF, s3 ?? DD EF
// Known copies and frequencies:
//   first  locus 1: 7 copies, A 5, B 2 -> 5/7, 2/7
//          locus 2: 6 copies, C 4, D 2 -> 2/3, 1/3
//          locus 3: 6 copies, E 3, F 3 -> 1/2, 1/2
//   second locus 1: 3 copies, B 3      -> 1 (A absent)
//          locus 2: 6 copies, D 5, C 1 -> 5/6, 1/6
//          locus 3: 6 copies, F 5, E 1 -> 5/6, 1/6
// Floor of "second": m = 1 - 0.95^(1/(2 x 3)) = 0.0085124446108471 (with the
// two individuals known at locus 1 it would be 1 - 0.95^(1/4)).
//   f1 in first:  ln[(5/7)^2 x 2(2/3)(1/3) x (1/2)^2]          = -2.8702
//      (the EM gave "?" a share, p(A) = 5/8, and -4.288)
//   f1 in second: ln[m^2 x 2(1/6)(5/6) x (1/6)^2]               = -14.3969
//   f2 in first:  ln[2(5/7)(2/7) x 2(1/2)(1/2)], locus 2 out    = -1.5892
//   f2 in second: ln[2 m x 1 x 2(1/6)(5/6)]                     = -5.3540
//      (-4.9507 with the floor of two individuals)
//   f3 in first:  ln[(2/3)^2 x (1/2)^2], locus 1 out            = -2.1972
//   f3 in second: ln[(1/6)^2 x (5/6)^2]                         = -3.9482
//   s1 in first:  ln[(2/7)^2 x (1/3)^2 x (1/2)^2]               = -6.0890
//   s1 in second: ln[1 x (5/6)^2 x (5/6)^2]                     = -0.7293
//      (the EM gave p(B) = 1/2 and -2.116)
//   s3 in first:  ln[(1/3)^2 x 2(1/2)(1/2)], locus 1 out        = -2.8904
//   s3 in second: ln[(5/6)^2 x 2(1/6)(5/6)]                     = -1.6456
TEST_F(ProjectRun, MissingAllelesAreLeftOut) {
    ASSERT_EQ(run("structure/assignment_missing.pmp", assignment_only()), 0) << log();
    std::string const s = section("== LIKELIHOOD OF INDIVIDUAL", "////////");
    EXPECT_NE(s.find("Sample1\n----------\n                   1         2\n"
                     "        f1\t    -2.870   -14.397\n"
                     "        f2\t    -1.589    -5.354\n"
                     "        f3\t    -2.197    -3.948\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("Sample2\n----------\n                   1         2\n"
                     "        s1\t    -6.089    -0.729\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("        s3\t    -2.890    -1.646\n"), std::string::npos) << s;
}

// An entry read with count 2 stands for two individuals in the counts, as
// in the EM; n_j stays the number of entries. project/microsat_diploid.pmp:
//   Pop A: a1 (count 1) 120/122 134/134, a2 (count 2) 120/124 ?/136
//   locus 1: 6 copies, 120: 1 + 2, 122: 1, 124: 2 -> 1/2, 1/6, 1/3
//   locus 2: 4 copies, 134: 2, 136: 2            -> 1/2, 1/2
//   a1 in Pop A: ln[2(1/2)(1/6) x (1/2)^2] = ln(1/24) = -3.178
//   a2 in Pop A: ln[2(1/2)(1/3)], locus 2 out = -1.099
//   a2 in Pop B (one entry, 118 130/132 only): m = 1 - 0.95^(1/2),
//   ln(2 m^2) = -6.659
TEST_F(ProjectRun, EntryCountsWeighTheFrequencies) {
    ASSERT_EQ(run("project/microsat_diploid.pmp", assignment_only()), 0) << log();
    std::string const s = section("== LIKELIHOOD OF INDIVIDUAL", "////////");
    EXPECT_NE(s.find("        a1\t    -3.178   -14.011\n"
                     "        a2\t    -1.099    -6.659\n"),
              std::string::npos)
        << s;
}

// Phased genotypes are scored as unphased: the section has its rows.
TEST_F(ProjectRun, PhasedGenotypesAreScoredAsUnphased) {
    ASSERT_EQ(run("compare/dna_diploid_phased.pmp", assignment_only()), 0);
    std::string const s = section("== LIKELIHOOD OF INDIVIDUAL", "////////");
    ASSERT_FALSE(s.empty()) << result();
    EXPECT_EQ(structure_test::occurrences(s, "\n----------\n"), 3) << s;
    EXPECT_NE(s.find("\t    -"), std::string::npos) << s;
}

TEST_F(ProjectRun, CattleBreedsAgreeWithR) {
    ASSERT_EQ(run("structure/microbov.txt", assignment_only()), 0) << log();
    std::string const s = section("== LIKELIHOOD OF INDIVIDUAL", "////////");
    ASSERT_FALSE(s.empty()) << log();

    // The program's rows: name -> 15 values, in the order of the section.
    std::vector<std::pair<std::string, std::vector<double>>> rows;
    std::istringstream lines(s);
    for (std::string l; std::getline(lines, l);) {
        auto const tab = l.find('\t');
        if (tab == std::string::npos || l.rfind("Sample", 0) == 0 || l.find(':') != std::string::npos) continue;
        std::istringstream values(l.substr(tab + 1));
        std::vector<double> v;
        for (double x; values >> x;) v.push_back(x);
        if (v.empty()) continue;  // the label list's head
        std::string name = l.substr(0, tab);
        name.erase(0, name.find_first_not_of(' '));
        rows.emplace_back(name, v);
    }

    std::istringstream reference(scratch::read_file(structure_test::data_dir / "structure" / "microbov_assignment.txt"));
    std::size_t row = 0;
    for (std::string l; std::getline(reference, l); ++row) {
        std::istringstream in(l);
        int sampleNo = 0;
        std::string name;
        in >> sampleNo >> name;
        ASSERT_LT(row, rows.size());
        ASSERT_EQ(rows[row].first, name) << "row " << row;
        ASSERT_EQ(rows[row].second.size(), 15u) << name;
        for (std::size_t j = 0; j < 15; ++j) {
            double expected = 0.0;
            in >> expected;
            EXPECT_NEAR(rows[row].second[j], expected, 0.0006) << name << " in sample " << j + 1;
        }
    }
    EXPECT_EQ(row, 497u);
    EXPECT_EQ(rows.size(), 497u);
}

}  // namespace
}  // namespace quintle
