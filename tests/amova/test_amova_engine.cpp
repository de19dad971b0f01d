// The AMOVA engine: gates, design choice, report header, initialisation and
// the loading of the haplotype index vector, with the checks that stop an
// analysis whose structure or lists do not fit.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "amova/Amova.h"
#include "amova/amova_results.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "popstats/log_capture.h"
#include "project/DistMat.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;
using testing_support::LogCapture;

constexpr std::int64_t kAmova = 512;

TEST(DesignChoice, FollowsTheDataAndTheShapeOfTheStructure) {
    struct Row {
        int A, B, I, R, H;
        int oneOfOne, oneOfSeveral, groups, oneOfNone;  // G=1,P1=1 | G=1,P1=3 | G=2 | G=1,P1=0
    };
    Row const rows[] = {
        {0, 0, 0, 0, 0, 0, 3, 5, 0},  // haplotypic
        {1, 1, 1, 0, 0, 2, 4, 6, 0},  // phased, individual level
        {1, 1, 0, 0, 1, 0, 3, 5, 0},  // phased, gene copies
        {1, 0, 1, 1, 1, 0, 9, 10, 0},  // unphased, recessive
        {1, 0, 0, 1, 0, 0, 9, 10, 0},
        {1, 0, 1, 0, 0, 2, 4, 6, 2},  // unphased, individual level
        {1, 0, 1, 0, 1, 0, 7, 8, 0},  // unphased, individual level, conventional FST
        {1, 0, 0, 0, 0, 0, 7, 8, 0},  // unphased, individuals as units
        {1, 0, 0, 0, 1, 0, 7, 8, 0},
    };
    for (Row const& r : rows) {
        SCOPED_TRACE(testing::Message() << r.A << r.B << r.I << r.R << r.H);
        EXPECT_EQ(Amova::choose_design_code(r.A, r.B, r.I, r.R, r.H, 1, 1), r.oneOfOne);
        EXPECT_EQ(Amova::choose_design_code(r.A, r.B, r.I, r.R, r.H, 1, 3), r.oneOfSeveral);
        EXPECT_EQ(Amova::choose_design_code(r.A, r.B, r.I, r.R, r.H, 2, 1), r.groups);
        EXPECT_EQ(Amova::choose_design_code(r.A, r.B, r.I, r.R, r.H, 1, 0), r.oneOfNone);
        EXPECT_EQ(Amova::choose_design_code(r.A, r.B, r.I, r.R, r.H, 0, 3), 0);
    }
    int const types[] = {0, 0, 6, 1, 2, 3, 4, 7, 5, 9, 8};
    for (int code = 0; code <= 10; ++code) EXPECT_EQ(Amova::result_type(code), types[code]);
}

