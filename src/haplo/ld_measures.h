#pragma once

// Linkage-disequilibrium measures of one allele pair of a two-locus table.

namespace quintle {

struct LdCell {
    double D = 0.0;       // pab - pa pb
    double Dmax = 0.0;    // the extreme D the margins allow, on D's side
    double Dprime = 0.0;  // D / Dmax, signed; defined when Dmax > 0
    double r = 0.0;       // D / sqrt(pa (1 - pa) pb (1 - pb)); defined with r2
    double r2 = 0.0;
    double chi2 = 0.0;  // r2 N
    bool dprimeDefined = false;
    // False when an allele holds none or all of the copies: pa (1 - pa)
    // pb (1 - pb) is then 0 and r, r2 and chi-square have no value.
    bool rDefined = false;
};

// The measures of allele pair (a, b) from its cell count nab, the row total
// na, the column total nb and the table total N (N > 0).
LdCell ld_cell(double nab, double na, double nb, double N);

}  // namespace quintle
