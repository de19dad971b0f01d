// Several groups of samples analysed with the individual level: the
// variance among groups (Va), among samples within groups (Vb), among
// individuals within samples (Vc) and within individuals (Vd), with FIS,
// FSC, FCT, FIT and, on request, FIS per sample. The tests run in the
// order Vd (gene copies among all samples), Vc (gene copies among the
// individuals of each sample), Vb (whole individuals among the samples of
// each group) and Va (whole samples dealt out to the groups anew).

#include <cmath>

#include "amova/Amova.h"
#include "data/Population.h"
#include "run/glbobj.h"

namespace quintle {

namespace {

constexpr char const* kName = "Amova::AMOVA_G_P_I()";

}  // namespace

double Amova::permuted_Vd_G_P_I() { return copy_pair_sum() / df[3]; }

double Amova::permuted_Vc_G_P_I() {
    double U = 0.0;
    for (Population* p : pops_by_id) U += *sample_SSDWP_div_freq(p);
    double const Sd = *compute_SSDWI();
    return ((U - Sd) / df[2] - Sd / df[3]) * 0.5;
}

double Amova::permuted_Vb_G_P_I() {
    // Whole individuals moved within groups: every group's pair sum, and so
    // SSDWG and n, stay as observed, as does the within-individual sum.
    double U = 0.0;
    for (std::vector<Population*> const& members : group_pops)
        for (Population* p : members) U += *sample_SSDWP_div_freq(p);
    double groups = 0.0;
    for (double v : SSDWG) groups += v;
    return (groups - U) / (df[1] * n_coeff[0]) - (U - observed_SSDWI_) / (df[2] * n_coeff[0]);
}

double Amova::permuted_Va_G_P_I() {
    return grouping_Va(total_size, total_SSD / total_size, observed_within_, SSDWP, df[2]);
}

int Amova::AMOVA_G_P_I() { return run_design_step(6, &Amova::design_G_P_I); }

bool Amova::design_G_P_I(AmovaDesignResult& r) {
    my_string const reporter(kName);
    if (check_sample_sizes(reporter, 1) == 0) return false;
    // The units of the analysis are the individuals, two gene copies each.
    N = total_size * 0.5;
    int const G = static_cast<int>(group_pops.size());
    int const P = static_cast<int>(pops_by_id.size());
    int const NI = static_cast<int>(N);

    df[0] = G - 1;
    df[1] = P - G;
    df[2] = NI - P;
    df[3] = NI;
    // Without a degree of freedom at some level the components would be
    // divisions by zero.
    if (df[0] <= 0 || df[1] <= 0 || df[2] <= 0 || NI == 0) {
        E.error(ERROR, reporter, Msg::m2_ill_defined_structure);
        return false;
    }

    double const T = total_size;
    compute_SSDP();
    compute_total_SSD();
    load_HaplotypeIndexVector();
    compute_SSDWI();
    double const M = static_cast<double>(2 * NI);
    double sumW = 0.0;  // sum of SSDWG
    double sumQN = 0.0;
    double R = 0.0;
    double U = 0.0;
    double Z = 0.0;
    for (int g = 0; g < G; ++g) {
        std::vector<Population*> const& members = group_pops[g];
        double const Ng = group_size[g];
        double Sg = 0.0;
        double Qg = 0.0;
        for (std::size_t i = 0; i < members.size(); ++i) {
            Population const* p = members[i];
            Sg += SSDP(p->id, p->id);
            for (std::size_t j = i + 1; j < members.size(); ++j) Sg += SSDP(p->id, members[j]->id);
            double const n = p->SampleSize;
            Qg += n * n;
            R += n * n * (M - Ng) / (M * Ng);
            U += p->SSDWP / n;
        }
        Z += Ng * Ng;
        SSDWG[g] = Sg / Ng;
        sumW += SSDWG[g];
        sumQN += Qg / Ng;
    }
    SSDAG = total_SSD / T - sumW;
    SSDAP = sumW - U;
    SSDWP = U - SSDWI;
    SSDT = SSDAG + SSDAP + SSDWP + SSDWI;
    observed_within_ = U;
    observed_SSDWI_ = SSDWI;

    MSD[0] = SSDAG / df[0];
    MSD[1] = SSDAP / df[1];
    MSD[2] = SSDWP / df[2];
    MSD[3] = SSDWI / df[3];
    n_coeff[0] = (2 * N - sumQN) / df[1];
    n_coeff[1] = R / df[0];
    n_coeff[2] = (2 * N - Z / (2 * N)) / df[0];

    Vd = MSD[3];
    Vc = (MSD[2] - MSD[3]) * 0.5;
    Vb = (MSD[1] - MSD[2]) / n_coeff[0];
    Va = (MSD[0] - MSD[2] - n_coeff[1] * Vb) / n_coeff[2];
    V_total = Va + Vb + Vc + Vd;
    if (V_total == 0.0) {
        V_total = 1e-18;
        FCT = 0.0;
        FSC = 0.0;
        FIT = 0.0;
    } else {
        FCT = Va / V_total;
        // Samples that differ from their group's others only: 0, not 0/0.
        double const belowGroups = Vb + Vc + Vd;
        FSC = belowGroups != 0.0 ? Vb / belowGroups : 0.0;
        FIT = (Va + Vb + Vc) / V_total;
    }
    double const individuals = Vc + Vd;
    FIS = individuals != 0.0 && !std::isnan(individuals) ? Vc / individuals : 0.0;
    compute_pop_FIS();

    snapshot_components(r, 4, static_cast<int>(T - 1));
    r.ss[0] = SSDAG;
    r.ss[1] = SSDAP;
    r.ss[2] = SSDWP;
    r.ss[3] = SSDWI;
    r.pop_FIS = pop_FIS;

    clear_pop_FIS_counts();
    int const r1 = results != nullptr ? 1 : 0;
    ComponentTest tests[4] = {
        {"Vd and FIT : P(rand. value &lt; obs. value)  = ", "Vd", true, Vd, 3, "Results : Vd\n", nullptr,
         &Amova::PHAPAG, false, &Amova::permuted_Vd_G_P_I, 4 * r1,
         AmovaIndex::FIT, WARNING, nullptr},
        {"Vc and FIS : P(rand. value > obs. value)  = ", "Vc", false, Vc, 2, "Results : Vc\n",
         &Amova::load_for_individual_test, &Amova::PHAIWP, false, &Amova::permuted_Vc_G_P_I,
         3 * r1, AmovaIndex::FIS, WARNING, &Amova::count_pop_FIS},
        {"Vb and FSC : P(rand. value > obs. value)  = ", "Vb", false, Vb, 1, "Results : Vb\n",
         &Amova::load_HaplotypeIndexVector, &Amova::PIAPWG, false, &Amova::permuted_Vb_G_P_I,
         2 * r1, AmovaIndex::FSC, WARNING, nullptr},
        {"Va and FCT : P(rand. value > obs. value)  = ", "Va", false, Va, 0, "Results : Va\n",
         &Amova::load_for_groups_test, &Amova::PPAG, true, &Amova::permuted_Va_G_P_I,
         r1, AmovaIndex::FCT, WARNING, nullptr},
    };
    // Batch line: P of Va, Vb, Vc, Vd; histogram columns Va, Vb, Vc, Vd.
    // The size guard gives up without a report.
    TestFrame frame{kName, kName, ERROR, -1, 1.0, tests, 4, {3, 2, 1, 0}, {3, 2, 1, 0}, 4};
    if (run_permutation_tests(frame, r) == 0) return false;
    finish_pop_FIS(r);
    return true;
}

void Amova::load_for_individual_test() {
    *_AOS_ << "\t\tPermuting Haplotypes among Individuals Within Populations. ... \n";
    load_HaplotypeIndexVector();
}

void Amova::load_for_groups_test() {
    load_HaplotypeIndexVector();
    compute_SSDP();
}

}  // namespace quintle