// A small project built by hand: three haplotypes at distance-matrix rows
// 0..2, samples holding lists of them, groups borrowing the samples.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quintle_amova_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        result_.open(dir_ / "result.htm", std::ios::out | std::ios::trunc);
        run.ResultFile = &result_;
        run.ResultFileName = (dir_ / "result.htm").string().c_str();
        run.NumPermutationsAMOVA = 0;
        dist.MatrixSize = 3;
        dist(1, 0) = 1.0;
        dist(2, 0) = 2.0;
        dist(2, 1) = 3.0;
        for (int i = 0; i < 3; ++i) {
            defs.push_back(std::make_unique<HaploDef>());
            defs.back()->matrixIndex = i;
        }
        initialize_pellomar_global_objects();  // the distance-method names
        savedType_ = ProfileSettings::DataType;
        ProfileSettings::DataType = DNA;
    }
    void TearDown() override {
        ProfileSettings::DataType = savedType_;
        if (structure.Groups)
            for (int g = 0; g < structure.NbGroups; ++g) structure.Groups[g].owns = false;
        result_.close();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // A haplotypic sample with (haplotype, count) entries; its size is the
    // sum of the counts unless given.
    Population* add_sample(std::vector<std::pair<int, int>> const& entries, double size = -1.0) {
        auto* p = new Population(my_string(("pop" + std::to_string(samples.Populations.count)).c_str()));
        p->id = static_cast<int>(samples.Populations.count);
        double copies = 0.0;
        for (auto [h, c] : entries) {
            p->haplotypes.Add(new PHaploDef{h >= 0 && h < 3 ? defs[h].get() : stray(h), c});
            copies += c;
        }
        p->SampleSize = size >= 0.0 ? size : copies;
        samples.Populations.Add(p);
        return p;
    }
    HaploDef* stray(int index) {
        defs.push_back(std::make_unique<HaploDef>());
        defs.back()->matrixIndex = index;
        return defs.back().get();
    }
    // Groups of sample indexes (into the sample set).
    void set_structure(std::vector<std::vector<int>> const& groups) {
        structure.NbGroups = static_cast<int>(groups.size());
        structure.GroupSizes = std::make_unique<int[]>(groups.size());
        structure.Groups = std::make_unique<PopulationGroup[]>(groups.size());
        structure.NbSamplesInGroups = 0;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            structure.Groups[g].owns = false;
            for (int i : groups[g]) structure.Groups[g].Add(samples.Populations.data[i]);
            structure.GroupSizes[g] = static_cast<int>(groups[g].size());
            structure.NbSamplesInGroups += structure.GroupSizes[g];
        }
    }
    void ask_amova() {
        run.TaskNumber = kAmova;
        run.HaplAMOVA = 1;
    }
    std::unique_ptr<Amova> build() {
        return std::make_unique<Amova>(run, &structure, &samples, &dist, nullptr, nullptr, nullptr, 1, 0, &record);
    }
    std::string result_text() {
        result_.flush();
        std::ifstream in(dir_ / "result.htm", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    LogCapture log;
    settings run;
    Samples samples;
    Structure structure;
    DistMat dist{3};
    amova_results record;
    std::vector<std::unique_ptr<HaploDef>> defs;

private:
    fs::path dir_;
    std::fstream result_;
    TDataType savedType_ = STANDARD;
};

TEST_F(EngineTest, OneGroupOfTwoHaplotypicSamplesRunsItsDesign) {
    ask_amova();
    add_sample({{0, 2}, {1, 1}});
    add_sample({{1, 1}, {2, 2}});
    set_structure({{0, 1}});
    run.ComputeDistanceMatrixAMOVA = 1;
    run.DistanceMethodAMOVA = 4;

    auto engine = build();
    EXPECT_EQ(engine->design_code, 3);
    EXPECT_EQ(record.type, 1);
    std::string const text = result_text();
    EXPECT_NE(text.find("AMOVA ANALYSIS"), std::string::npos);
    EXPECT_NE(text.find("\nDistance method: Tajima and Nei\n"), std::string::npos);
    // The vectors are released after the design and the storage freed.
    for (long i = 0; i < samples.Populations.count; ++i) {
        EXPECT_EQ(samples.Populations.data[i]->perm_vector_size, 0);
        EXPECT_EQ(samples.Populations.data[i]->currentHaplotypes, &samples.Populations.data[i]->haplotypes);
    }
    EXPECT_TRUE(engine->HaplotypeIndexVector.empty());
    EXPECT_TRUE(engine->pops_by_id.empty());
}

TEST_F(EngineTest, ReportHeaderNamesTheDistanceMethod) {
    struct Case {
        TDataType type;
        int conventional, method;
        char const* line;  // what follows the label; "" for nothing
    };
    Case const cases[] = {
        {DNA, 0, 4, "Tajima and Nei\n"},
        {DNA, 0, 7, ""},
        {RFLP, 0, 1, "Proportion of difference\n"},
        {MICROSAT, 0, 1, "Sum of squared size difference (RST)\n"},
        {MICROSAT, 0, 3, ""},
        {STANDARD, 0, 9, "Pairwise differences\n"},
        {FREQUENCY, 0, 0, ""},
    };
    ask_amova();
    add_sample({{0, 2}});
    set_structure({{0}});  // one sample of haplotypic data: no design
    run.ComputeDistanceMatrixAMOVA = 1;
    for (Case const& c : cases) {
        SCOPED_TRACE(c.line);
        ProfileSettings::DataType = c.type;
        run.DistanceMethodAMOVA = c.method;
        std::size_t const before = result_text().size();
        auto engine = build();
        std::string const text = result_text().substr(before);
        std::size_t const at = text.find("\nDistance method: ");
        ASSERT_NE(at, std::string::npos);
        std::string const rest = text.substr(at + 18);
        EXPECT_EQ(rest.substr(0, std::string(c.line).size()), c.line);
        if (*c.line == '\0') {
            EXPECT_TRUE(rest.empty() || rest[0] == '\n');
        }
    }

    run.ComputeConventionalFST = 1;
    record.type = 77;
    std::size_t const before = result_text().size();
    auto engine = build();
    std::string const text = result_text().substr(before);
    EXPECT_NE(text.find("\nComputing conventional F-Statistics from haplotype frequencies\n"), std::string::npos);
    EXPECT_EQ(text.find("Distance method"), std::string::npos);
    EXPECT_EQ(engine->design_code, 0);
    EXPECT_EQ(record.type, 77);  // no design: the record keeps its type
}

TEST_F(EngineTest, PairwiseOnlyPassLeavesTheStructureAlone) {
    // Reading-order ids and a structure that leaves sample 1 out: only an
    // AMOVA would need the engine's numbering.
    add_sample({{0, 2}});
    add_sample({{1, 2}});
    add_sample({{2, 2}});
    set_structure({{2, 0}});
    run.TaskNumber = 65536;
    run.ComputePairwiseFST = 1;
    std::unique_ptr<Amova> engine;
    EXPECT_NO_THROW(engine = build());
    EXPECT_TRUE(engine->HaplotypeIndexVector.empty());
    EXPECT_EQ(result_text().find("AMOVA ANALYSIS"), std::string::npos);
    std::string const text = log.text();
    EXPECT_EQ(text.find("#[ERROR"), std::string::npos);
    EXPECT_NE(text.find("\tComputing pairwise Fst's ... \n"), std::string::npos);

    // Neither gate of the AMOVA, but (delta mu) squared: pairwise step only.
    run.TaskNumber = 0;
    run.ComputePairwiseFST = 0;
    run.ComputeDeltaMuSqr = 1;
    engine = build();
    EXPECT_EQ(engine->design_code, 0);
    std::string const again = log.text();
    EXPECT_NE(again.find("\tComputing pairwise Fst's ... \n", text.size()), std::string::npos);
}

TEST_F(EngineTest, IllNumberedStructureIsRefused) {
    struct Case {
        char const* what;
        std::vector<std::vector<int>> groups;
        std::vector<int> ids;
    };
    Case const cases[] = {
        {"sample left out of the numbering", {{2, 0}}, {0, 1, 2}},
        {"sample in two groups", {{0, 1}, {1}}, {0, 1, 2}},
        {"empty group", {{0, 1}, {}}, {0, 1, 2}},
        {"ids out of structure order", {{1, 0}}, {0, 1, 2}},
    };
    ask_amova();
    for (int i = 0; i < 3; ++i) add_sample({{i, 2}});
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < 3; ++i) samples.Populations.data[i]->id = c.ids[i];
        set_structure(c.groups);
        std::size_t const before = log.text().size();
        EXPECT_THROW(build(), Amova::AmovaFatalError);
        EXPECT_NE(log.text().find("from function \"Amova::initialize()\" : ill-defined genetic structure", before),
                  std::string::npos);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(samples.Populations.data[i]->perm_vector_size, 0);
    }
}

