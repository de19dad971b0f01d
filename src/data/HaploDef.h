#pragma once

// One haplotype of a project's haplotype list: its identifier, its allele
// text and, once built, one allele pointer per locus borrowed from an allele
// catalogue (a row shared with its copies and with the definitions of the
// same text).

#include <cstdint>
#include <istream>
#include <ostream>
#include <string_view>
#include <vector>

#include "core/my_string.h"
#include "data/TAllele.h"
#include "data/allele_row.h"

namespace quintle {

class TAlleleDB;
class ProfileSettings;
class Haplo_DB;

class HaploDef {
public:
    // One allele per locus, borrowed from the catalogue (never deleted here).
    AlleleRow alleles;
    int matrixIndex = -1;  // row of the user distance matrix; -1: none
    my_string id;
    my_string data;        // allele text as kept by read_data
    int count = 0;         // copies of this haplotype in the samples

    HaploDef();
    explicit HaploDef(my_string const& identifier);
    // Copies id, matrixIndex, data and count; the copy shares the source's
    // allele row.
    HaploDef(HaploDef const& other);
    HaploDef& operator=(HaploDef const& other);
    ~HaploDef() = default;

    // Fills data from a text, keeping only what the current data type
    // allows. False (with a report for a refused character) when the text
    // cannot be used.
    bool read_data(my_string& text, ProfileSettings& ps);
    // The same on the rest of the current line of a stream.
    bool read_data(std::istream& is, ProfileSettings& ps);

    // Enters the alleles of data into db (each with the weight) and points
    // alleles at them: one per character when sep is NUL, else one per
    // sep-delimited piece. The int is handed on to the catalogue unused.
    void build_haplovect(TAlleleDB* db, char const& sep, int unused, double weight);
    // build_haplovect for each definition of the list in turn (null entries
    // skipped), with the same result; one pass over all the texts when sep
    // is NUL, where definitions of the same text share one row.
    static void build_haplovects(HaploDef* const* defs, long n, TAlleleDB* db, char const& sep, int unused,
                                 double weight);

    // True when other holds the same allele pointers at every position of
    // this definition's list.
    bool hasSameAllelicContent(HaploDef const& other) const;

    // Empties the allele list.
    void flush();

private:
    friend class Haplo_DB;
    static std::uint64_t next_serial();

    // Never reused, unlike addresses: tells a list's lookup table that the
    // definition in a slot is not the one it indexed. A copy or an
    // assignment takes a new one.
    std::uint64_t serial_ = next_serial();
};

// "id<TAB>data", or " id" when data is empty.
std::ostream& operator<<(std::ostream& os, HaploDef& h);

// Writes the definition, a line end and flushes; stream is an std::ostream*.
void Print(HaploDef& h, void* stream);

// A microsatellite allele text kept as read_data keeps a haplotype's: sizes
// in digits, the locus separator and the missing-data character, every size
// within the int range. Otherwise ERROR 27 from `function` and false.

// The texts of a list of definitions, each definition mapped to the first
// one holding the same text (null entries skipped), so that definitions of
// one text can share one allele row, cut with the others from one block.
struct DistinctTexts {
    std::vector<long> first;              // per definition: the first of its text; -1 for a null entry
    std::vector<std::string_view> texts;  // the distinct texts, in order of first appearance
    std::size_t slots = 0;                // room of their rows: each text's length + 1
};
DistinctTexts distinct_texts(HaploDef* const* defs, long n);
bool valid_microsat_text(std::string_view text, char missing, my_string const& function);

}  // namespace quintle
