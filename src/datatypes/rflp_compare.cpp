// Checks of an RFLP sample, its reference haplotype and the classification
// of its sites.

#include <cstdint>
#include <new>
#include <string>

#include "core/Errors.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/haplotype_counts.h"
#include "datatypes/haplotype_text.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle {

namespace {

// Character of an entry at a site; a text too short to reach the site reads
// as missing data there.
char site_of(PHaploDef const* entry, int site, char missing) {
    return site < length_of(entry) ? entry->haplotype->data.c_str()[site] : missing;
}

// The run-wide flags cover at least `sites` sites; those set stay set.
void grow_global_flags(int sites) {
    auto& global = PopGenetics::globalSubstPolymSites;
    if (global.count >= sites) return;
    if (global.capacity < sites) global.Resize(sites);
    for (long k = global.count; k < sites; ++k) global.data[k] = false;
    global.count = sites;
}

}  // namespace

int PopulRFLP::check_data() {
    if (haplotypes.count < 1) return 1;
    bool const warned =
        reconcile_haplotype_counts(*this, WARNING, "PopulRFLP::check_data()", "PopulRFLP::check_data") == 0;

    int const n = static_cast<int>(haplotypes.count);
    int const length = length_of(haplotypes[0]);
    for (int i = 1; i < n; ++i) {
        if (length_of(haplotypes[i]) != length) {
            E.error(WARNING, "PopulRFLP::check_data()", Msg::m139_rflp_length_differs);
            return 0;
        }
    }
    return warned ? 0 : 1;
}

int PopulRFLP::evaluate_polymorphism(settings const& s) {
    allowedMissingLevel = s.AllowedLevelOfMissingData;
    if (profile.GenotypicData != 0 && profile.GameticPhase == 0 && fromPhenotypes == 0) {
        compare_phenotypes();
        return 1;
    }
    if (build_arbitrary_haplotype() == 0) return 0;
    compare_RFLP_haplotypes();
    return 1;
}

int PopulRFLP::build_arbitrary_haplotype() {
    int const n = static_cast<int>(haplotypes.count);
    if (n < 1) return 0;
    if (arbitraryHaplotype.data.length() > 0) return 1;

    char const missing = profile.MissingData;
    int const length = length_of(haplotypes[0]);
    try {
        std::string reference(static_cast<std::size_t>(length), missing);
        for (int site = 0; site < length; ++site) {
            int i = 0;
            char c = site_of(haplotypes[0], site, missing);
            while (c == missing && i + 1 < n) c = site_of(haplotypes[++i], site, missing);
            reference[static_cast<std::size_t>(site)] = c;
        }
        arbitraryHaplotype.id = "Arbitrary reference haplotype";
        arbitraryHaplotype.data = reference.c_str();
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopulRFLP::build_arbitrary_haplotype()", Msg::m0_not_enough_memory);
        return 0;
    }
    return 1;
}

int PopulRFLP::compare_RFLP_haplotypes() {
    int const L = arbitraryHaplotype.data.length();
    if (L < 1) return 0;
    numValidSites = L;
    auto const sites = static_cast<std::size_t>(L);
    char const* reference = arbitraryHaplotype.data.c_str();
    char const missing = profile.MissingData;
    char const separator = locusSeparator;
    bool const deletions = deletionWeight > 0;
    try {
        substitutionAtSite.assign(sites, 0);
        indelAtSite.assign(sites, 0);
        missingFreqPerSite.assign(sites, 0.0);
        usableSite.assign(sites, 1);
        polymorphicLocus.assign(sites, 0);
        // A simulated replicate says nothing about the real samples' sites.
        if (!simulatedSample) grow_global_flags(L);
    } catch (std::bad_alloc const&) {
        substitutionAtSite.clear();
        indelAtSite.clear();
        missingFreqPerSite.clear();
        usableSite.clear();
        polymorphicLocus.clear();
        E.error(MEMORY, "PopulRFLP::compare_RFLP_haplotypes()", Msg::m0_not_enough_memory);
        return 0;
    }

    int const n = static_cast<int>(haplotypes.count);
    for (int site = 0; site < L; ++site) {
        auto const k = static_cast<std::size_t>(site);
        char const c = reference[site];
        if (c == missing || (separator != 0 && c == separator)) {
            missingFreqPerSite[k] = 1.0;
            usableSite[k] = 0;
            continue;
        }
        double missingCopies = 0.0;
        for (int i = 0; i < n; ++i) {
            char const x = site_of(haplotypes[i], site, missing);
            if (x == missing) {
                if (haplotypes[i] != nullptr) missingCopies += haplotypes[i]->count;
            } else if (c == '-') {
                if (x != '-' && deletions) indelAtSite[k] = 1;
            } else if (x == '-') {
                if (deletions) indelAtSite[k] = 1;
            } else if (x != c) {
                substitutionAtSite[k] = 1;
            }
        }
        if (SampleSize != 0) {
            missingFreqPerSite[k] = missingCopies / SampleSize;
            if (missingFreqPerSite[k] > allowedMissingLevel) usableSite[k] = 0;
        }
    }

    numIndelSites = numIndels = numSubstitutionSites = numPolymorphicSites = numUsableSites = 0;
    auto& global = PopGenetics::globalSubstPolymSites;
    for (int site = 0; site < L; ++site) {
        auto const k = static_cast<std::size_t>(site);
        polymorphicLocus[k] = 0;
        if (usableSite[k] == 0) continue;
        ++numUsableSites;
        if (indelAtSite[k] != 0) {
            ++numIndelSites;
            ++numIndels;
        }
        if (substitutionAtSite[k] != 0) {
            ++numSubstitutionSites;
            if (!simulatedSample) global[site] = true;
        }
        if (indelAtSite[k] != 0 || substitutionAtSite[k] != 0) {
            polymorphicLocus[k] = 1;
            ++numPolymorphicSites;
        }
        // A deletion in the reference that no haplotype answers with a site
        // state is not a site of this sample.
        if (reference[site] == '-' && indelAtSite[k] == 0) {
            --numUsableSites;
            usableSite[k] = 0;
        }
    }
    return 1;
}

}  // namespace quintle
