#pragma once

// Relative mutation rates of the sites of a simulated sequence: gamma
// distributed (shape a > 0) or a two-class scheme in which the leading sites
// carry a fixed rate and the others rate 1 (a <= 0). The rates are
// normalised to sum to 1, so that a uniform deviate picks a site by their
// running sum.

#include <vector>

namespace quintle {

class GammaRates {
public:
    std::vector<double> rates;  // one per site; empty = no rate array
    double shape = 0.0;         // gamma shape of the last build
    double fixed_rate = 1.0;    // rate of the leading fixed-rate sites
    int num_fixed = 1;          // number of fixed-rate sites, int(n p + 1)
    int num_rates = 0;          // number of sites; 0 = not built

    // Records n, a and rate, then draws n new rates. Returns n; 0 when n is
    // 0 or the rates cannot be stored.
    int build(int n, double const& a, double const& rate, double const& p);
    // Redraws the existing rates for the same number of sites (keeping the
    // recorded shape and fixed rate); a different n rebuilds.
    int get_new_rates(int n, double const& a, double const& rate, double const& p);

private:
    void draw(double const& a, double const& rate);
};

}  // namespace quintle