TEST_F(EngineTest, ListsThatDoNotFitTheirSampleAreRefusedBeforeLoading) {
    struct Case {
        char const* what;
        std::vector<std::pair<int, int>> entries;
        double size;
        char const* message;
        bool diagnostic;
    };
    Case const cases[] = {
        {"counts beyond the size", {{0, 2}, {1, 1}}, 2.0, "array out of bounds", false},
        {"counts short of the size", {{0, 2}, {1, 1}}, 4.0, "ill-defined genetic structure", false},
        {"fractional size", {{0, 2}}, 2.5, "ill-defined genetic structure", false},
        {"index beyond the matrix", {{0, 1}, {3, 1}}, 2.0, "array out of bounds", true},
        {"negative index", {{-1, 1}, {0, 1}}, 2.0, "array out of bounds", true},
    };
    ask_amova();
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        samples.clean();
        add_sample({{0, 1}, {2, 1}});
        add_sample(c.entries, c.size);
        set_structure({{0, 1}});
        std::size_t const before = log.text().size();
        EXPECT_THROW(build(), Amova::AmovaFatalError);
        std::string const text = log.text().substr(before);
        EXPECT_NE(text.find(std::string("from function \"Amova::load_HaplotypeIndexVector()\" : ") + c.message),
                  std::string::npos);
        EXPECT_EQ(text.find("\nAbnormal behaviour for pop:pop1\nnb_gene_copies=2\nHDB.Nb_haplo=3\ni=") !=
                      std::string::npos,
                  c.diagnostic);
        EXPECT_EQ(samples.Populations.data[1]->perm_vector_size, 0);
    }
}

