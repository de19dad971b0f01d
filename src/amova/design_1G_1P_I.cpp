// One sample analysed at the level of individuals: the variance among the
// individuals of the sample (Va) and within them (Vb), the inbreeding index
// FIS and, on request, FIS per sample. Va is tested by permuting gene
// copies among the individuals of the sample.

#include <string>

#include "amova/Amova.h"
#include "data/Population.h"

namespace quintle {

namespace {

constexpr char const* kName = "Amova::AMOVA_1G_1P_I()";

}  // namespace

double Amova::permuted_Va_1G_1P_I() {
    double const W = *compute_SSDWI();
    double const T = *sample_SSDWP_div_freq(pops_by_id[0]);
    SSDWP = T - W;
    // Va = SSDWP / (2 df0) - SSDWI / (2 df1): two gene copies per individual.
    return (T - W) * (1.0 / (2.0 * df[0])) - W * (1.0 / (2.0 * df[1]));
}

int Amova::AMOVA_1G_1P_I() { return run_design_step(2, &Amova::design_1G_1P_I); }

bool Amova::design_1G_1P_I(AmovaDesignResult& r) {
    my_string const reporter(kName);
    // The units of the analysis are the individuals, two gene copies each.
    N = total_size * 0.5;
    if (check_sample_sizes(reporter, 1) == 0) return false;
    int const P = static_cast<int>(pops_by_id.size());

    df[1] = static_cast<int>(N);
    df[0] = df[1] - 1;
    if (df[0] <= 0 || df[1] <= 0 || P < 1) {
        E.error(ERROR, reporter, Msg::m2_ill_defined_structure);
        return false;
    }

    load_HaplotypeIndexVector();
    SSDWI = *compute_SSDWI();
    double const T = *sample_SSDWP_div_freq(pops_by_id[0]);
    SSDWP = T - SSDWI;
    SSDT = SSDWP + SSDWI;
    MSD[0] = SSDWP / df[0];
    MSD[1] = SSDWI / df[1];
    Vb = MSD[1];
    Va = (MSD[0] - Vb) * 0.5;
    V_total = Va + Vb;
    if (V_total == 0.0) V_total = 1e-18;
    FIS = Va + Vb != 0.0 ? Va / (Va + Vb) : 0.0;
    compute_pop_FIS();

    snapshot_components(r, 2, static_cast<int>(2 * N - 1));
    r.ss[0] = SSDWP;
    r.ss[1] = SSDWI;
    r.pop_FIS = pop_FIS;

    clear_pop_FIS_counts();
    ComponentTest test{"Va and FIS : P(rand. value > obs. value)  = ",
                       "Va",
                       false,
                       Va,
                       0,
                       "Results : Va\n",
                       nullptr,
                       &Amova::PHAIWP,
                       false,
                       &Amova::permuted_Va_1G_1P_I,
                       results != nullptr ? 1 : 0,
                       AmovaIndex::FIS,
                       WARNING,
                       &Amova::count_pop_FIS};
    std::string const histogram = std::string("Amova::AMOVA_1G_1P_I (Histogram)");
    TestFrame frame{kName, histogram.c_str(), MEMORY, 0, 3.0, &test, 1, {0, -1, -1, -1}, {0}, 1};
    if (run_permutation_tests(frame, r) == 0) return false;
    finish_pop_FIS(r);
    return true;
}

}  // namespace quintle
