#include "popstats/chakraborty.h"

#include <iomanip>
#include <ostream>

#include "core/Errors.h"
#include "popstats/PopGenetics.h"
#include "popstats/ewens_watterson.h"
#include "popstats/theta_estimators.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

ChakrabortyProbabilities chakraborty_probabilities(int k, int n, double theta, BnumMat const& table) {
    ChakrabortyProbabilities p{};
    p.probKOrMore = static_cast<double>(1.0L - proba_less_than_k(k, n, theta, table));
    p.expNumAlleles = k_est(theta, n);
    p.probExactlyK = proba_exactly_k(k, n, theta, table);
    return p;
}

// --- steps ---------------------------------------------------------------------

ChakrabortyResult chakraborty_single_haplotype() {
    *_AOS_ << "\t\tWarning: Chakraborty's test of selective neutrality cannot be performed \n"
           << "\t\twhen there is a single haplotype in the sample. Skipping task...\n"
           << std::endl;
    return {};
}

ChakrabortyResult chakraborty_step(PopGenetics& p) {
    using Outcome = ChakrabortyResult::Outcome;
    ChakrabortyResult r;
    r.k = p.NbHaplotypeEntries;
    r.n = p.SampleSize;
    if (r.k < 2) return chakraborty_single_haplotype();
    if (r.k == r.n) {
        r.outcome = Outcome::all_different;
        return r;
    }
    const bool tableReady = ensure_B_table(r.n, r.k, PopGenetics::BMat, PopGenetics::_B_num_exist);
    if (r.n >= chakraborty_max_genes || r.k >= chakraborty_max_alleles || !tableReady) {
        r.outcome = Outcome::too_large;
        return r;
    }

    p.calc_theta_Hom();
    r.probabilities = chakraborty_probabilities(r.k, static_cast<int>(r.n), p.thetaHom, PopGenetics::BMat);
    p.chakrabortyP = p.probKOrMoreAlleles = r.probabilities.probKOrMore;
    p.expNumAlleles = r.probabilities.expNumAlleles;
    r.homozygosity = p.homozygosity;
    r.outcome = Outcome::tested;
    return r;
}

ChakrabortyResult chakraborty_step(PopGenetics& p, AHaplFreqList const& list) {
    using Outcome = ChakrabortyResult::Outcome;
    ChakrabortyResult r;
    r.listForm = true;
    r.k = static_cast<int>(list.count);
    r.n = p.SampleSize;
    r.numOriginal = p.NbHaplotypeEntriesRead;
    if (r.k < 2) {
        ChakrabortyResult single = chakraborty_single_haplotype();
        single.listForm = true;
        return single;
    }
    const bool tableReady = ensure_B_table(r.n, r.k, PopGenetics::BMat, PopGenetics::_B_num_exist);
    if (r.k > chakraborty_max_alleles || r.n > chakraborty_max_genes || !tableReady) {
        r.outcome = Outcome::too_large;
        return r;
    }
    const int nInt = static_cast<int>(r.n);
    if (r.k == nInt) {
        r.outcome = Outcome::all_different;
        return r;
    }

    const double theta = p.calc_theta_Hom(list);
    r.probabilities = chakraborty_probabilities(r.k, nInt, theta, PopGenetics::BMat);
    p.probKOrMoreAlleles = r.probabilities.probKOrMore;
    p.expNumAlleles = r.probabilities.expNumAlleles;
    r.homozygosity = p.calc_sample_homozygosity(list);
    r.outcome = Outcome::tested;
    return r;
}

// --- writers -------------------------------------------------------------------

namespace {

void write_tested(std::ostream& os, ChakrabortyResult const& r) {
    ChakrabortyProbabilities const& p = r.probabilities;
    report_format(os);
    if (!r.listForm) {
        os << "No. of genes in sample       :" << std::setw(12) << r.n << "\n"
           << "No. of alleles in sample (k) :" << std::setw(12) << r.k << "\n"
           << "Observed Homozygosity        :" << std::setw(12) << r.homozygosity << "\n"
           << "Exp. No. of alleles          :" << std::setw(12) << p.expNumAlleles << "\n"
           << "P(exactly k alleles)         :" << std::setw(12) << p.probExactlyK << "\n"
           << "P(k or more alleles)         :" << std::setw(12) << p.probKOrMore << "\n"
           << std::endl;
        return;
    }
    os << "Haplotype real differences were checked before tests\n\n"
       << "No. of genes in sample                    :" << std::setw(12) << r.n << "\n"
       << "No. of original haplotypes in sample      :" << std::setw(12) << r.numOriginal << "\n"
       << "No. of different haplotypes in sample (k) :" << std::setw(12) << r.k << "\n"
       << "Obs. Homozygosity                         :" << std::setw(12) << r.homozygosity << "\n"
       << "Exp. No. of alleles                       :" << std::setw(12) << p.expNumAlleles << "\n"
       << "P(exactly k alleles)                      :" << std::setw(12) << p.probExactlyK << "\n"
       << "P(k or more alleles)                      :" << std::setw(12) << p.probKOrMore << "\n"
       << std::endl;
}

}  // namespace

void write_chakraborty(std::ostream& os, ChakrabortyResult const& r) {
    using Outcome = ChakrabortyResult::Outcome;
    switch (r.outcome) {
        case Outcome::single_haplotype:
            os << "Warning: Chakraborty's test of selective neutrality cannot be performed \n"
               << "when there is a single haplotype in the sample. Skipping task...\n"
               << std::endl;
            return;
        case Outcome::all_different:
            report_format(os);
            os << "No. of genes in sample   : " << std::setw(12) << r.n << "\n"
               << "No. of alleles in sample : " << std::setw(12) << r.k << "\n"
               << "\nThe test is impossible because all gene copies are different\n"
               << std::endl;
            return;
        case Outcome::too_large:
            if (!r.listForm)
                os << "Chakraborty neutrality test not possible with more than " << chakraborty_max_alleles
                   << " alleles or\n"
                   << "more than " << chakraborty_max_genes << " gene copy.\n"
                   << std::endl;
            else
                os << "Chakraborty neutrality test not possible with more than " << chakraborty_max_alleles
                   << " alleles or \n"
                   << "with more than " << chakraborty_max_genes << " gene copies" << std::endl;
            return;
        case Outcome::tested:
            write_tested(os, r);
            return;
    }
}

void write_chakraborty_batch(std::ostream& batch, ChakrabortyResult const& r, my_string const& sampleName) {
    if (r.outcome != ChakrabortyResult::Outcome::tested) return;
    ChakrabortyProbabilities const& p = r.probabilities;
    batch_prefix(batch, sampleName);
    batch << "\t" << static_cast<int>(r.n) << "\t" << r.k << "\t" << r.homozygosity << "\t" << p.expNumAlleles
          << "\t" << p.probExactlyK << "\t" << p.probKOrMore << "\n";
}

// --- the members ---------------------------------------------------------------

namespace {

void write_with_batch(std::ostream& os, ChakrabortyResult const& r, my_string const& sampleName) {
    write_chakraborty(os, r);
    if (r.outcome != ChakrabortyResult::Outcome::tested) return;
    if (std::ostream* batch = batch_stream(_CHAKRABORTY_, ofs_chakra)) write_chakraborty_batch(*batch, r, sampleName);
}

}  // namespace

void PopGenetics::Chakraborty_neutr_test(std::ostream& os) { write_with_batch(os, chakraborty_step(*this), name); }

void PopGenetics::Chakraborty_neutr_test(std::ostream& os, AHaplFreqList const& list) {
    write_with_batch(os, chakraborty_step(*this, list), name);
}

}  // namespace quintle
