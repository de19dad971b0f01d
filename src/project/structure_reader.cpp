// Reader of the "[[Structure]]" sub-section of a project file.

#include <new>
#include <sstream>
#include <string_view>
#include <unordered_map>

#include "core/Errors.h"
#include "core/checked_int.h"
#include "core/parsing.h"
#include "project/Samples.h"
#include "project/Structure.h"

namespace quintle {

int NbGroupsRead = 0;

namespace {

constexpr char kReaderName[] = "Structure::NewReadStructure";
constexpr int kMaxSectionLines = 9999;

std::string_view view_of(my_string const& s) {
    return std::string_view(s.c_str(), static_cast<std::size_t>(s.length()));
}

// Passes over the blanks and tabs that begin the next line.
void skip_leading_blanks(std::istream& is) {
    for (int c = is.peek(); c == ' ' || c == '\t'; c = is.peek()) is.get();
}

// What the group being read has seen so far.
struct OpenGroup {
    int index = 0;            // 0-based; messages show index + 1
    bool openBraceSeen = false;
};

// What a line handler tells the line loop.
enum class LineStep {
    next,         // go on with the next line
    end_section,  // the section ends here; its end checks follow
    fail,         // the project must be abandoned (messages written)
    done,         // every group is read: the rest is the caller's
};

}  // namespace

// State of one read: the name index of the sample set, the group of each
// sample already placed and the group being read; one handler per kind of
// line.
class Structure::SectionReader {
public:
    SectionReader(Structure& s, Samples& samples, int& lineNo) : s_(s), samples_(samples), lineNo_(lineNo) {
        PopulationGroup& all = samples.Populations;
        byName_.reserve(static_cast<std::size_t>(all.count));
        for (long i = 0; i < all.count; ++i)
            if (Population* p = all.data[i]) byName_.emplace(view_of(p->name), p);  // first of a name wins
    }

    LineStep structure_name(my_string const& line) {
        if (checkForPresenceOfEqualSign(line, "StructureName", lineNo_) == 0) return LineStep::next;
        if (line.contains("EXTERN")) {
            E.error(ERROR, my_string("Structure::NewReadStructure()"),
                    Msg::m195_extern_structure_unsupported);
            *_AOS_ << "\tWarning: External definition of the GENETIC STRUCTURE is not possible anymore.\n"
                   << "\tPlease incorporate it into the project. Skipping reading of the Genetic structure."
                   << std::endl;
            return LineStep::end_section;
        }
        my_string value;
        if (!getQuotedString(line, value, "StructureName", lineNo_)) {
            // Going on would lose the rest of the file without a word.
            *_AOS_ << "\tWarning: Bad value assigned to StructureName on line " << lineNo_ << std::endl;
            *_AOS_ << "\tAborting reading project." << std::endl;
            E.error(WARNING, kReaderName, Msg::m46_invalid_structure_name);
            return LineStep::fail;
        }
        s_.StructureName = value;
        return LineStep::next;
    }

    LineStep nb_groups(my_string const& line) {
        if (checkForPresenceOfEqualSign(line, "NbGroups", lineNo_) == 0) return LineStep::next;
        // The group arrays are sized by the count in force when the first
        // group is read: a later count cannot be honoured.
        if (s_.Groups) {
            *_AOS_ << "\tError: \"NbGroups\" is redefined on line " << lineNo_
                   << " after the first group. Aborting reading project." << std::endl;
            E.error(WARNING, kReaderName, Msg::m47_invalid_nb_groups);
            return LineStep::fail;
        }
        double value = 0.0;
        if (!getValue(line, value, "NbGroups", lineNo_)) {
            *_AOS_ << "\tAborting reading project." << std::endl;
            E.error(WARNING, kReaderName, Msg::m47_invalid_nb_groups);
            return LineStep::fail;
        }
        int count = 0;
        if (!checked_int(value, count) || count < 0 || count > samples_.Populations.count) {
            *_AOS_ << "\tError: Invalid number of groups (" << value << ") on line " << lineNo_
                   << ". It must lie between 0 and the number of samples (" << samples_.Populations.count
                   << "). Aborting reading project." << std::endl;
            E.error(WARNING, kReaderName, Msg::m47_invalid_nb_groups);
            return LineStep::fail;
        }
        s_.NbGroups = count;
        return LineStep::next;
    }

