#include "data/TLocus.h"

#include <functional>
#include <string>
#include <unordered_map>

namespace quintle {

namespace {

// Names compare as C texts, like my_string's own equality.
std::string_view view(my_string const& s) { return std::string_view(s.c_str()); }

struct ViewHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

}  // namespace

// Positions of the first allele of each name and of each first character.
struct TLocus::NameIndex {
    using Slot = IndexSlot;
    std::unordered_map<std::string, Slot, ViewHash, std::equal_to<>> byName;
    std::array<Slot, 256> byFirstChar{};
    long count = 0;  // alleles.count when built or last extended

    void add(long pos, TAllele const* a) {
        byName.try_emplace(std::string(view(a->name)), Slot{pos, a});
        Slot& first = byFirstChar[static_cast<unsigned char>(a->name.c_str()[0])];
        if (first.allele == nullptr) first = Slot{pos, a};
    }
};

TLocus::TLocus(my_string const& locusName) : name(locusName) {}

TLocus::TLocus(char const* locusName) : name(locusName) {}

TLocus::TLocus(TLocus const& other)
    : alleles(other.alleles),
      name(other.name),
      printWidth(other.printWidth),
      values(other.values),
      meanSampleHet(other.meanSampleHet),
      meanGroupHet(other.meanGroupHet) {}

TLocus& TLocus::operator=(TLocus const& other) {
    if (this == &other) return *this;
    alleles = other.alleles;  // deep copy: the array owns its elements
    name = other.name;
    printWidth = other.printWidth;
    values = other.values;
    meanSampleHet = other.meanSampleHet;
    meanGroupHet = other.meanGroupHet;
    index_.reset();
    return *this;
}

TLocus::~TLocus() = default;

// ------------------------------------------------------------------ index

TLocus::NameIndex* TLocus::rebuild_index() const {
    if (!index_) index_ = std::make_unique<NameIndex>();
    NameIndex& ix = *index_;
    ix.byName.clear();
    ix.byFirstChar.fill(NameIndex::Slot{});
    for (long i = 0; i < alleles.count; ++i) {
        TAllele const* a = alleles.data[i];
        if (a != nullptr) ix.add(i, a);
    }
    ix.count = alleles.count;
    return &ix;
}

TLocus::NameIndex* TLocus::synced_index() const {
    if (alleles.count < index_threshold) {
        index_.reset();
        return nullptr;
    }
    if (!index_ || index_->count != alleles.count) return rebuild_index();
    return index_.get();
}

// A slot is trusted while its allele is still at its position and still
// matches, and the allele before it does not match (after a rearrangement
// that sorts the list, matching alleles stand together, so a slot that is
// no longer the first match shows it there).
template <class Matches>
bool TLocus::still_first(IndexSlot const& s, Matches const& matches) const {
    if (s.pos >= alleles.count || alleles.data[s.pos] != s.allele || !matches(s.allele)) return false;
    return s.pos == 0 || !matches(alleles.data[s.pos - 1]);
}

long TLocus::lookup_name(std::string_view key) const {
    NameIndex* ix = synced_index();
    if (ix == nullptr) {
        for (long i = 0; i < alleles.count; ++i) {
            TAllele const* a = alleles.data[i];
            if (a != nullptr && view(a->name) == key) return i;
        }
        return -1;
    }
    auto matches = [key](TAllele const* a) { return a != nullptr && view(a->name) == key; };
    auto it = ix->byName.find(key);
    if (it == ix->byName.end()) return -1;
    if (still_first(it->second, matches)) return it->second.pos;
    // The alleles were rearranged or renamed behind our back.
    ix = rebuild_index();
    it = ix->byName.find(key);
    return it == ix->byName.end() ? -1 : it->second.pos;
}

long TLocus::lookup_first_char(char c) const {
    NameIndex* ix = synced_index();
    if (ix == nullptr) {
        for (long i = 0; i < alleles.count; ++i) {
            TAllele const* a = alleles.data[i];
            if (a != nullptr && a->name.c_str()[0] == c) return i;
        }
        return -1;
    }
    auto matches = [c](TAllele const* a) { return a != nullptr && a->name.c_str()[0] == c; };
    auto const slotOf = [c](NameIndex const& x) -> NameIndex::Slot const& {
        return x.byFirstChar[static_cast<unsigned char>(c)];
    };
    NameIndex::Slot const* s = &slotOf(*ix);
    if (s->allele == nullptr) return -1;
    if (still_first(*s, matches)) return s->pos;
    s = &slotOf(*rebuild_index());
    return s->allele == nullptr ? -1 : s->pos;
}

// ---------------------------------------------------------------- lookups

TAllele* TLocus::find_allele_by_name(char const& c) const {
    long pos = lookup_first_char(c);
    return pos < 0 ? nullptr : alleles.data[pos];
}

TAllele* TLocus::find_allele_by_name(my_string const& s) const {
    long pos = lookup_name(view(s));
    return pos < 0 ? nullptr : alleles.data[pos];
}

int TLocus::find_allele_pos_by_name(char const& c) const { return static_cast<int>(lookup_first_char(c)); }

int TLocus::find_allele_pos_by_name(my_string const& s) const { return static_cast<int>(lookup_name(view(s))); }

int TLocus::get_allele_index(TAllele const* a) const {
    if (a == nullptr) return -1;
    // The name leads straight to the allele unless another one of the same
    // name comes first; only then is the list searched.
    long pos = lookup_name(view(a->name));
    if (pos >= 0 && alleles.data[pos] == a) return static_cast<int>(pos);
    if (pos < 0) return -1;
    for (long i = 0; i < alleles.count; ++i)
        if (alleles.data[i] == a) return static_cast<int>(i);
    return -1;
}

int TLocus::is_polymorph(char missing) const {
    if (alleles.count < 3) return 0;
    if (alleles.count > 3) return 1;
    my_string missingText;
    missingText = missing;
    TAllele const* third = alleles.data[2];
    return third != nullptr && third->name == missingText ? 0 : 1;
}

int TLocus::is_polymorph(char missing, my_string const& other) const {
    my_string missingText;
    missingText = missing;
    int real = 0;
    for (long i = 0; i < alleles.count; ++i) {
        TAllele const* a = alleles.data[i];
        if (a == nullptr || a->name == missingText || a->name == other) continue;
        if (++real > 1) return 1;
    }
    return 0;
}

// -------------------------------------------------------------- insertion

namespace {

std::unique_ptr<TAllele> new_allele(RecordArena* arena) {
    return std::unique_ptr<TAllele>(arena != nullptr ? new (*arena) TAllele() : new TAllele());
}

}  // namespace

int TLocus::append_new(my_string const& alleleName, double weight, int locusIndex) {
    auto allele = new_allele(arena_);
    allele->name = alleleName;
    return append(std::move(allele), weight, locusIndex);
}

int TLocus::append_new(char c, double weight, int locusIndex) {
    auto allele = new_allele(arena_);
    allele->name = c;
    return append(std::move(allele), weight, locusIndex);
}

int TLocus::append(std::unique_ptr<TAllele> allele, double weight, int locusIndex) {
    allele->weight = weight;
    allele->locus = locusIndex;
    allele->selected = 1;
    const bool indexInStep = index_ && index_->count == alleles.count;
    alleles.Add(allele.get());
    TAllele const* added = allele.release();
    const long pos = alleles.count - 1;
    // Keep a current index current; any other state is rebuilt on next use.
    if (indexInStep) {
        index_->add(pos, added);
        index_->count = alleles.count;
    }
    return static_cast<int>(pos);
}

int TLocus::insert(my_string const& alleleName, double weight, int locusIndex) {
    long pos = lookup_name(view(alleleName));
    if (pos >= 0) {
        alleles.data[pos]->weight += weight;
        return static_cast<int>(pos);
    }
    return append_new(alleleName, weight, locusIndex);
}

long TLocus::find_or_append(char c, int locusIndex, bool& created) {
    long const pos = lookup_first_char(c);
    created = pos < 0;
    if (pos >= 0) return pos;
    return append_new(c, 0.0, locusIndex);
}

int TLocus::insert(char c, double weight, int locusIndex) {
    long pos = lookup_first_char(c);
    if (pos >= 0) {
        alleles.data[pos]->weight += weight;
        return static_cast<int>(pos);
    }
    return append_new(c, weight, locusIndex);
}

}  // namespace quintle
