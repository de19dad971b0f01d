// Exact test of linkage disequilibrium between every pair of polymorphic
// loci of a phased sample: a Markov chain over the two-locus tables with the
// observed margins, P the share of steps at which the current table is no
// more probable than the observed one. The driver then prints the table of
// significant pairs and the linked-loci histogram, and hands over to the
// measures pass.

#include "haplo/ld_phased.h"

#include <cstdint>
#include <map>
#include <new>
#include <ostream>
#include <vector>

#include "core/Errors.h"
#include "core/messages.h"
#include "core/TriMat.h"
#include "data/HaploDef.h"
#include "haplo/contingency_chains.h"
#include "haplo/table_counts.h"
#include "haplo/two_locus_table.h"
#include "popstats/PopGenetics.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

namespace {

// Puts the caller's pair request back when the test ends.
class PairRequestKeeper {
public:
    explicit PairRequestKeeper(int* pair) : pair_(pair), saved_{pair[0], pair[1], pair[2]} {}
    ~PairRequestKeeper() {
        for (int i = 0; i < 3; ++i) pair_[i] = saved_[i];
    }
    PairRequestKeeper(PairRequestKeeper const&) = delete;
    PairRequestKeeper& operator=(PairRequestKeeper const&) = delete;

private:
    int* pair_;
    int saved_[3];
};

// Table of make_all_table: loci pair[1] and pair[2].
TableBuild build_pair_table(PopGenetics& p, int const* pair, FlatTable& table) {
    TwoLocusTable t;
    TableBuild const b = build_two_locus_table(p.haplotypes, p.profile.MissingData, pair[1], pair[2], t,
                                               "PopGenetics::make_all_table()");
    if (b == TableBuild::built) table = std::move(t.counts);
    return b;
}

// Table of make_all_table4: alleles of locus pair[1] crossed with the
// distinct combinations of alleles at all other loci.
TableBuild build_locus_by_rest_table(PopGenetics& p, int const* pair, FlatTable& table) {
    int const locus = pair[1];
    char const missing = p.profile.MissingData;
    AlleleNumbering rows;
    std::map<std::vector<TAllele const*>, int> columns;
    std::vector<TAllele const*> rest;
    struct Entry {
        int row, col;
        std::int64_t count;
    };
    std::vector<Entry> entries;
    std::int64_t total = 0;
    for (long i = 0; i < p.haplotypes.count; ++i) {
        PHaploDef const* e = p.haplotypes.data[i];
        if (e == nullptr || e->haplotype == nullptr) continue;
        auto const& alleles = e->haplotype->alleles;
        if (locus < 0 || locus >= alleles.count) {
            E.error(ERROR, "PopGenetics::make_all_table4()", Msg::m60_invalid_contingency_index);
            return TableBuild::failed;
        }
        if (is_missing_allele(alleles.data[locus], missing)) continue;
        rest.clear();
        for (long l = 0; l < alleles.count; ++l)
            if (l != locus) rest.push_back(alleles.data[l]);
        auto const col = columns.emplace(rest, static_cast<int>(columns.size())).first->second;
        std::int64_t const n = e->count > 0 ? e->count : 0;
        entries.push_back({rows.number(alleles.data[locus]), col, n});
        total += n;
    }
    int const k1 = rows.size();
    int const k2 = static_cast<int>(columns.size());
    if (k1 < 2 || k2 < 2) return TableBuild::monomorphic;
    if (total > max_table_total || std::int64_t{k1} * k2 > (std::int64_t{1} << 24)) {
        E.error(ERROR, "PopGenetics::make_all_table4()", Msg::m155_cannot_build_contingency_table);
        return TableBuild::failed;
    }
    table = FlatTable(k1, k2);
    for (Entry const& e : entries) table.at(e.row, e.col) += static_cast<int>(e.count);
    return TableBuild::built;
}

using TableBuilder = TableBuild (*)(PopGenetics&, int const*, FlatTable&);

// make_all_table and make_all_table4: the table into contTable.
int table_into_member(PopGenetics& p, int* pair, TableBuilder build) {
    p.clear_table(pair);
    p.contTableMonomorphic = 0;
    FlatTable t;
    TableBuild const b = build(p, pair, t);
    if (b != TableBuild::built) {
        if (b == TableBuild::monomorphic) {
            p.contTableMonomorphic = 1;
            pair[0] = pair[1] = 0;
        }
        return 0;
    }
    p.contTable.assign(static_cast<std::size_t>(t.rows) + 2, std::vector<int>(static_cast<std::size_t>(t.cols) + 2, 0));
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.cols; ++c)
            p.contTable[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = t.at(r, c);
    pair[0] = t.rows;
    pair[1] = t.cols;
    return 1;
}

ChainControl ld_control(settings const& s) {
    ChainControl c;
    c.dememorisation = s.MarkovChainDememorisationStepsLD;
    c.precision = s.PrecisionOnPValueLD;
    c.stop = &s.stopFlag;
    return c;
}

// The s.d. of P goes to `sd`: 0 when no chain runs, untouched when stopped.
double short_chain_test(PopGenetics& p, int* pair, long steps, settings& s, long& stepsDone, TableBuilder build,
                        double& sd) {
    PairRequestKeeper keep(pair);
    p.contTableMonomorphic = 0;
    FlatTable table;
    TableBuild const b = build(p, pair, table);
    if (b != TableBuild::built || steps < 1) {
        if (b == TableBuild::monomorphic) p.contTableMonomorphic = 1;
        settings::global_work_done += static_cast<double>(steps / 1000);
        settings::print_message();
        sd = 0.0;
        stepsDone = 0;
        return 1.0;
    }
    ChainOutcome const o = ld_short_chain(table, table.rows, table.cols, steps, ld_control(s));
    if (o.stopped) {
        stepsDone = 0;
        return -1000.0;
    }
    stepsDone = static_cast<long>(o.steps);
    sd = o.sd;
    return o.p;
}

// The exact test of every pair, with its printouts.
void exact_tests(PopGenetics& p, std::vector<int>& loci, long chain, TriMat& pvalues, settings& s, std::fstream& out) {
    out << "Test of linkage disequilibrium for all pairs of loci:\n"
        << "-----------------------------------------------------"
        << "\n\n\n"
        << "Exact test using a Markov chain :"
        << "\nChain length     :" << chain << "\nDememorization   :" << s.MarkovChainDememorisationStepsLD
        << "\nNote: The test is only performed for polymorphic pairs of loci"
        << "\n\n";

    int const n = static_cast<int>(loci.size());
    bool const batch = _LINKAGE_DISEQUILIBRIUM_ != 0 && ofs_link_dis_pro != nullptr;
    for (int i = 0; i < n && s.stopFlag == 0; ++i) {
        for (int j = 0; j < i && s.stopFlag == 0; ++j) {
            int pair[3] = {2, loci[static_cast<std::size_t>(j)], loci[static_cast<std::size_t>(i)]};
            long stepsDone = 0;
            // A stopped chain shows the precision asked for.
            double sd = s.PrecisionOnPValueLD;
            double const P = chain > 100000 ? p.calc_gam_des_prob3(pair, chain, s, stepsDone, sd)
                                            : p.calc_gam_des_prob2(pair, chain, s, stepsDone, sd);
            pvalues(i, j) = P;
            out << "Pair (" << loci[static_cast<std::size_t>(j)] << ", " << loci[static_cast<std::size_t>(i)]
                << ") Exact P=" << P << "  +-  " << sd << " (" << stepsDone << " Steps done)\n";
            if (batch) {
                *ofs_link_dis_pro << '"' << settings::input_file << "\"\t\"" << p.name << "\"\t"
                                  << loci[static_cast<std::size_t>(j)] << '\t' << loci[static_cast<std::size_t>(i)]
                                  << '\t' << stepsDone << '\t' << P << '\t' << sd << "\n";
            }
        }
    }

    if (s.PrintFlagHistogramLD != 3) s.PrintFlagHistogramLD = 2;
    s.print_diseq_table(pvalues, n, loci.data());
    p.print_ld_histo(n, loci.data(), pvalues, s, out);
}

}  // namespace