TEST_F(EngineTest, SamplesWithoutCopiesOrHalfIndividualsStopTheDesign) {
    ask_amova();
    add_sample({{0, 2}, {1, 1}});
    add_sample({}, 0.0);
    set_structure({{0, 1}});
    auto engine = build();
    EXPECT_EQ(engine->design_code, 3);
    EXPECT_EQ(record.type, 1);
    EXPECT_NE(log.text().find("#[ERROR # 1] from function \"Amova::AMOVA_1G_P_H()\" : ill-defined genetic structure"),
              std::string::npos);

    // Phased diploid data at the individual level needs whole individuals.
    samples.clean();
    samples.GenotypicData = 1;
    samples.GameticPhase = 1;
    run.IncludeIndividualLevel = 1;
    for (int copies : {2, 3}) {
        Population* p = add_sample({}, copies);
        for (int k = 0; k < copies; ++k) p->geneCopies.Add(new PHaploDef{defs[k % 3].get(), 1});
    }
    set_structure({{0, 1}});
    engine = build();
    EXPECT_EQ(engine->design_code, 4);
    EXPECT_NE(log.text().find("from function \"Amova::AMOVA_1G_P_I()\" : ill-defined genetic structure"),
              std::string::npos);
}

TEST_F(EngineTest, InitializeLaysTheCopiesOutSampleBySample) {
    // Gates closed: nothing runs until initialize is called by hand.
    run.IncludeIndividualLevel = 1;
    run.NumPermutationsAMOVA = 250;
    add_sample({{2, 6}, {1, 0}, {0, 4}});
    add_sample({{1, 11}});
    set_structure({{0, 1}});
    auto engine = build();
    engine->initialize();

    EXPECT_EQ(engine->nb_perm, 250);
    EXPECT_DOUBLE_EQ(engine->total_size, 21.0);
    EXPECT_DOUBLE_EQ(engine->N, 10.5);
    EXPECT_DOUBLE_EQ(engine->group_size[0], 21.0);
    ASSERT_EQ(engine->HaplotypeIndexVector.size(), 24u);
    std::vector<int> expected(6, 2);
    expected.insert(expected.end(), 4, 0);
    expected.insert(expected.end(), 11, 1);
    expected.insert(expected.end(), 3, 0);  // the P + 1 entries of no sample
    EXPECT_EQ(engine->HaplotypeIndexVector, expected);

    Population const* first = samples.Populations.data[0];
    EXPECT_EQ(first->hapl_count, (std::vector<double>{4, 0, 6}));
    EXPECT_EQ(first->nb_existing, 2);
    EXPECT_EQ(engine->pops_by_id[1], samples.Populations.data[1]);
    EXPECT_EQ(engine->date_string.c_str()[engine->date_string.length() - 1], ')');
    EXPECT_TRUE(engine->flat_dist.ready());
    double const fromBlock = *engine->sample_SSDWP(samples.Populations.data[0]);
    double const fromMatrix = *samples.Populations.data[0]->ComputeSSDWP(dist);
    EXPECT_EQ(fromBlock, fromMatrix);
    EXPECT_DOUBLE_EQ(fromMatrix, 6.0 * 4.0 * 2.0);  // the h2-h0 pairs
}

}  // namespace
}  // namespace quintle
