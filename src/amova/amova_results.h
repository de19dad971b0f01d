#pragma once

// The numbers one AMOVA leaves behind: its table of variance components,
// the fixation indices with their permutation P values, the values each
// permutation test produced and the per-population indices.
//
// Two numberings meet here. df1..df4 and V1..V4 follow the design's
// components in table order (first component first), whereas SS1..SS4
// follow the hierarchical level: SS1 among groups, SS2 among populations,
// SS3 among individuals within populations (within populations when the
// design has no individual level), SS4 within individuals. So a design
// without groups leaves SS1 aside, and a one-population design starts at
// SS3. The k-th values list always holds the permuted values of the k-th
// component, whatever index its test is reported under.

#include <cstdint>

#include "core/MY_TArrayAsVector.h"

namespace quintle {

class amova_results {
public:
    std::int32_t locus = 0;  // 0-based locus of a locus-by-locus record
    std::int32_t type = 0;   // design type 1..9, set by the engine after the design

    std::int32_t df1 = 0;
    double SS1 = 0.0;
    double V1 = 0.0;
    std::int32_t df2 = 0;
    double SS2 = 0.0;
    double V2 = 0.0;
    std::int32_t df3 = 0;
    double SS3 = 0.0;
    double V3 = 0.0;
    std::int32_t df4 = 0;
    double SS4 = 0.0;
    double V4 = 0.0;
    std::int32_t df_total = 0;  // the analysis's unit count minus 1, truncated
    double SST = 0.0;
    double VT = 0.0;
    double FST = 0.0;
    double FSC = 0.0;
    double FCT = 0.0;
    double FIT = 0.0;
    double FIS = 0.0;
    double P_FST = 0.0;
    double P_FSC = 0.0;
    double P_FCT = 0.0;
    double P_FIT = 0.0;
    double P_FIS = 0.0;

    // Permuted values of component k, one per permutation in permutation
    // order; each test resets its list to the permutation count first.
    MY_TArrayAsVector<double> perm_values1{0, 1000};
    MY_TArrayAsVector<double> perm_values2{0, 1000};
    MY_TArrayAsVector<double> perm_values3{0, 1000};
    MY_TArrayAsVector<double> perm_values4{0, 1000};
    // Per-population indices in sample order.
    MY_TArrayAsVector<double> pop_FST{0, 10};
    MY_TArrayAsVector<double> pop_FIS{10, 10};
    MY_TArrayAsVector<double> pop_spare{10, 10};  // no design fills it

    amova_results() = default;
    ~amova_results() = default;

    // Stores the 25 scalars, then appends the first n values of each
    // non-null array (n >= 1) to the list of the same name, without
    // clearing it first; sets type to 0. locus and the values lists are
    // left alone.
    void set_amova_results(int df1, double SS1, double V1, int df2, double SS2, double V2, int df3, double SS3,
                           double V3, int df4, double SS4, double V4, int df_total, double SST, double VT,
                           double FST, double FSC, double FCT, double FIT, double FIS, double P_FST, double P_FSC,
                           double P_FCT, double P_FIT, double P_FIS, double const* pop_FST, double const* pop_FIS,
                           double const* pop_spare, int n);
};

}  // namespace quintle
