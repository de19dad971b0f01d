#include "amova/Amova.h"

#include <climits>
#include <ctime>
#include <new>
#include <ostream>

#include "amova/amova_results.h"
#include "amova/design_print.h"
#include "amova/pairwise_kernels.h"
#include "core/Errors.h"
#include "core/TJSOut.h"
#include "core/public.h"
#include "core/timing.h"
#include "data/Population.h"
#include "project/DistMat.h"
#include "project/pass_results.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

bool amova_asked(quintle::settings const& s) {
    return (s.TaskNumber & task_amova) != 0 && (s.HaplAMOVA != 0 || s.LocByLocAMOVA != 0);
}

struct Design {
    int code;
    int (Amova::*run)();
    char const* name;
    // Whether every sample must hold two copies per individual: the
    // designs with an individual level. Those that only permute
    // individuals take a lone copy (one allele missing) as a unit of its
    // own.
    int individuals;
    // Whether the design takes sums at all (the recessive-data ones do not).
    bool takes_sums;
};

constexpr Design kDesigns[] = {
    {2, &Amova::AMOVA_1G_1P_I, "Amova::AMOVA_1G_1P_I()", 1, true},
    {3, &Amova::AMOVA_1G_P_H, "Amova::AMOVA_1G_P_H()", 0, true},
    {4, &Amova::AMOVA_1G_P_I, "Amova::AMOVA_1G_P_I()", 1, true},
    {5, &Amova::AMOVA_G_P_H, "Amova::AMOVA_G_P_H()", 0, true},
    {6, &Amova::AMOVA_G_P_I, "Amova::AMOVA_G_P_I()", 1, true},
    {7, &Amova::AMOVA_1G_P_IH, "Amova::AMOVA_1G_P_IH()", 0, true},
    {8, &Amova::AMOVA_G_P_IH, "Amova::AMOVA_G_P_IH()", 0, true},
    {9, &Amova::AMOVA_1G_P_RIH, "Amova::AMOVA_1G_P_RIH()", 0, false},
    {10, &Amova::AMOVA_G_P_RIH, "Amova::AMOVA_G_P_RIH()", 0, false},
};

[[noreturn]] void structure_failure() {
    E.error(ERROR, "Amova::initialize()", Msg::m2_ill_defined_structure);
    throw Amova::AmovaFatalError{};
}

[[noreturn]] void memory_failure() {
    E.error(MEMORY, "Amova::initialize()", Msg::m0_not_enough_memory);
    throw Amova::AmovaFatalError{};
}

}  // namespace

Amova::Amova(quintle::settings& s, Structure* st, Samples* sa, DistMat* dm, Haplo_DB* hdb, TAlleleDB* adb,
             Mantel* m, int print, int perLocus, amova_results* res, AmovaLine* lineOut)
    : settings(&s),
      structure(st),
      samples(sa),
      dist_mat(dm),
      haplo_db(hdb),
      allele_db(adb),
      mantel(m),
      print_results(print),
      per_locus(perLocus),
      results(res),
      line(lineOut) {
    run();
}

void Amova::publish_design(AmovaDesignResult const& r) {
    if (results != nullptr) store_design_result(*results, r);
    if (print_results != 0 && r.computed && line != nullptr) line->indices.merge(design_line_indices(r));
    if (settings->ResultFile != nullptr) print_amova_design(*settings->ResultFile, r, *settings, print_results != 0);
}

int Amova::run_design_step(int code, bool (Amova::*compute)(AmovaDesignResult&)) {
    design = AmovaDesignResult{};
    design.design = code;
    bool done = false;
    try {
        done = (this->*compute)(design);
    } catch (...) {
        // What was computed before the analysis was abandoned still goes out.
        publish_design(design);
        throw;
    }
    design.finished = done;
    publish_design(design);
    return done ? 1 : 0;
}

void Amova::write_batch_line() {
    if (_AMOVA_RES_ != 0 && ofs_amova_res != nullptr)
        write_amova_batch_line(*ofs_amova_res, quintle::settings::input_file, design, print_results != 0);
}

Amova::~Amova() { clean(); }

