#include "haplo/two_locus_em.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "core/Errors.h"
#include "core/random.h"
#include "data/TAllele.h"
#include "data/TPhenDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"

namespace quintle {

namespace {

// Beyond this many allele pairs the numbering table is not worth it.
constexpr long kMaxCells = 1L << 20;

TAllele* allele_at(TPopHaplotype const* h, int pos) {
    return h != nullptr && pos >= 0 && pos < h->alleles.count ? h->alleles.data[pos] : nullptr;
}

// Numbers alleles in order of first appearance.
struct AlleleNumbers {
    std::unordered_map<TAllele const*, int> number;
    std::vector<double> weight;
    int of(TAllele const* a) {
        auto [it, fresh] = number.try_emplace(a, static_cast<int>(weight.size()));
        if (fresh) weight.push_back(a->weight);
        return it->second;
    }
};

}  // namespace

bool TwoLocusData::prepare(TPhenDB const& phenotypes, int locusA, int locusB, double geneCopies,
                           bool mergeIdentical) {
    source_.clear();
    AlleleNumbers numA, numB;
    for (long i = 0; i < phenotypes.size(); ++i) {
        TPhenotype const* p = phenotypes[i];
        TAllele const* a1 = allele_at(p->pseudo1.get(), locusA);
        TAllele const* a2 = allele_at(p->pseudo2.get(), locusA);
        TAllele const* b1 = allele_at(p->pseudo1.get(), locusB);
        TAllele const* b2 = allele_at(p->pseudo2.get(), locusB);
        if (a1 == nullptr || a2 == nullptr || b1 == nullptr || b2 == nullptr) return false;
        if (a1->selected == 0 || a2->selected == 0 || b1->selected == 0 || b2->selected == 0) return false;
        source_.push_back({numA.of(a1), numA.of(a2), numB.of(b1), numB.of(b2), p->count, p->probability});
    }
    nA_ = static_cast<int>(numA.weight.size());
    nB_ = static_cast<int>(numB.weight.size());
    if (static_cast<long>(nA_) * nB_ > kMaxCells) return false;
    weightA_ = std::move(numA.weight);
    weightB_ = std::move(numB.weight);
    geneCopies_ = geneCopies;
    merge_ = mergeIdentical;

    // One entry per individual: the entries themselves with count 1, then
    // the further copies of each, in order.
    exploded_.clear();
    long long expected = 0;
    for (std::size_t i = 0; i < source_.size(); ++i) {
        exploded_.push_back(static_cast<int>(i));
        expected += truncate_count(source_[i].count + 0.0001);
    }
    for (std::size_t i = 0; i < source_.size(); ++i) {
        int const k = truncate_count(source_[i].count + 0.0001);
        for (int c = 1; c < k; ++c) exploded_.push_back(static_cast<int>(i));
    }
    explodeMismatch_ = expected != static_cast<long long>(exploded_.size());
    haplotypeNumber_.assign(static_cast<std::size_t>(nA_) * static_cast<std::size_t>(nB_), -1);
    std::size_t slots = 16;
    while (slots < 2 * exploded_.size() + 2 * source_.size()) slots *= 2;
    slotKeys_.assign(slots, 0);
    slotValues_.assign(slots, -1);
    return true;
}

void TwoLocusData::observed(EmProblem& problem) { build(source_, problem); }

void TwoLocusData::permuted(long& seed, EmProblem& problem) {
    long const n = 2 * static_cast<long>(exploded_.size());
    copies_.resize(static_cast<std::size_t>(n));
    for (std::size_t e = 0; e < exploded_.size(); ++e) {
        Entry const& src = source_[static_cast<std::size_t>(exploded_[e])];
        copies_[2 * e] = src.a1;
        copies_[2 * e + 1] = src.a2;
    }
    bool shuffled = true;
    for (long i = 0; i < n; ++i) {
        long const j = i + static_cast<long>((n - i) * ran3(&seed));
        if (j >= n) {
            E.error(ERROR, "TPhenDB::permute_alleles()", Msg::m107_allele_index_too_large);
            shuffled = false;
            break;
        }
        std::swap(copies_[static_cast<std::size_t>(i)], copies_[static_cast<std::size_t>(j)]);
    }
    permutedEntries_.resize(exploded_.size());
    for (std::size_t e = 0; e < exploded_.size(); ++e) {
        Entry x = source_[static_cast<std::size_t>(exploded_[e])];
        if (shuffled) {
            x.a1 = copies_[2 * e];
            x.a2 = copies_[2 * e + 1];
        }
        x.count = 1.0;
        permutedEntries_[e] = x;
    }
    build(permutedEntries_, problem);
}

int TwoLocusData::merged_slot(Entry const& e) {
    auto const lo = [](int x, int y) { return static_cast<std::uint64_t>(std::min(x, y)); };
    auto const hi = [](int x, int y) { return static_cast<std::uint64_t>(std::max(x, y)); };
    auto const nA = static_cast<std::uint64_t>(nA_);
    auto const nB = static_cast<std::uint64_t>(nB_);
    std::uint64_t const key = (((lo(e.a1, e.a2) * nA + hi(e.a1, e.a2)) * nB + lo(e.b1, e.b2)) * nB + hi(e.b1, e.b2)) + 1;
    std::size_t const mask = slotKeys_.size() - 1;
    std::size_t pos = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 17) & mask;
    while (slotKeys_[pos] != 0 && slotKeys_[pos] != key) pos = (pos + 1) & mask;
    if (slotKeys_[pos] == 0) {
        slotKeys_[pos] = key;
        slotValues_[pos] = static_cast<int>(merged_.size());
        usedSlots_.push_back(pos);
        merged_.push_back(e);
        return -1;
    }
    return slotValues_[pos];
}

