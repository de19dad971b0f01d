// The frame every AMOVA design shares: the permutation tests of the
// variance components (blocks of permutations for the standard deviation of
// the P value, the tolerance within which a permuted value counts as equal
// to the observed one, the histogram counts of the null distributions), the
// null-value files, and the snapshot of a design's components into its
// result. The report and the batch line are written from the result
// (design_print.cpp).

#include <algorithm>
#include <cmath>
#include <ctime>
#include <exception>
#include <fstream>
#include <iomanip>
#include <new>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "amova/Amova.h"
#include "amova/FloatsAndPops.h"
#include "core/Errors.h"
#include "core/MY_TIArrayAsVector.h"
#include "core/public.h"
#include "core/timing.h"
#include "data/Population.h"
#include "project/DistMat.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

namespace {

// Permuted values this close to the observed one count as equal to it: the
// same arrangement reached by another road differs only by rounding.
constexpr double kTieTolerance = 1e-10;

// Ascending, as the growable arrays sort: the smallest value (the first of
// equal ones) goes to slot 0, the rest is heap-sorted behind it.
void sort_values(std::vector<double>& v) {
    if (v.empty()) return;
    std::size_t first = 0;
    for (std::size_t i = 1; i < v.size(); ++i)
        if (v[i] < v[first]) first = i;
    if (first != 0) std::swap(v[0], v[first]);
    MY_TArrayAsVector<double>::heapsort(static_cast<int>(v.size() - 1), v.data());
}

// The working storage of one test besides its outcome.
struct TestState {
    std::vector<double> nulls;  // the permuted values, sorted after the loop
    std::vector<float> blocks;  // per block: values counted (greater or smaller, and equal)
    // Among-group tests: each permutation's arrangement of the samples.
    std::vector<FloatsAndPops> arrangements;
};

// Sets the P value and its s.d. from the proportions of the blocks.
void p_value_and_sd(AmovaTestOutcome& out, TestState const& t, int blocks, long perBlock, long total) {
    out.p = static_cast<double>(out.counted + out.equal) / static_cast<double>(total);
    out.sd = 0.0f;
    if (blocks < 2) return;
    float const pf = static_cast<float>(out.p);
    float sum = 0.0f;
    for (int k = 0; k < blocks; ++k) {
        float const pb = t.blocks[k] / static_cast<float>(perBlock);
        sum += (pb - pf) * (pb - pf);
    }
    out.sd = std::sqrt(sum / static_cast<float>(blocks * (blocks - 1)));
}

// Class bounds from the smallest to the largest null value in C - 2 steps;
// class c counts the values from its bound up to the next one. Values are
// compared in single precision like the bounds, so that rounding never
// drops the smallest or largest value out of every class.
void fill_histogram(AmovaTestOutcome& out, std::vector<double> const& nulls) {
    int const C = static_cast<int>(out.bounds.size());
    if (C < 3 || nulls.empty()) return;
    double const lo = nulls.front();
    double const hi = nulls.back();
    float const step = static_cast<float>((hi - lo) / (C - 2));
    for (int c = 0; c < C; ++c) out.bounds[c] = static_cast<float>(lo) + static_cast<float>(c) * step;
    std::fill(out.classes.begin(), out.classes.end(), 0L);
    for (double v : nulls) {
        float const f = static_cast<float>(v);
        for (int c = 0; c + 1 < C; ++c) {
            if (out.bounds[c] <= f && f < out.bounds[c + 1]) {
                ++out.classes[c];
                break;
            }
        }
    }
}

}  // namespace

void print_PML_DOUBLE(double const& x, std::ostream* out) {
    if (out == nullptr) return;
    *out << std::fixed << std::right << std::showpos << std::setprecision(10) << std::setw(13) << std::setfill('0')
         << x << std::endl;
}

void Amova::print_popvect(std::ostream* out) {
    if (out == nullptr) return;
    *out << "\nList of populations:\n" << std::endl;
    int const P = structure != nullptr ? structure->NbSamplesInGroups : static_cast<int>(pops_by_id.size());
    for (int i = 1; i <= P; ++i) {
        // The among-group test leaves pops_by_id shuffled: look the sample
        // up by its id, the number that print_p writes for it.
        Population const* found = nullptr;
        for (Population const* p : pops_by_id)
            if (p != nullptr && p->id == i - 1) found = p;
        if (found == nullptr && samples != nullptr)
            for (long k = 0; k < samples->Populations.count && found == nullptr; ++k)
                if (samples->Populations.data[k] != nullptr && samples->Populations.data[k]->id == i - 1)
                    found = samples->Populations.data[k];
        *out << "   " << i << " : " << (found != nullptr ? found->name.c_str() : "") << "\n";
    }
    *out << "\n\n";
}

