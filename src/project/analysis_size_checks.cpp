#include "project/analysis_size_checks.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

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
bool refuse(std::string const& name, double copies, double limit, std::string const& use) {
    *_AOS_ << "\tSample \"" << name << "\" holds " << count_text(copies) << " gene copies: " << use
           << " can hold at most " << count_text(limit) << ". Aborting the run of this project." << std::endl;
    E.error(ERROR, (std::string(kChecker) + " (sample \"" + name + "\")").c_str(),
            Msg::m179_too_many_alleles);
    return false;
}

// The largest number of gene copies whose tables of `bytes` per copy fit.
double copies_within(double bytes) { return std::floor(max_table_bytes / bytes); }

struct Uses {
    bool coalescent = false;  // Tajima's D or Fu's Fs simulate samples of the same size
    bool expansion = false;   // so do the bootstraps of the expansion fits
    bool listed = false;      // genotypic gene copies laid out one entry each
    bool amova = false;       // the AMOVA engine and the pairwise tests: indexes per copy
    bool spectrum = false;    // a frequency spectrum per sample
    bool joint = false;       // a joint spectrum per pair of samples
    bool individuals = false; // unphased individuals laid out one by one

    bool any() const { return coalescent || expansion || listed || amova || spectrum || joint || individuals; }
};

// A sample, or a pooled group, as the analyses of a pass see it.
struct Unit {
    std::string name;
    double copies;
};

bool fits(Unit const& u, Uses const& uses) {
    bool ok = true;
    auto check = [&](bool used, double limit, char const* use) {
        if (used && u.copies > limit) ok = refuse(u.name, u.copies, limit, use) && ok;
    };
    check(uses.coalescent, max_simulated_gene_copies, "the coalescent simulations of the neutrality tests");
    check(uses.expansion, max_simulated_gene_copies, "the coalescent simulations of the expansion fits");
    check(uses.listed, max_listed_gene_copies, "the list of gene copies of the AMOVA and pairwise tests");
    check(uses.amova, copies_within(pairwise_bytes_per_copy), "the vectors of gene copies of the pairwise tests");
    // n + 1 classes.
    check(uses.spectrum, copies_within(spectrum_bytes_per_class) - 1.0, "the site frequency spectra");
    check(uses.individuals, copies_within(individual_bytes_per_copy),
          "the individuals laid out for the linkage test and the phasing");
    return ok;
}

// The joint spectrum of every pair: (n + 1) (m + 1) cells. The larger of the
// two is reported, with what it may hold next to the other.
bool pairs_fit(std::vector<Unit> const& units) {
    double const cells = copies_within(spectrum_bytes_per_class);
    bool ok = true;
    for (std::size_t i = 0; i < units.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            Unit const& large = units[i].copies >= units[j].copies ? units[i] : units[j];
            Unit const& other = &large == &units[i] ? units[j] : units[i];
            double const otherClasses = std::max(other.copies, 0.0) + 1.0;
            if ((std::max(large.copies, 0.0) + 1.0) * otherClasses <= cells) continue;
            ok = refuse(large.name, large.copies, std::floor(cells / otherClasses) - 1.0,
                        "the joint frequency spectra with sample \"" + other.name + "\"") &&
                 ok;
        }
    }
    return ok;
}

}  // namespace

bool samples_fit_analyses(Samples const& set, Structure const* structure, settings const& s, bool groupPass) {
    bool const genotypic = set.GenotypicData != 0;
    bool const unphased = genotypic && set.GameticPhase == 0;
    bool const sequences = set.dataType == DNA || set.dataType == RFLP;
    auto const asked = [&s](std::int64_t tasks) { return (s.TaskNumber & tasks) != 0; };
    Uses uses;
    // Unphased genotypes are neither tested for neutrality nor fitted.
    uses.coalescent = sequences && asked(task_tajima | task_fu_fs) && !unphased;
    uses.expansion = sequences && asked(task_mismatch) && (s.MismatchDemogExp || s.MismatchSpatialExp) &&
                     s.NumBootExpDem > 0 && !unphased;
    // A Mantel test asks for the pairwise FSTs.
    bool const structure_tasks = asked(task_amova | task_pairwise_fst | task_mantel);
    uses.listed = genotypic && structure_tasks;
    uses.amova = structure_tasks;
    uses.spectrum = s.ComputePopSFS != 0 && s.NumBootSFS >= 0;
    uses.joint = s.ComputeJointSFS != 0 && s.NumBootSFS >= 0;
    uses.individuals = unphased && (asked(task_linkage) || (asked(task_haplotype_frequencies) &&
                                                            (s.GibbsInferGamPhase != 0 || s.EMUseZipper != 0)));
    if (!uses.any()) return true;

    std::vector<Unit> samples;
    double total = 0.0;
    for (long i = 0; i < set.Populations.count; ++i) {
        if (Population const* p = set.Populations.data[i]) {
            samples.push_back({p->name.c_str(), p->SampleSize});
            total += p->SampleSize;
        }
    }
    // The group pass pools the samples of each group into one.
    std::vector<Unit> groups;
    if (groupPass && structure != nullptr && structure->Groups) {
        for (int g = 0; g < structure->NbGroups; ++g) {
            double copies = 0.0;
            for (long k = 0; k < structure->Groups[g].count; ++k)
                if (Population const* p = structure->Groups[g].data[k]) copies += p->SampleSize;
            groups.push_back({"Group" + std::to_string(g + 1), copies});
        }
    }

    bool ok = true;
    for (std::vector<Unit> const* pass : {&samples, &groups}) {
        for (Unit const& u : *pass) ok = fits(u, uses) && ok;
        if (uses.joint) ok = pairs_fit(*pass) && ok;
    }
    // The AMOVA lays out the copies of all samples in one vector.
    double const amovaLimit = copies_within(amova_bytes_per_copy);
    if (uses.amova && total > amovaLimit) {
        *_AOS_ << "\tThe samples of the project hold " << count_text(total)
               << " gene copies: the vector of gene copies of the AMOVA can hold at most " << count_text(amovaLimit)
               << ". Aborting the run of this project." << std::endl;
        E.error(ERROR, (std::string(kChecker) + " (all samples)").c_str(), Msg::m179_too_many_alleles);
        ok = false;
    }
    return ok;
}

}  // namespace quintle
