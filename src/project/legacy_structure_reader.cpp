// The older, token-based reader of a "[[Structure]]" sub-section: "key =
// value" entries, each "Group = { names }" naming samples already read.
// Other keywords are read as profile keywords into the structure's profile.

#include <fstream>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/Errors.h"
#include "core/input_files.h"
#include "core/parsing.h"
#include "project/Samples.h"
#include "project/Structure.h"

namespace quintle {

namespace {

constexpr char kOpen[] = "Structure::open()";
constexpr char kContent[] = "Structure::read_id_content()";

bool is_alnum(int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string_view view_of(my_string const& s) {
    return std::string_view(s.c_str(), static_cast<std::size_t>(s.length()));
}

std::string group_text(int g) { return std::string(kContent) + " (group#" + std::to_string(g + 1) + ")"; }

void report(ErrorType kind, std::string const& where, Msg message) {
    E.error(kind, my_string(where.c_str()), message);
}

// Passes over everything up to and including the next `c`; false when the
// input ends first.
bool skip_past(std::istream& is, char c) {
    is.ignore(std::numeric_limits<std::streamsize>::max(), c);
    return !is.eof() && !is.fail();
}

// The group's closing brace: the characters up to the first letter, digit
// or "}" must end at a "}", which is consumed.
bool closing_brace(std::istream& is) {
    if (is.fail()) return false;
    for (;;) {
        int const c = is.get();
        if (c == std::char_traits<char>::eof()) return false;
        if (c == '}') return true;
        if (is_alnum(c)) {
            is.unget();
            return false;
        }
    }
}

// Appends a member, the array doubling when full: a group may list its
// samples any number of times, and reading it stays linear in its length.
long append_member(PopulationGroup& group, Population* p) {
    if (group.count >= group.capacity && group.step < group.capacity) group.step = group.capacity;
    return group.Add(p);
}

}  // namespace

// The samples of the set by name, built at the first group of a section;
// the first sample of a name is the one found.
class Structure::NameIndex {
public:
    Population* find(Samples& samples, my_string const& name) {
        if (!built_) {
            PopulationGroup& all = samples.Populations;
            byName_.reserve(static_cast<std::size_t>(all.count));
            for (long i = 0; i < all.count; ++i)
                if (Population* p = all.data[i]) byName_.emplace(view_of(p->name), p);
            built_ = true;
        }
        auto const hit = byName_.find(view_of(name));
        return hit == byName_.end() ? nullptr : hit->second;
    }

private:
    bool built_ = false;
    std::unordered_map<std::string_view, Population*> byName_;
};

int Structure::open(std::istream& is, ProfileSettings& profile, Samples& samples) {
    reset();
    ProfileSettings::operator=(profile);
    NbGroupsRead = 0;
    NameIndex index;
    my_string key;
    for (;;) {
        key = "";
        if (!get_next_ident(is, key)) {
            if (NbGroupsRead == NbGroups) return 1;
            report(ERROR, kOpen, Msg::m47_invalid_nb_groups);
            return 0;
        }
        if (!is_identifier(key)) {
            report(ERROR, kOpen, Msg::m54_bad_structure_keyword);
            return 0;
        }
        if (read_content(is, samples, key, index) == 0) {
            reset();
            report(ERROR, std::string(kOpen) + " (\"" + key.c_str() + "\")", Msg::m55_invalid_keyword_value);
            return 0;
        }
    }
}

int Structure::read_id_content(std::istream& is, Samples& samples, my_string const& key) {
    NameIndex index;
    return read_content(is, samples, key, index);
}

int Structure::read_content(std::istream& is, Samples& samples, my_string const& key, NameIndex& index) {
    if (key == "structurename") return read_structure_name(is);
    if (key == "distmatlabel") {
        my_string value;
        if (!get_qstring(is, value)) {
            report(ERROR, kContent, Msg::m48_invalid_dist_mat_label);
            return 0;
        }
        DistMatLabel = value;
        return 1;
    }
    if (key == "nbgroups") {
        int value = 0;
        if (!(is >> value)) {
            report(ERROR, kContent, Msg::m47_invalid_nb_groups);
            return 0;
        }
        if (Groups) {
            // The group arrays were sized by the count in force at the first
            // group: a new count would let later groups run past them.
            report(ERROR, kContent, Msg::m47_invalid_nb_groups);
            return 0;
        }
        if (value < 0 || value > 1000)
            report(ERROR, kContent, Msg::m47_invalid_nb_groups);
        else
            NbGroups = value;
        return 1;
    }
    if (key == "group") return read_group(is, samples, index);
    if (!read_profile_id_content(is, key)) {
        report(ERROR, kContent, Msg::m54_bad_structure_keyword);
        return 0;
    }
    return 1;
}

int Structure::read_structure_name(std::istream& is) {
    my_string value;
    if (!get_qstring(is, value)) {
        report(ERROR, kContent, Msg::m46_invalid_structure_name);
        return 0;
    }
    if (!(value == "EXTERN")) {
        StructureName = value;
        return 1;
    }
    // An external structure file is only checked for, never read.
    if (!get_qstring(is, value)) {
        StructureName = value;
        return 1;
    }
    if (value.contains('"') && value.length() >= 2) {
        value.remove(value.length() - 1, 1);
        value.remove(0, 1);
    }
    std::ifstream file;
    if (!open_input_file(file, value.c_str())) {
        report(ERROR, kContent, Msg::m45_cannot_open_extern_structure);
        return 0;
    }
    *_AOS_ << "\t\tMust read External AMOVA Group file...\n";
    StructureName = value;
    return 1;
}

int Structure::read_group(std::istream& is, Samples& samples, NameIndex& index) {
    int const g = NbGroupsRead;
    if (NbGroups == 0) {
        report(ERROR, kContent, Msg::m49_unknown_group_count);
        return 0;
    }
    if (g == 0) {
        try {
            build_group_arrays();
        } catch (std::bad_alloc const&) {
            reset();
            report(MEMORY, kContent, Msg::m0_not_enough_memory);
            return 0;
        }
    }
    if (g >= NbGroups) {
        reset();
        report(ERROR, kContent, Msg::m53_too_many_groups);
        return 0;
    }
    if (!skip_past(is, '{')) {
        report(ERROR, group_text(g), Msg::m50_missing_group_opening_brace);
        return 0;
    }
    GroupSizes[g] = 0;
    my_string member;
    while (get_qstring(is, member)) {
        Population* p = index.find(samples, member);
        if (p == nullptr) {
            report(ERROR, std::string(kContent) + " (\"" + member.c_str() + "\")", Msg::m51_unknown_sample_name);
            reset();
            NbGroupsRead = 0;
            return 0;
        }
        if (append_member(Groups[g], p) == 0) {
            report(ERROR, group_text(g), Msg::m51_unknown_sample_name);
            return 0;
        }
        ++GroupSizes[g];
        ++NbSamplesInGroups;
    }
    if (!closing_brace(is)) {
        report(ERROR, group_text(g), Msg::m52_missing_group_closing_brace);
        return 0;
    }
    ++NbGroupsRead;
    return 1;
}

}  // namespace quintle
