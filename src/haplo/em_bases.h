#pragma once

// The steps shared by the EM estimators that work on a phenotype base and a
// haplotype base: what comes before the starts (merging identical
// phenotypes, the phase resolutions, the compaction), the compact form the
// iterations run on, and the results written back into the bases.

#include "haplo/em_kernel.h"

namespace quintle {

class Population;
class TPhenDB;
class TPopHaploDB;
class settings;

// Merges identical phenotypes when EMCheckPhenRedundancy asks for it,
// builds every phenotype's resolutions into `haplotypes` (only those that
// `previous` allows when it is given: a phenotype for which it allows none
// is resolved without it, with a warning), and compacts the haplotypes when
// asked. False when some phenotype is left without any resolution.
bool prepare_resolutions(Population& pop, TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s,
                         TPopHaploDB* previous, int const* previousMask, int compact);

// The compact form of the phenotypes' resolutions over the haplotype base;
// false when a resolution points outside the base.
bool make_em_problem(TPhenDB const& phenotypes, TPopHaploDB const& haplotypes, double geneCopies, EmProblem& p);

// Writes a run back: the best start's frequencies (the last start's after a
// stop), the last start's probabilities, shares and log-likelihood, and the
// coefficient of the best start (the last one's after a stop) as the
// phenotype base's.
void store_em_results(EmOutcome const& r, EmWork const& w, TPhenDB& phenotypes, TPopHaploDB& haplotypes);

}  // namespace quintle
