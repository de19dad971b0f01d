// Simulated loci of the scan measured from the allele counts of their
// samples: the AMOVA of gene copies and the within-sample heterozygosity
// from counts (a value worked out by hand, the engine's refusals), the same
// numbers to the last bit as the re-entered driver on simulated loci of
// several kinds, and no allocation per locus once the storage is sized.
//
// This test program counts every operator new (the replacement below).

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/random.h"
#include "data/Population.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/task_bits.h"
#include "structure/simulated_locus.h"
#include "support/process_state.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t n) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n != 0 ? n : 1)) return p;
    throw std::bad_alloc();
}
// The replaced operators pair malloc with free; the compiler, seeing a
// new-expression inlined into a delete, takes it for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace quintle {
namespace {

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

TEST(CountAmova, HandWorkedLocusAndTheEngineRefusals) {
    // Two samples of four gene copies in one group: 3 A + 1 G and 1 A + 3 G,
    // d(A, G) = 1. Pair sums: within 3 and 3, between 3x3 + 1x1 = 10, in all
    // T = 16; N = 8, SSD within = 3/4 + 3/4 = 1.5, among = 16/8 - 1.5 = 0.5;
    // d.f. 1 and 6, n = (8 - 32/8) / 1 = 4; Va = (0.5 - 0.25) / 4 = 0.0625,
    // Vb = 0.25: FST = 0.0625 / 0.3125 = 0.2. Heterozygosity of each:
    // (1 - 10/16) x 4/3 = 0.5, and so their mean.
    const int oneGroup[] = {2};
    const double counts[] = {3, 1, 1, 3};
    const double sizes[] = {4, 4};
    const double d[] = {0, 1, 1, 0};
    CountAmovaInput in;
    in.groups = 1;
    in.groupSizes = oneGroup;
    in.K = 2;
    in.counts = counts;
    in.sizes = sizes;
    in.distances = d;
    double fst = -1.0;
    ASSERT_TRUE(count_amova_fst(in, fst));
    EXPECT_DOUBLE_EQ(fst, 0.2);
    EXPECT_DOUBLE_EQ(count_mean_within_het(2, 2, counts, sizes), 0.5);

    // Both alike: no variance among samples; with every copy alike, no
    // variance at all, and FST 0 as the engine gives it.
    const double alike[] = {2, 2, 2, 2};
    in.counts = alike;
    ASSERT_TRUE(count_amova_fst(in, fst));
    EXPECT_LT(fst, 0.0);  // Va = (0 - 4/6) / 4
    const double single[] = {4, 0, 4, 0};
    in.counts = single;
    ASSERT_TRUE(count_amova_fst(in, fst));
    EXPECT_EQ(fst, 0.0);
    EXPECT_EQ(count_mean_within_het(2, 2, single, sizes), 0.0);

    // What the engine refuses: an odd sample when individuals are moved, a
    // sample without copies, a single sample (no degree of freedom among
    // samples), a group design of one sample per group.
    in.counts = counts;
    const double odd[] = {3, 4};
    in.sizes = odd;
    in.individuals = true;
    EXPECT_FALSE(count_amova_fst(in, fst));
    in.individuals = false;
    const double empty[] = {0, 4};
    in.sizes = empty;
    EXPECT_FALSE(count_amova_fst(in, fst));
    in.sizes = sizes;
    const int alone[] = {1};
    in.groupSizes = alone;
    EXPECT_FALSE(count_amova_fst(in, fst));
    const int twoOfOne[] = {1, 1};
    in.groups = 2;
    in.groupSizes = twoOfOne;
    EXPECT_FALSE(count_amova_fst(in, fst));
}

// Templates of the given gene-copy counts, named s0, s1, ..., in the given
// groups (all in one when none), and a project whose current sample set and
// structure copy receive the simulations, set up as the scan sets them.
struct Scan {
    test::HitsGuard hits;
    test::AllelicDBGuard alleles;
    Samples templ;
    Structure st;
    Project p;
    std::fstream muted;
    int G = 1;

