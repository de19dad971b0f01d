// Scan for loci under selection from the joint distribution of FST and
// heterozygosity: each locus's FST (from a locus-by-locus AMOVA) and its
// heterozygosity between populations are set against a null distribution
// simulated under an island model at the project's mean FST
// (selection_null.cpp); the P values come from the kernels of
// fst_kernels.cpp.
//
// The scan re-enters the genetic-structure driver with its own settings and
// with the result file and the log muted, and swaps the project's samples
// and structure for scratch ones while it simulates. One scope object takes
// everything it changes at entry and puts it back when the scan ends,
// however it ends.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "core/MY_TArrayAsVector.h"
#include "core/xml.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "popstats/TTree.h"
#include "project/DistMat.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"
#include "structure/fst_kernels.h"
#include "structure/selection_scan.h"

namespace quintle {

namespace {

// A locus whose locus-by-locus AMOVA failed.
constexpr double kFailedLocus = -2.0;

// Moves the owned elements of one array into another, addresses kept.
template <class T>
void move_elements(MY_TIArrayAsVector<T>& from, MY_TIArrayAsVector<T>& to) {
    for (long i = 0; i < from.count; ++i) {
        to.Add(from.data[i]);
        from.data[i] = nullptr;
    }
    from.count = 0;
}

// Puts back, object by object, what the database held at entry: the loci
// and alleles that were there keep their addresses (the project's samples
// point at them) and get their contents back. Those that the observed
// run's conversion of the data added stay: the converted data use them.
void restore_in_place(TAlleleDB& db, TAlleleDB const& entry) {
    for (long l = 0; l < db.loci.count && l < entry.loci.count; ++l) {
        TLocus* now = db.loci.data[l];
        TLocus const* was = entry.loci.data[l];
        if (now == nullptr || was == nullptr) continue;
        for (long a = 0; a < now->alleles.count && a < was->alleles.count; ++a)
            if (now->alleles.data[a] != nullptr && was->alleles.data[a] != nullptr)
                *now->alleles.data[a] = *was->alleles.data[a];
        now->name = was->name;
        now->printWidth = was->printWidth;
        now->values = was->values;
        now->meanSampleHet = was->meanSampleHet;
        now->meanGroupHet = was->meanGroupHet;
    }
    db.blanksInserted = entry.blanksInserted;
}

// Everything the scan changes, taken at entry and put back when it ends.
class ScanScope {
public:
    explicit ScanScope(Project& p)
        : p_(p),
          s_(p.options),
          tasks_(s_.TaskNumber),
          locusByLocus_(s_.LocByLocAMOVA),
          haplotypic_(s_.HaplAMOVA),
          permutations_(s_.NumPermutationsAMOVA),
          conventional_(s_.ComputeConventionalFST),
          distances_(s_.ComputeDistanceMatrixAMOVA),
          quiet_(s_.quietMode),
          resultFile_(s_.ResultFile),
          currentSamples_(s_.current_samples),
          currentStructure_(s_.current_structure),
          currentDistances_(s_.current_dist_mat),
          currentHaplotypes_(s_.current_haplotypes),
          currentAlleles_(s_.current_allele_db),
          projectAlleles_(s_.project_allele_db),
          echo_(E.echo),
          log_(_AOS_),
          html_(htmlOutput),
          amovaBatch_(_AMOVA_RES_),
          alleles_(p.allele_db),
          amova_(p.amova_res),
          numPop_(TAllele::numPop),
          numGroup_(TAllele::numGroup) {
        distanceMatrix_ = p.distance_matrix;
        s_.quietMode = true;
        // A file stream on an empty name fails to open: whatever the
        // re-entered driver writes there is dropped.
        muted_.open("", std::ios::in | std::ios::out);
        s_.ResultFile = &muted_;
        E.echo = &muted_;
        _AOS_ = &muted_;
        htmlOutput = false;
        _AMOVA_RES_ = 0;
    }

