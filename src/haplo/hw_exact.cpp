// Hardy-Weinberg exact test of one diploid sample: per locus, and for phased
// data with whole haplotypes taken as the alleles of one locus. A Markov
// chain walks through the genotype tables with the observed allele counts;
// P is the share of its steps at which the current table is no more
// probable than the observed one.

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <new>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Errors.h"
#include "core/messages.h"
#include "data/Population.h"
#include "data/TAllele.h"
#include "data/TPhenDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "haplo/contingency_chains.h"
#include "haplo/table_counts.h"
#include "run/settings.h"

namespace quintle {

namespace {

// Beyond this many alleles (or haplotypes) a genotype table would take
// hundreds of megabytes, and a chain over it would reject nearly every move.
constexpr int max_hw_alleles = 4096;

// Whole-haplotype numbering: two pseudo-haplotypes are one allele when they
// carry the same allele objects at every locus.
class HaplotypeNumbers {
public:
    int number(TPopHaplotype const* h) {
        std::size_t key = 1469598103934665603ULL;
        for (long i = 0; i < h->alleles.count; ++i) {
            key ^= reinterpret_cast<std::uintptr_t>(h->alleles.data[i]);
            key *= 1099511628211ULL;
        }
        std::vector<int>& bucket = buckets_[key];
        for (int i : bucket)
            if (*known_[static_cast<std::size_t>(i)] == *h) return i;
        known_.push_back(h);
        bucket.push_back(static_cast<int>(known_.size()) - 1);
        return static_cast<int>(known_.size()) - 1;
    }
    int size() const { return static_cast<int>(known_.size()); }

private:
    std::vector<TPopHaplotype const*> known_;
    std::unordered_map<std::size_t, std::vector<int>> buckets_;
};

struct GenotypeEntry {
    int a, b;
    std::int64_t count;
};

enum class Build { built, too_few, failed };

// The genotype table of a locus (sel[1] >= 0) or of whole haplotypes, as a
// flat k x k block; sets sel[0] and the monomorphic flag as the table
// member does.
Build build_hw_flat(Population& p, int* sel, FlatTable& table) {
    p.contTableMonomorphic = 0;
    int const locus = sel[1];
    char const missing = p.profile.MissingData;
    std::vector<GenotypeEntry> entries;
    entries.reserve(static_cast<std::size_t>(p.phenotypes.size()));
    AlleleNumbering alleles;
    HaplotypeNumbers haplotypes;

    for (long i = 0; i < p.phenotypes.size(); ++i) {
        TPhenotype const* ph = p.phenotypes[i];
        if (ph == nullptr || !ph->pseudo1 || !ph->pseudo2) continue;
        std::int64_t const n = whole_count(ph->count);
        if (locus >= 0) {
            if (locus >= ph->pseudo1->alleles.count || locus >= ph->pseudo2->alleles.count) {
                E.error(ERROR, "Population::make_hw_table() ", Msg::m60_invalid_contingency_index);
                sel[0] = 0;
                return Build::failed;
            }
            TAllele const* x = ph->pseudo1->alleles.data[locus];
            TAllele const* y = ph->pseudo2->alleles.data[locus];
            if (is_missing_allele(x, missing) || is_missing_allele(y, missing)) continue;
            int const a = alleles.number(x);
            int const b = alleles.number(y);
            entries.push_back({a, b, n});
        } else {
            int const a = haplotypes.number(ph->pseudo1.get());
            int const b = haplotypes.number(ph->pseudo2.get());
            entries.push_back({a, b, n});
        }
    }

    int const k = locus >= 0 ? alleles.size() : haplotypes.size();
    if (k < 2) {
        sel[0] = 0;
        if (locus >= 0) p.contTableMonomorphic = 1;
        return Build::too_few;
    }
    std::int64_t total = 0;
    for (GenotypeEntry const& e : entries) total += e.count;
    if (k > max_hw_alleles || total > max_table_total) {
        E.error(ERROR, "Population::make_hw_table()", Msg::m155_cannot_build_contingency_table);
        sel[0] = 0;
        return Build::failed;
    }
    sel[0] = k;
    table = FlatTable(k, k);
    for (GenotypeEntry const& e : entries) {
        int const lo = e.a < e.b ? e.a : e.b;
        int const hi = e.a < e.b ? e.b : e.a;
        table.at(lo, hi) += static_cast<int>(e.count);
    }
    return Build::built;
}

ChainControl hw_control(settings const& s) {
    ChainControl c;
    c.dememorisation = s.MarkovChainDememorisationStepsHW;
    c.precision = s.PrecisionOnPValueHW;
    c.stop = &s.stopFlag;
    return c;
}

// What both tests do before running a chain. True when a chain is to run;
// otherwise the test gives P = 1 with no spread and no step.
bool prepare_hw_test(Population& p, long steps, long& stepsDone, int* sel, FlatTable& table, double& sd) {
    Build const b = build_hw_flat(p, sel, table);
    if (b == Build::too_few) {
        settings::global_work_done += static_cast<double>(steps);
        settings::print_message();
    }
    // Fewer than two alleles, or a chain length of 0, which would leave the
    // bins undefined: no chain, no spread.
    if (b != Build::built || steps < 1) {
        stepsDone = 0;
        sd = 0.0;
        return false;
    }
    return true;
}

// A stopped chain gives -1000 and leaves `sd` alone.
double finish_hw_test(ChainOutcome const& o, double& status, long& stepsDone, double& sd) {
    if (o.stopped) {
        stepsDone = 0;
        return -1000.0;
    }
    stepsDone = static_cast<long>(o.steps);
    sd = o.sd;
    status = 0.0;
    return o.p;
}

void write_chain_heading(std::ostream& out, char const* what, settings const& s) {
    out << "\nExact test using a Markov chain (for all " << what << "):"
        << "\nForecasted chain length     :" << s.MarkovChainStepsHW
        << "\nDememorization steps        :" << s.MarkovChainDememorisationStepsHW << "\n\n";
}

void write_rule(std::ostream& out) { out << std::string(72, '-') << "\n"; }

}  // namespace

int Population::make_hw_table(int* sel) {
    clear_table(sel);
    FlatTable table;
    try {
        Build const b = build_hw_flat(*this, sel, table);
        if (b == Build::failed) return 0;
        if (b == Build::too_few) return 1;
        int const k = sel[0];
        contTable.assign(static_cast<std::size_t>(k) + 2, std::vector<int>(static_cast<std::size_t>(k) + 2, 0));
        for (int r = 0; r < k; ++r)
            for (int c = 0; c < k; ++c)
                contTable[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = table.at(r, c);
    } catch (std::bad_alloc const&) {
        contTable.clear();
        E.error(MEMORY, "Population::make_hw_table()", Msg::m0_not_enough_memory);
    }
    return 1;
}

void Population::clear_table(int*) { std::vector<std::vector<int>>().swap(contTable); }

double Population::swap_in_table2(int* sel, long& seed) {
    int const k = sel[0];
    if (k < 2 || contTable.size() < static_cast<std::size_t>(k)) {
        E.error(ERROR, "Population::swap_in_table2()", Msg::m60_invalid_contingency_index);
        return 1.0;
    }
    FlatTable t(k, k);
    for (int r = 0; r < k; ++r) {
        if (contTable[static_cast<std::size_t>(r)].size() < static_cast<std::size_t>(k)) {
            E.error(ERROR, "Population::swap_in_table2()", Msg::m60_invalid_contingency_index);
            return 1.0;
        }
        for (int c = 0; c < k; ++c) t.at(r, c) = contTable[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    }
    double const ratio = hw_chain_step(t.data(), k, k, seed);
    for (int r = 0; r < k; ++r)
        for (int c = 0; c < k; ++c) contTable[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = t.at(r, c);
    return ratio;
}

double Population::make_hw_test2(long const& steps, double& status, settings& s, long& stepsDone, int* sel) {
    double sd = 0.0;
    return make_hw_test2(steps, status, s, stepsDone, sel, sd);
}

double Population::make_hw_test2(long const& steps, double& status, settings& s, long& stepsDone, int* sel,
                                 double& sd) {
    clear_table(sel);
    FlatTable table;
    try {
        if (!prepare_hw_test(*this, steps, stepsDone, sel, table, sd)) return 1.0;
        return finish_hw_test(hw_single_chain(table, sel[0], steps, hw_control(s)), status, stepsDone, sd);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "Population::make_hw_test2()", Msg::m0_not_enough_memory);
    }
    return 1.0;
}

double Population::make_hw_test3(long const& steps, double& status, settings& s, long& stepsDone, int* sel) {
    double sd = 0.0;
    return make_hw_test3(steps, status, s, stepsDone, sel, sd);
}

double Population::make_hw_test3(long const& steps, double& status, settings& s, long& stepsDone, int* sel,
                                 double& sd) {
    clear_table(sel);
    FlatTable table;
    try {
        if (!prepare_hw_test(*this, steps, stepsDone, sel, table, sd)) return 1.0;
        return finish_hw_test(hw_batched_chain(table, sel[0], steps, hw_control(s)), status, stepsDone, sd);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "Population::make_hw_test3()", Msg::m0_not_enough_memory);
    }
    return 1.0;
}

void Population::compute_locus_heterozygosity(int const& locus, double& observed, double& expected, long& genotypes) {
    char const missing = profile.MissingData;
    AlleleNumbering alleles;
    std::vector<std::int64_t> copies;
    std::int64_t N = 0;
    std::int64_t H = 0;
    auto add_copies = [&](TAllele const* a, std::int64_t n) {
        auto const i = static_cast<std::size_t>(alleles.number(a));
        if (i == copies.size()) copies.push_back(0);
        copies[i] += n;
    };
    for (long i = 0; i < phenotypes.size(); ++i) {
        TPhenotype const* ph = phenotypes[i];
        if (ph == nullptr || !ph->pseudo1 || !ph->pseudo2) continue;
        if (locus < 0 || locus >= ph->pseudo1->alleles.count || locus >= ph->pseudo2->alleles.count) continue;
        TAllele const* x = ph->pseudo1->alleles.data[locus];
        TAllele const* y = ph->pseudo2->alleles.data[locus];
        if (is_missing_allele(x, missing) || is_missing_allele(y, missing)) continue;
        std::int64_t const n = whole_count(ph->count);
        N += n;
        if (x != y) H += n;
        add_copies(x, n);
        add_copies(y, n);
    }
    genotypes = static_cast<long>(N);
    observed = 0.0;
    expected = 0.0;
    if (N == 0) return;
    double const n = static_cast<double>(N);
    double sumSquares = 0.0;
    for (std::int64_t c : copies) sumSquares += static_cast<double>(c) * static_cast<double>(c);
    observed = static_cast<double>(H) / n;
    expected = (2.0 * n / (2.0 * n - 1.0)) * (1.0 - sumSquares / (4.0 * n * n));
}

int Population::make_hw_test1(TPhenDB const& source, double& statistic, settings& s, int* sel) {
    TPhenDB single;
    int const selection[2] = {1, sel[1]};
    single.create_temp_PhenDB(selection, source);
    if (s.EMCheckPhenRedundancy != 0) single.check_pheno_redundancy();
    statistic = single.hw_chi_stat(alleleDB, sel[1], profile.MissingData, degreesOfFreedom);
    return 0;
}

void Population::make_all_hw(std::fstream& out, TPhenDB const& source, long const& steps, settings& s) {
    int const nLoci = source.num_loci();
    int const type = s.TypeOfTestHW;
    bool const phased = profile.GameticPhase != 0;
    bool const lociTested = !(type == 1 && phased);

    if (lociTested) write_chain_heading(out, "Loci", s);
    write_rule(out);
    out << std::setw(5) << "Locus" << std::setw(8) << "#Genot" << std::setw(15) << "Obs.Het." << std::setw(13)
        << "Exp.Het." << std::setw(10) << "P-value" << std::setw(9) << "s.d." << std::setw(13) << "Steps done\n";
    write_rule(out);

    long stepsDone = 0;
    double status = 0.0;
    int sel[2] = {1, 0};
    for (int l = 0; l < nLoci; ++l) {
        sel[0] = 1;
        sel[1] = l;
        if (s.MakeHWExactTest != 0 && lociTested) {
            out << std::setw(5) << l + 1;
            // A stopped chain shows P = 1 with the precision asked for.
            double sd = s.PrecisionOnPValueHW;
            double P = make_hw_test2(steps, status, s, stepsDone, sel, sd);
            if (P == -1000.0) P = 1.0;
            if (contTableMonomorphic == 0) {
                double obs = 0.0, exp = 0.0;
                long genotypes = 0;
                compute_locus_heterozygosity(l, obs, exp, genotypes);
                out << std::fixed << std::setprecision(5) << std::setw(8) << genotypes << std::setw(14) << obs
                    << std::setw(13) << exp << std::setw(11) << P << std::setw(9) << sd << std::setw(12)
                    << stepsDone;
            } else {
                out << "   This locus is monomorphic: no test done.";
            }
        }
        out << "\n";
    }
    write_rule(out);

    if (s.MakeHWExactTest != 0 && (type == 1 || type == 2) && phased) {
        write_chain_heading(out, "Haplotypes", s);
        out << "Markov Chain test:  P value : ";
        sel[0] = 1;
        sel[1] = -1;
        double sd = s.PrecisionOnPValueHW;
        double const P = steps <= 200000 ? make_hw_test2(steps, status, s, stepsDone, sel, sd)
                                         : make_hw_test3(steps, status, s, stepsDone, sel, sd);
        out << std::fixed << std::setprecision(5) << P << " +/- " << std::setw(10) << sd << std::setw(8) << " ("
            << stepsDone << " steps done\n";
    }
    out << "\n" << std::endl;
}

}  // namespace quintle
