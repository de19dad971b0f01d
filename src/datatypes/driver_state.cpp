#include "datatypes/driver_state.h"

#include <cmath>

#include "core/Errors.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"

namespace quintle {

double ReplicateMoments::sd(long replicates, char const* function) const {
    if (replicates < 2) return 0.0;
    const double R = static_cast<double>(replicates);
    const double variance = (sumSquares_ - sum_ * sum_ / R) / (R - 1.0);
    if (variance > 0.0) return std::sqrt(variance);
    E.error(WARNING, function, Msg::m180_negative_sqrt);
    return 0.0;
}

bool replicate_progress(long r, settings& s) {
    if (r % 50 != 0) return false;
    settings::global_work_done += 1.0;
    settings::print_message();
    return s.stopFlag != 0;
}

void empty_hit_table(PopGenetics& p) {
    if (p.tree.allocated()) {
        TNode::hits.count = 0;
        TNode::hits.auxCount = 0;
    }
}

}  // namespace quintle
