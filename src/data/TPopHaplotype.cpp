#include "data/TPopHaplotype.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "core/Errors.h"

namespace quintle {

namespace {

char const* const kAssignName = "TPopHaplotype::operator=()";

char const* allele_name(TAllele const* a) { return a != nullptr ? a->name.c_str() : ""; }

// Replaces the list's pointers by `picked`. False after a reported failure.
bool install_alleles(MY_TIArrayAsVector<TAllele>& list, std::vector<TAllele*> const& picked) {
    list.Flush();
    if (!reserve_allele_slots(list, static_cast<long>(picked.size()), kAssignName)) return false;
    for (TAllele* a : picked) list.Add(a);
    return true;
}

// The fields that every copy takes from its source: the id, the four
// frequency fields and the separator.
void copy_identity(TPopHaplotype& dst, TPopHaplotype const& src) {
    dst.id = src.id;
    dst.frequency = src.frequency;
    dst.prevFrequency = src.prevFrequency;
    dst.sd = src.sd;
    dst.repSum = src.repSum;
    dst.separator = src.separator;
}

// The marks left by the EM start, the inbreeding estimate, the quality
// measure and the frequency table.
void copy_marks(TPopHaplotype& dst, TPopHaplotype const& src) {
    dst.fixed = src.fixed;
    dst.inbreedingCoeff = src.inbreedingCoeff;
    dst.ibdShare = src.ibdShare;
    dst.homoCount = src.homoCount;
    dst.found = src.found;
    dst.listedIndex = src.listedIndex;
}

}  // namespace

bool reserve_allele_slots(MY_TIArrayAsVector<TAllele>& list, long n, char const* function) {
    if (n <= list.capacity) return true;
    // Our own allocation, so that a failure is reported under the caller's
    // name rather than ending the run inside the array.
    TAllele** slots = new (std::nothrow) TAllele*[static_cast<std::size_t>(n)]();
    if (slots == nullptr) {
        E.error(MEMORY, my_string(function), Msg::m0_not_enough_memory);
        return false;
    }
    std::copy(list.data, list.data + list.count, slots);
    delete[] list.data;
    list.data = slots;
    list.capacity = n;
    return true;
}

TPopHaplotype::TPopHaplotype() { alleles.owns = false; }

TPopHaplotype::TPopHaplotype(char const& sep) : separator(sep) { alleles.owns = false; }

TPopHaplotype::TPopHaplotype(char const& sep, int n) : separator(sep) {
    alleles.owns = false;
    if (n >= 0) alleles.Reallocate(n);
}

TPopHaplotype::TPopHaplotype(TPopHaplotype const& other) : TPopHaplotype() { *this = other; }

TPopHaplotype& TPopHaplotype::operator=(TPopHaplotype const& other) {
    if (this == &other) return *this;
    copy_identity(*this, other);
    D = other.D;
    Dprime = other.Dprime;
    copy_marks(*this, other);
    alleles.Flush();
    if (!reserve_allele_slots(alleles, other.alleles.count, kAssignName)) return *this;
    for (long i = 0; i < other.alleles.count; ++i) alleles.Add(other.alleles.data[i]);
    return *this;
}

bool TPopHaplotype::operator==(TPopHaplotype const& other) const {
    if (alleles.count != other.alleles.count) return false;
    return std::equal(alleles.data, alleles.data + alleles.count, other.alleles.data);
}

bool TPopHaplotype::operator<(TPopHaplotype const& other) const {
    long const common = std::min(alleles.count, other.alleles.count);
    for (long i = 0; i < common; ++i) {
        int const c = std::strcmp(allele_name(alleles.data[i]), allele_name(other.alleles.data[i]));
        if (c != 0) return c < 0;
    }
    // Equal over the common loci: the shorter haplotype sorts first, so the
    // order stays a strict weak order whatever the lengths.
    return alleles.count < other.alleles.count;
}

void TPopHaplotype::copy_restricted_hapl(int const* sel, TPopHaplotype const& src) {
    int const k = sel != nullptr && sel[0] > 0 ? sel[0] : 0;
    try {
        // Picked before anything changes: src may be this haplotype.
        std::vector<TAllele*> picked;
        picked.reserve(static_cast<std::size_t>(k));
        for (int i = 1; i <= k; ++i) {
            int const pos = sel[i];
            picked.push_back(pos >= 0 && pos < src.alleles.count ? src.alleles.data[pos] : nullptr);
        }
        if (this != &src) copy_identity(*this, src);
        D = 0.0;
        Dprime = 0.0;
        install_alleles(alleles, picked);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, my_string(kAssignName), Msg::m0_not_enough_memory);
    }
}

void TPopHaplotype::build_sub_haplotype(int const* mask, TPopHaplotype const& src) {
    try {
        std::vector<TAllele*> kept;
        kept.reserve(static_cast<std::size_t>(src.alleles.count));
        for (long i = 0; i < src.alleles.count; ++i) {
            TAllele* a = src.alleles.data[i];
            if (a == nullptr || mask == nullptr || a->locus < 0 || mask[a->locus] == 0) continue;
            a->sourcePos = static_cast<int>(i);
            kept.push_back(a);
        }
        if (this != &src) {
            // Everything but the alleles (and D, D'), as an assignment
            // would copy it.
            copy_identity(*this, src);
            copy_marks(*this, src);
        }
        D = 0.0;
        Dprime = 0.0;
        install_alleles(alleles, kept);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, my_string(kAssignName), Msg::m0_not_enough_memory);
    }
}

void TPopHaplotype::build_sampled_haplo(int n, TAllele* a, TAllele* b) {
    id = n;
    frequency = 0.0;
    prevFrequency = 0.0;
    sd = 0.0;
    repSum = 0.0;
    separator = ' ';
    D = 0.0;
    Dprime = 0.0;
    alleles.Flush();
    alleles.Add(a);
    alleles.Add(b);
}

void TPopHaplotype::empty() { alleles.Flush(); }

std::ostream& operator<<(std::ostream& os, TPopHaplotype const& h) {
    for (long i = 0; i < h.alleles.count; ++i) {
        if (h.alleles.data[i] != nullptr) os << *h.alleles.data[i];
        if (h.separator != '\0') os << h.separator;
    }
    return os;
}

void shrink(TPopHaplotype& h, int const* mask) {
    if (mask == nullptr) return;
    TAllele** slots = h.alleles.data;
    long kept = 0;
    for (long i = 0; i < h.alleles.count; ++i) {
        if (mask[i] != 0) slots[kept++] = slots[i];
    }
    std::fill(slots + kept, slots + h.alleles.count, nullptr);
    h.alleles.count = kept;
}

}  // namespace quintle
