// Per-locus allele tables of a sample: gene copies, alleles, heterozygosity
// and, for microsatellites, allele sizes, with their means over loci; the
// allele frequencies the summary writer needs; mean allele sizes.

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <ostream>
#include <unordered_map>
#include <utility>
#include <vector>

#include "data/HaploDef.h"
#include "data/TAlleleDB.h"
#include "data/character_alleles.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "popstats/PopGenetics.h"
#include "popstats/allele_size_stats.h"
#include "popstats/allele_tally.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char kWideRule[] = "---------------------------------------------------------------------\n";
constexpr char kNarrowRule[] = "-------------------------------------------------\n";

template <class Row>
TAllele* allele_at(Row const& list, long l) {
    return l >= 0 && l < list.count ? list.data[l] : nullptr;
}

TAllele* phenotype_allele(TPhenotype const* ph, int copy, long l) {
    if (ph == nullptr) return nullptr;
    TPopHaplotype const* h = ph->pseudo_hapl(copy);
    return h != nullptr ? allele_at(h->alleles, l) : nullptr;
}

TAllele* entry_allele(PHaploDef const* entry, long l) {
    return entry != nullptr && entry->haplotype != nullptr ? allele_at(entry->haplotype->alleles, l) : nullptr;
}

double entry_count(PHaploDef const* entry) { return entry != nullptr ? entry->count : 0.0; }

// The allele lists of a sample's entries, with the entries that hold the
// same list (one shared row) pooled into one row. Counts are whole numbers,
// so a row's total adds up to exactly what its entries add one by one, and a
// row stands where its first entry stood, so alleles keep the order of their
// first copies.
class EntryRows {
public:
    explicit EntryRows(MY_TIArrayAsVector<PHaploDef> const& entries) {
        std::unordered_map<TAllele* const*, std::vector<std::size_t>> byRow;
        for (long e = 0; e < entries.count; ++e) {
            PHaploDef const* entry = entries.data[e];
            HaploDef const* h = entry != nullptr ? entry->haplotype : nullptr;
            // Without an allele list an entry adds nothing anywhere.
            if (h == nullptr || h->alleles.count == 0) continue;
            Row const row{h->alleles.data, h->alleles.count, static_cast<double>(entry->count)};
            std::vector<std::size_t>& same = byRow[row.alleles];
            bool pooled = false;
            for (std::size_t r : same) {
                Row& kept = rows_[r];
                if (kept.length == row.length) {
                    kept.count += row.count;
                    pooled = true;
                    break;
                }
            }
            if (!pooled) {
                same.push_back(rows_.size());
                rows_.push_back(row);
            }
        }
    }

    std::size_t size() const { return rows_.size(); }
    TAllele* const* alleles(std::size_t r) const { return rows_[r].alleles; }
    long length(std::size_t r) const { return rows_[r].length; }
    double count(std::size_t r) const { return rows_[r].count; }

    // True when the first row holds an allele at each of the first L loci,
    // so that walking the rows first and the loci second meets every locus
    // first in locus order.
    bool first_row_complete(int L) const {
        if (rows_.empty() || rows_[0].length < L) return false;
        for (int l = 0; l < L; ++l)
            if (rows_[0].alleles[l] == nullptr) return false;
        return true;
    }

private:
    struct Row {
        TAllele* const* alleles;
        long length;
        double count;
    };
    std::vector<Row> rows_;
};

// A usable gene copy: not the missing-data character and, for DNA, not an
// ambiguity code.
class Validity {
public:
    Validity(char missing, bool dna) : missing_(missing), dna_(dna) {}
    bool operator()(TAllele const* a) const {
        return a != nullptr && counted_allele_char(a->name[0], missing_, dna_);
    }

private:
    char missing_;
    bool dna_;
};

