#pragma once

// Pieces of text shared by the printers of the Mantel record and of
// TCorrelMat.

#include <ostream>

namespace quintle {

// The four labels of one significance block: P value, then the counts of
// smaller, equal and larger permuted statistics.
struct SignificanceLabels {
    char const* p;
    char const* smaller;
    char const* equal;
    char const* larger;
};

inline void print_significance_block(std::ostream& os, SignificanceLabels const& labels, double p, int smaller,
                                     int equal, int larger) {
    os << labels.p << p << labels.smaller << smaller << labels.equal << equal << labels.larger << larger;
}

inline void set_six_decimals(std::ostream& os) {
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.precision(6);
}

inline constexpr SignificanceLabels kBlockRY1{"\n\nP(rY1 rand >= rY1 obs)            : ",
                                              "\nNo. of smaller rand rY1           : ",
                                              "\nNo. of equal rand rY1             : ",
                                              "\nNo. of larger rand rY1            : "};
inline constexpr SignificanceLabels kBlockRY2{"\n\nP(rY2 rand >= rY2 obs)            : ",
                                              "\nNo. of smaller rand rY2           : ",
                                              "\nNo. of equal rand rY2             : ",
                                              "\nNo. of larger rand rY2            : "};
inline constexpr SignificanceLabels kBlockRY1_2{"\n\nP(rY1_2 rand >= rY1_2 obs)        : ",
                                                "\nNo. of smaller rand rY1_2         : ",
                                                "\nNo. of equal rand rY1_2           : ",
                                                "\nNo. of larger rand rY1_2          : "};
inline constexpr SignificanceLabels kBlockRY2_1{"\n\nP(rY2_1 rand >= rY2_1 obs)        : ",
                                                "\nNo. of smaller rand rY2_1         : ",
                                                "\nNo. of equal rand rY2_1           : ",
                                                "\nNo. of larger rand rY2_1          : "};

}  // namespace quintle
