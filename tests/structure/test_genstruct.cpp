// The genetic-structure driver of a pass: its two refusals, the one-shot
// conversion of diploid data, which entries and headings each task set
// writes, and the task bits and settings it changes only for the duration
// of a call.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "core/xml.h"
#include "data/TAlleleDB.h"
#include "project_builder.h"
#include "run/glbobj.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

constexpr std::int64_t AMOVA = 0x200, PAIRWISE_FST = 0x400, EXACT = 0x2000, MANTEL = 0x10000;

std::string slurp(fs::path const& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool has(std::string const& text, std::string const& part) { return text.find(part) != std::string::npos; }

class GenStructTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        dir = fs::temp_directory_path() /
              ("quintle_genstruct_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        fs::create_directories(dir);
        E.init_log_file(my_string((dir / "log.txt").string().c_str()), false);
        E.error(WARNING, "", -1);
        initialize_pellomar_global_objects();
        savedType = ProfileSettings::DataType;
        savedSeparator = ProfileSettings::LocusSeparator;
        savedXml = xmlOutput;
        savedHtml = htmlOutput;
        ProfileSettings::DataType = DNA;
        ProfileSettings::LocusSeparator = 0;
        xmlOutput = false;
        htmlOutput = true;

        result.open(dir / "result.htm", std::ios::in | std::ios::out | std::ios::trunc);
        settings& o = p.options;
        o.ResultFile = &result;
        o.ResultFileName = (dir / "result.htm").string().c_str();
        o.MenuScriptFileName = (dir / "menu.js").string().c_str();
        o.NumPermutationsAMOVA = 0;
        o.ComputeDistanceMatrixAMOVA = 1;
        p.GenotypicData = 0;
        p.GameticPhase = 1;
        p.RecessiveData = 0;
        p.Title = "Structure project";
    }
    void TearDown() override {
        ProfileSettings::DataType = savedType;
        ProfileSettings::LocusSeparator = savedSeparator;
        xmlOutput = savedXml;
        htmlOutput = savedHtml;
        result.close();
        E.CloseLog_file();
        E.init_log_file(my_string((dir / "absent" / "log.txt").string().c_str()), false);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    HaploDef* define(char const* id, char const* data) { return testing_support::define(p, id, data); }
    void add_sample(Population* s) {
        s->id = static_cast<int>(p.samples->Populations.count);
        s->alleleDB = &p.allele_db;
        s->profile = static_cast<ProfileSettings const&>(*p.samples);
        p.samples->Populations.Add(s);
    }
    void groups(std::vector<std::vector<int>> const& members) { testing_support::set_groups(p, members); }
    // Four haploid DNA samples of three sequences in two groups of two
    // (or the given grouping), allele vectors built as the run's checks do.
    void haploid_project(std::vector<std::vector<int>> const& grouping = {{0, 1}, {2, 3}}) {
        p.samples->GenotypicData = 0;
        HaploDef* h[] = {define("h1", "ACGTA"), define("h2", "ACGTT"), define("h3", "TCGTA")};
        std::vector<std::pair<int, int>> const data[] = {
            {{0, 3}, {1, 1}}, {{1, 2}, {2, 2}}, {{0, 1}, {2, 3}}, {{0, 2}, {1, 2}}};
        char const* const names[] = {"A", "B", "C", "D"};
        for (int k = 0; k < 4; ++k) {
            auto* s = new Population(my_string(names[k]));
            for (auto [i, c] : data[k]) {
                s->haplotypes.Add(new PHaploDef{h[i], c});
                s->SampleSize += c;
            }
            add_sample(s);
        }
        p.build_all_vectors(p.allele_db);
        groups(grouping);
    }
    // Two diploid DNA samples of unconverted individuals in one group.
    void diploid_project(int phase, int recessive) {
        p.GenotypicData = 1;
        p.GameticPhase = phase;
        p.RecessiveData = recessive;
        p.samples->GenotypicData = 1;
        p.samples->GameticPhase = phase;
        add_sample(testing_support::diploid_sample("A", {{1, "AC", "AG"}, {2, "AC", "AC"}}));
        add_sample(testing_support::diploid_sample("B", {{1, "TG", "AG"}}));
        groups({{0, 1}});
    }
    void set_level(bool groupLevel) { p.samples->GroupLevel = groupLevel; }
    void run() { p.GenStructCalculations(p.options.ResultFile); }

    std::string log() const {
        _AOS_->flush();
        return slurp(dir / "log.txt");
    }
    std::string result_text() {
        result.flush();
        return slurp(dir / "result.htm");
    }
    std::string menu() const { return slurp(dir / "menu.js"); }
    void expect_failed_amova_restores(int haplAmova, int computeMatrix,
                                      std::vector<std::vector<int>> const& grouping, char const* failure);

    fs::path dir;
    TDataType savedType{};
    char savedSeparator = 0;
    bool savedXml = false;
    bool savedHtml = true;
    std::fstream result;
    Project p;
};

std::string const heading = std::string(79, '=') + "\n== GENETIC STRUCTURE ANALYSIS\n" + std::string(79, '=') + "\n\n";

// Unphased diploid data cannot give conventional F-statistics: AMOVA and
// pairwise FST are dropped for good, the exact test still runs, and the
// data are still converted.
TEST_F(GenStructTest, UnphasedDiploidDataRefuseConventionalFst) {
    diploid_project(0, 0);
    settings& o = p.options;
    o.TaskNumber = AMOVA | PAIRWISE_FST | EXACT;
    o.HaplAMOVA = 1;
    o.ComputePairwiseFST = 1;
    o.ComputeConventionalFST = 1;

    run();

    std::string const refusal =
        "\n\nThe computation of AMOVA with the option \"CONVENTIONAL FST\" is"
        "\nnot possible with unknown gametic phase data.\nSKIPPING COMPUTATION OF GENETIC STRUCTURE\n\n";
    std::string const out = result_text();
    std::string const logged = log();
    EXPECT_TRUE(has(out, refusal)) << out;
    EXPECT_TRUE(has(logged, refusal)) << logged;
    EXPECT_TRUE(has(logged, "#[WARNING # 1] from function \"GenStructCalculations()\" : "
                            "unable to compute Genetic Structure with current settings"))
        << logged;
    EXPECT_EQ(o.TaskNumber, EXACT);
    EXPECT_FALSE(has(out, "GENETIC STRUCTURE ANALYSIS"));
    EXPECT_FALSE(has(logged, "Computing F statistics"));
    EXPECT_TRUE(has(out, "_pop_gen_struct"));
    EXPECT_TRUE(has(out, "_pop_exct_tests"));

    EXPECT_TRUE(has(logged, "\tConverting phenotypic to haplotypic data ...\n\tdone ! (")) << logged;
    EXPECT_EQ(p.phen_converted, 1);
    EXPECT_EQ(p.vectors_built, 1);
    EXPECT_EQ(p.samples->Populations.data[0]->haplotypes.count, 2);  // AC and AG
}

// Recessive diploid data: no conversion at all, and the notice goes to the
// result file only.
TEST_F(GenStructTest, RecessiveDiploidDataSkipConversionAndDropAmovaAndFst) {
    diploid_project(0, 1);
    settings& o = p.options;
    o.TaskNumber = AMOVA | PAIRWISE_FST;
    o.HaplAMOVA = 1;

    run();

    std::string const notice =
        "\n\nThe computation of AMOVA and PAIRWISE FST is\nnot implemented yet with recessive data, sorry\n\n";
    EXPECT_TRUE(has(result_text(), notice)) << result_text();
    std::string const logged = log();
    EXPECT_FALSE(has(logged, "not implemented yet")) << logged;
    EXPECT_FALSE(has(logged, "Converting")) << logged;
    EXPECT_EQ(o.TaskNumber, 0);
    EXPECT_EQ(p.phen_converted, 0);
    EXPECT_FALSE(has(result_text(), "_pop_gen_struct"));
}

// A second call of the same pass must not convert again: the definitions'
// counts would double.
TEST_F(GenStructTest, ConversionHappensOncePerPass) {
    diploid_project(1, 0);
    p.options.TaskNumber = EXACT;
    run();
    std::vector<int> counts;
    for (long i = 0; i < p.haplotypes.haplotypes.count; ++i) counts.push_back(p.haplotypes.haplotypes.data[i]->count);
    // AC 5, AG 2, TG 1, from the individuals' counts.
    EXPECT_EQ(counts, (std::vector<int>{5, 2, 1}));
    long const loci = p.allele_db.loci.count;
    EXPECT_EQ(loci, 2);

    run();
    std::vector<int> again;
    for (long i = 0; i < p.haplotypes.haplotypes.count; ++i) again.push_back(p.haplotypes.haplotypes.data[i]->count);
    EXPECT_EQ(again, counts);
    EXPECT_EQ(p.allele_db.loci.count, loci);
}

TEST_F(GenStructTest, HaploidDataAreNotConvertedAndMicrosatsAreNoted) {
    haploid_project();
    p.options.TaskNumber = 0;
    run();
    EXPECT_FALSE(has(log(), "Converting")) << log();
    EXPECT_FALSE(has(log(), "microsat")) << log();

    ProfileSettings::DataType = MICROSAT;
    run();
    EXPECT_TRUE(has(log(), "\nSkipping microsat repeat length detection\n")) << log();
    EXPECT_TRUE(result_text().empty()) << result_text();
}

// The exact test alone: its entry and the folder (when menus are on), named
// for the pass, but no heading, matrix or AMOVA.
TEST_F(GenStructTest, ExactTestAloneWritesOnlyItsEntries) {
    haploid_project();
    struct Case {
        bool groupLevel;
        bool html;
        char const* folder;
        char const* folderTitle;
        char const* exact;
    };
    Case const cases[] = {{false, true, "_pop_gen_struct", "Genetic structure (samp=pop)", "_pop_exct_tests"},
                          {true, true, "_gr_gen_struct", "Genetic structure (samp=group)", "_gr_exct_tests"},
                          {false, false, "_pop_gen_struct", "Genetic structure (samp=pop)", "_pop_exct_tests"}};
    for (Case const& c : cases) {
        SCOPED_TRACE(std::string(c.exact) + (c.html ? " html" : " no html"));
        fs::remove(dir / "menu.js");
        result.close();
        result.open(dir / "result.htm", std::ios::in | std::ios::out | std::ios::trunc);
        set_level(c.groupLevel);
        htmlOutput = c.html;
        p.options.TaskNumber = EXACT;
        run();

        std::string const out = result_text();
        std::string const script = menu();
        EXPECT_EQ(has(out, c.folder), c.html) << out;
        EXPECT_EQ(has(script, std::string("gFld(\"") + c.folderTitle + "\""), c.html) << script;
        EXPECT_TRUE(has(out, c.exact)) << out;
        EXPECT_TRUE(has(script, std::string("gLnk(\"R\", \"Exact tests\", \"result.htm#") + c.exact + "\")"))
            << script;
        EXPECT_FALSE(has(out, "GENETIC STRUCTURE")) << out;
        EXPECT_EQ(p.options.TaskNumber, EXACT);
    }
    EXPECT_EQ(p.distance_matrix.MatrixSize, 0);
    EXPECT_FALSE(has(log(), "Computing")) << log();
}

// The Mantel test alone: no folder, no heading, but the matrix and the
// engine's pairwise pass with the task bits as they are.
TEST_F(GenStructTest, MantelAloneComputesTheMatrixAndCallsTheEngine) {
    haploid_project();
    p.options.TaskNumber = MANTEL;
    run();
    std::string const out = result_text();
    EXPECT_FALSE(has(out, "_pop_gen_struct")) << out;
    EXPECT_FALSE(has(out, "GENETIC STRUCTURE")) << out;
    EXPECT_EQ(p.distance_matrix.MatrixSize, 3);
    std::string const logged = log();
    EXPECT_TRUE(has(logged, "\tComputing pairwise Fst's")) << logged;
    EXPECT_FALSE(has(logged, "Computing F statistics")) << logged;
    EXPECT_TRUE(has(logged, "\n\t\tdone ! (")) << logged;
    EXPECT_EQ(p.options.TaskNumber, MANTEL);
}

// With the whole-sample AMOVA off, the engine sees no AMOVA bit (else the
// per-locus switch alone would make it run one); the bit is back afterwards,
// as are the keys the per-locus analysis runs without.
TEST_F(GenStructTest, AmovaBitIsOffOnlyDuringTheEngineCall) {
    haploid_project();
    settings& o = p.options;
    o.TaskNumber = AMOVA | PAIRWISE_FST;
    o.LocByLocAMOVA = 1;
    o.ComputePairwiseFST = 1;
    o.ComputeDeltaMuSqr = 1;

    o.HaplAMOVA = 0;
    run();
    std::string out = result_text();
    EXPECT_FALSE(has(out, "AMOVA ANALYSIS")) << out;
    EXPECT_FALSE(has(out, "_pop_amova")) << out;
    EXPECT_TRUE(has(out, heading)) << out;
    EXPECT_TRUE(has(log(), "\t\tComputing F statistics ...\n")) << log();
    EXPECT_TRUE(has(log(), "\tComputing pairwise Fst's")) << log();
    EXPECT_EQ(o.TaskNumber, AMOVA | PAIRWISE_FST);
    EXPECT_EQ(o.ComputePairwiseFST, 1);
    EXPECT_EQ(o.ComputeDeltaMuSqr, 1);

    // The same call with the whole-sample AMOVA asked for runs it.
    o.HaplAMOVA = 1;
    run();
    out = result_text();
    EXPECT_TRUE(has(out, "AMOVA ANALYSIS")) << out;
    EXPECT_TRUE(has(out, "_pop_amova")) << out;
    EXPECT_EQ(o.TaskNumber, AMOVA | PAIRWISE_FST);
    EXPECT_EQ(o.ComputePairwiseFST, 1);
    EXPECT_EQ(o.ComputeDeltaMuSqr, 1);
    EXPECT_FALSE(has(log(), "#[ERROR")) << log();
}

// A failed AMOVA leaves every temporary change undone and the later steps
// running.
void GenStructTest::expect_failed_amova_restores(int haplAmova, int computeMatrix,
                                                 std::vector<std::vector<int>> const& grouping,
                                                 char const* failure) {
    haploid_project(grouping);
    settings& o = p.options;
    o.TaskNumber = AMOVA | PAIRWISE_FST | EXACT;
    o.HaplAMOVA = haplAmova;
    o.LocByLocAMOVA = 1;
    o.ComputeDistanceMatrixAMOVA = computeMatrix;
    o.ComputePairwiseFST = 1;
    o.ComputeDeltaMuSqr = 1;

    run();

    std::string const logged = log();
    EXPECT_TRUE(has(logged, failure)) << logged;
    EXPECT_EQ(o.TaskNumber, AMOVA | PAIRWISE_FST | EXACT);
    EXPECT_EQ(o.ComputePairwiseFST, 1);
    EXPECT_EQ(o.ComputeDeltaMuSqr, 1);
    EXPECT_TRUE(has(logged, "\n\t\tdone ! (")) << logged;
    EXPECT_TRUE(has(result_text(), "_pop_exct_tests"));
}

// Sample C in both groups: the engine gives up and Project::AMOVA catches it.
TEST_F(GenStructTest, EngineFailureLeavesSettingsAsTheyWere) {
    expect_failed_amova_restores(1, 1, {{0, 2}, {1, 2}}, "#[ERROR # 1] from function \"Amova::initialize()\"");
}

// No given matrix to take labels from, while the AMOVA bit is off for the call.
TEST_F(GenStructTest, UnmatchedMatrixLeavesTheAmovaBitRestored) {
    expect_failed_amova_restores(0, 0, {{0, 1}, {2, 3}}, "from function \"Project::AMOVA()\"");
}

// The scan's quiet re-runs: no progress lines, no menu entries, the
// progress text left alone.
TEST_F(GenStructTest, QuietModeWithoutMenusWritesNoProgressOrEntries) {
    haploid_project();
    settings& o = p.options;
    o.TaskNumber = AMOVA;
    o.HaplAMOVA = 1;
    o.quietMode = true;
    htmlOutput = false;
    settings::message = "before";

    run();

    std::string const out = result_text();
    EXPECT_TRUE(has(out, heading)) << out;
    EXPECT_TRUE(has(out, "AMOVA ANALYSIS")) << out;
    EXPECT_FALSE(has(out, "_pop_gen_struct")) << out;
    EXPECT_FALSE(has(out, "_pop_amova")) << out;
    EXPECT_FALSE(has(log(), "Computing F statistics")) << log();
    EXPECT_FALSE(has(log(), "\n\t\tdone ! (")) << log();
    EXPECT_STREQ(settings::message.c_str(), "before");
}

// Every definition gets one allele per locus from the project database;
// equal texts share the same allele objects.
TEST_F(GenStructTest, BuildAllVectorsEntersEveryDefinition) {
    HaploDef* a = define("a", "ACG");
    HaploDef* b = define("b", "ATG");
    HaploDef* c = define("c", "ACG");
    TAlleleDB db;
    p.build_all_vectors(db);
    EXPECT_EQ(db.loci.count, 3);
    for (HaploDef* h : {a, b, c}) EXPECT_EQ(h->alleles.count, 3);
    for (int l = 0; l < 3; ++l) EXPECT_EQ(a->alleles.data[l], c->alleles.data[l]);
    EXPECT_EQ(a->alleles.data[0], b->alleles.data[0]);
    EXPECT_NE(a->alleles.data[1], b->alleles.data[1]);
}

}  // namespace
}  // namespace quintle