    ~ScanScope() {
        s_.TaskNumber = tasks_;
        s_.LocByLocAMOVA = locusByLocus_;
        s_.HaplAMOVA = haplotypic_;
        s_.NumPermutationsAMOVA = permutations_;
        s_.ComputeConventionalFST = conventional_;
        s_.ComputeDistanceMatrixAMOVA = distances_;
        if (simulating_) {
            // The copy borrows the scratch samples: it goes first.
            std::swap(p_.structure, structure_);
            std::swap(p_.samples, samples_);
            structure_.reset();
            samples_.reset();
            p_.samples->GenotypicData = genotypic_;
            p_.phen_converted = converted_;
            p_.vectors_built = built_;
            p_.haplotypes.reset();
            move_elements(keptDefinitions_, p_.haplotypes.haplotypes);
            p_.allele_db.destroy();
            move_elements(keptLoci_, p_.allele_db.loci);
        }
        TAllele::numPop = numPop_;
        TAllele::numGroup = numGroup_;
        restore_in_place(p_.allele_db, alleles_);
        p_.distance_matrix = distanceMatrix_;
        p_.amova_res = amova_;
        s_.current_samples = currentSamples_;
        s_.current_structure = currentStructure_;
        s_.current_dist_mat = currentDistances_;
        s_.current_haplotypes = currentHaplotypes_;
        s_.current_allele_db = currentAlleles_;
        s_.project_allele_db = projectAlleles_;
        s_.ResultFile = resultFile_;
        E.echo = echo_;
        _AOS_ = log_;
        htmlOutput = html_;
        _AMOVA_RES_ = amovaBatch_;
        s_.quietMode = quiet_;
        PopGenetics::globalAllelicDB.destroy();
        // The simulator's class-wide tables start empty for the next analysis.
        TNode::hits.count = 0;
        TTree::matchingNodes.count = 0;
        TTree::nodeWeights.count = 0;
    }

    ScanScope(ScanScope const&) = delete;
    ScanScope& operator=(ScanScope const&) = delete;

    std::fstream& muted() { return muted_; }
    // The streams of the run, for what the scan itself writes.
    std::ostream& log() const { return *log_; }
    std::ostream& result() { return resultFile_ != nullptr ? static_cast<std::ostream&>(*resultFile_) : muted_; }

