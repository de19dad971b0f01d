// One group of several samples analysed with the individual level: the
// variance among samples (Va), among individuals within samples (Vb) and
// within individuals (Vc), with FIS, FST, FIT and, on request, FIS per
// sample. Vb is tested by permuting gene copies among the individuals of
// each sample, Va by moving whole individuals among samples, Vc by
// permuting gene copies among samples.

#include <cmath>
#include <iomanip>
#include <ostream>

#include "amova/Amova.h"
#include "amova/amova_results.h"
#include "data/Population.h"
#include "project/pass_results.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char const* kRule = "----------------------------------------------------------------------";
constexpr char const* kName = "Amova::AMOVA_1G_P_I()";

void print_index(std::ostream& out, char const* label, double value) {
    out << label << std::setw(12) << std::setprecision(5) << value << "\n";
}

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

int Amova::AMOVA_1G_P_I() {
    quintle::settings& s = *settings;
    if (s.stopFlag != 0) return 0;
    // The units of the analysis are the individuals, two gene copies each.
    N = total_size * 0.5;
    my_string const reporter(kName);
    if (check_sample_sizes(reporter, 1) == 0) return 0;
    int const P = static_cast<int>(pops_by_id.size());
    int const NI = static_cast<int>(N);

    df[0] = P - 1;
    df[1] = NI - P;
    df[2] = NI;
    if (P <= 1 || df[1] <= 0 || NI == 0) {
        E.error(ERROR, reporter, Msg::m2_ill_defined_structure);
        return 0;
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

    if (print_results != 0) {
        if (std::ostream* out = s.ResultFile) {
            print_table_start(*out);
            auto row = [&](int d, double ss, double v, char const* label) {
                *out << std::setw(7) << d << std::setw(15) << std::setprecision(3) << ss << std::setw(15)
                     << std::setprecision(5) << v << label << std::setw(17) << std::setprecision(2)
                     << v / V_total * 100;
            };
            *out << " Among\n" << " populations";
            row(df[0], SSDAP, Va, " Va");
            *out << "\n\n" << " Among\n" << " individuals\n" << " within\n" << " populations";
            row(df[1], SSDWP, Vb, " Vb");
            *out << "\n\n" << " Within\n" << " individuals";
            row(df[2], SSDWI, Vc, " Vc");
            *out << "\n" << kRule << "\n";
            *out << " Total" << std::setw(13) << static_cast<int>(2 * N - 1) << std::setw(15) << std::setprecision(3)
                 << SSDT << std::setw(15) << std::setprecision(5) << V_total << "\n"
                 << kRule << "\n";
            *out << " Fixation Indices\n";
            print_index(*out, "      FIS : ", FIS);
            print_index(*out, "      FST : ", FST);
            print_index(*out, "      FIT : ", FIT);
            *out << kRule << std::endl;
        }
        give_line_indices(FixationIndices{.fis = FIS, .fst = FST, .fit = FIT});
        if (_AMOVA_RES_ != 0 && ofs_amova_res != nullptr) {
            *ofs_amova_res << df[0] << "\t" << df[1] << "\t" << df[2] << "\t" << 0 << "\t" << Va << "\t" << Vb << "\t"
                           << Vc << "\t" << 0 << "\t" << FIT << "\t" << FST << "\t" << FIS << "\t" << 0;
            amova_res_line_open = true;
        }
        if (nb_perm == 0 && s.PopSpecificFIS != 0 && s.ResultFile != nullptr) print_pop_FIS_table(*s.ResultFile, false);
    }

    if (results != nullptr)
        results->set_amova_results(df[0], SSDAG, Va, df[1], SSDAP, Vb, df[2], SSDWP, Vc, df[3], SSDWI, Vd,
                                   static_cast<int>(N - 1), SSDT, V_total, FST, FSC, FCT, FIT, FIS, 0, 0, 0, 0, 0,
                                   nullptr, pop_FIS.data(), nullptr, P);

    clear_pop_FIS_counts();
    MY_TArrayAsVector<double>* none = nullptr;
    double* noP = nullptr;
    ComponentTest tests[3] = {
        {"Vb and FIS : P(rand. value > obs. value)  = ", "Vb", false, Vb, 1, "Results : Vb\n",
         &Amova::load_HaplotypeIndexVector, &Amova::PHAIWP, false, &Amova::permuted_Vb_1G_P_I,
         results != nullptr ? &results->perm_values2 : none, results != nullptr ? &results->P_FIS : noP, WARNING,
         &Amova::count_pop_FIS},
        {"Va and FST : P(rand. value > obs. value)  = ", "Va", false, Va, 0, "Results : Va\n",
         &Amova::load_HaplotypeIndexVector, &Amova::PIAPWG, false, &Amova::permuted_Va_1G_P_I,
         results != nullptr ? &results->perm_values1 : none, results != nullptr ? &results->P_FST : noP, ERROR,
         nullptr},
        {"Vc and FIT : P(rand. value &lt; obs. value)  = ", "Vc", true, Vc, 2, "Results : Vc\n",
         &Amova::load_HaplotypeIndexVector, &Amova::PHAPWG, false, &Amova::permuted_Vc_1G_P_I,
         results != nullptr ? &results->perm_values3 : none, results != nullptr ? &results->P_FIT : noP, WARNING,
         nullptr},
    };
    // Batch line, closed after the test of Va: P of Va and Vb. Histogram
    // columns Va, Vb, Vc.
    TestFrame frame{kName, kName, ERROR, 3, 1.0, tests, 3, {1, 0, -1, -1}, {1, 0, 2}, 3, 1, "AMOVA_1G_P_I()"};
    if (run_permutation_tests(frame) == 0) return 0;
    if (nb_perm > 0 && s.PopSpecificFIS != 0) {
        pop_FIS_counts_to_p();
        if (print_results != 0 && s.ResultFile != nullptr) print_pop_FIS_table(*s.ResultFile, true);
    }
    return 1;
}

}  // namespace quintle
