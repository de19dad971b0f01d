#pragma once

// Builds small samples by hand for the per-locus and haplotype-list tests:
// an allele base with named alleles, haplotype entries and unphased
// individuals pointing into it. Saves and restores the class-wide state
// these routines read and write (data type, the project-wide allele base,
// the per-sample frequency length).

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "data/HaploDef.h"
#include "data/TAlleleDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "popstats/PopGenetics.h"
#include "run/ProfileSettings.h"
#include "support/process_state.h"

namespace quintle::testing_support {

class SampleBuilder {
    // First, so that they outlive everything below.
    test::ProfileGuard profile_;
    test::AllelicDBGuard projectAlleles_;

public:
    SampleBuilder(TDataType type, int loci) : profile_(type) {
        sample.dataType = type;
        for (int l = 0; l < loci; ++l) db.loci.Add(new TLocus(my_string(("L" + std::to_string(l)).c_str())));
        sample.alleleDB = &db;
        sample.profile.MissingData = '?';
    }
    SampleBuilder(SampleBuilder const&) = delete;
    SampleBuilder& operator=(SampleBuilder const&) = delete;

    // The one allele of that name at that locus.
    TAllele* allele(int locus, char const* name) {
        const int pos = db.InsertAllPos(locus, my_string(name), 0.0);
        return db.loci.data[locus]->alleles.data[pos];
    }

    // A haplotype entry with one allele name per locus.
    HaploDef* entry(std::initializer_list<char const*> names, int count, char const* id = "h") {
        auto def = std::make_unique<HaploDef>(my_string(id));
        std::string text;
        int l = 0;
        for (char const* n : names) {
            def->alleles.Add(allele(l++, n));
            text += n;
        }
        def->data = text.c_str();
        HaploDef* raw = def.get();
        definitions.push_back(std::move(def));
        sample.haplotypes.Add(new PHaploDef{raw, count});
        return raw;
    }

    // A list entry of an existing definition.
    void entry(HaploDef* def, int count) { sample.haplotypes.Add(new PHaploDef{def, count}); }

    // An individual: first and second gene copy, one allele name per locus.
    void individual(std::initializer_list<char const*> first, std::initializer_list<char const*> second,
                    double count) {
        auto* ph = new TPhenotype(my_string("ind"), count);
        ph->pseudo1 = std::make_unique<TPopHaplotype>();
        ph->pseudo2 = std::make_unique<TPopHaplotype>();
        int l = 0;
        for (char const* n : first) ph->pseudo1->alleles.Add(allele(l++, n));
        l = 0;
        for (char const* n : second) ph->pseudo2->alleles.Add(allele(l++, n));
        sample.phenotypes.add(ph);
    }

    // Declared in this order so that the sample goes first, then the
    // definitions and alleles it points to.
    TAlleleDB db;
    std::vector<std::unique_ptr<HaploDef>> definitions;
    PopGenetics sample;
};

}  // namespace quintle::testing_support
