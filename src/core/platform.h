#pragma once

#include <string>
#include <string_view>

namespace quintle {

// File-system operations used across the program, in one place so that the
// rest of the code never touches the operating system's own calls.

// Creates the directory (permission bits 0755). True when the directory
// exists afterwards, whether it was created now or existed already.
bool MY_CreateDirectory(char const* path);

// Removes the file; a missing file or a directory is left alone. Always true.
bool MY_DeleteFile(char const* path);

// Copies the text file `src` to `dest` (destination first) line by line; the
// copy ends with one more empty line than the source. False when the source
// cannot be read or the destination cannot be written.
bool MY_CopyFile(char const* dest, char const* src);

// True when the file can be opened for reading now.
bool can_open_for_reading(char const* path);
inline bool can_open_for_reading(std::string const& path) { return can_open_for_reading(path.c_str()); }

// Replaces the whole content of the file with `text` while holding an
// exclusive lock on it, so that processes writing the same small file of the
// working folder at once leave one whole content, never a mix of theirs.
// False when the file cannot be written.
bool MY_ReplaceFileContent(char const* path, std::string const& text);

// Makes `text` the whole content of the file (created when missing): written
// over the old bytes, then cut to its length, rather than emptying the file
// first. On file systems that give back an emptied file's blocks at once
// (and discard them) and then write its new data out when it is closed,
// this costs a fraction of a rewrite from empty. What is not a regular file
// (a pipe, a device) is not written into: it is removed and a new file made
// in its place. For the files of a result folder, which one run writes at
// a time; false when the text could not be written.
bool MY_RewriteFile(char const* path, std::string_view text);

// Appends `text` to the end of the file (created when missing) in one write
// under an exclusive lock, so that processes appending to it at once never
// mix their texts. False when the file cannot be written.
bool MY_AppendToFile(char const* path, std::string const& text);

}  // namespace quintle
