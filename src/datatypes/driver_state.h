#pragma once

// What one call of a sample analysis driver carries from section to section,
// and the tallies of the simulated replicates behind the P values of
// Tajima's D and Fu's Fs. Shared by the drivers of every data type.

#include "popstats/AHaplFreq.h"
#include "run/settings.h"

namespace quintle {

class PopGenetics;

// What one call of a driver knows across its sections.
struct SampleDriverState {
    bool dataChecked = false;            // check_data has run in this call
    bool polymorphismEvaluated = false;  // evaluate_polymorphism has run
    bool listFilled = false;             // freqList comes from the distance matrix
    // Haplotype frequency records of the Ewens-Watterson, Chakraborty and
    // Fu sections; owned, freed with the state whenever the driver returns.
    AHaplFreqList freqList;

    explicit SampleDriverState(int numHaplotypes) : freqList(numHaplotypes + 1 > 1 ? numHaplotypes + 1 : 1, 10) {}
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

// Every 50th replicate moves the progress on; true when the run asks to stop.
bool replicate_progress(long r, settings& s);

// Runs replicate(r) for r = 1 .. R (none when R < 1). False as soon as the
// run asks to stop: after every 50th replicate, and with stopBefore also
// before each one.
template <class Replicate>
bool run_replicates(long R, settings& s, bool stopBefore, Replicate&& replicate) {
    for (long r = 1; r <= R; ++r) {
        if (stopBefore && s.stopFlag != 0) return false;
        replicate(r);
        if (replicate_progress(r, s)) return false;
    }
    return true;
}

// After a series of replicates: the class-wide per-site hit table is
// emptied when the sample's tree holds nodes, so that the next sample may
// have another number of sites.
void empty_hit_table(PopGenetics& p);

}  // namespace quintle
