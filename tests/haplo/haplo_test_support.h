#pragma once
// Shared by the haplotype-frequency and linkage tests: unphased samples read
// from the small projects of tests/data/haplo as a run reads them (allele
// vectors built, polymorphic loci flagged), a result stream, helpers to
// build samples by hand, and readers of the shared random stream.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/random.h"
#include "data/TAlleleDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaploDB.h"
#include "data/TPopHaplotype.h"
#include "popstats/PopGenetics.h"
#include "project/project_test_support.h"

namespace quintle::test {

inline std::filesystem::path haplo_data(char const* name) {
    return std::filesystem::path(QUINTLE_TEST_DATA_DIR) / "haplo" / name;
}

class HaploTest : public ProjectDirTest {
protected:
    void SetUp() override {
        result.open(dir / "result.txt", std::ios::in | std::ios::out | std::ios::trunc);
        s().ResultFile = &result;
    }

    // Reads the project, builds the allele vectors and flags the
    // polymorphic loci of every sample.
    void load(char const* name) {
        std::filesystem::copy_file(haplo_data(name), dir / name);
        ASSERT_EQ(read_project(dir / name, project), 1) << log();
        project.options.TaskNumber = 0;
        ASSERT_EQ(project.make_run_possible(), 1) << log();
        for (long i = 0; i < project.samples->Populations.count; ++i) sample(static_cast<int>(i)).compare_phenotypes();
        s().ResultFile = &result;
    }
    PopGenetics& sample(int i) { return *dynamic_cast<PopGenetics*>(project.samples->Populations.data[i]); }
    settings& s() { return project.options; }

    int count_in_log(std::string const& text) const { return occurrences(log(), text); }

    std::string output() {
        result.flush();
        return slurp(dir / "result.txt");
    }

    Project project;
    std::fstream result;
};

// The frequencies of a haplotype base by allele text ("1 2 1 "), zero ones
// left out when `all` is false.
inline std::map<std::string, double> frequencies(TPopHaploDB const& db, bool all = false) {
    std::map<std::string, double> m;
    for (long i = 0; i < db.haplotypes.count; ++i) {
        TPopHaplotype const* h = db.haplotypes.data[i];
        if (!all && !(h->frequency > 0.0)) continue;
        std::ostringstream os;
        os << *h;
        m[os.str()] += h->frequency;
    }
    return m;
}

// The next n numbers of the shared stream after seeding it with `seed`,
// leaving it seeded again so that the code under test draws the same ones.
inline std::vector<double> next_draws(long seed, int n) {
    initialize_ran3(seed);
    long one = 1;
    std::vector<double> u;
    for (int i = 0; i < n; ++i) u.push_back(ran3(&one));
    initialize_ran3(seed);
    return u;
}

// A hand-built unphased sample: loci of single-character alleles in its own
// allele base; each individual given as its two gametes ("AB", "ab").
class HandSample {
public:
    explicit HandSample(int nLoci) : nLoci_(nLoci) {
        pop.alleleDB = &db;
        pop.profile.GenotypicData = 1;
        pop.profile.GameticPhase = 0;
        pop.profile.MissingData = '?';
    }
    void add(std::string const& g1, std::string const& g2, double count = 1.0) {
        auto* p = new TPhenotype(my_string(("i" + std::to_string(pop.phenotypes.size() + 1)).c_str()), count);
        p->set_pseudo_hapl(haplotype(g1).release(), 0);
        p->set_pseudo_hapl(haplotype(g2).release(), 1);
        pop.phenotypes.add(p);
        pop.SampleSize += 2.0 * count;
    }
    // Flags every locus with two or more alleles.
    void flag_polymorphic() { pop.compare_phenotypes(); }

    TAlleleDB db{0};
    PopGenetics pop;

private:
    std::unique_ptr<TPopHaplotype> haplotype(std::string const& g) {
        auto h = std::make_unique<TPopHaplotype>();
        for (int l = 0; l < nLoci_; ++l) {
            int const pos = db.InsertAllPos(l, my_string(std::string(1, g[static_cast<std::size_t>(l)]).c_str()), 1.0);
            h->alleles.Add(db.loci.data[l]->alleles.data[pos]);
        }
        return h;
    }
    int nLoci_;
};

}  // namespace quintle::test
