// Several groups of samples of unphased genotypes, analysed at the level of
// gene copies: the tables of the gene-copy group design, with the two tests
// that move gene copies moving whole individuals (their two copies
// together) instead, a lone copy (the other allele missing) among the lone
// copies. The test among groups moves whole samples in both.

#include "amova/Amova.h"

namespace quintle {

int Amova::AMOVA_G_P_IH() { return run_design_step(8, &Amova::design_G_P_IH); }

bool Amova::design_G_P_IH(AmovaDesignResult& r) {
    // The sums are over gene copies, so they are divided by the number of
    // copies even when the individual level was asked for.
    N = total_size;
    return group_design(r, "Amova::AMOVA_G_P_IH()", &Amova::PIAPAG, &Amova::PIAPWG, 0);
}

}  // namespace quintle
