#pragma once

// Markup shared by every result writer: the XML/HTML switch, XML section
// tags, header blocks and named anchors. In the XML result file free text
// lies inside "data" elements; a section tag's open() closes the current one
// and its close() opens a new one, so sections and free text alternate.

#include <ostream>

#include "core/my_string.h"

namespace quintle {

// True: result files are written as XML; false: as HTML. Starts true; the
// project run sets it from the settings before writing any result.
extern bool xmlOutput;

// Whether the structure analyses put navigation entries into the result
// file's menu: true from the start, cleared by the scan for loci under
// selection while it re-runs those analyses on scratch data.
extern bool htmlOutput;

// An XML section element. Each operation returns the text of one line
// (ending with '\n') and writes nothing. The attribute is written only when
// both its name and its value are set; attribute values and the time text
// are escaped, the element name is taken as the program gives it.
class TXmlTag {
public:
    explicit TXmlTag(char const* tagName);

    // "</data> <name[ attr=\"value\"] time=\"<time>\">": ends the free text
    // and opens the section. A line end inside the name cuts the text there.
    my_string open() const;
    // "</name> <data>": ends the section and reopens the free text.
    my_string close() const;
    // "<name>" and "</name>": plain start and end tags (the root element).
    my_string write() const;
    my_string end() const;

    my_string name;
    my_string attributeName;
    my_string attributeValue;

    // Put into every opened section; "not set yet" until the project run
    // sets the run's time text.
    static my_string& time;
};

// The fixed tags, usable from static initialisation on (see detail below).
namespace PmlXmlTags {
extern TXmlTag& rootTag;    // "Pellomar", the root element of the XML file
extern TXmlTag& refTag;     // "reference"
extern TXmlTag& dataTag;    // "data", the element holding free text
extern TXmlTag& headerTag;  // "header"
}  // namespace PmlXmlTags

// A header block: written whatever the output form, between a closed and a
// reopened "data" element.
struct THeader {
    my_string text;
};

// A named anchor in its XML form (between a closed and a reopened "data"
// element) and in its HTML form.
struct xml_anchor {
    my_string name;
};

struct html_anchor {
    my_string name;
};

std::ostream& operator<<(std::ostream& os, THeader const& header);
std::ostream& operator<<(std::ostream& os, xml_anchor const& anchor);
std::ostream& operator<<(std::ostream& os, html_anchor const& anchor);

namespace detail {
// One instance per translation unit: the first constructed builds the fixed
// tags and TXmlTag::time, the last destroyed releases them, so no unit
// depends on the order in which units are initialised.
struct XmlTagsInit {
    XmlTagsInit();
    ~XmlTagsInit();
    XmlTagsInit(XmlTagsInit const&) = delete;
    XmlTagsInit& operator=(XmlTagsInit const&) = delete;
};
static XmlTagsInit xml_tags_init_instance;
}  // namespace detail

}  // namespace quintle
