#include "data/TAllele.h"

#include <algorithm>
#include <new>

namespace quintle {

int TAllele::numPop = 0;
int TAllele::numGroup = 0;

FreqArray FreqArray::zeros(int n) {
    if (n < 0) throw std::bad_array_new_length();
    FreqArray array;
    array.values_ = new double[static_cast<std::size_t>(n)]();
    array.size_ = n;
    array.owned_ = true;
    return array;
}

FreqArray FreqArray::resized_copy(FreqArray const& source, int n) {
    if (!source) return FreqArray();
    FreqArray array = zeros(n);
    std::copy_n(source.values_, std::min(n, source.size_), array.values_);
    return array;
}

TAllele::TAllele() : name("UNDEF") {}

TAllele::TAllele(TAllele const& other) : name("") { *this = other; }

TAllele& TAllele::operator=(TAllele const& other) {
    if (this == &other) return *this;
    // Both arrays first, so a failed allocation leaves this allele untouched.
    FreqArray pop = FreqArray::resized_copy(other.popFreq, numPop);
    FreqArray group = FreqArray::resized_copy(other.groupFreq, numGroup);
    name = other.name;
    weight = other.weight;
    locus = other.locus;
    selected = other.selected;
    expFreq = other.expFreq;
    inbreedingCorr = other.inbreedingCorr;
    popFreq = std::move(pop);
    groupFreq = std::move(group);
    return *this;
}

std::ostream& operator<<(std::ostream& os, TAllele const& allele) { return os << allele.name; }

}  // namespace quintle