int test_fun19(PHaploDef const&, void*) { return 1; }

std::vector<int> polymorphic_loci(PopGenetics const& p) {
    int const nLoci = haplotype_list_loci(p.haplotypes);
    std::vector<int> loci;
    for (int l = 0; l < nLoci && static_cast<std::size_t>(l) < p.polymorphicLocus.size(); ++l)
        if (p.polymorphicLocus[static_cast<std::size_t>(l)] != 0) loci.push_back(l);
    return loci;
}

int PopGenetics::make_all_table(int* pair) {
    try {
        return table_into_member(*this, pair, build_pair_table);
    } catch (std::bad_alloc const&) {
        contTable.clear();
        E.error(MEMORY, "PopGenetics::make_all_table()", Msg::m0_not_enough_memory);
    }
    return 0;
}

int PopGenetics::make_all_table4(int* pair) {
    try {
        return table_into_member(*this, pair, build_locus_by_rest_table);
    } catch (std::bad_alloc const&) {
        contTable.clear();
        E.error(MEMORY, "PopGenetics::make_all_table4()", Msg::m0_not_enough_memory);
    }
    return 0;
}

double PopGenetics::swap_in_table(int* pair, long& seed) {
    int const k1 = pair[0];
    int const k2 = pair[1];
    bool fits = k1 >= 2 && k2 >= 2 && contTable.size() >= static_cast<std::size_t>(k1);
    for (int r = 0; fits && r < k1; ++r)
        fits = contTable[static_cast<std::size_t>(r)].size() >= static_cast<std::size_t>(k2);
    if (!fits) {
        E.error(ERROR, "PopGenetics::swap_in_table()", Msg::m60_invalid_contingency_index);
        return 0.0;
    }
    FlatTable t(k1, k2);
    for (int r = 0; r < k1; ++r)
        for (int c = 0; c < k2; ++c) t.at(r, c) = contTable[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    double const ratio = ld_chain_step(t.data(), k2, k1, k2, seed);
    for (int r = 0; r < k1; ++r)
        for (int c = 0; c < k2; ++c) contTable[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = t.at(r, c);
    return ratio;
}

double PopGenetics::calc_gam_des_prob2(int* pair, long& steps, settings& s, long& stepsDone) {
    double sd = 0.0;
    return calc_gam_des_prob2(pair, steps, s, stepsDone, sd);
}

double PopGenetics::calc_gam_des_prob2(int* pair, long& steps, settings& s, long& stepsDone, double& sd) {
    try {
        return short_chain_test(*this, pair, steps, s, stepsDone, build_pair_table, sd);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopGenetics::calc_gam_des_prob2()", Msg::m0_not_enough_memory);
    }
    return 1.0;
}

double PopGenetics::calc_gam_des_prob4(int* pair, long& steps, settings& s, long& stepsDone) {
    double sd = 0.0;
    try {
        return short_chain_test(*this, pair, steps, s, stepsDone, build_locus_by_rest_table, sd);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopGenetics::calc_gam_des_prob4()", Msg::m0_not_enough_memory);
    }
    return 1.0;
}

double PopGenetics::calc_gam_des_prob3(int* pair, long& steps, settings& s, long& stepsDone) {
    double sd = 0.0;
    return calc_gam_des_prob3(pair, steps, s, stepsDone, sd);
}

double PopGenetics::calc_gam_des_prob3(int* pair, long& steps, settings& s, long& stepsDone, double& sd) {
    if (steps < ld_batch_steps) steps = ld_batch_steps;
    long const batches = steps / ld_batch_steps + 1;
    // Every later pair of the sample starts from the enlarged length.
    steps = batches * ld_batch_steps;
    stepsDone = 0;
    if (s.stopFlag != 0) return -1000.0;
    try {
        PairRequestKeeper keep(pair);
        contTableMonomorphic = 0;
        FlatTable table;
        TableBuild const b = build_pair_table(*this, pair, table);
        if (b != TableBuild::built) {
            if (b == TableBuild::monomorphic)
                contTableMonomorphic = 1;
            else
                E.error(ERROR, "PopGenetics::calc_gam_des_prob3()", Msg::m155_cannot_build_contingency_table);
            sd = 0.0;
            return 1.0;
        }
        ChainOutcome const o = ld_long_chain(table, table.rows, table.cols, batches, ld_control(s));
        stepsDone = static_cast<long>(o.steps);
        if (o.stopped) return -1000.0;
        sd = o.sd;
        return o.p;
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopGenetics::calc_gam_des_prob3()", Msg::m0_not_enough_memory);
    }
    return 1.0;
}

void PopGenetics::calc_all_gam_des(std::fstream& out, long steps, settings& s) {
    // The line's linkage values are this sample's, with the exact test or
    // without it; a sample without two polymorphic loci has none.
    linkage_line.reset();
    if (haplotypes.count == 0) {
        E.error(ERROR, "PopGenetics::calc_all_gam_des()", Msg::m108_haplotype_list_empty);
        return;
    }
    try {
        std::vector<int> loci = polymorphic_loci(*this);
        if (loci.size() < 2) {
            E.error(WARNING, "PopGenetics::calc_all_gam_des()", Msg::m167_ld_single_locus);
            return;
        }
        TriMat pvalues(static_cast<int>(loci.size()));
        // A negative length is no length at all.
        long chain = steps < 1 ? 0 : steps;
        if (s.MakeExactTestLD != 0 && chain != 0) exact_tests(*this, loci, chain, pvalues, s, out);
        ld_measures_pass(*this, loci, s, out);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopGenetics::calc_all_gam_des()", Msg::m0_not_enough_memory);
    }
}

}  // namespace quintle
