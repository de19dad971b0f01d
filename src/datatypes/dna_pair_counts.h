#pragma once

// The kinds of site pairs two aligned DNA sequences show, counted over the
// sites that count: what every distance method is computed from.

#include <array>
#include <cstdint>
#include <vector>

namespace quintle {

// Class of a pair of differing characters: 0 no countable difference,
// 1 transition, 2 transversion, 3 indel, 4 either a transition or a
// transversion (ambiguity codes, or two of the digits 0..3). Equal
// characters give 0. The first character decides which rule applies, so the
// class is not symmetric for every pair ('0' against '-' is an indel, '-'
// against '0' is not).
int dna_pair_class(char a, char b);

// Index 0..3 of C, T, A, G (the order of nucleotide frequencies), -1 for any
// other character.
int dna_nucleotide_index(char c);

// Index of an unordered pair of two different nucleotides in the lower
// triangle of a C, T, A, G table: (T,C) 0, (A,C) 1, (A,T) 2, (G,C) 3, (G,T) 4,
// (G,A) 5.
inline constexpr int kPairCT = 0;
inline constexpr int kPairAG = 5;
int dna_nucleotide_pair_index(int i, int j);

// Counts of the site pairs of two sequences, over the sites that count.
struct DnaPairCounts {
    std::int64_t equal = 0;     // same character, neither missing nor '-'
    std::int64_t equalGap = 0;  // both '-' ('-' not being the missing character)
    // Differing pairs of two of A, C, G, T, by dna_nucleotide_pair_index.
    std::array<std::int64_t, 6> nucleotides{};
    std::int64_t transversionsAmbiguous = 0;  // class 2 with an ambiguity code
    std::int64_t ambiguous = 0;               // class 4
    std::int64_t indels = 0;                  // class 3 (always against a '-')
    std::int64_t other = 0;                   // class 0 differing pairs
    std::int64_t otherMissingOrGap = 0;       // those with missing or '-' on a side
    std::int64_t otherGap = 0;                // those with '-' on a side

    std::int64_t transitions() const { return nucleotides[kPairCT] + nucleotides[kPairAG]; }
    std::int64_t nucleotideTransversions() const {
        return nucleotides[1] + nucleotides[2] + nucleotides[3] + nucleotides[4];
    }
    std::int64_t transversions() const { return nucleotideTransversions() + transversionsAmbiguous; }
    std::int64_t nucleotideDifferences() const { return transitions() + nucleotideTransversions(); }
    std::int64_t differing() const {
        return nucleotideDifferences() + transversionsAmbiguous + ambiguous + indels + other;
    }
    bool operator==(DnaPairCounts const&) const = default;
};

// Adds one site pair (a from the first sequence, b from the second).
void tally_site_pair(DnaPairCounts& counts, char a, char b, char missing);

// Counts two texts site by site. With a census (usable non-empty) the sites
// are those of the census and only usable ones (flag 1) count; without one
// every site up to the longer text counts. A position beyond the end of a
// text reads as the missing-data character.
DnaPairCounts count_sequence_pair(char const* a, char const* b, std::vector<int> const& usable, char missing);

}  // namespace quintle
