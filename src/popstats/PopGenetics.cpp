#include "popstats/PopGenetics.h"

#include <algorithm>
#include <new>

#include "popstats/gene_diversity.h"
#include "popstats/tajima.h"
#include "popstats/theta_estimators.h"

namespace quintle {

namespace {

template <class T>
void empty_array(MY_TArrayAsVector<T>& a) {
    a.count = 0;
    a.auxCount = 0;
}

template <std::size_t N>
void copy_quantiles(double (&to)[N], double const (&from)[N]) {
    std::copy(from, from + N, to);
}

}  // namespace

PopGenetics::PopGenetics() { initialize(); }

PopGenetics::PopGenetics(PopGenetics const& other)
    : Population(other),
      arbitraryHaplotype(other.arbitraryHaplotype),
      lastExpMismatchClass(other.lastExpMismatchClass),
      locusGeneCopies(other.locusGeneCopies),
      locusNumAlleles(other.locusNumAlleles),
      locusObsHet(other.locusObsHet),
      locusExpHet(other.locusExpHet),
      locusAllelicRange(other.locusAllelicRange),
      locusGarzaWilliamson(other.locusGarzaWilliamson),
      locusModifiedGW(other.locusModifiedGW),
      locusMinAlleleSize(other.locusMinAlleleSize),
      locusMaxAlleleSize(other.locusMaxAlleleSize),
      locusMeanAlleleSize(other.locusMeanAlleleSize) {
    copy_results_from(other);
    copy_owned_arrays_from(other);
    numSimMutations = other.numSimMutations;

    mismatchMean = other.mismatchMean;
    mismatchVar = other.mismatchVar;
    mismatchTheta0 = other.mismatchTheta0;
    mismatchTau = other.mismatchTau;
    mismatchRaggedness = other.mismatchRaggedness;
    mismatchChi2 = other.mismatchChi2;
    mismatchChi2P = other.mismatchChi2P;
    mismatchChi2Df = other.mismatchChi2Df;

    meanHet = other.meanHet;
    meanHetSd = other.meanHetSd;
    meanAllelicRange = other.meanAllelicRange;
    meanAllelicRangeSd = other.meanAllelicRangeSd;
    meanGW = other.meanGW;
    meanGWSd = other.meanGWSd;
    meanModifiedGW = other.meanModifiedGW;
    meanModifiedGWSd = other.meanModifiedGWSd;
    meanNumAlleles = other.meanNumAlleles;
    meanNumAllelesSd = other.meanNumAllelesSd;
    meanGeneCopies = other.meanGeneCopies;
    meanGeneCopiesSd = other.meanGeneCopiesSd;

    demTau = other.demTau;
    demTheta0 = other.demTheta0;
    demTheta1 = other.demTheta1;
    demSSD = other.demSSD;
    demSSDP = other.demSSDP;
    demRaggedness = other.demRaggedness;
    demRaggednessP = other.demRaggednessP;
    copy_quantiles(demTauQuantiles, other.demTauQuantiles);
    copy_quantiles(demTheta0Quantiles, other.demTheta0Quantiles);
    copy_quantiles(demTheta1Quantiles, other.demTheta1Quantiles);

    spaTau = other.spaTau;
    spaTheta = other.spaTheta;
    spaM = other.spaM;
    spaSSD = other.spaSSD;
    spaSSDP = other.spaSSDP;
    spaRaggedness = other.spaRaggedness;
    spaRaggednessP = other.spaRaggednessP;
    copy_quantiles(spaTauQuantiles, other.spaTauQuantiles);
    copy_quantiles(spaThetaQuantiles, other.spaThetaQuantiles);
    copy_quantiles(spaMQuantiles, other.spaMQuantiles);
}

PopGenetics& PopGenetics::operator=(PopGenetics const& other) {
    if (this == &other) return *this;
    Population::operator=(other);
    copy_results_from(other);
    copy_owned_arrays_from(other);
    numSimMutations = other.numSimMutations;
    return *this;
}

PopGenetics::~PopGenetics() {
    // The per-site hit counts belong to the tree being simulated; a sample
    // that simulated leaves them empty for the next one.
    if (tree.allocated()) {
        TNode::hits.count = 0;
        TNode::hits.auxCount = 0;
    }
}

void PopGenetics::initialize() {
    Population::initialize();
    contTable.clear();
    reset_results();
}

void PopGenetics::reset_results() {
    numPolymorphicSites = 0;
    tajimaD = 0.0;
    tajimaP = -1.0;
    fuFs = 0.0;
    fuFsP = -1.0;
    sumSquaredFreq = 0.0;
    thetaK = thetaKLow = thetaKHigh = -1.0;
    thetaS = thetaSsd = -1.0;
    thetaHom = thetaHomSd = -1.0;
    thetaPi = thetaPiSd = -1.0;
    computeSlatkinTest = 1;
    homozygosity = -1.0;
    geneDiversity = -1.0;
    geneDiversitySd = 0.0;
    slatkinExactP = -1.0;
    ewObservedF = ewExpectedF = ewProbF = -1.0;
    chakrabortyP = -1.0;
    slatkinObsStat = 0.0;

    arbitraryHaplotype = HaploDef();
    missingFreqPerSite.clear();
    allowedMissingLevel = 0.0;
    usableSite.clear();
    numUsableSites = 0;
    numLoci = 0;
    maxPairwiseDistance = 0;
    lastExpMismatchClass = 0;
    distMat.reset();
    numSimMutations = 0;
    meanPairwiseDiff = 0.0;
    meanPairwiseDiffSd = 0.0;
    genotSample.reset();

    mismatchMean = mismatchVar = mismatchTheta0 = mismatchTau = 0.0;
    mismatchRaggedness = mismatchChi2 = mismatchChi2P = 0.0;
    mismatchChi2Df = 0;
    mismatchObs.clear();
    mismatchExp.clear();

    empty_array(locusGeneCopies);
    empty_array(locusNumAlleles);
    empty_array(locusObsHet);
    empty_array(locusExpHet);
    empty_array(locusAllelicRange);
    empty_array(locusGarzaWilliamson);
    empty_array(locusModifiedGW);
    empty_array(locusMinAlleleSize);
    empty_array(locusMaxAlleleSize);
    empty_array(locusMeanAlleleSize);

    meanHet = meanHetSd = 0.0;
    meanAllelicRange = meanAllelicRangeSd = 0.0;
    meanGW = meanGWSd = 0.0;
    meanModifiedGW = meanModifiedGWSd = 0.0;
    meanNumAlleles = meanNumAllelesSd = 0.0;
    meanGeneCopies = meanGeneCopiesSd = 0.0;

    expNumAlleles = 0.0;
    probKOrMoreAlleles = -1.0;

    demTau = demTheta0 = demTheta1 = demSSD = demSSDP = demRaggedness = demRaggednessP = 0.0;
    std::fill(std::begin(demTauQuantiles), std::end(demTauQuantiles), 0.0);
    std::fill(std::begin(demTheta0Quantiles), std::end(demTheta0Quantiles), 0.0);
    std::fill(std::begin(demTheta1Quantiles), std::end(demTheta1Quantiles), 0.0);
    spaTau = spaTheta = spaM = spaSSD = spaSSDP = spaRaggedness = spaRaggednessP = 0.0;
    std::fill(std::begin(spaTauQuantiles), std::end(spaTauQuantiles), 0.0);
    std::fill(std::begin(spaThetaQuantiles), std::end(spaThetaQuantiles), 0.0);
    std::fill(std::begin(spaMQuantiles), std::end(spaMQuantiles), 0.0);

    numPrivateSubstSites = 0;
}

// The members that assignment carries over besides the owned arrays.
void PopGenetics::copy_results_from(PopGenetics const& other) {
    numPolymorphicSites = other.numPolymorphicSites;
    tajimaD = other.tajimaD;
    tajimaP = other.tajimaP;
    fuFs = other.fuFs;
    fuFsP = other.fuFsP;
    sumSquaredFreq = other.sumSquaredFreq;
    thetaK = other.thetaK;
    thetaKLow = other.thetaKLow;
    thetaKHigh = other.thetaKHigh;
    thetaS = other.thetaS;
    thetaSsd = other.thetaSsd;
    thetaHom = other.thetaHom;
    thetaHomSd = other.thetaHomSd;
    thetaPi = other.thetaPi;
    thetaPiSd = other.thetaPiSd;
    computeSlatkinTest = other.computeSlatkinTest;
    homozygosity = other.homozygosity;
    geneDiversity = other.geneDiversity;
    geneDiversitySd = other.geneDiversitySd;
    slatkinExactP = other.slatkinExactP;
    ewObservedF = other.ewObservedF;
    ewExpectedF = other.ewExpectedF;
    ewProbF = other.ewProbF;
    chakrabortyP = other.chakrabortyP;
    slatkinObsStat = other.slatkinObsStat;
    allowedMissingLevel = other.allowedMissingLevel;
    numUsableSites = other.numUsableSites;
    numLoci = other.numLoci;
    meanPairwiseDiff = other.meanPairwiseDiff;
    meanPairwiseDiffSd = other.meanPairwiseDiffSd;
    expNumAlleles = other.expNumAlleles;
    probKOrMoreAlleles = other.probKOrMoreAlleles;
    maxPairwiseDistance = other.maxPairwiseDistance;
    numPrivateSubstSites = other.numPrivateSubstSites;
}

// Per-site arrays, mismatch arrays and distance matrix: copies of the
// source's (none where the source has none). The copies are made before
// anything of this object is released, so a failure leaves no half state.
void PopGenetics::copy_owned_arrays_from(PopGenetics const& other) {
    try {
        std::vector<double> missing(other.missingFreqPerSite);
        std::vector<int> usable(other.usableSite);
        decltype(mismatchObs) obs(other.mismatchObs);
        std::vector<double> expected(other.mismatchExp);
        std::unique_ptr<RectMat> matrix;
        if (other.distMat) matrix = std::make_unique<RectMat>(*other.distMat);
        missingFreqPerSite = std::move(missing);
        usableSite = std::move(usable);
        mismatchObs = std::move(obs);
        mismatchExp = std::move(expected);
        distMat = std::move(matrix);
    } catch (std::bad_alloc const&) {
        missingFreqPerSite.clear();
        usableSite.clear();
        mismatchObs.clear();
        mismatchExp.clear();
        distMat.reset();
        arrayMemoryFailure("PopGenetics::operator=(const PopGenetics& P)");
    }
}

void PopGenetics::test_methods(settings&) {}

void PopGenetics::clean_bnum() { BMat.re_allocate_matrix(5, 5); }

int PopGenetics::check_data() { return 0; }

int PopGenetics::compute_distance_matrix(std::fstream*, settings*, int) { return 0; }

int PopGenetics::evaluate_polymorphism(settings const&) { return 0; }

// --- diversity indices and theta estimators ----------------------------------

std::vector<double> PopGenetics::haplotype_counts() const {
    std::vector<double> counts;
    counts.reserve(static_cast<std::size_t>(haplotypes.count));
    for (long i = 0; i < haplotypes.count; ++i) {
        PHaploDef const* entry = haplotypes.data[i];
        if (entry != nullptr) counts.push_back(static_cast<double>(entry->count));
    }
    return counts;
}

DiversityFields PopGenetics::diversity_fields() {
    return DiversityFields{sumSquaredFreq, homozygosity, geneDiversity, geneDiversitySd,
                           thetaHom,       thetaHomSd,   ewObservedF};
}

namespace {

std::vector<double> list_values(AHaplFreqList const& list) {
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(list.count));
    for (long i = 0; i < list.count; ++i) {
        AHaplFreq const* record = list.data[i];
        if (record != nullptr) values.push_back(record->relFreq);
    }
    return values;
}

}  // namespace

