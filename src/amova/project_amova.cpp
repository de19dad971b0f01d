// Project-level entry points of the AMOVA and distance machinery: one AMOVA
// run through the engine, the distance matrix between haplotype definitions
// computed by a temporary sample of the project's data type, and the
// printing of that matrix with its minimum spanning network.

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iomanip>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "amova/Amova.h"
#include "core/Errors.h"
#include "core/RectMat.h"
#include "core/References.h"
#include "core/TJSOut.h"
#include "core/xml.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "datatypes/population_factory.h"
#include "mantel/network_report.h"
#include "popstats/PopGenetics.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/glbobj.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

constexpr char const* amova_name = "Project::AMOVA()";
constexpr char const* distances_name = "Project::calc_dist_matrix()";

bool amova_asked(settings const& s) {
    return (s.TaskNumber & task_amova) != 0 && (s.HaplAMOVA != 0 || s.LocByLocAMOVA != 0);
}

std::string rule(char c, int n) { return std::string(static_cast<std::size_t>(n), c); }

// The four settings that select the distance computation of the temporary
// sample; whatever way the computation is left, the caller's values are
// back in place.
class DistanceSettingsScope {
public:
    DistanceSettingsScope(settings& s, int method, double gamma)
        : s_(s),
          task_(s.TaskNumber),
          method_(s.DistanceMethodAMOVA),
          gamma_(s.GammaAValueAMOVA),
          infer_(s.InferHaplotypeDefinitionFromDistanceMatrix) {
        s.TaskNumber = task_pairwise_distances;
        s.DistanceMethodAMOVA = method;
        s.GammaAValueAMOVA = gamma;
        s.InferHaplotypeDefinitionFromDistanceMatrix = 0;
    }
    ~DistanceSettingsScope() {
        s_.TaskNumber = task_;
        s_.DistanceMethodAMOVA = method_;
        s_.GammaAValueAMOVA = gamma_;
        s_.InferHaplotypeDefinitionFromDistanceMatrix = infer_;
    }
    DistanceSettingsScope(DistanceSettingsScope const&) = delete;
    DistanceSettingsScope& operator=(DistanceSettingsScope const&) = delete;

private:
    settings& s_;
    std::int64_t task_;
    int method_;
    double gamma_;
    int infer_;
};

// The temporary sample lives only inside the computation: emptied and
// deleted on every way out.
class TemporarySample {
public:
    explicit TemporarySample(std::unique_ptr<PopGenetics>& slot) : slot_(slot) {}
    ~TemporarySample() { release(); }
    void release() {
        if (slot_) {
            slot_->clean();
            slot_.reset();
        }
    }
    TemporarySample(TemporarySample const&) = delete;
    TemporarySample& operator=(TemporarySample const&) = delete;

private:
    std::unique_ptr<PopGenetics>& slot_;
};

// A computed matrix that can be copied for n haplotypes. A matrix smaller
// than the list would be read out of range: it counts as not computed.
bool usable_matrix(RectMat const* m, int n) {
    if (m == nullptr) return false;
    if (m->constantMode != 0) return true;
    return m->has_storage() && m->nRows >= n && m->nCols >= n;
}

// Copies the lower triangle of the computed matrix into the project's
// matrix. Labels are absent or exactly MatrixSize of them: an existing
// array follows the new size (first labels kept, new ones empty), an
// absent one stays absent.
void copy_computed(DistMat& dm, RectMat const& computed, int n) {
    std::unique_ptr<my_string[]> labels;
    if (dm.Labels) {
        labels = std::make_unique<my_string[]>(static_cast<std::size_t>(n));
        int const kept = std::min(dm.MatrixSize, n);
        for (int i = 0; i < kept; ++i) labels[i] = dm.Labels[i];
    }
    dm.constantMode = computed.constantMode;
    if (computed.constantMode != 0) {
        dm.create(2);
    } else if (computed.classed()) {
        // Held by classes as the sample's matrix is: the distance of two
        // rows of one class is the class's, a row's own stays 0.
        std::vector<int> classOf(computed.row_classes().begin(), computed.row_classes().begin() + n);
        int const G = computed.num_classes();
        if (dm.make_classed(std::move(classOf), G)) {
            for (int a = 0; a < G; ++a)
                for (int b = 0; b <= a; ++b) dm.between(a, b) = computed.below(a, b);
        }
    } else {
        dm.create(n);
        for (int i = 1; i < n; ++i)
            for (int j = 0; j < i; ++j) dm(i, j) = computed(i, j);
    }
    dm.MatrixSize = n;
    dm.Labels = std::move(labels);
}

// The 1-based numbers of the loci that are (or are not) usable, right-
// aligned in 4 with two blanks after each, 15 to a line; "NONE" when none.
void list_loci(std::ostream& os, std::vector<int> const& usable, bool wanted) {
    int listed = 0;
    for (std::size_t l = 0; l < usable.size(); ++l) {
        if ((usable[l] != 0) != wanted) continue;
        os << std::right << std::setw(4) << l + 1 << "  ";
        if (++listed % 15 == 0) os << "\n";
    }
    if (listed == 0) os << "NONE";
}

