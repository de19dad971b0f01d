// One group of several samples of unphased genotypes, analysed at the level
// of gene copies: the tables of the gene-copy design, with Va tested by
// moving whole individuals (their two copies together) among the samples.
// An individual with one allele missing at the locus of a one-locus copy
// holds a lone copy, which moves among the lone copies only; so samples of
// an odd number of copies are analysed like any other.

#include "amova/Amova.h"

namespace quintle {

int Amova::AMOVA_1G_P_IH() { return run_design_step(7, &Amova::design_1G_P_IH); }

bool Amova::design_1G_P_IH(AmovaDesignResult& r) {
    // The sums are over gene copies, so they are divided by the number of
    // copies even when the individual level was asked for.
    N = total_size;
    return one_group_design(r, "Amova::AMOVA_1G_P_IH()", &Amova::PIAPWG, 0);
}

}  // namespace quintle
