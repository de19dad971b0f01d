#pragma once

// The end of the within-sample summary section, the "Neutrality tests" and
// "Mismatch analysis" blocks: their rows are computed first (values, which
// show as "N.A.", means and s.d.s, and the values of Tajima's D and Fu's FS
// that the statistics line takes), then written.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quintle {

class Samples;
class settings;
struct SummaryLine;

// How a row shows its values and when its Mean and s.d. become "N.A.".
enum class NeutralityKind {
    count,          // integers; summaries always shown
    plain,          // numbers; summaries always shown
    guarded,        // "N.A." below 0; summaries "N.A." when any value or the mean is
    guardedByMean,  // "N.A." below 0; summaries "N.A." only when the mean is
    guardedAtMinusOne,  // "N.A." at -1 or below; summaries as guarded
};

// Special per-value formats of two spatial-expansion rows.
enum class NeutralityStyle {
    usual,
    scientificFromE5,  // values of 100000 or more in scientific notation, alone
    fixed5,            // fixed notation, precision 5, left in force
};

// One computed row: its values, which show as "N.A.", their mean and
// s.d. (or "N.A.").
struct NeutralityRow {
    std::string label;
    int labelWidth = 0;
    std::vector<double> values;
    std::vector<bool> missing;
    NeutralityKind kind = NeutralityKind::plain;
    NeutralityStyle style = NeutralityStyle::usual;
    double mean = 0.0;
    double sd = 0.0;
    bool hide = false;
};

// The pieces of the two blocks in writing order: a block's opening
// (anchor, heading, rules and header line), a test's sub-title, an
// expansion model's title, a row, a closing rule.
struct NeutralityPiece {
    enum class What { open, subTitle, title, row, rule };
    What what = What::row;
    std::string text;  // key of an opening; heading; (sub-)title
    char const* key = "";
    int labelWidth = 0;
    int fixedWidth = 0;
    NeutralityRow row;
};

// The two blocks of a pass and the values the statistics line takes.
struct NeutralityTables {
    std::vector<NeutralityPiece> pieces;
    // Tajima's D and Fu's FS of each sample, when their rows are part of
    // the pass, with their means and s.d.s.
    std::optional<std::vector<double>> d, fs;
    double meanD = 0.0, sdD = 0.0, meanFS = 0.0, sdFS = 0.0;
};

// The blocks the settings, the data type and the phase of the set ask for
// (none for microsatellite data or an empty set).
NeutralityTables compute_neutrality_tables(Samples& set, settings const& s);

// Writes them on the result stream; w: the section's column width.
void write_neutrality_tables(std::ostream& os, int w, Samples& set, settings& s, NeutralityTables const& t);

// Puts Tajima's D and Fu's FS with their means and s.d.s into `line`.
void take_neutrality_line(SummaryLine& line, NeutralityTables const& t);

}  // namespace quintle
