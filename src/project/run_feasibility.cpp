// Between reading a project and analysing it: the scheduled tasks and a few
// settings are adapted to what the data allow, the samples are linked to the
// project's allele database, the allele vectors and pseudo-haplotypes the
// analyses need are built, and the data are checked.

#include <cstdint>
#include <cstring>
#include <memory>
#include <ctime>
#include <ostream>

#include "core/Errors.h"
#include "core/timing.h"
#include "data/HaploDef.h"
#include "data/character_alleles.h"
#include "data/Population.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "project/sample_checks.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

constexpr char const* checks_name = "Project::make_run_possible()";

constexpr std::int64_t fewest_dememorisation_steps = 500;
constexpr std::int64_t raised_dememorisation_steps = 1000;

// Logs `text`, runs `step` and logs its duration in whole milliseconds of
// process time.
template <class Step>
void timed(char const* text, Step step) {
    *_AOS_ << text;
    std::clock_t const start = std::clock();
    step();
    *_AOS_ << "\n\t\tdone in " << elapsed_ms_since(start) << " ms\n";
}

bool has(settings const& s, std::int64_t task) { return (s.TaskNumber & task) != 0; }
void drop(settings& s, std::int64_t task) { s.TaskNumber &= ~task; }

// The allele vectors of the haplotype definitions.
void build_haplotype_vectors(Project& p) {
    HaploDef::build_haplovects(p.haplotypes.haplotypes.data, p.haplotypes.haplotypes.count, &p.allele_db,
                               p.samples->locusSeparator, 0, 0.1);
    p.vectors_built = 1;
}

void haplotype_vectors_step(Project& p) {
    // Due tables are built later, by build_allele_tables.
    timed("\t\tBuilding vectors of alleles...", [&p] {
        if (!p.allele_tables_due) build_haplotype_vectors(p);
    });
}

void pseudo_haplotypes_step(Project& p) {
    timed("\t\tProcessing phenotypes into pseudo-haplotypes...",
          [&p] { p.samples->phen_to_gam(&p.haplotypes, &p, &p.options); });
    p.phen_converted = 1;
}

// Haplotypic data with one allele per character: their allele tables (one
// locus per site, an allele vector per distinct text) can wait until an
// analysis needs them, since the data checks read the texts themselves. A
// first sample without haplotypes reports its emptiness at once.
bool tables_can_wait(Project const& p) {
    Population const* first = p.samples->Populations.data[0];
    return p.GenotypicData == 0 && p.samples->locusSeparator == '\0' && first != nullptr &&
           first->haplotypes.count > 0;
}

// Points the samples at the project's allele database; false without a sample.
bool link_samples(Project& p) {
    p.options.project_allele_db = &p.allele_db;
    p.samples->init_all_pointers(&p.allele_db);
    if (p.samples->Populations.count == 0) {
        E.error(ERROR, checks_name, Msg::m123_no_samples);
        return false;
    }
    if (tables_can_wait(p))
        p.allele_tables_due = true;
    else if (Population* first = p.samples->Populations.data[0])
        first->make_all_blanks(p.samples->locusSeparator);
    return true;
}

// True when the run's analyses read the allele tables: any task, or the
// scan for selected loci.
bool tables_needed(settings const& s) { return s.TaskNumber != 0 || s.DetectSelectedLoci != 0; }

// The allele vectors and pseudo-haplotypes the analyses need, around the
// data checks; false when the data fail them.
bool build_sample_vectors(Project& p, bool genotypic_set) {
    settings const& s = p.options;
    if (genotypic_set) {
        char const separator = p.samples->locusSeparator;
        timed("\t\tBuilding vectors of alleles...", [&p, separator] { p.samples->build_all_vectors(separator); });
    }
    if (p.GenotypicData == 0 && p.vectors_built == 0) haplotype_vectors_step(p);

    if (p.samples->verify_data() == 0) return false;

    if (p.GenotypicData != 0) {
        bool const needs_haplotypes =
            p.GameticPhase != 0 ||
            (s.RecessiveAllelesEM == 0 &&
             (has(s, task_standard_diversity) || has(s, task_molecular_diversity) || s.DetectSelectedLoci != 0));
        if (needs_haplotypes) {
            if (p.phen_converted == 0) pseudo_haplotypes_step(p);
            if (p.vectors_built == 0) haplotype_vectors_step(p);
        }
    }
    return true;
}

