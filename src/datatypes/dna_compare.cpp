// Comparison of a DNA sample's sequences: nucleotide pair classes, the
// arbitrary reference haplotype, the data checks and the site census.

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "datatypes/PopulDNA.h"
#include "datatypes/dna_distances.h"
#include "datatypes/haplotype_counts.h"
#include "datatypes/haplotype_text.h"
#include "run/settings.h"

namespace quintle {

namespace {

// First position from s on (below `length`, the part of the text that
// reaches into the reference) where text and reference differ, or `length`
// when there is none; eight characters are compared at a time.
std::size_t first_difference(char const* text, char const* reference, std::size_t s, std::size_t length) {
    while (s + 8 <= length && std::memcmp(text + s, reference + s, 8) == 0) s += 8;
    while (s < length && text[s] == reference[s]) ++s;
    return s;
}

// Character of a text at a site; a text too short to reach the site reads
// as missing data there.
char site_of(PHaploDef const* entry, int s, char missing) {
    return s < length_of(entry) ? text_of(entry)[s] : missing;
}

}  // namespace

int PopulDNA::compare_nucleotides(char const& a, char const& b) const { return dna_pair_class(a, b); }

int PopulDNA::build_arbitrary_haplotype() {
    int const n = static_cast<int>(haplotypes.count);
    if (n < 1) return 0;
    if (arbitraryHaplotype.data.length() > 0) return 1;

    char const missing = profile.MissingData;
    char const separator = locusSeparator;
    auto is_ambiguity = [this](char c) {
        for (long k = 0; k < ambiguityCodes.count; ++k) {
            if (ambiguityCodes[k] == c) return true;
        }
        return false;
    };

    try {
        // Shorter sequences are read as missing data at their end, so the
        // reference spans the longest one and no site is dropped.
        int length = 0;
        for (int i = 0; i < n; ++i) length = std::max(length, length_of(haplotypes[i]));
        std::string reference(static_cast<std::size_t>(length), missing);
        for (int s = 0; s < length; ++s) reference[static_cast<std::size_t>(s)] = site_of(haplotypes[0], s, missing);

        if (n >= 2) {
            for (int s = 0; s < length; ++s) {
                char& r = reference[static_cast<std::size_t>(s)];
                if (separator != 0 && r == separator) continue;
                bool informative = false;
                for (int i = 0; i < n && !informative; ++i) {
                    char const x = site_of(haplotypes[i], s, missing);
                    informative = x != missing && !is_ambiguity(x);
                }
                if (informative) {
                    for (int i = 0; i < n; ++i) {
                        char const x = site_of(haplotypes[i], s, missing);
                        if (x != missing) {
                            r = x;
                            break;
                        }
                    }
                } else {
                    r = site_of(haplotypes[n - 1], s, missing);
                }
            }
        }
        arbitraryHaplotype.id = "Arbitrary reference haplotype";
        arbitraryHaplotype.data = reference.c_str();
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopulDNA::build_arbitrary_haplotype()", Msg::m0_not_enough_memory);
        return 0;
    }
    return 1;
}

int PopulDNA::check_data() {
    if (haplotypes.count < 1) return 1;
    bool const warned = reconcile_haplotype_counts(*this, WARNING, "PopulDNA::check_data()") == 0;

    int const n = static_cast<int>(haplotypes.count);
    int const length = length_of(haplotypes[0]);
    for (int i = 1; i < n; ++i) {
        if (length_of(haplotypes[i]) != length) {
            E.error(WARNING, "PopulDNA::check_data()", Msg::m161_dna_length_differs);
            return 0;
        }
    }
    return warned ? 0 : 1;
}

int PopulDNA::evaluate_polymorphism(settings const& s) {
    allowedMissingLevel = s.AllowedLevelOfMissingData;
    if (profile.GenotypicData != 0 && profile.GameticPhase == 0 && fromPhenotypes == 0) {
        compare_phenotypes();
        return 1;
    }
    if (build_arbitrary_haplotype() == 0) return 0;
    compare_DNA_sequences();
    return 1;
}

// The census of one haplotype list against the reference, site by site:
// the flags, the missing gene copies and the first transversion character
// of each site.
struct PopulDNA::SiteCensus {
    std::vector<double> missingCopies;
    std::vector<char> firstTransversion;  // 0: none yet
    std::vector<char> skipped;            // the reference is missing data or a separator there
};

int PopulDNA::compare_DNA_sequences() {
    int const L = arbitraryHaplotype.data.length();
    if (L < 1) return 0;
    if (!allocate_site_census(L)) return 0;
    SiteCensus census;
    census.missingCopies.assign(static_cast<std::size_t>(L), 0.0);
    census.firstTransversion.assign(static_cast<std::size_t>(L), 0);
    census.skipped.assign(static_cast<std::size_t>(L), 0);
    mark_reference_sites(census);
    for (int i = 0; i < static_cast<int>(haplotypes.count); ++i) census_of_haplotype(census, haplotypes[i]);
    for (int s = 0; s < L; ++s) {
        if (census.skipped[static_cast<std::size_t>(s)] != 0) continue;
        missingFreqPerSite[s] = SampleSize != 0 ? census.missingCopies[static_cast<std::size_t>(s)] / SampleSize : 0.0;
        if (missingFreqPerSite[s] > allowedMissingLevel) usableSite[s] = 0;
    }
    count_polymorphic_sites();
    return 1;
}

bool PopulDNA::allocate_site_census(int L) {
    std::size_t const sites = static_cast<std::size_t>(L);
    try {
        transitionAtSite.assign(sites, 0);
        transversionAtSite.assign(sites, 0);
        indelAtSite.assign(sites, 0);
        ambiguousAtSite.assign(sites, 0);
        missingFreqPerSite.assign(sites, 0.0);
        usableSite.assign(sites, 1);
        polymorphicLocus.assign(sites, 0);

        // The project-wide flags keep what earlier samples set; simulated
        // samples must not add their sites to a real sample's private S.
        auto& global = PopGenetics::globalSubstPolymSites;
        if (!simulatedSample && global.count < L) {
            if (global.capacity < L) global.Resize(L);
            for (long k = global.count; k < L; ++k) global.data[k] = false;
            global.count = L;
        }
    } catch (std::bad_alloc const&) {
        transitionAtSite.clear();
        transversionAtSite.clear();
        indelAtSite.clear();
        ambiguousAtSite.clear();
        missingFreqPerSite.clear();
        usableSite.clear();
        polymorphicLocus.clear();
        E.error(MEMORY, "PopulDNA::compare_DNA_sequences()", Msg::m0_not_enough_memory);
        return false;
    }
    return true;
}

void PopulDNA::mark_reference_sites(SiteCensus& census) {
    char const* reference = arbitraryHaplotype.data.c_str();
    char const missing = profile.MissingData;
    char const separator = locusSeparator;
    int const L = arbitraryHaplotype.data.length();
    numValidSites = L;
    for (int s = 0; s < L; ++s) {
        char const r = reference[s];
        bool const isSeparator = separator != 0 && r == separator;
        if (r != missing && !isSeparator) continue;
        usableSite[s] = 0;
        missingFreqPerSite[s] = 1.0;
        if (isSeparator) --numValidSites;
        census.skipped[static_cast<std::size_t>(s)] = 1;
    }
}

void PopulDNA::census_of_haplotype(SiteCensus& census, PHaploDef const* h) {
    char const* reference = arbitraryHaplotype.data.c_str();
    std::size_t const L = static_cast<std::size_t>(arbitraryHaplotype.data.length());
    char const missing = profile.MissingData;
    std::size_t const length = std::min(L, static_cast<std::size_t>(length_of(h)));
    char const* text = text_of(h);
    std::array<bool, 256> ambiguity{};
    for (long k = 0; k < ambiguityCodes.count; ++k) ambiguity[static_cast<unsigned char>(ambiguityCodes[k])] = true;

    std::size_t s = 0;
    while (s < L) {
        // Stretches equal to the reference change nothing; where the
        // reference is missing data the site is skipped anyway.
        s = first_difference(text, reference, s, length);
        if (s >= L) break;
        char const x = s < length ? text[s] : missing;
        char const r = reference[s];
        std::size_t const k = s++;
        if (census.skipped[k] != 0 || x == r) continue;
        if (x == missing) {
            if (h != nullptr) census.missingCopies[k] += h->count;
            continue;
        }
        switch (compare_nucleotides(r, x)) {
            case 1: transitionAtSite[k] = 1; break;
            case 2:
                if (transversionAtSite[k] == 0) transversionAtSite[k] = 1;
                if (!ambiguity[static_cast<unsigned char>(x)]) {
                    // Two different transversion characters mean a
                    // transition between them as well.
                    char& first = census.firstTransversion[k];
                    if (first == 0)
                        first = x;
                    else if (x != first)
                        transversionAtSite[k] = 2;
                }
                break;
            case 3: indelAtSite[k] = 1; break;
            case 4: ambiguousAtSite[k] = 1; break;
            default: break;
        }
    }
}

void PopulDNA::count_polymorphic_sites() {
    char const* reference = arbitraryHaplotype.data.c_str();
    int const L = arbitraryHaplotype.data.length();
    numPolymorphicSites = 0;
    numUsableSites = 0;
    numTransitions = numTransversions = numSubstitutions = numIndels = 0;
    numTransitionSites = numTransversionSites = numSubstitutionSites = numIndelSites = 0;

    double const wD = deletionWeight;
    double const wTs = transitionWeight;
    double const wTv = transversionWeight;
    auto& global = PopGenetics::globalSubstPolymSites;
    bool const markGlobal = !simulatedSample;
    for (int s = 0; s < L; ++s) {
        if (usableSite[s] != 1) continue;
        int p = 0;
        if (wD > 0 && indelAtSite[s] != 0) {
            ++numIndelSites;
            ++numIndels;
            p = 1;
        }
        if (wTs > 0 && transitionAtSite[s] != 0) {
            ++numTransitionSites;
            ++numTransitions;
            ++numSubstitutionSites;
            ++numSubstitutions;
            p = 1;
            if (markGlobal) global[s] = true;
        }
        if (wTv > 0 && transversionAtSite[s] != 0) {
            ++numTransversionSites;
            ++numTransversions;
            ++numSubstitutions;
            p = 1;
            if (transversionAtSite[s] == 2 && wTs > 0) {
                ++numTransitions;
                ++numSubstitutions;
            }
            if (transitionAtSite[s] == 0 || wTs <= 0) {
                ++numSubstitutionSites;
                if (markGlobal) global[s] = true;
            }
        }
        if ((wTs > 0 || wTv > 0) && ambiguousAtSite[s] != 0 && transitionAtSite[s] == 0 &&
            transversionAtSite[s] == 0) {
            ++numSubstitutionSites;
            ++numSubstitutions;
            p = 1;
            if (markGlobal) global[s] = true;
        }
        polymorphicLocus[s] = p;
        if (p == 1) ++numPolymorphicSites;
        if (reference[s] == '-' && indelAtSite[s] == 0) {
            usableSite[s] = 0;
            --numValidSites;
        } else {
            ++numUsableSites;
        }
    }

    // Sites left out of the texts: one base everywhere and nothing missing,
    // so valid, usable at any allowed level of missing data that is not
    // negative, and never polymorphic.
    if (omittedIdenticalSites > 0) {
        numValidSites += omittedIdenticalSites;
        if (!(0.0 > allowedMissingLevel)) numUsableSites += omittedIdenticalSites;
    }
}

}  // namespace quintle
