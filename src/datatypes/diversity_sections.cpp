#include "datatypes/diversity_sections.h"

#include <iomanip>
#include <string>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/driver_output.h"
#include "popstats/PopGenetics.h"
#include "run/settings.h"

namespace quintle {

// --- standard diversity indices ------------------------------------------------

StandardDiversityTexts const dna_standard_diversity_texts = {
    "\nNo. of sequences         : ",
    "\nNo. of original \nsequences in sample      : ",
};

StandardDiversityResult standard_diversity_step(PopGenetics& p, settings& s, SampleDriverState& st,
                                                StandardDiversityArgs const& a) {
    p.check_data();
    p.evaluate_polymorphism(s);

    StandardDiversityResult r;
    r.sampleSize = static_cast<int>(p.SampleSize);
    r.numHaplotypes = p.NbHaplotypeEntries;
    r.numOriginal = p.NbHaplotypeEntriesRead;
    r.showHaplotypes = a.haplotypicOrPhased;
    r.showOriginal = a.showOriginal;
    r.allowedMissing = a.allowedMissing;
    if (p.numLoci == 0 && p.haplotypes.count > 0) {
        PHaploDef const* first = p.haplotypes.data[0];
        if (first != nullptr && first->haplotype != nullptr) {
            HaploDef const& def = *first->haplotype;
            p.numLoci = def.alleles.count > 0 ? static_cast<int>(def.alleles.count) : def.data.length();
        }
    }
    r.numLoci = p.numLoci;
    r.numUsableSites = p.numUsableSites;
    r.numPolymorphicSites = p.numPolymorphicSites;

    if (a.haplotypicOrPhased) {
        p.calc_sample_homozygosity();
        p.calc_sample_sd_heterozygosity();
        r.sumSquaredFreq = *p.calc_F();
        r.geneDiversity = p.geneDiversity;
        r.geneDiversitySd = p.geneDiversitySd;
    }
    // Also for unphased data, whose homozygosity only the batch line asks for.
    if (a.batchGeneDiversity) r.batchGeneDiversity = 1.0 - *p.calc_sample_homozygosity();
    st.dataChecked = true;
    st.polymorphismEvaluated = true;
    return r;
}

void write_standard_diversity(std::ostream& out, StandardDiversityResult const& r, StandardDiversityTexts const& t,
                              std::function<void()> const& perLocusTable) {
    out << "No. of gene copies       : " << r.sampleSize;
    if (r.showHaplotypes) out << t.haplotypes << r.numHaplotypes;
    if (r.showOriginal) out << t.original << r.numOriginal;
    out << "\nNo. of loci              : " << r.numLoci << "\nNo. of usable loci       : " << r.numUsableSites
        << " loci with less than ";
    set_fixed(out, 2) << std::setw(5) << r.allowedMissing * 100.0;
    out << " % missing data"
        << t.polymorphic << r.numPolymorphicSites << "\n";
    if (perLocusTable) perLocusTable();
    if (r.showHaplotypes) {
        out << "\nHaplotype-level computations\n"
            << "----------------------------\n"
            << "\nSum of square freqs.     : ";
        set_fixed(out, 4) << std::setw(7) << r.sumSquaredFreq;
        out << "\nGene diversity           : " << std::setw(7) << r.geneDiversity << " +/- " << std::setw(7)
            << r.geneDiversitySd << "\n\n"
            << "(Standard deviation is for the sampling process)";
    }
    out << std::endl;
}

void write_gene_diversity_batch(std::ostream& b, my_string const& sampleName, StandardDiversityResult const& r) {
    write_batch_head(b, sampleName);
    b << r.sampleSize << "\t" << r.numHaplotypes << "\t";
    if (r.showOriginal) b << r.numOriginal << "\t";
    set_fixed(b, 6) << r.numLoci << "\t" << r.numUsableSites << "\t" << r.numPolymorphicSites << "\t"
                    << r.batchGeneDiversity << "\n";
}

// --- theta estimators ------------------------------------------------------------

ThetaLog const dna_theta_log = {"\t\tComputing BMat ...", "\t\t", true,
                                "\t\t\tToo many aleles or gene copies in sample to compute Theta(k)\n"};

namespace {

void theta_k_step(PopGenetics& p, ThetaResult& r, ThetaLog const& log) {
    const int n = static_cast<int>(p.SampleSize);
    const int k = p.NbHaplotypeEntries;
    const std::clock_t start = get_sys_clock();
    *_AOS_ << log.start << "\n";
    if (PopGenetics::get_B_num_mat() == 0) {
        *_AOS_ << "\t\t\tFile 500k100.bnb not found... skipping task !\n";
        r.k = ThetaResult::K::no_table;
        return;
    }
    *_AOS_ << log.doneIndent << "done ! (" << elapsed_ms_since(start) << " ms)";
    if (log.endlAfterDone)
        *_AOS_ << std::endl;
    else
        *_AOS_ << "\n";
    r.thetaK = *p.theta_k(n, k, 0.05);
    if (k <= 999 && p.SampleSize < 5000.0) {
        r.k = ThetaResult::K::with_interval;
        r.thetaKLow = p.thetaKLow;
        r.thetaKHigh = p.thetaKHigh;
    } else {
        r.k = ThetaResult::K::without_interval;
        if (log.tooMany != nullptr) *_AOS_ << log.tooMany;
    }
}

}  // namespace

ThetaResult theta_step(PopGenetics& p, ThetaArgs const& a, ThetaLog const& log) {
    EchoCapture echo;
    ThetaResult r;
    r.computeTheta = a.computeTheta;
    r.allDifferent = p.SampleSize == static_cast<double>(p.NbHaplotypeEntries);
    if (!r.allDifferent) {
        if (a.computeTheta & 1) {
            r.hom = true;
            r.thetaHom = *p.calc_theta_Hom();
            r.thetaHomSd = p.thetaHomSd;
        }
        if ((a.computeTheta & 4) && a.haplotypicOrPhased) theta_k_step(p, r, log);
    }
    r.echoBeforeK = echo.take();
    if (a.computeTheta & 2) {
        r.s = true;
        r.thetaS = *p.theta_S(static_cast<int>(p.SampleSize), a.segregatingSites);
        r.thetaSsd = p.thetaSsd;
    }
    if (a.computeTheta & 8) {
        r.pi = true;
        r.thetaPi = *p.theta_pi(p.meanPairwiseDiff);
        r.thetaPiSd = p.thetaPiSd;
    }
    r.echoAfter = echo.take();
    return r;
}

ThetaTexts const dna_theta_texts = {nullptr, 12, false};

void write_theta(std::ostream& out, ThetaResult const& r, ThetaTexts const& t) {
    auto label = [&out](char const* text) -> std::ostream& { return out << std::setw(20) << text; };
    auto value = [&out](double v, int width = 12) -> std::ostream& { return set_fixed(out, 6) << std::setw(width) << v; };
    if (r.allDifferent) {
        if (t.allDifferent != nullptr) {
            out << t.allDifferent << std::endl;
        } else {
            if (r.computeTheta & 1)
                out << "\nUnable to compute Theta(Hom) when all gene copies are different" << std::endl;
            if (r.computeTheta & 4)
                out << "\nUnable to compute Theta(k) when all gene copies are different" << std::endl;
        }
    }
    if (r.hom) {
        out << "\n";
        label("Theta(Hom) : ");
        value(r.thetaHom) << "\n";
        label("S.D. Theta(Hom) : ");
        value(r.thetaHomSd) << std::endl;
    }
    out << r.echoBeforeK;
    if (r.k == ThetaResult::K::with_interval || r.k == ThetaResult::K::without_interval) {
        out << "\n";
        label("Theta(k) : ");
        value(r.thetaK);
        if (r.k == ThetaResult::K::with_interval) {
            out << "\n95 % confidence interval limits for theta(k) : [ ";
            value(r.thetaKLow, t.intervalWidth) << ", ";
            value(r.thetaKHigh, t.intervalWidth) << " ]";
            if (t.intervalEndl)
                out << std::endl;
            else
                out << "\n";
        }
    }
    if (r.s) {
        out << "\n";
        label("Theta(S) : ");
        value(r.thetaS) << "\n";
        label("S.D. Theta(S) : ");
        value(r.thetaSsd) << std::endl;
    }
    if (r.pi) {
        out << "\n";
        label("Theta(Pi) : ");
        value(r.thetaPi) << "\n";
        label("S.D. Theta(Pi) : ");
        value(r.thetaPiSd) << "\n";
    }
    out << r.echoAfter;
}

void write_theta_batch(std::ostream& b, my_string const& sampleName, ThetaResult const& r) {
    // The head comes with theta(Hom) only.
    if (r.hom) {
        write_batch_head(b, sampleName);
        b.precision(6);
        b << r.thetaHom << "\t(Hom)\t";
    }
    if (r.k == ThetaResult::K::with_interval) {
        b.precision(6);
        b << r.thetaK << "\t(k)\t";
    }
    if (r.s) {
        b.precision(6);
        b << r.thetaS << "\t(S)\t";
    }
    if (r.pi) {
        b.precision(6);
        b << r.thetaPi << "\t(Pi)\t";
    }
    b << "\n";
}

}  // namespace quintle
