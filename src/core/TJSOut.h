#pragma once

// Writer of the navigation tree of an HTML result: a script of menu lines
// (folders made with insFld/gFld, documents with insDoc/gLnk) that the tree
// page turns into links to the anchors of the result file.

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>

#include "core/my_string.h"

namespace quintle {

class settings;

class TJSOut {
public:
    explicit TJSOut(std::ostream* out = nullptr) : stream(out) {}

    // The head of the script: the tree options, the icon folder and the root
    // folder "foldersTree". The second argument takes no part in the output.
    void foldersTree(my_string const& iconFolder, my_string const& second, my_string const& title,
                     my_string const& rootLink);
    // Folder "aux<level>", hung under foldersTree at level 1, else under
    // aux<level - 1>.
    void aux(int level, my_string const& name, my_string const& link);
    // Document hung under foldersTree at level 0, else under aux<level>.
    void doc(int level, my_string const& name, my_string const& link);

    // The script being written (not owned); nothing is written while null.
    std::ostream* stream;
};

// Where one menu line goes: the run's script while a project run holds it
// (settings::MenuScript), otherwise the script file, opened for appending
// for this line; null when neither is there.
class MenuScriptLine {
public:
    explicit MenuScriptLine(settings const& s);
    std::ostream* stream() const { return out_; }

private:
    std::ofstream file_;
    std::ostream* out_ = nullptr;
};

// The menu script of one project run, held in memory while the run writes
// it and put in its file in one go when the run ends: a whole new script
// replaces the file's content, the lines of a run added to an earlier one's
// script go to its end. While it lives the settings' MenuScript is its text;
// a run ended early (an exception included) still gets what it wrote.
class RunMenuScript {
public:
    RunMenuScript(settings& s, bool replace);
    ~RunMenuScript();
    RunMenuScript(RunMenuScript const&) = delete;
    RunMenuScript& operator=(RunMenuScript const&) = delete;

    // Writes the held text to the file (once) and leaves the settings
    // without a held script. False when the file could not be written.
    bool write();

private:
    settings& s_;
    std::string path_;
    bool replace_;
    bool written_ = false;
    std::ostringstream text_;
};

// The name of an anchor: `base` (a run's time stamp or anchor prefix, which
// may hold a date and time) without blanks and with '/', ':' and '\' made
// '_', followed by `suffix` (null: nothing).
my_string anchor_name(my_string const& base, char const* suffix);
// Writes `anchor` into the result file (XML or HTML form by xmlOutput) and
// appends to the menu script a document line named `title` linking to it;
// the script is opened for appending and closed again. When it cannot be
// opened the anchor is still written and the menu line is lost.
void print_js_doc_anchor(settings& s, int level, my_string const& anchor, my_string const& title);

// The same for the anchor named from the run's anchor prefix and `suffix`,
// with a document or a folder line.
void print_js_doc_entry(settings& s, int level, char const* suffix, char const* title);
void print_js_aux_entry(settings& s, int level, char const* suffix, char const* title);
// Menu document "Pellomar log file" under the root, linking to the log file.
void print_js_pellomar_log_entry(settings& s);

}  // namespace quintle
