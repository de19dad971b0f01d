// Checks and normalisation of the samples read from a project file, before
// the analyses see them.

#include <algorithm>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/TAllele.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "project/Samples.h"
#include "project/sample_checks.h"

namespace quintle {

namespace {

bool is_missing(TAllele const* allele, char missing) {
    return allele != nullptr && allele->name.length() == 1 && allele->name[0] == missing;
}

// A definition whose allele vector is not built yet (one allele per
// character of its text, built when an analysis needs it) counts its text.
bool vector_due(HaploDef const* h) { return h->alleles.data == nullptr && h->data.length() > 0; }

long allele_count(HaploDef const* h) {
    if (h == nullptr) return 0;
    return vector_due(h) ? h->data.length() : h->alleles.count;
}

long allele_count(TPopHaplotype const* h) { return h != nullptr ? h->alleles.count : 0; }

HaploDef* haplotype_of(PHaploDef const* entry) { return entry != nullptr ? entry->haplotype : nullptr; }

// At least one allele, and every one of them missing data.
bool all_missing(HaploDef const* h, char missing) {
    if (allele_count(h) == 0) return false;
    if (vector_due(h)) {
        for (int c = 0; c < h->data.length(); ++c)
            if (h->data[c] != missing) return false;
        return true;
    }
    for (long l = 0; l < h->alleles.count; ++l)
        if (!is_missing(h->alleles.data[l], missing)) return false;
    return true;
}

// At least one locus, and both alleles missing data at every locus.
bool all_missing(TPhenotype const* p, char missing) {
    if (p == nullptr) return false;
    TPopHaplotype const* h1 = p->pseudo1.get();
    TPopHaplotype const* h2 = p->pseudo2.get();
    long const loci = allele_count(h1);
    if (loci == 0 || allele_count(h2) < loci) return false;
    for (long l = 0; l < loci; ++l)
        if (!is_missing(h1->alleles.data[l], missing) || !is_missing(h2->alleles.data[l], missing)) return false;
    return true;
}

// A sample whose counts sum to 0 holds no gene copy: it is a sample without
// data, said with its name. False then.
bool holds_copies(Population const& p, double copies, bool genotypic, char const* function) {
    if (copies > 0.0) return true;
    *_AOS_ << "\tSample \"" << p.name << "\" holds no gene copy: the counts of its "
           << (genotypic ? "individuals" : "haplotypes") << " sum to 0." << std::endl;
    E.error(ERROR, function, Msg::m68_population_without_data);
    return false;
}

void shrink_size(Population& p, double by) {
    p.SampleSize -= by;
    // A sample without data left has no inverse size.
    p.invSampleSize = p.SampleSize > 0.0 ? 1.0 / p.SampleSize : 0.0;
}

// Loci of the sample's first haplotype (haploid) or first individual.
long first_loci(Population const& p, bool genotypic) {
    if (genotypic) {
        TPhenotype const* first = p.phenotypes[0];
        return first != nullptr ? allele_count(first->pseudo1.get()) : 0;
    }
    return p.haplotypes.count > 0 ? allele_count(haplotype_of(p.haplotypes.data[0])) : 0;
}

// Applies `edit` to every data text of the samples: the definitions' data
// in haploid samples, both allele strings of each individual otherwise. A
// sample without data stops the pass with error 68 under `function` and
// false.
template <class Edit>
bool edit_data_texts(MY_TIArrayAsVector<Population> const& samples, bool genotypic, char const* function,
                     Edit edit) {
    for (long i = 0; i < samples.count; ++i) {
        Population* p = samples.data[i];
        if (p == nullptr) continue;
        if (!genotypic) {
            if (p->haplotypes.count == 0) {
                E.error(ERROR, function, Msg::m68_population_without_data);
                return false;
            }
            for (long k = 0; k < p->haplotypes.count; ++k)
                if (HaploDef* h = haplotype_of(p->haplotypes.data[k])) edit(h->data);
        } else {
            if (p->phenotypes.size() == 0) {
                E.error(ERROR, function, Msg::m68_population_without_data);
                return false;
            }
            for (long k = 0; k < p->phenotypes.size(); ++k) {
                TPhenotype* ph = p->phenotypes[k];
                if (ph == nullptr) continue;
                edit(ph->alleleString1);
                edit(ph->alleleString2);
            }
        }
    }
    return true;
}

}  // namespace

bool holds_no_usable_site(Population const& p, double allowedMissing) {
    char const missing = p.profile.MissingData;
    int sites = 0;
    for (long k = 0; k < p.haplotypes.count; ++k)
        if (HaploDef const* h = haplotype_of(p.haplotypes.data[k])) sites = std::max(sites, h->data.length());
    for (int site = 0; site < sites; ++site) {
        bool state = false;
        double missingCopies = 0.0;
        for (long k = 0; k < p.haplotypes.count; ++k) {
            PHaploDef const* entry = p.haplotypes.data[k];
            HaploDef const* h = haplotype_of(entry);
            if (h == nullptr) continue;
            char const c = site < h->data.length() ? h->data.c_str()[site] : missing;
            if (c == missing)
                missingCopies += entry->count;
            else if (c != '-')
                state = true;
        }
        bool const tooMissing = p.SampleSize != 0.0 && missingCopies / p.SampleSize > allowedMissing;
        if (state && !tooMissing) return false;
    }
    return sites > 0;
}

void Samples::convert_dna_upper() {
    if (dataType != DNA || Populations.count == 0) return;
    edit_data_texts(Populations, GenotypicData != 0, "Samples::convert_dna_upper()",
                    [](my_string& text) { text.to_upper(); });
}

void Samples::rm_separators() {
    // The profile reader's separator is cleared with the set's.
    auto const cleared = [this] {
        LocusSeparator = 0;
        set_data_context(dataType, 0);
    };
    if (Populations.count == 0) {
        cleared();
        return;
    }
    // A sample without data leaves the separator in place.
    if ((dataType == DNA || dataType == RFLP) && locusSeparator != 0 &&
        !edit_data_texts(Populations, GenotypicData != 0, "Samples::rm_separators()",
                         [](my_string& text) { text.remove_blanks(); }))
        return;
    cleared();
}

int Samples::verify_data() {
    static char const* const kFn = "Samples::verify_data()";
    bool const genotypic = GenotypicData != 0;
    char const missing = MissingData;
    long const n = Populations.count;

    for (long i = 0; i < n; ++i) {
        Population* p = Populations.data[i];
        if (p == nullptr) {
            E.error(ERROR, kFn, Msg::m68_population_without_data);
            return 0;
        }
        if (!genotypic) {
            PHaploDefList& list = p->haplotypes;
            if (list.count == 0) {
                E.error(ERROR, kFn, Msg::m68_population_without_data);
                return 0;
            }
            long const loci = allele_count(haplotype_of(list.data[0]));
            for (long k = 1; k < list.count; ++k) {
                if (allele_count(haplotype_of(list.data[k])) != loci) {
                    E.error(ERROR, kFn, Msg::m70_haplotype_locus_count_differs);
                    return 0;
                }
            }
            for (long k = 0; k < list.count;) {
                PHaploDef* entry = list.data[k];
                HaploDef* h = haplotype_of(entry);
                if (!all_missing(h, missing)) {
                    ++k;
                    continue;
                }
                int const count = entry->count;
                h->count = 0;
                list.Detach(static_cast<int>(k));  // deletes the entry; the next one moves to k
                shrink_size(*p, count);
                --p->nbEntries;
            }
            if (list.count == 0) {
                // Nothing but missing data: the cross-sample check below would
                // have no haplotype to look at.
                E.error(ERROR, kFn, Msg::m68_population_without_data);
                return 0;
            }
            double copies = 0.0;
            for (long k = 0; k < list.count; ++k)
                if (list.data[k] != nullptr) copies += list.data[k]->count;
            if (!holds_copies(*p, copies, genotypic, kFn)) return 0;
        } else {
            TPhenDB& db = p->phenotypes;
            if (db.size() == 0) {
                E.error(ERROR, kFn, Msg::m68_population_without_data);
                return 0;
            }
            long const loci = allele_count(db[0] != nullptr ? db[0]->pseudo1.get() : nullptr);
            for (long k = 1; k < db.size(); ++k) {
                if (allele_count(db[k] != nullptr ? db[k]->pseudo1.get() : nullptr) != loci) {
                    E.error(ERROR, kFn, Msg::m69_phenotype_locus_count_differs);
                    return 0;
                }
            }
            for (long k = 0; k < db.size();) {
                TPhenotype* ph = db[k];
                if (!all_missing(ph, missing)) {
                    ++k;
                    continue;
                }
                int const c = truncate_count(ph->count);
                ph->delete_pheno();
                db.phenotypes.Detach(static_cast<int>(k));
                shrink_size(*p, 2.0 * c);
                // The reader counted two allele lines per individual.
                p->nbEntries = p->nbEntries >= 2 ? p->nbEntries - 2 : 0;
            }
            double const copies = db.convert_freq_to_real();
            if (db.size() == 0) {
                E.error(ERROR, kFn, Msg::m68_population_without_data);
                return 0;
            }
            // Individuals of count 0 stay, as long as some individual counts.
            if (!holds_copies(*p, copies, genotypic, kFn)) return 0;
        }
    }

    // Every sample's first haplotype against the first sample's: equal
    // counts pairwise is the same as all equal to one.
    if (n > 1) {
        long const loci = first_loci(*Populations.data[0], genotypic);
        for (long j = 1; j < n; ++j) {
            if (first_loci(*Populations.data[j], genotypic) != loci) {
                E.error(ERROR, kFn, Msg::m71_sample_locus_count_differs);
                return 0;
            }
        }
    }
    return 1;
}

}  // namespace quintle
