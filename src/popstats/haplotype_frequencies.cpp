// Haplotype frequencies of a haplotypic sample, and the checks that look at
// a sample as a list of haplotypes with counts: polymorphic and usable loci,
// pooling of haplotypes at distance 0.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iomanip>
#include <new>
#include <ostream>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/TAlleleDB.h"
#include "data/character_alleles.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "popstats/PopGenetics.h"
#include "popstats/allele_tally.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

namespace {

template <class Row>
TAllele* allele_at(Row const& list, long l) {
    return l >= 0 && l < list.count ? list.data[l] : nullptr;
}

HaploDef* definition_of(PHaploDef const* entry) { return entry != nullptr ? entry->haplotype : nullptr; }

int count_of(PHaploDef const* entry) { return entry != nullptr ? entry->count : 0; }

// Allele of gene copy `copy` (0 or 1) of an individual at locus l.
TAllele* phenotype_allele(TPhenotype const* ph, int copy, long l) {
    if (ph == nullptr) return nullptr;
    TPopHaplotype const* h = ph->pseudo_hapl(copy);
    return h != nullptr ? allele_at(h->alleles, l) : nullptr;
}

// Identity of two list entries for the frequency table: the identifier for
// frequency data, otherwise the allele pointers at every locus of the allele
// base.
class SameHaplotype {
public:
    SameHaplotype(long loci, bool byIdentifier) : loci_(loci), byIdentifier_(byIdentifier) {}

    std::size_t operator()(HaploDef const* h) const {
        if (byIdentifier_) return std::hash<std::string_view>{}(std::string_view(h->id.c_str(), h->id.length()));
        std::uint64_t seed = 0x9e3779b97f4a7c15ULL;
        for (long l = 0; l < loci_; ++l) {
            const auto v = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(allele_at(h->alleles, l)));
            seed ^= v + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        }
        return static_cast<std::size_t>(seed);
    }

    bool operator()(HaploDef const* a, HaploDef const* b) const {
        if (byIdentifier_) return a->id == b->id;
        for (long l = 0; l < loci_; ++l)
            if (allele_at(a->alleles, l) != allele_at(b->alleles, l)) return false;
        return true;
    }

private:
    long loci_;
    bool byIdentifier_;
};

// The frequency table's columns, right-aligned, the last one a label.
void write_table_header(std::ostream& os, char const* label) {
    os.setf(std::ios::right, std::ios::adjustfield);
    os << std::setw(5) << "No." << std::setw(10) << "Freq." << std::setw(10) << "s.d." << label << std::endl;
}

void set_row_flags(std::ostream& os) {
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.setf(std::ios::right, std::ios::adjustfield);
    os.setf(std::ios::showpoint);
}

}  // namespace

// ---------------------------------------------------------------------------
// Polymorphic loci

int PopGenetics::compare_phenotypes() {
    const long L = alleleDB != nullptr ? alleleDB->loci.count : 0;
    numPolymorphicSites = 0;
    try {
        // Sized to the present number of loci: a flag array left by an
        // earlier call on other data must not be read past its end.
        polymorphicLocus.assign(static_cast<std::size_t>(std::max(L, 0L)), 0);
    } catch (std::bad_alloc const&) {
        polymorphicLocus.clear();
        E.error(MEMORY, "PopGenetics::compare_phenotypes", Msg::m0_not_enough_memory);
        return 0;
    }
    if (L < 1) return 1;

    const char missing = profile.MissingData;
    auto is_missing = [missing](TAllele const* a) { return a == nullptr || a->name[0] == missing; };
    const long individuals = phenotypes.size();
    if (individuals == 0) return 1;

    for (long l = 0; l < L; ++l) {
        TAllele const* reference = phenotype_allele(phenotypes[0], 0, l);
        bool seen = !is_missing(reference);
        bool polymorphic = false;
        for (long i = 0; i < individuals && !polymorphic; ++i) {
            for (int copy = 0; copy < 2; ++copy) {
                TAllele const* a = phenotype_allele(phenotypes[i], copy, l);
                if (is_missing(a)) continue;
                if (reference != nullptr && (a == reference || a->name == reference->name)) continue;
                if (!seen) {
                    reference = a;
                    seen = true;
                } else {
                    polymorphic = true;
                    break;
                }
            }
        }
        if (polymorphic) {
            polymorphicLocus[static_cast<std::size_t>(l)] = 1;
            ++numPolymorphicSites;
        }
    }
    return 1;
}

