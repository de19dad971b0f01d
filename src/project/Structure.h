#pragma once

// The genetic structure of a project: a named partition of (some of) the
// samples of a sample set into groups. Groups borrow their members from the
// sample set the structure was built over, which must outlive the
// structure's use of them; a structure never deletes a sample.

#include <istream>
#include <memory>
#include <ostream>

#include "core/MY_TIArrayAsVector.h"
#include "core/my_string.h"
#include "data/Population.h"
#include "run/ProfileSettings.h"

namespace quintle {

class Samples;

using PopulationGroup = MY_TIArrayAsVector<Population>;

// Number of groups read so far by the older structure readers; the current
// section reader only sets it back to 0.
extern int NbGroupsRead;

class Structure : public ProfileSettings {
public:
    my_string StructureName;
    // Samples placed in groups: the sum of GroupSizes.
    int NbSamplesInGroups = 0;
    // The structure's own group count (not the profile part's NbGroups).
    int NbGroups = 0;
    // Both absent until the first group is built, then NbGroups entries
    // each: the member count of group g and its members in file order.
    // Group arrays never own their members.
    std::unique_ptr<int[]> GroupSizes;
    std::unique_ptr<PopulationGroup[]> Groups;

    Structure() = default;
    Structure(Structure const& other);
    ~Structure() = default;

    // Empties the structure; name and profile part stay.
    void reset();

    // Shallow copy: the groups point to the same samples as the source's.
    Structure& operator=(Structure const& other);

    // True when p is, by identity, a member of some group.
    bool has_population(Population const* p) const;

    // AMOVA report header followed by the structure in project-file form.
    void print_structure(std::ostream& os);

    // Reads the body of the "[[Structure]]" sub-section; members are looked
    // up by name in `samples`. `line` receives the last line read (a Mantel
    // header that ends the section stays there for the caller). 1: go on;
    // 0: the project must be abandoned (messages written).
    int NewReadStructure(std::istream& is, ProfileSettings& profile, Samples& samples, int& lineNo,
                         my_string& line, bool& sawStructureName, bool& sawNbGroups, bool& sawIndividualLevel,
                         bool& sawGroup);

    // Rebuilds the groups of `source` over the same-named samples of a
    // one-locus sample set. 0 when a member has no same-named copy.
    int build_one_loci_str(Samples* oneLocusSamples, Structure* source);

    // --- the older, token-based reader (legacy_structure_reader.cpp) ------
    // Reads the sub-section's "key = value" entries up to the next "[" or
    // the end of the input; group members are looked up by name in
    // `samples` (a sample may stand twice in a group). 1 when exactly
    // NbGroups groups were read; 0 after the report, the structure reset.
    int open(std::istream& is, ProfileSettings& profile, Samples& samples);
    // The value of one lower-case keyword just read. 1 or 0.
    int read_id_content(std::istream& is, Samples& samples, my_string const& key);

    // --- the project explorer (project_explorer.cpp) ----------------------
    // Writes the groups of the sub-section into the file `fileName`: the
    // NbGroups value, then each group as "{", its member names and "}", one
    // per line. Only the group count changes here. 1 when as many groups as
    // NbGroups were found, 0 after the report.
    int explore(std::istream& is, char const* fileName);
    // The value of one lower-case keyword just read, its lines to `out`.
    int explore_content(std::istream& is, my_string const& key, std::ostream& out);

private:
    class NameIndex;
    int read_content(std::istream& is, Samples& samples, my_string const& key, NameIndex& index);
    int read_structure_name(std::istream& is);
    int read_group(std::istream& is, Samples& samples, NameIndex& index);
    int explore_group(std::istream& is, std::ostream& out);
    // NbGroups empty, non-owning group arrays and zeroed sizes.
    void build_group_arrays();
    // The state and line handlers of one NewReadStructure (structure_reader.cpp).
    class SectionReader;
};

// Writes the "[[Structure]]" block; nothing when there is no group.
std::ostream& operator<<(std::ostream& os, Structure& s);

}  // namespace quintle
