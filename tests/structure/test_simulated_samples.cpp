// Simulated samples of the selection scan: one locus of a genealogy read
// into samples (texts by model, haplotypes merged, individuals paired),
// loci accumulated into data sets, and the heterozygosity over a structure.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/random.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "data/TAllele.h"
#include "data/TLocus.h"
#include "data/TPhenotype.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/PopulStandard.h"
#include "datatypes/population_factory.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "support/process_state.h"

namespace quintle {
namespace {

void reseed(long s) { ran3(&s); }

// Template samples of the given gene-copy counts, named s0, s1, ..., in one
// group or in the given groups.
struct Templates {
    Samples set;
    Structure st;
    explicit Templates(std::vector<int> const& sizes, std::vector<std::vector<int>> groups = {}) {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            auto* p = new Population(my_string(("s" + std::to_string(i)).c_str()));
            p->SampleSize = sizes[i];
            set.Populations.Add(p);
        }
        if (groups.empty()) {
            groups.emplace_back();
            for (std::size_t i = 0; i < sizes.size(); ++i) groups[0].push_back(static_cast<int>(i));
        }
        st.NbGroups = static_cast<int>(groups.size());
        st.GroupSizes = std::make_unique<int[]>(groups.size());
        st.Groups = std::make_unique<PopulationGroup[]>(groups.size());
        for (std::size_t q = 0; q < groups.size(); ++q) {
            st.Groups[q].owns = false;
            for (int i : groups[q]) st.Groups[q].Add(set.Populations[i]);
            st.GroupSizes[q] = static_cast<int>(groups[q].size());
            st.NbSamplesInGroups += st.GroupSizes[q];
        }
    }
};

// A project whose current sample set and structure receive the simulations.
struct ScanProject {
    test::HitsGuard hits;
    test::AllelicDBGuard alleles;
    Project p;
    Templates t;
    explicit ScanProject(std::vector<int> const& sizes, std::vector<std::vector<int>> groups = {})
        : t(sizes, std::move(groups)) {
        p.structure = std::make_unique<Structure>(t.st);
        p.samples->RunSettings = &p.options;
        static_cast<ProfileSettings&>(t.set).RunSettings = &p.options;
        // The templates as the project reader leaves them, the current set
        // as the scan makes its scratch set from them.
        t.set.set_data_context(ProfileSettings::DataType, ProfileSettings::LocusSeparator);
        p.samples->set_data_context(t.set.dataType, t.set.locusSeparator);
    }
    int simulate(Mut_Type model, double theta, double F, int D, bool diploid) {
        return p.simulateSample(theta, 1, model, 0.0, 1.0, 1.0, 1.0 / 3.0, 0, F, &t.set, &t.st, D, diploid);
    }
    Population& sample(int i) { return *p.samples->Populations.data[i]; }
    // "text x count" of a sample's haplotype entries, in order.
    std::vector<std::string> entries(int i) {
        std::vector<std::string> out;
        Population& s = sample(i);
        for (long e = 0; e < s.haplotypes.count; ++e)
            out.push_back(std::string(s.haplotypes.data[e]->haplotype->data.c_str()) + " x" +
                          std::to_string(s.haplotypes.data[e]->count));
        return out;
    }
    std::vector<std::string> gametes(int i) {
        std::vector<std::string> out;
        Population& s = sample(i);
        for (long k = 0; k < s.phenotypes.size(); ++k)
            out.push_back(std::string(s.phenotypes[k]->alleleString1.c_str()) + "/" +
                          s.phenotypes[k]->alleleString2.c_str());
        return out;
    }
};

using Texts = std::vector<std::string>;

TEST(SimulatedSamples, FourLeavesReadAsDnaTextsInTheDrawOrder) {
    test::ProfileGuard profile(DNA, '\0');
    // The genealogy of the structured-coalescent test (same seed, sizes, D
    // and FST): leaf 2 alone carries the derived state. Leaves 0, 1 are
    // sample s0, leaves 2, 3 sample s1.
    ScanProject haploid({2, 2});
    reseed(-7);
    EXPECT_EQ(haploid.simulate(DNA_MUT, 1.0, 0.25, 3, false), 1);
    EXPECT_EQ(haploid.entries(0), (Texts{"A x2"}));
    EXPECT_EQ(haploid.entries(1), (Texts{"G x1", "A x1"}));
    Haplo_DB const& list = haploid.p.haplotypes;
    ASSERT_EQ(list.haplotypes.count, 2);  // one definition per identifier
    EXPECT_STREQ(list.haplotypes.data[0]->id.c_str(), "0");
    EXPECT_STREQ(list.haplotypes.data[1]->id.c_str(), "1");
    EXPECT_EQ(haploid.sample(1).haplotypes.data[1]->haplotype, list.haplotypes.data[0]);
    EXPECT_EQ(haploid.p.samples->NbHaplotypes, 2);
    EXPECT_STREQ(haploid.sample(1).name.c_str(), "s1");
    EXPECT_EQ(haploid.sample(1).SampleSize, 2.0);
    EXPECT_EQ(haploid.sample(1).id, 1);
    EXPECT_NE(dynamic_cast<PopulDNA*>(&haploid.sample(0)), nullptr);
    EXPECT_EQ(haploid.p.samples->Tree.num_occupied, 0);  // demes emptied
    // The structure copy now points at the simulated samples.
    EXPECT_EQ(haploid.p.structure->Groups[0].data[1], &haploid.sample(1));

    ScanProject diploid({2, 2});
    reseed(-7);
    EXPECT_EQ(diploid.simulate(DNA_MUT, 1.0, 0.25, 3, true), 1);
    EXPECT_EQ(diploid.gametes(0), (Texts{"A/A"}));
    EXPECT_EQ(diploid.gametes(1), (Texts{"G/A"}));
    EXPECT_EQ(diploid.sample(1).profile.GenotypicData, 1);
}

TEST(SimulatedSamples, MonomorphicAndUnplacedLociByModel) {
    test::ProfileGuard profile(RFLP, '\0');
    // A minimum share of 1 leaves only the root (weight 0): nothing is drawn,
    // twice, and every copy holds state 2, "0" as RFLP text.
    ScanProject rflp({3, 2});
    rflp.p.options.MinDafFreq = 1.0;
    reseed(-3);
    EXPECT_EQ(rflp.simulate(TWO_STATE_MUT, 1.0, 0.2, 10, false), 1);
    EXPECT_EQ(rflp.entries(0), (Texts{"0 x3"}));
    EXPECT_STREQ(rflp.p.haplotypes.haplotypes.data[0]->id.c_str(), "2");
    EXPECT_NE(dynamic_cast<PopulRFLP*>(&rflp.sample(0)), nullptr);

    // Above 1 no branch is listed at first: the second search lists them
    // all and places the SNP with ancestral state 2 (C) and derived 1 (G).
    ProfileSettings::DataType = DNA;
    ScanProject dna({6, 6});
    dna.p.options.MinDafFreq = 1.5;
    reseed(-3);
    EXPECT_EQ(dna.simulate(DNA_MUT, 1.0, 0.2, 10, false), 1);
    std::map<std::string, int> seen;
    for (int i = 0; i < 2; ++i)
        for (long e = 0; e < dna.sample(i).haplotypes.count; ++e)
            seen[dna.sample(i).haplotypes.data[e]->haplotype->data.c_str()] += dna.sample(i).haplotypes.data[e]->count;
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_GT(seen["C"], 0);
    EXPECT_GT(seen["G"], 0);

    // No mutation (theta 0): a stepwise copy reads "200 ", a new-allele one
    // without separator "0".
    ProfileSettings::DataType = MICROSAT;
    ProfileSettings::LocusSeparator = ' ';
    ScanProject msat({2});
    EXPECT_EQ(msat.simulate(STEPWISE_MUT, 0.0, 0.2, 5, false), 0);
    EXPECT_EQ(msat.entries(0), (Texts{"200  x2"}));
    ProfileSettings::DataType = STANDARD;
    ProfileSettings::LocusSeparator = '\0';
    ScanProject standard({2});
    EXPECT_EQ(standard.simulate(NEW_ALLELE_MUT, 0.0, 0.2, 5, false), 0);
    EXPECT_EQ(standard.entries(0), (Texts{"0 x2"}));
    EXPECT_NE(dynamic_cast<PopulStandard*>(&standard.sample(0)), nullptr);
}

TEST(SimulatedSamples, SizeZeroSamplesAndManyMutations) {
    test::ProfileGuard profile(MICROSAT, ' ');
    // A sample of size 0 first: it gets no data and no leaves, and the next
    // sample still reads its own copies.
    ScanProject p({0, 4, 0});
    reseed(-9);
    EXPECT_GE(p.simulate(STEPWISE_MUT, 4.0, 0.2, 10, true), 0);
    ASSERT_EQ(p.p.samples->Populations.count, 3);
    EXPECT_STREQ(p.sample(0).name.c_str(), "s0");
    EXPECT_EQ(p.sample(0).phenotypes.size(), 0);
    EXPECT_EQ(p.sample(1).phenotypes.size(), 2);  // 4 copies, 2 individuals
    EXPECT_EQ(p.sample(2).phenotypes.size(), 0);

    // New-allele states of 201 and up have no text without a separator:
    // ERROR 210 stops the reading, and the simulation counts as failed.
    test::LogGuard log;
    ProfileSettings::DataType = STANDARD;
    ProfileSettings::LocusSeparator = '\0';
    ScanProject many({40, 40});
    reseed(-9);
    EXPECT_EQ(many.simulate(NEW_ALLELE_MUT, 400.0, 0.2, 5, false), -1);
    EXPECT_NE(log.text().find("Too many mutations during simulations"), std::string::npos) << log.text();
}

TEST(SimulatedSamples, FailedBuildLeavesEmptyDemesAndNoSample) {
    test::ProfileGuard profile(DNA, '\0');
    test::LogGuard log;
    ScanProject p({3, 3}, {{0}, {1}});
    reseed(-4);
    // FCT 0: no migration between groups is possible.
    EXPECT_EQ(p.p.simulateSample(1.0, 1, DNA_MUT, 0.0, 1.0, 1.0, 1.0 / 3.0, 0, 0.2, 0.0, &p.t.set, &p.t.st, 5, 3,
                                 false),
              -1);
    EXPECT_EQ(p.p.samples->Populations.count, 0);
    EXPECT_EQ(p.p.samples->Tree.num_occupied, 0);
    EXPECT_NE(log.text().find("\tProject::simulateSample(): Unable to simulate samples\n"
                              "\tpotentially due to migration rates not within interval ]0..1[\n"),
              std::string::npos);
    // A sound build of the same structure reads the members group by group.
    EXPECT_EQ(p.p.simulateSample(1.0, 1, DNA_MUT, 0.0, 1.0, 1.0, 1.0 / 3.0, 0, 0.2, 0.1, &p.t.set, &p.t.st, 5, 3,
                                 false),
              1);
    EXPECT_EQ(p.p.samples->Populations.count, 2);
}

TEST(SimulatedSamples, LociAccumulateIntoIndividuals) {
    test::ProfileGuard profile(DNA, '\0');
    // Haploid source of 3 copies: two individuals, the second with an empty
    // second gamete; no separator character when there is none.
    ScanProject source({3});
    Samples accumulated;
    for (int locus = 0; locus < 3; ++locus) {
        source.p.samples->clean();
        source.p.haplotypes.reset();
        reseed(-21 - locus);
        source.simulate(DNA_MUT, 1.0, 0.2, 4, false);
        accumulated.addLocus(*source.p.samples, 0, 3, false);
    }
    ASSERT_EQ(accumulated.Populations.count, 1);
    Population& s = *accumulated.Populations.data[0];
    ASSERT_EQ(s.phenotypes.size(), 2);
    EXPECT_EQ(s.phenotypes[0]->alleleString1.length(), 3);
    EXPECT_EQ(s.phenotypes[0]->alleleString2.length(), 3);
    EXPECT_EQ(s.phenotypes[1]->alleleString2.length(), 0);
    EXPECT_EQ(s.haplotypes.count, 0);  // nothing points into the emptied list

    // Diploid source with a separator: texts of the first locus kept, each
    // later one appended with the separator.
    ProfileSettings::LocusSeparator = ' ';
    ProfileSettings::DataType = MICROSAT;
    ScanProject dip({4});
    Samples acc;
    for (int locus = 0; locus < 2; ++locus) {
        dip.p.samples->clean();
        dip.p.allele_db.destroy();
        reseed(-31 - locus);
        dip.simulate(STEPWISE_MUT, 2.0, 0.2, 4, true);
        dip.p.samples->build_all_vectors(' ');
        acc.addLocus(*dip.p.samples, 0, 2, true);
    }
    Population& d = *acc.Populations.data[0];
    ASSERT_EQ(d.phenotypes.size(), 2);
    const std::string g = d.phenotypes[1]->alleleString2.c_str();
    ASSERT_EQ(g.size(), 8u) << g;  // "2xx " then "2xx "
    EXPECT_EQ(g[3], ' ');
    EXPECT_EQ(g[7], ' ');
}

// Simulated samples and the data sets made of them are read and analysed
// with the templates' type and separator, whatever the profile reader
// holds by then (here the contrary of both).
TEST(SimulatedSamples, TheTemplatesTypeAndSeparatorGoWithTheSimulations) {
    test::ProfileGuard profile(MICROSAT, ' ');
    ScanProject dip({4});
    ProfileSettings::DataType = DNA;
    ProfileSettings::LocusSeparator = '\0';
    Samples acc;
    for (int locus = 0; locus < 2; ++locus) {
        dip.p.samples->clean();
        dip.p.allele_db.destroy();
        reseed(-31 - locus);
        ASSERT_GE(dip.simulate(STEPWISE_MUT, 2.0, 0.2, 4, true), 0);
        EXPECT_EQ(dip.p.samples->dataType, MICROSAT);
        EXPECT_EQ(dip.sample(0).dataType, MICROSAT);
        EXPECT_EQ(dip.sample(0).locusSeparator, ' ');
        dip.p.samples->build_all_vectors(dip.p.samples->locusSeparator);
        acc.addLocus(*dip.p.samples, 0, 2, true);
    }
    EXPECT_EQ(acc.dataType, MICROSAT);
    EXPECT_EQ(acc.locusSeparator, ' ');
    Population& d = *acc.Populations.data[0];
    ASSERT_EQ(d.phenotypes.size(), 2);
    // The same draws as the separator case above: "2xx " twice.
    const std::string g = d.phenotypes[1]->alleleString2.c_str();
    ASSERT_EQ(g.size(), 8u) << g;
    EXPECT_EQ(g[3], ' ');
    EXPECT_EQ(g[7], ' ');
}

TEST(SimulatedSamples, HeterozygosityOverAStructure) {
    test::ProfileGuard profile(DNA, '\0');
    test::AllelicDBGuard alleles;
    // Haploid DNA of one site: A = 3 A + 1 G, B = 2 G in group 1; C = 1 A
    // alone in group 2.
    //  within samples: H_A = 4/3 (1 - 9/16 - 1/16) = 0.5, H_B = 0, H_C = 0;
    //  meanSampleHet = (4 x 0.5) / 7 = 2/7.
    //  group 1 pools (3 A, 3 G) / 6: (1 - 0.5) x 6/5 x 6 = 3.6; a group of
    //  one gene copy adds 0: meanGroupHet = 3.6 / 7.
    Project p;
    HaploDef* a = new HaploDef(my_string("a"));
    HaploDef* g = new HaploDef(my_string("g"));
    a->data = "A";
    g->data = "G";
    p.haplotypes.haplotypes.Add(a);
    p.haplotypes.haplotypes.Add(g);
    for (HaploDef* h : {a, g}) h->build_haplovect(&p.allele_db, '\0', 0, 0.1);
    struct Entry {
        HaploDef* h;
        int n;
    };
    std::vector<std::vector<Entry>> data = {{{a, 3}, {g, 1}}, {{g, 2}}, {{a, 1}}};
    for (std::size_t i = 0; i < data.size(); ++i) {
        auto s = make_sample(DNA);
        s->name = ("p" + std::to_string(i)).c_str();
        s->id = static_cast<int>(i);
        s->alleleDB = &p.allele_db;
        for (Entry e : data[i]) {
            s->haplotypes.Add(new PHaploDef{e.h, e.n});
            s->SampleSize += e.n;
        }
        s->nbEntries = static_cast<int>(s->haplotypes.count);
        p.samples->Populations.Add(s.release());
    }
    Structure st;
    st.NbGroups = 2;
    st.GroupSizes = std::make_unique<int[]>(2);
    st.Groups = std::make_unique<PopulationGroup[]>(2);
    st.Groups[0].owns = st.Groups[1].owns = false;
    st.Groups[0].Add(p.samples->Populations[0]);
    st.Groups[0].Add(p.samples->Populations[1]);
    st.Groups[1].Add(p.samples->Populations[2]);
    st.GroupSizes[0] = 2;
    st.GroupSizes[1] = 1;
    p.allele_db.create_pop_freq_vector(3);
    p.allele_db.create_group_freq_vector(2);
    p.computeMeanHeterozygosityOverSamplesInStructure(*p.samples, st);
    ASSERT_EQ(p.allele_db.loci.count, 1);
    TLocus const& locus = *p.allele_db.loci.data[0];
    EXPECT_NEAR(locus.meanSampleHet, 2.0 / 7.0, 1e-12);
    EXPECT_NEAR(locus.meanGroupHet, 3.6 / 7.0, 1e-12);
    EXPECT_NEAR(locus.alleles.data[0]->groupFreq[0], 0.5, 1e-12);

    // Members of total size 0: both values 0.
    Structure empty;
    empty.NbGroups = 1;
    empty.GroupSizes = std::make_unique<int[]>(1);
    empty.Groups = std::make_unique<PopulationGroup[]>(1);
    empty.Groups[0].owns = false;
    p.computeMeanHeterozygosityOverSamplesInStructure(*p.samples, empty);
    EXPECT_EQ(p.allele_db.loci.data[0]->meanSampleHet, 0.0);
    EXPECT_EQ(p.allele_db.loci.data[0]->meanGroupHet, 0.0);
    // Copied with the database.
    p.computeMeanHeterozygosityOverSamplesInStructure(*p.samples, st);
    TAlleleDB again(p.allele_db);
    EXPECT_NEAR(again.loci.data[0]->meanGroupHet, 3.6 / 7.0, 1e-12);
}

}  // namespace
}  // namespace quintle
