// The phenotype road of the AMOVA engine: the vector of individuals'
// phenotypes, its shuffles within groups and over all samples, and the
// haplotypes and distances estimated again from the phenotypes of unphased
// standard genotypes.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "amova/Amova.h"
#include "amova/amova_results.h"
#include "core/random.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/TAlleleDB.h"
#include "data/TPhenotype.h"
#include "project/DistMat.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

class PhenotypeRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        initialize_pellomar_global_objects();
        result_.open(log.dir() / "proj.htm", std::ios::out | std::ios::trunc);
        run.ResultFile = &result_;
        run.ResultFileName = (log.dir() / "proj.htm").string().c_str();
        run.MaximumNumOfIterationsEM = 1000;
        run.EpsilonValue = 1e-7;
        run.InitialConditionsEM = 50;
        run.NumBootstrapReplicatesEM = 3;
        run.TaskNumber = 512 + 1024;
        // The EM of the standard driver, as a project asking for it sets it.
        run.EstimateHaplotypes = 1;
        run.ComputeAllHaplotypesEM = 1;
        samples.GenotypicData = 1;
        samples.GameticPhase = 0;
        // Two groups of two samples of unphased standard genotypes over four
        // loci; (first, second, individuals).
        add("S1", {{"AAAA", "AACC", 2}, {"AAAA", "AAAA", 1}});
        add("S2", {{"AACC", "ACCC", 1}, {"CCCC", "CCCC", 1}});
        add("S3", {{"CCCC", "ACCC", 2}});
        add("S4", {{"AAAA", "CCCC", 1}, {"ACCC", "AACC", 1}});
    }
    void TearDown() override {
        engine.reset();
        result_.close();
    }
    struct Individual {
        char const* first;
        char const* second;
        double count;
    };
    void add(char const* name, std::vector<Individual> const& individuals) {
        auto* p = new Population(my_string(name));
        p->id = static_cast<int>(samples.Populations.count);
        p->alleleDB = &alleles;
        p->profile.GenotypicData = 1;
        for (Individual const& i : individuals) {
            auto* ph = new TPhenotype(my_string("i"), i.count);
            ph->alleleString1 = i.first;
            ph->alleleString2 = i.second;
            p->phenotypes.add(ph);
            p->SampleSize += 2 * i.count;
        }
        samples.Populations.Add(p);
    }
    // An engine that ran nothing, given the samples in two groups.
    void make_engine() {
        settings quiet;
        engine = std::make_unique<Amova>(quiet, nullptr, &samples, &dist, &haplotypes, &alleles, nullptr, 0, 0,
                                         nullptr);
        engine->settings = &run;
        engine->pops_by_id.assign(samples.Populations.data, samples.Populations.data + 4);
        engine->group_pops = {{engine->pops_by_id[0], engine->pops_by_id[1]},
                              {engine->pops_by_id[2], engine->pops_by_id[3]}};
        engine->group_size = {engine->pops_by_id[0]->SampleSize + engine->pops_by_id[1]->SampleSize,
                              engine->pops_by_id[2]->SampleSize + engine->pops_by_id[3]->SampleSize};
        engine->total_size = engine->group_size[0] + engine->group_size[1];
    }
    // The sample of each entry of the phenotype vector.
    std::vector<int> owners() const {
        std::vector<int> v;
        for (TPhenotype const* ph : engine->phen_vector)
            for (long s = 0; s < samples.Populations.count; ++s)
                for (long i = 0; i < samples.Populations.data[s]->phenotypes.size(); ++i)
                    if (samples.Populations.data[s]->phenotypes[i] == ph) v.push_back(static_cast<int>(s));
        return v;
    }

    test::LogGuard log{"quintle_phenotype_road"};
    test::ProfileGuard profile_{STANDARD, '\0'};
    test::AllelicDBGuard projectAlleles_;
    settings run;
    Samples samples;
    TAlleleDB alleles;
    Haplo_DB haplotypes;
    DistMat dist;
    std::unique_ptr<Amova> engine;

private:
    std::fstream result_;
};

