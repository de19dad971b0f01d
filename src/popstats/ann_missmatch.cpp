#include "popstats/ann_missmatch.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <span>

#include "core/Errors.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "popstats/expansion_bootstrap.h"
#include "popstats/expansion_fit_output.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char kGlobalResults[] = "glob_res.xl";
constexpr double kQuantileLevels[4] = {0.025, 0.05, 0.95, 0.975};

}  // namespace

ann_missmatch::ann_missmatch(PopGenetics* pop, settings* s) : pop_gen(pop), sets(s) {}

ann_missmatch::ann_missmatch() {
    bool exists = false;
    {
        std::ifstream probe(kGlobalResults);
        exists = probe.is_open();
    }
    trace_stream = std::make_unique<std::ofstream>(kGlobalResults, std::ios::out | std::ios::app);
    if (!exists && *trace_stream) {
        *trace_stream << "Data file\tTau\tC.I. Tau\tTheta1\tC.I. Theta1\tTheta0\tC.I. Theta0\tP-value\tSignif. 5%\tTau (R-H)"
                      << "\tTheta1 (R-H)\tTheta0 (R-H)" << "\n";
    }
}

ann_missmatch::~ann_missmatch() {
    if (trace_stream) trace_stream->close();
}

void ann_missmatch::init_data(double const& t0, double const& t1, double const& t, double const& extra) {
    theta0 = t0;
    theta1 = t1;
    tau = t;
    rate_r = extra;
    pop_size = 4000000;
    max_steps = 2000;
    tolerance = 0.001;
}

bool ann_missmatch::allocate_class_arrays(std::vector<double>& x, std::vector<double>& y,
                                          std::vector<double>& model) {
    try {
        const auto size = static_cast<std::size_t>(std::max(max_classes, 3) + 10);
        x.assign(size, 0.0);
        y.assign(size, 0.0);
        model.assign(size, 0.0);
        return true;
    } catch (std::bad_alloc const&) {
        *_AOS_ << "Unable to allocate enough memory for covar and alpha matrices\n" << "exiting\n";
        error_flag = 1;
        return false;
    }
}

int ann_missmatch::read_mismatch_pop(double* x, double* y, int& count, long& total) {
    theta0 = 1.0;
    theta1 = 5.0;
    tau = 3.0;
    num_sim_sites = 400;
    std::span<const std::int64_t> obs;
    int top = -1;
    if (pop_gen != nullptr) {
        obs = pop_gen->mismatchObs;
        top = pop_gen->lastExpMismatchClass > 0 ? pop_gen->lastExpMismatchClass : pop_gen->maxPairwiseDistance;
    }
    if (top > max_classes) top = max_classes - 1;
    // The fit reaches two entries past the top class and a simulated
    // distribution fills entries up to max_classes - 1: the top class stays
    // within both, and within the observed counts.
    top = std::min({top, max_classes - 3, static_cast<int>(obs.size()) - 1});
    int k = std::max(top, 0);
    while (k > 0 && obs[static_cast<std::size_t>(k)] == 0) --k;

    total = 0;
    for (int j = 1; j <= k + 1; ++j) {
        const std::int64_t h = j - 1 < static_cast<int>(obs.size()) ? obs[static_cast<std::size_t>(j - 1)] : 0;
        x[j] = j - 1;
        y[j] = static_cast<double>(h);
        total += static_cast<long>(h);
    }
    num_classes = k + 2;
    count = k + 2;
    for (int j = k + 2; j < max_classes; ++j) {
        x[j] = j - 1;
        y[j] = 0.0;
    }
    num_pairs = static_cast<int>(std::min<long>(total, 2147483647L));
    sample_size = static_cast<int>(0.5 * (1.0 + std::sqrt(1.0 + 8.0 * static_cast<double>(total))));
    return 1;
}

double ann_missmatch::f_i_exp(int const& i) { return sudden_expansion_class(i, theta0, theta1, tau); }

double ann_missmatch::sudden_ssd(double const* y, int count) {
    const auto classes = static_cast<std::size_t>(count > 1 ? count - 1 : 0);
    return sudden_expansion_ssd(std::span<const double>(y + 1, classes), theta0, theta1, tau, work_);
}

