#pragma once

// A sample that holds nothing but a mismatch distribution, for the
// expansion fits, with the process-wide state their simulations and logs
// touch put back afterwards, and the working directory (where the spatial
// fitter keeps "glob_res.xl") moved to the log guard's folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "popstats/PopGenetics.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle::testing_support {

class ExpansionFitTest : public ::testing::Test {
protected:
    ExpansionFitTest() : cwd_(std::filesystem::current_path()) { std::filesystem::current_path(log_.dir()); }
    ~ExpansionFitTest() override { std::filesystem::current_path(cwd_); }

    // Observed counts of classes 0, 1, ... among `genes` gene copies.
    void observe(std::vector<long> const& counts, int genes) {
        const int k = static_cast<int>(counts.size()) - 1;
        sample.mismatchObs.assign(static_cast<std::size_t>(2 * k + 1), 0);
        for (int i = 0; i <= k; ++i) sample.mismatchObs[static_cast<std::size_t>(i)] = counts[static_cast<std::size_t>(i)];
        sample.maxPairwiseDistance = k;
        sample.lastExpMismatchClass = 0;
        sample.SampleSize = genes;
        sample.name = "pop 1";
    }
    std::string log() const { return log_.text(); }

    test::LogGuard log_{"quintle_fits"};
    test::HitsGuard hits_;
    std::filesystem::path cwd_;
    PopGenetics sample;
    settings s;
    std::ostringstream out;
};

}  // namespace quintle::testing_support
