#pragma once

// An RFLP sample built by hand as the project reader builds one (haplotype
// definitions with their alleles in an allele base), and the run
// environment of the DNA driver tests with the data type set to RFLP.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/HaploDef.h"
#include "data/TAlleleDB.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/dna_driver_fixture.h"

namespace quintle::testing_support {

class RflpSample {
public:
    RflpSample(char const* name, std::vector<std::pair<std::string, int>> const& haplotypes, char missing = '?') {
        pop.name = name;
        pop.id = 0;
        pop.profile.MissingData = missing;
        pop.profile.GenotypicData = 0;
        pop.profile.GameticPhase = 0;
        pop.alleleDB = &alleles;
        double total = 0.0;
        int k = 0;
        for (auto const& [text, count] : haplotypes) {
            auto def = std::make_unique<HaploDef>(my_string(("h" + std::to_string(++k)).c_str()));
            def->data = text.c_str();
            def->build_haplovect(&alleles, '\0', 0, count);
            pop.haplotypes.Add(new PHaploDef{def.get(), count});
            definitions.push_back(std::move(def));
            total += count;
        }
        pop.SampleSize = total;
        pop.NbHaplotypeEntries = k;
        pop.NbHaplotypeEntriesRead = k;
    }

    // Declared in this order so that the sample goes first.
    TAlleleDB alleles{0};
    std::vector<std::unique_ptr<HaploDef>> definitions;
    PopulRFLP pop;
};

// A driver run (result file, log, settings) for RFLP data.
class RflpRun {
public:
    explicit RflpRun(std::int64_t tasks) : run_(tasks), s(run_.s) {}
    std::string result() { return run_.result(); }
    std::string log() { return run_.log(); }
    std::filesystem::path const& dir() const { return run_.dir(); }

private:
    DriverRun run_;
    test::ProfileGuard profile_{RFLP, '\0'};

public:
    settings& s;
};

// Occurrences of a text in another.
inline int occurrences(std::string const& text, std::string const& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

}  // namespace quintle::testing_support
