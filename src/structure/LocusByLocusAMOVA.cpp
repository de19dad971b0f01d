// AMOVA of each polymorphic locus on its own: one engine per locus on
// one-locus copies of the samples and the structure, the per-locus tables,
// the population-specific indices per locus and the weighted average over
// loci. Each locus's components and indices are also kept in its TLocus,
// where the scan for loci under selection reads them.

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iomanip>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "amova/AMOVA_table.h"
#include "amova/Amova.h"
#include "core/Errors.h"
#include "core/TJSOut.h"
#include "core/public.h"
#include "data/HaploDef.h"
#include "data/TLocus.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

// Everything the analysis changes in the project for its duration, put back
// on every way out: the settings it overrides, the current-data pointers
// and the project's distance matrix with its labels (a given matrix must
// serve the next pass).
class LocusRunScope {
public:
    explicit LocusRunScope(Project& p)
        : p_(p),
          s_(p.options),
          method_(s_.DistanceMethodAMOVA),
          tasks_(s_.TaskNumber),
          keepNull_(s_.KeepNullDistrib),
          samples_(s_.current_samples),
          structure_(s_.current_structure),
          distances_(s_.current_dist_mat),
          haplotypes_(s_.current_haplotypes),
          alleles_(s_.current_allele_db),
          mode_(p.distance_matrix.constantMode),
          diagonal_(p.distance_matrix.diagonalValue),
          offDiagonal_(p.distance_matrix.offDiagonalValue) {
        saved_ = p.distance_matrix;
    }
    ~LocusRunScope() {
        s_.DistanceMethodAMOVA = method_;
        s_.TaskNumber = tasks_;
        s_.KeepNullDistrib = keepNull_;
        s_.current_samples = samples_;
        s_.current_structure = structure_;
        s_.current_dist_mat = distances_;
        s_.current_haplotypes = haplotypes_;
        s_.current_allele_db = alleles_;
        DistMat& dm = p_.distance_matrix;
        dm = saved_;
        dm.constantMode = mode_;
        dm.diagonalValue = diagonal_;
        dm.offDiagonalValue = offDiagonal_;
    }
    LocusRunScope(LocusRunScope const&) = delete;
    LocusRunScope& operator=(LocusRunScope const&) = delete;

    // The per-locus engine computes neither pairwise distances, Mantel
    // tests nor null-distribution files.
    void quiet_engine() {
        s_.TaskNumber = tasks_ & ~(task_pairwise_fst | task_mantel);
        s_.KeepNullDistrib = 0;
    }
    // The project's own data back in the current-data pointers.
    void own_data() {
        s_.TaskNumber = tasks_;
        s_.KeepNullDistrib = keepNull_;
        s_.current_samples = samples_;
        s_.current_structure = structure_;
        s_.current_haplotypes = haplotypes_;
    }

private:
    Project& p_;
    settings& s_;
    int const method_;
    std::int64_t const tasks_;
    int const keepNull_;
    Samples* const samples_;
    Structure* const structure_;
    DistMat* const distances_;
    Haplo_DB* const haplotypes_;
    TAlleleDB* const alleles_;
    int const mode_;
    double const diagonal_;
    double const offDiagonal_;
    DistMat saved_;
};

// The one-locus data of one locus, emptied in the order the groups borrow
// from the set.
struct OneLocusData {
    Samples samples;
    Haplo_DB haplotypes;
    Structure structure;
    ~OneLocusData() {
        structure.reset();
        samples.clean();
        haplotypes.reset();
    }
};

void set_locus_values(TLocus& locus, double v) {
    for (std::size_t k = 0; k < locus_amova_values; ++k) locus.values[k] = v;
}

void keep_locus_values(TLocus& locus, amova_results const& r) {
    locus.values[locus_V1] = r.V1;
    locus.values[locus_V2] = r.V2;
    locus.values[locus_V3] = r.V3;
    locus.values[locus_V4] = r.V4;
    locus.values[locus_VT] = r.VT;
    locus.values[locus_FIS] = r.FIS;
    locus.values[locus_FST] = r.FST;
    locus.values[locus_FSC] = r.FSC;
    locus.values[locus_FCT] = r.FCT;
    locus.values[locus_FIT] = r.FIT;
}

