#include "haplo/TGenotIndividual.h"

#include <algorithm>
#include <new>
#include <numeric>
#include <utility>

#include "core/Errors.h"
#include "core/random.h"
#include "data/TAlleleDB.h"
#include "haplo/TGenotSample.h"

namespace quintle {

TGenotIndividual::TGenotIndividual(TGenotIndividual const& other)
    : gamete1(other.gamete1),
      gamete2(other.gamete2),
      count(other.count),
      ambiguous(other.ambiguous),
      hetPositions(other.hetPositions),
      localList(other.localList),
      localCount(other.localCount),
      hetCount(other.hetCount),
      hasMissing(other.hasMissing) {}

TGenotIndividual& TGenotIndividual::operator=(TGenotIndividual const& other) {
    if (this == &other) return *this;
    count = other.count;
    gamete1 = other.gamete1;
    gamete2 = other.gamete2;
    ambiguous = other.ambiguous;
    hasMissing = other.hasMissing;
    hetCount = other.hetCount;
    localCount = other.localCount;
    hetPositions = other.hetPositions;
    localList = other.localList;
    // A sample that mirrored the old gametes does not mirror these.
    sample_ = nullptr;
    index_ = -1;
    return *this;
}

void TGenotIndividual::allocateLoci(int const& n, bool microsat) {
    TGamete::numLoci = n;
    auto const size = static_cast<std::size_t>(std::max(n, 0));
    bool const sizes = microsat;
    for (TGamete* g : {&gamete1, &gamete2}) {
        g->alleles.assign(size, -1);
        if (sizes)
            g->sizes.assign(size, -1);
        else
            g->sizes.clear();
    }
    hetPositions.assign(size, -1);
    localList.assign(size, -1);
    window1.assign(size, VoskWindow{});
    window2.assign(size, VoskWindow{});
    visitingOrder.resize(size);
    std::iota(visitingOrder.begin(), visitingOrder.end(), 0);
    hetFlags.assign(size, 0);
    sample_ = nullptr;
    index_ = -1;
}

void TGenotIndividual::createAndFillSiteWeight(std::vector<double>& weights, double const* w, int const& n) {
    try {
        weights.assign(w, w + std::max(n, 0));
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TGenotIndividual::createAndFillSiteWeight", Msg::m0_not_enough_memory);
    }
}

bool TGenotIndividual::checkIfAmbiguousAndFillArrays(int zone) {
    int const n = static_cast<int>(std::min(gamete1.alleles.size(), gamete2.alleles.size()));
    int const* a = compared1();
    int const* b = compared2();
    auto const size = static_cast<std::size_t>(n);
    if (hetFlags.size() < size) hetFlags.assign(size, 0);
    if (hetPositions.size() < size) hetPositions.assign(size, -1);
    if (localList.size() < size) localList.assign(size, -1);
    std::fill(hetFlags.begin(), hetFlags.end(), 0);

    std::vector<int> hetLoci;
    hetCount = 0;
    for (int k = 0; k < n; ++k) {
        if (a[k] != b[k] && a[k] != -1 && b[k] != -1) {
            hetFlags[static_cast<std::size_t>(k)] = 1;
            hetLoci.push_back(k);
            ++hetCount;
        }
        if (a[k] == -1 || b[k] == -1) hasMissing = true;
    }

    int const z = zone;
    if (z < 0) {
        // Every locus is a local position, also one with a missing code:
        // the windows cover it, so the local list must name it.
        localCount = n;
        for (int k = 0; k < n; ++k) localList[static_cast<std::size_t>(k)] = k;
        for (int h = 0; h < hetCount; ++h)
            hetPositions[static_cast<std::size_t>(h)] = hetLoci[static_cast<std::size_t>(h)];
    } else {
        if (z == 0) {
            localCount = hetCount;
            for (int h = 0; h < hetCount; ++h) {
                localList[static_cast<std::size_t>(h)] = hetLoci[static_cast<std::size_t>(h)];
                hetPositions[static_cast<std::size_t>(h)] = h;
            }
        } else {
            // Up to z loci with some known code on each side of every
            // heterozygous site, the site included.
            std::vector<char> marked(size, 0);
            auto usable = [a, b](int k) { return a[k] != -1 || b[k] != -1; };
            for (int site : hetLoci) {
                int done = 0;
                for (int k = site; k >= 0 && done < z; --k)
                    if (usable(k)) marked[static_cast<std::size_t>(k)] = 1, ++done;
                done = 0;
                for (int k = site; k < n && done < z; ++k)
                    if (usable(k)) marked[static_cast<std::size_t>(k)] = 1, ++done;
            }
            localCount = 0;
            int h = 0;
            for (int k = 0; k < n; ++k) {
                if (!marked[static_cast<std::size_t>(k)]) continue;
                if (h < hetCount && hetLoci[static_cast<std::size_t>(h)] == k)
                    hetPositions[static_cast<std::size_t>(h++)] = localCount;
                localList[static_cast<std::size_t>(localCount++)] = k;
            }
        }
        std::fill(hetFlags.begin(), hetFlags.end(), 0);
        for (int h = 0; h < hetCount; ++h)
            hetFlags[static_cast<std::size_t>(hetPositions[static_cast<std::size_t>(h)])] = 1;
    }
    ambiguous = hetCount >= 2;
    return ambiguous;
}

void TGenotIndividual::bindSample(TGenotSample* sample, int index) {
    sample_ = sample;
    index_ = index;
}

void TGenotIndividual::exchangeAt(int k) {
    auto const i = static_cast<std::size_t>(k);
    std::swap(gamete1.alleles[i], gamete2.alleles[i]);
    if (!gamete1.sizes.empty()) std::swap(gamete1.sizes[i], gamete2.sizes[i]);
    if (sample_ != nullptr) sample_->mirrorExchange(index_, k);
}

void TGenotIndividual::exchangeFrom(int k) {
    int const n = static_cast<int>(gamete1.alleles.size());
    for (int l = std::max(k, 0); l < n; ++l) exchangeAt(l);
}

bool same_phase(int const* a, int const* b, int const* c, int const* d, int n) {
    bool same = true;
    bool crossed = true;
    for (int k = 0; k < n && (same || crossed); ++k) {
        if (a[k] == -1 || b[k] == -1) continue;
        same = same && a[k] == c[k] && b[k] == d[k];
        crossed = crossed && a[k] == d[k] && b[k] == c[k];
    }
    return same || crossed;
}

bool TGenotIndividual::operator==(TGenotIndividual const& other) const {
    std::size_t const n = std::min(gamete1.alleles.size(), gamete2.alleles.size());
    if (other.gamete1.alleles.size() < n || other.gamete2.alleles.size() < n) return false;
    return same_phase(gamete1.alleles.data(), gamete2.alleles.data(), other.gamete1.alleles.data(),
                      other.gamete2.alleles.data(), static_cast<int>(n));
}

int TGenotIndividual::operator-(TGenotIndividual const& other) const {
    std::size_t const n = std::min(
        {gamete1.alleles.size(), gamete2.alleles.size(), other.gamete1.alleles.size(), other.gamete2.alleles.size()});
    int const* a = gamete1.alleles.data();
    int const* b = gamete2.alleles.data();
    int const* c = other.gamete1.alleles.data();
    int const* d = other.gamete2.alleles.data();
    int mismatches = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (a[k] == -1 || b[k] == -1) continue;
        bool const same = a[k] == c[k] && b[k] == d[k];
        bool const crossed = a[k] == d[k] && b[k] == c[k];
        if (!same && !crossed) ++mismatches;
    }
    if (mismatches > 0) return -mismatches;
    // Follow the other individual's gamete carrying this one's gamete-1
    // allele from the first heterozygous locus on; each change is a switch.
    std::size_t k = 0;
    while (k < n && (a[k] == -1 || b[k] == -1 || a[k] == b[k])) ++k;
    if (k == n) return 0;
    int const* followed = c[k] == a[k] ? c : d;
    int switches = 0;
    for (++k; k < n; ++k) {
        if (a[k] == -1 || b[k] == -1) continue;
        if (followed[k] != a[k]) {
            followed = followed == c ? d : c;
            ++switches;
        }
    }
    return switches;
}

