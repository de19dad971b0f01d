// Population-specific FIS of the individual-level designs: each sample's
// own AMOVA of individuals (among and within individuals), its permutation
// counts, and the table of the values.

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <string>

#include "amova/Amova.h"
#include "data/Population.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr double kNotComputed = -9.99999;

}  // namespace

double Amova::population_FIS(Population const& p) {
    double const individuals = p.SampleSize * 0.5;
    double const within = p.SSDWI / individuals;
    double const among = individuals > 1 ? ((p.SSDWP_divN - p.SSDWI) / (individuals - 1) - within) * 0.5 : 0.0;
    double const sum = among + within;
    return sum != 0.0 ? among / sum : kNotComputed;
}

void Amova::compute_pop_FIS() {
    if (settings->PopSpecificFIS == 0) return;
    for (Population const* p : pops_by_id)
        if (p != nullptr && p->id >= 0 && static_cast<std::size_t>(p->id) < pop_FIS.size())
            pop_FIS[static_cast<std::size_t>(p->id)] = population_FIS(*p);
}

void Amova::count_pop_FIS() {
    if (settings->PopSpecificFIS == 0) return;
    for (Population const* p : pops_by_id) {
        if (p == nullptr || p->id < 0 || static_cast<std::size_t>(p->id) >= pop_spare.size()) continue;
        double const permuted = population_FIS(*p);
        // An undefined permuted value never counts (nor does a NaN).
        if (permuted != kNotComputed && permuted >= pop_FIS[static_cast<std::size_t>(p->id)])
            pop_spare[static_cast<std::size_t>(p->id)] += 1.0;
    }
}

void Amova::clear_pop_FIS_counts() { std::fill(pop_spare.begin(), pop_spare.end(), 0.0); }

void Amova::pop_FIS_counts_to_p() {
    if (settings->PopSpecificFIS == 0 || nb_perm == 0) return;
    for (double& c : pop_spare) c /= static_cast<double>(nb_perm);
}

void Amova::print_pop_FIS_table(std::ostream& out, bool with_p) {
    quintle::settings& s = *settings;
    bool const groups = s.current_samples != nullptr && s.current_samples->GroupLevel;
    if (groups)
        print_amova_anchor(2, s, my_string("GR_AMOVA_FIS"), my_string("FIS per group"));
    else
        print_amova_anchor(2, s, my_string("POP_AMOVA_FIS"), my_string("FIS per pop"));

    int w = 0;
    for (Population const* p : pops_by_id)
        if (p != nullptr) w = std::max(w, p->name.length());
    w = std::max(10, w + 2);
    std::string const dashes(static_cast<std::size_t>(w) + (with_p ? 41 : 16), '-');
    if (with_p) {
        out << "\n-------------------------------------------------------"
            << "\nPopulation specific FIS indices (" << nb_perm << " permutations)\n"
            << dashes << "\n";
        out << std::right << std::setw(6) << "Pop#" << std::setw(w) << "Name" << std::setw(10) << "FIS"
            << std::setw(25) << "P(Rand FIS>=Obs FIS)\n"
            << dashes << "\n";
    } else {
        out << "\n-------------------------------" << "\nPopulation specific FIS indices\n" << dashes << "\n";
        out << std::right << std::setw(6) << "Pop#" << std::setw(w) << "Name" << std::setw(10) << "FIS\n"
            << dashes << "\n";
    }
    // Rows follow the structure's own member lists (the test among groups
    // leaves the engine's groups shuffled); each row shows its sample's
    // values, found by the sample's id.
    int row = 0;
    for (int g = 0; structure != nullptr && g < structure->NbGroups && structure->Groups; ++g) {
        PopulationGroup const& members = structure->Groups[g];
        for (long j = 0; j < members.count; ++j) {
            Population const* p = members.data[j];
            if (p == nullptr || p->id < 0 || static_cast<std::size_t>(p->id) >= pop_FIS.size()) continue;
            std::size_t const id = static_cast<std::size_t>(p->id);
            out << std::fixed << std::right << std::showpoint << std::setw(6) << ++row << std::setw(w)
                << p->name.c_str() << std::setw(10) << std::setprecision(5) << pop_FIS[id];
            if (with_p) out << std::setw(20) << std::setprecision(6) << pop_spare[id];
            out << "\n";
        }
    }
    out << dashes << "\n\n";
}

}  // namespace quintle
