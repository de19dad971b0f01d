#pragma once

// The keys of the settings file, declared once. Each row names a key, the
// field it fills (whose type says how the text converts and how the value is
// written back), the field's default and the comment lines written above
// the key; heading rows lay out the written file. The reader
// (read_settings), the defaults (reset_initial_values), the copy and the
// writer (print_settings) all walk this one table, so a new key is one row
// here and one field in settings.h. Fields that no key sets stay out of it.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "run/settings.h"

namespace quintle::settings_file {

// How a key's text becomes its field, and how the field is written back.
enum class Kind : unsigned char {
    None,           // a heading row
    Int,            // my_atol, held within int range; "%d"
    IntAtoi,        // my_atoi; "%d"
    Int64,          // my_atol; "%ld"
    Double,         // my_atof; "%f"
    DoubleExp,      // my_atof; "%e"
    DoubleFromInt,  // my_atol, stored as a double; "%f"
    Flag,           // true for any non-zero my_atol value; written 0 or 1
    Text            // copied as it stands
};

// A field of the settings record; the member pointer's type gives the kind.
struct Field {
    Kind kind = Kind::None;
    int settings::*i32 = nullptr;
    std::int64_t settings::*i64 = nullptr;
    double settings::*f64 = nullptr;
    bool settings::*flag = nullptr;
    my_string settings::*text = nullptr;

    constexpr Field() = default;
    constexpr Field(int settings::*f) : kind(Kind::Int), i32(f) {}
    constexpr Field(std::int64_t settings::*f) : kind(Kind::Int64), i64(f) {}
    constexpr Field(double settings::*f) : kind(Kind::Double), f64(f) {}
    constexpr Field(bool settings::*f) : kind(Kind::Flag), flag(f) {}
    constexpr Field(my_string settings::*f) : kind(Kind::Text), text(f) {}
};

// The few keys converted or written otherwise than their type suggests.
constexpr Field read_atoi(int settings::*f) {
    Field r(f);
    r.kind = Kind::IntAtoi;
    return r;
}
constexpr Field read_as_integer(double settings::*f) {
    Field r(f);
    r.kind = Kind::DoubleFromInt;
    return r;
}
constexpr Field exponent_form(double settings::*f) {
    Field r(f);
    r.kind = Kind::DoubleExp;
    return r;
}

// Where a row stands in the written file.
enum class Layout : unsigned char {
    Block,       // empty line, comment lines, empty line, key line
    Tight,       // comment lines, empty line, key line (no empty line before)
    Bare,        // the key line alone
    Framed,      // rule, comment lines, empty line, key line, rule, empty line
    Unwritten,   // read, never written
    Heading,     // empty line, the text between two rules as long as itself,
                 // then `count` empty lines
    Subheading   // empty line, the text, a rule of `count` dashes
};

// A second field tied to a key.
enum class Partner : unsigned char {
    None,
    WrittenFrom,  // the key is written with the partner's value
    Mirrored      // written from the partner, and a value read counts for both
};

struct Row {
    std::string_view name;  // the key, or a heading's text
    Field field;
    double initial = 0.0;  // text keys start empty
    std::string_view comments;  // lines separated by '\n'
    Layout layout = Layout::Block;
    // An optional key absent from a file keeps its value; any other absent
    // key takes 0.
    bool optional = false;
    Partner partner_role = Partner::None;
    Field partner;
    int count = 0;

    constexpr bool is_key() const { return layout != Layout::Heading && layout != Layout::Subheading; }
};

// Every row, in the order of the written file.
std::span<Row const> rows();

// Lookup window of a key's value: the first 100 characters of a line, 400
// for a text key.
int value_window(Field const& f);
// Converts `text` into the field.
void store(settings& s, Field const& f, char const* text);
// Gives the field the row's default.
void set_initial(settings& s, Row const& row);
void copy_field(settings& to, settings const& from, Field const& f);
// The value as a key line writes it.
std::string value_text(settings const& s, Field const& f);

}  // namespace quintle::settings_file
