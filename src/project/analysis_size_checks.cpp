#include "project/analysis_size_checks.h"

#include <ostream>
#include <sstream>
#include <string>

#include "core/Errors.h"
#include "data/Population.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

constexpr char kChecker[] = "samples_fit_analyses()";

std::string count_text(double v) {
    std::ostringstream os;
    os.precision(15);
    os << v;
    return os.str();
}

// Reports `name` as too large for `use` and returns false.
bool refuse(std::string const& name, double copies, double limit, char const* use) {
    *_AOS_ << "\tSample \"" << name << "\" holds " << count_text(copies) << " gene copies: " << use
           << " can hold at most " << count_text(limit) << ". Aborting the run of this project." << std::endl;
    E.error(ERROR, (std::string(kChecker) + " (sample \"" + name + "\")").c_str(),
            Msg::m179_too_many_alleles);
    return false;
}

struct Uses {
    bool coalescent = false;  // Tajima's D or Fu's Fs simulate samples of the same size
    bool listed = false;      // genotypic gene copies laid out one entry each
};

bool fits(std::string const& name, double copies, Uses const& uses) {
    bool ok = true;
    if (uses.coalescent && copies > max_simulated_gene_copies)
        ok = refuse(name, copies, max_simulated_gene_copies, "the coalescent simulations of the neutrality tests");
    if (uses.listed && copies > max_listed_gene_copies)
        ok = refuse(name, copies, max_listed_gene_copies, "the list of gene copies of the AMOVA and pairwise tests") &&
             ok;
    return ok;
}

}  // namespace

bool samples_fit_analyses(Samples const& set, Structure const* structure, settings const& s, bool groupPass) {
    bool const genotypic = set.GenotypicData != 0;
    Uses uses;
    // Unphased genotypes are not tested for neutrality.
    uses.coalescent = ProfileSettings::DataType == DNA && (s.TaskNumber & (task_tajima | task_fu_fs)) != 0 &&
                      !(genotypic && set.GameticPhase == 0);
    uses.listed = genotypic && (s.TaskNumber & (task_amova | task_pairwise_fst)) != 0;
    if (!uses.coalescent && !uses.listed) return true;

    bool ok = true;
    for (long i = 0; i < set.Populations.count; ++i)
        if (Population const* p = set.Populations.data[i]) ok = fits(p->name.c_str(), p->SampleSize, uses) && ok;

    // The group pass pools the samples of each group into one.
    if (groupPass && structure != nullptr && structure->Groups) {
        for (int g = 0; g < structure->NbGroups; ++g) {
            double copies = 0.0;
            for (long k = 0; k < structure->Groups[g].count; ++k)
                if (Population const* p = structure->Groups[g].data[k]) copies += p->SampleSize;
            ok = fits("Group" + std::to_string(g + 1), copies, uses) && ok;
        }
    }
    return ok;
}

}  // namespace quintle