// numLoci, taken from the first haplotype when still unknown.
int resolve_num_loci(PopGenetics& p) {
    if (p.numLoci == 0 && p.haplotypes.count > 0) {
        PHaploDef const* first = p.haplotypes.data[0];
        if (first != nullptr && first->haplotype != nullptr)
            p.numLoci = static_cast<int>(first->haplotype->alleles.count);
    }
    return p.numLoci;
}

void prepare_global_db(int L) {
    TAlleleDB& db = PopGenetics::globalAllelicDB;
    // Flat alleles get their loci when they are made records.
    if (db.loci.count == 0 && db.flat_sites().sites() == 0) db.loci.Reallocate(L);
}

// The global database's weight of each allele met at the current locus:
// found by name at its first copy, then by identity, so that a long sample
// does not look every copy up by name. An allele of a locus that the global
// database does not hold at the same index is looked up every time, as an
// insertion there may append another locus. The weights of one-character
// alleles are flat until a reader needs records (TAlleleDB::enter_weight);
// when they move, the remembered addresses are forgotten.
class GlobalAlleles {
public:
    void clear() { seen_.clear(); }

    // Returns the global allele's weight when it is remembered for the next
    // copies, else null.
    double* add(int l, TAllele const* a, double weight) {
        if (a == nullptr) return nullptr;
        TAlleleDB& db = PopGenetics::globalAllelicDB;
        if (epoch_ != db.flat_epoch()) {
            seen_.clear();
            epoch_ = db.flat_epoch();
        }
        for (auto const& [from, to] : seen_) {
            if (from == a) {
                *to += weight;
                return to;
            }
        }
        double* to = db.enter_weight(l, a->name, weight);
        if (epoch_ != db.flat_epoch()) {
            // This entry made records of the flat weights remembered so far.
            seen_.clear();
            epoch_ = db.flat_epoch();
        }
        if (to == nullptr || seen_.size() >= kKept) return nullptr;
        seen_.emplace_back(a, to);
        return to;
    }

private:
    static constexpr std::size_t kKept = 64;
    std::vector<std::pair<TAllele const*, double*>> seen_;
    unsigned epoch_ = PopGenetics::globalAllelicDB.flat_epoch();
};

// One allele copy at locus l, seen c times. A counted copy goes into the
// sample's tally, its number of gene copies n and the global database; any
// other copy only makes its allele known to the global database.
void tally_copy(int l, TAllele* a, double c, bool counted, AlleleTally& tally, GlobalAlleles& global, double& n) {
    if (counted) {
        global.add(l, a, c);
        n += c;
        tally.add(a, c);
    } else {
        global.add(l, a, 0.0);
    }
}

// The copies of one locus: the sample's tally, its number of gene copies
// and the global database. Neighbouring copies mostly carry the same
// allele, whose validity is then known.
struct LocusCopies {
    AlleleTally tally;
    GlobalAlleles global;
    double n = 0.0;
    TAllele const* last = nullptr;
    bool lastValid = false;
    // Where the last allele's copies went: its global weight (null when
    // not remembered, valid while the global table's flat epoch is
    // lastEpoch) and its place in the tally.
    double* lastGlobal = nullptr;
    unsigned lastEpoch = 0;
    std::size_t lastSlot = 0;

    void clear() {
        tally.clear();
        global.clear();
        n = 0.0;
        last = nullptr;
        lastValid = false;
        lastGlobal = nullptr;
    }

    // As tally_copy, each sum taking the same terms in the same order; a
    // copy of the last allele goes straight to its places.
    template <class Valid>
    void add(int l, TAllele* a, double c, Valid const& valid) {
        if (a == nullptr) return;  // no copy: nothing to count or enter
        if (a == last && lastGlobal != nullptr && lastEpoch == PopGenetics::globalAllelicDB.flat_epoch()) {
            if (lastValid) {
                *lastGlobal += c;
                n += c;
                tally.add_at(lastSlot, c);
            } else {
                *lastGlobal += 0.0;
            }
            return;
        }
        if (a != last) {
            last = a;
            lastValid = valid(a);
        }
        if (lastValid) {
            lastGlobal = global.add(l, a, c);
            n += c;
            lastSlot = tally.add(a, c);
        } else {
            lastGlobal = global.add(l, a, 0.0);
        }
        lastEpoch = PopGenetics::globalAllelicDB.flat_epoch();
    }
};

