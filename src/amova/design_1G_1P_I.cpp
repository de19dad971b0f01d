// One sample analysed at the level of individuals: the variance among the
// individuals of the sample (Va) and within them (Vb), the inbreeding index
// FIS and, on request, FIS per sample. Va is tested by permuting gene
// copies among the individuals of the sample.

#include <iomanip>
#include <ostream>
#include <string>

#include "amova/Amova.h"
#include "amova/amova_results.h"
#include "data/Population.h"
#include "project/pass_results.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char const* kRule = "----------------------------------------------------------------------";
constexpr char const* kName = "Amova::AMOVA_1G_1P_I()";

}  // namespace

double Amova::permuted_Va_1G_1P_I() {
    double const W = *compute_SSDWI();
    double const T = *sample_SSDWP_div_freq(pops_by_id[0]);
    SSDWP = T - W;
    // Va = SSDWP / (2 df0) - SSDWI / (2 df1): two gene copies per individual.
    return (T - W) * (1.0 / (2.0 * df[0])) - W * (1.0 / (2.0 * df[1]));
}

int Amova::AMOVA_1G_1P_I() {
    my_string const reporter(kName);
    // The units of the analysis are the individuals, two gene copies each.
    N = total_size * 0.5;
    if (check_sample_sizes(reporter, 1) == 0) return 0;
    quintle::settings& s = *settings;
    int const P = static_cast<int>(pops_by_id.size());

    df[1] = static_cast<int>(N);
    df[0] = df[1] - 1;
    if (df[0] <= 0 || df[1] <= 0 || P < 1) {
        E.error(ERROR, reporter, Msg::m2_ill_defined_structure);
        return 0;
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

    if (print_results != 0) {
        if (std::ostream* out = s.ResultFile) {
            print_table_start(*out);
            *out << " Among\n"
                 << " individuals" << std::setw(7) << df[0] << std::setw(15) << std::setprecision(3) << SSDWP
                 << std::setw(15) << std::setprecision(5) << Va << " Va" << std::setw(17) << std::setprecision(2)
                 << Va / V_total * 100 << "\n";
            *out << " Within\n"
                 << " individuals" << std::setw(7) << df[1] << std::setw(15) << std::setprecision(3) << SSDWI
                 << std::setw(15) << std::setprecision(5) << Vb << " Vb" << std::setw(17) << std::setprecision(2)
                 << Vb / V_total * 100 << "\n"
                 << kRule << "\n";
            *out << " Total" << std::setw(13) << static_cast<int>(2 * N - 1) << std::setw(15) << std::setprecision(3)
                 << SSDT << std::setw(15) << std::setprecision(5) << V_total << "\n"
                 << kRule << "\n";
            *out << " Fixation Index     FIS : " << std::setw(12) << std::setprecision(5) << FIS << "\n"
                 << kRule << std::endl;
        }
        give_line_indices(FixationIndices{.fis = FIS});
        if (_AMOVA_RES_ != 0 && ofs_amova_res != nullptr) {
            *ofs_amova_res << df[0] << "\t" << df[1] << "\t" << 0 << "\t" << 0 << "\t" << Va << "\t" << Vb << "\t"
                           << 0 << "\t" << 0 << "\t" << FIS << "\t" << 0 << "\t" << 0 << "\t" << 0;
            amova_res_line_open = true;
        }
        if (nb_perm == 0 && s.PopSpecificFIS != 0 && s.ResultFile != nullptr) print_pop_FIS_table(*s.ResultFile, false);
    }

    if (results != nullptr)
        results->set_amova_results(df[0], SSDAG, Va, df[1], SSDAP, Vb, df[2], SSDWP, Vc, df[3], SSDWI, Vd,
                                   static_cast<int>(N - 1), SSDT, V_total, FST, FSC, FCT, FIT, FIS, 0, 0, 0, 0, 0,
                                   nullptr, pop_FIS.data(), nullptr, P);

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
                       results != nullptr ? &results->perm_values1 : nullptr,
                       results != nullptr ? &results->P_FIS : nullptr,
                       WARNING,
                       &Amova::count_pop_FIS};
    std::string const histogram = std::string("Amova::AMOVA_1G_1P_I (Histogram)");
    TestFrame frame{kName, histogram.c_str(), MEMORY, 0, 3.0, &test, 1, {0, -1, -1, -1}, {0}, 1};
    if (run_permutation_tests(frame) == 0) return 0;
    if (nb_perm > 0 && s.PopSpecificFIS != 0) {
        pop_FIS_counts_to_p();
        if (print_results != 0 && s.ResultFile != nullptr) print_pop_FIS_table(*s.ResultFile, true);
    }
    return 1;
}

}  // namespace quintle
