#pragma once

#include <fstream>
#include <iosfwd>
#include <string>
#include <vector>

namespace quintle {

// Makes a cleaned working copy of a project file, and of every external file
// the project names with EXTERN, inside the project's result folder (the
// project path without its extension, followed by ".res/"). The copies hold
// blank-separated tokens only: no comments, tabs, carriage returns or custom
// locus separators. The source files are never changed, and the cleaner
// writes and deletes nothing outside the result folder.
//
// Use: construct, execute() one project, read the getters, rm_clean_files()
// when the project is done.
class cleaner {
public:
    cleaner();
    ~cleaner();

    cleaner(cleaner const&) = delete;
    cleaner& operator=(cleaner const&) = delete;

    // Cleans the project file and then every external file it names. True
    // when the working copy of the project file was made and no file was
    // refused: a file that is not a regular one (a device, a pipe, a folder)
    // or that holds a line longer than the readers take (my_string::max_line
    // once cleaned; reading stops at max_input_line) is refused with a line
    // in the log that names the line, and the project must not be read.
    bool execute(char loc_sep, char const* project_file);

    // Clean entry i of orig_files as a project file / as an external file;
    // true when its copy was made.
    bool clean_proj_file(int const& i);
    bool clean_haplo_file(int const& i);
    // Kept for the interface: nothing to do, always false.
    bool clean_matrix_file(int const& i);
    bool clean_pop_file(int const& i);

    // Line rules, applied to curr_line.
    void clean_curr_line();
    void line_has_external();
    void line_locus_sep();

    // Deletes the copies this cleaner made; the result folder stays. The
    // destructor does it too.
    void rm_clean_files();

    // Path of the cleaned project copy, or null when none was made.
    char const* get_clean_proj() const;
    // Path of the project file as handed to execute, or null before.
    char const* get_orig_proj() const;
    // The result folder, ending with '/'; empty when no project was opened.
    char const* get_proj_dir() const;
    // A source was refused by the last execute: the project must not be read.
    bool refused() const { return refused_; }

private:
    enum FileKind : int { project_kind = 0, external_kind = 1 };

    bool valid_index(int i) const;
    std::string source_path(int i) const;
    // Index of an earlier entry whose copy has the same path, or -1.
    int earlier_copy_of(int i) const;
    // Streams `in` into the copy of entry i through the line rules; removes a
    // copy that could not be completed. True when the copy is complete.
    bool write_copy(int i, std::istream& in, bool project_rules);
    // Opens a source file for reading; a refused one sets refused_.
    bool open_source(std::string const& source, std::ifstream& in);
    void queue_external(std::string const& name);

    std::string proj_path;
    std::string curr_line;                 // reused for every line
    std::vector<std::string> orig_files;   // [0] the project, then EXTERN names as written
    std::vector<std::string> clean_files;  // the copies, index for index
    std::vector<int> file_kinds;           // FileKind per entry
    std::vector<char> created;             // nonzero: this cleaner made that copy
    char loc_sep = 0;                      // 0: no separator
    std::string orig_dir;                  // folder of the project file, with its separator
    std::string proj_dir;                  // result folder, ending with '/'
    bool refused_ = false;                 // a source was refused
};

}  // namespace quintle