double* PopGenetics::calc_sample_homozygosity() {
    ::quintle::calc_sample_homozygosity(haplotype_counts(), SampleSize, NbHaplotypeEntries, diversity_fields());
    return &homozygosity;
}

double* PopGenetics::calc_F() {
    sumSquaredFreq = ::quintle::calc_F(haplotype_counts(), SampleSize);
    return &sumSquaredFreq;
}

double* PopGenetics::calc_sample_sd_heterozygosity() {
    ::quintle::calc_sample_sd_heterozygosity(haplotype_counts(), SampleSize, sumSquaredFreq, geneDiversitySd);
    return &geneDiversitySd;
}

double* PopGenetics::calc_theta_Hom() {
    ::quintle::calc_theta_Hom(haplotype_counts(), SampleSize, NbHaplotypeEntries, diversity_fields());
    return &thetaHom;
}

double PopGenetics::calc_theta_Hom(AHaplFreqList const& list) {
    return ::quintle::calc_theta_Hom(list_values(list), haplotype_counts(), SampleSize, diversity_fields());
}

void PopGenetics::calc_F(AHaplFreqList const& list) { ewObservedF = ::quintle::calc_F(list_values(list), SampleSize); }

double PopGenetics::calc_sample_homozygosity(AHaplFreqList const& list) {
    return ::quintle::calc_sample_homozygosity(list_values(list), SampleSize, ewObservedF);
}

