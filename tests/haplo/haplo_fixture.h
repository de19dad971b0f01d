#pragma once

// Samples built by hand as the project reader builds them: diploid
// individuals with their two gametes (for the Hardy-Weinberg test) and phased
// haplotype lists (for the linkage tests), loci separated by blanks so that
// alleles may have long names. Plus a log, a result file and the SumStat and
// batch state the analyses write to, all put back afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/random.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "data/TAlleleDB.h"
#include "data/TPhenotype.h"
#include "popstats/PopGenetics.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle::haplo_test {

inline std::string read_text(std::filesystem::path const& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Restarts the program's one generator on a fixed stream.
inline void reseed(long seed) {
    long s = -seed;
    ran3(&s);
}

// One individual: two gametes ("A B C", loci separated by blanks) and the
// number of such individuals.
struct Individual {
    std::string gamete1, gamete2;
    double count;
};

class DiploidSample {
public:
    DiploidSample(std::vector<Individual> const& individuals, bool phased) {
        pop.name = "diploid";
        pop.profile.MissingData = '?';
        pop.profile.GenotypicData = 1;
        pop.profile.GameticPhase = phased ? 1 : 0;
        pop.alleleDB = &alleles;
        for (Individual const& i : individuals) {
            auto* p = new TPhenotype(my_string("i"), i.count);
            p->alleleString1 = i.gamete1.c_str();
            p->alleleString2 = i.gamete2.c_str();
            pop.phenotypes.add(p);
        }
        pop.build_allele_vectors(' ');
    }

    TAlleleDB alleles{0};
    PopGenetics pop;
};

// Genotype counts of one biallelic locus as individuals.
inline std::vector<Individual> biallelic(int AA, int AB, int BB) {
    return {{"A", "A", double(AA)}, {"A", "B", double(AB)}, {"B", "B", double(BB)}};
}

// A phased sample: haplotypes ("a1 b2 c1") with their gene-copy counts.
// Every locus with two or more alleles is flagged polymorphic.
class PhasedSample {
public:
    explicit PhasedSample(std::vector<std::pair<std::string, int>> const& list, char const* name = "phased") {
        pop.name = name;
        pop.profile.MissingData = '?';
        pop.profile.GenotypicData = 0;
        pop.alleleDB = &alleles;
        int k = 0;
        double total = 0;
        for (auto const& [text, count] : list) {
            auto def = std::make_unique<HaploDef>(my_string(std::to_string(++k).c_str()));
            def->data = text.c_str();
            def->build_haplovect(&alleles, ' ', 0, count);
            pop.haplotypes.Add(new PHaploDef{def.get(), count});
            definitions.push_back(std::move(def));
            total += count;
        }
        pop.SampleSize = total;
        pop.NbHaplotypeEntries = k;
        int const loci = definitions.empty() ? 0 : static_cast<int>(definitions[0]->alleles.count);
        pop.polymorphicLocus.assign(static_cast<std::size_t>(loci), 0);
        for (int l = 0; l < loci; ++l) {
            std::set<TAllele const*> seen;
            for (auto const& d : definitions)
                if (d->alleles.data[l]->name.c_str()[0] != '?') seen.insert(d->alleles.data[l]);
            pop.polymorphicLocus[static_cast<std::size_t>(l)] = seen.size() > 1 ? 1 : 0;
        }
    }

    // Declared in this order so that the sample goes first.
    TAlleleDB alleles{0};
    std::vector<std::unique_ptr<HaploDef>> definitions;
    PopGenetics pop;
};

// Two loci from a table of haplotype counts: row alleles r1, r2, ..., column
// alleles c1, c2, ...
inline std::vector<std::pair<std::string, int>> from_table(std::vector<std::vector<int>> const& t) {
    std::vector<std::pair<std::string, int>> list;
    for (std::size_t r = 0; r < t.size(); ++r)
        for (std::size_t c = 0; c < t[r].size(); ++c)
            list.push_back({"r" + std::to_string(r + 1) + " c" + std::to_string(c + 1), t[r][c]});
    return list;
}

// The log, a result file, the statistics record and the batch streams of
// the linkage analyses, for one test.
class AnalysisTest : public ::testing::Test {
protected:
    AnalysisTest() {
        result_.open(log_.dir() / "result.txt", std::ios::out | std::ios::trunc);
        s.ResultFile = &result_;
        s.LDHistoFileName = (log_.dir() / "ld_dis.xl").string().c_str();
        s.MarkovChainDememorisationStepsHW = 1000;
        s.MarkovChainDememorisationStepsLD = 1000;
        _LINKAGE_DISEQUILIBRIUM_ = 0;
        ofs_link_dis = ofs_link_dis_pro = ofs_distrib_LD = nullptr;
    }
    ~AnalysisTest() override {
        delete ofs_link_dis;
        delete ofs_link_dis_pro;
        delete ofs_distrib_LD;
        ofs_link_dis = ofs_link_dis_pro = ofs_distrib_LD = nullptr;
    }

    // Opens the three batch streams of the linkage analyses.
    void open_batch_streams() {
        _LINKAGE_DISEQUILIBRIUM_ = 1;
        ofs_link_dis = new std::ofstream(log_.dir() / "link_dis.sum");
        ofs_link_dis_pro = new std::ofstream(log_.dir() / "l_d_pro.sum");
        ofs_distrib_LD = new std::ofstream(log_.dir() / "l_d_val.sum");
    }
    std::string batch(char const* file) {
        for (std::ostream* b : {ofs_link_dis, ofs_link_dis_pro, ofs_distrib_LD})
            if (b != nullptr) b->flush();
        return read_text(log_.dir() / file);
    }
    // An empty result file, with the stream's number format as new.
    void restart_result() {
        result_.close();
        result_.open(log_.dir() / "result.txt", std::ios::out | std::ios::trunc);
        result_.flags(std::ios::dec | std::ios::skipws);
        result_.precision(6);
    }
    std::string result() {
        result_.flush();
        return read_text(log_.dir() / "result.txt");
    }
    std::string log() { return log_.text(); }
    std::string histogram() { return read_text(log_.dir() / "ld_dis.xl"); }
    std::filesystem::path const& dir() const { return log_.dir(); }

private:
    test::LogGuard log_{"quintle_haplo"};
    test::SumStatGuard sumStat_;
    test::Saved<int> flag_{_LINKAGE_DISEQUILIBRIUM_};
    test::Saved<std::ostream*> s1_{ofs_link_dis}, s2_{ofs_link_dis_pro}, s3_{ofs_distrib_LD};
    test::Saved<my_string> input_{settings::input_file};
    test::Saved<double> work_{settings::global_work_done};

protected:
    std::fstream result_;
    settings s;
};

}  // namespace quintle::haplo_test