// Each allele's frequency in this sample, in its per-sample slot (when the
// allele has one for this sample).
void store_pop_freqs(AlleleTally const& tally, double n, int sampleId) {
    if (n == 0.0) return;
    for (std::size_t i = 0; i < tally.size(); ++i) {
        TAllele* a = tally.allele(i);
        if (a->popFreq && sampleId >= 0 && sampleId < a->popFreq.size()) a->popFreq[sampleId] = tally.count(i) / n;
    }
}

void append_size_columns(PopGenetics& p, AlleleTally const& tally, double n) {
    std::vector<int> sizes(tally.size());
    std::vector<double> freqs(tally.size());
    for (std::size_t i = 0; i < tally.size(); ++i) {
        sizes[i] = allele_size(tally.allele(i)->name);
        freqs[i] = n != 0.0 ? tally.count(i) / n : 0.0;
    }
    const AlleleSizeSummary s = summarize_allele_sizes(sizes, freqs);
    p.locusMinAlleleSize.Add(s.minSize);
    p.locusMaxAlleleSize.Add(s.maxSize);
    p.locusMeanAlleleSize.Add(s.meanSize);
    p.locusAllelicRange.Add(s.range);
    p.locusGarzaWilliamson.Add(s.garzaWilliamson);
}

void empty_size_columns(PopGenetics& p, int L) {
    p.locusAllelicRange.Reallocate(L);
    p.locusGarzaWilliamson.Reallocate(L);
    p.locusMinAlleleSize.Reallocate(L);
    p.locusMaxAlleleSize.Reallocate(L);
    p.locusMeanAlleleSize.Reallocate(L);
}

// ------------------------------------------------------------ means over loci

struct Moments {
    double sum = 0.0;
    double sumSq = 0.0;
    void add(double x) {
        sum += x;
        sumSq += x * x;
    }
    double mean(int n) const { return sum / n; }
    // (sum x^2 / n - mean^2) * n / (n - 1), for n >= 2.
    double variance(int n) const {
        const double m = mean(n);
        return (sumSq / n - m * m) * n / (n - 1);
    }
    // The s.d. over polymorphic loci: 0 unless the variance is positive.
    double sd(int n) const {
        if (n < 2) return 0.0;
        const double v = variance(n);
        return v > 0.0 ? std::sqrt(v) : 0.0;
    }
    // The s.d. over all loci: a negative variance (rounding) leaves the
    // field as it was.
    void store_sd(double& field, int n) const {
        const double v = variance(n);
        if (v >= 0.0) field = std::sqrt(v);
    }
};

struct LocusSummary {
    int L = 0;
    int P = 0;  // polymorphic loci
    Moments polyCopies, polyAlleles, polyObsHet, polyExpHet, polyRange, polyGW;
    Moments allCopies, allAlleles, allExpHet;
};

bool is_polymorphic(PopGenetics const& p, int l) {
    return l >= 0 && static_cast<std::size_t>(l) < p.polymorphicLocus.size() &&
           p.polymorphicLocus[static_cast<std::size_t>(l)] != 0;
}

LocusSummary summarize_loci(PopGenetics const& p, int L, bool obsHet, bool sizes) {
    LocusSummary s;
    s.L = L;
    for (int l = 0; l < L; ++l) {
        s.allCopies.add(p.locusGeneCopies[l]);
        s.allAlleles.add(p.locusNumAlleles[l]);
        s.allExpHet.add(p.locusExpHet[l]);
        if (!is_polymorphic(p, l)) continue;
        ++s.P;
        s.polyCopies.add(p.locusGeneCopies[l]);
        s.polyAlleles.add(p.locusNumAlleles[l]);
        if (obsHet) s.polyObsHet.add(p.locusObsHet[l]);
        s.polyExpHet.add(p.locusExpHet[l]);
        if (sizes) {
            s.polyRange.add(p.locusAllelicRange[l]);
            s.polyGW.add(p.locusGarzaWilliamson[l]);
        }
    }
    return s;
}

