#pragma once
// A sample set whose allele frequencies are set by hand: the pass's global
// allele list, the project's allele database (each locus led by the
// recessive blank, as the project run leaves it) and the result folder and
// project file of the summary fixture.

#include <filesystem>
#include <string>
#include <vector>

#include "data/TAlleleDB.h"
#include "datatypes/PopulStandard.h"
#include "popstats/PopGenetics.h"
#include "summary_fixture.h"

namespace quintle::testing_support {

class AlleleTablesFixture : public SummaryFixture {
protected:
    void SetUp() override {
        SummaryFixture::SetUp();
        project_.blanksInserted = 1;
        s_.project_allele_db = &project_;
        s_.ProjectFolder = (dir_.string() + "/").c_str();
        settings::input_file = (dir_ / "data.pmp").string().c_str();
        set_.MissingData = '?';
        set_.RecessiveAllele = "null";
    }

    PopulStandard* sample(char const* name, double size) {
        auto* p = add<PopulStandard>(name);
        p->SampleSize = size;
        return p;
    }

    // Allele `name` at locus l, met in the pass and known to the project,
    // with its frequency in each sample.
    void allele(int l, char const* name, std::vector<double> const& freqs) {
        if (l >= project_.loci.count) project_.InsertAllPos(l, my_string("null"), 0.0);
        PopGenetics::globalAllelicDB.InsertAllPos(l, my_string(name), 1.0);
        int const pos = project_.InsertAllPos(l, my_string(name), 1.0);
        TAllele* a = project_.loci.data[l]->alleles.data[pos];
        a->popFreq = FreqArray::zeros(static_cast<int>(freqs.size()));
        for (std::size_t p = 0; p < freqs.size(); ++p) a->popFreq[static_cast<long>(p)] = freqs[p];
    }

    std::string file(std::string const& name) const { return slurp(dir_ / name); }

    // Names of the global list's locus l, in their order.
    static std::vector<std::string> global_names(int l) {
        std::vector<std::string> names;
        TLocus const* locus = PopGenetics::globalAllelicDB.loci.data[l];
        for (long j = 0; j < locus->alleles.count; ++j) names.emplace_back(locus->alleles.data[j]->name.c_str());
        return names;
    }

private:
    test::AllelicDBGuard shared_;
    test::Saved<my_string> input_{settings::input_file};

protected:
    TAlleleDB project_;
};

}  // namespace quintle::testing_support
