#include "mantel/Mantel.h"

#include "core/parsing.h"

namespace quintle {

int Mantel::NewOpenMantel(std::ifstream& in, ProfileSettings& projectProfile, int& line,
                          my_string& buf, bool& hasMatrixSize, bool& hasYMatrix,
                          bool& hasMatrixNumber, bool& hasYMatrixLabels, bool& hasDistMatMantel,
                          bool& hasUsedYMatrixLabels) {
    my_string upper;  // reused for every line
    while (in.good()) {
        buf.read_line(in);
        ++line;
        clearLineAfterPoundSign(buf);
        upper = buf;
        upper.to_upper();
        // The first keyword that matches decides; the longer keywords that
        // hold a shorter one are told apart first.
        if (upper.contains("YMATRIX") && !upper.contains("YMATRIXLABELS")) {
            hasYMatrix = true;
        } else if (upper.contains("MATRIXSIZE")) {
            hasMatrixSize = true;
        } else if (upper.contains("MATRIXNUMBER")) {
            hasMatrixNumber = true;
        } else if (upper.contains("YMATRIXLABELS") && !upper.contains("USEDYMATRIXLABELS")) {
            hasYMatrixLabels = true;
        } else if (upper.contains("DISTMATMANTEL")) {
            hasDistMatMantel = true;
        } else if (upper.contains("USEDYMATRIXLABELS")) {
            hasUsedYMatrixLabels = true;
        }
    }
    profile = projectProfile;
    return 1;
}

}  // namespace quintle