// Which loci the computation could use, into the result file, and the
// missing-data frequency of every locus into "MissDataPerLocus.txt" beside
// the result file. Not for the selection scan's simulated data, which
// would leave their own single locus in the file.
void report_usable_loci(settings const& s, PopGenetics const& pop) {
    if (s.quietMode) return;
    if (std::fstream* out = s.ResultFile) {
        *out << "\nNumber of usable loci for distance computation : " << pop.numUsableSites;
        *out << "\nAllowed level of missing data                  : " << s.AllowedLevelOfMissingData;
        *out << "\n\nList of usable loci :\n" << "---------------------\n";
        list_loci(*out, pop.usableSite, true);
        *out << "\n\nList of loci with too much missing data :" << "\n-----------------------------------------\n\n";
        list_loci(*out, pop.usableSite, false);
        *out << "\n" << std::endl;
    }
    my_string name = s.ResultFileName;
    name.extract_path();
    name += "MissDataPerLocus.txt";
    std::ofstream file(name.c_str(), std::ios::out | std::ios::trunc);
    file << "Locus#\tFreq. missing data\n";
    for (std::size_t l = 0; l < pop.missingFreqPerSite.size(); ++l)
        file << l + 1 << "\t" << pop.missingFreqPerSite[l] << "\n";
}

// Every form of calc_dist_matrix: the distances of data of that type;
// `report` adds the usable-loci report.
int compute_haplotype_distances(Project& p, Haplo_DB& hl, int method, double gamma, bool report, TDataType type) {
    TemporarySample sample(p.dist_pop);
    try {
        p.dist_pop = make_sample(type);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, distances_name, Msg::m0_not_enough_memory);
        return 0;
    }
    PopGenetics& pop = *p.dist_pop;
    pop.locusSeparator = p.samples->locusSeparator;
    pop.name = p.Title;
    pop.alleleDB = &p.allele_db;
    pop.profile = static_cast<ProfileSettings const&>(p);
    pop.haplotype_transf(hl);
    pop.fromPhenotypes = p.phen_converted;
    {
        DistanceSettingsScope scope(p.options, method, gamma);
        pop.test_methods(p.options);
    }

    int const n = static_cast<int>(hl.haplotypes.count);
    if (!usable_matrix(pop.distMat.get(), n)) {
        sample.release();
        E.error(ERROR, distances_name, Msg::m136_dist_mat_not_computed);
        return 0;
    }
    copy_computed(p.distance_matrix, *pop.distMat, n);

    settings const& s = p.options;
    if (report && (amova_asked(s) || (s.TaskNumber & task_pairwise_fst) != 0)) report_usable_loci(s, pop);
    return 1;
}

// The name of the AMOVA distance method for the data type; null when the
// code names no entry of the table.
char const* amova_distance_name(int dataType, int method) {
    int entry = -1;
    switch (dataType) {
        case DNA: entry = method; break;
        case RFLP: entry = method == 0 ? 0 : method == 1 ? 3 : -1; break;
        case MICROSAT: entry = method + 7; break;
        default: entry = 0; break;
    }
    // The code comes from the settings file: only table entries are named.
    if (method < 0 || entry < 0 || entry >= NumDistanceNames) return nullptr;
    return DistanceNames[entry];
}

void print_spanning_network(Project& p, std::fstream& out, bool groups) {
    Haplo_DB& hl = p.haplotypes;
    DistMat const& dm = p.distance_matrix;
    int const n = static_cast<int>(hl.haplotypes.count);
    // The matrix may be left over from a failed computation or belong to
    // another list: its rows must be the haplotypes.
    if (dm.MatrixSize != n || n < 1) {
        *_AOS_ << "\tMinimum spanning network skipped: the distance matrix has " << dm.MatrixSize
               << " rows for " << n << " haplotypes\n";
        return;
    }
    print_js_doc_entry(p.options, 2, groups ? "_gr_glob_spann" : "_pop_glob_spann", "Minimum Spanning Network");

    RectMat square(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) square(i, j) = dm(i, j);
    print_global_spanning_network(out, square, hl);
}

}  // namespace

