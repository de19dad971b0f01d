#include "run/settings_checks.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <variant>

#include "core/Errors.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

constexpr char kChecker[] = "settings_in_range()";
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Loops of permutations, Markov-chain steps and the like keep O(1) memory per
// step: their counts only have to stay far from the 64-bit limit in the
// arithmetic done on them (blocks, K + sqrt(K), products with numbers of
// pairs). No run that long could ever finish.
constexpr double kMaxStepCount = 1e12;
// A 32-bit count holds a value clamped from a larger text at its limit;
// below this bound it is surely the number the user wrote.
constexpr double kMaxIntCount = 1e9;
// The AMOVA keeps every permuted value of every tested component and, for
// the components that move samples, one arrangement of the samples per
// permutation (some 100 bytes and more each); its containers are sized by an
// int.
constexpr double kMaxAmovaPermutations = 1e7;
// One phase file is written per sampled phase, and each individual keeps
// every distinct phase sampled.
constexpr double kMaxPhaseSamples = 1e6;
// Each bootstrap replicate of the frequency spectra is a folder of files.
constexpr double kMaxSpectrumReplicates = 1e4;
// The scan for loci under selection keeps two doubles per simulated locus,
// and a list and counters per simulated deme.
constexpr double kMaxScanSimulations = 1e7;
constexpr double kMaxScanDemes = 1e6;
// Weights scale the differences they apply to, and the mutation parameter of
// the coalescent simulations with them: a larger factor only makes the
// simulated samples hold more mutations than memory can.
constexpr double kMaxWeight = 1000.0;

using Field = std::variant<int settings::*, std::int64_t settings::*, double settings::*>;

// Which analyses read the key: nullptr for every run.
using Use = bool (*)(settings const&);

struct RangeCheck {
    char const* key;
    Field field;
    double low;
    double high;
    Use used;
};

bool asked(settings const& s, std::int64_t tasks) { return (s.TaskNumber & tasks) != 0; }

bool amova(settings const& s) { return asked(s, task_amova | task_amova_permutations); }
bool pairwise(settings const& s) {
    return asked(s, task_pairwise_fst | task_pairwise_distances | task_mantel) || s.ComputeDeltaMuSqr != 0;
}
bool mantel(settings const& s) { return asked(s, task_mantel | task_pairwise_fst); }
bool differentiation(settings const& s) { return asked(s, task_exact_differentiation); }
bool hardy_weinberg(settings const& s) { return asked(s, task_hardy_weinberg); }
bool linkage(settings const& s) { return asked(s, task_linkage); }
bool coalescent_tests(settings const& s) { return asked(s, task_tajima | task_fu_fs); }
bool ewens(settings const& s) { return asked(s, task_ewens_watterson | task_chakraborty); }
bool mismatch(settings const& s) { return asked(s, task_mismatch); }
bool haplotype_frequencies(settings const& s) { return asked(s, task_haplotype_frequencies); }
bool em(settings const& s) { return asked(s, task_haplotype_frequencies | task_linkage); }
bool phasing(settings const& s) { return haplotype_frequencies(s) && s.GibbsInferGamPhase != 0; }
bool phases_kept(settings const& s) { return phasing(s) || s.GibbsOutputGamPhase != 0; }
bool spectra(settings const& s) { return s.ComputePopSFS != 0 || s.ComputeJointSFS != 0 || s.ComputeMultiSFS != 0; }
bool selection_scan(settings const& s) { return s.DetectSelectedLoci != 0; }

using S = settings;
constexpr double kNoLow = -kInfinity;
// Any finite number.
constexpr double kNoHigh = kInfinity;

