// The null distribution of the scan for loci under selection: single loci
// simulated under an island model (or a hierarchical one when the tested
// structure keeps two groups or more) at the observed mean FST (and FCT),
// each measured like observed data by the AMOVA of the genetic-structure
// driver, or to the same bits from the allele counts of its samples
// (simulated_locus.h) where the settings and data allow; or pairs read
// from a file; or, when "simParamFile.txt" is in the
// working directory, simulated multi-locus data sets written as project
// files (export mode, no P values).

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/my_string.h"
#include "core/random.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/Population.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "popstats/PopGenetics.h"
#include "popstats/mutations.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "structure/selection_scan.h"
#include "structure/simulated_locus.h"

namespace quintle {

namespace {

// The bounds of the settings checks on NumberOfDemesForFDist2 and
// NumberOfSimsForFDist2, for the whole model.
constexpr double kMaxDemes = 1e6;
constexpr double kMaxLoci = 1e7;

Mut_Type model_of(TDataType type) {
    switch (type) {
        case DNA: return DNA_MUT;
        case RFLP: return TWO_STATE_MUT;
        case MICROSAT: return STEPWISE_MUT;
        default: return NEW_ALLELE_MUT;
    }
}

double uniform() {
    long seed = 1;
    return ran3(&seed);
}

// Theta of a locus whose expected heterozygosity is H under the model; the
// two-state models redraw H below 0.5 first.
double theta_of(double& H, Mut_Type model) {
    switch (model) {
        case STEPWISE_MUT: return (1.0 / ((1.0 - H) * (1.0 - H)) - 1.0) * 0.5;
        case TWO_STATE_MUT:
        case DNA_MUT:
            if (H >= 0.5) H = 0.45 + 0.05 * uniform();
            return H / (1.0 - 2.0 * H);
        default: return 1.0 / (1.0 - H) - 1.0;
    }
}

// The parameters of export mode, from "simParamFile.txt": a first line,
// then a label line before each value.
struct ExportParameters {
    int files = 1;
    int lociPerFile = 0;
    int groups = 0;
    int demesPerGroup = 0;
    double a = 0.0;  // among demes within groups
    double b = 0.0;  // among groups
};

bool read_export_parameters(ExportParameters& p) {
    std::ifstream in("simParamFile.txt");
    if (!in.is_open()) return false;
    std::string line;
    std::string values[6];
    std::getline(in, line);
    for (std::string& value : values) {
        std::getline(in, line);  // label
        std::getline(in, value);
    }
    p.files = std::atoi(values[0].c_str());
    p.lociPerFile = std::atoi(values[1].c_str());
    p.groups = std::atoi(values[2].c_str());
    p.demesPerGroup = std::atoi(values[3].c_str());
    p.a = std::atof(values[4].c_str());
    p.b = std::atof(values[5].c_str());
    return true;
}

// Pairs (FST, heterozygosity) from a simulation file: a header line, then
// three fields per line (FST, skipped, heterozygosity) for one group, or
// seven (FST first, heterozygosity fifth); the rest of a line is skipped.
// A skipped field may hold any word ("NA" in the target column of a file
// this scan wrote for DNA data); a line whose FST or heterozygosity is not
// a number (a failed simulation) brings no pair. The number of pairs read.
long read_simulation_file(char const* name, bool oneGroup, NullDistribution& nd) {
    std::ifstream in(name);
    if (!in.is_open()) return 0;
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    const std::size_t fields = oneGroup ? 3 : 7;
    const std::size_t hetField = oneGroup ? 2 : 4;
    auto number = [](std::string const& word, double& value) {
        char* end = nullptr;
        value = std::strtod(word.c_str(), &end);
        return !word.empty() && end == word.c_str() + word.size();
    };
    long read = 0;
    std::string line;
    std::vector<std::string> words;
    while (std::getline(in, line)) {
        std::istringstream row(line);
        words.clear();
        for (std::string word; words.size() < fields && row >> word;) words.push_back(word);
        double fst = 0.0;
        double het = 0.0;
        if (words.size() < fields || !number(words[0], fst) || !number(words[hetField], het)) continue;
        nd.fst.Add(fst);
        nd.het.Add(het);
        if (read == 0 || het < nd.minHet) nd.minHet = het;
        if (read == 0 || het > nd.maxHet) nd.maxHet = het;
        ++read;
    }
    if (read > 0) nd.maxHetAbove = nd.maxHet;
    return read;
}

// Empties the structure copy's slots, then the simulated samples, so that
// no slot points at a deleted sample.
void empty_current(Project& project) {
    if (Structure* st = project.structure.get(); st != nullptr && st->Groups) {
        for (int q = 0; q < st->NbGroups; ++q)
            for (long j = 0; j < st->Groups[q].count; ++j) st->Groups[q].data[j] = nullptr;
    }
    project.samples->clean();
    project.samples->NbMutations = 0;
}

// The text of a locus in a simulated data set lives in its gametes: their
// alleles, entered in a database of the file's own, are what the project
// writer prints.
void write_export_file(Project& project, Samples& accumulated, Structure& tested, int k) {
    my_string path = settings::input_file;
    path.remove_extension();
    path += "_sim";
    path += std::to_string(k).c_str();
    path += ".pmp";
    TAlleleDB fileAlleles;
    for (long i = 0; i < accumulated.Populations.count; ++i) {
        if (Population* p = accumulated.Populations.data[i]) {
            p->alleleDB = &fileAlleles;
            if (p->profile.GenotypicData != 0) p->build_allele_vectors(p->locusSeparator);
        }
    }
    std::ofstream out(path.c_str());
    out << static_cast<ProfileSettings const&>(project) << "\n" << accumulated << "\n" << tested << std::endl;
    for (long i = 0; i < accumulated.Populations.count; ++i)
        if (Population* p = accumulated.Populations.data[i]) p->alleleDB = nullptr;
}

// One simulation's line of "fdist2_simOut.txt" and its pair.
struct SimulatedLocus {
    double fst = 0.0;
    double het = 0.0;
    double withinHet = 0.0;
};

// The line and pair of a measured locus.
SimulatedLocus from_measure(LocusMeasure const& m) {
    SimulatedLocus r;
    r.fst = m.fst;
    const double W = m.withinHet;
    if (r.fst == 0.0) {
        r.het = 0.0;
        r.withinHet = 0.0;
    } else if (r.fst == 1.0 || r.fst == -2.0) {
        r.het = 1.0;
        r.withinHet = W;
    } else {
        r.het = W / (1.0 - r.fst);
        r.withinHet = W;
    }
    return r;
}

// Why the scan cannot go on without simulations: in the log and the
// result file. `file`: the simulation file named, which gave no pair.
void refuse_without_null_distribution(NullInputs const& in, std::string const& file) {
    std::string const text =
        "\tNo coalescent simulation is asked for (NumberOfSimsForFDist2=0) and " +
        (file.empty() ? std::string("no simulation file is named (UseSimFileForFDist2, SimFileNameForFDist2)")
                      : "the simulation file \"" + file + "\" gives no pair of FST and heterozygosity") +
        ": the scan for loci under selection has no null distribution to test against and cannot be performed.\n";
    if (in.log != nullptr) *in.log << text;
    if (in.result != nullptr) *in.result << text;
}

}  // namespace

NullDistribution simulate_null_distribution(Project& project, NullInputs const& in) {
    NullDistribution nd;
    settings& s = project.options;
    Structure& tested = *in.tested;
    const bool oneGroup = tested.NbGroups < 2;
    const Mut_Type model = model_of(in.observed->dataType);
    const bool twoStates = model == DNA_MUT || model == TWO_STATE_MUT;
    const bool diploid = project.GenotypicData != 0;

    double lo = s.TargetHetLowBound;
    double hi = s.TargetHetHighBound;
    if (hi > 0.5 && twoStates) hi = 0.5;
    int demes = s.NumberOfDemesForFDist2;
    int groups = std::max(s.NumberOfGroupsForFDist2, tested.NbGroups);
    int sims = s.NumberOfSimsForFDist2;
    double F = in.fst;
    double Fct = in.fct;

    ExportParameters ex;
    const bool exporting = read_export_parameters(ex);
    std::ofstream batch;
    bool accumulate = false;
    if (exporting) {
        F = 1.0 - (1.0 - ex.a) * (1.0 - ex.b);
        Fct = ex.b;
        groups = ex.groups;
        if (!oneGroup) demes = ex.demesPerGroup;
        batch.open((std::string(s.ProjectFolder.c_str()) + "sims.pmb").c_str());
        if (ex.lociPerFile > 0) {
            sims = ex.lociPerFile;
            accumulate = true;
        }
    }
    const int files = exporting ? ex.files : 1;
    const double M = F > 0.0 ? 1.0 / F - 1.0 : 0.0;
    const double c = std::min(1.0, M);

    // What the settings checks bound, the parameter file may still ask for.
    const double allDemesAsked = oneGroup ? demes : static_cast<double>(groups) * demes;
    if (allDemesAsked > kMaxDemes || sims > kMaxLoci) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "\tThe simulations asked for (%.0f demes, %d loci) are more than the scan can hold (at most "
                      "%.0f demes and %.0f loci): coalescent simulations cannot be performed.\n",
                      allDemesAsked, sims, kMaxDemes, kMaxLoci);
        if (in.log != nullptr) *in.log << text;
        if (in.result != nullptr) *in.result << text;
        return nd;
    }

    // A group of more samples than demes would leave some without a deme.
    if (!oneGroup) {
        for (int q = 0; q < tested.NbGroups; ++q) {
            if (tested.GroupSizes[q] <= demes) continue;
            char text[256];
            std::snprintf(text, sizeof text,
                          "\tGroup %d holds %d samples, more than the %d simulated demes per group "
                          "(NumberOfDemesForFDist2): coalescent simulations cannot be performed.\n",
                          q + 1, tested.GroupSizes[q], demes);
            if (in.log != nullptr) *in.log << text;
            if (in.result != nullptr) *in.result << text;
            return nd;
        }
    }

    // Outside export mode the null distribution comes from the simulations
    // or from the simulation file: with neither, every locus would be set
    // against nothing.
    const bool fromFile = s.UseSimFileForFDist2 != 0 && s.SimFileNameForFDist2.length() > 0;
    if (!exporting && sims <= 0 && !fromFile) {
        refuse_without_null_distribution(in, std::string());
        nd.refused = true;
        return nd;
    }

    const long room = std::max(sims, 0) + 1L;
    nd.fst = MY_TArrayAsVector<double>(room, fromFile ? 5000 : 0);
    nd.het = MY_TArrayAsVector<double>(room, fromFile ? 5000 : 0);
    const int allDemes = oneGroup ? demes : groups * demes;
    SimulatedMutations mutation;
    mutation.nSites = 1;
    mutation.model = model;
    SimulatedLocusCounts counts;
    counts.prepare(project, *in.observed, tested, !oneGroup, model, diploid, exporting);
    const std::string simOutName = std::string(s.ResultFolder.c_str()) + "fdist2_simOut.txt";

    for (int k = 1; k <= files; ++k) {
        Samples accumulated;
        std::ofstream simOut;
        if (files == 1) {
            simOut.open(simOutName.c_str());
            simOut << "FST\tTarget Het.\t" << (oneGroup ? "MeanHetBP" : "ExpHetBP")
                   << "\tMeanHetWP\tNumMutsOnTree\tTarget Mean FST = " << F << "\n";
        }
        const bool readFromFile =
            fromFile && read_simulation_file(s.SimFileNameForFDist2.c_str(), oneGroup, nd) > 0;
        if (!exporting && !readFromFile && sims <= 0) {
            refuse_without_null_distribution(in, s.SimFileNameForFDist2.c_str());
            nd.refused = true;
            return nd;
        }
        for (int i = 1; !readFromFile && i <= sims; ++i) {
            double H = lo + uniform() * (hi - lo);
            const double theta = theta_of(H, model);
            double thetaPerDeme = allDemes != 0 ? theta / allDemes : theta;
            if (c < thetaPerDeme) thetaPerDeme = 0.95 * c;
            mutation.theta = thetaPerDeme;

            settings::global_work_done += 10;
            if (i % 10 == 0) {
                char text[128];
                std::snprintf(text, sizeof text, "Detecting loci under selection: %i/%i simulations done ... ", i,
                              sims);
                settings::message = text;
                settings::print_message();
                if (s.stopFlag != 0) {
                    nd.stopped = true;
                    return nd;
                }
            }

            empty_current(project);
            project.haplotypes.reset();
            project.phen_converted = 0;
            project.vectors_built = 0;
            if (oneGroup)
                static_cast<ProfileSettings&>(tested) = static_cast<ProfileSettings const&>(*project.samples);
            long mutations = oneGroup ? simulate_genealogy(project, mutation, *in.observed, nullptr, F, 0.0, demes, 0)
                                      : simulate_genealogy(project, mutation, *in.observed, in.tested, F, Fct, demes,
                                                           groups);
            // The ordinary locus is measured from its counts; the others go
            // through samples and the driver.
            LocusMeasure m;
            auto outcome = SimulatedLocusCounts::Outcome::NeedsDriver;
            if (mutations >= 0 && counts.usable()) {
                outcome = counts.measure(project.samples->Tree, m);
                if (outcome == SimulatedLocusCounts::Outcome::Measured) project.samples->Tree.cleanDemes();
            }
            if (mutations >= 0 && outcome != SimulatedLocusCounts::Outcome::Measured &&
                read_simulated_samples(project, *in.observed, *in.tested, model, diploid, !oneGroup) == 0)
                mutations = -1;
            const char* const target = twoStates ? "NA" : nullptr;
            if (mutations < 0) {
                // No genealogy, or its leaves could not be read: no pair.
                if (!exporting) {
                    simOut << "NA\t";
                    if (target != nullptr) simOut << target;
                    else simOut << H;
                    simOut << "\tNA\tNA\t" << mutations << "\n";
                }
                continue;
            }
            if (outcome != SimulatedLocusCounts::Outcome::Measured) {
                ready_simulated_data(project);
                if (accumulate) accumulated.addLocus(*project.samples, 0, sims, diploid);
                project.allele_db.create_pop_freq_vector(static_cast<int>(project.samples->Populations.count));
                project.allele_db.create_group_freq_vector(project.structure->NbGroups);
                if (exporting) continue;
                m = measure_with_driver(project, *in.muted);
                if (outcome == SimulatedLocusCounts::Outcome::NeedsDriverToLearn) counts.learn(project, m);
            }

            const SimulatedLocus r = from_measure(m);
            nd.fst.Add(r.fst);
            simOut << r.fst << "\t";
            if (target != nullptr) simOut << target;
            else simOut << H;
            simOut << "\t" << r.het << "\t" << r.withinHet << "\t" << mutations << "\n";
            nd.het.Add(r.het);
            nd.minHet = std::min(nd.minHet, r.het);
            nd.maxHet = std::max(nd.maxHet, r.het);
            nd.maxHetAbove = std::max(nd.maxHetAbove, r.het);
        }
        simOut.close();
        write_export_file(project, accumulated, tested, k);
        if (files > 1) {
            char text[160];
            std::snprintf(text, sizeof text, "Detecting loci under selection: File %i/%i with %i simulated loci done ... ",
                          k, files, sims);
            settings::message = text;
            settings::print_message();
            my_string path = settings::input_file;
            path.remove_extension();
            batch << path << "_sim" << k << ".pmp" << "\n";
        }
        if (!exporting) {
            nd.pValues = true;
            return nd;
        }
    }
    return nd;
}

}  // namespace quintle
