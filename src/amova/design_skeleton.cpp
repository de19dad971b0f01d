// The frame every AMOVA design shares: the report heading and table head,
// the permutation tests of the variance components (blocks of permutations
// for the standard deviation of the P value, the tolerance within which a
// permuted value counts as equal to the observed one), the null-value files,
// the histogram of the null distributions and the batch-summary line.

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
#include "core/References.h"
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

constexpr char const* kRule = "----------------------------------------------------------------------";

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

// The working storage of one test.
struct TestState {
    std::vector<double> nulls;  // the permuted values, sorted after the loop
    std::vector<float> blocks;  // per block: values counted (greater or smaller, and equal)
    std::vector<float> bounds;  // histogram class bounds
    std::vector<long> classes;  // histogram class counts
    // Among-group tests: each permutation's arrangement of the samples.
    std::vector<FloatsAndPops> arrangements;
    long counted = 0;  // greater (or smaller, for the lowest level)
    long equal = 0;
    double p = 0.0;
};

// Sets the P value and returns its s.d. from the proportions of the blocks.
float p_value_and_sd(TestState& t, int blocks, long perBlock, long total) {
    t.p = static_cast<double>(t.counted + t.equal) / static_cast<double>(total);
    if (blocks < 2) return 0.0f;
    float const pf = static_cast<float>(t.p);
    float sum = 0.0f;
    for (int k = 0; k < blocks; ++k) {
        float const pb = t.blocks[k] / static_cast<float>(perBlock);
        sum += (pb - pf) * (pb - pf);
    }
    return std::sqrt(sum / static_cast<float>(blocks * (blocks - 1)));
}

// The three lines of one test, under a heading written before the first.
void print_significance(std::ostream& out, Amova::ComponentTest const& c, TestState const& t, long total, float sd,
                        bool& heading) {
    if (!heading) {
        out << "\nSignificance tests (" << total << " permutations)\n"
            << "------------------\n\n";
        heading = true;
    }
    double const kp = static_cast<double>(total);
    out << std::fixed << std::right << std::showpoint << std::setprecision(5);
    out << c.label << std::setw(8) << t.counted / kp << std::endl;
    out << "             P(rand. value = obs. value)  = " << std::setw(8) << t.equal / kp << std::endl;
    out << "                                  P-value = " << std::setw(8) << t.p << "+-" << sd << "\n\n";
}

