#include "datatypes/driver_frame.h"

#include <string>

#include "data/Population.h"
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

}  // namespace quintle