    // A group definition: its names on this line and, up to its closing
    // brace, on the lines that follow.
    LineStep group(std::istream& is, my_string& line) {
        if (s_.NbGroups == 0) {
            *_AOS_ << "\tError: Unexpected \"Group\" section found on line " << lineNo_
                   << ". Expected number of group is zero. Check that \"NbGroups\" has "
                   << "been previously defined. Aborting reading project." << std::endl;
            E.error(ERROR, kReaderName, Msg::m49_unknown_group_count);
            return LineStep::fail;
        }
        if (groupsRead_ == 0) {
            try {
                s_.build_group_arrays();
            } catch (std::bad_alloc const&) {
                s_.reset();
                E.error(MEMORY, kReaderName, Msg::m0_not_enough_memory);
                return LineStep::fail;
            }
        }
        if (groupsRead_ >= s_.NbGroups) return LineStep::done;  // further groups are left to the caller

        group_ = OpenGroup{groupsRead_, false};
        groupOpen_ = true;
        s_.GroupSizes[groupsRead_] = 0;
        if (checkForPresenceOfEqualSign(line, "Group", lineNo_) != 0) {
            my_string const text = scanned_text(line, group_);
            if (line.contains('"') && !read_names(text)) return LineStep::fail;
            LineStep const body = group_body(is, line);
            if (body != LineStep::next) return body;
        }
        if (group_is_empty_error()) return LineStep::fail;
        groupOpen_ = false;
        ++groupsRead_;
        return LineStep::next;
    }

    // The checks when the section ends: a group still open counts, and the
    // groups read must be the groups announced.
    bool end_of_section() {
        if (groupOpen_) {
            if (group_is_empty_error()) return false;
            ++groupsRead_;
        }
        if (groupsRead_ != s_.NbGroups) {
            *_AOS_ << "\tInvalid number of groups defined. " << s_.NbGroups << "were expected, while " << groupsRead_
                   << " have been found!\n"
                   << "\tCheck your [[Structure]] section, for missing group or unquoted sample names\n"
                   << "\tAborting reading project." << std::endl;
            E.error(ERROR, kReaderName, Msg::m47_invalid_nb_groups);
            return false;
        }
        return true;
    }

private:
    // The lines after the group's first, up to its closing brace; the end of
    // the input or a Mantel header leaves it open and ends the section.
    LineStep group_body(std::istream& is, my_string& line) {
        bool closed = line.contains('}');
        while (!closed && !is.fail()) {
            line.read_line(is);
            if (is.fail() && line.length() == 0) break;
            ++lineNo_;
            clearLineAfterPoundSign(line);
            my_string upperNext(line);
            upperNext.to_upper();
            if (upperNext.contains("[MANTEL]")) break;
            my_string const next = scanned_text(line, group_);
            closed = line.contains('}');
            if (closed && !group_.openBraceSeen) {
                *_AOS_ << "\tError: Missing opening brace in Group #" << group_.index + 1
                       << ". Aborting reading project" << std::endl;
                E.error(ERROR, kReaderName, Msg::m50_missing_group_opening_brace);
                return LineStep::fail;
            }
            if (group_.openBraceSeen && line.contains('"') && !read_names(next)) return LineStep::fail;
        }
        return closed ? LineStep::next : LineStep::end_section;
    }