int PopGenetics::compare_haplotypes() {
    if (haplotypes.count == 0) {
        E.error(ERROR, "PopGenetics::compare_haplotypes()", Msg::m108_haplotype_list_empty);
        return 0;
    }
    HaploDef const* first = definition_of(haplotypes.data[0]);
    const long L = first != nullptr ? first->alleles.count : 0;
    const auto n = static_cast<std::size_t>(L);
    std::vector<TAllele const*> reference;
    try {
        // Sized to the present number of loci on every call (the arrays of
        // an earlier call may be of another length).
        usableSite.assign(n, 1);
        polymorphicLocus.assign(n, 0);
        missingFreqPerSite.assign(n, 0.0);
        reference.assign(n, nullptr);
    } catch (std::bad_alloc const&) {
        usableSite = {};
        polymorphicLocus = {};
        missingFreqPerSite = {};
        E.error(MEMORY, "PopGenetics::compare_haplotypes", Msg::m0_not_enough_memory);
        return 0;
    }

    // Missing is the one-character name made of the missing-data character
    // only; a longer name that begins with it is a real allele.
    const char missing = profile.MissingData;
    auto is_missing = [missing](TAllele const* a) {
        return a == nullptr || (a->name.length() == 1 && a->name[0] == missing);
    };

    // Entries that hold one shared allele row are read once, at the first
    // of them, with their counts summed: whole numbers, so the missing-data
    // sums come out the same as entry by entry, and the first allele met at
    // each locus is the same.
    struct Rows {
        HaploDef const* h;
        double count;
    };
    std::vector<Rows> rows;
    {
        std::unordered_map<TAllele* const*, std::size_t> byRow;
        for (long e = 0; e < haplotypes.count; ++e) {
            HaploDef const* h = definition_of(haplotypes.data[e]);
            if (h == nullptr) continue;
            const int c = count_of(haplotypes.data[e]);
            auto const [it, added] = byRow.try_emplace(h->alleles.data, rows.size());
            if (!added && rows[it->second].h->alleles.count == h->alleles.count) {
                rows[it->second].count += c;
                continue;
            }
            rows.push_back({h, static_cast<double>(c)});
        }
    }

    // With rows over shared character alleles, a site where every text of
    // the list holds one character is read in the first row only: the
    // later rows hold the same allele there, whose missing copies (whole
    // numbers) are added at once.
    CharacterAlleles const* characters = alleleDB != nullptr ? alleleDB->characters() : nullptr;
    std::vector<long> varying;
    double later = 0.0;
    if (characters != nullptr) {
        for (long l = 0; l < L; ++l)
            if (!characters->uniform(l)) varying.push_back(l);
        for (std::size_t r = 1; r < rows.size(); ++r) later += rows[r].count;
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        HaploDef const* h = rows[r].h;
        const double c = rows[r].count;
        auto visit = [&](long l) {
            TAllele const* a = allele_at(h->alleles, l);
            const auto ul = static_cast<std::size_t>(l);
            // The locus's first present allele again, the usual case: it is
            // not missing and changes nothing (its name is not read).
            if (a != nullptr && a == reference[ul]) return;
            if (is_missing(a)) {
                missingFreqPerSite[ul] += c;
                return;
            }
            if (polymorphicLocus[ul]) return;
            TAllele const* ref = reference[ul];
            if (ref == nullptr)
                reference[ul] = a;
            else if (a != ref && !(a->name == ref->name))
                polymorphicLocus[ul] = 1;
        };
        if (r == 0 || characters == nullptr) {
            for (long l = 0; l < L; ++l) visit(l);
        } else {
            for (long const l : varying) visit(l);
        }
    }
    if (characters != nullptr && later != 0.0) {
        for (long l = 0; l < L; ++l)
            if (characters->uniform(l) && is_missing(allele_at(rows[0].h->alleles, l)))
                missingFreqPerSite[static_cast<std::size_t>(l)] += later;
    }

    numUsableSites = 0;
    numPolymorphicSites = 0;
    if (L < 1) return 1;
    for (std::size_t l = 0; l < n; ++l) {
        if (SampleSize != 0.0) missingFreqPerSite[l] /= SampleSize;
        if (allowedMissingLevel >= missingFreqPerSite[l]) {
            usableSite[l] = 1;
            ++numUsableSites;
            if (polymorphicLocus[l]) ++numPolymorphicSites;
        } else {
            usableSite[l] = 0;
        }
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Pooling at distance 0

int PopGenetics::check_hapl_freqs(RectMat const& d, AHaplFreqList& classes) {
    const long n = haplotypes.count;
    if (std::min(d.nRows, d.nCols) < n) return 0;
    long total = 0;
    try {
        // A matrix held by classes of alike rows gives, for each class, the
        // first row at distance 0 from its rows (below the diagonal): the
        // first row of the first class at 0 from it.
        std::vector<long> zeroAt;
        if (d.classed()) {
            const int G = d.num_classes();
            std::vector<long> first(static_cast<std::size_t>(G), n);
            for (long i = n - 1; i >= 0; --i) first[static_cast<std::size_t>(d.row_class(static_cast<int>(i)))] = i;
            zeroAt.assign(static_cast<std::size_t>(G), n);
            for (int a = 0; a < G; ++a)
                for (int b = 0; b < G; ++b)
                    if (d.below(a, b) == 0.0)
                        zeroAt[static_cast<std::size_t>(a)] =
                            std::min(zeroAt[static_cast<std::size_t>(a)], first[static_cast<std::size_t>(b)]);
        }
        std::vector<double> pooled;
        std::vector<std::size_t> classOf(static_cast<std::size_t>(n));
        pooled.reserve(static_cast<std::size_t>(n));
        for (long i = 0; i < n; ++i) {
            const double count = count_of(haplotypes.data[i]);
            long j = 0;
            if (d.classed())
                j = std::min(i, zeroAt[static_cast<std::size_t>(d.row_class(static_cast<int>(i)))]);
            else
                while (j < i && d(static_cast<int>(i), static_cast<int>(j)) != 0.0) ++j;
            if (j < i) {
                classOf[static_cast<std::size_t>(i)] = classOf[static_cast<std::size_t>(j)];
                pooled[classOf[static_cast<std::size_t>(i)]] += count;
            } else {
                classOf[static_cast<std::size_t>(i)] = pooled.size();
                pooled.push_back(count);
            }
        }
        for (double p : pooled) {
            auto* record = new AHaplFreq;
            record->relFreq = p;
            record->relFreqSd = p * p;
            classes.Add(record);
            total += truncate_count(p);
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopGenetics::check_hapl_freqs()", Msg::m0_not_enough_memory);
        return 0;
    }
    if (static_cast<double>(total) == SampleSize) return 1;
    E.error(ERROR, "PopGenetics::check_hapl_freqs", Msg::m169_haplotype_sum_mismatch);
    return 0;
}

int PopGenetics::check_hapl_redond(RectMat const& d) {
    const long n = haplotypes.count;
    if (std::min(d.nRows, d.nCols) != n) return 0;
    try {
        std::vector<char> merged(static_cast<std::size_t>(n), 0);
        std::vector<PHaploDef> kept;
        kept.reserve(static_cast<std::size_t>(n));
        for (long i = 0; i < n; ++i) {
            if (merged[static_cast<std::size_t>(i)]) continue;
            PHaploDef entry = haplotypes.data[i] != nullptr ? *haplotypes.data[i] : PHaploDef{};
            for (long j = i + 1; j < n; ++j) {
                if (merged[static_cast<std::size_t>(j)]) continue;
                if (d(static_cast<int>(i), static_cast<int>(j)) == 0.0) {
                    merged[static_cast<std::size_t>(j)] = 1;
                    entry.count += count_of(haplotypes.data[j]);
                }
            }
            kept.push_back(entry);
        }
        haplotypes.Flush();
        NbHaplotypeEntries = static_cast<int>(kept.size());
        for (PHaploDef const& entry : kept) haplotypes.Add(new PHaploDef(entry));
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopGenetics::check_hapl_redond()", Msg::m0_not_enough_memory);
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Frequency table

void PopGenetics::calc_hapl_dat_hapl_freq(settings& s) {
    static char const* const function = "PopGenetics::calc_hapl_dat_hapl_freq()";
    const bool frequencyData = dataType == FREQUENCY;
    const bool dna = dataType == DNA;
    const long L = s.project_allele_db != nullptr ? s.project_allele_db->loci.count : 0;
    // Without a result file the tables go nowhere, but the batch line and the
    // reports still happen.
    std::ostream discard(nullptr);
    std::ostream& os = s.ResultFile != nullptr ? static_cast<std::ostream&>(*s.ResultFile) : discard;
    std::ostream* batch = (_ALLELE_FREQS_ && ofs_allele_freqs != nullptr) ? ofs_allele_freqs : nullptr;

    // Identical haplotypes pooled in order of first appearance; the index
    // keeps long samples linear.
    std::vector<HaploDef const*> distinct;
    std::vector<double> counts;
    {
        const SameHaplotype same(L, frequencyData);
        std::unordered_map<HaploDef const*, std::size_t, SameHaplotype, SameHaplotype> index(
            static_cast<std::size_t>(haplotypes.count) + 1, same, same);
        for (long e = 0; e < haplotypes.count; ++e) {
            HaploDef const* h = definition_of(haplotypes.data[e]);
            if (h == nullptr) continue;
            auto [slot, added] = index.try_emplace(h, distinct.size());
            if (added) {
                distinct.push_back(h);
                counts.push_back(0.0);
            }
            counts[slot->second] += count_of(haplotypes.data[e]);
        }
    }
    double total = 0.0;
    for (double c : counts) total += c;
    if (distinct.empty() || !(total > 0.0)) {
        E.error(ERROR, function, Msg::m170_haplotype_sum_zero);
        return;
    }

    const double divisor = SampleSize - 1.0 > 1.0 ? std::sqrt(SampleSize - 1.0) : 1.0;
    auto sd_of = [divisor](double p) { return std::sqrt(p * (1.0 - p)) / divisor; };

    os << "\nHaplotype database content:\n" << std::endl;
    write_table_header(os, frequencyData ? "    Ext ID:" : "    Haplotype:");
    set_row_flags(os);
    for (std::size_t k = 0; k < distinct.size(); ++k) {
        const double p = counts[k] / total;
        os << std::setw(5) << k + 1 << std::setw(10) << p << std::setw(10) << sd_of(p) << "    "
           << (frequencyData ? distinct[k]->id : distinct[k]->data) << std::endl;
    }

    if (s.ComputeAllAllelesEM == 0) return;

    os << "\nAllele Data base content:\n" << std::endl;
    if (batch != nullptr) *batch << "\tSample \"" << name << "\"";
    if (dna) os << "Site#\tStates\tState frequencies\n" << "=====\t======\t=================\n";

    AlleleTally tally;
    for (long l = 0; l < L; ++l) {
        tally.clear();
        for (long e = 0; e < haplotypes.count; ++e) {
            HaploDef const* h = definition_of(haplotypes.data[e]);
            TAllele* a = h != nullptr ? allele_at(h->alleles, l) : nullptr;
            if (a != nullptr) tally.add(a, count_of(haplotypes.data[e]));
        }
        double locusTotal = 0.0;
        for (double c : tally.counts()) locusTotal += c;
        if (!(locusTotal > 0.0)) {
            E.error(ERROR, function, Msg::m170_haplotype_sum_zero);
            return;
        }
        if (frequencyData) continue;

        if (batch != nullptr) *batch << "\tLocus_" << l + 1;
        if (dna) {
            os.setf(std::ios::right, std::ios::adjustfield);
            os << std::setw(5) << l + 1 << "\t" << tally.size() << "\t";
            os.setf(std::ios::fixed, std::ios::floatfield);
            os.setf(std::ios::showpoint);
            os.precision(4);
            for (std::size_t i = 0; i < tally.size(); ++i) {
                const double p = tally.count(i) / locusTotal;
                os << tally.allele(i)->name << " : " << p << "\t";
                if (batch != nullptr) *batch << "\t" << p;
            }
            os << "\n";
        } else {
            os << "\nAlleles for the locus " << l << ":\n" << std::endl;
            write_table_header(os, "  Allele:");
            set_row_flags(os);
            for (std::size_t i = 0; i < tally.size(); ++i) {
                const double p = tally.count(i) / locusTotal;
                os << std::setw(5) << i + 1 << std::setw(10) << p << std::setw(10) << sd_of(p) << "   "
                   << tally.allele(i)->name << std::endl;
                if (batch != nullptr) *batch << "\t" << p;
            }
        }
    }
    if (batch != nullptr) *batch << "\n";
}

}  // namespace quintle
