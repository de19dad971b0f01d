#pragma once

// Writer of the navigation tree of an HTML result: a script of menu lines
// (folders made with insFld/gFld, documents with insDoc/gLnk) that the tree
// page turns into links to the anchors of the result file.

#include <ostream>

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
