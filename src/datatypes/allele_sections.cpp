#include "datatypes/allele_sections.h"

#include <iomanip>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/driver_output.h"
#include "popstats/PopGenetics.h"
#include "run/settings.h"

namespace quintle {

namespace {

std::ostream& means(std::ostream& out, double value, double sd) {
    set_fixed(out, 6) << std::setw(12) << value << " +/- " << std::setw(12) << sd;
    return out;
}

}  // namespace

// --- molecular diversity ---------------------------------------------------------

AlleleDiversityResult allele_diversity_step(AlleleSample const& a, settings& s, AlleleDiversityArgs const& args) {
    PopGenetics& p = a.p;
    AlleleDiversityResult r;
    r.computed = args.compute;
    if (args.compute) {
        EchoCapture echo;
        *_AOS_ << "\tComputing molecular diversity...\n";
        a.use_distance(0);
        p.compute_distance_matrix(nullptr, &s, 0);
        a.computeMolecularDiversity(s);
        r.echo = echo.take();
        r.method = a.distanceMethod != nullptr ? *a.distanceMethod : 0;
        r.showMeanPairwise = args.haplotypicOrPhased;
        r.meanPairwiseDiff = *a.meanPairwiseDiff;
        r.meanPairwiseDiffSd = *a.meanPairwiseDiffSd;
        r.piPerSite = *a.piPerSite;
        r.piPerSiteSd = *a.piPerSiteSd;
    }
    r.sampleSize = p.SampleSize;
    r.numHaplotypes = p.NbHaplotypeEntries;
    r.numOriginal = p.NbHaplotypeEntriesRead;
    r.showOriginal = args.showOriginal;
    r.allowedMissing = p.allowedMissingLevel;
    r.numPolymorphicSites = p.numPolymorphicSites;
    r.numUsableSites = p.numUsableSites;
    return r;
}

void write_microsat_diversity(std::ostream& out, AlleleDiversityResult const& r,
                              std::function<void()> const& distanceTables) {
    out << r.echo;
    out << "Sample size                         : " << r.sampleSize << "\n"
        << "No. of haplotypes                   : " << r.numHaplotypes << "\n";
    if (r.showOriginal) out << "No. of original haplotypes in sample         : " << r.numOriginal;
    out << "\nAllowed level of missing data       : " << r.allowedMissing * 100.0 << " %"
        << "\nNumber of usable loci               : " << r.numUsableSites << "\n"
        << "\n";
    out << "\nDistance method                     : "
        << (r.method == 1 ? "Sum of squared size difference" : "No. of different alleles");
    if (distanceTables) distanceTables();
    if (r.showMeanPairwise) means(out << "\nMean number of pairwise differences : ", r.meanPairwiseDiff, r.meanPairwiseDiffSd) << "\n";
    means(out << "\nAverage gene diversity over loci    : ", r.piPerSite, r.piPerSiteSd)
        << "\n\n"
        << "(Standard deviations are for both the sampling and the stochastic processes)"
        << "\n";
}

void write_standard_diversity_counts(std::ostream& out, AlleleDiversityResult const& r) {
    out << r.echo;
    out << "Sample size                                  : " << r.sampleSize << "\n"
        << "No. of haplotypes                            : " << r.numHaplotypes << "\n";
    if (r.showOriginal) out << "No. of original haplotypes in sample         : " << r.numOriginal;
    out << "\nAllowed level of missing data                : " << r.allowedMissing * 100.0 << " %"
        << "\nNumber of polymorphic loci                   : " << r.numPolymorphicSites
        << "\nNumber of usable loci                        : " << r.numUsableSites << "\n"
        << std::endl;
}

void write_standard_diversity_means(std::ostream& out, AlleleDiversityResult const& r) {
    if (r.showMeanPairwise)
        means(out << "\nMean number of pairwise differences           : ", r.meanPairwiseDiff, r.meanPairwiseDiffSd)
            << "\n";
    means(out << "\nAverage gene diversity over loci              : ", r.piPerSite, r.piPerSiteSd)
        << "\n\n"
        << "(Standard deviations are for both sampling and stochastic processes)" << std::endl;
}

void write_allele_diversity_batch_head(std::ostream& b, AlleleDiversityResult const& r) {
    b.precision(3);
    b << "none\tnone\tnone\t" << r.allowedMissing << "\tnone\tnone\tnone\tnone\t" << r.numPolymorphicSites
      << "\tnone\t" << r.numUsableSites << "\t";
}

void write_allele_diversity_batch_tail(std::ostream& b, AlleleDiversityResult const& r) {
    set_fixed(b, 6);
    if (r.computed)
        b << r.meanPairwiseDiff << "\t" << r.piPerSite << "\n";
    else
        b << "none\tnone\n";
}

// --- theta estimators ------------------------------------------------------------

namespace {

void theta_line(std::ostream& out, char const* label, double value) {
    out << std::setw(20) << label;
    set_fixed(out, 6) << std::setw(12) << value;
}

}  // namespace

void write_microsat_theta(std::ostream& out, ThetaResult const& r) {
    if ((r.computeTheta & 15) != 0) out << "\nUnable to compute some theta values for microsatellite data type\n";
    if (r.allDifferent) {
        if ((r.computeTheta & 1) != 0) out << "\nUnable to compute theta(Hom) when all gene copies are different\n";
    } else if (r.hom) {
        out << "\nInfinite allele model:\n\n";
        theta_line(out, "Theta(Hom) : ", r.thetaHom);
        out << "\n";
        theta_line(out, "S.D. Theta(Hom) : ", r.thetaHomSd);
        out << "\n";
    }
    out << r.echoBeforeK << r.echoAfter;
}

void write_microsat_theta_batch(std::ostream& b, my_string const& sampleName, double thetaHom) {
    write_batch_head(b, sampleName);
    b.precision(6);
    // Each sample's line ends here, as the DNA lines do.
    b << thetaHom << "\t(Hom)\t\n";
}

void write_standard_theta(std::ostream& out, ThetaResult const& r) {
    if (r.allDifferent) {
        out << "\nUnable to compute theta(Hom) and theta(k) when all gene copies are different" << std::endl;
        out << r.echoBeforeK << r.echoAfter;
    } else {
        // theta(S) and theta(pi) are refused below, never computed.
        ThetaResult shown = r;
        shown.s = shown.pi = false;
        write_theta(out, shown);
    }
    if ((r.computeTheta & 2) != 0) out << "\nUnable to compute theta(S) for standard data type " << std::endl;
    if ((r.computeTheta & 8) != 0) out << "\nUnable to compute theta(Pi) for standard data type " << std::endl;
}

// --- mismatch distribution --------------------------------------------------------

AlleleMismatchResult allele_mismatch_step(AlleleSample const& a, settings& s, SampleDriverState& st, int method) {
    PopGenetics& p = a.p;
    EchoCapture echo;
    if (!st.polymorphismEvaluated) {
        p.evaluate_polymorphism(s);
        st.polymorphismEvaluated = true;
    }
    AlleleMismatchResult r;
    *_AOS_ << "\tComputing mismatch distribution...\n";
    r.started = get_sys_clock();
    a.use_distance(method);
    p.compute_distance_matrix(nullptr, &s, 0);
    // A refused matrix leaves none and a maximum of 0, which the distribution
    // would take for identical gene copies: say that it is missing.
    if (!p.distMat && p.maxPairwiseDistance <= 0)
        E.error(ERROR, "PopGenetics::compute_mm_distr(ofstream ofs)", Msg::m122_no_distance_matrix);
    std::fstream unattached;  // the pair listing reaches no file
    p.compute_mm_distr(unattached, s);

    r.sampleSize = p.SampleSize;
    r.lastExpClass = p.lastExpMismatchClass;
    r.maxPairwiseDistance = p.maxPairwiseDistance;
    r.observed = p.mismatchObs;
    r.expected = p.mismatchExp;
    r.mean = p.mismatchMean;
    r.variance = p.mismatchVar;
    r.theta0 = p.mismatchTheta0;
    r.tau = p.mismatchTau;
    r.raggedness = p.mismatchRaggedness;
    r.chi2 = p.mismatchChi2;
    r.chi2P = p.mismatchChi2P;
    r.chi2Df = p.mismatchChi2Df;
    r.echo = echo.take();
    return r;
}

namespace {

void write_mismatch_rows(std::ostream& out, AlleleMismatchResult const& r) {
    out << std::setw(8) << "#Diff." << std::setw(8) << "Count" << std::setw(12) << "Exp. Count"
        << "\n"
        << std::setw(8) << "------" << std::setw(8) << "-----" << std::setw(12) << "----------"
        << "\n";
    const int last = r.lastExpClass >= 1 ? r.lastExpClass : r.maxPairwiseDistance;
    if (last != 0 && !r.observed.empty() && !r.expected.empty()) {
        const int rows = std::min<long>(last, static_cast<long>(std::min(r.observed.size(), r.expected.size())) - 1);
        for (int i = 0; i <= rows; ++i) {
            const auto k = static_cast<std::size_t>(i);
            out << std::setw(8) << i << std::setw(8) << r.observed[k];
            set_fixed(out, 3) << std::setw(12) << r.expected[k] << "\n";
        }
    } else {
        const double n = r.sampleSize;
        out << std::setw(8) << 0 << std::setw(8) << static_cast<long long>(n * (n - 1.0) / 2.0) << std::setw(8) << 0
            << "\n";
    }
}

}  // namespace

void write_allele_mismatch(std::ostream& out, AlleleMismatchResult const& r) {
    out << r.echo;
    write_mismatch_rows(out, r);
    out << "\n\nMismatch observed mean              : ";
    set_fixed(out, 3) << std::setw(12) << r.mean;
    out << "\nMismatch observed variance          : " << std::setw(12) << r.variance;
    if (r.mean > r.variance || r.variance <= 1e-7) {
        out << "\n\nImposible to estimate the parameters of the sudden expansion model of Rogers 1995\n"
            << "using the current observed mismatch distribution\n";
    } else {
        out << "\n\nParameters estimated under the sudden expansion model of Rogers 1995\n"
            << "\nTheta_0                             : " << std::setw(12) << r.theta0
            << "\nTau                                 : " << std::setw(12) << r.tau
            << "\nHarpending's Raggedness index       : " << std::setw(12) << r.raggedness;
        if (r.chi2Df == 0) {
            out << "\n\nImpossible to perform a test of goodness of fit between observed "
                << "\nand expected mismatch counts : Expected distribution could not be computed";
        } else {
            out << "\n\nTest of goodness of fit between observed and expected mismatch counts \n"
                << "\nChi2 value                          : " << std::setw(15) << r.chi2
                << "\nP value                             : " << std::setw(15) << r.chi2P << " (" << r.chi2Df
                << " d.f.)";
        }
    }
    out << std::endl;
}

}  // namespace quintle