// The counts of one call and the working storage of its tests.
struct Amova::TestRun {
    explicit TestRun(long K)
        : blocks(std::max(1, static_cast<int>(std::sqrt(static_cast<float>(K))))),
          per_block(K / blocks + 1),
          total(per_block * blocks),
          classes(std::clamp(static_cast<int>(std::sqrt(static_cast<float>(total))), 3, 20)),
          records(total + 1, 100) {
        records.owns = false;  // they live in their test's state
    }

    // Blocks of permutations, taken in turn, give the s.d. of the P value.
    int const blocks;
    long const per_block;
    long const total;   // permutations run: the count raised to whole blocks
    int const classes;  // histogram classes
    std::vector<TestState> tests;
    // The outcome of each test, made ready before the first test; each
    // moves into the design's result when its test starts.
    std::vector<AmovaTestOutcome> outcomes;
    // Among-group tests: the current test's arrangements, sorted by value.
    MY_TIArrayAsVector<FloatsAndPops> records;
};

void Amova::snapshot_components(AmovaDesignResult& r, int rows, int total_df) {
    r.rows = rows;
    for (int k = 0; k < 4; ++k) r.df[k] = df[k];
    r.v[0] = Va;
    r.v[1] = Vb;
    r.v[2] = Vc;
    r.v[3] = Vd;
    r.total_ss = SSDT;
    r.total_v = V_total;
    r.total_df = total_df;
    r.SSDAG = SSDAG;
    r.SSDAP = SSDAP;
    r.SSDWP = SSDWP;
    r.SSDWI = SSDWI;
    r.record_df_total = static_cast<int>(N - 1);
    r.FST = FST;
    r.FSC = FSC;
    r.FCT = FCT;
    r.FIT = FIT;
    r.FIS = FIS;
    r.names.assign(pops_by_id.size(), std::string());
    for (Population const* p : pops_by_id) {
        if (p == nullptr || p->id < 0 || static_cast<std::size_t>(p->id) >= r.names.size()) continue;
        r.names[static_cast<std::size_t>(p->id)].assign(p->name.c_str(), static_cast<std::size_t>(p->name.length()));
    }
    r.structure_order.clear();
    for (int g = 0; structure != nullptr && g < structure->NbGroups && structure->Groups; ++g) {
        PopulationGroup const& members = structure->Groups[g];
        for (long j = 0; j < members.count; ++j)
            if (Population const* p = members.data[j]) r.structure_order.push_back(p->id);
    }
    r.permutations_asked = nb_perm;
    r.computed = true;
}

void Amova::finish_pop_FIS(AmovaDesignResult& r) {
    if (nb_perm > 0 && settings->PopSpecificFIS != 0) {
        pop_FIS_counts_to_p();
        r.pop_FIS_p = pop_spare;
    }
}

int Amova::run_permutation_tests(TestFrame const& f, AmovaDesignResult& r) {
    r.batch_tests[0] = f.batch[0];
    r.batch_tests[1] = f.batch[1];
    r.batch_tests[2] = f.batch[2];
    r.batch_tests[3] = f.batch[3];
    r.batch_after = f.batch_after >= 0 && f.batch_after < f.count ? f.batch_after : f.count - 1;
    r.column_count = std::clamp(f.column_count, 0, 4);
    for (int k = 0; k < r.column_count; ++k) r.columns[k] = f.columns[k];

    // A negative count would reach the square root below: no test then.
    long const K = nb_perm > 0 ? nb_perm : 0;
    nb_perm = K;
    if (K == 0) return 1;

    TestRun job(K);
    nb_perm = job.total;
    r.permutations = job.total;
    if (!allocate_tests(f, job, r)) return 0;
    if (N >= 2147483647.0 || (dist_mat != nullptr && dist_mat->MatrixSize == 2147483647)) {
        if (f.guard_message >= 0)
            E.error(f.guard_kind, f.guard_reporter != nullptr ? f.guard_reporter : f.design, f.guard_message);
        return 0;
    }
    for (int t = 0; t < f.count; ++t) {
        if (f.tests[t].prepare != nullptr) (this->*f.tests[t].prepare)();
        r.tests.push_back(std::move(job.outcomes[static_cast<std::size_t>(t)]));
        if (!run_component_test(f, t, job, r.tests.back())) return 0;
    }
    r.tests_finished = true;
    return 1;
}

