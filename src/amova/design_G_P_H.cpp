// Several groups of samples analysed at the level of gene copies: the
// variance among groups (Va), among samples within groups (Vb) and within
// samples (Vc), with FSC, FST and FCT. Vc is tested by permuting gene copies
// among all samples, Vb by permuting them among the samples of each group,
// Va by dealing whole samples out to the groups anew.

#include <cmath>

#include "amova/Amova.h"
#include "data/Population.h"

namespace quintle {

int Amova::AMOVA_G_P_H() { return run_design_step(5, &Amova::design_G_P_H); }

bool Amova::design_G_P_H(AmovaDesignResult& r) {
    // Sums over gene copies are divided by the number of copies, also when
    // the engine was asked for the individual level.
    N = total_size;
    return group_design(r, "Amova::AMOVA_G_P_H()", &Amova::PHAPAG, &Amova::PHAPWG, 0);
}

double Amova::permuted_Vc_groups() {
    double w = 0.0;
    for (Population* p : pops_by_id) w += *sample_SSDWP_div_freq(p);
    return w / df[2];
}

double Amova::permuted_Vb_groups() {
    // Moving copies within groups leaves every group's pair sum, and so the
    // observed SSDWG and n, as they are.
    double w = 0.0;
    for (Population* p : pops_by_id) w += *sample_SSDWP_div_freq(p);
    double groups = 0.0;
    for (double v : SSDWG) groups += v;
    return (groups - w) / (df[1] * n_coeff[0]) - w / (df[2] * n_coeff[0]);
}

double Amova::permuted_Va_groups() { return grouping_Va(N, SSDT, SSDWP, SSDWP, df[2]); }

double Amova::grouping_Va(double units, double total, double within, double lowest, int dfLowest) {
    // Whole samples moved between groups: every pair sum stays valid, only
    // the grouping, and with it the coefficients, changes.
    double sumSN = 0.0;   // sum over groups of S*_g / N*_g
    double sumQN = 0.0;   // sum over groups of Q*_g / N*_g
    double sumNg2 = 0.0;  // sum over groups of N*_g^2
    double sumQ = 0.0;    // sum of the squared sample sizes
    for (std::vector<Population*> const& members : group_pops) {
        double Ng = 0.0;
        double S = 0.0;
        double Q = 0.0;
        for (std::size_t i = 0; i < members.size(); ++i) {
            int const idi = members[i]->id;
            S += SSDP(idi, idi);
            for (std::size_t j = i + 1; j < members.size(); ++j) S += SSDP(idi, members[j]->id);
            double const n = members[i]->SampleSize;
            Ng += n;
            Q += n * n;
        }
        sumSN += S / Ng;
        sumQN += Q / Ng;
        sumNg2 += Ng * Ng;
        sumQ += Q;
    }
    double const n = (units - sumQN) / df[1];
    double const n1 = (sumQN - sumQ / units) / df[0];
    double const n2 = (units - sumNg2 / units) / df[0];
    double const among_groups = total - sumSN;
    double const among_samples = sumSN - within;
    return among_groups / (df[0] * n2) - n1 * among_samples / (df[1] * n2 * n) +
           (n1 - n) * lowest / (dfLowest * n2 * n);
}

bool Amova::group_design(AmovaDesignResult& r, char const* name, void (Amova::*among_all)(),
                         void (Amova::*within_groups)(), int individuals) {
    my_string const reporter(name);
    if (check_sample_sizes(reporter, individuals) == 0) return false;
    int const G = static_cast<int>(group_pops.size());
    int const P = static_cast<int>(pops_by_id.size());

    df[0] = G - 1;
    df[1] = P - G;
    df[2] = static_cast<int>(N) - P;
    if (df[0] <= 0 || df[1] <= 0 || df[2] <= 0) {
        E.error(ERROR, reporter, Msg::m2_ill_defined_structure);
        return false;
    }

    compute_SSDP();
    compute_total_SSD();
    SSDWP = 0.0;
    double sumW = 0.0;    // sum of SSDWG
    double sumQN = 0.0;   // sum over groups of Q_g / N_g
    double sumQ = 0.0;    // sum of the squared sample sizes
    double sumNg2 = 0.0;  // sum of the squared group sizes
    for (int g = 0; g < G; ++g) {
        std::vector<Population*> const& members = group_pops[g];
        double S = 0.0;
        double Q = 0.0;
        for (std::size_t i = 0; i < members.size(); ++i) {
            Population const* p = members[i];
            S += SSDP(p->id, p->id);
            for (std::size_t j = i + 1; j < members.size(); ++j) S += SSDP(p->id, members[j]->id);
            Q += p->SampleSize * p->SampleSize;
            SSDWP += p->SSDWP / p->SampleSize;
        }
        double const Ng = group_size[g];
        SSDWG[g] = S / Ng;
        sumW += SSDWG[g];
        sumQN += Q / Ng;
        sumQ += Q;
        sumNg2 += Ng * Ng;
    }
    SSDAG = total_SSD / N - sumW;
    SSDAP = sumW - SSDWP;
    SSDT = SSDAG + SSDAP + SSDWP;

    MSD[0] = SSDAG / df[0];
    MSD[1] = SSDAP / df[1];
    MSD[2] = SSDWP / df[2];
    n_coeff[0] = (N - sumQN) / df[1];
    n_coeff[1] = (sumQN - sumQ / N) / df[0];
    n_coeff[2] = (N - sumNg2 / N) / df[0];

    Vc = MSD[2];
    Vb = (MSD[1] - Vc) / n_coeff[0];
    Va = (MSD[0] - Vc - n_coeff[1] * Vb) / n_coeff[2];
    V_total = Va + Vb + Vc;
    if (V_total == 0.0 || std::isnan(V_total)) {
        FST = 0.0;
        FCT = 0.0;
        V_total = 1e-18;
    } else {
        FST = (Va + Vb) / V_total;
        FCT = Va / V_total;
    }
    FSC = Vb + Vc == 0.0 ? 0.0 : Vb / (Vb + Vc);

    snapshot_components(r, 3, static_cast<int>(N - 1));
    r.ss[0] = SSDAG;
    r.ss[1] = SSDAP;
    r.ss[2] = SSDWP;
    // The record takes no level below the samples here.
    r.df[3] = 0;
    r.v[3] = 0.0;
    r.SSDWI = 0.0;
    r.FIT = 0.0;
    r.FIS = 0.0;

    // In running order: Vc (copies or individuals among all samples), Vb
    // (within groups), Va (samples among groups).
    ComponentTest tests[3] = {
        {"Vc and FST : P(rand. value &lt; obs. value)  = ", "Vc", true, Vc, 2, "Results : Vc\n", nullptr, among_all,
         false, &Amova::permuted_Vc_groups, results != nullptr ? 3 : 0, AmovaIndex::FST},
        {"Vb and FSC : P(rand. value > obs. value)  = ", "Vb", false, Vb, 1, "Results : Vb\n",
         &Amova::load_HaplotypeIndexVector, within_groups, false, &Amova::permuted_Vb_groups,
         results != nullptr ? 2 : 0, AmovaIndex::FSC},
        {"Va and FCT : P(rand. value > obs. value)  = ", "Va", false, Va, 0, "Results : Va\n",
         &Amova::load_HaplotypeIndexVector, &Amova::PPAG, true, &Amova::permuted_Va_groups,
         results != nullptr ? 1 : 0, AmovaIndex::FCT},
    };
    // Batch line: P of FCT, FSC, FST; histogram columns Va, Vb, Vc.
    TestFrame const frame{name, name, MEMORY, 0, 1.0, tests, 3, {2, 1, 0, -1}, {2, 1, 0}, 3};
    return run_permutation_tests(frame, r) != 0;
}

}  // namespace quintle