// "Distance method for locus-by-locus analysis: " and the method's name,
// into the result file.
void print_distance_method(std::ostream& out, settings const& s, TDataType type) {
    if (s.ComputeConventionalFST != 0) {
        out << "Computing conventional F-Statistics from haplotype frequencies\n";
    } else if (s.ComputeDistanceMatrixAMOVA != 0) {
        out << "Distance method for locus-by-locus analysis: ";
        int const m = s.DistanceMethodAMOVA;
        switch (type) {
            case DNA:
            case RFLP: out << DistanceNames[0] << "\n"; break;
            case MICROSAT:
                if (m == 0 || m == 1) out << DistanceNames[7 + m] << "\n";
                break;
            case STANDARD: out << "Pairwise differences\n"; break;
            default: break;
        }
    }
    out << "\n";
}

// A per-population table of the first group's (FST) or all groups' (FIS)
// populations, in absolute values and then in percent of the locus's index.
void print_per_pop_tables(std::ostream& out, AMOVA_table& table, std::vector<Population const*> const& pops,
                          char const* index, bool fis) {
    int width = 0;
    for (Population const* p : pops) width = std::max(width, p->name.length());
    width = std::max(10, width + 2);
    std::string const dashes(static_cast<std::size_t>(width) * pops.size() + 21, '-');
    auto header = [&] {
        out << std::right << std::setw(7) << "Locus" << std::setw(14) << (std::string("Average ") + index);
        for (Population const* p : pops) out << std::setw(width) << p->name;
        out << "\n" << dashes << "\n";
    };
    out << "\n" << "\n-----------------------------------------------------------------------"
        << "\nPopulation specific " << index << " indices per polymorphic locus (absolute values)" << "\n"
        << dashes << "\n";
    header();
    if (fis)
        table.print_Fis_per_pop_table(out, width, false);
    else
        table.print_Fst_per_pop_table(out, width, false);
    out << dashes << "\n";
    out << "\n---------------------------------------------------------------------------------------------------"
        << "\nPopulation specific " << index << " indices per polymorphic locus (relative values (%) compared to average "
        << index << ")\n"
        << dashes << "\n";
    header();
    if (fis)
        table.print_Fis_per_pop_table(out, width, true);
    else
        table.print_Fst_per_pop_table(out, width, true);
    out << dashes << "\n";
}

}  // namespace

