#pragma once

// The expansion fits of a sample's mismatch distribution as the DNA and RFLP
// drivers run them: the sudden-expansion fit and the spatial-expansion fits
// (by MismatchSpatialExpNumParams: 2 the four-parameter fit then the
// three-parameter one, 3 the three-parameter fit, 4 the four-parameter fit,
// any other value none). Each step writes the fit into the result stream,
// leaves its results in the sample's fields and returns the parameters for
// the batch line.

#include <ostream>

namespace quintle {

class PopGenetics;
class settings;

struct ExpansionFitResult {
    int errorFlag = 0;  // the fitter's: 1 after an allocation failure
    double theta0 = 0.0;
    double tau = 0.0;
    double theta1 = 0.0;
    double M = 0.0;  // spatial fits only
};

// Fills demTau .. demTheta1Quantiles.
ExpansionFitResult est_demog_mis(PopGenetics& p, settings& s, std::ostream& out);
// Fills spaTau .. spaMQuantiles (spaTheta from the Theta0 slot).
ExpansionFitResult est_spatial_mis(PopGenetics& p, settings& s, std::ostream& out);

// theta0, tau, theta1, each followed by a tab; the spatial line adds M.
void write_demog_fit_batch(std::ostream& batch, ExpansionFitResult const& r);
void write_spatial_fit_batch(std::ostream& batch, ExpansionFitResult const& r);

}  // namespace quintle
