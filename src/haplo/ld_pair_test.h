#pragma once

// The test of one pair of loci of the linkage-disequilibrium test on
// unphased genotypes, with everything its callers print.

namespace quintle {

class Population;
class TPhenDB;
class settings;

struct LdPairOutcome {
    // What the per-pair member returns: the P value, 1.0 for a skipped
    // pair, -1000 when stopped, 0 for a selection that is not a pair.
    double result = 1.0;
    double p = 1.0;
    double sd = 0.0;
    long done = 0;          // permutations (or resamplings) done
    double chiSquare = 0.0;
    double lnLD = 0.0;
    double lnLE = 0.0;
    int df = 0;
    bool skipped = false;   // monomorphic locus, or no EM start asked for
    bool stopped = false;
    bool compactRoad = false;  // run on allele numbers rather than phenotype bases
};

// Which road the permutation test takes: allele numbers whenever the pair
// allows it, or the phenotype bases always (the two give the same numbers).
enum class LdRoad { automatic, phenotype_bases };

// Permutation test of the pair {2, j, i}. Its P and s.d. are in the
// outcome only: the settings are left as read.
LdPairOutcome ld_permutation_pair(Population& pop, int* loci, TPhenDB const& phenotypes, settings& s,
                                  long permutations, int maxIterations, double epsilon,
                                  LdRoad road = LdRoad::automatic);

// The recessive-data form: genotypes resampled under equilibrium from the
// single-locus estimates.
LdPairOutcome ld_resampling_pair(Population& pop, int* loci, TPhenDB const& phenotypes, settings& s,
                                 long permutations, int maxIterations, double epsilon);

}  // namespace quintle