void Project::LocusByLocusAMOVA(std::fstream* out) {
    settings& s = options;
    bool const groups = samples && samples->GroupLevel;
    if (out != nullptr)
        *out << "\n********************" << "\nLocus by locus AMOVA:" << "\n********************\n" << "\n";

    LocusRunScope scope(*this);
    TDataType const type = samples->dataType;
    if (type == DNA || type == RFLP) s.DistanceMethodAMOVA = 0;
    if (s.ResultFile != nullptr) print_distance_method(*s.ResultFile, s, type);

    // The loci are those of the first definition; without one, or without
    // samples and a structure, there is nothing to analyse.
    if (!samples || !structure || haplotypes.haplotypes.count < 1 || haplotypes.haplotypes.data[0] == nullptr) {
        *_AOS_ << "\tLocus-by-locus AMOVA: no haplotype definition to take the loci from\n";
        return;
    }
    long L = haplotypes.haplotypes.data[0]->alleles.count;
    if (L > allele_db.loci.count) {
        *_AOS_ << "\tLocus-by-locus AMOVA: the haplotypes hold " << L << " loci, the allele base "
               << allele_db.loci.count << ": only the first " << allele_db.loci.count << " are analysed\n";
        L = allele_db.loci.count;
    }

    AMOVA_table table;
    table.col_width = 15;
    std::vector<long> monomorphic;
    monomorphic.reserve(100);

    for (long l = 0; l < L; ++l) {
        TLocus* locus = allele_db.loci.data[l];
        if (locus == nullptr || locus->is_polymorph(MissingData) == 0) {
            monomorphic.push_back(l);
            continue;
        }
        OneLocusData one;
        if (one.samples.build_one_loci_sample(static_cast<int>(l), samples.get(), structure.get(), &one.haplotypes) ==
            0) {
            set_locus_values(*locus, -2.0);
            continue;
        }
        one.structure.build_one_loci_str(&one.samples, structure.get());
        if (IsAmovaStructure() == 0) {
            E.error(WARNING, "Project::AMOVA()", Msg::m134_invalid_data_after_check);
            return;
        }
        scope.quiet_engine();
        // A locus whose distances cannot be computed would be analysed with
        // the matrix of another locus: it is left out instead.
        if (calc_dist_matrix(one.haplotypes, s.DistanceMethodAMOVA, s.GammaAValueAMOVA) == 0) {
            set_locus_values(*locus, -2.0);
            scope.own_data();
            continue;
        }
        int const n = static_cast<int>(one.haplotypes.haplotypes.count);
        distance_matrix.Labels = std::make_unique<my_string[]>(static_cast<std::size_t>(std::max(n, 0)));
        for (int i = 0; i < n && i < distance_matrix.MatrixSize; ++i)
            if (HaploDef const* h = one.haplotypes.haplotypes.data[i]) distance_matrix.Labels[i] = h->id;
        number_amova_samples(one.samples, one.structure);
        s.current_samples = &one.samples;
        s.current_structure = &one.structure;
        s.current_haplotypes = &one.haplotypes;
        s.current_dist_mat = &distance_matrix;
        s.current_allele_db = &allele_db;

        auto record = std::make_unique<amova_results>();
        record->locus = static_cast<std::int32_t>(l);
        try {
            Amova engine(s, &one.structure, &one.samples, &distance_matrix, &one.haplotypes, &allele_db, &mantel, 0, 1,
                         record.get());
        } catch (Amova::AmovaFatalError const&) {
            // The engine has reported why; the whole analysis is abandoned.
            return;
        }
        keep_locus_values(*locus, *record);
        table.results.Add(record.release());
        scope.own_data();
    }
    *_AOS_ << "\tEnd of locus-by-locus computations";

    if (out == nullptr) return;
    *out << "List of loci with only one allele:\n" << "----------------------------------\n\n";
    for (std::size_t k = 0; k < monomorphic.size(); ++k) {
        *out << monomorphic[k] + 1 << " ";
        if ((k + 1) % 30 == 0) *out << "\n";
    }
    *out << "\n";
    if (out->is_open())
        print_js_doc_entry(s, 2, groups ? "_gr_Loc_by_Loc_AMOVA" : "_pop_Loc_by_Loc_AMOVA", "Locus by locus AMOVA");

    *out << "\n----------------------------------------" << "\nAMOVA Results for polymorphic loci only:"
         << "\n----------------------------------------\n\n";
    table.print_table_header(*out);
    *_AOS_ << "\tPrinting locus-by_locus AMOVA results in table...";
    table.print_table(*out);
    *_AOS_ << " done!\n";

    amova_results const* first = table.results.count > 0 ? table.results.data[0] : nullptr;
    if (s.PopSpecificFST != 0 && first != nullptr && (first->type == 1 || first->type == 7)) {
        std::vector<Population const*> pops;
        if (structure->NbGroups > 0 && structure->Groups) {
            PopulationGroup const& g0 = structure->Groups[0];
            for (long j = 0; j < g0.count && j < first->df1 + 1; ++j)
                if (g0.data[j] != nullptr) pops.push_back(g0.data[j]);
        }
        print_per_pop_tables(*out, table, pops, "FST", false);
    }

    if (!s.quietMode) pass_results.amova.indices.merge(average_line_indices(table.print_average_loci(*out, &s, groups)));

    if (s.PopSpecificFIS != 0 && first != nullptr && (first->type == 2 || first->type == 4 || first->type == 6)) {
        if (s.current_samples != nullptr)
            s.current_samples->print_computation_anchor(
                2, s, my_string(groups ? "LBL_GR_AMOVA_FIS" : "LBL_POP_AMOVA_FIS"),
                my_string(groups ? "FIS per group per locus" : "FIS per pop per locus"));
        std::vector<Population const*> pops;
        for (int g = 0; g < structure->NbGroups && structure->Groups; ++g)
            for (long j = 0; j < structure->Groups[g].count; ++j)
                if (Population const* p = structure->Groups[g].data[j]) pops.push_back(p);
        print_per_pop_tables(*out, table, pops, "FIS", true);
    }
}

}  // namespace quintle