// The distances of the AMOVA and the pairwise comparisons: the given
// matrix, or one computed from the data (from haplotype frequencies, as
// conventional FST, when frequency data carry no molecular information).
void choose_structure_distances(Project& p) {
    settings& s = p.options;
    bool const given_matrix = p.distance_matrix.MatrixSize != 0;
    int computed = 0;
    if (s.ComputeConventionalFST != 0) {
        s.ComputeDistanceMatrixAMOVA = 1;
        computed = 1;
    } else {
        computed = s.ComputeDistanceMatrixAMOVA;
        if (computed == 0 && !given_matrix) {
            *_AOS_ << "    !!!No matrix was specified in input file, Pellomar will compute it from the data\n";
            s.ComputeDistanceMatrixAMOVA = 1;
            computed = 1;
        }
    }
    if (p.samples->dataType == FREQUENCY) {
        if (!given_matrix && s.ComputeConventionalFST == 0) {
            *_AOS_ << "   !!!No molecular information is available for testing genetic structure,\n"
                   << "      haplotype frequencies will be used, and conventional Fst will be computed\n";
            s.ComputeDistanceMatrixAMOVA = 1;
            s.ComputeConventionalFST = 1;
            computed = 1;
        }
        if (computed == 1) s.ComputeConventionalFST = 1;
    }
    if (computed == 1 && p.vectors_built == 0 && p.GenotypicData == 0 &&
        (p.samples->dataType == MICROSAT || p.samples->dataType == STANDARD || p.samples->dataType == FREQUENCY)) {
        if (p.allele_tables_due)
            p.build_allele_tables();
        else
            build_haplotype_vectors(p);
    }
}

// Sequences or RFLP haplotypes of which no sample has a usable site (at
// every site deletions or too much missing data): what compares sites is
// dropped, said once; false, after an ERROR, when no analysis is left at
// all.
bool analyses_without_sites(Project& p) {
    settings& s = p.options;
    if (p.samples->dataType != DNA && p.samples->dataType != RFLP) return true;
    for (long i = 0; i < p.samples->Populations.count; ++i) {
        Population const* sample = p.samples->Populations.data[i];
        if (sample == nullptr || !holds_no_usable_site(*sample, s.AllowedLevelOfMissingData)) return true;
    }
    std::int64_t comparing = task_molecular_diversity | task_mismatch | task_linkage | task_pairwise_distances |
                             task_tajima | task_fu_fs;
    // Conventional FSTs come from haplotype frequencies.
    if (s.ComputeConventionalFST == 0) comparing |= task_amova | task_pairwise_fst | task_mantel;
    if (s.InferHaplotypeDefinitionFromDistanceMatrix != 0) comparing |= task_ewens_watterson | task_chakraborty;
    if (has(s, comparing)) {
        *_AOS_ << "   !!!No sample has a usable site: at every site the copies are deletions or too many are\n"
               << "      missing data, the analyses that compare sites are skipped.\n";
        drop(s, comparing);
    }
    if ((s.TaskNumber & (tasks_within_samples | tasks_between_samples | task_assignment)) == 0) {
        *_AOS_ << "   !!!No analysis is left for these data.\n";
        E.error(ERROR, checks_name, Msg::m134_invalid_data_after_check);
        return false;
    }
    return true;
}