int TwoLocusData::haplotype_number(int a, int b, EmProblem& problem) {
    std::size_t const cell = static_cast<std::size_t>(a) * static_cast<std::size_t>(nB_) + static_cast<std::size_t>(b);
    int& number = haplotypeNumber_[cell];
    if (number < 0) {
        number = problem.numHaplotypes++;
        usedCells_.push_back(static_cast<int>(cell));
    }
    return number;
}

void TwoLocusData::build(std::vector<Entry> const& entries, EmProblem& problem) {
    std::vector<Entry> const* list = &entries;
    if (merge_) {
        // Entries equal as unordered pairs at both loci become the first of
        // them, with the summed count.
        merged_.clear();
        for (Entry const& e : entries) {
            int const slot = merged_slot(e);
            if (slot >= 0) merged_[static_cast<std::size_t>(slot)].count += e.count;
        }
        for (std::size_t pos : usedSlots_) slotKeys_[pos] = 0;
        usedSlots_.clear();
        list = &merged_;
    }
    last_ = list;

    problem.clear();
    long long individuals = 0;
    for (Entry const& e : *list) {
        bool const hetA = e.a1 != e.a2;
        bool const hetB = e.b1 != e.b2;
        problem.add_phenotype(e.count, e.probability, !hetA && !hetB);
        int const h1 = haplotype_number(e.a1, e.b1, problem);
        int const h2 = haplotype_number(e.a2, e.b2, problem);
        problem.add_genotype(h1, h2);
        if (hetA && hetB) {
            // The second resolution exchanges the second locus.
            int const h3 = haplotype_number(e.a1, e.b2, problem);
            int const h4 = haplotype_number(e.a2, e.b1, problem);
            problem.add_genotype(h3, h4);
        }
        individuals += truncate_count(e.count);
    }
    problem.close();
    problem.geneCopies = geneCopies_;
    problem.individuals = truncate_count(static_cast<double>(individuals));
    for (int cell : usedCells_) haplotypeNumber_[static_cast<std::size_t>(cell)] = -1;
    usedCells_.clear();
}

double TwoLocusData::equilibrium_ln_likelihood() const {
    double lk = 0.0;
    if (last_ == nullptr) return lk;
    for (Entry const& e : *last_) {
        double prob = 1.0;
        prob *= weightA_[static_cast<std::size_t>(e.a1)] * weightA_[static_cast<std::size_t>(e.a2)];
        if (e.a1 != e.a2) prob *= 2.0;
        prob *= weightB_[static_cast<std::size_t>(e.b1)] * weightB_[static_cast<std::size_t>(e.b2)];
        if (e.b1 != e.b2) prob *= 2.0;
        if (!(prob > 0.0)) return kNoLikelihood;
        lk += e.count * std::log(prob);
    }
    return lk;
}

int TwoLocusData::degrees_of_freedom() const {
    if (source_.empty()) return 1;
    return (nA_ - 1) * (nB_ - 1);
}

}  // namespace quintle
