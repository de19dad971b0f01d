#include "mantel/TCorrelMat.h"

#include "mantel/correlation_print.h"

namespace quintle {

namespace {

constexpr SignificanceLabels kBlockZY1{"\nP(ZY1 rand >= ZY1 obs)            : ",
                                       "\nNo. of smaller rand ZY1           : ",
                                       "\nNo. of equal rand ZY1             : ",
                                       "\nNo. of larger rand ZY1            : "};
constexpr SignificanceLabels kBlockZY2{"\nP(ZY2 rand >= ZY2 obs)            : ",
                                       "\nNo. of smaller rand ZY2           : ",
                                       "\nNo. of equal rand ZY2             : ",
                                       "\nNo. of larger rand ZY2            : "};

}  // namespace

void TCorrelMat::compute_correlation(RectMat& Y, RectMat& X1) { simple_correlation(*this, Y, X1); }

void TCorrelMat::compute_correlation(RectMat& Y, RectMat& X1, RectMat& X2) {
    partial_correlation(*this, Y, X1, X2, CollinearRule::PlainWhenNearOne);
}

int TCorrelMat::test_correlation(RectMat& Y, RectMat& X1, int const& nperm) {
    simple_permutations(*this, Y, X1, nperm, ZY1);
    return nperm;
}

int TCorrelMat::test_correlation(RectMat& Y, RectMat& X1, RectMat& X2, int const& nperm) {
    partial_permutations(*this, Y, X1, X2, nperm, CollinearRule::PlainWhenNearOne);
    return nperm;
}

void TCorrelMat::print_correlations(std::ostream& os) {
    set_six_decimals(os);
    if (MatrixNumber == 2) {
        os << "Mean value Y                      : " << meanY;
        os << "\nSums of squares Y                 : " << SSY;
        os << "\nMean value  X1                    : " << meanX1;
        os << "\nSums of squares X1                : " << SSX1;
        os << "\nZY1                               : " << ZY1;
        os << "\nSum of products (SP(Y,X1))        : " << SPY1;
        os << "\nRegression coefficient (bY1)      : " << bY1;
        os << "\nCorrelation coefficient (rY1)     : " << rY1;
        os << "\nDetermination of Y by X1(%)       : " << R2;
        os << "\n" << std::endl;
    } else if (MatrixNumber == 3) {
        os << "Mean value Y                      : " << meanY;
        os << "\nSums of squares Y                 : " << SSY;
        os << "\nMean value  X1                    : " << meanX1;
        os << "\nSums of squares X1                : " << SSX1;
        os << "\nMean value  X2                    : " << meanX2;
        os << "\nSums of squares X2                : " << SSX2;
        os << "\nZY1                               : " << ZY1;
        os << "\nZY2                               : " << ZY2;
        os << "\nZ12                               : " << Z12;
        os << "\nSum of products (SP(Y,X1))        : " << SPY1;
        os << "\nSum of products (SP(Y,X2))        : " << SPY2;
        os << "\nSum of products (SP(X1,X1))       : " << SP12;
        os << "\n\nRegression coefficient (bY1)      : " << bY1;
        os << "\nRegression coefficient (bY2)      : " << bY2;
        os << "\nPartial regression  (bY1_2)       : " << bY1_2;
        os << "\nPartial regression  (bY2_1)       : " << bY2_1;
        os << "\n\nCorrelation coefficient (rY1)     : " << rY1;
        os << "\nCorrelation coefficient (rY2)     : " << rY2;
        os << "\nCorrelation coefficient (r12)     : " << r12;
        os << "\nPartial correlation  (rY1_2)      : " << rY1_2;
        os << "\nPartial correlation  (rY2_1)      : " << rY2_1;
        os << "\nDetermination of Y by X1(%)       : " << beta1 * beta2 * r12 + beta1 * beta1;
        os << "\nDetermination of Y by X2(%)       : " << beta2 * beta1 * r12 + beta2 * beta2;
        os << "\nTotal determination of Y (%)      : " << R2;
        os << "\nUnexplained variance of Y (%)     : " << unexplained;
        os << "\n" << std::endl;
    }
}

void TCorrelMat::print_correlations_2(std::ostream& os) {
    set_six_decimals(os);
    os << "Regression coefficient (bY1)      : " << bY1;
    os << "\nCorrelation coefficient (rY1)     : " << rY1;
    os << "\nDetermination of Y by X1(%)       : " << R2 << std::endl;
}

void TCorrelMat::print_correlations_2sim(std::ostream& out, std::ostream& sim) {
    set_six_decimals(out);
    out << "Regression coefficient (bY1)      : " << bY1;
    out << "\nCorrelation coefficient (rY1)     : " << rY1;
    out << "\nDetermination of Y by X1(%)     \t: " << R2 << std::endl;
    sim << "\t" << rY1;
}

void TCorrelMat::print_p_values(std::ostream& os) {
    if (NbPermutations == 0) return;
    set_six_decimals(os);
    os << NbPermutations << " permutations";
    print_significance_block(os, kBlockZY1, P_rY1, smaller_rY1, equal_rY1, larger_rY1);
    if (MatrixNumber == 3) {
        print_significance_block(os, kBlockZY2, P_rY2, smaller_rY2, equal_rY2, larger_rY2);
        print_significance_block(os, kBlockRY1_2, P_rY1_2, smaller_rY1_2, equal_rY1_2, larger_rY1_2);
        print_significance_block(os, kBlockRY2_1, P_rY2_1, smaller_rY2_1, equal_rY2_1, larger_rY2_1);
    }
    os << "\n" << std::endl;
}

void TCorrelMat::print_p_values_2(std::ostream& os) {
    if (NbPermutations == 0) return;
    os << "Significance level: p=" << P_rY1 << " (" << NbPermutations << " random permutations)" << std::endl;
}

void TCorrelMat::print_p_values_2sim(std::ostream& out, std::ostream& sim) {
    if (NbPermutations == 0) return;
    print_p_values_2(out);
    sim << "\tp: " << P_rY1 << "\t";
}

void TCorrelMat::print_p_values_new(std::ostream& out, std::ostream& sim, int mode) {
    if (NbPermutations == 0) return;
    if (MatrixNumber == 3) {
        // The P value of the partial correlation printed beside it.
        for (std::ostream* os : {&out, &sim})
            *os << "Correlation coefficient between d_gen and d_geo modified (d_geo kept constant): " << rY1_2
                << " (p=" << P_rY1_2 << " (" << NbPermutations << " random permutations))" << std::endl;
        return;
    }
    if (MatrixNumber != 2 || (mode != 1 && mode != 2)) return;
    bool const modified = mode == 2;
    char const* const correlation = modified ? "Correlation coefficient between d_gen and d_geo modified: "
                                             : "Correlation coefficient between d_gen and d_geo: ";
    char const* const percentage = modified ? "Percentage of variance explained by d_geo modified: "
                                            : "Percentage of variance explained by d_geo: ";
    out << correlation << rY1 << std::endl;
    out << percentage << R2 * 100.0 << std::endl;
    set_six_decimals(out);
    out << "Out of " << NbPermutations << " random permutations:" << std::endl;
    out << smaller_rY1 << (modified ? " were < ZYX, " : " were &lt; ZYX, ") << equal_rY1 << " were = ZYX, and "
        << larger_rY1 << " > ZYX" << std::endl;
    out << "(The observed comparison is not included in these counts.)" << std::endl;
    out << "The one-tail probability is:" << std::endl;
    out << "p[random Z >= observed Z] = " << P_rY1 << std::endl;
    sim << correlation << rY1 << " (p=" << P_rY1 << " (" << NbPermutations << " random permutations))"
        << std::endl;
    sim << percentage << R2 * 100.0 << std::endl;
}

}  // namespace quintle