RangeCheck const kChecks[] = {
    {"DeletionWeight", &S::DeletionWeight, 0.0, kMaxWeight, nullptr},
    {"TransitionWeight", &S::TransitionWeight, 0.0, kMaxWeight, nullptr},
    {"TranversionWeight", &S::TranversionWeight, 0.0, kMaxWeight, nullptr},
    {"GammaAValue", &S::GammaAValue, 0.0, kInfinity, nullptr},
    {"MismatchGammaAValue", &S::MismatchGammaAValue, 0.0, kInfinity, nullptr},
    {"GammaAValueAMOVA", &S::GammaAValueAMOVA, 0.0, kInfinity, nullptr},
    // 0 runs no test; a negative count would be reported as if it meant
    // something.
    {"NumPermutationsAMOVA", &S::NumPermutationsAMOVA, 0.0, kMaxAmovaPermutations, amova},
    {"NumPermutationsFST", &S::NumPermutationsFST, kNoLow, kMaxStepCount, pairwise},
    {"NumPermMantel", &S::NumPermMantel, kNoLow, kMaxIntCount, mantel},
    {"NumPermutPopDiff", &S::NumPermutPopDiff, kNoLow, kMaxStepCount, differentiation},
    {"NumDememoPopDiff", &S::NumDememoPopDiff, kNoLow, kMaxStepCount, differentiation},
    {"MarkovChainStepsHW", &S::MarkovChainStepsHW, kNoLow, kMaxStepCount, hardy_weinberg},
    {"MarkovChainDememorisationStepsHW", &S::MarkovChainDememorisationStepsHW, kNoLow, kMaxStepCount,
     hardy_weinberg},
    {"MarkovChainStepsLD", &S::MarkovChainStepsLD, kNoLow, kMaxStepCount, linkage},
    {"MarkovChainDememorisationStepsLD", &S::MarkovChainDememorisationStepsLD, kNoLow, kMaxStepCount, linkage},
    {"NumSimulFuTest", &S::NumSimulFuTest, kNoLow, kMaxIntCount, coalescent_tests},
    {"NumIterationsNeutralityTests", &S::NumIterationsNeutralityTests, kNoLow, kMaxIntCount, ewens},
    {"NumBootExpDem", &S::NumBootExpDem, kNoLow, kMaxIntCount, mismatch},
    {"NumBootSFS", &S::NumBootSFS, kNoLow, kMaxSpectrumReplicates, spectra},
    // EM starts, iterations and bootstraps: an int each, run one after the
    // other; a negative count is none.
    {"InitialConditionsEM", &S::InitialConditionsEM, kNoLow, kMaxIntCount, em},
    {"MaximumNumOfIterationsEM", &S::MaximumNumOfIterationsEM, kNoLow, kMaxIntCount, em},
    {"InitialCondEMLD", &S::InitialCondEMLD, kNoLow, kMaxIntCount, linkage},
    {"NumBootstrapReplicatesEM", &S::NumBootstrapReplicatesEM, kNoLow, kMaxIntCount, haplotype_frequencies},
    {"NumInitCondBootstrapEM", &S::NumInitCondBootstrapEM, kNoLow, kMaxIntCount, haplotype_frequencies},
    {"EMNumZipRandOrders", &S::EMNumZipRandOrders, kNoLow, kMaxIntCount, haplotype_frequencies},
    // A negative or undefined threshold is never reached: every EM would run
    // all its iterations. 0 asks for exact convergence.
    {"EpsilonValue", &S::EpsilonValue, 0.0, kNoHigh, em},
    {"EMInbreedingFixedVal", &S::EMInbreedingFixedVal, kNoLow, kNoHigh, haplotype_frequencies},
    {"FrequencyThreshold", &S::FrequencyThreshold, kNoLow, kNoHigh, haplotype_frequencies},
    {"GibbsBurnIn", &S::GibbsBurnIn, kNoLow, kMaxIntCount, phasing},
    {"GibbsSamplingInterval", &S::GibbsSamplingInterval, kNoLow, kMaxIntCount, phasing},
    {"GibbsNumSamples", &S::GibbsNumSamples, kNoLow, kMaxPhaseSamples, phases_kept},
    // Weights and probabilities of the sampler.
    {"GibbsAlphaInitValue", &S::GibbsAlphaInitValue, 0.0, kNoHigh, phasing},
    {"GibbsEpsilonValue", &S::GibbsEpsilonValue, 0.0, kNoHigh, phasing},
    {"GibbsGamma", &S::GibbsGamma, kNoLow, kNoHigh, phasing},
    {"GibbsPercentageOfRecSteps", &S::GibbsPercentageOfRecSteps, kNoLow, kNoHigh, phasing},
    // Thresholds compared with fractions and P values: a number that is not
    // one would silently decide every comparison one way.
    {"AllowedLevelOfMissingData", &S::AllowedLevelOfMissingData, kNoLow, kNoHigh, nullptr},
    {"SignificanceLevelLD", &S::SignificanceLevelLD, kNoLow, kNoHigh, linkage},
    {"FSTSignifLevel", &S::FSTSignifLevel, kNoLow, kNoHigh, pairwise},
    {"SignLevelPopDiff", &S::SignLevelPopDiff, kNoLow, kNoHigh, differentiation},
    // The selection scan: its arrays and demes are sized by these (the scan
    // itself bounds all the demes of the hierarchical model). Theta is
    // shared out among the demes, so there is at least one; no simulation
    // at all is refused by the scan itself, only where it would simulate (a
    // simulation file or export mode need none).
    {"NumberOfSimsForFDist2", &S::NumberOfSimsForFDist2, 0.0, kMaxScanSimulations, selection_scan},
    {"NumberOfDemesForFDist2", &S::NumberOfDemesForFDist2, 1.0, kMaxScanDemes, selection_scan},
    {"NumberOfGroupsForFDist2", &S::NumberOfGroupsForFDist2, kNoLow, kMaxScanDemes, selection_scan},
    // A target heterozygosity of 1 or more asks for infinitely many mutations.
    {"TargetHetLowBound", &S::TargetHetLowBound, 0.0, 1.0, selection_scan},
    {"TargetHetHighBound", &S::TargetHetHighBound, 0.0, 1.0, selection_scan},
    {"MinDafFreq", &S::MinDafFreq, kNoLow, kNoHigh, selection_scan},
};