    // Reads the names of `text` into the open group; false after an error.
    bool read_names(my_string const& text) {
        std::istringstream names(std::string(text.c_str(), static_cast<std::size_t>(text.length())));
        my_string name;
        while (get_qstring(names, name)) {
            auto const found = byName_.find(view_of(name));
            if (found == byName_.end()) {
                *_AOS_ << "\tError: Sample " << '"' << name << '"' << " defined in Group #" << group_.index + 1
                       << " on line " << lineNo_ << " has not been defined in the [Samples] section.\n"
                       << "\tAborting reading project." << std::endl;
                E.error(ERROR, kReaderName, Msg::m51_unknown_sample_name);
                return false;
            }
            Population* sample = found->second;
            auto const placed = groupOf_.find(sample);
            if (placed != groupOf_.end()) {
                *_AOS_ << "\tError: Sample " << '"' << name << '"' << " defined in Group #" << group_.index + 1
                       << " on line " << lineNo_ << " has been alredy included in group #" << placed->second + 1
                       << ".\n"
                       << "\tAborting reading project." << std::endl;
                E.error(ERROR, kReaderName, Msg::m206_sample_twice_in_group);
                return false;
            }
            groupOf_.emplace(sample, group_.index);
            ++s_.GroupSizes[group_.index];
            ++s_.NbSamplesInGroups;
            s_.Groups[group_.index].Add(sample);
        }
        return true;
    }

    // The text of a group line that holds names: after its first "{" (which
    // then counts as seen), else the whole line.
    static my_string scanned_text(my_string const& line, OpenGroup& group) {
        if (line.contains('{')) {
            group.openBraceSeen = true;
            return line.extract_after('{');
        }
        return line;
    }

    bool group_is_empty_error() const {
        if (s_.GroupSizes && s_.GroupSizes[group_.index] > 0) return false;
        *_AOS_ << "\t\tError while exploring structure of Group # " << group_.index + 1
               << ". It does not contain any population sample\n"
               << "\t\t\tCheck your [[Structure]] section, for unquoted sample names\n"
               << "\t\tAborting reading project." << std::endl;
        E.error(ERROR, kReaderName, Msg::m205_empty_group);
        return true;
    }

    Structure& s_;
    Samples& samples_;
    int& lineNo_;
    std::unordered_map<std::string_view, Population*> byName_;
    std::unordered_map<Population const*, int> groupOf_;
    int groupsRead_ = 0;
    bool groupOpen_ = false;  // a group still waiting for its closing brace
    OpenGroup group_;
};

int Structure::NewReadStructure(std::istream& is, ProfileSettings& profile, Samples& samples, int& lineNo,
                                my_string& line, bool& sawStructureName, bool& sawNbGroups,
                                bool& sawIndividualLevel, bool& sawGroup) {
    reset();
    ProfileSettings::operator=(profile);
    NbGroupsRead = 0;

    SectionReader reader(*this, samples, lineNo);
    for (int linesRead = 0; !is.fail() && linesRead < kMaxSectionLines; ++linesRead) {
        line.read_line(is);
        if (is.fail() && line.length() == 0) break;  // end of input
        ++lineNo;
        if (line.length() == 0) continue;
        skip_leading_blanks(is);
        clearLineAfterPoundSign(line);
        my_string upper(line);
        upper.to_upper();

        if (upper.contains("[MANTEL]")) break;

        LineStep step = LineStep::next;
        if (upper.contains("STRUCTURENAME")) {
            sawStructureName = true;
            step = reader.structure_name(line);
        } else if (upper.contains("NBGROUPS")) {
            sawNbGroups = true;
            step = reader.nb_groups(line);
        } else if (upper.contains("DISTMATLABEL")) {
            *_AOS_ << "\tWarning: Keyword \"DistMatLabel\" is obsolete. Skipping keyword." << std::endl;
        } else if (upper.contains("INDIVIDUALLEVEL")) {
            sawIndividualLevel = true;
            *_AOS_ << "\tWarning: Keyword \"IndividualLevel\" defined on line " << lineNo
                   << " is obsolete. Activation of this option is now made through the interface." << std::endl;
        } else if (upper.contains("GROUP")) {
            sawGroup = true;
            step = reader.group(is, line);
        }
        if (step == LineStep::fail) return 0;
        if (step == LineStep::done) return 1;
        if (step == LineStep::end_section) break;
    }
    return reader.end_of_section() ? 1 : 0;
}

}  // namespace quintle
