// Between-sample analyses of one pass: the refusals the data impose, the
// pseudo-haplotypes of unphased diploid data, the section heading and menu
// entries, the distance matrix between haplotypes, the AMOVA (with pairwise
// distances and Mantel tests), the locus-by-locus AMOVA and the exact tests
// of differentiation.

#include <cstdint>
#include <ctime>
#include <fstream>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "core/TJSOut.h"
#include "core/public.h"
#include "core/timing.h"
#include "core/xml.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/task_bits.h"
#include "structure/DiffInterPop.h"

namespace quintle {

namespace {

constexpr char const* driver_name = "GenStructCalculations()";

// A settings value put back when the scope ends, however it ends.
template <class T>
class KeptValue {
public:
    explicit KeptValue(T& slot) : slot_(slot), kept_(slot) {}
    ~KeptValue() { slot_ = kept_; }
    KeptValue(KeptValue const&) = delete;
    KeptValue& operator=(KeptValue const&) = delete;

private:
    T& slot_;
    T const kept_;
};

// A task bit taken out of TaskNumber for the scope (when `active`) and added
// back at its end, however it ends.
class TaskBitOff {
public:
    TaskBitOff(std::int64_t& tasks, std::int64_t bit, bool active) : tasks_(tasks), bit_(active ? bit : 0) {
        tasks_ &= ~bit_;
    }
    ~TaskBitOff() { tasks_ |= bit_; }
    TaskBitOff(TaskBitOff const&) = delete;
    TaskBitOff& operator=(TaskBitOff const&) = delete;

private:
    std::int64_t& tasks_;
    std::int64_t const bit_;
};

void drop_tasks(settings& s, std::int64_t bits) { s.TaskNumber &= ~bits; }

}  // namespace

void Project::GenStructCalculations(std::fstream* result) {
    settings& s = options;
    std::int64_t& T = s.TaskNumber;
    auto const has = [&T](std::int64_t bits) { return (T & bits) != 0; };
    bool const groups = samples && samples->GroupLevel;

    // Unphased or phased diploid data become pseudo-haplotypes, once a pass.
    if (GenotypicData != 0 && RecessiveData == 0) {
        if (GameticPhase == 0 && s.ComputeConventionalFST != 0) {
            char const* const lines[] = {"\n\nThe computation of AMOVA with the option \"CONVENTIONAL FST\" is",
                                         "\nnot possible with unknown gametic phase data.\n",
                                         "SKIPPING COMPUTATION OF GENETIC STRUCTURE\n"};
            for (std::ostream* os : {static_cast<std::ostream*>(result), _AOS_}) {
                if (os == nullptr) continue;
                for (char const* line : lines) *os << line;
                *os << std::endl;
            }
            E.error(WARNING, driver_name, Msg::m202_cannot_compute_structure);
            drop_tasks(s, task_amova | task_pairwise_fst);
        }

        *_AOS_ << "\tConverting phenotypic to haplotypic data ...\n";
        std::clock_t const start = get_sys_clock();
        if (phen_converted == 0 && samples) {
            samples->phen_to_gam(&haplotypes, this, &s);
            phen_converted = 1;
        }
        if (vectors_built == 0) {
            build_all_vectors(allele_db);
            vectors_built = 1;
        }
        *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    }

    convertMicrosatToNumberOfRepeats();

    if (GenotypicData != 0 && RecessiveData != 0) {
        // Recessive phenotypes are never turned into gene copies, so no
        // pairwise FST can be computed for a Mantel test either: refused
        // here, before any work.
        if (has(task_mantel)) E.error(WARNING, driver_name, Msg::m202_cannot_compute_structure);
        drop_tasks(s, task_amova | task_pairwise_fst | task_mantel);
        if (result != nullptr)
            *result << "\n\nThe computation of AMOVA and PAIRWISE FST is"
                    << "\nnot implemented yet with recessive data, sorry\n"
                    << std::endl;
    }

    if (!has(task_amova | task_pairwise_fst | task_exact_differentiation | task_mantel)) return;

    bool const amova_asked = has(task_amova) && (s.HaplAMOVA != 0 || s.LocByLocAMOVA != 0);
    if (htmlOutput && (amova_asked || has(task_pairwise_fst | task_exact_differentiation)))
        print_js_aux_entry(s, 2, groups ? "_gr_gen_struct" : "_pop_gen_struct",
                           groups ? "Genetic structure (samp=group)" : "Genetic structure (samp=pop)");
    if ((amova_asked || has(task_pairwise_fst)) && s.ResultFile != nullptr) {
        std::string const rule(79, '=');
        *s.ResultFile << rule << "\n" << "== GENETIC STRUCTURE ANALYSIS\n" << rule << "\n\n";
    }

    // The per-locus AMOVA computes its own matrices: it alone asks for none here.
    bool const distances_wanted =
        (has(task_amova) && s.HaplAMOVA != 0) ||
        (has(task_pairwise_fst) && (s.ComputePairwiseFST != 0 || s.UnequalPopSizeDiv != 0 ||
                                    s.PrintMissIntermatchs != 0)) ||
        has(task_mantel);
    if ((s.ComputeDistanceMatrixAMOVA != 0 || s.ComputeConventionalFST != 0) && distances_wanted) {
        calc_dist_matrix(s.DistanceMethodAMOVA, s.GammaAValueAMOVA);
        if (s.PrintDistanceMatrix != 0 || s.PrintMinSpannNetworkGlob != 0) print_distance_matrix();
    }

    if (has(task_amova | task_pairwise_fst | task_mantel)) {
        if ((s.HaplAMOVA != 0 || s.LocByLocAMOVA != 0) && !s.quietMode)
            *_AOS_ << "\t\tComputing F statistics ...\n";
        std::clock_t const start = get_sys_clock();
        if (!s.quietMode) settings::message = "Computing population genetic structure...";

        if (s.HaplAMOVA != 0 || has(task_pairwise_fst | task_mantel)) {
            if (htmlOutput && s.HaplAMOVA != 0) print_js_doc_entry(s, 2, groups ? "_gr_amova" : "_pop_amova", "AMOVA");
            // Without the whole-sample AMOVA the engine must only compare
            // samples; a Mantel test keeps the full task set.
            TaskBitOff const no_amova(T, task_amova, s.HaplAMOVA == 0 && has(task_amova) && !has(task_mantel));
            if (samples && structure) AMOVA(distance_matrix, haplotypes, *samples, *structure, allele_db, &amova_res);
        }

        // Recessive diploid data have no AMOVA (refused above): nor per locus.
        bool const recessive = GenotypicData != 0 && RecessiveData != 0;
        if (s.LocByLocAMOVA != 0 && !recessive) {
            KeptValue<std::int64_t> const kept_tasks(T);
            KeptValue<int> const kept_fst(s.ComputePairwiseFST);
            KeptValue<int> const kept_delta_mu(s.ComputeDeltaMuSqr);
            T = task_amova;
            s.ComputePairwiseFST = 0;
            s.ComputeDeltaMuSqr = 0;
            LocusByLocusAMOVA(result);
        }

        if (!s.quietMode) *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    }

    if (has(task_exact_differentiation)) {
        print_js_doc_entry(s, 2, groups ? "_gr_exct_tests" : "_pop_exct_tests", "Exact tests");
        DiffInterPop tests;
        tests.runSettings = &s;
        tests.samples = samples.get();
        tests.testImpossible = 0;
        tests.make_all_tests();
    }
}

}  // namespace quintle
