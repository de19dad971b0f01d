#pragma once

// The mismatch-distribution section of a sample driver: what its step
// leaves for the writers, and the writers of the result-file lines and the
// batch lines around the expansion fits.

#include <cstdint>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "core/my_string.h"

namespace quintle {

class PopGenetics;
class settings;

struct MismatchSectionResult {
    int method = 0;  // distance method of the distribution
    double gammaA = 0.0;
    double sampleSize = 0.0;
    double mean = 0.0;
    double variance = 0.0;
    int lastExpClass = 0;
    int maxPairwiseDistance = 0;
    std::vector<std::int64_t> observed;  // observed counts by class
    bool hasExpected = false;
    std::vector<double> expected;  // expected counts by class
    std::clock_t started = 0;  // the section's clock, for its closing log line
};

// The distribution the sample holds after its mismatch step.
MismatchSectionResult mismatch_section_result(PopGenetics const& p, int method, double gammaA, std::clock_t started);

// The mismatch batch streams that take this sample's lines (null for those
// that do not).
struct MismatchBatch {
    std::ostream* mismatch = nullptr;
    std::ostream* spatial3 = nullptr;
    std::ostream* spatial4 = nullptr;
    std::ostream* onlyMismatch = nullptr;
};

// "Distance method : " with the method's name and the gamma part.
void write_mismatch_method(std::ostream& out, char const* methodName, double gammaA);
// The head of each mismatch line: project, sample, method tag and gamma
// part (" inf\t" without gamma correction).
void write_mismatch_batch_heads(MismatchBatch const& b, my_string const& sampleName, char const* methodTag,
                                double gammaA);
// The opening of a fit block (`opening`), the observed mean and variance,
// and the same two values on the fit's batch line when it has one.
void write_fit_block_head(std::ostream& out, std::string const& opening, MismatchSectionResult const& r,
                          std::ostream* batch);
// Whether the fits can estimate anything from the observed variance.
bool mismatch_fit_possible(MismatchSectionResult const& r);
void write_small_variance(std::ostream& out);
// One expansion-fit block: `opening`, the observed mean and variance, then
// the sudden-expansion fit (`sudden`) or the spatial ones when the variance
// allows a fit, their parameters on the fit's batch line when it has one.
// The stream's number format is the head's again afterwards.
void mismatch_fit_block(PopGenetics& p, settings& s, std::ostream& out, MismatchSectionResult const& r, bool sudden,
                        std::string const& opening, std::ostream* batch);
// The observed counts by class (or the number of pairs when there is no
// distribution) that end the mismatch lines. The only-mismatch line gets
// its head with the counts, and also without them when headAlways is set.
void write_mismatch_batch_tails(MismatchBatch const& b, my_string const& sampleName, MismatchSectionResult const& r,
                                bool headAlways = true);

}  // namespace quintle
