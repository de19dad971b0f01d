#include "popstats/GammaRates.h"

#include <new>
#include <ostream>

#include "core/Errors.h"
#include "core/random.h"

namespace quintle {

int GammaRates::build(int n, double const& a, double const& rate, double const& p) {
    num_rates = n;
    shape = a;
    fixed_rate = rate;
    num_fixed = static_cast<int>(n * p + 1.0);
    if (n <= 0) {
        num_rates = 0;
        return 0;
    }
    try {
        rates.assign(static_cast<std::size_t>(n), 0.0);
    } catch (std::bad_alloc const&) {
        *_AOS_ << "\nGammaRates::build(const int n, const double& a): unable to allocate memory\n";
        rates.clear();
        rates.shrink_to_fit();
        num_rates = 0;
        return 0;
    }
    draw(a, rate);
    return n;
}

int GammaRates::get_new_rates(int n, double const& a, double const& rate, double const& p) {
    num_fixed = static_cast<int>(n * p + 1.0);
    if (n != num_rates) return build(n, a, rate, p);
    if (n <= 0) return 0;
    draw(a, rate);
    return n;
}

void GammaRates::draw(double const& a, double const& rate) {
    const int n = num_rates;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        double r;
        if (a > 0.0) {
            r = gamma_dev(a);
        } else {
            r = i < num_fixed ? rate : 1.0;
        }
        rates[i] = r;
        sum += r;
    }
    // All-zero rates (a zero fixed rate on every site) stay zero rather than
    // becoming NaN; a pick by running sum then falls on the last site.
    if (sum == 0.0) return;
    for (int i = 0; i < n; ++i) rates[i] /= sum;
}

}  // namespace quintle
