// The search for identical haplotype definitions before the passes: the
// classes that follow chains of zero distances and their correction, the
// shared-haplotype report, the merging within samples, and a user's matrix
// left as it was; on projects read as a run reads them, and whole runs.

#include <gtest/gtest.h>

#include <string>

#include "project/project_test_support.h"
#include "structure/structure_runs.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

class SharedHaplotypes : public test::ProjectDirTest {
protected:
    // Reads a project of tests/data/structure and prepares it for the run
    // with the given search settings; the search runs in the preparation.
    void prepare(char const* project, int eliminate, int infer, int computeMatrix) {
        fs::copy_file(structure_test::data_dir / "structure" / project, dir / project);
        ASSERT_EQ(test::read_project(dir / project, p), 1) << log();
        before = test::dump(p);
        result.open(dir / "result.txt", std::ios::in | std::ios::out | std::ios::trunc);
        settings& s = p.options;
        s.ResultFile = &result;
        s.MenuScriptFileName = (dir / "menu.js").string().c_str();
        s.TaskNumber = 1;
        s.EliminateRedondHaplodefs = eliminate;
        s.InferHaplotypeDefinitionFromDistanceMatrix = infer;
        s.ComputeDistanceMatrixAMOVA = computeMatrix;
        s.AllowedLevelOfMissingData = 0.5;  // b's missing locus stays usable
        ASSERT_EQ(p.make_run_possible(), 1) << log();
    }
    std::string entries(int sample) const {
        Population const* pop = p.samples->Populations.data[sample];
        std::string s;
        for (long i = 0; i < pop->haplotypes.count; ++i)
            s += std::string(pop->haplotypes.data[i]->haplotype->id.c_str()) + "x" +
                 std::to_string(pop->haplotypes.data[i]->count) + " ";
        return s;
    }
    std::string text() {
        result.flush();
        return test::slurp(dir / "result.txt");
    }

    Project p;
    std::string before;
    std::fstream result;
};

