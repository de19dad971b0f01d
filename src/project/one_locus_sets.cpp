// One-locus copies of a sample set and of its genetic structure, for the
// AMOVA of one locus at a time: every grouped sample reduced to the alleles
// it carries at that locus, a haplotype list holding one definition per
// allele seen there, and the groups rebuilt over the copies.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char const* kSampleReporter = "Samples::build_one_loci_sample(..)";

std::string_view view(my_string const& s) { return {s.c_str(), static_cast<std::size_t>(s.length())}; }

// The definitions of one locus, by allele name, in order of first
// appearance: definition k is "hk", row k of the locus's distance matrix,
// and counts the gene copies that carry its allele.
class LocusDefinitions {
public:
    explicit LocusDefinitions(Haplo_DB& db) : db_(db) {
        for (long i = 0; i < db.haplotypes.count; ++i)
            if (HaploDef* h = db.haplotypes.data[i]) byName_.emplace(std::string(view(h->data)), h);
    }

    // The definition of `allele`, made when it is first seen; every call
    // counts one more carrier (or `copies` of them).
    HaploDef* use(TAllele* allele, int copies) {
        auto const found = byName_.find(std::string(view(allele->name)));
        if (found != byName_.end()) {
            found->second->count += copies;
            return found->second;
        }
        long const position = db_.haplotypes.count;
        std::string name = "h";
        name += std::to_string(position);
        auto made = std::make_unique<HaploDef>(my_string(name.c_str()));
        made->alleles.Add(allele);
        made->data = allele->name;
        made->matrixIndex = static_cast<int>(position);
        made->count = copies;
        HaploDef* h = made.get();
        db_.haplotypes.Add(made.release());
        byName_.emplace(std::string(view(h->data)), h);
        return h;
    }

private:
    Haplo_DB& db_;
    std::unordered_map<std::string, HaploDef*> byName_;
};

void too_large() {
    *_AOS_ << "\t\tSamples::build_one_loci_sample(..): ERROR the selected loci is too large" << std::endl;
}

// The allele a pseudo-haplotype carries at `locus`; null when it carries
// none there (too few loci).
TAllele* allele_of(TPopHaplotype const* h, int locus) {
    if (h == nullptr || locus < 0 || h->alleles.count <= locus) return nullptr;
    return h->alleles.data[locus];
}

}  // namespace