void TGenotIndividual::writePhase(std::ostream& os, TAlleleDB& db, int n, bool const* polymorphic, char missing) const {
    auto write = [&](TGamete const& g) {
        std::size_t k = 0;
        for (int l = 0; l < n; ++l) {
            if (polymorphic == nullptr || !polymorphic[l]) continue;
            int const code = k < g.alleles.size() ? g.alleles[k] : -1;
            ++k;
            TLocus const* locus = l < db.loci.count ? db.loci.data[l] : nullptr;
            TAllele const* allele =
                locus != nullptr && code >= 0 && code < locus->alleles.count ? locus->alleles.data[code] : nullptr;
            if (allele != nullptr)
                os << allele->name << " ";
            else
                os << missing << " ";
        }
    };
    os << count << "\t";
    write(gamete1);
    os << "\n\t";
    write(gamete2);
    os << "\n";
}

void permute(int* a, int n) {
    long one = 1;
    for (int i = n - 1; i > 0; --i) {
        int const j = static_cast<int>((i + 1) * ran3(&one));
        std::swap(a[i], a[std::min(j, i)]);
    }
}

TGenotIndividual const* getRandomPhase(MY_TArrayAsVector<TGenotIndividual>& list, int const& total) {
    if (list.count == 0) return nullptr;
    long one = 1;
    double const u = ran3(&one);
    double sum = 0.0;
    for (long i = 0; i < list.count; ++i) {
        sum += static_cast<double>(list.data[i].count) / total;
        if (sum >= u) return &list.data[i];
    }
    return &list.data[0];
}

}  // namespace quintle