    // Swaps a scratch sample set and a copy of the tested structure in for
    // the simulations, and moves the project's haplotype list and allele
    // database aside (their objects keep their addresses: the project's
    // samples point into them).
    void enter_simulations(std::unique_ptr<Samples> scratch, std::unique_ptr<Structure> copy) {
        converted_ = p_.phen_converted;
        built_ = p_.vectors_built;
        genotypic_ = p_.samples->GenotypicData;
        p_.samples->GenotypicData = 0;
        samples_ = std::move(scratch);
        structure_ = std::move(copy);
        std::swap(p_.samples, samples_);
        std::swap(p_.structure, structure_);
        move_elements(p_.haplotypes.haplotypes, keptDefinitions_);
        move_elements(p_.allele_db.loci, keptLoci_);
        simulating_ = true;
        s_.current_samples = p_.samples.get();
    }
    Samples* observed_samples() const { return simulating_ ? samples_.get() : p_.samples.get(); }
    Structure* tested_structure() const { return simulating_ ? structure_.get() : p_.structure.get(); }

private:
    Project& p_;
    settings& s_;
    std::int64_t const tasks_;
    int const locusByLocus_;
    int const haplotypic_;
    std::int64_t const permutations_;
    int const conventional_;
    int const distances_;
    bool const quiet_;
    std::fstream* const resultFile_;
    Samples* const currentSamples_;
    Structure* const currentStructure_;
    DistMat* const currentDistances_;
    Haplo_DB* const currentHaplotypes_;
    TAlleleDB* const currentAlleles_;
    TAlleleDB* const projectAlleles_;
    std::ostream* const echo_;
    std::ostream* const log_;
    bool const html_;
    int const amovaBatch_;
    TAlleleDB const alleles_;
    DistMat distanceMatrix_;
    amova_results const amova_;
    int const numPop_;
    int const numGroup_;
    std::fstream muted_;
    // While simulating: the project's own sample set and structure, its
    // haplotype definitions and loci, and its samples' GenotypicData.
    bool simulating_ = false;
    std::unique_ptr<Samples> samples_;
    std::unique_ptr<Structure> structure_;
    MY_TIArrayAsVector<HaploDef> keptDefinitions_{10, 100};
    MY_TIArrayAsVector<TLocus> keptLoci_{10, 100};
    int genotypic_ = 0;
    int converted_ = 0;  // the pass's one-shot conversions, as the observed run left them
    int built_ = 0;
};

void both(std::ostream& log, std::ostream& result, char const* first, char const* second) {
    for (std::ostream* os : {&log, &result}) *os << first << second;
}

// Pools every group of the structure into its first one.
void pool_into_first_group(Structure& st) {
    if (!st.Groups || st.NbGroups < 1) return;
    for (int g = 1; g < st.NbGroups; ++g) {
        PopulationGroup& group = st.Groups[g];
        for (long j = group.count - 1; j >= 0; --j) {
            st.Groups[0].Add(group.data[j]);
            group.data[j] = nullptr;
            group.Detach(static_cast<int>(j));
        }
        st.GroupSizes[g] = 0;
    }
    st.NbGroups = 1;
    st.GroupSizes[0] = st.NbSamplesInGroups;
}

bool stop_asked(settings const& s) { return s.stopFlag != 0; }

void progress(char const* text) {
    settings::message = text;
    settings::print_message();
}

// The observed values of the loci.
struct ObservedLoci {
    std::vector<double> fst, het, fct;
    double meanFst = 0.0;
    double meanFct = 0.0;
};

void rule(std::ostream& os, char c, int n) { os << std::string(static_cast<std::size_t>(n), c); }

}  // namespace

bool Project::detectSelectedLociFromFSTHetComparison(bool useHierarchicalModel) {
    settings& s = options;
    progress("Detecting loci under selection ...");
    ScanScope scope(*this);
    std::ostream& log = scope.log();
    std::ostream& result = scope.result();

    allele_db.create_pop_freq_vector(static_cast<int>(samples->Populations.count));
    allele_db.create_group_freq_vector(structure->NbGroups);
    computeMeanHeterozygosityOverSamplesInStructure(*samples, *structure);

    const int L = static_cast<int>(allele_db.loci.count);
    if (L < 10) {
        char text[128];
        std::snprintf(text, sizeof text, "\tThe input file contains information on only %d loci!\n", L);
        both(log, result, text, "\tDetecting outlier loci is not possible when fewer than 10 loci are available\n");
        return true;
    }
    settings::global_work_done += L;
    settings::print_message();
    if (stop_asked(s)) return true;

    s.TaskNumber = task_amova;
    s.LocByLocAMOVA = 1;
    s.HaplAMOVA = 0;
    s.NumPermutationsAMOVA = 0;
    s.ComputeConventionalFST = 0;
    s.ComputeDistanceMatrixAMOVA = 1;
    if (!useHierarchicalModel) pool_into_first_group(*structure);

    auto copy = std::make_unique<Structure>(*structure);
    GenStructCalculations(&scope.muted());

    // Observed FST and heterozygosity between populations, and the targets.
    const bool groups = structure->NbGroups >= 2;
    ObservedLoci obs;
    double sumHet = 0.0;
    double sumFst = 0.0;
    double sumFct = 0.0;
    for (int l = 0; l < L; ++l) {
        TLocus const& locus = *allele_db.loci.data[l];
        const double fst = locus.values[locus_FST];
        double het = 1.0;
        if (fst != 1.0 && fst != kFailedLocus) het = locus.meanSampleHet / (1.0 - fst);
        obs.fst.push_back(fst);
        obs.het.push_back(het);
        if (fst != kFailedLocus) {
            sumHet += het;
            sumFst += fst * het;
        }
        if (groups) {
            const double fct = locus.values[locus_FCT];
            if (fct != kFailedLocus && fst != kFailedLocus) sumFct += fct * het;
            obs.fct.push_back(fct);
        }
        if ((l + 1) % 10 == 0) {
            settings::print_message();
            if (stop_asked(s)) return true;
        }
    }
    if (sumHet != 0.0) {
        obs.meanFst = sumFst / sumHet;
        obs.meanFct = sumFct / sumHet;
    }
    if (obs.meanFst >= 1.0 || obs.meanFst <= 0.0 || (groups && (obs.meanFct >= 1.0 || obs.meanFct <= 0.0))) {
        both(log, result,
             "\tObserved F-statistics lead to invalid migration rates. Coalescent simulations cannot be performed.\n",
             "Perform a simple AMOVA to check that all F-statistics are within the interval ]0..1[\n");
        return true;
    }

    // The simulations run on a scratch set and a copy of the structure.
    auto scratch = std::make_unique<Samples>();
    static_cast<ProfileSettings&>(*scratch) = static_cast<ProfileSettings const&>(*samples);
    scratch->NbHaplotypes = samples->NbHaplotypes;
    scratch->set_data_context(samples->dataType, samples->locusSeparator);
    static_cast<ProfileSettings&>(*copy) = static_cast<ProfileSettings const&>(*structure);
    scope.enter_simulations(std::move(scratch), std::move(copy));
    s.TaskNumber = task_amova;
    s.HaplAMOVA = 1;
    s.LocByLocAMOVA = 0;
    NullInputs in;
    in.fst = obs.meanFst;
    in.fct = obs.meanFct;
    in.observed = scope.observed_samples();
    in.tested = scope.tested_structure();
    in.muted = &scope.muted();
    in.result = &result;
    in.log = &log;
    NullDistribution nd = simulate_null_distribution(*this, in);
    if (nd.refused) return false;
    if (nd.stopped || !nd.pValues) return true;

    // --- P values and tables ---------------------------------------------
    Structure& tested = *in.tested;
    const bool finite = tested.NbGroups < 2;
    const int width = finite ? 53 : 84;
    std::ofstream obsOut((std::string(s.ResultFolder.c_str()) + "fdist2_ObsOut.txt").c_str());
    result << "-------------------------\n"
           << "Tested Genetic Structure:\n"
           << "-------------------------\n\n"
           << "No. of groups : " << tested.NbGroups << "\n\n"
           << tested << "\n-------------------------\n\n";
    TXmlTag pvalueTag("detSel_FStat_Pval");
    if (xmlOutput) result << pvalueTag.open() << "\n";
    result.setf(std::ios::right, std::ios::adjustfield);
    char const* heads[] = {"Locus", "Obs. Het. BP", "Obs. FST", "FST P-value", "1-FST quantile"};
    const int headWidths[] = {8, 15, 15, 20, 20};
    if (finite) {
        result << "--------------------\n"
               << "Finite island model:\n"
               << "--------------------\n"
               << "No. of simulated demes:       " << std::setw(8) << s.NumberOfDemesForFDist2 << "\n"
               << "No. of coalescent simulations performed: " << std::setw(8) << s.NumberOfSimsForFDist2
               << "\n\n";
    } else {
        result << "--------------------------\n"
               << "Hierarchical island model:\n"
               << "--------------------------\n"
               << "No. of simulated groups:                 " << std::setw(8)
               << std::max(s.NumberOfGroupsForFDist2, tested.NbGroups) << "\n"
               << "No. of simulated demes per groups:       " << std::setw(8) << s.NumberOfDemesForFDist2 << "\n"
               << "No. of coalescent simulations performed: " << std::setw(8) << s.NumberOfSimsForFDist2
               << "\n\n";
    }
    rule(result, '=', width);
    result << "\n";
    for (int h = 0; h < 5; ++h) result << std::setw(headWidths[h]) << heads[h];
    result << (finite ? "\t(if P-value=2 -> uncomputed value due to Obs.Het.BP out. of simulated bounds)\n"
                      : "\t(if P-value=2 -> uncomputed value due to Obs.Het.BP out of simulated bounds)\n");
    rule(result, '=', width);
    result << "\n";
    obsOut << "Locus\tObs. Het. BP\tObs FST\tFST P-value\t1-FST quantile\t(if P-value=2 -> uncomputed value because "
              "Obs.Het.BP is out of simulated bounds)\n";

    const double levels[] = {0.001, 0.005, 0.01, 0.025, 0.05};
    int below[5] = {};
    int above[5] = {};
    int tested_loci = 0;
    const bool batch = _DETECT_SELECTION_ != 0;
    for (int i = 1; i <= L; ++i) {
        settings::global_work_done += 1;
        if (i % 10 == 0) {
            settings::print_message();
            if (stop_asked(s)) return true;
        }
        double fst = obs.fst[static_cast<std::size_t>(i - 1)];
        const double het = obs.het[static_cast<std::size_t>(i - 1)];
        double quantile = -1.0;
        double P = -1.0;
        if (het != 0.0) {
            P = calcFSTpvalue4(fst, nd.het, nd.fst, 0.025, het, 0.04, 200, quantile);
            // Outside the simulated range there is nothing to compare with.
            if (P == 0.0) P = het > nd.maxHetAbove || het < nd.minHet ? 2.0 : 1e-7;
        }
        if (fst != kFailedLocus && batch && het != 0.0) {
            for (int k = 0; k < 5; ++k) {
                if (fst < obs.meanFst && P <= levels[k]) ++below[k];
                if (fst > obs.meanFst && P <= levels[k]) ++above[k];
            }
            if (P < 2.0) ++tested_loci;
        }
        if (fst != kFailedLocus) {
            result.setf(std::ios::right, std::ios::adjustfield);
            result.setf(std::ios::fixed, std::ios::floatfield);
            result << std::setprecision(8) << std::setw(8) << i << std::setw(15) << het << std::setw(15) << fst;
            result.setf(std::ios::scientific, std::ios::floatfield);
            if (finite && P >= 2.0) {
                result << std::setw(20) << "2";
            } else {
                result << std::setw(20) << P;
            }
            result << std::setw(20) << quantile << "\n";
            result.setf(std::ios::fixed, std::ios::floatfield);
            obsOut << i << "\t" << het << "\t" << fst;
            if (finite && P >= 2.0) {
                obsOut << "\t2\n";
            } else {
                obsOut << "\t" << P << "\t" << std::setprecision(8) << quantile << "\n";
            }
        }
        char text[128];
        std::snprintf(text, sizeof text, "Detecting loci under selection: Calculating pValue of %i/%i locus ... ", i,
                      L);
        progress(text);
    }
    rule(result, '=', width);
    result << "\n\n";
    if (xmlOutput) result << pvalueTag.close() << "\n";

    // Quantiles of the null distribution along the simulated range.
    TXmlTag quantileTag("detSel_FST_CI");
    if (xmlOutput) result << quantileTag.open() << "\n";
    rule(result, '-', 94);
    result << "\n" << std::right << std::setw(10) << "Het. BP." << std::setw(60) << "FST null distribution quantiles"
           << "\n"
           << std::setw(15) << "-";
    rule(result, '-', 79);
    result << "\n" << std::setw(22) << "0.01";
    for (char const* level : {"0.05", "0.10", "0.50", "0.90", "0.95", "0.99"}) result << std::setw(12) << level;
    result << "\n" << std::setw(95) << std::string(91, '-') << "\n";
    MY_TArrayAsVector<double> ciLevels(8, 1);
    for (double level : {0.01, 0.05, 0.1, 0.5, 0.9, 0.95, 0.99}) ciLevels.Add(level);
    MY_TArrayAsVector<double> quantiles(8, 8);
    const double step = (nd.maxHet - nd.minHet) / 19.0;
    result.setf(std::ios::fixed, std::ios::floatfield);
    result << std::setprecision(6);
    for (int row = 0; row < 20; ++row) {
        const double h = nd.minHet + row * step;
        quantiles.count = 0;
        calcCILimits(nd.het, nd.fst, 0.025, h, 0.04, 400, ciLevels, quantiles);
        result << std::setw(10) << h;
        for (long q = 0; q < quantiles.count; ++q) {
            if (quantiles[q] <= 1.0) {
                result << std::setw(12) << quantiles[q];
            } else {
                result << "            ";
            }
        }
        result << "\n";
    }
    rule(result, '-', 94);
    result << "\n\n";
    if (xmlOutput) result << quantileTag.close() << "\n";
    result << "Additional results can be found in files \"fdist2_ObsOut.txt\" and  \"fdist2_simOut.txt\"\n"
           << "File \"fdist2_ObsOut.txt\" contains observed F-statistics and their associated p-values\n"
           << "File \"fdist2_simOut.txt\" contains all simulated heterozygosities and F-statistics\n"
           << "These files can be used to produce graphical representations of observed  vs. simulated data\n\n";
    progress("Detecting loci under selection: done ... ");
    obsOut.close();

    if (batch && ofs_selection_res != nullptr) {
        std::ostream& out = *ofs_selection_res;
        out << settings::input_file << "\t" << s.NumberOfSimsForFDist2 << "\t" << tested_loci;
        for (int k : below) out << "\t" << k;
        for (int k : above) out << "\t" << k;
        out << std::endl;
    }
    return true;
}

}  // namespace quintle
