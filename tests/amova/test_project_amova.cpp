// Project-level AMOVA and distance matrices: the AMOVA driver's checks,
// sample numbering and labels; the distance computation's settings, labels
// and report; the printing of the matrix and of its spanning tree.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

#include <memory>
#include <vector>

#include "run/glbobj.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using namespace test;

class ProjectAmovaTest : public ProjectDirTest {
protected:
    void SetUp() override {
        initialize_pellomar_global_objects();  // the distance-method names
        p.samples->set_data_context(DNA, '\0');
        result.open(dir / "result.htm", std::ios::in | std::ios::out | std::ios::trunc);
        settings& o = p.options;
        o.ResultFile = &result;
        o.ResultFileName = (dir / "result.htm").string().c_str();
        o.MenuScriptFileName = (dir / "menu.js").string().c_str();
        o.NumPermutationsAMOVA = 0;
        p.samples->GenotypicData = 0;
        p.Title = "Hand project";
    }
    void TearDown() override {
        result.close();
    }

    HaploDef* define(char const* id, char const* data, int count = 0) {
        auto* h = new HaploDef(my_string(id));
        h->data = data;
        h->count = count;
        p.haplotypes.haplotypes.Add(h);
        return h;
    }
    // A haplotypic sample of (definition, count) entries, sized by its counts.
    Population* sample(char const* name, std::vector<std::pair<int, int>> const& entries) {
        auto* s = new Population(my_string(name));
        s->id = static_cast<int>(p.samples->Populations.count);
        for (auto [h, c] : entries) {
            s->haplotypes.Add(new PHaploDef{p.haplotypes.haplotypes.data[h], c});
            s->SampleSize += c;
        }
        p.samples->Populations.Add(s);
        return s;
    }
    // Groups as a project's structure section gives them.
    void groups(std::string const& section) {
        std::istringstream in(section);
        int line = 0;
        my_string last;
        bool name = false, nb = false, level = false, group = false;
        ASSERT_EQ(p.structure->NewReadStructure(in, *p.samples, *p.samples, line, last, name, nb, level, group), 1);
    }
    // Three sequences and a computed-looking matrix of their distances,
    // without labels; four samples, the last kept out of the structure.
    void three_haplotypes_four_samples() {
        define("h1", "ACGTA");
        define("h2", "ACGTT");
        define("h3", "AC-TA");
        sample("A", {{0, 3}, {1, 1}});
        sample("B", {{1, 2}, {2, 2}});
        sample("C", {{0, 1}, {2, 3}});
        sample("D", {{0, 2}});
        DistMat& dm = p.distance_matrix;
        dm.create(3);
        dm.MatrixSize = 3;
        dm(1, 0) = 1.0;
        dm(2, 0) = 1.0;
        dm(2, 1) = 2.0;
    }
    int run_amova() {
        p.options.TaskNumber = 0x200;
        p.options.HaplAMOVA = 1;
        return p.AMOVA(p.distance_matrix, p.haplotypes, *p.samples, *p.structure, p.allele_db, &p.amova_res);
    }
    // The samples' ids.
    std::vector<int> ids() const {
        std::vector<int> v;
        for (long i = 0; i < p.samples->Populations.count; ++i) v.push_back(p.samples->Populations.data[i]->id);
        return v;
    }
    std::string labels() const {
        DistMat const& dm = p.distance_matrix;
        if (!dm.Labels) return "<none>";
        std::string s;
        for (int i = 0; i < dm.MatrixSize; ++i) s += std::string(i ? " " : "") + dm.Labels[i].c_str();
        return s;
    }
    std::string result_text() {
        result.flush();
        return slurp(dir / "result.htm");
    }

    std::fstream result;
    Project p;
};

// Samples C and A form the first group, B the second, D none: the engine
// sees C, A, B as 0, 1, 2 and D comes after them. The computed matrix had
// no labels: it gets one per definition.
TEST_F(ProjectAmovaTest, AmovaNumbersGroupedSamplesFirstAndLabelsTheComputedMatrix) {
    three_haplotypes_four_samples();
    groups("NbGroups=2\nGroup={\"C\" \"A\"}\nGroup={\"B\"}\n");
    p.options.ComputeDistanceMatrixAMOVA = 1;
    ASSERT_EQ(run_amova(), 1) << log();
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 0, 3}));
    EXPECT_EQ(p.samples->Populations.data[2]->amovaIndex, 0);
    EXPECT_EQ(labels(), "h1 h2 h3");
    // Groups and samples with gene copies: the groups-samples-copies design ran.
    EXPECT_EQ(p.amova_res.type, 3);

    // Labels already there are replaced, and the array keeps MatrixSize entries.
    p.distance_matrix.Labels = std::make_unique<my_string[]>(3);
    p.distance_matrix.Labels[1] = "old";
    p.haplotypes.haplotypes.data[1]->id = "h2bis";
    ASSERT_EQ(run_amova(), 1);
    EXPECT_EQ(labels(), "h1 h2bis h3");
}

