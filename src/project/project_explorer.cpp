// The project explorer: reads a project without analysing it and leaves
// three small files for a front end: the profile as key lines in
// "pml_pro.txt" (program folder), the sample names in "samples.txt" and the
// groups in "groups.txt" (current folder). Files that cannot be written are
// passed over without a word, as the front end only looks for them.

#include <fstream>
#include <limits>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "core/input_files.h"
#include "core/parsing.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"

namespace quintle {

namespace {

constexpr char kExplore[] = "Project::explore()";
constexpr char kStructureExplore[] = "Structure::explore(ifstream& ifs)";
constexpr char kExploreContent[] = "Structure::explore_content()";
constexpr char kGroupsFile[] = "groups.txt";
constexpr int kMaxSubSections = 4;

bool is_alnum(int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void lower(std::string& text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

// The sample name of a line already lower-cased: the text after the first
// "=", then after its first double quote, up to the next one.
std::string name_on_line(std::string const& line) {
    std::string text = line;
    if (auto eq = text.find('='); eq != std::string::npos) text.erase(0, eq + 1);
    if (auto quote = text.find('"'); quote != std::string::npos) text.erase(0, quote + 1);
    if (auto quote = text.find('"'); quote != std::string::npos) text.erase(quote);
    return text;
}

void write_profile_keys(std::ostream& out, ProfileSettings const& p) {
    out << p.Title << "=Title;\n";
    out << p.NbSamples << "=NbSamples;\n";
    out << p.NbGroups << "=NbGroups; \n";
    out << p.GenotypicData << "=GenotypicData;\n";
    out << p.GameticPhase << "=GameticPhase;\n";
    if (char const* type = data_type_name(ProfileSettings::DataType)) out << type << "=DataType;\n";
    switch (ProfileSettings::LocusSeparator) {
        case '\0': out << "NONE"; break;
        case ' ': out << "WHITESPACE"; break;
        case '\t': out << "TAB"; break;
        default: out << ProfileSettings::LocusSeparator; break;
    }
    out << "=LocusSeparator;\n";
    out << p.MissingData << "=MissingData;\n";
    out << p.DistMatLabel << "=DistMatLabel;\n";
    out << p.UsedHaplList << "=UsedHaplList; \n";
    out << p.ExtHaplFile << "=ExtHaplFile; \n";
    out << p.Interleave << "=Interleave; \n";
    out << p.IndividualLevel << "=IndividualLevel;\n";
    out << p.Frequency << "=Frequency; \n";
    out << p.RecessiveData << "=RecessiveData; \n";
    out << p.RecessiveAllele << "=RecessiveAllele;\n";
    out << p.GivenDistMat << "=GivenDistMat; \n";
    out << p.EpsilonValue << "=EpsilonValue;\n";
    out << p.FrequencyThreshold << "=FrequencyThreshold;\n";
}

}  // namespace

int Project::explore(char* exeDirectory) {
    distance_matrix.MatrixName = "none";
    // A structure left by the project explored before must not lend this
    // one its group count.
    structure->reset();
    {
        std::ofstream groups(kGroupsFile, std::ios::out | std::ios::trunc);
        groups << "0\n";
    }
    std::ifstream in;
    if (!open_input_file(in, settings::input_file.c_str())) {
        E.error(ERROR, kExplore, Msg::m126_cannot_open_project_file);
        return 0;
    }
    std::ostream& log = *_AOS_;
    log << "Reading general settings in input file ...\n";
    if (!get_profile_settings(in)) {
        E.error(ERROR, kExplore, Msg::m127_cannot_read_profile);
        return 0;
    }
    log << "done ! \n";
    go_to_section(in, my_string("data"));

    my_string name;
    for (int pass = 0; pass <= kMaxSubSections; ++pass) {
        skip_comments(in);
        int const which = get_next_subsection(in, name);
        if (which == 0) {
            if (pass == 0) {
                E.error(ERROR, kExplore, Msg::m128_no_subsections);
                return 0;
            }
            break;
        }
        if (which == 1) {
            log << "\tReading distance matrix ...\n";
            distance_matrix.get_mat_name(in);
            log << "\tdone ! \n";
        } else if (which == 3) {
            log << "\tExploring Samples...\n";
            if (samples->explore(in, *this) == 0) return 0;
            log << "\tdone ! \n";
        } else if (which == 4) {
            log << "\tExploring genetic structure...\n";
            if (structure->explore(in, kGroupsFile) == 0) return 0;
            log << "\tdone ! \n";
        }
        if (pass == kMaxSubSections) {
            E.error(ERROR, kExplore, Msg::m131_too_many_subsections);
            return 0;
        }
    }
    log << "done ! \n";

    std::ofstream profile(std::string(exeDirectory != nullptr ? exeDirectory : "") + "pml_pro.txt",
                          std::ios::out | std::ios::trunc);
    write_profile_keys(profile, *this);
    return 1;
}

int Samples::explore(std::istream& in, ProfileSettings& profile) {
    std::ofstream out("samples.txt", std::ios::out | std::ios::trunc);
    out << profile.NbSamples << "\n";
    if (profile.NbSamples < 1) return 1;

    std::string line;
    for (int i = 0; i < profile.NbSamples; ++i) {
        bool found = false;
        while (!found && !in.fail()) {
            if (read_bounded_line(in, line) != LineRead::line) break;
            // Lines of a CRLF file read as those of an LF one.
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lower(line);
            if (line.find("samplename") == std::string::npos) continue;
            out << name_on_line(line) << "\n";
            found = true;
        }
        if (!found) {
            E.error(WARNING, "Samples::explore(): Unable to extract all population names",
                    Msg::m63_cannot_read_sample_data);
            return 0;
        }
    }
    return 1;
}

int Structure::explore(std::istream& is, char const* fileName) {
    std::ofstream out(fileName, std::ios::out | std::ios::trunc);
    NbGroupsRead = 0;
    my_string key;
    for (;;) {
        key = "";
        if (!get_next_ident(is, key)) break;
        if (!is_identifier(key)) {
            E.error(ERROR, kStructureExplore, Msg::m54_bad_structure_keyword);
            return 0;
        }
        if (explore_content(is, key, out) == 0) {
            std::string const where = std::string(kStructureExplore) + " (\"" + key.c_str() + "\")";
            E.error(ERROR, my_string(where.c_str()), Msg::m55_invalid_keyword_value);
            return 0;
        }
    }
    if (NbGroupsRead == NbGroups) return 1;
    E.error(ERROR, kExploreContent, Msg::m47_invalid_nb_groups);
    return 0;
}

int Structure::explore_content(std::istream& is, my_string const& key, std::ostream& out) {
    if (key == "group") return explore_group(is, out);
    if (key == "nbgroups") {
        int value = 0;
        if (!(is >> value)) {
            E.error(ERROR, kExploreContent, Msg::m47_invalid_nb_groups);
            return 0;
        }
        NbGroups = value;
        if (value < 0 || value > 1000) {
            // The count still stands: the final check then fails unless
            // that many groups follow.
            E.error(ERROR, kExploreContent, Msg::m47_invalid_nb_groups);
            return 1;
        }
        out << value << "\n";
        return 1;
    }
    my_string dropped;
    if (key == "structurename") {
        if (get_qstring(is, dropped)) return 1;
        E.error(ERROR, "Structure::read_id_content()", Msg::m56_invalid_structure_name);
        return 0;
    }
    if (key == "distmatlabel") {
        if (get_qstring(is, dropped)) return 1;
        E.error(ERROR, kExploreContent, Msg::m57_invalid_dist_mat_label);
        return 0;
    }
    if (!read_profile_id_content(is, key)) {
        E.error(ERROR, kExploreContent, Msg::m54_bad_structure_keyword);
        return 0;
    }
    return 1;
}

int Structure::explore_group(std::istream& is, std::ostream& out) {
    if (NbGroups == 0) {
        E.error(ERROR, kExploreContent, Msg::m49_unknown_group_count);
        return 0;
    }
    // Groups beyond the count are not read: the keyword search that follows
    // stops at their brace.
    if (NbGroupsRead >= NbGroups) return 1;
    std::string const where =
        std::string(kExploreContent) + " (group#" + std::to_string(NbGroupsRead + 1) + ")";
    out << "{\n";
    is.ignore(std::numeric_limits<std::streamsize>::max(), '{');
    if (is.eof() || is.fail()) {
        E.error(ERROR, my_string(where.c_str()), Msg::m50_missing_group_opening_brace);
        return 0;
    }
    my_string member;
    while (get_qstring(is, member)) out << member << "\n";
    int c = is.fail() ? std::char_traits<char>::eof() : is.get();
    while (c != std::char_traits<char>::eof() && c != '}' && !is_alnum(c)) c = is.get();
    if (c != '}') {
        E.error(ERROR, my_string(where.c_str()), Msg::m52_missing_group_closing_brace);
        return 0;
    }
    out << "}\n";
    ++NbGroupsRead;
    return 1;
}

}  // namespace quintle
