// The contingency tables of the exact test of differentiation and its two
// tests. The columns are found once per test (by hashing) and the observed
// table is copied at the start of every batch of the chain.

#include "structure/DiffInterPop.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <new>
#include <span>
#include <unordered_map>
#include <vector>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "data/TAllele.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "project/Samples.h"
#include "run/settings.h"
#include "structure/differentiation_chain.h"

namespace quintle {

namespace {

constexpr char const* haplotype_builder = "DiffInterPop::build_all_table()";
constexpr char const* genotype_builder = "DiffInterPop::build_pheno_table()";

// One count of the table before the table exists.
struct Placed {
    int row;
    int column;
    int count;
};

// A count that can stand in a cell: whole, not negative, within an int.
bool cell_count(double count, int& out) {
    if (!(count >= 0.0) || count > static_cast<double>(max_table_total)) return false;
    out = static_cast<int>(count);  // truncated, as the counts are read
    return true;
}

// Allocates the table of `rows` rows for the placed counts: one block of
// rows x (columns + 2) ints, zeroed, with the row pointers into it.
void allocate_table(DiffInterPop& d, int rows, int columns, std::vector<Placed> const& placed) {
    std::size_t const stride = static_cast<std::size_t>(columns) + 2;
    int** t = new int*[static_cast<std::size_t>(rows)];
    try {
        t[0] = new int[static_cast<std::size_t>(rows) * stride]();
    } catch (...) {
        delete[] t;
        throw;
    }
    for (int r = 1; r < rows; ++r) t[r] = t[0] + static_cast<std::size_t>(r) * stride;
    for (Placed const& p : placed) t[p.row][p.column] += p.count;
    d.table = t;
}

// Fills the record's table from placed counts, once the columns are known;
// fails without a table when there are fewer than two columns or more
// copies than a chain can count.
int finish_table(DiffInterPop& d, int rows, int columns, std::vector<Placed> const& placed, char const* builder) {
    d.numColumns = columns;
    if (columns < 2) return 0;
    std::int64_t total = 0;
    for (Placed const& p : placed) total += p.count;
    if (total > max_table_total) {
        E.error(ERROR, builder, Msg::m60_invalid_contingency_index);
        return 0;
    }
    allocate_table(d, rows, columns, placed);
    return 1;
}

int build_haplotype_rows(DiffInterPop& d, std::span<Population* const> rows) {
    d.clean_table();
    std::unordered_map<HaploDef const*, int> columnOf;
    std::vector<Placed> placed;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        Population const* pop = rows[r];
        if (pop == nullptr) {
            E.error(ERROR, haplotype_builder, Msg::m60_invalid_contingency_index);
            return 0;
        }
        PHaploDefList const& list = pop->haplotypes;
        for (long i = 0; i < list.count; ++i) {
            PHaploDef const* entry = list.data[i];
            if (entry == nullptr || entry->haplotype == nullptr || entry->count < 0) {
                E.error(ERROR, haplotype_builder, Msg::m60_invalid_contingency_index);
                return 0;
            }
            auto const [it, added] = columnOf.try_emplace(entry->haplotype, static_cast<int>(columnOf.size()));
            placed.push_back({static_cast<int>(r), it->second, entry->count});
        }
    }
    return finish_table(d, static_cast<int>(rows.size()), static_cast<int>(columnOf.size()), placed,
                        haplotype_builder);
}

// A hash that agrees with TPhenotype::operator==: the unordered allele pair
// of every locus, or the count of a phenotype without pseudo-haplotypes.
// A phenotype with only one of the two equals nothing, itself included.
bool phenotype_key(TPhenotype const& p, std::uint64_t& key) {
    if (!p.pseudo1 && !p.pseudo2) {
        key = std::bit_cast<std::uint64_t>(p.count + 0.0);
        return true;
    }
    if (!p.pseudo1 || !p.pseudo2) return false;
    long const n = p.pseudo1->alleles.count;
    if (p.pseudo2->alleles.count != n) return false;
    std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ static_cast<std::uint64_t>(n);
    for (long k = 0; k < n; ++k) {
        auto a = reinterpret_cast<std::uintptr_t>(p.pseudo1->alleles.data[k]);
        auto b = reinterpret_cast<std::uintptr_t>(p.pseudo2->alleles.data[k]);
        if (a > b) std::swap(a, b);
        h = (h ^ a) * 0x100000001B3ULL;
        h = (h ^ b) * 0x100000001B3ULL;
        h ^= h >> 29;
    }
    key = h;
    return true;
}

int build_genotype_rows(DiffInterPop& d, std::span<Population* const> rows) {
    d.clean_table();
    std::unordered_multimap<std::uint64_t, int> columnsByKey;
    std::vector<TPhenotype const*> columnPhenotype;
    std::vector<Placed> placed;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        Population const* pop = rows[r];
        if (pop == nullptr) {
            E.error(ERROR, genotype_builder, Msg::m60_invalid_contingency_index);
            return 0;
        }
        TPhenDB const& db = pop->phenotypes;
        for (long i = 0; i < db.size(); ++i) {
            TPhenotype const* ph = db[i];
            int count = 0;
            if (ph == nullptr || !cell_count(ph->count, count)) {
                E.error(ERROR, genotype_builder, Msg::m60_invalid_contingency_index);
                return 0;
            }
            std::uint64_t key = 0;
            int column = -1;
            bool const comparable = phenotype_key(*ph, key);
            if (comparable) {
                // The earliest equal column, as a scan of the columns finds it.
                auto const [first, last] = columnsByKey.equal_range(key);
                for (auto it = first; it != last; ++it)
                    if (*columnPhenotype[static_cast<std::size_t>(it->second)] == *ph &&
                        (column < 0 || it->second < column))
                        column = it->second;
            }
            if (column < 0) {
                column = static_cast<int>(columnPhenotype.size());
                columnPhenotype.push_back(ph);
                if (comparable) columnsByKey.emplace(key, column);
            }
            placed.push_back({static_cast<int>(r), column, count});
        }
    }
    return finish_table(d, static_cast<int>(rows.size()), static_cast<int>(columnPhenotype.size()), placed,
                        genotype_builder);
}

