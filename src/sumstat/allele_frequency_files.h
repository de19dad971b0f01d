#pragma once

// What the allele-frequency files and the site frequency spectra share: the
// order in which a locus lists its alleles, and the read of one allele's
// frequency in one sample.

namespace quintle {

class TAllele;
class TLocus;

// Sorts the alleles of the locus in place by name, ascending byte order:
// the first of the smallest names goes to the front, the rest is
// heap-sorted. The order stays for the rest of the run.
void sort_alleles_by_name(TLocus& locus);

// Relative frequency of the allele in the sample at position p: 0 for a
// missing allele or a sample beyond the allele's frequency entries.
double sample_frequency(TAllele const* allele, long p);

}  // namespace quintle