void check_dememorisation_steps(settings& s) {
    *_AOS_ << "  check selected settings..." << std::endl;
    if (s.MarkovChainDememorisationStepsLD < fewest_dememorisation_steps) {
        *_AOS_ << " Too few steps for dememorization (" << s.MarkovChainDememorisationStepsLD
               << " ) in linkage disequilibrium test, setting it to 1000...\n";
        s.MarkovChainDememorisationStepsLD = raised_dememorisation_steps;
    }
    if (s.MarkovChainDememorisationStepsHW < fewest_dememorisation_steps) {
        *_AOS_ << " Too few steps for dememorization (" << s.MarkovChainDememorisationStepsHW
               << " ) in Hardy-Weinberg disequilibrium test, setting it to 1000...\n";
        s.MarkovChainDememorisationStepsHW = raised_dememorisation_steps;
    }
    *_AOS_ << "  done!" << std::endl;
}

// The last adaptations of tasks and output switches to the data.
void adapt_settings_to_data(Project& p) {
    settings& s = p.options;
    if (p.samples->dataType == FREQUENCY) s.InferHaplotypeDefinitionFromDistanceMatrix = 0;

    if (has(s, task_hardy_weinberg) && s.RecessiveAllelesEM != 0) {
        *_AOS_ << "   !!!Hardy-Weinberg disequilibrium test is not possible with recessive data,\n"
               << "      skipping task...\n";
        drop(s, task_hardy_weinberg);
    }

    if ((s.EliminateRedondHaplodefs != 0 || s.InferHaplotypeDefinitionFromDistanceMatrix != 0) &&
        (p.GenotypicData == 0 || p.GameticPhase != 0)) {
        p.build_allele_tables();
        p.eliminate_redond_haplodef();
        if (s.ComputeDistanceMatrixAMOVA != 0) p.distance_matrix.reset();
    }

    if (p.samples->dataType == MICROSAT) drop(s, task_ewens_watterson | task_chakraborty);

    // The Y matrix of a Mantel test derives from pairwise FST unless the user
    // gave it.
    if (has(s, task_mantel) && !has(s, task_pairwise_fst) && std::strcmp(p.mantel.YMatrix.c_str(), "custom") != 0)
        s.TaskNumber |= task_pairwise_fst;

    if (p.GenotypicData != 0 && p.GameticPhase == 0) {
        s.PrintMinSpannNetworkPop = 0;
        s.PrintMinSpannNetworkGlob = 0;
        s.PrintDistanceMatrix = 0;
        s.PrintHaplDistMat = 0;
        s.PrintPopDistMat = 0;
    }
}

}  // namespace

int Project::IsAmovaStructure() {
    int usable = 1;
    if (structure->NbSamplesInGroups == 0) {
        E.error(WARNING, "Project::IsAmovaStructure()", Msg::m123_no_samples);
        usable = 0;
    }
    if (structure->NbGroups == 0) {
        E.error(WARNING, "Project::IsAmovaStructure()", Msg::m124_no_groups);
        usable = 0;
    }
    if (structure->NbSamplesInGroups == structure->NbGroups && structure->NbGroups != 1) {
        E.error(WARNING, "Project::IsAmovaStructure()", Msg::m125_one_population_per_group);
        usable = 0;
    }
    return usable;
}