int Samples::build_one_loci_sample(int locus, Samples* source, Structure* structure, Haplo_DB* oneLocusHaplos) {
    if (source == nullptr || structure == nullptr || oneLocusHaplos == nullptr) return 0;
    my_string missing;
    missing = source->MissingData;
    auto const isMissing = [&missing](TAllele const* a) { return a == nullptr || a->name == missing; };
    ProfileSettings::operator=(*source);
    set_data_context(source->dataType, source->locusSeparator);
    if (source->Populations.count == 0) return 1;

    LocusDefinitions definitions(*oneLocusHaplos);
    for (long i = 0; i < source->Populations.count; ++i) {
        Population const* s = source->Populations.data[i];
        if (s == nullptr || !structure->has_population(s)) continue;

        auto copy = std::make_unique<Population>();
        copy->profile = static_cast<ProfileSettings const&>(*this);
        copy->dataType = dataType;
        copy->locusSeparator = locusSeparator;
        copy->name = s->name;
        copy->id = s->id;
        copy->alleleDB = s->alleleDB;
        copy->nbGeneCopies = 0;
        copy->SampleSize = 0.0;

        if (s->profile.GenotypicData != 0) {
            settings const* run = s->profile.RunSettings;
            bool const individualLevel = run != nullptr && run->IncludeIndividualLevel != 0;
            for (long ph = 0; ph < s->phenotypes.size(); ++ph) {
                TPhenotype const* pheno = s->phenotypes[ph];
                if (pheno == nullptr) continue;
                for (long k = 0; k < pheno->count; ++k) {
                    // Both pseudo-haplotypes must reach the locus: the
                    // second is read as well as the first.
                    if (allele_of(pheno->pseudo1.get(), locus) == nullptr ||
                        allele_of(pheno->pseudo2.get(), locus) == nullptr) {
                        too_large();
                        return 0;
                    }
                    TAllele* const pair[2] = {allele_of(pheno->pseudo1.get(), locus),
                                              allele_of(pheno->pseudo2.get(), locus)};
                    bool const incomplete = isMissing(pair[0]) || isMissing(pair[1]);
                    if (incomplete && individualLevel) continue;  // the individual is left out
                    HaploDef* defs[2] = {nullptr, nullptr};
                    for (int c = 0; c < 2; ++c) {
                        if (isMissing(pair[c])) continue;
                        defs[c] = definitions.use(pair[c], 1);
                        copy->haplotypes.Add(new PHaploDef{defs[c], 1});
                        ++copy->nbGeneCopies;
                    }
                    // One allele missing: its other copy is a unit of its
                    // own when the AMOVA permutes individuals.
                    if ((defs[0] == nullptr) != (defs[1] == nullptr))
                        copy->loneCopies.push_back(static_cast<int>(copy->geneCopies.count));
                    for (HaploDef* d : defs) {
                        if (d == nullptr) continue;
                        copy->geneCopies.Add(new PHaploDef{d, 1});
                        copy->SampleSize += 1.0;
                    }
                }
            }
            copy->nbGeneCopiesKept = copy->nbGeneCopies;
        } else {
            for (long e = 0; e < s->haplotypes.count; ++e) {
                PHaploDef const* entry = s->haplotypes.data[e];
                if (entry == nullptr || entry->haplotype == nullptr) continue;
                AlleleRow const& alleles = entry->haplotype->alleles;
                if (alleles.count <= locus || locus < 0) {
                    too_large();
                    return 0;
                }
                TAllele* a = alleles.data[locus];
                if (isMissing(a)) continue;
                HaploDef* d = definitions.use(a, entry->count);
                copy->haplotypes.Add(new PHaploDef{d, entry->count});
                copy->nbGeneCopies += entry->count;
            }
            copy->nbGeneCopiesKept = copy->nbGeneCopies;
            copy->SampleSize = copy->nbGeneCopies;
        }

        copy->check_phaplodef_redond();
        copy->NbHaplotypeEntries = static_cast<int>(copy->haplotypes.count);
        int const kept = copy->nbGeneCopies;
        Populations.Add(copy.release());

        if (kept == 0) {
            E.error(WARNING, kSampleReporter, Msg::m208_population_without_locus_data);
            *_AOS_ << "\t\tSamples::build_one_loci_sample(..): Population '" << s->name
                   << "' does not contain any data at locus #" << locus + 1
                   << ".\n\t\tIt is therefore impossible to make an AMOVA for this locus" << std::endl;
            return 0;
        }
    }
    return 1;
}

int Structure::build_one_loci_str(Samples* oneLocusSamples, Structure* source) {
    ProfileSettings::operator=(*oneLocusSamples);
    StructureName = source->StructureName;
    NbSamplesInGroups = source->NbSamplesInGroups;
    NbGroups = source->NbGroups;
    build_group_arrays();
    if (!source->Groups || !source->GroupSizes) return 1;

    // First sample of each name, in the set's order.
    std::unordered_map<std::string_view, Population*> byName;
    PopulationGroup& copies = oneLocusSamples->Populations;
    for (long i = 0; i < copies.count; ++i)
        if (Population* p = copies.data[i]) byName.emplace(view(p->name), p);

    for (int g = 0; g < NbGroups; ++g) {
        GroupSizes[g] = source->GroupSizes[g];
        PopulationGroup const& members = source->Groups[g];
        for (long k = 0; k < members.count; ++k) {
            Population const* m = members.data[k];
            auto const found = m != nullptr ? byName.find(view(m->name)) : byName.end();
            if (found == byName.end()) {
                *_AOS_ << "\tStructure::build_one_loci_str(): impossible to reproduce structure" << std::endl;
                return 0;
            }
            Groups[g].Add(found->second);
        }
    }
    return 1;
}

}  // namespace quintle
