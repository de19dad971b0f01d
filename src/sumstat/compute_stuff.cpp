// One analysis pass over a sample set: the output files the analyses append
// to, every sample's analysis driver with its timing line in the log, and the
// summary section.

#include <ctime>
#include <fstream>
#include <ios>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "core/my_string.h"
#include "core/platform.h"
#include "data/Population.h"
#include "data/TAlleleDB.h"
#include "popstats/PopGenetics.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/project_writers.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

// Frame of the project files that receive the phases estimated by the Vosk
// algorithm: phase-known genotypic data, one block per sample, and a
// structure holding every sample in one group.

char const* const best_phase_title = "Modal phase estimated with the Vosk algorithm";
char const* const sampled_phase_title = "Genotypic data with phase estimated with the Vosk algorithm";

// Each phase file is opened for one write and closed again, so that the
// phaser can append its data lines between the sample's header and footer.
template <class Write>
void append_to_phase_files(settings& s, Write write) {
    for (std::size_t k = 0; k < s.GibbsPhaseStreams.size(); ++k) {
        std::ofstream& f = s.GibbsPhaseStreams[k];
        f.open(s.GibbsPhaseFileNames[k].c_str(), std::ios::out | std::ios::app);
        if (f.is_open()) write(f);
        f.close();
        f.clear();
    }
}

// The list file and the project frame of every phase file. An earlier pass's
// names and streams are released first.
void create_phase_files(Samples const& set, settings& s) {
    // A negative sample count asks for no sampled phases: the best phases
    // alone are written.
    int const N = s.GibbsNumSamples > 0 ? s.GibbsNumSamples : 0;
    s.GibbsPhaseFileNames.clear();
    s.GibbsPhaseStreams.clear();
    s.GibbsPhaseFileNames.resize(static_cast<std::size_t>(N) + 1);
    s.GibbsPhaseStreams.resize(static_cast<std::size_t>(N) + 1);

    my_string folder = s.ResultBaseName;
    folder.extract_path();
    folder += "PhaseDistribution";
    MY_CreateDirectory(folder.c_str());

    settings::gibbs_BatchFilename = folder + "/Vosk_PhaseDistribution.pmb";
    std::ofstream list(settings::gibbs_BatchFilename.c_str(), std::ios::out | std::ios::trunc);

    int const n = static_cast<int>(set.Populations.count);
    TDataType const type = set.dataType;
    auto create = [&](std::size_t k, std::string const& fileName, char const* title) {
        s.GibbsPhaseFileNames[k] = folder + ("/" + fileName).c_str();
        std::ofstream& f = s.GibbsPhaseStreams[k];
        f.open(s.GibbsPhaseFileNames[k].c_str(), std::ios::out | std::ios::trunc);
        if (f.is_open()) write_Pellomar_header_gibbs(my_string(title), n, type, f, set.MissingData);
        f.close();
        f.clear();
        list << fileName << "\n";
    };
    create(0, "Vosk_Best_Phases.pmp", best_phase_title);
    for (int k = 0; k < N; ++k)
        create(static_cast<std::size_t>(k) + 1, "Vosk_EstimatedPhase#" + std::to_string(k) + ".pmp",
               sampled_phase_title);
}

// The individuals of a genotypic sample (its number of data entries counts
// both lines of each individual as read, or the haplotypes after their
// conversion); the entries of another.
int phase_file_sample_size(Population const& p) {
    return p.profile.GenotypicData != 0 ? p.phenotypes.nb_individuals() : p.nbEntries;
}

// The LD tests append to the histogram file during the pass: an existing
// one starts empty; a missing one stays missing.
void restart_ld_histogram(settings const& s) {
    if (!can_open_for_reading(s.LDHistoFileName.c_str())) return;
    std::ofstream emptied(s.LDHistoFileName.c_str(), std::ios::out | std::ios::trunc);
}

}  // namespace

int Samples::compute_stuff(Project* project, settings& s) {
    long const n = Populations.count;
    bool const phaseFiles = s.GibbsOutputGamPhase != 0;

    linkage_line.reset();
    if ((s.TaskNumber & task_linkage) != 0) restart_ld_histogram(s);
    if (phaseFiles) create_phase_files(*this, s);
    if ((s.TaskNumber & task_standard_diversity) != 0 && s.project_allele_db != nullptr)
        s.project_allele_db->create_pop_freq_vector(static_cast<int>(n));

    for (long i = 0; i < n; ++i) {
        Population* p = Populations.data[i];
        if (p == nullptr) continue;
        if (phaseFiles)
            append_to_phase_files(
                s, [&](std::ostream& f) { write_Pellomar_sample_header_gibbs(p->name, phase_file_sample_size(*p), f); });

        std::clock_t const start = std::clock();
        *_AOS_ << "\nPopulation '" << p->name << "' : " << std::endl;
        auto* stats = dynamic_cast<PopGenetics*>(p);
        if (stats != nullptr) stats->linkage_line.reset();
        p->test_methods(s);
        if (stats != nullptr && stats->linkage_line) linkage_line = stats->linkage_line;
        double const seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        *_AOS_ << "done in " << static_cast<long long>(seconds * 1000.0) << " ms" << std::endl;

        if (phaseFiles) append_to_phase_files(s, [](std::ostream& f) { write_Pellomar_sample_footer_gibbs(f); });
    }

    if (phaseFiles) {
        append_to_phase_files(s, [&](std::ostream& f) {
            f << "[[Structure]]\n"
              << "StructureName=\"Simulated data\"\n"
              << "NbGroups=1\n"
              << "Group={\n";
            for (long i = 0; i < n; ++i)
                if (Population const* p = Populations.data[i]) f << "    \"" << p->name << "\"\n";
            f << "\t}\n";
        });
    }

    WriteSummaryStatistics(project, s);

    // The B table is shared by all samples: one call on any of them resets it.
    if (n > 0 && Populations.data[0] != nullptr) Populations.data[0]->clean_bnum();
    return 1;
}

}  // namespace quintle
