#include "datatypes/driver_frame.h"

#include <string>

#include "data/Population.h"
#include "datatypes/driver_output.h"
#include "popstats/PopGenetics.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle {

bool unphased_genotypes(Population const& p) { return p.profile.GenotypicData != 0 && p.profile.GameticPhase == 0; }

bool run_haplotypic_or_phased(settings const& s) { return s.GenotypicData == 0 || s.GameticPhase != 0; }

bool shows_original(Population const& p, settings const& s) {
    return s.InferHaplotypeDefinitionFromDistanceMatrix != 0 && p.profile.GenotypicData == 0;
}

void write_sample_header(Population& p, settings& s, std::ostream& out) {
    char sampleKind[] = "samp";
    char groupKind[] = "group";
    p.print_population_anchor(2, s, p.isSample() ? sampleKind : groupKind);
    const std::string rule(79, '=');
    out << "\n" << rule << "\n"
        << "== Sample : \t" << p.name << "\n"
        << rule << "\n\n";
}

void closing_step(Population& p, settings const& s) {
    if (s.TaskNumber != 4096) return;
    if (s.RecessiveAllelesEM != 0) p.make_all_blanks(ProfileSettings::LocusSeparator);
    p.build_allele_vectors(ProfileSettings::LocusSeparator);
}

UnphasedEstimate estimate_unphased_haplotypes(PopGenetics& p, settings& s, std::fstream& out) {
    if (s.PrintSampleAnchor != 0) {
        write_banner(out, "Haplotypes frequency estimation", 36, p.name);
        write_citations(out, {"EM_algorithm_1977", "EM_haplotypes_1995", "EM_multilocus_1995", "GibbsPhasing_2001",
                              "Vosk_Ref"});
    }
    if (!unphased_genotypes(p)) return UnphasedEstimate::phased;
    if (progress_stops(s, "Computing ML haplotype frequencies ...")) return UnphasedEstimate::stopped;
    if (s.EstimateHaplotypes != 0) {
        if (s.GibbsInferGamPhase != 0) {
            p.comp_gam_phase_Gibbs(s);
            if (s.stopFlag != 0) return UnphasedEstimate::stopped;
        }
        if (s.ComputeAllHaplotypesEM != 0 || s.ComputeAllAllelesEM != 0) {
            p.comp_gam_phase_EM(s);
            if (s.stopFlag != 0) return UnphasedEstimate::stopped;
        }
    }
    return UnphasedEstimate::done;
}

}  // namespace quintle