    Scan(std::vector<int> const& sizes, std::vector<std::vector<int>> groups, bool diploid) {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            auto* s = new Population(my_string(("s" + std::to_string(i)).c_str()));
            s->SampleSize = sizes[i];
            templ.Populations.Add(s);
        }
        if (groups.empty()) {
            groups.emplace_back();
            for (std::size_t i = 0; i < sizes.size(); ++i) groups[0].push_back(static_cast<int>(i));
        }
        G = static_cast<int>(groups.size());
        st.NbGroups = G;
        st.GroupSizes = std::make_unique<int[]>(groups.size());
        st.Groups = std::make_unique<PopulationGroup[]>(groups.size());
        for (std::size_t q = 0; q < groups.size(); ++q) {
            st.Groups[q].owns = false;
            for (int i : groups[q]) st.Groups[q].Add(templ.Populations[i]);
            st.GroupSizes[q] = static_cast<int>(groups[q].size());
            st.NbSamplesInGroups += st.GroupSizes[q];
        }
        p.structure = std::make_unique<Structure>(st);
        p.samples->RunSettings = &p.options;
        static_cast<ProfileSettings&>(templ).RunSettings = &p.options;
        templ.GenotypicData = diploid ? 1 : 0;
        templ.GameticPhase = 0;
        templ.MissingData = '?';
        templ.set_data_context(ProfileSettings::DataType, ProfileSettings::LocusSeparator);
        static_cast<ProfileSettings&>(*p.samples) = static_cast<ProfileSettings const&>(templ);
        p.samples->set_data_context(templ.dataType, templ.locusSeparator);
        p.GenotypicData = diploid ? 1 : 0;
        settings& s = p.options;
        s.quietMode = true;
        s.TaskNumber = task_amova;
        s.HaplAMOVA = 1;
        s.LocByLocAMOVA = 0;
        s.NumPermutationsAMOVA = 0;
        s.ComputeConventionalFST = 0;
        s.ComputeDistanceMatrixAMOVA = 1;
        s.IncludeIndividualLevel = 0;
        muted.open("", std::ios::in | std::ios::out);
    }

    // The genealogy and mutations of one locus in the emptied current set.
    long simulate(SimulatedMutations const& m, double F, double Fct, int D, bool byStructure) {
        for (int q = 0; q < p.structure->NbGroups; ++q)
            for (long j = 0; j < p.structure->Groups[q].count; ++j) p.structure->Groups[q].data[j] = nullptr;
        p.samples->clean();
        p.haplotypes.reset();
        p.phen_converted = 0;
        p.vectors_built = 0;
        return simulate_genealogy(p, m, templ, byStructure ? &st : nullptr, F, Fct, D, byStructure ? G : 0);
    }

    // The same locus through samples and the driver.
    LocusMeasure driver(Mut_Type model, bool diploid, bool byStructure) {
        EXPECT_EQ(read_simulated_samples(p, templ, st, model, diploid, byStructure), 1);
        ready_simulated_data(p);
        p.allele_db.create_pop_freq_vector(static_cast<int>(p.samples->Populations.count));
        p.allele_db.create_group_freq_vector(p.structure->NbGroups);
        return measure_with_driver(p, muted);
    }
};

struct Kind {
    char const* name;
    TDataType type;
    char separator;
    Mut_Type model;
    int method;  // DistanceMethodAMOVA
    bool diploid;
    std::vector<int> sizes;
    std::vector<std::vector<int>> groups;
    double theta;
};

TEST(SimulatedLocusCounts, EveryLocusAsTheDriverMeasuresIt) {
    const std::vector<Kind> kinds = {
        {"haploid DNA, one group", DNA, '\0', DNA_MUT, 0, false, {6, 4, 8, 5}, {}, 1.0},
        {"diploid DNA, one group", DNA, '\0', DNA_MUT, 0, true, {6, 4, 8, 10}, {}, 1.0},
        {"diploid DNA, two groups", DNA, '\0', DNA_MUT, 0, true, {6, 4, 8, 10, 4}, {{0, 1}, {2, 3, 4}}, 1.0},
        {"haploid RFLP, proportions", RFLP, '\0', TWO_STATE_MUT, 1, false, {5, 7, 6}, {}, 1.0},
        {"diploid microsatellites, sizes", MICROSAT, ' ', STEPWISE_MUT, 1, true, {8, 6, 10}, {}, 3.0},
        {"haploid standard alleles, two groups", STANDARD, '\0', NEW_ALLELE_MUT, 0, false, {6, 5, 7, 4},
         {{0, 2}, {1, 3}}, 0.3},
    };
    for (Kind const& k : kinds) {
        SCOPED_TRACE(k.name);
        test::ProfileGuard profile(k.type, k.separator);
        Scan scan(k.sizes, k.groups, k.diploid);
        scan.p.options.DistanceMethodAMOVA = k.method;
        const bool byStructure = !k.groups.empty();
        SimulatedLocusCounts counts;
        counts.prepare(scan.p, scan.templ, scan.st, byStructure, k.model, k.diploid, false);
        ASSERT_TRUE(counts.usable());
        long seed = -11;
        ran3(&seed);
        SimulatedMutations m;
        m.model = k.model;
        m.theta = k.theta;
        int measured = 0;
        const int loci = 60;
        for (int i = 0; i < loci; ++i) {
            ASSERT_GE(scan.simulate(m, 0.1, 0.05, 6, byStructure), 0) << i;
            LocusMeasure mine;
            const auto outcome = counts.measure(scan.p.samples->Tree, mine);
            const LocusMeasure driver = scan.driver(k.model, k.diploid, byStructure);
            if (outcome == SimulatedLocusCounts::Outcome::NeedsDriverToLearn) counts.learn(scan.p, driver);
            if (outcome != SimulatedLocusCounts::Outcome::Measured) continue;
            ++measured;
            EXPECT_TRUE(same_bits(mine.fst, driver.fst)) << i << ": " << mine.fst << " " << driver.fst;
            EXPECT_TRUE(same_bits(mine.withinHet, driver.withinHet))
                << i << ": " << mine.withinHet << " " << driver.withinHet;
        }
        // The first loci teach the distances (a locus with an allele pair not
        // met yet goes through the driver), which checked them.
        EXPECT_TRUE(counts.usable());
        EXPECT_GE(measured, loci / 3);
        EXPECT_EQ(counts.measured(), measured);
        EXPECT_EQ(counts.measured() + counts.driven(), loci);
    }
}