// Class bounds from the smallest to the largest null value in C - 2 steps;
// class c counts the values from its bound up to the next one. Values are
// compared in single precision like the bounds, so that rounding never
// drops the smallest or largest value out of every class.
void fill_histogram(TestState& t) {
    int const C = static_cast<int>(t.bounds.size());
    if (C < 3 || t.nulls.empty()) return;
    double const lo = t.nulls.front();
    double const hi = t.nulls.back();
    float const step = static_cast<float>((hi - lo) / (C - 2));
    for (int c = 0; c < C; ++c) t.bounds[c] = static_cast<float>(lo) + static_cast<float>(c) * step;
    std::fill(t.classes.begin(), t.classes.end(), 0L);
    for (double v : t.nulls) {
        float const f = static_cast<float>(v);
        for (int c = 0; c + 1 < C; ++c) {
            if (t.bounds[c] <= f && f < t.bounds[c + 1]) {
                ++t.classes[c];
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

void Amova::print_table_start(std::ostream& out) {
    out << "\n--------------------------\n"
        << "AMOVA design and results :\n"
        << "--------------------------\n\n";
    // The sources of the method: the estimators, the analysis itself and
    // the textbook treatment of both.
    References(out, my_string("FStat_1984"), 0);
    References(out, my_string("AMOVA_1992"), 1);
    References(out, my_string("GeneticDataAnalysis_1996"), 2);
    out << std::fixed << std::right << std::showpoint;
    out << kRule << "\n"
        << " Source of                  Sum of      Variance         Percentage\n"
        << " variation      d.f.        squares     components       of variation\n"
        << kRule << "\n";
}

void Amova::print_pop_fst_table(std::ostream& out) {
    int w = 0;
    for (Population const* p : pops_by_id) w = std::max(w, p->name.length());
    w = std::max(w + 2, 10);
    std::string const dashes = std::string(static_cast<std::size_t>(w) + 16, '-') + "\n";
    out << "\n-------------------------------"
        << "\nPopulation specific FST indices\n"
        << dashes;
    out << std::right << std::setw(6) << "Pop#" << std::setw(w) << "Name" << std::setw(10) << "FST\n" << dashes;
    for (std::size_t i = 0; i < pops_by_id.size(); ++i) {
        out << std::setw(6) << i + 1 << std::setw(w) << pops_by_id[i]->name.c_str() << std::fixed << std::right
            << std::showpoint << std::setw(10) << std::setprecision(5) << (i < pop_FST.size() ? pop_FST[i] : 0.0)
            << "\n";
    }
    out << dashes << "\n";
}

void Amova::end_amova_res_line() {
    if (!amova_res_line_open) return;
    if (_AMOVA_RES_ != 0 && ofs_amova_res != nullptr) *ofs_amova_res << std::endl;
    amova_res_line_open = false;
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
    // Among-group tests: the current test's arrangements, sorted by value.
    MY_TIArrayAsVector<FloatsAndPops> records;
    bool heading = false;  // the significance heading is written
};

int Amova::run_permutation_tests(TestFrame const& f) {
    // A negative count would reach the square root below: no test then.
    long const K = nb_perm > 0 ? nb_perm : 0;
    nb_perm = K;
    if (K == 0) {
        if (_AMOVA_RES_ != 0 && ofs_amova_res != nullptr) *ofs_amova_res << std::endl;
        amova_res_line_open = false;
        return 1;
    }

    TestRun job(K);
    nb_perm = job.total;
    if (!allocate_tests(f, job)) return 0;
    if (N >= 2147483647.0 || (dist_mat != nullptr && dist_mat->MatrixSize == 2147483647)) {
        if (f.guard_message >= 0)
            E.error(f.guard_kind, f.guard_reporter != nullptr ? f.guard_reporter : f.design, f.guard_message);
        return 0;
    }
    int const batchAfter = f.batch_after >= 0 && f.batch_after < f.count ? f.batch_after : f.count - 1;
    for (int t = 0; t < f.count; ++t) {
        if (!run_component_test(f, t, job)) return 0;
        if (t == batchAfter) end_batch_line(f, job);
    }
    print_null_histograms(f, job);
    return 1;
}

bool Amova::allocate_tests(TestFrame const& f, TestRun& job) {
    int const P = static_cast<int>(pops_by_id.size());
    try {
        job.tests.resize(static_cast<std::size_t>(f.count));
        for (int t = 0; t < f.count; ++t) {
            TestState& st = job.tests[t];
            st.nulls.reserve(static_cast<std::size_t>(job.total));
            st.blocks.assign(static_cast<std::size_t>(job.blocks) + 2, 0.0f);
            if (f.tests[t].moves_samples) {
                st.arrangements.reserve(static_cast<std::size_t>(job.total));
                for (long r = 0; r < job.total; ++r) st.arrangements.emplace_back(0.0, P, pops_by_id.data());
            }
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, f.design, Msg::m0_not_enough_memory);
        return false;
    }
    try {
        for (TestState& st : job.tests) {
            st.bounds.assign(static_cast<std::size_t>(job.classes), 0.0f);
            st.classes.assign(static_cast<std::size_t>(job.classes), 0L);
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, f.histogram, Msg::m0_not_enough_memory);
        return false;
    }
    for (int t = 0; t < f.count; ++t)
        if (f.tests[t].values != nullptr) f.tests[t].values->Reallocate(static_cast<int>(job.total));
    return true;
}

bool Amova::run_component_test(TestFrame const& f, int t, TestRun& job) {
    quintle::settings& s = *settings;
    ComponentTest const& c = f.tests[t];
    TestState& st = job.tests[t];
    if (c.prepare != nullptr) (this->*c.prepare)();

    std::clock_t const start = get_sys_clock();
    if (!permute_component(f, t, job)) return false;
    if (c.moves_samples) {
        sort_by_value(job.records);
        for (long r = 0; r < job.records.count; ++r)
            st.nulls[static_cast<std::size_t>(r)] = job.records.data[r]->value;
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

    float const sd = p_value_and_sd(st, job.blocks, job.per_block, job.total);
    if (print_results != 0 && s.ResultFile != nullptr)
        print_significance(*s.ResultFile, c, st, job.total, sd, job.heading);
    if (c.p_value != nullptr) *c.p_value = st.p;
    fill_histogram(st);
    if (c.moves_samples) job.records.count = 0;  // the records stay with their state
    return true;
}

bool Amova::permute_component(TestFrame const& f, int t, TestRun& job) {
    quintle::settings& s = *settings;
    ComponentTest const& c = f.tests[t];
    TestState& st = job.tests[t];
    int const P = static_cast<int>(pops_by_id.size());
    int b = 1;
    try {
        for (long r = 0; r < job.total; ++r) {
            (this->*c.shuffle)();
            if (c.moves_samples)
                distribute_populations();
            else
                distribute_HaplotypeIndexVector();
            double const value = (this->*c.statistic)();
            if (c.after != nullptr) (this->*c.after)();

            if (std::fabs(value - c.observed) < kTieTolerance) {
                ++st.equal;
                st.blocks[b - 1] += 1.0f;
            } else if (c.smaller ? value < c.observed : value > c.observed) {
                ++st.counted;
                st.blocks[b - 1] += 1.0f;
            }
            st.nulls.push_back(value);
            if (c.values != nullptr) c.values->Add(value);
            if (c.moves_samples) {
                FloatsAndPops& a = st.arrangements[static_cast<std::size_t>(r)];
                a.value = value;
                for (int i = 0; i < a.count && i < P; ++i) a.pops[static_cast<std::size_t>(i)] = pops_by_id[i]->id;
                job.records.Add(&a);
            }

            if (r % 100 == 0) {
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
            for (long r = 0; r < job.records.count; ++r) print_p(*job.records.data[r], &file);
        } else {
            for (double v : job.tests[t].nulls) print_PML_DOUBLE(v, &file);
        }
    }
    *_AOS_ << "\t\tdone ! (" << ms << " ms)"
           << "\tResults in file : \"" << fileName << "\"\n";
}

void Amova::end_batch_line(TestFrame const& f, TestRun const& job) {
    if (_AMOVA_RES_ != 0 && ofs_amova_res != nullptr) {
        *ofs_amova_res << "\t" << job.total;
        for (int k : f.batch) {
            *ofs_amova_res << "\t";
            if (k >= 0 && k < f.count)
                *ofs_amova_res << job.tests[k].p;
            else
                *ofs_amova_res << 0;
        }
        *ofs_amova_res << std::endl;
    }
    amova_res_line_open = false;
}

void Amova::print_null_histograms(TestFrame const& f, TestRun const& job) const {
    if (settings->KeepNullDistrib == 0 || settings->ResultFile == nullptr) return;
    std::ostream& h = *settings->ResultFile;
    h << "\n\nHistogram of variance components null distributions\n"
      << "===================================================\n"
      << std::endl;
    for (int k = 0; k < f.column_count; ++k)
        h << std::right << std::setw(10) << " " << std::setw(10) << f.tests[f.columns[k]].name;
    h << std::endl;
    for (int cl = 0; cl < job.classes; ++cl) {
        for (int k = 0; k < f.column_count; ++k) {
            TestState const& st = job.tests[f.columns[k]];
            float const middle = st.bounds[cl] + (st.bounds[1] - st.bounds[0]) / 2;
            h << std::setw(10) << middle << std::setw(10) << st.classes[cl];
        }
        h << std::endl;
    }
    h << "\nObserved  values:"
      << "\n-----------------";
    for (int k = 0; k < f.column_count; ++k) {
        ComponentTest const& c = f.tests[f.columns[k]];
        h << "\n" << c.name << " : " << std::fixed << std::right << std::showpoint << std::setprecision(8)
          << c.observed;
    }
    h << std::setprecision(5) << std::endl;
}

}  // namespace quintle
