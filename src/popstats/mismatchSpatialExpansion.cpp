#include "popstats/mismatchSpatialExpansion.h"

#include <algorithm>
#include <new>
#include <span>
#include <string>

#include "core/Errors.h"
#include "core/random.h"
#include "popstats/PopGenetics.h"
#include "popstats/expansion_bootstrap.h"
#include "popstats/expansion_fit_output.h"
#include "run/settings.h"

namespace quintle {

namespace {

// The largest single-precision value: the best SSD before any restart.
constexpr double kLargest = 3.4028234663852886e38;
constexpr double kQuantileLevels[4] = {0.025, 0.05, 0.95, 0.975};

std::span<const double> classes(double const* y, int c) {
    return std::span<const double>(y + 1, static_cast<std::size_t>(c > 1 ? c - 1 : 0));
}

}  // namespace

mismatchSpatialExpansion::mismatchSpatialExpansion(PopGenetics* sample, settings* s) {
    trace_stream.reset();
    pop_gen = sample;
    sets = s;
}

void mismatchSpatialExpansion::init_data(double const& t0, double const& t1, double const& t, double const& m,
                                         double const& fifth) {
    theta0 = t0;
    theta1 = t1;
    tau = t;
    M = m;
    extra_value = fifth;
    pop_size = 4000000;
    max_steps = 2000;
    tolerance = 0.001;
}

double mismatchSpatialExpansion::f_i_spatial_exp_3p(int const& i) { return spatial_expansion_class_3p(i, params()); }
double mismatchSpatialExpansion::f_i_spatial_exp_4p(int const& i) { return spatial_expansion_class_4p(i, params()); }

double mismatchSpatialExpansion::f_S_Spatial_Exp_3p(double* x, double* y, int const& c) {
    double sum = 0.0;
    for (int k = 1; k < c; ++k) {
        const double d = f_i_spatial_exp_3p(static_cast<int>(x[k])) - y[k];
        sum += d * d;
    }
    return sum;
}

double mismatchSpatialExpansion::f_S_Spatial_Exp_4p(double* x, double* y, int const& c) {
    double sum = 0.0;
    for (int k = 1; k < c; ++k) {
        const double d = f_i_spatial_exp_4p(static_cast<int>(x[k])) - y[k];
        sum += d * d;
    }
    return sum;
}

double mismatchSpatialExpansion::ssd_3p(double const* y, int c) {
    return spatial_expansion_ssd_3p(classes(y, c), params(), work_);
}

double mismatchSpatialExpansion::ssd_4p(double const* y, int c) {
    return spatial_expansion_ssd_4p(classes(y, c), params(), work_);
}

mismatchSpatialExpansion::StartScale mismatchSpatialExpansion::start_scale(double const* y, int c) {
    StartScale s;
    const double F0 = y[1];
    s.M0 = F0 > 0.0 ? 1.0 / F0 - 1.0 : 100.0;
    for (int j = 0; j <= c - 2; ++j) s.mean += j * y[j + 1];
    return s;
}

int mismatchSpatialExpansion::hook_jeeves_spatial_exp_3_par(double*, double* y, int const& c, int const& stepLimit,
                                                           double const& tol) {
    const StartScale sc = start_scale(y, c);
    const double m = sc.mean;
    // One move: + step, then - step, kept only where the SSD falls
    // strictly; the step grows fourfold when the parameter moved and halves
    // when not. False when the step passes 10000.
    auto move = [&](double& value, double& step, double& S) {
        if (step < tol) {
            step = 0.0;
            return true;
        }
        const double old = value;
        value = old + step;
        double trial = ssd_3p(y, c);
        if (trial < S) {
            S = trial;
        } else {
            value = old - step;
            trial = ssd_3p(y, c);
            if (trial < S)
                S = trial;
            else
                value = old;
        }
        step *= value != old ? 4.0 : 0.5;
        return step <= 10000.0;
    };
    double bestSSD = kLargest;
    double best[4] = {theta0, theta1, tau, M};
    bool converged = false;
    long seed = 1;
    for (int restart = 0; restart < 3; ++restart) {
        const double u1 = ran3(&seed);
        const double u2 = ran3(&seed);
        const double u3 = ran3(&seed);
        theta0 = theta1 = 5.0 * u1;
        tau = 1.5 * m * u2 + m / 2.0;
        M = 1.5 * sc.M0 * u3 + sc.M0 / 2.0;
        double sTheta = 0.95;
        double sTau = m / 2.0 + 0.5;
        double sM = sc.M0 / 2.0 + 0.5;
        double largest = std::max({sTau, sTheta, sM / 20.0});
        if (stepLimit >= 1 && sTheta > tol) {
            for (int iter = 0;;) {
                double S = ssd_3p(y, c);
                if (!move(M, sM, S)) break;
                const bool thetaMoved = move(theta1, sTheta, S);
                theta0 = theta1;
                if (!thetaMoved || !move(tau, sTau, S)) break;
                largest = std::max({sTau, sTheta, sM / 20.0});
                if (largest <= tol || ++iter >= stepLimit) break;
            }
        }
        const double finalSSD = ssd_3p(y, c);
        if (finalSSD < bestSSD) {
            bestSSD = finalSSD;
            best[0] = theta0;
            best[1] = theta1;
            best[2] = tau;
            best[3] = M;
        }
        if (largest < tol) converged = true;
    }
    theta0 = best[0];
    theta1 = best[1];
    tau = best[2];
    M = best[3];
    if (M > 99999.0) M = 99999.0;
    no_convergence = converged ? 0 : 1;
    ssd = bestSSD;
    return converged ? 1 : 0;
}

int mismatchSpatialExpansion::hook_jeeves_spatial_exp_4_par(double*, double* y, int const& c, int const& stepLimit,
                                                           double const& tol) {
    const StartScale sc = start_scale(y, c);
    const double m = sc.mean;
    // One move: `up` + step, then `start` - step, else back to `start`; the
    // step halves when the parameter ends at `start`.
    auto move = [&](double& value, double& step, double up, double start, auto&& lower, double& S) {
        if (step < tol) {
            step = 0.0;
            return;
        }
        value = up + step;
        double trial = ssd_4p(y, c);
        if (trial < S) {
            S = trial;
        } else {
            value = start - step;
            lower();
            trial = ssd_4p(y, c);
            if (trial < S)
                S = trial;
            else
                value = start;
        }
        if (value == start) step *= 0.5;
    };
    auto nothing = [] {};
    // The steps carry over from one restart to the next.
    double sTheta1 = 0.95;
    double sTau = 0.89;
    double sM = 1.1;
    double sTheta0 = 1.0;
    double largest = 0.95;
    double bestSSD = kLargest;
    double best[4] = {theta0, theta1, tau, M};
    long seed = 1;
    for (int restart = 0; restart < 10; ++restart) {
        const double u1 = ran3(&seed);
        const double u2 = ran3(&seed);
        const double u3 = ran3(&seed);
        const double u4 = ran3(&seed);
        theta1 = 5.0 * u1;
        theta0 = 2.0 * u2;
        tau = 1.5 * m * u3 + m / 2.0;
        M = 1.5 * sc.M0 * u4 + sc.M0 / 2.0;
        int iter = 0;
        for (;;) {
            double S = ssd_4p(y, c);
            ssd = S;
            if (!(iter < stepLimit && largest > tol)) break;
            const double theta0Noted = theta0;
            const double tauNoted = tau;
            const double MNoted = M;
            const double theta1Noted = theta1;
            move(theta1, sTheta1, theta1Noted, theta1Noted, [&] { if (theta0 > theta1) theta0 = theta1; }, S);
            move(tau, sTau, tau, tauNoted, nothing, S);
            move(M, sM, M, MNoted, nothing, S);
            move(theta0, sTheta0, theta0, theta0Noted, nothing, S);
            largest = std::max({sTau, sTheta0 / 10.0, sTheta1, sM / 20.0});
            ++iter;
        }
        if (ssd < bestSSD) {
            bestSSD = ssd;
            best[0] = theta0;
            best[1] = theta1;
            best[2] = tau;
            best[3] = M;
        }
        if (largest > tol) {
            if (_AOS_->good()) *_AOS_ << "\t\tno convergence after" << iter << " steps (#=" << largest << ")\n";
            no_convergence = 1;
        }
    }
    ssd = bestSSD;
    theta0 = best[0];
    theta1 = best[1];
    tau = best[2];
    M = best[3];
    return largest <= tol ? 1 : 0;
}

bool mismatchSpatialExpansion::observed(std::vector<double>& xs, std::vector<double>& ys, std::vector<double>& ms,
                                        int& c, long& total) {
    if (pop_gen == nullptr || !allocate_class_arrays(xs, ys, ms)) return false;
    read_mismatch_pop(xs.data(), ys.data(), c, total);
    M = 2.0;
    if (total > 0)
        for (int j = 0; j <= c; ++j) ys[static_cast<std::size_t>(j)] /= static_cast<double>(total);
    return true;
}

void mismatchSpatialExpansion::solve_least_square_spatial_expansion_3_par(std::ostream& out) {
    std::vector<double> xs;
    std::vector<double> ys;
    std::vector<double> ms;
    int c = 0;
    long total = 0;
    if (!observed(xs, ys, ms, c, total)) return;
    double* x = xs.data();
    double* y = ys.data();
    double* model = ms.data();
    const int converged = hook_jeeves_spatial_exp_3_par(x, y, c, max_steps, tolerance);
    if (out.good()) {
        out << "\n\n===============================================================\n"
            << "Parameters of the spatial expansion assuming constant deme size\n"
            << "===============================================================\n\n";
    }
    if (converged == 0) {
        out << "\nLeast-square procedure to fit expected to observed mismatch distribution\n"
            << "did not converge after " << max_steps << " steps\n"
            << std::endl;
    }
    write_parameter_lines(out, {{"\nTau                                 : ", tau},
                                {"\nTheta                               : ", theta1},
                                {"\nM                                   : ", M}});
    out << std::endl;
    obs_raggedness = compute_raggedness_index(x, y, c);
    obs_ssd = ssd;
    results[0] = ssd;
    results[2] = obs_raggedness;
    for (int k = 1; k <= c; ++k) model[k] = f_i_spatial_exp_3p(static_cast<int>(x[k]));
    if (num_boot > 0 && error_flag == 0)
        make_bootstrap_spatial_exp(x, y, model, c, max_classes, out, total);
    else
        write_fit_table(out, fit_table_data(x, y, model, c, total), spatial_fit_table);
    error_flag = 0;
}

void mismatchSpatialExpansion::solve_least_square_spatial_expansion_4_par(std::ostream& out) {
    std::vector<double> xs;
    std::vector<double> ys;
    std::vector<double> ms;
    int c = 0;
    long total = 0;
    if (!observed(xs, ys, ms, c, total)) return;
    double* x = xs.data();
    double* y = ys.data();
    double* model = ms.data();
    hook_jeeves_spatial_exp_4_par(x, y, c, max_steps, tolerance);
    if (out.good()) {
        out << "\n\nParameters of the spatial expansion assuming different deme size before (theta0) and after "
               "(theta1) expansion\n"
            << std::string(109, '-') << "\n\n";
    }
    if (no_convergence != 0) {
        out << "\nLeast square procedure to fit model mismatch distribution\n"
            << "and observed distribution did not converge after " << max_steps << std::endl
            << "steps\n"
            << std::endl;
    }
    write_parameter_lines(out, {{"\nTau                                 : ", tau},
                                {"\nTheta0                              : ", theta0},
                                {"\nTheta1                              : ", theta1},
                                {"\nM                                   : ", M}});
    out << std::endl;
    obs_raggedness = compute_raggedness_index(x, y, c);
    obs_ssd = ssd;
    results[0] = ssd;
    results[2] = obs_raggedness;
    for (int k = 1; k <= c; ++k) model[k] = f_i_spatial_exp_4p(static_cast<int>(x[k]));
    write_fit_table(out, fit_table_data(x, y, model, c, total), spatial_fit_table);
    error_flag = 0;
}

bool mismatchSpatialExpansion::simulate_spatial_exp(double* x, double* y, int&) {
    if (theta1 <= 0.0 || pop_gen == nullptr) return false;
    const double N = pop_size;
    pop_gen->build_tree_fast_range_exp(tau / theta1, M / 2.0, pop_size);
    drop_mutations(theta1 / (2.0 * N));
    const bool read = calc_mismatch(x, y, static_cast<int>(pop_gen->SampleSize), max_classes);
    empty_hits();
    return read;
}

void mismatchSpatialExpansion::make_bootstrap_spatial_exp(double* x, double* y, double* model, int& c,
                                                          int const& maxClasses, std::ostream& out, long total) {
    const long R = num_boot;
    const std::vector<double> observedY(y, y + maxClasses);
    const double observedMean = calc_mean_mssm(x, y, c);
    prepare_tree();
    const double fitTheta = theta1;
    const double fitTau = tau;
    const double fitM = M;
    // The one-deme Theta is in both slots; the refits move both.
    auto restore = [&] {
        theta0 = theta1 = fitTheta;
        tau = fitTau;
        M = fitM;
    };
    BootstrapSeries series(obs_ssd, obs_raggedness, c, R);
    for (long r = 0; r < R; ++r) {
        settings::global_work_done += 1.0;
        settings::print_message();
        if (sets != nullptr && sets->stopFlag != 0) {
            restore();
            return;
        }
        restore();
        if (!simulate_spatial_exp(x, y, c)) continue;
        const double raggedness = compute_raggedness_index(x, y, c);
        restore();
        if (hook_jeeves_spatial_exp_3_par(x, y, c, max_steps, tolerance) == 0) continue;
        series.add(ssd, raggedness, {tau, M, theta1}, sim_pol_sites, calc_mean_mssm(x, y, maxClasses), y);
    }
    restore();
    std::copy(observedY.begin(), observedY.end(), y);
    num_boot = static_cast<int>(series.accepted());
    FitTableData table = fit_table_data(x, y, model, c, total);
    if (num_boot < R) {
        *_AOS_ << "\t\tSpatial expansion bootstrap: " << num_boot << " of " << R << " replicates converged\n";
    }
    if (num_boot == 0) {
        // As without bootstrap: the fit table, P values and quantiles 0.
        write_fit_table(out, table, spatial_fit_table);
        return;
    }
    const BootstrapReport report =
        series.report(std::move(table), {"Tau:", "M:", "Theta:"}, {fitTau, fitM, fitTheta}, observedMean,
                      num_pol_sites);
    alpha = interval_levels[2];
    write_bootstrap_report(out, report, spatial_bootstrap_style, sample_name);
    results[1] = report.pSSD;
    results[3] = report.pRaggedness;
    double* stored[3] = {results + 4, M_quantiles, results + 8};
    for (int row = 0; row < 3; ++row) {
        std::vector<double> const& v = report.rows[static_cast<std::size_t>(row)].sorted;
        for (int q = 0; q < 4; ++q) {
            const long at = std::clamp(quantile_position(num_boot, kQuantileLevels[q]), 0L,
                                       static_cast<long>(v.size()) - 1);
            stored[row][q] = v[static_cast<std::size_t>(at)];
        }
    }
}

}  // namespace quintle
