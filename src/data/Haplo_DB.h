#pragma once

// A project's list of haplotype definitions, shared by all its samples, with
// the readers and the writer of its "[[HaplotypeDefinition]]" block and the
// binding of the definitions to the rows of a user distance matrix.

#include <cstdint>
#include <fstream>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/MY_TIArrayAsVector.h"
#include "core/my_string.h"
#include "data/HaploDef.h"
#include "run/ProfileSettings.h"

namespace quintle {

class DistMat;

class Haplo_DB : public ProfileSettings {
public:
    my_string name{"no_name"};                        // "HaplListName"
    MY_TIArrayAsVector<HaploDef> haplotypes{10, 100};  // in file order, owned

    Haplo_DB();
    Haplo_DB(Haplo_DB const& other) = default;
    Haplo_DB& operator=(Haplo_DB const& other) = default;
    ~Haplo_DB() = default;

    // Reads the definition lines of a "HaplList" block from the line the
    // stream stands at, counting each line in lineNo. An external list file
    // needs no closing brace.
    bool NewReadHaplotypeList(std::istream& is, ProfileSettings& ps, bool external, int& lineNo);

    // Older keyword reader of the block: takes ps as the list's profile,
    // empties the list and reads the keywords that follow.
    bool open(std::ifstream& is, ProfileSettings const& ps);
    bool get_settings(std::ifstream& is);
    bool read_id_content(std::ifstream& is, my_string key);
    bool read_haplotype(std::ifstream& is);

    // Path of an external list file into dst (which must be large enough):
    // a name with a folder is kept, a bare one goes in the project's folder.
    char* build_ext_name(char* dst, char const* file);

    // The first definition whose data equals text, or null.
    HaploDef* find(my_string& text);

    // The first definition with that identifier, or null. Hashed: the list
    // may be appended to directly, but identifiers must not be changed once
    // their definition is in the list.
    HaploDef* find_by_id(my_string const& identifier) const;

    // Bind matrixIndex to a user matrix's rows by label (1) or by position
    // (2); 1 on success, 0 on failure.
    int associate_with1(DistMat const& dm);
    int associate_with2(DistMat const& dm);

    // Name back to "no_name", every definition deleted.
    void reset();

    // Removes every c from every definition's data.
    void rm_separators(char c);

private:
    // Position of the first definition of each identifier. It follows
    // appends on its own and is rebuilt when the list shrank, when the first
    // or last definition it indexed is no longer in its slot (the list was
    // emptied and refilled, or a definition was removed and another
    // appended), or when a hit turns out stale.
    struct IdIndex {
        struct Hash {
            using is_transparent = void;
            std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
        };
        std::unordered_map<std::string, long, Hash, std::equal_to<>> positions;
        long synced = 0;               // definitions indexed so far
        std::uint64_t firstSerial = 0;  // serials of slot 0 and slot synced - 1
        std::uint64_t lastSerial = 0;

        IdIndex() = default;
        // A copy starts empty and indexes its own list when first used.
        IdIndex(IdIndex const&) {}
        IdIndex& operator=(IdIndex const&) {
            clear();
            return *this;
        }
        void clear() {
            positions.clear();
            synced = 0;
            firstSerial = lastSerial = 0;
        }
    };

    long id_position(std::string_view identifier) const;
    void sync_id_index() const;
    void rebuild_id_index() const;
    std::uint64_t serial_at(long pos) const;
    void delete_all();
    bool read_in_file_list(std::ifstream& is);
    bool read_external_list(std::ifstream& is);

    mutable IdIndex idIndex_;
};

// The "[[HaplotypeDefinition]]" block; nothing for an empty list.
std::ostream& operator<<(std::ostream& os, Haplo_DB& db);

}  // namespace quintle