int Project::AMOVA(DistMat& dm, Haplo_DB& hl, Samples& s, Structure& st, TAlleleDB& adb, amova_results* res) {
    settings& o = options;
    bool const pairwise = (o.TaskNumber & task_pairwise_fst) != 0;

    if (amova_asked(o) && IsAmovaStructure() == 0) {
        E.error(WARNING, amova_name, Msg::m134_invalid_data_after_check);
        // Pairwise FST needs no structure.
        if (!pairwise) return 0;
    }

    bool const distancesNeeded = (o.TaskNumber & (task_amova | task_pairwise_fst)) != 0 &&
                                 (amova_asked(o) || o.ComputePairwiseFST != 0 || o.PrintMissIntermatchs != 0);
    if (distancesNeeded) {
        if (o.ComputeDistanceMatrixAMOVA != 0) {
            if (hl.associate_with2(dm) == 0) {
                E.error(ERROR, amova_name, Msg::m135_hapl_list_dist_mat_mismatch);
                return 0;
            }
            // The labels become the definitions' identifiers. A computed
            // matrix may come without a label array: one of exactly
            // MatrixSize entries is made first.
            int const size = std::max(dm.MatrixSize, 0);
            dm.Labels = std::make_unique<my_string[]>(static_cast<std::size_t>(size));
            long const named = std::min<long>(size, hl.haplotypes.count);
            for (long i = 0; i < named; ++i)
                if (HaploDef const* h = hl.haplotypes.data[i]) dm.Labels[i] = h->id;
        } else if (hl.associate_with1(dm) == 0) {
            E.error(WARNING, amova_name, Msg::m135_hapl_list_dist_mat_mismatch);
            return 0;
        }

        number_amova_samples(s, st);
    }

    o.current_samples = &s;
    o.current_structure = &st;
    o.current_dist_mat = &dm;
    o.current_haplotypes = &hl;
    o.current_allele_db = &allele_db;

    try {
        // The selection scan's analyses are not the project's: they feed no line.
        Amova engine(o, &st, &s, &dm, &hl, &adb, &mantel, 1, 0, res, o.quietMode ? nullptr : &pass_results.amova);
    } catch (Amova::AmovaFatalError const&) {
        // The engine has reported why it gave up.
        return 0;
    }
    return 1;
}

void Project::number_amova_samples(Samples& s, Structure& st) {
    // Grouped samples first, in group and member order, each at its first
    // place; then the others in set order.
    MY_TIArrayAsVector<Population>& all = s.Populations;
    for (long i = 0; i < all.count; ++i)
        if (Population* p = all.data[i]) p->amovaIndex = -1;
    int next = 0;
    for (int g = 0; g < st.NbGroups && st.Groups; ++g) {
        PopulationGroup const& group = st.Groups[g];
        for (long j = 0; j < group.count; ++j) {
            Population* p = group.data[j];
            if (p != nullptr && p->amovaIndex == -1) p->amovaIndex = next++;
        }
    }
    for (long i = 0; i < all.count; ++i)
        if (Population* p = all.data[i]; p != nullptr && p->amovaIndex == -1) p->amovaIndex = next++;
    // The engine reads the number as the sample's id.
    for (long i = 0; i < all.count; ++i)
        if (Population* p = all.data[i]) p->id = p->amovaIndex;
}

int Project::calc_dist_matrix(int const& method, double const& gamma) {
    return compute_haplotype_distances(*this, haplotypes, method, gamma, true, samples->dataType);
}

int Project::calc_dist_matrix(int const& method, double const& gamma, TDataType type) {
    return compute_haplotype_distances(*this, haplotypes, method, gamma, true, type);
}

int Project::calc_dist_matrix(Haplo_DB& hl, int const& method, double const& gamma) {
    return compute_haplotype_distances(*this, hl, method, gamma, false, samples->dataType);
}

void Project::print_distance_matrix() {
    std::fstream* out = options.ResultFile;
    if (out == nullptr) return;
    bool const groups = samples && samples->GroupLevel;

    if (options.PrintDistanceMatrix != 0) {
        print_js_doc_entry(options, 2, groups ? "_gr_amova_dm" : "_pop_amova_dm", "Euclidean distances");
        *out << rule('-', 75) << "\n";
        *out << "Matrix of Euclidian square distances used in the genetic structure section:\n";
        *out << rule('-', 75) << "\n\n";
        References(*out, my_string("SubstDistance_1969"), 0);
        References(*out, my_string("TransitionDistance_1980"), 1);
        References(*out, my_string("BaseFreqDistance_1984"), 1);
        References(*out, my_string("GCContentDistance_1992"), 1);
        References(*out, my_string("TwoTransitionDistance_1993"), 1);
        References(*out, my_string("GammaDistance_1990"), 1);
        References(*out, my_string("AlleleSizeDistance_1996"), 2);

        *out << "\nEuclidean square distance matrix used for AMOVA computations: " << Title << "\n\n";
        *out << "     Distance method: ";
        if (char const* name = amova_distance_name(samples->dataType, options.DistanceMethodAMOVA))
            *out << name;
        *out << "\n\n";

        *out << distance_matrix << "\n\n" << rule('=', 66) << "\n\n";

        *out << "Corresponding list of Haplotypes: " << Title << "\n\n" << "\n";
        TXmlTag const labels("hapDistMatrixLabels");
        if (xmlOutput) *out << labels.open() << "\n";
        *out << "Ext_Id  \tFreq." << std::endl;
        for (long i = 0; i < haplotypes.haplotypes.count; ++i)
            if (HaploDef const* h = haplotypes.haplotypes.data[i])
                *out << h->id << "\t" << h->count << "\t" << h->data << "\n";
        if (xmlOutput) *out << labels.close() << "\n";
        *out << rule('=', 66) << "\n\n";
    }

    if (options.PrintMinSpannNetworkGlob != 0) print_spanning_network(*this, *out, groups);
}

}  // namespace quintle
