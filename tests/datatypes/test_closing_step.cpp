// The closing step that every sample driver shares: a run that asks only
// for the preparation of the AMOVA permutations (task 4096) gets the allele
// vectors of each diploid sample built, with the blanks of recessive data
// made first; a run that asks for anything more leaves the sample as it is.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "data/TPhenotype.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/PopulStandard.h"
#include "datatypes/allele_fixture.h"
#include "datatypes/driver_frame.h"
#include "run/task_bits.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

constexpr std::int64_t kPrepare = task_amova_permutations;

// A diploid sample of unknown phase as the reader leaves it before the
// allele vectors are built: its individuals' two allele texts, nothing more.
template <class Sample>
struct DiploidSample {
    using Individuals = std::vector<std::pair<char const*, char const*>>;
    explicit DiploidSample(Individuals const& individuals) {
        pop.name = "d";
        pop.id = 0;
        pop.profile.GenotypicData = 1;
        pop.profile.GameticPhase = 0;
        pop.profile.MissingData = '?';
        pop.profile.RecessiveAllele = "0";
        pop.alleleDB = &alleles;
        for (auto const& [first, second] : individuals) {
            auto* ph = new TPhenotype(my_string("ind"), 1.0);
            ph->alleleString1 = first;
            ph->alleleString2 = second;
            pop.phenotypes.add(ph);
        }
        pop.SampleSize = 2.0 * static_cast<double>(individuals.size());
    }

    bool vectors_built() const {
        for (long i = 0; i < pop.phenotypes.size(); ++i)
            if (pop.phenotypes[i]->pseudo_hapl(0) == nullptr || pop.phenotypes[i]->pseudo_hapl(1) == nullptr)
                return false;
        return pop.phenotypes.size() > 0;
    }
    bool blanks_made() const { return alleles.blanksInserted != 0; }
    // The first allele of the first locus, "" when there is none.
    std::string first_allele() const {
        if (alleles.loci.count == 0 || alleles.loci.data[0]->alleles.count == 0) return "";
        return alleles.loci.data[0]->alleles.data[0]->name.c_str();
    }

    TAlleleDB alleles{0};
    Sample pop;
};

struct Case {
    std::int64_t tasks;
    bool recessive;
    bool built;  // the allele vectors, and the blanks when recessive
};

// Only task 4096 alone builds; the other task bit here (standard diversity)
// is one that recessive data make every driver refuse or skip, so that
// nothing else can build them.
constexpr Case kCases[] = {
    {kPrepare, false, true},
    {kPrepare, true, true},
    {kPrepare | task_standard_diversity, true, false},
};

template <class Sample>
void expect_closing_step(TDataType type, char separator, char const* first, char const* second) {
    for (Case const& c : kCases) {
        SCOPED_TRACE(::testing::Message() << "data type " << type << ", tasks " << c.tasks << ", recessive "
                                          << c.recessive);
        AlleleRun run(type, c.tasks);
        ProfileSettings::LocusSeparator = separator;  // put back by the run's guard
        run.s.RecessiveAllelesEM = c.recessive ? 1 : 0;
        DiploidSample<Sample> d(typename DiploidSample<Sample>::Individuals{{first, second}, {second, second}});
        d.pop.test_methods(run.s);
        EXPECT_EQ(d.vectors_built(), c.built);
        EXPECT_EQ(d.blanks_made(), c.built && c.recessive);
        // The blank is the first allele of every locus.
        if (c.built && c.recessive) {
            EXPECT_EQ(d.first_allele(), "0");
        }
        // Task 4096 alone is no within-sample analysis: nothing is written.
        if (c.tasks == kPrepare) {
            EXPECT_EQ(run.result(), "");
        }
    }
}

}  // namespace

TEST(ClosingStep, EveryDriverBuildsTheAlleleVectorsForTask4096Alone) {
    expect_closing_step<PopulDNA>(DNA, '\0', "ACGT", "ACGA");
    expect_closing_step<PopulRFLP>(RFLP, '\0', "0101", "0111");
    expect_closing_step<PopulMicrosat>(MICROSAT, ' ', "10 12", "10 14");
    expect_closing_step<PopulStandard>(STANDARD, ' ', "A B", "A C");
}

// The step on its own, for any settings: only TaskNumber 4096 exactly.
TEST(ClosingStep, OnlyTheExactTaskNumberBuilds) {
    struct Step {
        std::int64_t tasks;
        int recessive;
        bool built;
    };
    const Step steps[] = {
        {kPrepare, 0, true},
        {kPrepare, 1, true},
        {kPrepare | task_standard_diversity, 0, false},
        {kPrepare | task_amova, 0, false},
        {kPrepare | task_standard_diversity, 1, false},
        {task_standard_diversity, 0, false},
        {0, 1, false},
    };
    for (Step const& c : steps) {
        SCOPED_TRACE(::testing::Message() << "tasks " << c.tasks << ", recessive " << c.recessive);
        test::ProfileGuard profile(STANDARD, ' ');
        DiploidSample<PopulStandard> d(DiploidSample<PopulStandard>::Individuals{{"A B", "A C"}});
        settings s;
        s.TaskNumber = c.tasks;
        s.RecessiveAllelesEM = c.recessive;
        closing_step(d.pop, s);
        EXPECT_EQ(d.vectors_built(), c.built);
        EXPECT_EQ(d.blanks_made(), c.built && c.recessive != 0);
    }
}