int ann_missmatch::hook_jeeves_rh(double*, double* y, int const& count, int const& steps, double const& tol) {
    double s1 = 10.00001;
    double s0 = 0.899999;
    double sT = 1.000001;
    double m = 1.000001;
    int c = 0;
    // One axis: the parameter tried at start + step, then at start - step
    // (after `lower`), kept only where the SSD falls strictly; the step
    // grows when it moved and shrinks when not. False when the step passes
    // 10000.
    auto axis = [&](double& value, double& step, double start, auto&& raise, auto&& lower, double& S) {
        if (step < tol) {
            step = 0.0;
            return true;
        }
        value = start + step;
        raise();
        double trial = sudden_ssd(y, count);
        if (trial < S) {
            S = trial;
        } else {
            value = start - step;
            lower();
            trial = sudden_ssd(y, count);
            if (trial < S)
                S = trial;
            else
                value = start;
        }
        step = value == start ? step * 0.500001 : step / 0.2500005;
        return step <= 10000.0;
    };
    auto nothing = [] {};
    if (steps > 0 && tol < 1.000001) {
        do {
            double S = sudden_ssd(y, count);
            const double theta0Start = theta0;
            const double tauStart = tau;
            const double t = theta1;
            if (!axis(theta1, s1, t, nothing, [&] { if (theta0 > theta1) theta0 = theta1; }, S)) break;
            if (!axis(theta0, s0, theta0Start, [&] { if (theta0 > theta1) theta1 = theta0; }, nothing, S)) break;
            if (!axis(tau, sT, tauStart, nothing, nothing, S)) break;
            m = std::max({sT, s0, s1 / (theta1 + 1.0)});
            ++c;
        } while (c < steps && m > tol);
    }
    if (m > tol) {
        if (_AOS_->good()) *_AOS_ << "\t\tno convergence after " << c << " steps (#=" << m << ")\n";
        no_convergence = 1;
    }
    ssd = sudden_ssd(y, count);
    if (theta1 > 99999.0) theta1 = 99999.0;
    return m <= tol ? 1 : 0;
}

double ann_missmatch::compute_raggedness_index(double*, double* y, int count) {
    if (count < 0) return 0.0;
    if (count < 1) return y[count] * y[count];
    double rough = 0.0;
    for (int j = 2; j <= count; ++j) rough += (y[j] - y[j - 1]) * (y[j] - y[j - 1]);
    rough += y[count] * y[count];
    double sum = 0.0;
    for (int j = 1; j <= count; ++j) sum += y[j];
    if (sum == 0.0) return rough;
    return rough / (sum * sum);
}

double ann_missmatch::calc_mean_mssm(double* x, double* y, int const& count) {
    if (count < 2) return 0.0;
    double mean = 0.0;
    for (int j = 1; j < count; ++j) mean += x[j] * y[j];
    return mean;
}

void ann_missmatch::solve_least_square_rh(std::ostream& out) {
    if (pop_gen == nullptr) return;
    std::vector<double> xs;
    std::vector<double> ys;
    std::vector<double> ms;
    if (!allocate_class_arrays(xs, ys, ms)) return;
    double* x = xs.data();
    double* y = ys.data();
    double* model = ms.data();
    int count = 0;
    long total = 0;
    read_mismatch_pop(x, y, count, total);
    if (total > 0)
        for (int j = 0; j <= count; ++j) y[j] /= static_cast<double>(total);

    hook_jeeves_rh(x, y, count, max_steps, tolerance);
    obs_ssd = ssd;
    if (error_flag == 0) {
        if (out.good()) {
            write_parameter_lines(out, {{"\nTau                                 : ", tau},
                                        {"\nTheta0                              : ", theta0},
                                        {"\nTheta1                              : ", theta1}});
            out << "\n";
        }
        if (no_convergence != 0 && out.good()) {
            out << "\nLeast-square procedure to fit expected and observed"
                << "\nmismatch distribution did not converge after " << max_steps << "steps \n"
                << "\n";
        }
        obs_raggedness = compute_raggedness_index(x, y, count);
    }
    results[0] = obs_ssd;
    results[2] = obs_raggedness;
    for (int j = 1; j <= count; ++j) model[j] = f_i_exp(j - 1);

    if (num_boot == 0 || error_flag != 0)
        write_fit_table(out, fit_table_data(x, y, model, count, total), sudden_fit_table);
    else
        make_bootstrap(x, y, model, count, max_classes, out, total);
}

void ann_missmatch::prepare_tree() {
    const int n = static_cast<int>(pop_gen->SampleSize);
    if (n >= 1 && pop_gen->tree.node_capacity() < 2 * n - 1) pop_gen->tree.allocate_tree(n);
}

void ann_missmatch::empty_hits() {
    if (pop_gen->tree.allocated()) {
        TNode::hits.count = 0;
        TNode::hits.auxCount = 0;
    }
}

void ann_missmatch::drop_mutations(double mu) {
    pop_gen->numSimMutations = states_.sprinkle(pop_gen->tree, mu, num_sim_sites, NEW_ALLELE_MUT, -1.0, 1.0, 1.0, 0.33);
}

int ann_missmatch::simulate_miss(double* x, double* y, int&) {
    if (theta1 <= 0.0 || pop_gen == nullptr) return 0;
    const double N = pop_size;
    const double u = 0.5 * theta1 / N;
    const double f = std::max(1.0 / N, theta0 / theta1);
    const double T = 0.5 * tau / (u * N);
    pop_gen->build_tree_fast_one_pop(T, f, pop_size);
    drop_mutations(u);
    const bool read = calc_mismatch(x, y, static_cast<int>(pop_gen->SampleSize), max_classes);
    empty_hits();
    return read ? 1 : 0;
}

