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

namespace {

void single_haplotype_warning(std::ostream& os) {
    *_AOS_ << "\t\tWarning: Chakraborty's test of selective neutrality cannot be performed \n"
           << "\t\twhen there is a single haplotype in the sample. Skipping task...\n"
           << std::endl;
    os << "Warning: Chakraborty's test of selective neutrality cannot be performed \n"
       << "when there is a single haplotype in the sample. Skipping task...\n"
       << std::endl;
}

void all_different_block(std::ostream& os, double n, int k) {
    report_format(os);
    os << "No. of genes in sample   : " << std::setw(12) << n << "\n"
       << "No. of alleles in sample : " << std::setw(12) << k << "\n"
       << "\nThe test is impossible because all gene copies are different\n"
       << std::endl;
}

void chakraborty_batch_line(my_string const& sampleName, int n, int k, double homozygosity,
                            ChakrabortyProbabilities const& p) {
    std::ostream* batch = batch_stream(_CHAKRABORTY_, ofs_chakra);
    if (batch == nullptr) return;
    batch_prefix(*batch, sampleName);
    *batch << "\t" << n << "\t" << k << "\t" << homozygosity << "\t" << p.expNumAlleles << "\t" << p.probExactlyK
           << "\t" << p.probKOrMore << "\n";
}

}  // namespace

void PopGenetics::Chakraborty_neutr_test(std::ostream& os) {
    const int k = NbHaplotypeEntries;
    const double n = SampleSize;
    if (k < 2) {
        single_haplotype_warning(os);
        return;
    }
    if (k == n) {
        all_different_block(os, n, k);
        return;
    }
    const bool tableReady = ensure_B_table(n, k, BMat, _B_num_exist);
    if (n >= chakraborty_max_genes || k >= chakraborty_max_alleles || !tableReady) {
        os << "Chakraborty neutrality test not possible with more than " << chakraborty_max_alleles
           << " alleles or\n"
           << "more than " << chakraborty_max_genes << " gene copy.\n"
           << std::endl;
        return;
    }

    calc_theta_Hom();
    const int nInt = static_cast<int>(n);
    const ChakrabortyProbabilities p = chakraborty_probabilities(k, nInt, thetaHom, BMat);
    chakrabortyP = probKOrMoreAlleles = p.probKOrMore;
    expNumAlleles = p.expNumAlleles;

    report_format(os);
    os << "No. of genes in sample       :" << std::setw(12) << n << "\n"
       << "No. of alleles in sample (k) :" << std::setw(12) << k << "\n"
       << "Observed Homozygosity        :" << std::setw(12) << homozygosity << "\n"
       << "Exp. No. of alleles          :" << std::setw(12) << p.expNumAlleles << "\n"
       << "P(exactly k alleles)         :" << std::setw(12) << p.probExactlyK << "\n"
       << "P(k or more alleles)         :" << std::setw(12) << p.probKOrMore << "\n"
       << std::endl;
    chakraborty_batch_line(name, nInt, k, homozygosity, p);
}

void PopGenetics::Chakraborty_neutr_test(std::ostream& os, AHaplFreqList const& list) {
    const int k = static_cast<int>(list.count);
    const double n = SampleSize;
    const int nInt = static_cast<int>(n);
    if (k < 2) {
        single_haplotype_warning(os);
        return;
    }
    const bool tableReady = ensure_B_table(n, k, BMat, _B_num_exist);
    if (k > chakraborty_max_alleles || n > chakraborty_max_genes || !tableReady) {
        os << "Chakraborty neutrality test not possible with more than " << chakraborty_max_alleles
           << " alleles or \n"
           << "with more than " << chakraborty_max_genes << " gene copies" << std::endl;
        return;
    }
    if (k == nInt) {
        all_different_block(os, n, k);
        return;
    }

    const double theta = calc_theta_Hom(list);
    const ChakrabortyProbabilities p = chakraborty_probabilities(k, nInt, theta, BMat);
    probKOrMoreAlleles = p.probKOrMore;
    expNumAlleles = p.expNumAlleles;
    const double listHomozygosity = calc_sample_homozygosity(list);

    report_format(os);
    os << "Haplotype real differences were checked before tests\n\n"
       << "No. of genes in sample                    :" << std::setw(12) << n << "\n"
       << "No. of original haplotypes in sample      :" << std::setw(12) << NbHaplotypeEntriesRead << "\n"
       << "No. of different haplotypes in sample (k) :" << std::setw(12) << k << "\n"
       << "Obs. Homozygosity                         :" << std::setw(12) << listHomozygosity << "\n"
       << "Exp. No. of alleles                       :" << std::setw(12) << p.expNumAlleles << "\n"
       << "P(exactly k alleles)                      :" << std::setw(12) << p.probExactlyK << "\n"
       << "P(k or more alleles)                      :" << std::setw(12) << p.probKOrMore << "\n"
       << std::endl;
    chakraborty_batch_line(name, nInt, k, listHomozygosity, p);
}

}  // namespace quintle