bool Amova::allocate_tests(TestFrame const& f, TestRun& job, AmovaDesignResult& r) {
    int const P = static_cast<int>(pops_by_id.size());
    try {
        job.tests.resize(static_cast<std::size_t>(f.count));
        job.outcomes.resize(static_cast<std::size_t>(f.count));
        r.tests.reserve(static_cast<std::size_t>(f.count));
        for (int t = 0; t < f.count; ++t) {
            TestState& st = job.tests[t];
            st.nulls.reserve(static_cast<std::size_t>(job.total));
            st.blocks.assign(static_cast<std::size_t>(job.blocks) + 2, 0.0f);
            if (f.tests[t].moves_samples) {
                st.arrangements.reserve(static_cast<std::size_t>(job.total));
                for (long k = 0; k < job.total; ++k) st.arrangements.emplace_back(0.0, P, pops_by_id.data());
            }
            ComponentTest const& c = f.tests[t];
            AmovaTestOutcome& out = job.outcomes[t];
            out.label = c.label;
            out.name = c.name;
            out.observed = c.observed;
            out.list = c.list;
            out.index = c.index;
            if (c.list != 0) out.values.reserve(static_cast<std::size_t>(job.total));
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, f.design, Msg::m0_not_enough_memory);
        return false;
    }
    try {
        for (AmovaTestOutcome& out : job.outcomes) {
            out.bounds.assign(static_cast<std::size_t>(job.classes), 0.0f);
            out.classes.assign(static_cast<std::size_t>(job.classes), 0L);
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, f.histogram, Msg::m0_not_enough_memory);
        return false;
    }
    // The record's values lists are reset now, those of the tests that will
    // not run included.
    r.tests_allocated = true;
    for (int t = 0; t < f.count; ++t) r.planned_lists.push_back(f.tests[t].list);
    return true;
}

bool Amova::run_component_test(TestFrame const& f, int t, TestRun& job, AmovaTestOutcome& out) {
    quintle::settings& s = *settings;
    ComponentTest const& c = f.tests[t];
    TestState& st = job.tests[t];

    std::clock_t const start = get_sys_clock();
    if (!permute_component(f, t, job, out)) return false;
    if (c.moves_samples) {
        sort_by_value(job.records);
        for (long k = 0; k < job.records.count; ++k)
            st.nulls[static_cast<std::size_t>(k)] = job.records.data[k]->value;
    } else {
        sort_values(st.nulls);
    }
    long const ms = elapsed_ms_since(start);

    my_string const& fileName = s.SigmHistoFileNames[static_cast<std::size_t>(c.file)];
    if (fileName.length() == 0) {
        E.error(c.missing_kind, f.design, 4 + c.file);
        return false;
    }
    if (s.KeepNullDistrib != 0) write_null_file(c, t, job, fileName, ms);

    p_value_and_sd(out, st, job.blocks, job.per_block, job.total);
    out.complete = true;
    fill_histogram(out, st.nulls);
    if (c.moves_samples) job.records.count = 0;  // the records stay with their state
    return true;
}

bool Amova::permute_component(TestFrame const& f, int t, TestRun& job, AmovaTestOutcome& out) {
    quintle::settings& s = *settings;
    ComponentTest const& c = f.tests[t];
    TestState& st = job.tests[t];
    int const P = static_cast<int>(pops_by_id.size());
    int b = 1;
    try {
        for (long k = 0; k < job.total; ++k) {
            (this->*c.shuffle)();
            if (c.moves_samples)
                distribute_populations();
            else
                distribute_HaplotypeIndexVector();
            double const value = (this->*c.statistic)();
            if (c.after != nullptr) (this->*c.after)();

            if (std::fabs(value - c.observed) < kTieTolerance) {
                ++out.equal;
                st.blocks[b - 1] += 1.0f;
            } else if (c.smaller ? value < c.observed : value > c.observed) {
                ++out.counted;
                st.blocks[b - 1] += 1.0f;
            }
            st.nulls.push_back(value);
            if (c.list != 0) out.values.push_back(value);
            if (c.moves_samples) {
                FloatsAndPops& a = st.arrangements[static_cast<std::size_t>(k)];
                a.value = value;
                for (int i = 0; i < a.count && i < P; ++i) a.pops[static_cast<std::size_t>(i)] = pops_by_id[i]->id;
                job.records.Add(&a);
            }

            if (k % 100 == 0) {
                quintle::settings::global_work_done += f.progress;
                quintle::settings::print_message();
                if (s.stopFlag != 0) return false;
            }
            b = b == job.blocks ? 1 : b + 1;
        }
    } catch (std::exception const&) {
        E.error(ERROR, "AMOVA::..__PERMUTE", Msg::m0_not_enough_memory);
        return false;
    }
    return true;
}

void Amova::write_null_file(ComponentTest const& c, int t, TestRun& job, my_string const& fileName, long ms) {
    std::ofstream file(fileName.c_str(), std::ios::out | std::ios::trunc);
    if (file.is_open()) {
        file << "File creation time    " << date_string << "\n"
             << "===============================================\n\n"
             << "Number of permutations : " << job.total << "\n"
             << "Time for computation   : " << ms << " ms\n\n"
             << c.title << "============\n"
             << std::endl;
        if (c.file == 0) print_popvect(&file);
        if (c.moves_samples) {
            for (long k = 0; k < job.records.count; ++k) print_p(*job.records.data[k], &file);
        } else {
            for (double v : job.tests[t].nulls) print_PML_DOUBLE(v, &file);
        }
    }
    *_AOS_ << "\t\tdone ! (" << ms << " ms)"
           << "\tResults in file : \"" << fileName << "\"\n";
}

}  // namespace quintle