// The summary fields of the sample. `hetOverPolymorphic`: heterozygosity and
// number of alleles averaged over the polymorphic loci only (diploid DNA),
// else over all loci. `sizes`: the range and Garza-Williamson columns exist.
void store_means(PopGenetics& p, LocusSummary const& s, bool hetOverPolymorphic, bool sizes) {
    const int L = s.L;
    const int P = s.P;
    if (P < 1 || L < 2) {
        p.meanHet = s.polyExpHet.sum;
        p.meanNumAlleles = L > 0 ? p.locusNumAlleles[0] : 0;
        p.meanGeneCopies = s.polyCopies.sum;
        p.meanHetSd = p.meanNumAllelesSd = p.meanGeneCopiesSd = 0.0;
        if (sizes) {
            p.meanAllelicRange = s.polyRange.sum;
            p.meanGW = s.polyGW.sum;
            p.meanAllelicRangeSd = p.meanGWSd = 0.0;
        }
        return;
    }
    if (hetOverPolymorphic) {
        p.meanHet = s.polyExpHet.mean(P);
        p.meanHetSd = s.polyExpHet.sd(P);
        p.meanNumAlleles = s.polyAlleles.mean(P);
        p.meanNumAllelesSd = s.polyAlleles.sd(P);
    } else {
        p.meanHet = s.allExpHet.mean(L);
        s.allExpHet.store_sd(p.meanHetSd, L);
        p.meanNumAlleles = s.allAlleles.mean(L);
        s.allAlleles.store_sd(p.meanNumAllelesSd, L);
    }
    p.meanGeneCopies = s.allCopies.mean(L);
    s.allCopies.store_sd(p.meanGeneCopiesSd, L);
    if (sizes) {
        p.meanAllelicRange = s.polyRange.mean(P);
        p.meanAllelicRangeSd = s.polyRange.sd(P);
        p.meanGW = s.polyGW.mean(P);
        p.meanGWSd = s.polyGW.sd(P);
    }
}

struct TableLayout {
    bool obsHet;  // diploid: observed heterozygosity column
    bool sizes;   // range and Garza-Williamson columns
    bool rules;   // dashed rules around the rows
    char const* rule;
};

void print_locus_table(std::ostream& os, PopGenetics const& p, LocusSummary const& s, TableLayout const& t) {
    using std::setw;
    os << "\n\nResults are only shown for polymorphic loci";
    if (t.rules) os << "\n" << t.rule;
    os.setf(std::ios::right, std::ios::adjustfield);
    os << setw(16) << "Num.\n" << setw(15) << "gene" << setw(9) << "Num.";
    if (t.obsHet) os << setw(12) << "Obs." << setw(10) << "Exp.";
    else os << setw(12) << "Exp.";
    if (t.sizes) os << setw(10) << "Allelic" << setw(11) << "G-W";
    os << "\n" << setw(6) << "Locus#" << setw(10) << "copies" << setw(10) << "alleles";
    if (t.obsHet) os << setw(10) << "Het.";
    os << setw(10) << "Het";
    if (t.sizes) os << setw(10) << "range" << setw(12) << "stat.";
    if (t.rules) os << "\n" << t.rule;

    os.setf(std::ios::fixed, std::ios::floatfield);
    os.setf(std::ios::showpoint);
    os.setf(std::ios::right, std::ios::adjustfield);
    os.precision(5);
    for (int l = 0; l < s.L; ++l) {
        if (!is_polymorphic(p, l)) continue;
        os << setw(6) << l + 1 << setw(10) << p.locusGeneCopies[l] << setw(10) << p.locusNumAlleles[l];
        if (t.obsHet) os << setw(10) << p.locusObsHet[l];
        os << setw(10) << p.locusExpHet[l];
        if (t.sizes) os << setw(10) << p.locusAllelicRange[l] << setw(12) << p.locusGarzaWilliamson[l];
        os << "\n";
    }
    if (t.rules) os << t.rule;

    if (s.P < 1 || s.L < 2) {
        os << "\n";
        return;
    }
    // Printed means and s.d. are over the polymorphic loci.
    const int P = s.P;
    auto row = [&](char const* label, auto value) {
        os.precision(3);
        os << setw(6) << label << setw(10) << value(s.polyCopies) << setw(10) << value(s.polyAlleles);
        os.precision(5);
        if (t.obsHet) os << setw(10) << value(s.polyObsHet);
        os << setw(10) << value(s.polyExpHet);
        if (t.sizes) {
            os.precision(3);
            os << setw(10) << value(s.polyRange);
            os.precision(5);
            os << setw(12) << value(s.polyGW);
        }
    };
    row("Mean", [P](Moments const& m) { return m.mean(P); });
    os << "\n";
    row("s.d.", [P](Moments const& m) { return m.sd(P); });
    os << "\n" << t.rule << "\n";
}