void Amova::run() {
    quintle::settings& s = *settings;
    bool const amova = amova_asked(s);
    bool const prepare = amova || s.ComputePairwiseFST != 0 || s.PrintMissIntermatchs != 0;
    // The batch line is written once the design was chosen, also when the
    // analysis is abandoned during the design.
    bool batch_line_due = false;

    try {
        if (prepare && samples != nullptr) {
            bool const genotypic = samples->GenotypicData != 0;
            for (long i = 0; i < samples->Populations.count; ++i) {
                Population* p = samples->Populations.data[i];
                if (p != nullptr) p->currentHaplotypes = genotypic ? &p->geneCopies : &p->haplotypes;
            }
        }
        // Only the AMOVA reads the engine's numbering of the samples; the
        // pairwise comparisons number them themselves.
        if (amova) {
            initialize();
            s.build_sigm_histo_f_name();
            if (print_results != 0) write_report_header();
            int const G = structure->NbGroups;
            int const P1 = G >= 1 ? structure->GroupSizes[0] : 0;
            design_code = choose_design_code(samples->GenotypicData, samples->GameticPhase, indiv_level,
                                             s.RecessiveAllelesEM, s.ComputeConventionalFST, G, P1);
            design = AmovaDesignResult{};
            batch_line_due = true;
            run_design();
            // Whichever way the design ended (none, gave up, nothing to
            // compute), its batch line is written.
            write_batch_line();
            batch_line_due = false;
        }
        release_permutation_vectors();
    } catch (...) {
        if (batch_line_due) write_batch_line();
        batch_line_due = false;
        release_permutation_vectors();
        throw;
    }

    if ((s.TaskNumber & (task_pairwise_fst | task_mantel)) != 0 || s.ComputeDeltaMuSqr != 0) {
        if ((s.TaskNumber & task_pairwise_fst) != 0 || s.ComputeDeltaMuSqr != 0)
            print_js_doc_entry(s, 2, "_pop_pairw_diff", "Pairwise distances");
        *_AOS_ << "\tComputing pairwise Fst's ... \n";
        std::clock_t const start = get_sys_clock();
        CalcPairDist();
        *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    }

    if (amova) clean();
}

TDataType Amova::data_type() const { return samples != nullptr ? samples->dataType : DataTypeDefault; }

void Amova::write_report_header() {
    quintle::settings const& s = *settings;
    std::fstream* out = s.ResultFile;
    if (out == nullptr) return;
    structure->print_structure(*out);
    if (s.ComputeConventionalFST != 0) {
        *out << "\nComputing conventional F-Statistics from haplotype frequencies" << std::endl;
    } else if (s.ComputeDistanceMatrixAMOVA != 0) {
        *out << "\nDistance method: ";
        char const* name = distance_method_name(data_type(), s.DistanceMethodAMOVA);
        if (name != nullptr) *out << name << std::endl;
    }
}

int Amova::choose_design_code(int A, int B, int I, int R, int H, int G, int P1) {
    if (G < 1) return 0;
    // The three columns: one group of one sample (or fewer), one group of
    // several samples, several groups.
    int const col = G >= 2 ? 2 : (P1 >= 2 ? 1 : 0);
    auto pick = [col](int one, int several, int groups) { return col == 0 ? one : col == 1 ? several : groups; };
    if (A == 0) return pick(0, 3, 5);
    if (B != 0) {
        if (I == 0) return pick(0, 3, 5);
        return col == 0 && P1 < 1 ? 0 : pick(2, 4, 6);
    }
    if (R != 0) return pick(0, 9, 10);
    if (I != 0 && H == 0) return pick(2, 4, 6);  // the one row that also takes P1 < 1
    return pick(0, 7, 8);
}

int Amova::result_type(int code) {
    switch (code) {
        case 2: return 6;
        case 3: return 1;
        case 4: return 2;
        case 5: return 3;
        case 6: return 4;
        case 7: return 7;
        case 8: return 5;
        case 9: return 9;
        case 10: return 8;
        default: return 0;
    }
}

int Amova::check_sample_sizes(my_string const& design, int individuals) {
    for (Population const* p : pops_by_id) {
        if (p == nullptr) continue;
        double const n = p->SampleSize;
        bool const empty = !(n >= 1.0);
        bool const odd = individuals != 0 && static_cast<long long>(n) % 2 != 0;
        if (empty || odd) {
            E.error(ERROR, design, Msg::m2_ill_defined_structure);
            return 0;
        }
    }
    return 1;
}

