// The frame in which a browser shows the results of a run: the frame-set
// page (a navigation tree on the left, the result file on the right), the
// tree page, the opening and closing text of the result file in its HTML and
// XML forms, and the builders of result names.

#include <ostream>
#include <sstream>
#include <string>
#include <utility>

#include "core/platform.h"
#include "core/xml.h"
#include "project/Project.h"

namespace quintle {

namespace {

// A file name as a link: blanks written "%20" and backslashes turned into
// '/'. A bare link keeps only the file name: the frame files share a folder.
std::string link_name(my_string const& name, bool bare) {
    my_string link = name.convert_blank_to_html_blank();
    link.convert_to_slash();
    std::string text = link.c_str();
    if (bare) {
        std::size_t const slash = text.find_last_of('/');
        if (slash != std::string::npos) text.erase(0, slash + 1);
    }
    return text;
}

// The file name without its folder.
std::string bare_name(my_string const& path) {
    my_string name = path;
    name.rm_path();
    return name.c_str();
}

// The folder of a link, up to and including its last '/'.
std::string link_folder(my_string const& name) {
    std::string text = link_name(name, false);
    std::size_t const slash = text.find_last_of('/');
    text.resize(slash == std::string::npos ? 0 : slash + 1);
    return text;
}

char const* const credit_place = "The tree script is loaded from the program folder (ftiens4.js).";
char const* const credit_author = "Its author is named in the header of that script.";

}  // namespace

void Project::New_print_html_frames_output(bool /*unused*/) {
    std::string const tree = link_name(options.MenuTreeFileName, true);
    std::string const result = link_name(options.ResultFileName, true);
    std::string const menu = link_name(options.MenuScriptFileName, true);
    std::string const library = link_name(options.menu_lib_file, false);

    // Each page is made in memory and written in one go.
    std::ostringstream page;
    page << "\n<html>" << "\n<!--Pellomar results frame file-->\n" << "\n<head>"
         << "\n<title> Pellomar Result Browser - " << bare_name(settings::input_file) << "\n</title>";
    page << "\n<script>"
         << "\nfunction op() { //This function is used with folders that do not open pages themselves. See online docs."
         << "\n}" << "\n</script>" << "\n</head>" << "\n";
    page << "\n<!--" << "\nThis frameset document includes the Treeview script."
         << "\n" << credit_place << "\n" << credit_author << "\n-->" << "\n";
    page << "\n<FRAMESET cols=\"200,*\">" << "\n  <FRAME src=\"" << tree << "\" name=\"treeframe\">"
         << "\n  <FRAME SRC=\"" << result << "\" name=\"basefrm\">" << "\n</FRAMESET>" << "\n" << "\n"
         << "\n</html>" << std::endl;
    MY_RewriteFile(options.MainPageFileName.c_str(), page.view());

    std::ostringstream tree_page;
    tree_page << "\n   <!--" << "\n     This frameset document includes the Treeview script."
              << "\n     " << credit_place << "\n     " << credit_author << "\n    -->" << "\n";
    tree_page << "\n<html>" << "\n" << "\n<head>" << "\n" << "\n<style>" << "\n   BODY {background-color: white}"
              << "\n   TD {font-size: 8pt;" << "\n       font-family: verdana,helvetica;"
              << "\n\t   text-decoration: none;}" << "\n   A  {text-decoration: none;" << "\n       color: black}"
              << "\n"
              << "\n    .specialClass {font-family:garamond; font-size:12pt;color:green;font-weight:bold;"
                 "text-decoration:underline}"
              << "\n</style>" << "\n" << "\n";
    tree_page << "\n<!-- Code for browser detection -->" << "\n<script src=\"file:///"
              << link_folder(options.menu_lib_file) << "ua.js" << "\"></script>" << "\n";
    tree_page << "\n<!-- Infrastructure code for the tree -->" << "\n<script src=\"file:///" << library
              << "\"></script>" << "\n";
    tree_page << "\n<!-- Execution of the code that actually builds the specific tree."
              << "\n     The variable foldersTree creates its structure with calls to"
              << "\n\t  gFld, insFld, and insDoc -->" << "\n<script src=\"" << menu << "\"></script>" << "\n"
              << "\n</head>" << "\n";
    tree_page << "\n<body topmargin=16 marginheight=16>" << "\n"
              << "\n<!-- Removing this link will make the script stop from working -->"
              << "\n<div style=\"position:absolute; top:0; left:0; \"><table border=0><tr><td><font size=-2><a "
              << "style=\"font-size:7pt;text-decoration:none;color:silver\" href=\"file:///" << library << "\""
              << " target=_blank>JavaScript Tree Menu</a></font></td></tr></table></div>" << "\n";
    tree_page << "\n<!-- Build the browser's objects and display default view of the tree. -->"
              << "\n<script>initializeDocument()</script>" << "\n<noscript>"
              << "\nA tree for site navigation will open here if you enable JavaScript in your browser."
              << "\n</noscript>" << "\n" << "\n</html>" << "\n" << std::endl;
    MY_RewriteFile(options.MenuTreeFileName.c_str(), tree_page.view());
}

void Project::New_print_html_results_header(bool xml) {
    if (options.ResultFile == nullptr) return;
    std::ostream& out = *options.ResultFile;
    if (xml) {
        out << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
            << "\n<?xml-stylesheet type=\"text/xsl\" href=\"file:///" << link_folder(options.style_file)
            << "PellomarStyleSheet.xsl" << "\"?>" << "\n<!--Pellomar results file-->\n" << "\n"
            << PmlXmlTags::rootTag.write() << "\n" << PmlXmlTags::dataTag.write() << std::endl;
    } else {
        out << "\n<html>" << "\n<!--Pellomar results file-->\n" << "\n<head>" << "\n<style>"
            << "\nBODY {background-color: white; font-size: 8pt; font-family: Courier New}" << "\n</style>"
            << "\n</head>\n" << "\n<body bgcolor=white>\n" << "\n<PRE>" << std::endl;
    }
}

void Project::New_print_html_results_footer(bool /*unused*/, bool xml) {
    if (options.ResultFile == nullptr) return;
    std::ostream& out = *options.ResultFile;
    if (xml)
        out << "\n" << PmlXmlTags::dataTag.end() << "\n" << PmlXmlTags::rootTag.end() << std::endl;
    else
        out << "\n</body>" << "\n</PRE>" << "\n</html>\n" << std::endl;
}

void Project::print_html_frames_output() {
    std::ostringstream page;
    page << "\n<html>" << "\n<!--Pellomar results frame file-->\n" << "\n<head>"
         << "\n <title> Pellomar Result Browser - " << bare_name(settings::input_file) << "\n </title>"
         << "\n</head>" << "\n<style>" << "\nbody    { background : white; color : black; margin: 0 }"
         << "\n</style>" << "\n<FRAMESET cols=\"250,*\">" << "\n  <FRAME src=\"file:///"
         << link_name(options.MenuTreeFileName, false) << "\" name=\"treeframe\" >"
         << "\n  <FRAME src=\"file:///" << link_name(options.ResultFileName, false) << "\" name=\"basefrm\">"
         << "\n</FRAMESET>\n" << "\n</HTML>\n" << std::endl;
    MY_RewriteFile(options.MainPageFileName.c_str(), page.view());

    std::ostringstream tree_page;
    tree_page << "\n<html>" << "\n<head>" << "\n<link rel=\"stylesheet\" href=\"file:///"
              << link_name(options.style_file, false) << "\">" << "\n<!-- Infrastructure code for the tree -->"
              << "\n<script src=\"file:///" << link_name(options.menu_lib_file, false) << "\"></script>"
              << "\n<!-- Execution of the code that actually builds the specific tree -->"
              << "\n<script src=\"file:///" << link_name(options.MenuScriptFileName, false) << "\"></script>"
              << "\n\n<script>" << "\ninitializeDocument()" << "\n</script>" << "\n\n</head>" << "\n<style>"
              << "\nbody    { background : white; color : black; margin: 10 }" << "\n</style>" << "\n\n</html>"
              << std::endl;
    MY_RewriteFile(options.MenuTreeFileName.c_str(), tree_page.view());
}

void Project::print_html_results_header() {
    if (options.ResultFile == nullptr) return;
    *options.ResultFile << "\n<html>" << "\n<!--Pellomar results file-->\n" << "\n<head>" << "\n</head>"
                        << "\n<style>" << "\nbody    { background : white; color : black; margin: 10 }"
                        << "\n</style>" << "\n<PRE>" << std::endl;
}

void Project::print_html_results_footer() {
    if (options.ResultFile == nullptr) return;
    *options.ResultFile << "\n</PRE>" << "\n</HTML>\n" << std::endl;
}

namespace {

// The folder of a project path (up to and including its last separator) and
// its base name, cut at the first ".pmp".
std::pair<std::string, std::string> folder_and_base(my_string const& project) {
    my_string folder = project;
    folder.extract_path();
    std::string base = project.c_str() + folder.length();
    base = base.substr(0, base.find(".pmp"));
    return {folder.c_str(), base};
}

}  // namespace

my_string buildPellomarResultFileName(my_string const& project) {
    auto const [folder, base] = folder_and_base(project);
    return my_string((folder + base + ".res/" + base + "_main.htm").c_str());
}

my_string buildPellomarLogFileName(my_string const& project) {
    auto const [folder, base] = folder_and_base(project);
    return my_string((folder + base + ".res/Pellomar_log.txt").c_str());
}

void removePath(my_string& name) {
    int const slash = name.find_last_of('/');
    if (slash > 0 && slash < name.length()) name.remove(0, slash + 1);
}

}  // namespace quintle
