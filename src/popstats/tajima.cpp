#include "popstats/tajima.h"

#include <cmath>

#include "core/numerics.h"

namespace quintle {

TajimaConstants tajima_constants(int n) {
    TajimaConstants k;
    k.n = n;
    double a2 = 0.0;
    for (int i = 1; i < n; ++i) {
        k.a1 += 1.0 / i;
        a2 += 1.0 / (static_cast<double>(i) * i);
    }
    const double nd = n;
    const double b1 = (nd + 1.0) / (3.0 * (nd - 1.0));
    const double b2 = 2.0 * (nd * nd + nd + 3.0) / (9.0 * nd * (nd - 1.0));
    const double c1 = b1 - 1.0 / k.a1;
    const double c2 = b2 - (nd + 2.0) / (k.a1 * nd) + a2 / (k.a1 * k.a1);
    k.e1 = c1 / k.a1;
    k.e2 = c2 / (k.a1 * k.a1 + a2);
    return k;
}

namespace {

// D = (pi - S/a1) / sqrt(e1 S + e2 S (S - 1)). The observed statistic adds
// two guards the simulation loop goes without: a difference below 1e-15 is
// taken as 0 (whatever the variance), and e2 not positive leaves no D.
// The constants are those of n, made on demand.
template <class Constants>
double tajima(int n, double pi, double S, double& D, double& P, bool guarded, Constants&& constants) {
    // Fewer than two copies leave no variance to scale by (a1 = 0).
    if (!(S > 0.0) || n < 2) {
        D = 0.0;
        P = -1.0;
        return D;
    }
    TajimaConstants const& k = constants();
    const double d = pi - S / k.a1;
    if (guarded && std::fabs(d) < 1e-15) {
        D = 0.0;
    } else {
        const double V = k.e1 * S + k.e2 * S * (S - 1.0);
        if (!(V > 0.0)) {
            D = 0.0;
            P = -1.0;
            return D;
        }
        D = d / std::sqrt(V);
    }
    if (guarded && !(k.e2 > 0.0)) {
        D = 0.0;
        P = -1.0;
    }
    return D;
}

}  // namespace

double tajimaD(int n, double pi, double S, double& D, double& P) {
    return tajima(n, pi, S, D, P, true, [n] { return tajima_constants(n); });
}

double fast_tajimaD(int n, double pi, double S, double& D, double& P) {
    return tajima(n, pi, S, D, P, false, [n] { return tajima_constants(n); });
}

double fast_tajimaD(TajimaConstants const& k, double pi, double S, double& D, double& P) {
    return tajima(k.n, pi, S, D, P, false, [&k]() -> TajimaConstants const& { return k; });
}

double Tajima_D_density(double alpha, double beta, double Dmin, double Dmax, double D) {
    if (std::fabs(Dmax - D) < 1e-15 || std::fabs(D - Dmin) < 1e-15 || std::fabs(Dmax - Dmin) < 1e-15)
        return 0.0;
    const double G =
        (alpha == 0.0 || beta == 0.0) ? 1.0 : std::exp(gammln(alpha + beta) - gammln(alpha) - gammln(beta));
    return G * std::pow(Dmax - D, alpha - 1.0) * std::pow(D - Dmin, beta - 1.0) /
           std::pow(Dmax - Dmin, alpha + beta - 1.0);
}

}  // namespace quintle
