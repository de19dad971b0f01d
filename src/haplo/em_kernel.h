#pragma once

// The iterations of the haplotype-frequency EM over compact data: haplotypes
// and phenotypes as numbers, each phenotype with its list of phase
// resolutions (pairs of haplotype numbers). The estimator builds this form
// from a phenotype base and a haplotype base; the linkage test builds it
// directly from allele numbers. Both then run the same starts, in the same
// order of draws and sums, so the two roads give the same numbers.

#include <vector>

namespace quintle {

class settings;

// The log-likelihood of a set that some phenotype cannot explain, and the
// value of "no start has run": minus the largest single-precision value.
inline constexpr double kNoLikelihood = -3.4028234663852886e38;

// The value an EM run returns when the stop flag ended it.
inline constexpr double kStoppedLikelihood = -1000.0;

struct EmProblem {
    int numHaplotypes = 0;
    // Per haplotype, nonzero when its start weight is 1 instead of a draw;
    // empty when no haplotype is fixed.
    std::vector<char> fixedStart;
    // Per phenotype: number of individuals, probability before any E-step,
    // homozygous flag, and its resolutions [firstGenotype[p],
    // firstGenotype[p + 1]).
    std::vector<double> count;
    std::vector<double> startProb;
    std::vector<char> homozygous;
    std::vector<int> firstGenotype;
    // Per resolution: the two haplotype numbers (equal for a homozygous pair).
    std::vector<int> hapl1;
    std::vector<int> hapl2;
    double geneCopies = 0.0;  // the sample's number of gene copies G
    int individuals = 0;      // the counts truncated and summed, N

    int num_phenotypes() const { return static_cast<int>(count.size()); }
    // Empties every list, keeping the storage for the next problem.
    void clear();
    // Appends a phenotype; its resolutions follow with add_genotype.
    void add_phenotype(double c, double prob, bool homo);
    void add_genotype(int h1, int h2);
    // Closes the last phenotype's list; call once after the last one.
    void close();
};

// Replaces the estimate F = S / N of the inbreeding coefficient for the
// estimators that solve an equation for it.
class InbreedingSolver {
public:
    virtual ~InbreedingSolver() = default;
    // The coefficient after one identity-by-descent step, from the current
    // one, the current frequencies and the smallest start frequency.
    virtual double next(double F, std::vector<double> const& freq, double smallestStart) = 0;
};

struct EmSettings {
    int starts = 0;
    int maxIterations = 0;
    double epsilon = 0.0;
    bool inbreeding = false;
    // The fixed coefficient; 0.0 with `inbreeding` asks for its estimation.
    double f = 0.0;
    // Added to the progress counter after each start.
    double progressPerStart = 100.0;
    InbreedingSolver* solver = nullptr;  // not owned; null: F = S / N
};

struct EmOutcome {
    double bestLnL = kNoLikelihood;
    double bestF = kNoLikelihood;
    int nDistinct = 0;
    double lastLnL = 0.0;   // the last start's log-likelihood
    double lastF = 0.0;     // the last start's coefficient
    int startsRun = 0;
    int lastIterations = 0; // iterations of the last start
    bool stopped = false;   // the stop flag ended the run after a start
};

// Working arrays of a run, reused from one run to the next. After the run:
// `freq` the last start's frequencies, `best` the best start's, `prev`,
// `ibd`, `gprob` and `pprob` as the last start left them.
struct EmWork {
    std::vector<double> freq, prev, ibd, gprob, pprob, best;
    double smallestStart = 0.0;  // the smallest start frequency of the last start
    std::vector<double> maxima;  // the distinct maximum log-likelihoods
};

// Runs o.starts random starts on p, two at a time side by side, each doing
// the operations of a start run alone. Each start draws one uniform number
// per haplotype in order (weight 1 + 1000 u, normalised), then, when the
// coefficient is estimated, F = u / 3; it iterates (identity-by-descent
// step with inbreeding, E-step, M-step, normalisation) until the summed
// change of the frequencies falls below epsilon or maxIterations is
// reached, and scores the start by the log-likelihood of the last E-step.
// The first start, and then any start strictly better, is the best; a
// maximum counts as new unless a listed one lies within 1e-6. Every start
// adds o.progressPerStart to the progress counter; the stop flag is looked
// at after each.
EmOutcome run_em(EmProblem const& p, EmSettings const& o, EmWork& w, settings& s);

// Sum over phenotypes of count x ln(probability), in order; kNoLikelihood
// as soon as a probability is not positive.
double em_ln_likelihood(EmProblem const& p, std::vector<double> const& pprob);

}  // namespace quintle