bool ann_missmatch::calc_mismatch(double* x, double* y, int n, int capacity) {
    states_.find_sequences();  // a failure leaves no states
    if (pop_gen == nullptr || pop_gen->tree.num_genes != n || states_.num_leaves() != n) {
        *_AOS_ << "Problem with population sample size in simulation" << "\n";
        return false;
    }
    for (int j = 1; j < capacity; ++j) {
        x[j] = j - 1;
        y[j] = 0.0;
    }
    // Pairs of leaves by number of differing sites: only the hit sites can
    // differ, and leaves of one sequence do not.
    const int C = states_.num_sequences();
    const auto W = static_cast<int>(states_.hit_sites().size());
    const int lastClass = capacity - 2;
    for (int a = 0; a < C; ++a) {
        const double na = states_.copies(a);
        if (lastClass >= 0) y[1] += na * (na - 1.0) / 2.0;
        int const* ra = states_.sequence_states(a);
        for (int b = 0; b < a; ++b) {
            int const* rb = states_.sequence_states(b);
            int d = 0;
            for (int s = 0; s < W; ++s) d += ra[s] != rb[s] ? 1 : 0;
            if (d <= lastClass) y[d + 1] += na * states_.copies(b);
        }
    }
    int polymorphic = 0;
    if (C > 1) {
        int const* first = states_.sequence_states(0);
        for (int s = 0; s < W; ++s) {
            for (int c = 1; c < C; ++c) {
                if (states_.sequence_states(c)[s] != first[s]) {
                    ++polymorphic;
                    break;
                }
            }
        }
    }
    const double pairs = static_cast<double>(n) * (n - 1) / 2.0;
    if (pairs > 0.0)
        for (int j = 1; j < capacity; ++j) y[j] /= pairs;
    sim_pol_sites = polymorphic;
    return true;
}

int ann_missmatch::refit(double* x, double* y, int count) {
    if (use_rh_search != 0) return hook_jeeves_rh(x, y, count, max_steps, tolerance);
    return hook_jeeves(x, y, count, max_steps, tolerance);
}

void ann_missmatch::make_bootstrap(double* x, double* y, double* model, int& count, int const& capacity,
                                   std::ostream& out, long total) {
    const long B = num_boot;
    const std::vector<double> observed(y, y + capacity);
    const double fit0 = theta0;
    const double fit1 = theta1;
    const double fitTau = tau;
    auto restore = [&] {
        theta0 = fit0;
        theta1 = fit1;
        tau = fitTau;
    };
    p_ssd = 0.0;
    double observedMean = 0.0;
    for (int j = 1; j < capacity; ++j) observedMean += x[j] * y[j];
    BootstrapSeries series(obs_ssd, obs_raggedness, count, B);
    prepare_tree();

    // Refits that never converge would otherwise be retried for ever.
    const long maxAttempts = 20 * B;
    long attempts = 0;
    while (series.accepted() < B && attempts < maxAttempts) {
        ++attempts;
        settings::global_work_done += 1.0;
        settings::print_message();
        if (sets != nullptr && sets->stopFlag != 0) {
            restore();
            return;
        }
        restore();
        int n = 0;
        if (simulate_miss(x, y, n) == 0) continue;
        const double r = compute_raggedness_index(x, y, count);
        restore();
        if (refit(x, y, count) == 0) continue;
        double mean = 0.0;
        for (int j = 1; j < capacity; ++j) mean += x[j] * y[j];
        series.add(ssd, r, {tau, theta0, theta1}, sim_pol_sites, mean, y);
    }
    restore();
    num_boot = static_cast<int>(series.accepted());
    FitTableData table = fit_table_data(x, observed.data(), model, count, total);
    if (num_boot < B) {
        *_AOS_ << "\t\tSudden expansion bootstrap: " << num_boot << " of " << B << " replicates converged in "
               << attempts << " attempts\n";
    }
    if (num_boot == 0) {
        // As without bootstrap: the fit table, P values and quantiles 0.
        write_fit_table(out, table, sudden_fit_table);
        return;
    }
    p_ssd = series.ssd_count() / num_boot;
    const BootstrapReport report =
        series.report(std::move(table), {"Tau:", "Theta0:", "Theta1:"}, {tau, theta0, theta1}, observedMean,
                      num_pol_sites);
    alpha = interval_levels[2];
    write_bootstrap_report(out, report, sudden_bootstrap_style, sample_name);
    results[1] = report.pSSD;
    results[3] = report.pRaggedness;
    for (int row = 0; row < 3; ++row) {
        std::vector<double> const& v = report.rows[static_cast<std::size_t>(row)].sorted;
        for (int q = 0; q < 4; ++q) {
            const long at = std::clamp(quantile_position(num_boot, kQuantileLevels[q]), 0L,
                                       static_cast<long>(v.size()) - 1);
            results[4 + 4 * row + q] = v[static_cast<std::size_t>(at)];
        }
    }
}

}  // namespace quintle