TEST_F(PhenotypeRoadTest, VectorHoldsEveryIndividual) {
    make_engine();
    engine->Load_Phen_Vector();
    EXPECT_EQ(owners(), (std::vector<int>{0, 0, 0, 1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(log.text().find("Population size incompatibility"), std::string::npos);

    // A size that the counts do not make: logged, and the load goes on.
    samples.Populations.data[1]->SampleSize = 7;
    engine->Load_Phen_Vector();
    EXPECT_EQ(engine->phen_vector.size(), 9u);
    EXPECT_NE(log.text().find("     Amova::Load_Phen_Vector() Population size incompatibility during the load\n"
                              "            : 2  ;;;  7"),
              std::string::npos)
        << log.text();
}

// Within groups the individuals stay in their group; over all samples they
// cross; a seed repeats an arrangement. Sizes larger than the vector never
// take the shuffle beyond it.
TEST_F(PhenotypeRoadTest, ShufflesWithinGroupsAndOverAll) {
    make_engine();
    engine->Load_Phen_Vector();
    std::vector<TPhenotype*> const loaded = engine->phen_vector;
    auto arrange = [&](void (Amova::*shuffle)(), long seed) {
        engine->phen_vector = loaded;
        initialize_ran3(seed);
        for (int k = 0; k < 5; ++k) ((*engine).*shuffle)();
        return engine->phen_vector;
    };
    std::vector<TPhenotype*> const within = arrange(&Amova::PPAPWG, -8);
    EXPECT_EQ(arrange(&Amova::PPAPWG, -8), within);
    EXPECT_NE(within, loaded);
    std::vector<int> const o = owners();
    for (int k = 0; k < 5; ++k) EXPECT_LT(o[static_cast<std::size_t>(k)], 2) << k;
    for (int k = 5; k < 9; ++k) EXPECT_GE(o[static_cast<std::size_t>(k)], 2) << k;

    bool crossed = false;
    for (long seed = -1; seed > -20 && !crossed; --seed) {
        arrange(&Amova::PPAPAG, seed);
        std::vector<int> const all = owners();
        for (std::size_t k = 0; k < 5; ++k) crossed = crossed || all[k] >= 2;
    }
    EXPECT_TRUE(crossed);
    std::vector<TPhenotype*> sorted = engine->phen_vector, before = loaded;
    std::sort(sorted.begin(), sorted.end());
    std::sort(before.begin(), before.end());
    EXPECT_EQ(sorted, before) << "the same individuals";

    // Sizes that promise more individuals than the vector holds.
    engine->group_size = {40, 40};
    engine->total_size = 80;
    engine->PPAPWG();
    engine->PPAPAG();
    EXPECT_EQ(engine->phen_vector.size(), 9u);
}

// Haplotypes estimated again by EM for every sample, their distances the
// numbers of differing loci, the samples' lists and vectors rebuilt, and the
// settings back as they were.
TEST_F(PhenotypeRoadTest, HaplotypesAndDistancesEstimatedAgain) {
    make_engine();
    run.InitialConditionsEM = 17;
    engine->Calc_new_EM_haplo();
    EXPECT_EQ(run.TaskNumber, 512 + 1024);
    EXPECT_EQ(run.InitialConditionsEM, 17);
    EXPECT_EQ(run.NumBootstrapReplicatesEM, 3);
    EXPECT_EQ(run.RecessiveAllelesEM, 0);

    long const n = haplotypes.haplotypes.count;
    ASSERT_GE(n, 4) << log.text();
    ASSERT_EQ(dist.MatrixSize, n);
    std::map<std::string, int> row;
    for (long i = 0; i < n; ++i) {
        HaploDef const* h = haplotypes.haplotypes.data[i];
        EXPECT_EQ(h->matrixIndex, i);
        row[h->data.c_str()] = static_cast<int>(i);
    }
    for (auto const& [a, i] : row)
        for (auto const& [b, j] : row) {
            if (i == j) continue;
            int differ = 0;
            for (std::size_t k = 0; k < a.size(); ++k) differ += a[k] != b[k];
            EXPECT_DOUBLE_EQ(dist(i, j), differ) << a << " " << b;
        }
    // Each sample's list: the estimated haplotypes with their rounded
    // numbers of gene copies, which make its new size (the road estimates
    // with recessive alleles allowed, so a sample may lose copies).
    double const sizes[] = {6, 4, 4, 4};
    for (long s = 0; s < 4; ++s) {
        Population const* p = samples.Populations.data[s];
        int total = 0;
        for (long e = 0; e < p->haplotypes.count; ++e) total += p->haplotypes.data[e]->count;
        EXPECT_EQ(total, p->SampleSize) << s;
        EXPECT_GT(p->SampleSize, 0.0) << s;
        EXPECT_LE(p->SampleSize, sizes[s]) << s;
    }
    for (long s = 0; s < 4; ++s) EXPECT_EQ(samples.Populations.data[s]->perm_vector_size, n);
}

TEST_F(PhenotypeRoadTest, OnlyStandardDataTakeTheRoad) {
    samples.set_data_context(MICROSAT, samples.locusSeparator);
    make_engine();
    engine->Calc_new_EM_haplo();
    EXPECT_EQ(haplotypes.haplotypes.count, 0);
    EXPECT_EQ(dist.MatrixSize, 0);
}

}  // namespace
}  // namespace quintle