double* PopGenetics::theta_S(int const& n, int const& S) {
    ::quintle::theta_S(n, S, thetaS, thetaSsd);
    return &thetaS;
}

double* PopGenetics::theta_pi(double const& pi) {
    ::quintle::theta_pi(pi, SampleSize, thetaPi, thetaPiSd);
    return &thetaPi;
}

double PopGenetics::k_est(double const& theta, int const& n) {
    expNumAlleles = ::quintle::k_est(theta, n);
    return expNumAlleles;
}

double* PopGenetics::theta_k(int const& n, int const& k, double const& alpha) {
    ::quintle::theta_k(n, k, alpha, ThetaKFields{thetaK, thetaKLow, thetaKHigh, expNumAlleles}, BMat,
                       _B_num_exist);
    return &thetaK;
}

double PopGenetics::proba_exactly_k(int const& k, int const& n, double const& theta) {
    return ::quintle::proba_exactly_k(k, n, theta, BMat);
}

long double PopGenetics::proba_less_than_k(int const& k, int const& n, double const& theta) {
    return ::quintle::proba_less_than_k(k, n, theta, BMat);
}

int PopGenetics::get_B_num_mat() { return ::quintle::get_B_num_mat(BMat, _B_num_exist); }

// --- Tajima's D and Fu's Fs ------------------------------------------------

double* PopGenetics::calc_tajimaD(int const& n, double const& pi, double const& S) {
    ::quintle::tajimaD(n, pi, S, tajimaD, tajimaP);
    return &tajimaD;
}

double* PopGenetics::fast_tajimaD(int const& n, double const& pi, double const& S) {
    ::quintle::fast_tajimaD(n, pi, S, tajimaD, tajimaP);
    return &tajimaD;
}

FuFsOutcome PopGenetics::Fu_Fs(double const& theta, int const& k, double& Fs, bool report, int* refusal) {
    return ::quintle::Fu_Fs(theta, k, SampleSize, Fs, report, BMat, _B_num_exist, refusal);
}

double PopGenetics::Tajima_D_density(double const& alpha, double const& beta, double const& Dmin,
                                     double const& Dmax, double const& D) {
    return ::quintle::Tajima_D_density(alpha, beta, Dmin, Dmax, D);
}

}  // namespace quintle
