#pragma once

// The format translator between project files and five foreign formats
// (GenePop, Phylip, Mega, Biosys, Tarvola). Every conversion goes through
// the project format: import_data writes the source as project text into an
// intermediate project, export_data reads that back with Project::open,
// prepares it as a run would and hands it to the writer of the target
// format. The run driver builds one object per conversion (run-file mode
// "translate"), opens and closes both streams, and calls the two steps once
// each. The readers write their diagnostics into the project text as "#"
// lines; the writers write their refusals into the target.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/input_files.h"

namespace quintle {

class Project;

class imp_exp {
public:
    // Format codes, the same for source and target.
    static constexpr int genepop_code = 1;
    static constexpr int phylip_code = 2;
    static constexpr int mega_code = 3;
    static constexpr int biosys_code = 4;
    static constexpr int tarvola_code = 5;
    static constexpr int project_code = 7;

    std::string in_file_name;   // file read by the current step
    std::string prog_dir;       // program folder (the run file's first line)
    std::string out_file_name;  // file written by the current step
    std::ofstream* of_str = nullptr;  // stream of the current step, not owned
    int format = 0;             // format code of the current step
    Project* proj = nullptr;    // the run's project, not owned
    std::string extra_file_b;   // Tarvola source: prefix of the population files
    std::string extra_file_a;   // Tarvola source: the distance file
    int genotypic = 0;          // GenePop source: nonzero for diploid genotypes
    // Longest line the foreign readers take; a longer one refuses the
    // source. Lowered only by tests.
    std::size_t line_limit = max_input_line;

    imp_exp() = default;
    imp_exp(imp_exp const&) = delete;
    imp_exp& operator=(imp_exp const&) = delete;

    // Reads `source` in the format of `code` and writes it as project text
    // to `stream`, which the caller has opened on `target`. 0 when the
    // intermediate project cannot be written (logged), else 1.
    int import_data(int code, char const* source, char const* target, std::ofstream* stream);

    // Reads the project `source` back, prepares it and writes it in the
    // format of `code` to `stream`, opened by the caller on `target`. When
    // the project cannot be read or prepared, the target gets a one-line
    // refusal and the answer is 0 (logged); 1 when the writer ran. The
    // project is cleaned either way, with the temporary files it recorded.
    int export_data(int code, char const* source, char const* target, std::ofstream* stream);

    // The two comment lines that open every imported project.
    void create_header();

    // A file of this translation alone: `stem`, "_", the process id and
    // `extension` ("dum_pml_4711.pmp"), as the run file is named, so that
    // translations started together in one folder never share one.
    static std::string own_file_name(char const* stem, char const* extension);

    // Why the translation failed although every step ran: a reader that
    // would convert its source only in part, or a writer that refused the
    // project. Empty when nothing was refused.
    std::string const& refusal() const { return refusal_; }

    void read_pellomar();
    void write_pellomar();
    void read_gen_pop();
    void write_gen_pop();
    void read_phylip();
    void write_phylip();
    void read_mega();
    void write_mega();
    void read_biosys();
    void write_biosys();
    void read_tar_vola();
    void write_tar_vola();

    // One line of a Biosys record format: a group of `loci` loci, each
    // opened by `gap` blanks and holding two alleles of the two widths and,
    // for genotype counts and frequencies, a value of `value` characters.
    struct BiosysFormatLine {
        int loci = 0;
        int gap = 0;
        int first = 0;
        int second = 0;
        int value = 0;
    };
    struct BiosysLayout {
        int nameWidth = 0;   // individual's name at the start of a record
        int leadBlanks = 0;  // columns passed over after the name
        std::vector<BiosysFormatLine> lines;
    };
    // Parse the record format of Biosys data type 1 (individual genotypes),
    // 2 (genotype counts) or 3 (genotype frequencies). False after the
    // rejection line " ***** ERROR *****" on of_str.
    bool read_format1(std::string const& text, BiosysLayout& layout);
    bool read_format2(std::string const& text, BiosysLayout& layout);
    bool read_format3(std::string const& text, BiosysLayout& layout);

private:
    bool read_format(std::string const& text, int datyp, BiosysLayout& layout);
    void read_biosys_records(class TextLines& in, int notu, BiosysLayout const& layout);
    // A blank line (`blank`) was read as the name line of sample `s`, its
    // first data line `data` next: the first ten such samples of a file
    // warn, the rest are counted in `told` and told in one warning at the
    // end of the reading.
    void tell_empty_name(int s, long blank, std::string const& data, int& told);
    void read_biosys_counts(class TextLines& in, int datyp, int notu, int nloc, BiosysLayout const& layout);
    // The export after the project was read: preparation and writer.
    int prepare_and_write(int code);
    void refuse_target(char const* why);
    // A reader's refusal, logged: the export then writes only the refusal
    // line into the target. A held warning is given first.
    void refuse_source(std::string const& why);
    // A reader's warning, in the log and on standard error.
    void warn_source(std::string const& text);
    // A reader's warning given when the reading ends, or before a refusal
    // of the source; a later one replaces it.
    void hold_warning(std::string text);
    void give_held_warning();
    // Ends the log's line "Reading <source> ..." before a reader's first
    // warning or refusal.
    void end_reading_line();
    // A writer's refusal, once the writer's own text is in the target.
    void refuse_project(std::string const& why);
    // A writer's refusal of a project beyond one of its bounds: the target's
    // line "  A <bound>: <has>." and the reason "a <bound>, and <has>".
    void refuse_bound(std::string const& bound, std::string const& has);
    // The copies a writer writes of a haplotype entry counted `count`, and
    // of an individual counted `count` (rounded down after adding 0.1):
    // none for a count below 1.
    static int entry_copies(int count) { return count > 0 ? count : 0; }
    static int individual_copies(double count);
    // Called by a writer before it writes anything: the copies of haplotype
    // entries (or individuals) it would write, over all samples. A sample of
    // more than 1,000,000, or a project of more than 10,000,000, is refused
    // (the writer's text in the target) and the answer is empty.
    std::optional<std::int64_t> copies_to_write();

    // Folder of a project-format source: EXTERN names of its sub-sections
    // are resolved there when the intermediate copy is read back.
    std::string source_folder_;
    std::string refusal_;
    bool source_refused_ = false;
    bool reading_line_ended_ = false;  // by a warning or refusal of the reader
    std::string held_warning_;
};

}  // namespace quintle
