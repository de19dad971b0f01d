// What the scan for loci under selection leaves behind, called in-process
// on a project read as a run reads it: every setting, pointer, stream and
// flag it changes is back, the project's allele database and haplotype
// list hold the same objects with the same contents, on a full run, after a
// stop at its first progress report and after a refusal taken once the
// scratch samples are in place.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/xml.h"
#include "data/HaploDef.h"
#include "data/TAllele.h"
#include "data/TLocus.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "project/project_test_support.h"
#include "run/glbobj.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

// Everything of the project and of the process the scan may touch, as text.
std::string state(Project& p, fs::path const& dir) {
    std::ostringstream os;
    settings& s = p.options;
    fs::path const keys = dir / "keys.pms";
    s.print_settings(my_string(keys.string().c_str()));
    os << test::slurp(keys);
    os << "quiet " << s.quietMode << " stop " << s.stopFlag << " html " << htmlOutput << " amova batch "
       << _AMOVA_RES_ << "\n";
    os << "streams " << s.ResultFile << " " << E.echo << " " << _AOS_ << "\n";
    os << "current " << s.current_samples << " " << s.current_structure << " " << s.current_dist_mat << " "
       << s.current_haplotypes << " " << s.current_allele_db << " " << s.project_allele_db << "\n";
    os << "sets " << p.samples.get() << " " << p.structure.get() << " genotypic " << p.samples->GenotypicData
       << " flags " << p.phen_converted << " " << p.vectors_built << "\n";
    os << "lengths " << TAllele::numPop << " " << TAllele::numGroup << " hits " << TNode::hits.count << "\n";
    for (long i = 0; i < p.haplotypes.haplotypes.count; ++i) {
        HaploDef const* h = p.haplotypes.haplotypes.data[i];
        os << "def " << h << " " << h->id << " " << h->data << " " << h->count << "\n";
    }
    for (long l = 0; l < p.allele_db.loci.count; ++l) {
        TLocus const* locus = p.allele_db.loci.data[l];
        os << "locus " << locus << " " << locus->name << " het " << locus->meanSampleHet << " "
           << locus->meanGroupHet << " values";
        for (std::size_t k = 0; k < LocusValues::size(); ++k) os << " " << locus->values[k];
        os << "\n";
        for (long a = 0; a < locus->alleles.count; ++a) {
            TAllele const* al = locus->alleles.data[a];
            os << "  allele " << al << " " << al->name << " " << al->weight << " freqs";
            for (int k = 0; k < al->popFreq.size(); ++k) os << " " << al->popFreq[k];
            os << " /";
            for (int k = 0; k < al->groupFreq.size(); ++k) os << " " << al->groupFreq[k];
            os << "\n";
        }
    }
    os << "distances " << p.distance_matrix.MatrixSize << " amova " << p.amova_res.FST << " " << p.amova_res.type
       << "\n";
    return os.str();
}

class ScanState : public test::ProjectDirTest {
protected:
    // The project read and prepared as a run prepares it, with a result
    // file and the scan's settings.
    void open(char const* project, int sims, bool hierarchical, int demes) {
        fs::path const file = dir / fs::path(project).replace_extension(".pmp");
        fs::copy_file(fs::path(QUINTLE_TEST_DATA_DIR) / "selection" / project, file);
        ASSERT_EQ(test::read_project(file, p), 1) << log();
        settings& s = p.options;
        s.TaskNumber = 1;
        s.DetectSelectedLoci = 1;
        s.UseHierarchicalIslandModel = hierarchical ? 1 : 0;
        s.NumberOfSimsForFDist2 = sims;
        s.NumberOfDemesForFDist2 = demes;
        s.NumberOfGroupsForFDist2 = 3;
        s.TargetHetHighBound = 1.0;
        s.LocByLocAMOVA = 0;
        s.HaplAMOVA = 1;
        s.NumPermutationsAMOVA = 10;
        s.ComputeDistanceMatrixAMOVA = 0;
        s.ResultFolder = (dir.string() + "/").c_str();
        s.ResultFileName = (dir / "result.htm").string().c_str();
        ASSERT_EQ(p.make_run_possible(), 1) << log();
        result.open(dir / "result.htm", std::ios::in | std::ios::out | std::ios::trunc);
        s.ResultFile = &result;
        E.echo = &result;
        s.current_samples = p.samples.get();
        s.current_structure = p.structure.get();
        s.current_allele_db = s.project_allele_db = &p.allele_db;
        _AMOVA_RES_ = 1;
    }
    std::string written() {
        result.flush();
        return test::slurp(dir / "result.htm");
    }
    void TearDown() override {
        E.echo = nullptr;
        _AMOVA_RES_ = 0;
    }

    Project p;
    std::fstream result;
};

TEST_F(ScanState, AFullScanLeavesTheProjectAsItWas) {
    open("scan.txt", 60, false, 20);
    std::string const before = state(p, dir);
    p.detectSelectedLociFromFSTHetComparison(false);
    EXPECT_EQ(state(p, dir), before);
    std::string const text = written();
    EXPECT_NE(text.find("No. of coalescent simulations performed:       60\n"), std::string::npos) << text;
    EXPECT_NE(text.find("      20     0.38888889     0.32330827"), std::string::npos) << text;
    EXPECT_EQ(text.find("Locus by locus AMOVA"), std::string::npos) << "the re-entered driver writes nothing";
    EXPECT_EQ(PopGenetics::globalAllelicDB.loci.count, 0);
    EXPECT_TRUE(fs::exists(dir / "fdist2_simOut.txt"));
}

TEST_F(ScanState, AStopAtTheFirstProgressReportRestoresEverything) {
    open("scan.txt", 60, false, 20);
    p.options.stopFlag = 1;
    std::string const before = state(p, dir);
    p.detectSelectedLociFromFSTHetComparison(false);
    EXPECT_EQ(state(p, dir), before);
    EXPECT_FALSE(fs::exists(dir / "fdist2_simOut.txt"));
    EXPECT_EQ(written(), "");
}

TEST_F(ScanState, ARefusalAmongScratchSamplesRestoresEverything) {
    // Groups of five samples and four demes per group: refused once the
    // scratch set and the structure copy are in place.
    open("scan_groups.txt", 60, true, 4);
    std::string const before = state(p, dir);
    p.detectSelectedLociFromFSTHetComparison(true);
    EXPECT_EQ(state(p, dir), before);
    EXPECT_NE(written().find("Group 1 holds 5 samples"), std::string::npos);
    EXPECT_EQ(p.options.current_samples, p.samples.get());
}

}  // namespace
}  // namespace quintle
