// Between reading a project and analysing it: the scheduled tasks and a few
// settings are adapted to what the data allow, the samples are linked to the
// project's allele database, the allele vectors and pseudo-haplotypes the
// analyses need are built, and the data are checked.

#include <cstdint>
#include <cstring>
#include <ctime>
#include <ostream>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
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
    auto const ms = static_cast<long long>(static_cast<double>(std::clock() - start) / 1000000.0 * 1000.0);
    *_AOS_ << "\n\t\tdone in " << ms << " ms\n";
}

}  // namespace

int Project::IsAmovaStructure() {
    int usable = 1;
    if (structure->NbSamplesInGroups == 0) {
        E.error(WARNING, "Project::IsAmovaStructure()", 123);
        usable = 0;
    }
    if (structure->NbGroups == 0) {
        E.error(WARNING, "Project::IsAmovaStructure()", 124);
        usable = 0;
    }
    if (structure->NbSamplesInGroups == structure->NbGroups && structure->NbGroups != 1) {
        E.error(WARNING, "Project::IsAmovaStructure()", 125);
        usable = 0;
    }
    return usable;
}

int Project::make_run_possible() {
    settings& s = options;
    auto const has = [&s](std::int64_t task) { return (s.TaskNumber & task) != 0; };
    auto const drop = [&s](std::int64_t task) { s.TaskNumber &= ~task; };
    // The allele vectors of the haplotype definitions.
    auto const build_haplotype_vectors = [this] {
        HaploDef::build_haplovects(haplotypes.haplotypes.data, haplotypes.haplotypes.count, &allele_db,
                                   LocusSeparator, 0, 0.1);
        vectors_built = 1;
    };
    auto const haplotype_vectors_step = [&] {
        timed("\t\tBuilding vectors of alleles...", build_haplotype_vectors);
    };
    auto const pseudo_haplotypes_step = [&] {
        timed("\t\tProcessing phenotypes into pseudo-haplotypes...",
              [&] { samples->phen_to_gam(&haplotypes, this, &s); });
        phen_converted = 1;
    };

    *_AOS_ << "  Checking all selected options..." << std::endl;
    if (GenotypicData == 0 && has(task_hardy_weinberg)) {
        *_AOS_ << "     !!!Hardy-Weinberg disequilibrium test is not possible on Haplotypic data,\n"
               << "        this task will be skipped." << std::endl;
        drop(task_hardy_weinberg);
    }

    s.project_allele_db = &allele_db;
    samples->init_all_pointers(&allele_db);
    if (samples->Populations.count == 0) {
        E.error(ERROR, checks_name, 123);
        return 0;
    }
    if (Population* first = samples->Populations.data[0]) first->make_all_blanks(LocusSeparator);

    bool const genotypic_set = samples->GenotypicData != 0;
    if (genotypic_set) {
        char const separator = LocusSeparator;
        timed("\t\tBuilding vectors of alleles...", [&] { samples->build_all_vectors(separator); });
    }
    if (GenotypicData == 0 && vectors_built == 0) haplotype_vectors_step();

    if (samples->verify_data() == 0) return 0;

    if (GenotypicData != 0) {
        bool const needs_haplotypes =
            GameticPhase != 0 ||
            (s.RecessiveAllelesEM == 0 &&
             (has(task_standard_diversity) || has(task_molecular_diversity) || s.DetectSelectedLoci != 0));
        if (needs_haplotypes) {
            if (phen_converted == 0) pseudo_haplotypes_step();
            if (vectors_built == 0) haplotype_vectors_step();
        }
    }

    bool const recessive_and_phased = genotypic_set && RecessiveData != 0 && GameticPhase != 0;
    if (has(task_exact_differentiation) && recessive_and_phased) {
        E.error(ERROR, checks_name, 138);
        return 0;
    }

    if (has(task_assignment) && !genotypic_set) {
        *_AOS_ << "   !!!The computation of the likelihood of all individuals in each\n"
               << "      population is only possible for Genotypic data \n"
               << "      skipping the task...\n";
        drop(task_assignment);
    }

    if (has(task_amova) || has(task_pairwise_fst) || (DataType == FREQUENCY && s.EliminateRedondHaplodefs != 0)) {
        if (recessive_and_phased) {
            E.error(ERROR, checks_name, 138);
            return 0;
        }
        bool const given_matrix = distance_matrix.MatrixSize != 0;
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
        if (DataType == FREQUENCY) {
            if (!given_matrix && s.ComputeConventionalFST == 0) {
                *_AOS_ << "   !!!No molecular information is available for testing genetic structure,\n"
                       << "      haplotype frequencies will be used, and conventional Fst will be computed\n";
                s.ComputeDistanceMatrixAMOVA = 1;
                s.ComputeConventionalFST = 1;
                computed = 1;
            }
            if (computed == 1) s.ComputeConventionalFST = 1;
        }
        if (computed == 1 && vectors_built == 0 && GenotypicData == 0 &&
            (DataType == MICROSAT || DataType == STANDARD || DataType == FREQUENCY))
            build_haplotype_vectors();
    }

    if (has(task_amova) && (s.HaplAMOVA != 0 || s.LocByLocAMOVA != 0) && IsAmovaStructure() == 0) {
        drop(task_amova);
        char const* const line1 = "  An AMOVA analysis was selected and no Genetic structure\n";
        char const* const line2 = "  is defined, AMOVA task is skipped.";
        *_AOS_ << line1 << line2 << std::endl;
        if (s.ResultFile != nullptr) *s.ResultFile << line1 << line2 << std::endl;
    }

    *_AOS_ << "  done!" << std::endl;
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

    if (DataType == FREQUENCY) s.InferHaplotypeDefinitionFromDistanceMatrix = 0;

    if (has(task_hardy_weinberg) && s.RecessiveAllelesEM != 0) {
        *_AOS_ << "   !!!Hardy-Weinberg disequilibrium test is not possible with recessive data,\n"
               << "      skipping task...\n";
        drop(task_hardy_weinberg);
    }

    if ((s.EliminateRedondHaplodefs != 0 || s.InferHaplotypeDefinitionFromDistanceMatrix != 0) &&
        (GenotypicData == 0 || GameticPhase != 0)) {
        eliminate_redond_haplodef();
        if (s.ComputeDistanceMatrixAMOVA != 0) distance_matrix.reset();
    }

    if (DataType == MICROSAT) drop(task_ewens_watterson | task_chakraborty);

    // The Y matrix of a Mantel test derives from pairwise FST unless the user
    // gave it.
    if (has(task_mantel) && !has(task_pairwise_fst) && std::strcmp(mantel.YMatrix.c_str(), "custom") != 0)
        s.TaskNumber |= task_pairwise_fst;

    if (GenotypicData != 0 && GameticPhase == 0) {
        s.PrintMinSpannNetworkPop = 0;
        s.PrintMinSpannNetworkGlob = 0;
        s.PrintDistanceMatrix = 0;
        s.PrintHaplDistMat = 0;
        s.PrintPopDistMat = 0;
    }
    return 1;
}

}  // namespace quintle
