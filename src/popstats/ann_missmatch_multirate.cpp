// The multi-rate path of the sudden-expansion fit: a sequence of finitely
// many sites in rate classes, where k mutations leave i differences with the
// probability H[i][k] of the combined H table. No analysis calls it.

#include <algorithm>
#include <cmath>
#include <fstream>

#include "core/Errors.h"
#include "popstats/ann_missmatch.h"
#include "popstats/expansion_fit_output.h"

namespace quintle {

void ann_missmatch::init_f_i_exp_vect(double const& eps, int& len) {
    if (theta0 <= 0.0) theta0 = 1e-7;
    if (tau <= 0.0) tau = 1e-7;
    if (theta1 <= 0.0) theta1 = 1e-7;
    const double c = (theta1 + 1.0) / theta1;
    constexpr int kSlots = 1000;
    int K = -1;
    double g0 = 1.0 / (theta0 + 1.0);
    double g1 = 1.0 / (theta1 + 1.0);
    const double r0 = theta0 / (theta0 + 1.0);
    const double r1 = theta1 / (theta1 + 1.0);
    for (int k = 0; k < kSlots && (g1 > 0.001 * eps || g0 > 0.001 * eps); ++k) {
        geo_theta0_vect[static_cast<std::size_t>(k)] = g0;
        geo_theta1_vect[static_cast<std::size_t>(k)] = g1;
        K = k;
        g0 *= r0;
        g1 *= r1;
    }
    double last = 0.0;
    if (K >= 0 && eps < 1.0) {
        const double decay = std::exp(-tau * c);
        for (int k = 0; k <= K; ++k) {
            double P;
            if (theta0 > theta1) {
                theta1 = theta0;
                P = geo_theta0_vect[static_cast<std::size_t>(k)];
            } else {
                double sum = 0.0;
                double term = 1.0;  // tau^j / j!
                for (int j = 0; j <= k; ++j) {
                    if (j > 0) term *= tau / j;
                    sum += term * (geo_theta0_vect[static_cast<std::size_t>(k - j)] -
                                   geo_theta1_vect[static_cast<std::size_t>(k - j)]);
                }
                P = geo_theta1_vect[static_cast<std::size_t>(k)] + decay * sum;
            }
            mut_prob_vect[static_cast<std::size_t>(k)] = P;
            len = k;
            last = P;
            if (P <= eps) break;
        }
    }
    const bool cut = K >= 0 && eps < 1.0 && len == K && last > eps;
    if ((cut || (K < 0 && eps < 1.0)) && trace_stream) *trace_stream << "Watterson vector too small" << "\n";
}

double ann_missmatch::f_S2Rate(double* x, double* y, int const& count) {
    if (mut_prob_vect.empty()) return 1.0;
    int len = 0;
    init_f_i_exp_vect(5e-6, len);
    Ex_HNum const& h = h_combined;
    // The table must also hold the rows and columns it is read at.
    if (h.num_cols < len || h.max_row < count || h.dim <= len || h.dim < count ||
        static_cast<int>(h.table.size()) != h.dim) {
        if (trace_stream) *trace_stream << "The H matrices are not big enough  " << "\n";
        return 10.0;
    }
    if (count < 2) return 0.0;
    double sum = 0.0;
    for (int j = 1; j < count; ++j) {
        const int d = static_cast<int>(x[j]);
        double expected = 0.0;
        if (d >= 0 && d <= len) {
            std::vector<double> const& row = h.table[static_cast<std::size_t>(d)];
            for (int k = d; k <= len; ++k)
                expected += mut_prob_vect[static_cast<std::size_t>(k)] * row[static_cast<std::size_t>(k)];
        }
        if (expected < 0.0) expected = 0.0;
        sum += (expected - y[j]) * (expected - y[j]);
    }
    return sum;
}

double ann_missmatch::f_i_exp_2r(int const& i) {
    Ex_HNum const& h = h_combined;
    if (i < 0 || i >= h.dim || static_cast<int>(h.table.size()) != h.dim) return 0.0;
    std::vector<double> const& row = h.table[static_cast<std::size_t>(i)];
    double sum = 0.0;
    for (int k = i; k < h.num_cols && k < h.dim; ++k) {
        const double f = f_i_exp(k);
        sum += row[static_cast<std::size_t>(k)] * f;
        if (f <= 1e-5 || sum < 0.0) break;
    }
    return std::max(sum, 0.0);
}

int ann_missmatch::hook_jeeves(double* x, double* y, int const& count, int const& steps, double const& tol) {
    double s1 = 5.0;
    double s0 = 1.0;
    double sT = 1.0;
    double m = 1.0;
    int c = 0;
    std::ostream* trace = trace_stream.get();
    if (trace != nullptr) *trace << "Solving least squares ...\nStep:";
    // One axis: `up` from the value before the move, `down` from `start`;
    // halved (and a "/" traced) when the value is back at `start`,
    // quadrupled otherwise. False when the step passes 10000.
    auto axis = [&](double& value, double& step, double up, double start, auto&& raise, auto&& lower, double& S) {
        if (step < tol) {
            step = 0.0;
            return true;
        }
        value = up + step;
        raise();
        double trial = f_S2Rate(x, y, count);
        if (trial < S) {
            S = trial;
        } else {
            value = start - step;
            lower();
            trial = f_S2Rate(x, y, count);
            if (trial < S)
                S = trial;
            else
                value = start;
        }
        if (value == start) {
            step *= 0.5;
            if (trace != nullptr) *trace << "/";
        } else {
            step *= 4.0;
        }
        return step <= 10000.0;
    };
    auto nothing = [] {};
    if (steps > 0 && tol < 1.0) {
        do {
            double S = f_S2Rate(x, y, count);
            const double theta0Start = theta0;
            const double tauStart = tau;
            const double t = theta1;
            if (!axis(theta1, s1, t, t, nothing, [&] { if (theta0 > theta1) theta0 = theta1; }, S)) break;
            if (!axis(theta0, s0, theta0, theta0Start, [&] { if (theta0 > theta1) theta1 = theta0; }, nothing, S))
                break;
            if (!axis(tau, sT, tauStart, tauStart, nothing, nothing, S)) break;
            m = std::max({sT, s0, s1 / (theta1 + 1.0)});
            ++c;
        } while (c < steps && m > tol);
    }
    if (m > tol) {
        if (trace != nullptr) *trace << " no convergence after " << c << " steps\n";
        no_convergence = 1;
    } else if (trace != nullptr) {
        *trace << "ok! " << c << " steps done." << "\n";
    }
    ssd = f_S2Rate(x, y, count);
    return m <= tol ? 1 : 0;
}

void ann_missmatch::make_xl_file(double* x, double*, double* model, int const& count, std::ostream& out) {
    out << "Estimated parameters:" << "\n"
        << "\t" << "Tau=\t" << tau << "\n"
        << "\t" << "Theta0=\t" << theta0 << "\n"
        << "\t" << "Theta1=\t" << theta1 << "\n\n";
    for (int j = 1; j <= count; ++j) model[j] = f_i_exp_2r(static_cast<int>(x[j]));
}

void ann_missmatch::plot_fS(double* x, double* y, int const& count) {
    std::ofstream plot("plot_out.xl", std::ios::out | std::ios::trunc);
    for (int t = 1; t <= 20; ++t) {
        tau = 0.4 * t;
        plot << "tau=\t" << tau << "\n\n";
        for (int a = 1; a <= 20; ++a) {
            for (int b = 1; b <= 20; ++b) {
                theta0 = 0.05 * a;
                theta1 = 0.05 * b;
                plot << theta0 << "\t" << theta1 << "\t";
                plot << f_S2Rate(x, y, count) << "\n";
            }
        }
    }
}

double ann_missmatch::f_SRod_Harp(double* x, double* y, int const& count) {
    if (count < 2) return 0.0;
    double sum = 0.0;
    for (int j = 1; j < count; ++j) {
        const double d = f_i_exp(static_cast<int>(x[j])) - y[j];
        sum += d * d;
    }
    return sum;
}

int ann_missmatch::conj_grad(double* x, double* y, int const& count, int const& steps, double const& tol) {
    if (x == nullptr || y == nullptr) return 0;
    return static_cast<int>(x[0] + y[0] + count + steps + tol);
}

void ann_missmatch::multirate_parameters(std::ostream& out, double mu, char const* afterTheta1) {
    out << "\t m1:\t" << sites_m1 << "\n"
        << "\t m2:\t" << sites_m2 << "\n"
        << "\t m3:\t" << sites_m3 << "\n";
    if (model_type == 4)
        out << "\t r1:\t" << rate_r1 << "\n" << "\t r2:\t" << rate_r2 << "\n";
    else
        out << "\t r:\t" << rate_r << "\n";
    out << "\t alpha:\t" << gamma_alpha << "\n"
        << "\t Transition rate:\t" << transition_rate << "\n"
        << "\t mu:\t" << mu << "\n"
        << "\t n:\t" << sample_size << "\n"
        << "\t N:\t" << pop_size << "\n"
        << "\t Tau:\t" << tau << "\n"
        << "\t Theta0:\t" << theta0 << "\n"
        << "\t Theta1:\t" << theta1 << afterTheta1;
}

bool ann_missmatch::multirate_tables() {
    std::ostream* trace = trace_stream.get();
    char const* dir = h_file_dir.c_str();
    if (model_type == 2 || model_type == 3) {
        if (h_class1.create(sites_m1, dir) == 0 || h_class2.create(sites_m2, dir) == 0) return false;
        if (trace != nullptr) {
            *trace << (model_type == 2 ? "\nBuilding the two-rate matrix with:" : "\nBuilding the tree-rate matrix with:")
                   << "\n\tm1=" << sites_m1 << "\n\tm2=" << sites_m2 << "\n\tr=" << rate_r << "...";
        }
        if (h_combined.create(sites_m1 + sites_m2, sites_m1, sites_m2, rate_r, &h_class1, &h_class2) == 0)
            return false;
    } else if (model_type == 4) {
        if (h_class1.create(sites_m1, dir) == 0 || h_class2.create(sites_m2, dir) == 0 ||
            h_class3.create(sites_m3, dir) == 0)
            return false;
        if (trace != nullptr) {
            *trace << "\nBuilding the four-rate matrix with:" << "\n\tm1=" << sites_m1 << "\n\tm2=" << sites_m2
                   << "\n\tm3=" << sites_m3 << "\n\tr1=" << rate_r1 << "\n\tr2=" << rate_r2 << "...";
        }
        if (h_combined.create(sites_m1 + sites_m2 + sites_m3, sites_m1, sites_m2, sites_m3, rate_r1, rate_r2,
                              &h_class1, &h_class2, &h_class3) == 0)
            return false;
    } else {
        return h_combined.create(h_file_name.c_str(), dir) != 0;
    }
    if (trace != nullptr) *trace << "done!" << "\n";
    return true;
}

void ann_missmatch::solve_least_square(std::istream&, std::ostream& out, int const& boot) {
    std::vector<double> xs;
    std::vector<double> ys;
    std::vector<double> ms;
    try {
        const auto size = static_cast<std::size_t>(std::max(max_classes, 3) + 10);
        xs.assign(size, 0.0);
        ys.assign(size, 0.0);
        ms.assign(size, 0.0);
    } catch (std::bad_alloc const&) {
        if (trace_stream) *trace_stream << "Unable to allocate enough memory for covar and alpha matrices\n" << "exiting\n";
        error_flag = 1;
        return;
    }
    if (model_type < 2 || model_type > 5) {
        *_AOS_ << "\t\tMulti-rate mismatch fit: no rate model " << model_type << " (2 to 5)\n";
        return;
    }
    if (model_type <= 3) {
        sites_m3 = 0;
        gamma_alpha = -1.0;
    } else if (model_type == 4) {
        gamma_alpha = -1.0;
    } else {
        sites_m2 = sites_m3 = 0;
    }
    double* x = xs.data();
    double* y = ys.data();
    double* model = ms.data();
    int count = 0;
    long total = 0;
    read_mismatch_pop(x, y, count, total);
    count = std::min(count + 10, max_classes - 1);
    num_boot = boot;
    if (!multirate_tables()) return;
    if (total > 0)
        for (int j = 0; j <= count; ++j) y[j] /= static_cast<double>(total);

    const double mu = 0.5 * theta1 / pop_size;
    if (model_type <= 4)
        out << "We used the " << model_type << "-rate model";
    else
        out << "We used the gamarate-rate model with following H-file: " << h_file_name;
    out << "\n" << "Initial parameter values:\n";
    multirate_parameters(out, mu, "\n");
    out << "\t SSd:\t" << f_S2Rate(x, y, count) << "\n\n";

    hook_jeeves(x, y, count, max_steps, tolerance);
    obs_ssd = ssd;
    out << "After estimation:\n";
    multirate_parameters(out, mu, "\n\n");
    out << "\t SSd:\t" << ssd << "\n\n";

    make_xl_file(x, y, model, count, out);
    if (num_boot != 0) make_bootstrap(x, y, model, count, max_classes, out, total);
    h_combined.delete_H();
    h_class1.delete_H();
    h_class2.delete_H();
}

}  // namespace quintle