TEST_F(ProjectAmovaTest, AmovaStopsBeforeTheEngineWhenTheDataDoNotAllowIt) {
    three_haplotypes_four_samples();
    p.options.ComputeDistanceMatrixAMOVA = 1;
    // No structure: the structure warnings, then 134; nothing is numbered
    // or labelled and no design runs.
    EXPECT_EQ(run_amova(), 0);
    std::string const text = log();
    for (char const* message :
         {"\"Project::IsAmovaStructure()\" : no samples have been defined",
          "\"Project::IsAmovaStructure()\" : no group(s) have been defined",
          "#[WARNING # 4] from function \"Project::AMOVA()\" : project contains invalid data after check"})
        EXPECT_NE(text.find(message), std::string::npos) << message << "\n" << text;
    EXPECT_EQ(ids(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(labels(), "<none>");
}

// The four settings of the computation are back after a failure, the
// matrix is untouched and the temporary sample is gone. A stop request
// makes any data-type driver return without a matrix.
TEST_F(ProjectAmovaTest, FailedDistanceComputationRestoresSettingsAndLeavesTheMatrix) {
    define("h1", "ACGTA");
    define("h2", "ACGTT");
    p.distance_matrix.initializeMatrixAndArrays(2);
    p.distance_matrix(1, 0) = 7.0;
    p.distance_matrix.Labels[0] = "a";
    p.distance_matrix.Labels[1] = "b";
    settings& o = p.options;
    o.stopFlag = 1;
    o.TaskNumber = 0x600;
    o.DistanceMethodAMOVA = 2;
    o.GammaAValueAMOVA = 0.25;
    o.InferHaplotypeDefinitionFromDistanceMatrix = 1;
    Haplo_DB other;
    for (int form = 0; form < 2; ++form) {
        SCOPED_TRACE(form);
        EXPECT_EQ(form == 0 ? p.calc_dist_matrix(0, 0.0) : p.calc_dist_matrix(other, 1, 0.5), 0);
        EXPECT_EQ(o.TaskNumber, 0x600);
        EXPECT_EQ(o.DistanceMethodAMOVA, 2);
        EXPECT_EQ(o.GammaAValueAMOVA, 0.25);
        EXPECT_EQ(o.InferHaplotypeDefinitionFromDistanceMatrix, 1);
        EXPECT_EQ(p.dist_pop, nullptr);
        EXPECT_EQ(p.distance_matrix.MatrixSize, 2);
        EXPECT_EQ(p.distance_matrix(1, 0), 7.0);
        EXPECT_EQ(labels(), "a b");
    }
    EXPECT_NE(log().find("#[ERROR # 2] from function \"Project::calc_dist_matrix()\" : distance matrix could not be "
                         "computed"),
              std::string::npos)
        << log();
    EXPECT_FALSE(fs::exists(dir / "MissDataPerLocus.txt"));
}

// Twenty sites, pairwise differences. Labels follow the new size: the two
// old ones stay, the third is empty.
TEST_F(ProjectAmovaTest, ComputedDistancesFillTheMatrixAndReportTheUsableLoci) {
    define("h1", "AAAAAAAAAAAAAAAAAAAA", 3);
    define("h2", "AAAAAAAAAAAAAAAAAAAC", 2);
    define("h3", "CCAAAAAAAAAAAAAAAAAA", 1);
    p.distance_matrix.initializeMatrixAndArrays(2);
    p.distance_matrix.Labels[0] = "a";
    p.distance_matrix.Labels[1] = "b";
    settings& o = p.options;
    o.TaskNumber = 0x400;
    o.DistanceMethodAMOVA = 3;
    o.AllowedLevelOfMissingData = 0.05;

    ASSERT_EQ(p.calc_dist_matrix(0, 0.0), 1) << log();
    EXPECT_EQ(o.DistanceMethodAMOVA, 3);
    DistMat& dm = p.distance_matrix;
    ASSERT_EQ(dm.MatrixSize, 3);
    EXPECT_EQ(dm(1, 0), 1.0);
    EXPECT_EQ(dm(2, 0), 2.0);
    EXPECT_EQ(dm(2, 1), 3.0);
    EXPECT_EQ(labels(), "a b ");

    std::string missing = "Locus#\tFreq. missing data\n";
    for (int l = 1; l <= 20; ++l) missing += std::to_string(l) + "\t0\n";
    EXPECT_EQ(slurp(dir / "MissDataPerLocus.txt"), missing);
    EXPECT_NE(result_text().find("\nNumber of usable loci for distance computation : 20"
                                 "\nAllowed level of missing data                  : 0.05\n"),
              std::string::npos)
        << result_text();
}

// The distances follow the type the call names, the samples' unless
// another is given, never the profile reader's: Jukes and Cantor distances
// of DNA (1, 2 and 3 sites of 20 differ) for the samples' type, numbers of
// differing loci when standard data are asked for.
TEST_F(ProjectAmovaTest, DistancesOfTheSamplesTypeOrOfTheTypeAsked) {
    define("h1", "AAAAAAAAAAAAAAAAAAAA", 3);
    define("h2", "AAAAAAAAAAAAAAAAAAAC", 2);
    define("h3", "CCAAAAAAAAAAAAAAAAAA", 1);
    HaploDef::build_haplovects(p.haplotypes.haplotypes.data, p.haplotypes.haplotypes.count, &p.allele_db, '\0', 0,
                               0.1);
    ProfileGuard const reader(FREQUENCY, '\0');
    DistMat& dm = p.distance_matrix;

    ASSERT_EQ(p.calc_dist_matrix(1, 0.0), 1) << log();
    ASSERT_EQ(dm.MatrixSize, 3);
    // Jukes and Cantor over 20 sites, k of them different:
    // /usr/bin/python3 -c "import math; print(-0.75 * math.log(1 - 4 / 3 * k / 20) * 20)"
    EXPECT_NEAR(dm(1, 0), 1.0348930723042715, 1e-13);
    EXPECT_NEAR(dm(2, 0), 2.1465126546100994, 1e-13);
    EXPECT_NEAR(dm(2, 1), 3.3471532697131456, 1e-13);

    ASSERT_EQ(p.calc_dist_matrix(1, 0.0, STANDARD), 1) << log();
    ASSERT_EQ(dm.MatrixSize, 3);
    EXPECT_EQ(dm(1, 0), 1.0);
    EXPECT_EQ(dm(2, 0), 2.0);
    EXPECT_EQ(dm(2, 1), 3.0);
    EXPECT_EQ(p.samples->dataType, DNA);
    EXPECT_EQ(ProfileSettings::DataType, FREQUENCY);
}

// Three OTUs with d(h1,h2) = d(h1,h3) = 1 and d(h2,h3) = 2: the links
// h1-h2 and h1-h3. A matrix left from another list is not used.
TEST_F(ProjectAmovaTest, SpanningTreeIsPrintedOnlyForAMatrixOfTheHaplotypes) {
    define("h1", "AA");
    define("h2", "AC");
    define("h3", "CA");
    p.options.PrintMinSpannNetworkGlob = 1;
    p.print_distance_matrix();
    EXPECT_EQ(result_text().find("MINIMUM SPANNING TREE"), std::string::npos);
    EXPECT_NE(log().find("\tMinimum spanning network skipped: the distance matrix has 0 rows for 3 haplotypes\n"),
              std::string::npos)
        << log();

    DistMat& dm = p.distance_matrix;
    dm.initializeMatrixAndArrays(3);
    dm(1, 0) = 1.0;
    dm(2, 0) = 1.0;
    dm(2, 1) = 2.0;
    p.print_distance_matrix();
    std::string const text = result_text();
    // w = 8: three-blank fields before each OTU heading.
    auto link = [](char const* a, char const* b) {
        return std::string(6, ' ') + a + "  " + std::string(6, ' ') + b + "  " + std::string(17, ' ') + "1\n";
    };
    EXPECT_NE(text.find("   OTU 1     OTU 2    Connection length\n"
                        "   =====     =====    =================\n" +
                        link("h1", "h2") + link("h1", "h3") + "\n" + std::string(43, '-') +
                        "\nNEXUS notation for MST\n" + std::string(43, '-') + "\n\n"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace quintle