// Empties the per-locus columns of a table of L loci (the allele-size ones
// with `sizeColumns`) and readies the global database for L loci.
void start_locus_table(PopGenetics& p, int L, bool sizeColumns) {
    p.locusGeneCopies.Reallocate(L);
    p.locusNumAlleles.Reallocate(L);
    p.locusObsHet.Reallocate(L);
    p.locusExpHet.Reallocate(L);
    if (sizeColumns) empty_size_columns(p, L);
    prepare_global_db(L);
}

// The allele frequencies of every locus without a table. `eachCopy(l,
// copy)` calls copy(allele, count) for every allele copy at locus l; a copy
// is counted when its allele is valid or, with `everyCopy`, whenever it is
// present (missing data then take their share).
template <class EachCopy>
void count_allele_freqs(PopGenetics& p, bool everyCopy, EachCopy eachCopy) {
    const TDataType type = p.dataType;
    if (type == FREQUENCY) return;
    const Validity valid(p.profile.MissingData, type == DNA);
    const int L = resolve_num_loci(p);

    p.locusGeneCopies.Reallocate(L);
    p.locusNumAlleles.Reallocate(L);
    prepare_global_db(L);

    AlleleTally tally;
    GlobalAlleles global;
    for (int l = 0; l < L; ++l) {
        tally.clear();
        global.clear();
        double n = 0.0;
        eachCopy(l, [&](TAllele* a, double c) {
            tally_copy(l, a, c, a != nullptr && (everyCopy || valid(a)), tally, global, n);
        });
        store_pop_freqs(tally, n, p.id);
        p.locusGeneCopies.Add(truncate_count(n));
        p.locusNumAlleles.Add(static_cast<int>(tally.size()));
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Diploid samples

void PopGenetics::OutputAllelelNumberAndHetPerLocusDipl(TPhenDB&, std::ostream& os, settings const&, bool b1,
                                                        bool b2, bool print) {
    const TDataType type = dataType;
    if (type == FREQUENCY) return;
    const bool microsat = type == MICROSAT;
    const bool extras = b1 || b2;
    const bool sizes = microsat && extras;
    const Validity valid(profile.MissingData, type == DNA);
    const int L = resolve_num_loci(*this);

    start_locus_table(*this, L, microsat);

    AlleleTally tally;
    GlobalAlleles global;
    for (int l = 0; l < L; ++l) {
        tally.clear();
        global.clear();
        double n = 0.0;
        double individuals = 0.0;  // with two valid copies
        double heterozygotes = 0.0;
        for (long i = 0; i < phenotypes.size(); ++i) {
            TPhenotype const* ph = phenotypes[i];
            if (ph == nullptr) continue;
            const double c = truncate_count(ph->count);
            TAllele* copies[2] = {phenotype_allele(ph, 0, l), phenotype_allele(ph, 1, l)};
            const bool both = valid(copies[0]) && valid(copies[1]);
            for (TAllele* a : copies) tally_copy(l, a, c, valid(a), tally, global, n);
            if (both) {
                individuals += c;
                if (copies[0] != copies[1]) heterozygotes += c;
            }
        }
        store_pop_freqs(tally, n, id);
        locusGeneCopies.Add(truncate_count(n));
        locusNumAlleles.Add(static_cast<int>(tally.size()));
        locusObsHet.Add(individuals != 0.0 ? heterozygotes / individuals : 0.0);
        locusExpHet.Add(expected_heterozygosity(tally.counts(), n));
        if (sizes) append_size_columns(*this, tally, n);
    }

    const LocusSummary summary = summarize_loci(*this, L, true, sizes);
    store_means(*this, summary, type == DNA, sizes);
    if (print) print_locus_table(os, *this, summary, {true, sizes, extras, microsat ? kWideRule : kNarrowRule});
}

void PopGenetics::computeAlleFreqDipl(TPhenDB&, settings const& s) {
    count_allele_freqs(*this, s.ComputeMissDataFreq, [this](int l, auto&& copy) {
        for (long i = 0; i < phenotypes.size(); ++i) {
            TPhenotype const* ph = phenotypes[i];
            if (ph == nullptr) continue;
            const double c = truncate_count(ph->count);
            for (int k = 0; k < 2; ++k) copy(phenotype_allele(ph, k, l), c);
        }
    });
}

// ---------------------------------------------------------------------------
// Haploid samples

void PopGenetics::OutputAllelelNumberAndHetPerLocusHapl(std::ostream& os, settings const&, bool, bool, bool) {
    const TDataType type = dataType;
    if (type == FREQUENCY) return;
    const bool microsat = type == MICROSAT;
    const Validity valid(profile.MissingData, type == DNA);
    const int L = resolve_num_loci(*this);

    start_locus_table(*this, L, microsat);  // haploid data leave observed heterozygosity empty

    // Loci are taken a block at a time and each row is read along the
    // block, which keeps the reads in order in memory. Every locus still
    // sees its copies in entry order; the global database then meets the
    // loci in locus order when they exist already or the first row reaches
    // them all, otherwise the loci go one at a time.
    const EntryRows rows(haplotypes);
    TAlleleDB const& global = PopGenetics::globalAllelicDB;
    const bool blocks = global.loci.count + global.flat_sites().sites() >= L || rows.first_row_complete(L);
    const int block = blocks ? 256 : 1;
    //
    // A later row mostly carries the first row's allele at a locus: those
    // copies are summed aside and added once after the rows. Counts are
    // whole numbers, so every sum (the tally's, the gene copies', the
    // global weight's) comes out the same as copy by copy, and the first
    // row has put that allele first wherever it goes.
    const std::size_t width = static_cast<std::size_t>(std::max(1, std::min(block, L)));
    std::vector<LocusCopies> loci(width);
    std::vector<double> asFirst(width);
    // With rows over shared character alleles, a site where every text of
    // the list holds one character is such a locus for every row: those
    // copies are summed once for all rows.
    TAllele* const* base = rows.size() > 0 ? rows.alleles(0) : nullptr;
    const long baseLength = rows.size() > 0 ? rows.length(0) : 0;
    CharacterAlleles const* characters = alleleDB != nullptr ? alleleDB->characters() : nullptr;
    double later = 0.0;  // the copies of the rows after the first
    for (std::size_t r = 1; r < rows.size(); ++r) later += rows.count(r);
    std::vector<int> varying;
    for (int first = 0; first < L; first += block) {
        const int end = std::min(L, first + block);
        for (int l = first; l < end; ++l) loci[static_cast<std::size_t>(l - first)].clear();
        std::fill(asFirst.begin(), asFirst.end(), 0.0);
        varying.clear();
        for (int l = first; l < end; ++l) {
            if (characters != nullptr && characters->uniform(l))
                asFirst[static_cast<std::size_t>(l - first)] = later;
            else
                varying.push_back(l);
        }
        for (std::size_t r = 0; r < rows.size(); ++r) {
            TAllele* const* alleles = rows.alleles(r);
            const double c = rows.count(r);
            const int stop = static_cast<int>(std::min<long>(end, rows.length(r)));
            if (r == 0) {
                for (int l = first; l < stop; ++l) loci[static_cast<std::size_t>(l - first)].add(l, alleles[l], c, valid);
                continue;
            }
            const int shared = static_cast<int>(std::min<long>(stop, baseLength));
            for (int const l : varying) {
                if (l >= stop) break;
                const auto k = static_cast<std::size_t>(l - first);
                TAllele* a = alleles[l];
                if (l < shared && a == base[l] && a != nullptr)
                    asFirst[k] += c;
                else
                    loci[k].add(l, a, c, valid);
            }
        }
        for (int l = first; l < end; ++l) {
            const auto k = static_cast<std::size_t>(l - first);
            if (asFirst[k] != 0.0) loci[k].add(l, base[l], asFirst[k], valid);
        }
        for (int l = first; l < end; ++l) {
            LocusCopies const& k = loci[static_cast<std::size_t>(l - first)];
            store_pop_freqs(k.tally, k.n, id);
            locusNumAlleles.Add(static_cast<int>(k.tally.size()));
            locusGeneCopies.Add(truncate_count(k.n));
            locusExpHet.Add(expected_heterozygosity(k.tally.counts(), k.n));
            if (microsat) append_size_columns(*this, k.tally, k.n);
        }
    }

    const LocusSummary summary = summarize_loci(*this, L, false, microsat);
    store_means(*this, summary, false, microsat);
    print_locus_table(os, *this, summary, {false, microsat, true, microsat ? kWideRule : kNarrowRule});
}

void PopGenetics::computeAlleFreqHapl(settings const& s) {
    count_allele_freqs(*this, s.ComputeMissDataFreq, [this](int l, auto&& copy) {
        for (long e = 0; e < haplotypes.count; ++e) {
            PHaploDef const* entry = haplotypes.data[e];
            copy(entry_allele(entry, l), entry_count(entry));
        }
    });
}

// ---------------------------------------------------------------------------
// Mean allele sizes

void PopGenetics::computeMeanAlleleSizes() {
    const int L = resolve_num_loci(*this);
    locusMeanAlleleSize.Reallocate(L);
    const char missing = profile.MissingData;
    auto counted = [missing](TAllele const* a) { return a != nullptr && a->name[0] != missing; };
    const bool fromEntries = phenotypes.nb_individuals() == 0;

    for (int l = 0; l < L; ++l) {
        double weight = 0.0;
        double sum = 0.0;
        if (fromEntries) {
            for (long e = 0; e < haplotypes.count; ++e) {
                PHaploDef const* entry = haplotypes.data[e];
                TAllele const* a = entry_allele(entry, l);
                if (entry == nullptr || entry->count == 0 || !counted(a)) continue;
                weight += entry->count;
                sum += static_cast<double>(allele_size(a->name)) * entry->count;
            }
        } else {
            for (long i = 0; i < phenotypes.size(); ++i) {
                TPhenotype const* ph = phenotypes[i];
                if (ph == nullptr) continue;
                for (int copy = 0; copy < 2; ++copy) {
                    TAllele const* a = phenotype_allele(ph, copy, l);
                    if (!counted(a)) continue;
                    weight += ph->count;
                    sum += static_cast<double>(allele_size(a->name)) * ph->count;
                }
            }
        }
        locusMeanAlleleSize.Add(weight != 0.0 ? sum / weight : 0.0);
    }
}

}  // namespace quintle
