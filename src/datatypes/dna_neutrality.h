#pragma once

// The neutrality-test sections of the DNA sample driver: Tajima's D and
// Fu's Fs with P values from coalescent simulations of the sample, the
// Ewens-Watterson and Chakraborty tests, and the closing step that builds
// the allele vectors for the permutation tests. Also the per-call state that
// these sections share with the earlier sections of the driver.

#include <string>

#include "data/Haplo_DB.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_replicate.h"
#include "popstats/AHaplFreq.h"
#include "popstats/mutations.h"

namespace quintle {

class settings;

// What one call of the DNA driver knows across its sections.
struct DnaDriverState {
    bool dataChecked = false;            // check_data has run in this call
    bool polymorphismEvaluated = false;  // evaluate_polymorphism has run
    bool listFilled = false;             // freqList comes from the distance matrix
    // Haplotype frequency records of the Ewens-Watterson, Chakraborty and
    // Fu sections; owned, freed with the state whenever the driver returns.
    AHaplFreqList freqList;

    explicit DnaDriverState(int numHaplotypes) : freqList(numHaplotypes + 1 > 1 ? numHaplotypes + 1 : 1, 10) {}
};

// Counts of a series of simulated replicates against an observed statistic.
// A replicate whose statistic could not be formed counts in neither tail and
// is left out of both fractions.
class ReplicateTally {
public:
    void add(double observed, double simulated) {
        ++usable_;
        if (observed >= simulated) ++atMostObserved_;  // ties count
        if (simulated <= 0.0) ++nonPositive_;
    }

    long usable() const { return usable_; }
    // Fraction of usable replicates not above the observed value; -1.0 when
    // there is none.
    double p_value() const { return usable_ > 0 ? static_cast<double>(atMostObserved_) / usable_ : -1.0; }
    // Fraction of usable replicates at most 0; -1.0 when there is none.
    double non_positive_fraction() const {
        return usable_ > 0 ? static_cast<double>(nonPositive_) / usable_ : -1.0;
    }

private:
    long usable_ = 0;
    long atMostObserved_ = 0;
    long nonPositive_ = 0;
};

// Sum and sum of squares of a replicate quantity, with its s.d.
class ReplicateMoments {
public:
    void add(double x, double xSquared) {
        sum_ += x;
        sumSquares_ += xSquared;
    }
    void add(double x) { add(x, x * x); }
    double mean(long replicates) const { return sum_ / static_cast<double>(replicates); }
    // sqrt((sum of squares - sum^2 / R) / (R - 1)) for R >= 2; 0 for fewer
    // replicates, and 0 with a warning from `function` when the quotient is
    // not positive.
    double sd(long replicates, char const* function) const;

private:
    double sum_ = 0.0;
    double sumSquares_ = 0.0;
};

// The sections; each returns false when the driver must return at once
// (stop request).
bool dna_tajima_section(PopulDNA& p, settings& s, DnaDriverState& st);
bool dna_ewens_watterson_section(PopulDNA& p, settings& s, DnaDriverState& st);
bool dna_chakraborty_section(PopulDNA& p, settings& s, DnaDriverState& st);
bool dna_fu_fs_section(PopulDNA& p, settings& s, DnaDriverState& st);
void dna_closing_step(PopulDNA& p, settings& s);

}  // namespace quintle
