#include "popstats/fu_fs.h"

#include <cmath>

#include "core/Errors.h"
#include "popstats/theta_estimators.h"

namespace quintle {

namespace {
constexpr char kFunction[] = "PopulDNA::Fu_Fs()";
}

FuFsOutcome Fu_Fs(double theta, int k, double n, double& Fs, bool report, BnumMat& table, int& tableExists,
                  int* refusal) {
    auto refuse = [&](Msg message) {
        if (refusal != nullptr) *refusal = static_cast<int>(message);
        if (report) E.error(WARNING, kFunction, message);
    };
    if (refusal != nullptr) *refusal = 0;
    if (!(theta > 0.0)) {
        refuse(Msg::m187_no_diversity_for_fu);
        Fs = infinite_theta;
        return FuFsOutcome::bound;
    }

    bool refused = false;
    if (table.numRows() <= n || table.numCols() <= k) {
        if (!table.re_allocate_matrix(static_cast<int>(n + 10), k + 10)) {
            tableExists = 0;
            refused = true;
        }
    }
    if (n >= 5000.0 || k > 999 || refused) {
        refuse(Msg::m179_too_many_alleles);
        return FuFsOutcome::not_computed;
    }

    // Probability of k or more alleles, rounded to double after the
    // extended-precision difference.
    const double Sp = static_cast<double>(1.0L - proba_less_than_k(k, static_cast<int>(n), theta, table));
    if (Sp > 0.0 && Sp < 1.0) {
        Fs = std::log(Sp / (1.0 - Sp));
        return FuFsOutcome::finite;
    }
    if (Sp == 0.0) {
        Fs = -infinite_theta;
        return FuFsOutcome::bound;
    }
    if (Sp == 1.0) {
        Fs = infinite_theta;
        return FuFsOutcome::bound;
    }
    refuse(Msg::m178_negative_s_for_fs);
    return FuFsOutcome::not_computed;
}

}  // namespace quintle