std::vector<Population*> all_samples(Samples const* set) {
    std::vector<Population*> rows;
    if (set == nullptr) return rows;
    rows.assign(set->Populations.data, set->Populations.data + set->Populations.count);
    return rows;
}

Population* sample_at(Samples const* set, int i) {
    if (set == nullptr || i < 0 || i >= set->Populations.count) return nullptr;
    return set->Populations.data[i];
}

// The record's table as the chain's flat table (the cells only), and the
// record's table freed.
FlatTable take_table(DiffInterPop& d, int rows) {
    int const columns = static_cast<int>(d.numColumns);
    FlatTable flat(rows, columns);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) flat.at(r, c) = d.table[r][c];
    d.clean_table();
    return flat;
}

}  // namespace

int DiffInterPop::build_all_table() {
    std::vector<Population*> const rows = all_samples(samples);
    return build_haplotype_rows(*this, rows);
}

int DiffInterPop::build_pheno_table() {
    std::vector<Population*> const rows = all_samples(samples);
    return build_genotype_rows(*this, rows);
}

int DiffInterPop::build_all_table(Population* a, Population* b) {
    Population* const rows[2] = {a, b};
    return build_haplotype_rows(*this, rows);
}

int DiffInterPop::build_pheno_table(Population* a, Population* b) {
    Population* const rows[2] = {a, b};
    return build_genotype_rows(*this, rows);
}

double DiffInterPop::swap_in_table(long& seed, long const& columns) {
    if (table == nullptr || columns < 2 || columns > numColumns) {
        E.error(ERROR, "DiffInterPop::swap_in_table()", Msg::m60_invalid_contingency_index);
        return 1.0;
    }
    return two_row_chain_step(table[0], static_cast<int>(numColumns) + 2, static_cast<int>(columns), seed);
}

double DiffInterPop::swap_in_table2(long& seed, long const& columns) {
    long const rows = samples != nullptr ? samples->Populations.count : 0;
    if (table == nullptr || rows < 2 || columns < 2 || columns > numColumns) {
        E.error(ERROR, "DiffInterPop::swap_in_table2()", Msg::m60_invalid_contingency_index);
        return 1.0;
    }
    return ld_chain_step(table[0], static_cast<int>(numColumns) + 2, static_cast<int>(rows),
                         static_cast<int>(columns), seed);
}

void DiffInterPop::clean_table() {
    if (table == nullptr) return;
    delete[] table[0];
    delete[] table;
    table = nullptr;
}

void DiffInterPop::clean_big_table() { clean_table(); }

namespace {

// What both tests share once their table is built: the chain and the
// record's results.
void run_test(DiffInterPop& d, int rows, bool pair) {
    settings& s = *d.runSettings;
    DifferentiationSettings chain;
    chain.steps = s.NumPermutPopDiff;
    chain.dememorisation = s.NumDememoPopDiff;
    chain.precision = s.PrecProbPopDiff;
    chain.stopAtEqual = !pair;
    chain.pairStep = pair;
    chain.stop = &s.stopFlag;
    DifferentiationOutcome out;
    try {
        FlatTable const observed = take_table(d, rows);
        out = run_differentiation_chain(observed, chain);
    } catch (std::bad_alloc const&) {
        d.clean_table();
        E.error(MEMORY, "DiffInterPop::make_diff_test()", Msg::m0_not_enough_memory);
        return;
    }
    if (out.stopped) return;
    d.pValue = out.p;
    d.pValueSD = out.sd;
    d.stepsDone = static_cast<long>(out.steps);
}

bool haplotype_table(Samples const& set) { return set.GenotypicData == 0 || set.GameticPhase != 0; }

}  // namespace

void DiffInterPop::make_sample_test() {
    pValue = -1.0;
    pValueSD = 1.0;
    stepsDone = 0;
    if (runSettings == nullptr || samples == nullptr || runSettings->NumPermutPopDiff < 1) return;
    int const built = haplotype_table(*samples) ? build_all_table() : build_pheno_table();
    if (built == 0) {
        testImpossible = 1;
        return;
    }
    run_test(*this, static_cast<int>(samples->Populations.count), false);
}

void DiffInterPop::make_diff_test() {
    pValue = -1.0;
    pValueSD = 1.0;
    stepsDone = 0;
    if (runSettings == nullptr || samples == nullptr || runSettings->NumPermutPopDiff < 1) return;
    Population* const a = sample_at(samples, firstSample);
    Population* const b = sample_at(samples, secondSample);
    int const built = haplotype_table(*samples) ? build_all_table(a, b) : build_pheno_table(a, b);
    if (built == 0) {
        testImpossible = 1;
        return;
    }
    run_test(*this, 2, true);
}

}  // namespace quintle