// d(a,b) = 0, d(b,c) = 0, d(a,c) = 1: the first grouping gives all three
// a's class, the correction puts a and c back on their own; b keeps a's.
// So b merges into a, and c stays (without the correction c would merge
// into b's emptied entry).
TEST_F(SharedHaplotypes, ChainOfZeroDistancesIsCorrected) {
    prepare("shared_standard.pmp", 1, 1, 1);
    EXPECT_EQ(entries(0), "ax5 cx1 ");
    EXPECT_EQ(entries(1), "cx2 dx1 ");
    EXPECT_EQ(p.samples->Populations.data[0]->NbHaplotypeEntriesRead, 3);
    EXPECT_EQ(p.samples->Populations.data[0]->NbHaplotypeEntries, 2);
    EXPECT_NE(log().find("\t\t\tChecking haplotype redundancy from a computed distance matrix:\n"), std::string::npos);

    std::string const t = text();
    EXPECT_NE(t.find("== Checking for haplotypes shared among populations:\n" + std::string(66, '=') + "\n"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find(std::string(69, '=') + "== Population : one\n===============\n"), std::string::npos) << t;
    EXPECT_NE(t.find("Haplotypes shared between \"one\" and \"one\":\n\n\t\ta = b\n\t\tb = c\n"), std::string::npos)
        << t;
    EXPECT_NE(t.find("Haplotypes shared between \"one\" and \"two\":\n\n\t\tb = c\n\t\tc = c\n"), std::string::npos)
        << t;
    EXPECT_NE(t.find("Haplotypes shared between \"two\" and \"one\":\n\n\t\tc = b\n\t\tc = c\n"), std::string::npos)
        << t;
    // Classes of print_out_haplo_cl: {a, b} (c is not at 0 from a), {c}, {d};
    // the texts keep the blank that led them in the project.
    EXPECT_NE(t.find("   a\n   b" + std::string(26, ' ') + " 1 ?\n   c"), std::string::npos) << t;
    EXPECT_EQ(p.samples->NbHaplotypes, 3);
}

TEST_F(SharedHaplotypes, WithoutInferenceNothingIsMerged) {
    prepare("shared_standard.pmp", 1, 0, 1);
    EXPECT_EQ(entries(0), "ax3 bx2 cx1 ");
    EXPECT_NE(text().find("Haplotype frequency distribution among the samples:"), std::string::npos);
}

// A user matrix bound by label: t3 (row 0) and t1 (row 1) are one class
// although the list holds them first and last. The matrix is the same
// afterwards, and frequency data are never merged.
TEST_F(SharedHaplotypes, FrequencyDataWithAUserMatrix) {
    prepare("shared_frequency.pmp", 1, 1, 0);
    EXPECT_EQ(test::dump(p), before);
    EXPECT_EQ(entries(1), "t2x1 t3x3 ");
    std::string const t = text();
    EXPECT_NE(t.find("Haplotypes shared between \"Early\" and \"Late\":\n\n\t\tt1 = t3\n"), std::string::npos) << t;
    EXPECT_NE(t.find("   t1\n   t3" + std::string(25, ' ') + "\n   t2"), std::string::npos) << t;
    // {t1, t3}: Early 5, Late 3; {t2}: Early 3, Late 1 (names 5 wide: a
    // field of 7).
    EXPECT_NE(t.find("t3          " + std::string(6, ' ') + "5   " + std::string(6, ' ') + "3   \n"), std::string::npos)
        << t;
    EXPECT_EQ(p.distance_matrix.constantMode, 0);
}

// Computed distances for frequency data are the constant 0/1 matrix: only a
// type is identical to itself, so the samples share t2 alone.
TEST_F(SharedHaplotypes, FrequencyDataWithComputedDistances) {
    prepare("shared_frequency.pmp", 1, 0, 1);
    std::string const t = text();
    EXPECT_NE(t.find("Haplotypes shared between \"Early\" and \"Late\":\n\n\t\tt2 = t2\n\n"), std::string::npos) << t;
    EXPECT_EQ(p.samples->NbHaplotypes, 3);
    EXPECT_EQ(p.distance_matrix.constantMode, 0) << "constant mode put back";
}

// A list the matrix cannot be bound to: ERROR 135, nothing written, the
// user's matrix as it was.
TEST_F(SharedHaplotypes, UnboundListIsReportedAndTheMatrixKept) {
    fs::copy_file(structure_test::data_dir / "structure" / "shared_frequency.pmp", dir / "f.pmp");
    ASSERT_EQ(test::read_project(dir / "f.pmp", p), 1) << log();
    p.haplotypes.haplotypes.Add(new HaploDef(my_string("t9")));  // no row of the matrix
    before = test::dump(p);
    result.open(dir / "result.txt", std::ios::in | std::ios::out | std::ios::trunc);
    p.options.ResultFile = &result;
    p.options.ComputeDistanceMatrixAMOVA = 0;
    EXPECT_EQ(p.eliminate_redond_haplodef(), 0);
    EXPECT_TRUE(reported("ERROR", 135)) << log();
    EXPECT_EQ(text(), "");
    EXPECT_EQ(test::dump(p), before);
}

// ---------------------------------------------------------------------------
// Whole runs

using structure_test::ProjectRun;

// dna_missing_base.pmp: 'A' is the missing-data character, so x1 and x3
// (and z1 and z2) differ only where one of them is missing. With inference
// each sample holds them once: K of x and z fall by one.
TEST_F(ProjectRun, DnaProjectSharedHaplotypesAndMerging) {
    std::map<std::string, std::string> keys = {{"TaskNumber", "1"},
                                               {"EliminateRedondHaplodefs", "1"},
                                               {"InferHaplotypeDefinitionFromDistanceMatrix", "0"}};
    ASSERT_EQ(run("compare/dna_missing_base.pmp", keys), 0);
    EXPECT_EQ(file("stats.txt"), "K_1\tK_2\tK_3\t\n3\t3\t2\t\n");
    std::string const s = section("== Checking for haplotypes shared", "== ANALYSES AT THE INTRA-POPULATION LEVEL");
    EXPECT_NE(s.find("<A NAME=\"_gr_shared0\"></A>"), std::string::npos) << s;
    EXPECT_NE(s.find("Haplotypes shared between \"x\" and \"y\":\n\n\t\tx1 = y1\n\t\tx3 = y1\n"), std::string::npos) << s;
    EXPECT_NE(file("dna_missing_base.res/dna_missing_base.js").find("Shared haplotypes"), std::string::npos);

    keys["InferHaplotypeDefinitionFromDistanceMatrix"] = "1";
    ASSERT_EQ(run("compare/dna_missing_base.pmp", keys), 0);
    EXPECT_EQ(file("stats.txt"), "K_1\tK_2\tK_3\t\n2\t3\t1\t\n");

    keys["EliminateRedondHaplodefs"] = "0";
    keys["InferHaplotypeDefinitionFromDistanceMatrix"] = "0";
    ASSERT_EQ(run("compare/dna_missing_base.pmp", keys), 0);
    EXPECT_EQ(result().find("Checking for haplotypes shared"), std::string::npos);
}

}  // namespace
}  // namespace quintle