void Amova::run_design() {
    for (Design const& d : kDesigns) {
        if (d.code != design_code) continue;
        // A design that gives up still leaves its type in the record.
        if (!d.takes_sums || check_sample_sizes(my_string(d.name), d.individuals) != 0) (this->*d.run)();
        if (results != nullptr) results->type = result_type(design_code);
        return;
    }
}

void Amova::initialize() {
    quintle::settings const& s = *settings;
    indiv_level = s.IncludeIndividualLevel;
    nb_perm = static_cast<long>(s.NumPermutationsAMOVA);

    char stamp[80] = "";
    std::time_t const now = std::time(nullptr);
    if (std::tm const* local = std::localtime(&now)) std::strftime(stamp, sizeof stamp, "%d/%m/%y at %H:%M:%S)", local);
    date_string = stamp;

    // The layout of the haplotype index vector and the group-wise
    // permutations rely on the samples being numbered 0..P-1 group by group
    // in member order, each once, and on every group having a member.
    if (structure == nullptr || samples == nullptr) structure_failure();
    int const G = structure->NbGroups;
    int const P = structure->NbSamplesInGroups;
    if (G < 0 || P < 0 || (G > 0 && (!structure->GroupSizes || !structure->Groups))) structure_failure();
    int expected = 0;
    for (int g = 0; g < G; ++g) {
        int const members = structure->GroupSizes[g];
        if (members < 1 || structure->Groups[g].count < members) structure_failure();
        for (int j = 0; j < members; ++j) {
            Population const* p = structure->Groups[g].data[j];
            if (p == nullptr || p->id != expected) structure_failure();
            ++expected;
        }
    }
    if (expected != P) structure_failure();

    int const nHaplo = dist_mat != nullptr ? dist_mat->MatrixSize : 0;
    try {
        SSDG.create(G);
        SSDP.create(P);
        if (SSDG.dim != G || SSDP.dim != P) memory_failure();
        group_size.assign(static_cast<std::size_t>(G), 0.0);
        SSDWG.assign(static_cast<std::size_t>(G), 0.0);
        pops_by_id.assign(static_cast<std::size_t>(P), nullptr);
        group_pops.assign(static_cast<std::size_t>(G), {});
        pop_FST.assign(static_cast<std::size_t>(P), 0.0);
        pop_FIS.assign(static_cast<std::size_t>(P), 0.0);
        pop_spare.assign(static_cast<std::size_t>(P), 0.0);
        total_SSD = 0.0;
        total_size = 0.0;
        N = 0.0;

        for (int g = 0; g < G; ++g) {
            int const members = structure->GroupSizes[g];
            group_pops[g].assign(static_cast<std::size_t>(members), nullptr);
            for (int j = 0; j < members; ++j) {
                Population* p = structure->Groups[g].data[j];
                group_size[g] += p->SampleSize;
                total_size += p->SampleSize;
                group_pops[g][j] = p;
                pops_by_id[p->id] = p;
                p->CreatePermutationVectors(nHaplo);
                if (p->perm_vector_size != nHaplo) memory_failure();
            }
        }

        double const length = P + total_size + 1;
        if (!(length >= 1.0 && length <= static_cast<double>(INT_MAX))) memory_failure();
        HaplotypeIndexVector.assign(static_cast<std::size_t>(static_cast<int>(length)), 0);
    } catch (std::bad_alloc const&) {
        memory_failure();
    }

    N = indiv_level == 0 ? total_size : total_size * 0.5;
    load_HaplotypeIndexVector();
    build_individual_units();
}

void Amova::release_permutation_vectors() {
    for (Population* p : pops_by_id)
        if (p != nullptr) p->DeletePermutationVectors();
}

void Amova::clean() {
    std::vector<double>().swap(group_size);
    std::vector<double>().swap(SSDWG);
    std::vector<std::vector<Population*>>().swap(group_pops);
    std::vector<Population*>().swap(pops_by_id);
    std::vector<int>().swap(HaplotypeIndexVector);
    std::vector<double>().swap(pop_FST);
    std::vector<double>().swap(pop_FIS);
    std::vector<double>().swap(pop_spare);
    individual_units = IndividualUnits{};
    flat_dist.clear();
    SSDP.destroy();
    SSDG.destroy();
}

// Recessive data: no AMOVA is computed, only the result type is recorded.
int Amova::AMOVA_1G_P_RIH() { return 1; }
int Amova::AMOVA_G_P_RIH() { return 1; }

}  // namespace quintle
