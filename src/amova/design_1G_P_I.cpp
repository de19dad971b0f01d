// One group of several samples analysed with the individual level: the
// variance among samples (Va), among individuals within samples (Vb) and
// within individuals (Vc), with FIS, FST, FIT and, on request, FIS per
// sample. Vb is tested by permuting gene copies among the individuals of
// each sample, Va by moving whole individuals among samples, Vc by
// permuting gene copies among samples.

#include <cmath>

#include "amova/Amova.h"
#include "data/Population.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char const* kName = "Amova::AMOVA_1G_P_I()";

}  // namespace

double Amova::permuted_Vb_1G_P_I() {
    double S = 0.0;
    for (Population* p : pops_by_id) S += *sample_SSDWP_div_freq(p);
    double const Sc = *compute_SSDWI();
    return ((S - Sc) / df[1] - Sc / df[2]) * 0.5;
}

double Amova::permuted_Va_1G_P_I() {
    // Whole individuals moved: the total and the within-individual sums
    // stay as observed, only the within-sample sums change.
    double S = 0.0;
    for (Population* p : pops_by_id) S += *sample_SSDWP_div_freq(p);
    double const among = observed_total_ / total_size - S;
    double const individuals = S - observed_SSDWI_;
    return (among / df[0] - individuals / df[1]) / n_coeff[0];
}

double Amova::permuted_Vc_1G_P_I() { return copy_pair_sum() / df[2]; }

int Amova::AMOVA_1G_P_I() { return run_design_step(4, &Amova::design_1G_P_I); }

bool Amova::design_1G_P_I(AmovaDesignResult& r) {
    if (settings->stopFlag != 0) return false;
    // The units of the analysis are the individuals, two gene copies each.
    N = total_size * 0.5;
    my_string const reporter(kName);
    if (check_sample_sizes(reporter, 1) == 0) return false;
    int const P = static_cast<int>(pops_by_id.size());
    int const NI = static_cast<int>(N);

    df[0] = P - 1;
    df[1] = NI - P;
    df[2] = NI;
    if (P <= 1 || df[1] <= 0 || NI == 0) {
        E.error(ERROR, reporter, Msg::m2_ill_defined_structure);
        return false;
    }

    double const Ntot = total_size;
    SSDWP = 0.0;
    load_HaplotypeIndexVector();
    compute_SSDWI();
    double T = 0.0;
    double S = 0.0;
    double sumN2 = 0.0;
    for (int p = 0; p < P; ++p) {
        Population* a = pops_by_id[p];
        T += *sample_SSDWP(a);
        for (int q = p + 1; q < P; ++q) T += sample_SSDAP(a, pops_by_id[q]);
        S += a->SSDWP / a->SampleSize;
        sumN2 += a->SampleSize * a->SampleSize;
    }
    SSDAP = T / Ntot - S;
    SSDWP = S - SSDWI;
    SSDT = SSDAP + SSDWP + SSDWI;
    observed_total_ = T;
    observed_within_ = S;
    observed_SSDWI_ = SSDWI;

    MSD[0] = SSDAP / df[0];
    MSD[1] = SSDWP / df[1];
    MSD[2] = SSDWI / df[2];
    n_coeff[0] = (Ntot - sumN2 / Ntot) / (P - 1);
    Vc = MSD[2];
    Vb = (MSD[1] - MSD[2]) * 0.5;
    Va = (MSD[0] - MSD[1]) / n_coeff[0];
    V_total = Va + Vb + Vc;
    if (V_total == 0.0 || std::isnan(V_total)) {
        V_total = 1e-18;
        FST = 0.0;
        FIT = 0.0;
    } else {
        FST = Va / V_total;
        FIT = (Va + Vb) / V_total;
    }
    double const within = Vb + Vc;
    FIS = within != 0.0 && !std::isnan(within) ? Vb / within : 0.0;
    compute_pop_FIS();

    snapshot_components(r, 3, static_cast<int>(2 * N - 1));
    r.ss[0] = SSDAP;
    r.ss[1] = SSDWP;
    r.ss[2] = SSDWI;
    r.pop_FIS = pop_FIS;

    clear_pop_FIS_counts();
    int const r1 = results != nullptr ? 1 : 0;
    ComponentTest tests[3] = {
        {"Vb and FIS : P(rand. value > obs. value)  = ", "Vb", false, Vb, 1, "Results : Vb\n",
         &Amova::load_HaplotypeIndexVector, &Amova::PHAIWP, false, &Amova::permuted_Vb_1G_P_I,
         2 * r1, AmovaIndex::FIS, WARNING,
         &Amova::count_pop_FIS},
        {"Va and FST : P(rand. value > obs. value)  = ", "Va", false, Va, 0, "Results : Va\n",
         &Amova::load_HaplotypeIndexVector, &Amova::PIAPWG, false, &Amova::permuted_Va_1G_P_I,
         r1, AmovaIndex::FST, ERROR,
         nullptr},
        {"Vc and FIT : P(rand. value &lt; obs. value)  = ", "Vc", true, Vc, 2, "Results : Vc\n",
         &Amova::load_HaplotypeIndexVector, &Amova::PHAPWG, false, &Amova::permuted_Vc_1G_P_I,
         3 * r1, AmovaIndex::FIT, WARNING,
         nullptr},
    };
    // Batch line, closed after the test of Va: P of Va and Vb. Histogram
    // columns Va, Vb, Vc.
    TestFrame frame{kName, kName, ERROR, 3, 1.0, tests, 3, {1, 0, -1, -1}, {1, 0, 2}, 3, 1, "AMOVA_1G_P_I()"};
    if (run_permutation_tests(frame, r) == 0) return false;
    finish_pop_FIS(r);
    return true;
}

}  // namespace quintle
