// The genetic-structure driver of a pass (one-shot conversion, settings put
// back after a failed AMOVA) and the pooling of each group's samples.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "core/Errors.h"
#include "data/Population.h"
#include "data/TPhenotype.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/glbobj.h"
#include "support/process_state.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

class GenStructTest : public ::testing::Test {
protected:
    void SetUp() override {
        initialize_pellomar_global_objects();
        result.open(dir / "result.htm", std::ios::in | std::ios::out | std::ios::trunc);
        p.options.ResultFile = &result;
        p.options.MenuScriptFileName = (dir / "menu.js").string().c_str();
    }
    void TearDown() override { result.close(); }
    static std::string slurp(fs::path const& path) {
        _AOS_->flush();
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string log() const { return log_.text(); }
    // Groups as a project's structure section gives them.
    void groups(std::string const& section) {
        std::istringstream in(section);
        int line = 0;
        my_string last;
        bool name = false, nb = false, level = false, group = false;
        ASSERT_EQ(p.structure->NewReadStructure(in, *p.samples, *p.samples, line, last, name, nb, level, group), 1);
    }
    // Diploid DNA, each individual `count` copies of two gametes:
    //   A: 1 x (AC, AG), 2 x (AC, AC)  -> AC 5, AG 1
    //   B: 1 x (TG, AG)                -> TG 1, AG 1
    void diploid_project(int phase) {
        p.GenotypicData = p.samples->GenotypicData = 1;
        p.GameticPhase = p.samples->GameticPhase = phase;
        Population* a = new Population(my_string("A"));
        Population* b = new Population(my_string("B"));
        for (Population* s : {a, b}) {
            s->id = static_cast<int>(p.samples->Populations.count);
            s->alleleDB = &p.allele_db;
            p.samples->Populations.Add(s);
        }
        struct Ind { Population* s; double count; char const* first; char const* second; };
        for (Ind const& i : {Ind{a, 1, "AC", "AG"}, Ind{a, 2, "AC", "AC"}, Ind{b, 1, "TG", "AG"}}) {
            auto* ph = new TPhenotype(my_string("ind"), i.count);
            ph->alleleString1 = i.first;
            ph->alleleString2 = i.second;
            i.s->phenotypes.add(ph);
            i.s->SampleSize += 2 * i.count;
        }
    }
    std::map<std::string, int> listed() const {
        std::map<std::string, int> m;
        for (long i = 0; i < p.haplotypes.haplotypes.count; ++i)
            m[p.haplotypes.haplotypes.data[i]->data.c_str()] = p.haplotypes.haplotypes.data[i]->count;
        return m;
    }

private:
    // The log, the class-wide state the pass reads and what it fills.
    test::LogGuard log_{"quintle_genstruct"};
    test::ProfileGuard profile_{DNA};
    test::SumStatGuard sumStat_;
    test::AllelicDBGuard projectAlleles_;

protected:
    fs::path const& dir = log_.dir();
    std::fstream result;
    Project p;
};

// A second call of the same pass must not convert again: the definitions'
// counts would double.
TEST_F(GenStructTest, ConversionHappensOncePerPass) {
    diploid_project(1);
    groups("NbGroups=1\nGroup={\"A\" \"B\"}\n");
    p.options.TaskNumber = 0x2000;  // exact test
    p.GenStructCalculations(&result);
    p.GenStructCalculations(&result);
    EXPECT_EQ(listed(), (std::map<std::string, int>{{"AC", 5}, {"AG", 2}, {"TG", 1}}));
    EXPECT_EQ(p.allele_db.loci.count, 2);
}

// No given matrix to take labels from: the AMOVA fails, and every setting
// the call changes for its duration is back, the later steps still running.
TEST_F(GenStructTest, FailedAmovaRestoresTheSettings) {
    diploid_project(1);
    groups("NbGroups=2\nGroup={\"A\"}\nGroup={\"B\"}\n");
    settings& o = p.options;
    o.TaskNumber = 0x200 | 0x400 | 0x2000;
    o.HaplAMOVA = 0;  // the AMOVA bit is off only for the engine's call
    o.LocByLocAMOVA = 1;
    o.ComputeDistanceMatrixAMOVA = 0;
    o.ComputePairwiseFST = 1;
    o.ComputeDeltaMuSqr = 1;
    p.GenStructCalculations(&result);
    EXPECT_NE(log().find("from function \"Project::AMOVA()\""), std::string::npos) << log();
    EXPECT_EQ(o.TaskNumber, 0x200 | 0x400 | 0x2000);
    EXPECT_EQ(o.ComputePairwiseFST, 1);
    EXPECT_EQ(o.ComputeDeltaMuSqr, 1);
    result.close();  // the exact test still ran
    EXPECT_NE(slurp(dir / "result.htm").find("_pop_exct_tests"), std::string::npos);
}

// Group 1 = {A}, group 2 = {B}: Group1 holds AC 5, AG 1 (6 copies), Group2
// AG 1, TG 1; the project list gains AC 5, AG 2, TG 1.
TEST_F(GenStructTest, DiploidGroupsPoolPhenotypesAndConvertThemOnce) {
    diploid_project(0);
    p.options.TaskNumber = 0x200;
    groups("NbGroups=2\nGroup={\"A\"}\nGroup={\"B\"}\n");
    Samples pooled;
    Structure flat;  // after the pooled set it borrows from
    p.poolSamplesInGroups(*p.samples, *p.structure, pooled, flat);
    ASSERT_EQ(pooled.Populations.count, 2);
    std::map<std::string, int> const expected[] = {{{"AC", 5}, {"AG", 1}}, {{"AG", 1}, {"TG", 1}}};
    for (int g = 0; g < 2; ++g) {
        Population const& s = *pooled.Populations.data[g];
        std::map<std::string, int> got;
        for (long i = 0; i < s.haplotypes.count; ++i)
            got[s.haplotypes.data[i]->haplotype->data.c_str()] += s.haplotypes.data[i]->count;
        EXPECT_EQ(got, expected[g]);
        EXPECT_DOUBLE_EQ(s.SampleSize, g == 0 ? 6.0 : 2.0);
    }
    EXPECT_EQ(listed(), (std::map<std::string, int>{{"AC", 5}, {"AG", 2}, {"TG", 1}}));
}

}  // namespace
}  // namespace quintle
