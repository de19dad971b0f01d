#pragma once

// Key lookup in a settings file of "key=value" lines. Sections, comments and
// blank lines mean nothing to it: the value of a key is taken from the first
// line, among the first profile_max_lines of the file, that contains the key
// anywhere (case-sensitive) and has at least one character after its first
// '=' inside the line's first `window` characters.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quintle {

inline constexpr int profile_max_lines = 2000;
// A longer line ends the lookup as the end of the file does.
inline constexpr std::size_t profile_max_line_length = 1001099;

// The lines of a settings file as the lookup sees them, read once so that
// many keys can be looked up without reopening the file. A carriage return
// ending a line belongs to its line end, not to its text.
class PrivateProfile {
public:
    explicit PrivateProfile(char const* fileName);

    bool is_open() const { return open_; }

    // Value of `key`: the characters after the first '=' of the first
    // matching line, up to the line end or to line position `window`
    // (exclusive), whichever comes first. Returns false, `value` empty, when
    // no line yields a value (also for an empty key or an unreadable file).
    bool lookup(std::string_view key, int window, std::string& value) const;

private:
    std::vector<std::string> lines_;
    // Per line, which characters it holds (bit c % 64 for character c): a
    // line lacking one of a key's characters cannot hold the key, and most
    // lines are passed over on that alone.
    std::vector<std::uint64_t> holds_;
    bool open_ = false;
};

// Looks `key` up in `fileName` and copies its value into `returned`, which
// holds `size` bytes; `size` is also the window of the lookup, so the copy
// always fits with its terminating NUL. Returns 1 when a value was found, 0
// otherwise (then `returned` is the empty text). `section` and
// `defaultString` are accepted for the customary signature and not used.
int GetPrivateProfileString(char const* section, char const* key, char const* defaultString,
                            char* returned, int const& size, char const* fileName);

// Whole-section reads are not needed by this program: does nothing, returns 1.
int GetPrivateProfileSection(char const* section, char* returned, int const& size,
                             char const* fileName);

// Hook for handing control to a user interface during long work; a console
// run has none.
void Listen2World();

}  // namespace quintle
