#include "data/TAlleleDB.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <memory>
#include <new>
#include <vector>

#include "core/Errors.h"
#include "core/random.h"

namespace quintle {

namespace {

constexpr long kLocusGrowthStep = 100;

// Calls f on every allele of every locus, skipping empty slots.
template <class F>
void for_each_allele(MY_TIArrayAsVector<TLocus> const& loci, F&& f) {
    for (long l = 0; l < loci.count; ++l) {
        TLocus const* locus = loci.data[l];
        if (locus == nullptr) continue;
        for (long i = 0; i < locus->alleles.count; ++i)
            if (TAllele* a = locus->alleles.data[i]) f(*a);
    }
}

// Weight as a whole percentage, truncated toward zero; kept within long
// long so that an absurd weight cannot overflow the conversion.
long long truncated_percent(double weight) {
    const double p = std::trunc(weight * 100.0);
    if (std::isnan(p)) return 0;
    if (p >= 9.2e18) return 9200000000000000000LL;
    if (p <= -9.2e18) return -9200000000000000000LL;
    return static_cast<long long>(p);
}

// "Locus <index>", written without any intermediate text.
std::array<char, 32> default_locus_name(int locus) {
    std::array<char, 32> name{'L', 'o', 'c', 'u', 's', ' '};
    auto const end = std::to_chars(name.data() + 6, name.data() + name.size() - 1, locus).ptr;
    *end = '\0';
    return name;
}

}  // namespace

TAlleleDB::TAlleleDB() : loci(11, kLocusGrowthStep) { notFound.name = "Allele not found"; }

TAlleleDB::TAlleleDB(int const& n) : loci(std::max(n, 0) + 1L, kLocusGrowthStep) {
    notFound.name = "Allele not found";
}

TAlleleDB::TAlleleDB(TAlleleDB const& other) : TAlleleDB() { *this = other; }

TAlleleDB::~TAlleleDB() {
    loci.Flush();
    drop_records();
}

void TAlleleDB::drop_records() noexcept {
    if (records_ != nullptr) records_->drop();
    records_ = nullptr;
}

TAlleleDB& TAlleleDB::operator=(TAlleleDB const& other) {
    if (this == &other) return *this;
    // Copies first: a failure leaves this catalogue as it was. Empty slots
    // stay empty so that every locus keeps its index.
    std::vector<std::unique_ptr<TLocus>> copies;
    copies.reserve(static_cast<std::size_t>(other.loci.count));
    try {
        for (long l = 0; l < other.loci.count; ++l) {
            TLocus const* source = other.loci.data[l];
            copies.push_back(source == nullptr ? nullptr : std::make_unique<TLocus>(*source));
        }
    } catch (std::bad_alloc const&) {
        arrayMemoryFailure("TAlleleDB::operator=()");
    }
    loci.Flush();
    drop_records();
    for (auto& copy : copies) {
        loci.Add(copy.get());
        copy.release();
    }
    blanksInserted = other.blanksInserted;
    flat_ = other.flat_;
    ++flatEpoch_;
    characters_ = other.characters_;
    return *this;
}

// ---------------------------------------------------------------- lookups

TLocus* TAlleleDB::locus_at(long index) const {
    if (index < 0 || index >= loci.count) return nullptr;
    return loci.data[index];
}

long TAlleleDB::locus_pos_by_name(my_string const& locusName) const {
    for (long l = 0; l < loci.count; ++l)
        if (loci.data[l] != nullptr && loci.data[l]->name == locusName) return l;
    return -1;
}

TAllele* TAlleleDB::operator()(my_string const& locus, my_string const& allele) const {
    TLocus const* l = locus_at(locus_pos_by_name(locus));
    return l == nullptr ? nullptr : l->find_allele_by_name(allele);
}

TAllele* TAlleleDB::operator()(int const& locus, my_string const& allele) const {
    TLocus const* l = locus_at(locus);
    return l == nullptr ? nullptr : l->find_allele_by_name(allele);
}

TAllele* TAlleleDB::operator()(my_string const& locus, int const& allele) const {
    TLocus const* l = locus_at(locus_pos_by_name(locus));
    if (l == nullptr || allele < 0 || allele >= l->alleles.count) return nullptr;
    return l->alleles.data[allele];
}

// -------------------------------------------------------------- insertion

TLocus* TAlleleDB::new_locus(char const* name) {
    if (records_ == nullptr) records_ = new RecordArena;
    TLocus* l = new (*records_) TLocus(name);
    l->arena_ = records_;
    return l;
}

TLocus* TAlleleDB::new_locus(my_string const& name) {
    if (records_ == nullptr) records_ = new RecordArena;
    TLocus* l = new (*records_) TLocus(name);
    l->arena_ = records_;
    return l;
}

TLocus* TAlleleDB::locus_for_insert(int const& locus) {
    if (flat_.sites() != 0) make_records();
    if (locus < 0) return nullptr;
    if (locus >= loci.count) {
        // One locus only, even for an index further beyond the end.
        std::unique_ptr<TLocus> added(new_locus(default_locus_name(locus).data()));
        loci.Add(added.get());
        return added.release();
    }
    TLocus*& slot = loci.data[locus];
    if (slot == nullptr) {
        // An emptied slot gets the locus it would have been created as.
        slot = new_locus(default_locus_name(locus).data());
    }
    return slot;
}

int TAlleleDB::InsertAllPos(int const& locus, my_string const& name, double weight) {
    TLocus* l = locus_for_insert(locus);
    return l == nullptr ? -1 : l->insert(name, weight, locus);
}

int TAlleleDB::InsertAllPos(int const& locus, char const& c, double weight) {
    TLocus* l = locus_for_insert(locus);
    return l == nullptr ? -1 : l->insert(c, weight, locus);
}

int TAlleleDB::InsertAllPos(my_string const& locus, my_string const& name, double weight) {
    make_records();
    long pos = locus_pos_by_name(locus);
    if (pos < 0) {
        std::unique_ptr<TLocus> added(new_locus(locus));
        loci.Add(added.get());
        added.release();
        pos = loci.count - 1;
    }
    return loci.data[pos]->insert(name, weight, static_cast<int>(pos));
}

int TAlleleDB::InsertAllPos(int const& locus, my_string const& name, double& weight, int const&) {
    return InsertAllPos(locus, name, static_cast<double>(weight));
}

int TAlleleDB::InsertAllPos(int const& locus, char const& c, double& weight, int const&) {
    return InsertAllPos(locus, c, static_cast<double>(weight));
}

// ------------------------------------------------------ frequency arrays

template <class Member>
void TAlleleDB::create_freq_vectors(Member member, int n, char const* function) {
    std::size_t inArenas = 0;
    bool inPlace = true;
    for_each_allele(loci, [&](TAllele& a) {
        FreqArray const& f = a.*member;
        if (!f || f.size() != n) inPlace = false;
        if (ArenaRecord::arena_of(&a) != nullptr) ++inArenas;
    });
    if (inPlace) {
        // Arrays of that length already: zeroed where they are.
        for_each_allele(loci, [&](TAllele& a) { std::fill_n((a.*member).get(), n, 0.0); });
        return;
    }
    try {
        // The alleles of arenas take stretches of one block, in catalogue
        // order; their arenas keep it for as long as they live, so that it
        // lasts as long as any of those alleles, wherever it is moved.
        std::shared_ptr<double[]> block;
        if (n > 0 && inArenas > 0) block.reset(new double[inArenas * static_cast<std::size_t>(n)]());
        double* next = block.get();
        RecordArena* last = nullptr;
        for_each_allele(loci, [&](TAllele& a) {
            RecordArena* arena = ArenaRecord::arena_of(&a);
            if (block == nullptr || arena == nullptr) {
                (a.*member).reset();
                a.*member = FreqArray::zeros(n);
                return;
            }
            if (arena != last) arena->adopt(block);
            last = arena;
            a.*member = FreqArray::borrowed(next, n);
            next += n;
        });
    } catch (std::bad_alloc const&) {
        for_each_allele(loci, [&](TAllele& a) { (a.*member).reset(); });
        E.error(MEMORY, my_string(function), Msg::m0_not_enough_memory);
        // Without an open log the report returns quietly; the run ends all
        // the same.
        throw NOT_ENOUGH_MEMORY;
    }
}

void TAlleleDB::create_pop_freq_vector(int const& n) {
    create_freq_vectors(&TAllele::popFreq, n, "TAlleleDB::create_pop_freq_vector");
    TAllele::numPop = n;
}

void TAlleleDB::create_group_freq_vector(int const& n) {
    create_freq_vectors(&TAllele::groupFreq, n, "TAlleleDB::create_group_freq_vector");
    TAllele::numGroup = n;
}

void TAlleleDB::flush_pop_freq_vector() {
    for_each_allele(loci, [](TAllele& a) { a.popFreq.reset(); });
}

void TAlleleDB::flush_group_freq_vector() {
    for_each_allele(loci, [](TAllele& a) { a.groupFreq.reset(); });
}

void TAlleleDB::reset_all_pop_freqs() { flush_pop_freq_vector(); }

// ----------------------------------------------- expected frequencies

void TAlleleDB::assign_rand_exp_freq() {
    for (long l = 0; l < loci.count; ++l) {
        TLocus* locus = loci.data[l];
        if (locus == nullptr) continue;
        MY_TIArrayAsVector<TAllele> const& alleles = locus->alleles;
        double sum = 0.0;
        long present = 0;
        for (long i = 0; i < alleles.count; ++i) {
            if (TAllele* a = alleles.data[i]) {
                long seed = 1;  // continues the shared sequence
                a->expFreq = ran3(&seed);
                sum += a->expFreq;
                ++present;
            }
        }
        for (long i = 0; i < alleles.count; ++i) {
            if (TAllele* a = alleles.data[i]) {
                // All draws 0 would leave nothing to scale: share evenly.
                a->expFreq = sum > 0.0 ? a->expFreq / sum : 1.0 / static_cast<double>(present);
            }
        }
    }
}

void TAlleleDB::reset_exp_freq() {
    for_each_allele(loci, [](TAllele& a) {
        a.expFreq = 0.0;
        a.inbreedingCorr = 0.0;
    });
}

double TAlleleDB::update_all_freq_with_inbreeding(double const& f) {
    if (!(f > 0.0)) return -1.0;
    bool ready = true;
    for_each_allele(loci, [&](TAllele& a) {
        if (!a.popFreq || a.popFreq.size() < 2) ready = false;
    });
    if (!ready) return -1.0;
    double change = 0.0;
    for_each_allele(loci, [&](TAllele& a) {
        const double updated = (a.popFreq[0] - a.inbreedingCorr) / f;
        a.expFreq = updated;
        change += std::fabs(updated - a.popFreq[1]);
        a.popFreq[1] = updated;
        a.inbreedingCorr = 0.0;
    });
    return change;
}

void TAlleleDB::destroy() {
    loci.Flush();
    drop_records();
    blanksInserted = 0;
    characters_.reset();
    if (flat_.sites() > 0) {
        flat_.clear();
        ++flatEpoch_;
    }
}

// ------------------------------------------------------------ flat alleles

double* TAlleleDB::enter_weight(int locus, my_string const& name, double weight) {
    if (loci.count == 0 && name.length() == 1) {
        long at = -1;
        if (double* w = flat_.enter(locus, name.c_str()[0], weight, at)) return at == locus ? w : nullptr;
        if (locus < 0) return nullptr;
    }
    make_records();
    int const pos = InsertAllPos(locus, name, weight);
    if (pos < 0 || locus >= loci.count || loci.data[locus] == nullptr) return nullptr;
    return &loci.data[locus]->alleles.data[pos]->weight;
}

void TAlleleDB::make_records() {
    long const n = flat_.sites();
    if (n == 0) return;
    FlatSiteAlleles const flat = std::move(flat_);
    flat_.clear();
    ++flatEpoch_;
    loci.Reallocate(static_cast<int>(n));
    for (long l = 0; l < n; ++l) {
        FlatSiteAlleles::Site const& site = flat.site(l);
        // The locus and its first allele were asked for at `asked`; later
        // alleles at the site's own index.
        int const asked = static_cast<int>(site.asked);
        TLocus* locus = locus_for_insert(asked);
        for (int k = 0; k < site.count; ++k)
            locus->append_new(site.name[k], site.weight[k], k == 0 ? asked : static_cast<int>(l));
    }
}

// ---------------------------------------------------------------- printing

std::ostream& operator<<(std::ostream& os, TAlleleDB& db) {
    MY_TIArrayAsVector<TLocus> const& loci = db.loci;
    long rows = 0;
    for (long l = 0; l < loci.count; ++l) {
        TLocus* locus = loci.data[l];
        if (locus == nullptr) continue;
        int longest = 0;
        for (long i = 0; i < locus->alleles.count; ++i)
            if (TAllele const* a = locus->alleles.data[i]) longest = std::max(longest, a->name.length());
        locus->printWidth = longest + 1;
        rows = std::max(rows, locus->alleles.count);
    }

    const std::ios_base::fmtflags flags = os.flags();
    const char fill = os.fill();
    os.fill(' ');
    os << std::right;
    for (long row = 0; row < rows; ++row) {
        for (long l = 0; l < loci.count; ++l) {
            TLocus const* locus = loci.data[l];
            if (locus == nullptr) continue;
            TAllele const* a = row < locus->alleles.count ? locus->alleles.data[row] : nullptr;
            if (a != nullptr) {
                os << std::setw(locus->printWidth) << a->name.c_str() << std::setw(4)
                   << truncated_percent(a->weight) << "%|";
            } else {
                os << std::setw(locus->printWidth + 5) << "" << "|";
            }
        }
        os << '\n';
    }
    os.flags(flags);
    os.fill(fill);
    return os;
}

}  // namespace quintle
