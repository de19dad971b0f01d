// Reader of the "[[Structure]]" sub-section of a project file.

#include <new>
#include <sstream>
#include <string_view>
#include <unordered_map>

#include "core/Errors.h"
#include "core/parsing.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "project/checked_int.h"

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

// State of one read: the name index of the sample set and the group of each
// sample already placed.
class StructureReader {
public:
    StructureReader(Structure& s, Samples& samples, int& lineNo) : s_(s), lineNo_(lineNo) {
        PopulationGroup& all = samples.Populations;
        byName_.reserve(static_cast<std::size_t>(all.count));
        for (long i = 0; i < all.count; ++i)
            if (Population* p = all.data[i]) byName_.emplace(view_of(p->name), p);  // first of a name wins
    }

    // Reads the names of `text` into the open group; false after an error.
    bool read_names(my_string const& text, OpenGroup const& group) {
        std::istringstream names(std::string(text.c_str(), static_cast<std::size_t>(text.length())));
        my_string name;
        while (get_qstring(names, name)) {
            auto const found = byName_.find(view_of(name));
            if (found == byName_.end()) {
                *_AOS_ << "\tError: Sample " << '"' << name << '"' << " defined in Group #" << group.index + 1
                       << " on line " << lineNo_ << " has not been defined in the [Samples] section.\n"
                       << "\tAborting reading project." << std::endl;
                E.error(ERROR, kReaderName, 51);
                return false;
            }
            Population* sample = found->second;
            auto const placed = groupOf_.find(sample);
            if (placed != groupOf_.end()) {
                *_AOS_ << "\tError: Sample " << '"' << name << '"' << " defined in Group #" << group.index + 1
                       << " on line " << lineNo_ << " has been alredy included in group #" << placed->second + 1
                       << ".\n"
                       << "\tAborting reading project." << std::endl;
                E.error(ERROR, kReaderName, 206);
                return false;
            }
            groupOf_.emplace(sample, group.index);
            ++s_.GroupSizes[group.index];
            ++s_.NbSamplesInGroups;
            s_.Groups[group.index].Add(sample);
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

    bool group_is_empty_error(OpenGroup const& group) const {
        if (s_.GroupSizes && s_.GroupSizes[group.index] > 0) return false;
        *_AOS_ << "\t\tError while exploring structure of Group # " << group.index + 1
               << ". It does not contain any population sample\n"
               << "\t\t\tCheck your [[Structure]] section, for unquoted sample names\n"
               << "\t\tAborting reading project." << std::endl;
        E.error(ERROR, kReaderName, 205);
        return true;
    }

private:
    Structure& s_;
    int& lineNo_;
    std::unordered_map<std::string_view, Population*> byName_;
    std::unordered_map<Population const*, int> groupOf_;
};

}  // namespace

int Structure::NewReadStructure(std::istream& is, ProfileSettings& profile, Samples& samples, int& lineNo,
                                my_string& line, bool& sawStructureName, bool& sawNbGroups,
                                bool& sawIndividualLevel, bool& sawGroup) {
    reset();
    ProfileSettings::operator=(profile);
    NbGroupsRead = 0;

    StructureReader reader(*this, samples, lineNo);
    int groupsRead = 0;
    bool groupOpen = false;  // a group still waiting for its closing brace
    OpenGroup group;

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

        if (upper.contains("STRUCTURENAME")) {
            sawStructureName = true;
            if (checkForPresenceOfEqualSign(line, "StructureName", lineNo) == 0) continue;
            if (line.contains("EXTERN")) {
                E.error(ERROR, my_string("Structure::NewReadStructure()"), 195);
                *_AOS_ << "\tWarning: External definition of the GENETIC STRUCTURE is not possible anymore.\n"
                       << "\tPlease incorporate it into the project. Skipping reading of the Genetic structure."
                       << std::endl;
                break;
            }
            my_string value;
            if (!getQuotedString(line, value, "StructureName", lineNo)) {
                // Going on would lose the rest of the file without a word.
                *_AOS_ << "\tWarning: Bad value assigned to StructureName on line " << lineNo << std::endl;
                *_AOS_ << "\tAborting reading project." << std::endl;
                E.error(WARNING, kReaderName, 46);
                return 0;
            }
            StructureName = value;
            continue;
        }

        if (upper.contains("NBGROUPS")) {
            sawNbGroups = true;
            if (checkForPresenceOfEqualSign(line, "NbGroups", lineNo) == 0) continue;
            // The group arrays are sized by the count in force when the
            // first group is read: a later count cannot be honoured.
            if (Groups) {
                *_AOS_ << "\tError: \"NbGroups\" is redefined on line " << lineNo
                       << " after the first group. Aborting reading project." << std::endl;
                E.error(WARNING, kReaderName, 47);
                return 0;
            }
            double value = 0.0;
            if (!getValue(line, value, "NbGroups", lineNo)) {
                *_AOS_ << "\tAborting reading project." << std::endl;
                E.error(WARNING, kReaderName, 47);
                return 0;
            }
            int count = 0;
            if (!checked_int(value, count) || count < 0 || count > samples.Populations.count) {
                *_AOS_ << "\tError: Invalid number of groups (" << value << ") on line " << lineNo
                       << ". It must lie between 0 and the number of samples (" << samples.Populations.count
                       << "). Aborting reading project." << std::endl;
                E.error(WARNING, kReaderName, 47);
                return 0;
            }
            NbGroups = count;
            continue;
        }

        if (upper.contains("DISTMATLABEL")) {
            *_AOS_ << "\tWarning: Keyword \"DistMatLabel\" is obsolete. Skipping keyword." << std::endl;
            continue;
        }

        if (upper.contains("INDIVIDUALLEVEL")) {
            sawIndividualLevel = true;
            *_AOS_ << "\tWarning: Keyword \"IndividualLevel\" defined on line " << lineNo
                   << " is obsolete. Activation of this option is now made through the interface." << std::endl;
            continue;
        }

        if (!upper.contains("GROUP")) continue;

        // A group definition.
        sawGroup = true;
        if (NbGroups == 0) {
            *_AOS_ << "\tError: Unexpected \"Group\" section found on line " << lineNo
                   << ". Expected number of group is zero. Check that \"NbGroups\" has "
                   << "been previously defined. Aborting reading project." << std::endl;
            E.error(ERROR, kReaderName, 49);
            return 0;
        }
        if (groupsRead == 0) {
            try {
                build_group_arrays();
            } catch (std::bad_alloc const&) {
                reset();
                E.error(MEMORY, kReaderName, 0);
                return 0;
            }
        }
        if (groupsRead >= NbGroups) return 1;  // further groups are left to the caller

        group = OpenGroup{groupsRead, false};
        groupOpen = true;
        GroupSizes[groupsRead] = 0;
        if (checkForPresenceOfEqualSign(line, "Group", lineNo) != 0) {
            my_string const text = StructureReader::scanned_text(line, group);
            if (line.contains('"') && !reader.read_names(text, group)) return 0;

            bool closed = line.contains('}');
            while (!closed && !is.fail()) {
                line.read_line(is);
                if (is.fail() && line.length() == 0) break;
                ++lineNo;
                clearLineAfterPoundSign(line);
                my_string upperNext(line);
                upperNext.to_upper();
                if (upperNext.contains("[MANTEL]")) break;
                my_string const next = StructureReader::scanned_text(line, group);
                closed = line.contains('}');
                if (closed && !group.openBraceSeen) {
                    *_AOS_ << "\tError: Missing opening brace in Group #" << group.index + 1
                           << ". Aborting reading project" << std::endl;
                    E.error(ERROR, kReaderName, 50);
                    return 0;
                }
                if (group.openBraceSeen && line.contains('"') && !reader.read_names(next, group)) return 0;
            }
            if (!closed) break;  // end of section with the group still open
        }
        if (reader.group_is_empty_error(group)) return 0;
        groupOpen = false;
        ++groupsRead;
    }

    // End of section.
    if (groupOpen) {
        if (reader.group_is_empty_error(group)) return 0;
        ++groupsRead;
    }
    if (groupsRead != NbGroups) {
        *_AOS_ << "\tInvalid number of groups defined. " << NbGroups << "were expected, while " << groupsRead
               << " have been found!\n"
               << "\tCheck your [[Structure]] section, for missing group or unquoted sample names\n"
               << "\tAborting reading project." << std::endl;
        E.error(ERROR, kReaderName, 47);
        return 0;
    }
    return 1;
}

}  // namespace quintle
