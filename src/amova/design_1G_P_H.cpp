// One group of several samples analysed at the level of gene copies: the
// variance among samples (Va) and within samples (Vb), FST and, on request,
// sample-specific FST values; Va is tested by permuting gene copies among
// the samples.

#include <algorithm>
#include <ostream>
#include <string>

#include "amova/Amova.h"
#include "data/Population.h"
#include "run/settings.h"

namespace quintle {

namespace {

// "Amova::AMOVA_1G_P_H()" -> "Amova::AMOVA_1G_P_H (Histogram)".
std::string histogram_reporter(char const* design) {
    std::string name = design;
    if (name.size() >= 2 && name.compare(name.size() - 2, 2, "()") == 0) name.resize(name.size() - 2);
    return name + " (Histogram)";
}

}  // namespace

int Amova::AMOVA_1G_P_H() { return run_design_step(3, &Amova::design_1G_P_H); }

bool Amova::design_1G_P_H(AmovaDesignResult& r) {
    // Sums over gene copies are divided by the number of copies, also when
    // the engine was asked for the individual level.
    N = total_size;
    return one_group_design(r, "Amova::AMOVA_1G_P_H()", &Amova::PHAPWG, 0);
}

double Amova::permuted_Va_one_group() {
    // The total does not change under permutation: only the within-sample
    // sums are recomputed.
    double s = 0.0;
    for (Population* p : pops_by_id) s += *sample_SSDWP_div_freq(p);
    double const c1 = 1.0 / (df[0] * n_coeff[0]);
    double const c2 = -1.0 / (df[1] * n_coeff[0]);
    return (SSDT - s) * c1 + s * c2;
}

bool Amova::one_group_design(AmovaDesignResult& r, char const* name, void (Amova::*shuffle)(), int individuals) {
    my_string const reporter(name);
    if (check_sample_sizes(reporter, individuals) == 0) return false;
    quintle::settings& s = *settings;
    int const P = static_cast<int>(pops_by_id.size());
    int const G = static_cast<int>(group_pops.size());

    df[0] = P - G;
    df[1] = static_cast<int>(N) - P;
    if (df[0] <= 0 || df[1] <= 0) {
        E.error(ERROR, reporter, Msg::m2_ill_defined_structure);
        return false;
    }

    // Raw sum over all pairs of copies, within-sample sums and the sum of
    // the squared sample sizes.
    double T = 0.0;
    double S2 = 0.0;
    SSDWP = 0.0;
    for (int i = 0; i < P; ++i) {
        Population* a = pops_by_id[i];
        T += *sample_SSDWP(a);
        SSDWP += a->SSDWP_divN;
        for (int j = i + 1; j < P; ++j) T += sample_SSDAP(a, pops_by_id[j]);
        S2 += a->SampleSize * a->SampleSize;
    }
    SSDAP = T / N - SSDWP;
    SSDT = SSDAP + SSDWP;
    MSD[0] = SSDAP / df[0];
    MSD[1] = SSDWP / df[1];
    n_coeff[0] = (N - S2 / N) / df[0];
    Vb = MSD[1];
    Va = (MSD[0] - MSD[1]) / n_coeff[0];
    V_total = Va + Vb;

    if (V_total == 0.0) {
        V_total = 1e-18;
        FST = 0.0;
        std::fill(pop_FST.begin(), pop_FST.end(), 0.0);
    } else {
        FST = Va / V_total;
        if (s.PopSpecificFST != 0)
            for (int i = 0; i < P && i < static_cast<int>(pop_FST.size()); ++i) {
                Population const* p = pops_by_id[i];
                pop_FST[i] = (MSD[0] - N * p->SSDWP_divN / (df[1] * p->SampleSize)) / n_coeff[0] / V_total;
            }
    }

    snapshot_components(r, 2, static_cast<int>(N - 1));
    r.ss[0] = SSDAP;
    r.ss[1] = SSDWP;
    r.pop_FST = pop_FST;

    ComponentTest test{"Va and FST : P(rand. value > obs. value)  = ",
                       "Va",
                       false,
                       Va,
                       0,
                       "Results : Va\n",
                       nullptr,
                       shuffle,
                       false,
                       &Amova::permuted_Va_one_group,
                       results != nullptr ? 1 : 0,
                       AmovaIndex::FST};
    std::string const histogram = histogram_reporter(name);
    TestFrame const frame{name, histogram.c_str(), ERROR, 3, 3.0, &test, 1, {0, -1, -1, -1}, {0}, 1};
    return run_permutation_tests(frame, r) != 0;
}

}  // namespace quintle