// The value as read, and its text for the log.
double value_of(settings const& s, Field const& field, std::string& text) {
    std::ostringstream os;
    double value = 0.0;
    std::visit(
        [&](auto member) {
            auto const v = s.*member;
            os << v;
            value = static_cast<double>(v);
        },
        field);
    text = os.str();
    return value;
}

std::string number_text(double v) {
    std::ostringstream os;
    os.precision(15);
    os << v;
    return os.str();
}

// The range of a check in words.
std::string range_text(RangeCheck const& c) {
    if (std::isinf(c.low) && std::isinf(c.high)) return "a finite number";
    if (std::isinf(c.low)) return "at most " + number_text(c.high);
    if (std::isinf(c.high)) return "a finite number of at least " + number_text(c.low);
    return "between " + number_text(c.low) + " and " + number_text(c.high);
}

}  // namespace

bool settings_in_range(settings const& s) {
    bool ok = true;
    for (RangeCheck const& c : kChecks) {
        if (c.used != nullptr && !c.used(s)) continue;
        std::string text;
        double const v = value_of(s, c.field, text);
        // NaN fails both comparisons; infinities fail the finite bounds.
        if (std::isfinite(v) && v >= c.low && v <= c.high) continue;
        ok = false;
        *_AOS_ << "\tValue " << text << " of setting \"" << c.key << "\" is outside the range its use can hold: "
               << range_text(c) << ". Aborting the run of this project." << std::endl;
        E.error(ERROR, (std::string(kChecker) + " (" + c.key + "=" + text + ")").c_str(),
                Msg::m55_invalid_keyword_value);
    }
    return ok;
}

}  // namespace quintle
