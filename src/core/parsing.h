#pragma once

#include <istream>

#include "core/keyword_tables.h"
#include "core/my_string.h"

namespace quintle {

// Text helpers with which the project-file readers walk a project file:
// sections ("[Profile]"), sub-sections ("[[Samples]]"), keyword lines
// (keyword "=" value), brace-enclosed lists and "#" comments.
//
// Character classes are those of the "C" locale whatever the current locale;
// a byte above 127 is in no class, but it may open and continue a word (a
// name or identifier in UTF-8), as a letter does; 0xFF ends a word. A
// "blank" is a space, a tab or a carriage return. Skipping "the rest of a
// line" discards everything up to and including the next line feed, however
// long the line is; reaching the end of the input there leaves the stream
// failed, as any read past the end does.
//
// Every helper only reads: none opens, closes or rewinds its stream.

// ---------------------------------------------------------------------------
// Stream helpers
// ---------------------------------------------------------------------------

// A byte above 127 is in no class of the "C" locale, but it is part of a
// word (a name or an identifier in UTF-8 text); keywords are ASCII. 0xFF,
// never in UTF-8, ends a word as the text readers have it. `c` as given by
// get() or peek().
inline bool is_word_byte_above_ascii(int c) { return c > 0x7F && c != 0xFF; }
// A byte that stands in a word of the project readers: visible ASCII, or one
// of the bytes above.
inline bool is_word_byte(int c) { return (c > ' ' && c < 0x7F) || is_word_byte_above_ascii(c); }

// Reads a non-negative integer. Non-printable characters (tabs included) are
// passed over; a line feed ends the search with false (consumed); any other
// printable character, the space and a sign included, is consumed and gives
// false. True when the stream is good after the number.
bool get_int(std::istream& is, int& value);

// Reads one character between quotes (double quotes or apostrophes, mixed
// freely). Spaces and non-printable characters before the opening quote are
// passed over; a line feed gives false. A missing opening quote is left in
// the stream; a missing closing quote leaves the stream just after the
// opening quote. c receives the quoted character once it has been read.
bool get_qchar(std::istream& is, char& c);

// True when nothing but blanks and an optional comment remain on the line;
// the line feed (or the comment up to it) is consumed. Otherwise the first
// graphic character (or byte above 127) is left in the stream and the
// result is false.
bool test_end_of_line(std::istream& is);

// Passes over white space and comments up to a letter, digit, byte above
// 127, double quote, apostrophe, "[" or "}", which stays in the stream: true.
// Any other graphic character is consumed and reported (ERROR 100): false.
// Reaching the end of the input while skipping gives false without a report;
// a stream with nothing left, or not good, on entry gives true and nothing
// is read.
bool skip_comments(std::istream& is);

// Reads the next value: a text between double quotes, one character (or
// none) between apostrophes, or a bare word starting with a letter, digit or
// byte above 127.
// A bare word ends at a space, a carriage return or a line end (the line
// feed stays in the stream); it is cut before its first "}" (a "}" is then
// put back for the caller) and before its first "/".
// Anything else is left in the stream and gives false.
bool get_qstring(std::istream& is, my_string& s);

// Reads the next word of the current line (a token starting with a letter or
// digit), lower-cased. A line feed met first is left in the stream: false.
bool get_word(std::istream& is, my_string& s);

// True when the word is one of Identifiers (case-sensitive).
bool is_identifier(my_string const& word);

// Reads the next keyword: the text before "=" (consumed), cut at its first
// space and lower-cased. False at a "[" (left in the stream) or at the end of
// the input, key unchanged; false with key "*" when skip_comments refuses a
// character or the keyword text runs into the end of the input.
bool get_next_ident(std::istream& is, my_string& key);

// Moves the stream just after "[section]", then "[[subsection]]", then
// "key=" (names compared without regard to case; an empty name matches
// anything). The search goes on to the end of the input, past the end of
// the wanted section. False when the place is not found; where stated, with ERROR 102
// and a cleared stream state.
bool position_after(std::istream& is, my_string section, my_string subsection, my_string key);
bool go_to_section(std::istream& is, my_string name);
bool go_to_sub_section(std::istream& is, my_string name);

// Reads the next sub-section header "[[name]]" into name (lower-cased) and
// returns the name's place in SubSections counted from 1; 0 when there is no
// further header or on error.
int get_next_subsection(std::istream& is, my_string& name);

// ---------------------------------------------------------------------------
// Line helpers: work on one line already read. `key` and `lineNo` only word
// the warnings.
// ---------------------------------------------------------------------------

// Position of the first "=" in the line; 0 (with WARNING 188) when there is
// none. A line beginning with "=" also gives 0.
int checkForPresenceOfEqualSign(my_string const& line, char const* key, int lineNo);

// Cuts the line at its first "#", quoted or not.
void clearLineAfterPoundSign(my_string& line);

// The text between the first two quotes of the text after the first "=" of
// the line; double quotes take precedence over apostrophes.
bool getQuotedString(my_string const& line, my_string& value, char const* key, int lineNo);

// The whole text after the first "=" (the whole line without "="), untrimmed.
bool getUnQuotedString(my_string const& line, my_string& value, char const* key, int lineNo);

// The number after the first "=". value is set in every case; true when the
// whole text converts and is not plus infinity.
bool getValue(my_string const& line, double& value, char const* key, int lineNo);

// True when the file name begins with "/".
bool detectFullPathInFileName(my_string const& name);

}  // namespace quintle
