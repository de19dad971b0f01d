#pragma once

#include <string>
#include <string_view>

namespace quintle {

// Names written into the result files come from project files (sample names,
// titles, paths), so they are escaped where they meet markup or script text.
// Letters, digits, blanks, '_', '-', '.', '/' and ':' always pass unchanged.

// Text for XML or HTML content: & < > " ' become entities.
std::string xml_escape(std::string_view text);
// The same for an attribute value, which also keeps tabs and line ends as
// character references so that the value cannot end the tag's line.
std::string xml_attribute_escape(std::string_view text);

// Text placed inside a JavaScript string literal delimited by `quote`:
// backslash, that quote, line ends and other control characters are escaped,
// and '<' becomes \x3C so that the text can never close a script element.
std::string js_string_escape(std::string_view text, char quote);

}  // namespace quintle