TEST(SimulatedLocusCounts, WhatTheCountsDoNotTake) {
    test::ProfileGuard profile(DNA, '\0');
    // The individual level, distances that depend on base frequencies, a
    // structure member without a template of its name, export mode.
    {
        Scan scan({4, 4}, {}, true);
        scan.p.options.IncludeIndividualLevel = 1;
        SimulatedLocusCounts counts;
        counts.prepare(scan.p, scan.templ, scan.st, false, DNA_MUT, true, false);
        EXPECT_FALSE(counts.usable());
    }
    {
        Scan scan({4, 4}, {}, false);
        scan.p.options.DistanceMethodAMOVA = 6;
        SimulatedLocusCounts counts;
        counts.prepare(scan.p, scan.templ, scan.st, false, DNA_MUT, false, false);
        EXPECT_FALSE(counts.usable());
        scan.p.options.DistanceMethodAMOVA = 0;
        counts.prepare(scan.p, scan.templ, scan.st, false, DNA_MUT, false, true);
        EXPECT_FALSE(counts.usable());
        counts.prepare(scan.p, scan.templ, scan.st, false, DNA_MUT, false, false);
        EXPECT_TRUE(counts.usable());
        Population stranger(my_string("stranger"));
        stranger.SampleSize = 4;
        Structure other(scan.st);
        other.Groups[0].data[1] = &stranger;
        counts.prepare(scan.p, scan.templ, other, false, DNA_MUT, false, false);
        EXPECT_FALSE(counts.usable());
    }
}

TEST(SimulatedLocusCounts, RepeatedLociReuseTheirStorage) {
    test::ProfileGuard profile(DNA, '\0');
    Scan scan({20, 20, 20, 20, 20}, {}, true);
    SimulatedLocusCounts counts;
    counts.prepare(scan.p, scan.templ, scan.st, false, DNA_MUT, true, false);
    ASSERT_TRUE(counts.usable());
    long seed = -5;
    ran3(&seed);
    SimulatedMutations m;
    m.theta = 1.0;
    // The first loci teach the distances (through the driver) and size the
    // storage; the genealogies' own storage is sized by then too.
    for (int i = 0; i < 20; ++i) {
        ASSERT_GE(scan.simulate(m, 0.1, 0.0, 10, false), 0);
        LocusMeasure mine;
        if (counts.measure(scan.p.samples->Tree, mine) == SimulatedLocusCounts::Outcome::Measured) {
            scan.p.samples->Tree.cleanDemes();
            continue;
        }
        const LocusMeasure driver = scan.driver(DNA_MUT, true, false);
        counts.learn(scan.p, driver);
    }
    // Then a locus read and measured from counts allocates nothing.
    long measured = 0;
    long made = 0;
    for (int i = 0; i < 200; ++i) {
        ASSERT_GE(scan.simulate(m, 0.1, 0.0, 10, false), 0);
        const long before = allocations.load();
        LocusMeasure mine;
        const bool here = counts.measure(scan.p.samples->Tree, mine) == SimulatedLocusCounts::Outcome::Measured;
        if (here) {
            made += allocations.load() - before;
            ++measured;
            scan.p.samples->Tree.cleanDemes();
        } else {
            counts.learn(scan.p, scan.driver(DNA_MUT, true, false));
        }
    }
    EXPECT_GT(measured, 150);
    EXPECT_EQ(made, 0);
}

}  // namespace
}  // namespace quintle
