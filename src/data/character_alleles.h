#pragma once
// The allele rows of sequences whose analyses compare characters only: one
// allele per character, shared by every site, instead of a catalogue record
// per site and character.

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/TAllele.h"

namespace quintle {

class HaploDef;

// Within one site the rows hold the same allele exactly where the texts hold
// the same character, and its name is that character, as with the records a
// catalogue makes site by site; what differs is what only the records carry
// (a blank first at each site, the weights, the per-sample frequencies), so
// these rows serve only runs whose analyses read none of that
// (Project::build_allele_tables decides).
class CharacterAlleles {
public:
    // Fills the rows of the definitions' texts (a text met before shares the
    // row of its first definition, the rows of the distinct texts come from
    // one block) and notes the sites where the texts differ. False, with no
    // row touched, when a text holds `reserved` (not NUL): the catalogue
    // takes that character for the blank it puts first at every site.
    bool fill_rows(HaploDef* const* defs, long n, char reserved);

    // The shared allele of a character (made when first asked).
    TAllele* of(unsigned char c);

    // The characters of a site over the distinct texts, in order of first
    // appearance, when there are at least two; else null (one character, or
    // a site beyond every text).
    std::string const* several_states(long site) const;

    // True when every text holds the site with one same character: every
    // row then holds one allele there.
    bool uniform(long site) const {
        return site >= 0 && site < shortest_ && varies_[static_cast<std::size_t>(site)] == 0;
    }

private:
    std::vector<unsigned char> varies_;  // per site: some text differs from the first there, or lacks it
    long shortest_ = 0;                  // sites every text holds
    std::array<std::unique_ptr<TAllele>, 256> alleles_;
    std::unordered_map<long, std::string> several_;
};

}  // namespace quintle
