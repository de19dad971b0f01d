#pragma once

#include <ostream>

#include "core/MY_TIArrayAsVector.h"
#include "core/my_string.h"
#include "data/TAllele.h"

namespace quintle {

// One multi-locus haplotype as the frequency-estimation code sees it: one
// borrowed allele pointer per locus, a frequency and the working values of
// the EM and bootstrap code. Alleles belong to their TLocus; two haplotypes
// are the same when they hold the same pointer at every locus.
class TPopHaplotype {
public:
    my_string id{"UNKNOWN"};
    double frequency = 0.0;
    double prevFrequency = 0.0;  // frequency of the previous EM iteration
    double sd = 0.0;             // sum of squared replicate frequencies, then the s.d. (calc_sd)
    double repSum = 0.0;         // sum of replicate frequencies during the bootstrap
    MY_TIArrayAsVector<TAllele> alleles{10, 50};  // one per locus, in locus order; never owning
    double D = 0.0;              // linkage-disequilibrium coefficient
    double Dprime = 0.0;         // D normalised by its extreme value
    double inbreedingCoeff = 0.0;  // read by the genotype-frequency table; 0 unless set
    // Identity-by-descent share of the homozygotes carrying this haplotype,
    // a working value of the EM with an inbreeding coefficient.
    double ibdShare = 0.0;
    // The small fields together: a sample holds two haplotypes per
    // individual, 168 bytes each this way rather than 184.
    int fixed = 0;               // nonzero: keeps frequency 1 in the random EM start
    int homoCount = 0;           // homozygous individuals carrying this haplotype
    char separator = ' ';        // printed after each allele; NUL: none
    char found = 0;              // mark of the phase-estimation quality measure
    // Index received in the last frequency table printed: 1, 2, ... when
    // listed, -1, -2, ... when not.
    int listedIndex = -1;

    TPopHaplotype();
    explicit TPopHaplotype(char const& sep);
    // Room for n + 1 allele pointers.
    TPopHaplotype(char const& sep, int n);
    TPopHaplotype(TPopHaplotype const& other);
    // Copies every field; the allele list receives the source's pointers.
    TPopHaplotype& operator=(TPopHaplotype const& other);
    ~TPopHaplotype() = default;

    // Same number of alleles and the same pointer at every locus.
    bool operator==(TPopHaplotype const& other) const;
    bool operator!=(TPopHaplotype const& other) const { return !(*this == other); }
    // Allele names compared locus by locus over the loci both have; the
    // first difference decides, and on a common prefix the shorter one comes
    // first. A missing allele counts as an empty name.
    bool operator<(TPopHaplotype const& other) const;

    // Becomes src restricted to sel[1..sel[0]] (source positions, in the
    // wanted order): id, the four frequency fields and the separator are
    // copied, D and D' cleared, the other fields kept. A position outside src
    // gives a missing (null) allele.
    void copy_restricted_hapl(int const* sel, TPopHaplotype const& src);
    // Becomes a copy of src keeping only the alleles whose locus has a
    // nonzero mask entry (mask indexed by locus number); each kept allele
    // records its position in src (TAllele::sourcePos). D and D' cleared.
    void build_sub_haplotype(int const* mask, TPopHaplotype const& src);
    // Two-locus haplotype a, b with id n; frequencies, D and D' zero.
    void build_sampled_haplo(int n, TAllele* a, TAllele* b);
    // Drops every allele pointer (the alleles stay alive).
    void empty();
};

// Each allele followed by the separator when it is not NUL.
std::ostream& operator<<(std::ostream& os, TPopHaplotype const& h);

// Drops (never deletes) the alleles at the positions whose mask entry is 0,
// keeping the order of the rest. mask must cover every position of h.
void shrink(TPopHaplotype& h, int const* mask);

// Makes sure the list has at least n slots without losing its pointers; a
// failure reports MEMORY error 0 naming `function` and returns false.
bool reserve_allele_slots(MY_TIArrayAsVector<TAllele>& list, long n, char const* function);

}  // namespace quintle