int Project::make_run_possible() {
    settings& s = options;
    *_AOS_ << "  Checking all selected options..." << std::endl;
    if (GenotypicData == 0 && has(s, task_hardy_weinberg)) {
        *_AOS_ << "     !!!Hardy-Weinberg disequilibrium test is not possible on Haplotypic data,\n"
               << "        this task will be skipped." << std::endl;
        drop(s, task_hardy_weinberg);
    }

    if (!link_samples(*this)) return 0;
    bool const genotypic_set = samples->GenotypicData != 0;
    if (!build_sample_vectors(*this, genotypic_set)) return 0;
    if (!analyses_without_sites(*this)) return 0;

    bool const recessive_and_phased = genotypic_set && RecessiveData != 0 && GameticPhase != 0;
    if (has(s, task_exact_differentiation) && recessive_and_phased) {
        E.error(ERROR, checks_name, Msg::m138_known_phase_with_recessive_data);
        return 0;
    }

    if (has(s, task_assignment) && !genotypic_set) {
        *_AOS_ << "   !!!The computation of the likelihood of all individuals in each\n"
               << "      population is only possible for Genotypic data \n"
               << "      skipping the task...\n";
        drop(s, task_assignment);
    }

    if (has(s, task_amova) || has(s, task_pairwise_fst) ||
        (samples->dataType == FREQUENCY && s.EliminateRedondHaplodefs != 0)) {
        if (recessive_and_phased) {
            E.error(ERROR, checks_name, Msg::m138_known_phase_with_recessive_data);
            return 0;
        }
        choose_structure_distances(*this);
    }

    if (has(s, task_amova) && (s.HaplAMOVA != 0 || s.LocByLocAMOVA != 0) && IsAmovaStructure() == 0) {
        drop(s, task_amova);
        char const* const line1 = "  An AMOVA analysis was selected and no Genetic structure\n";
        char const* const line2 = "  is defined, AMOVA task is skipped.";
        *_AOS_ << line1 << line2 << std::endl;
        if (s.ResultFile != nullptr) *s.ResultFile << line1 << line2 << std::endl;
    }

    *_AOS_ << "  done!" << std::endl;
    check_dememorisation_steps(s);
    adapt_settings_to_data(*this);
    // Reading alone (no task) never builds the tables.
    if (tables_needed(s)) build_allele_tables();
    return 1;
}

namespace {

// Sequences of which every scheduled analysis reads the allele rows alone
// (which rows hold the same allele at a site, and its name), never a
// catalogue record: the standard diversity (per-locus tables, polymorphic
// sites), the molecular diversity, Tajima's D, the search for identical
// haplotypes and the summary tables. Anything else (frequencies,
// spectra, the scan, other analyses) wants the records.
bool character_rows_suffice(Project const& p) {
    settings const& s = p.options;
    if (!p.character_rows_allowed) return false;
    if (p.samples->dataType != DNA || p.GenotypicData != 0 || p.samples->locusSeparator != '\0') return false;
    constexpr std::int64_t rows_only = task_standard_diversity | task_molecular_diversity | task_tajima;
    if ((s.TaskNumber & ~rows_only) != 0) return false;
    return s.DetectSelectedLoci == 0 && s.ComputeAllAlleleFreqs == 0 && s.ComputeMissDataFreq == 0 &&
           s.ComputePopSFS == 0 && s.ComputeJointSFS == 0 && s.ComputeMultiSFS == 0 && s.RecessiveAllelesEM == 0 &&
           s.InferHaplotypeDefinitionFromDistanceMatrix == 0 && s.PrintHaplDistMat == 0 && s.PrintPopDistMat == 0;
}

// The rows of the project's definitions over shared character alleles; false
// (nothing built) when a text holds the blank's character.
bool build_character_rows(Project& p) {
    auto characters = std::make_shared<CharacterAlleles>();
    char const reserved = p.RecessiveAllele.length() > 0 ? p.RecessiveAllele.c_str()[0] : '\0';
    if (!characters->fill_rows(p.haplotypes.haplotypes.data, p.haplotypes.haplotypes.count, reserved)) return false;
    p.allele_db.use_characters(std::move(characters));
    p.vectors_built = 1;
    return true;
}

}  // namespace

void Project::build_allele_tables() {
    if (!allele_tables_due) return;
    allele_tables_due = false;
    if (vectors_built == 0 && character_rows_suffice(*this) && build_character_rows(*this)) return;
    if (Population* first = samples->Populations.data[0]) first->make_all_blanks(samples->locusSeparator);
    if (vectors_built == 0) build_haplotype_vectors(*this);
}

}  // namespace quintle
