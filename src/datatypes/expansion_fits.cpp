#include "datatypes/expansion_fits.h"

#include <algorithm>
#include <iterator>

#include "popstats/PopGenetics.h"
#include "popstats/ann_missmatch.h"
#include "popstats/mismatchSpatialExpansion.h"
#include "run/settings.h"

namespace quintle {

ExpansionFitResult est_demog_mis(PopGenetics& p, settings& s, std::ostream& out) {
    ann_missmatch fit(&p, &s);
    fit.sample_name = p.name;
    fit.init_data(0.0, 0.0, 0.0, 1.0);
    fit.num_boot = s.NumBootExpDem;
    fit.num_pol_sites = p.numPolymorphicSites;
    fit.solve_least_square_rh(out);

    p.demTau = fit.tau;
    p.demTheta0 = fit.theta0;
    p.demTheta1 = fit.theta1;
    double const* r = fit.results;
    p.demSSD = r[0];
    p.demSSDP = r[1];
    p.demRaggedness = r[2];
    p.demRaggednessP = r[3];
    std::copy(r + 4, r + 8, std::begin(p.demTauQuantiles));
    std::copy(r + 8, r + 12, std::begin(p.demTheta0Quantiles));
    std::copy(r + 12, r + 16, std::begin(p.demTheta1Quantiles));
    return ExpansionFitResult{fit.error_flag, fit.theta0, fit.tau, fit.theta1, 0.0};
}

ExpansionFitResult est_spatial_mis(PopGenetics& p, settings& s, std::ostream& out) {
    mismatchSpatialExpansion fit(&p, &s);
    fit.sample_name = p.name;
    fit.init_data(0.0, 0.0, 0.0, 0.0, 1.0);
    fit.num_boot = s.NumBootExpDem;
    fit.num_pol_sites = p.numPolymorphicSites;
    switch (s.MismatchSpatialExpNumParams) {
        case 2:
            fit.solve_least_square_spatial_expansion_4_par(out);
            fit.solve_least_square_spatial_expansion_3_par(out);
            break;
        case 3: fit.solve_least_square_spatial_expansion_3_par(out); break;
        case 4: fit.solve_least_square_spatial_expansion_4_par(out); break;
        default: break;
    }

    p.spaTau = fit.tau;
    p.spaTheta = fit.theta0;
    p.spaM = fit.M;
    double const* r = fit.results;
    p.spaSSD = r[0];
    p.spaSSDP = r[1];
    p.spaRaggedness = r[2];
    p.spaRaggednessP = r[3];
    std::copy(r + 4, r + 8, std::begin(p.spaTauQuantiles));
    std::copy(r + 8, r + 12, std::begin(p.spaThetaQuantiles));
    std::copy(std::begin(fit.M_quantiles), std::end(fit.M_quantiles), std::begin(p.spaMQuantiles));
    return ExpansionFitResult{fit.error_flag, fit.theta0, fit.tau, fit.theta1, fit.M};
}

void write_demog_fit_batch(std::ostream& batch, ExpansionFitResult const& r) {
    batch << r.theta0 << "\t" << r.tau << "\t" << r.theta1 << "\t";
}

void write_spatial_fit_batch(std::ostream& batch, ExpansionFitResult const& r) {
    batch << r.theta0 << "\t" << r.tau << "\t" << r.theta1 << "\t" << r.M << "\t";
}

}  // namespace quintle
