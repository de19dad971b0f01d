#include "core/xml.h"

#include <new>
#include <string>
#include <string_view>

#include "core/markup_escape.h"

namespace quintle {

bool xmlOutput = true;
bool htmlOutput = true;

namespace {

struct XmlStatics {
    my_string time{"not set yet"};
    TXmlTag root{"Pellomar"};
    TXmlTag ref{"reference"};
    TXmlTag data{"data"};
    TXmlTag header{"header"};
};

// Constant-initialised storage: its address is fixed before any dynamic
// initialisation, and XmlTagsInit constructs the objects in place.
union XmlSlot {
    constexpr XmlSlot() : none() {}
    ~XmlSlot() {}
    char none;
    XmlStatics statics;
};

constinit XmlSlot xml_slot;
constinit int xml_init_count = 0;

my_string to_my_string(std::string const& text) { return my_string(text.c_str()); }

void put(std::ostream& os, std::string const& text) {
    os.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

constinit my_string& TXmlTag::time = xml_slot.statics.time;

namespace PmlXmlTags {
constinit TXmlTag& rootTag = xml_slot.statics.root;
constinit TXmlTag& refTag = xml_slot.statics.ref;
constinit TXmlTag& dataTag = xml_slot.statics.data;
constinit TXmlTag& headerTag = xml_slot.statics.header;
}  // namespace PmlXmlTags

namespace detail {

XmlTagsInit::XmlTagsInit() {
    if (xml_init_count++ == 0) new (&xml_slot.statics) XmlStatics();
}

XmlTagsInit::~XmlTagsInit() {
    if (--xml_init_count == 0) xml_slot.statics.~XmlStatics();
}

}  // namespace detail

TXmlTag::TXmlTag(char const* tagName) : name(tagName) {}

my_string TXmlTag::open() const {
    std::string text = "</data> <";
    text += name.c_str();
    if (!attributeName.is_null() && !attributeValue.is_null()) {
        text += ' ';
        text += attributeName.c_str();
        text += "=\"";
        text += xml_attribute_escape(std::string_view(attributeValue.c_str()));
        text += '"';
    }
    text += " time=\"";
    text += xml_attribute_escape(std::string_view(time.c_str()));
    text += "\">";
    // The text is one line: whatever follows a line end is not part of it.
    const auto eol = text.find('\n');
    if (eol != std::string::npos) text.erase(eol);
    text += '\n';
    return to_my_string(text);
}

my_string TXmlTag::close() const {
    return to_my_string(std::string("</") + name.c_str() + "> <data>\n");
}

my_string TXmlTag::write() const { return to_my_string(std::string("<") + name.c_str() + ">\n"); }

my_string TXmlTag::end() const { return to_my_string(std::string("</") + name.c_str() + ">\n"); }

std::ostream& operator<<(std::ostream& os, THeader const& header) {
    put(os, "\n</data>\n\n<header>\n" + xml_escape(std::string_view(header.text.c_str())) +
                "\n</header>\n<data>\n\n");
    return os;
}

std::ostream& operator<<(std::ostream& os, xml_anchor const& anchor) {
    put(os, "</data>\n\n <A NAME=\"" + xml_attribute_escape(std::string_view(anchor.name.c_str())) +
                "\"></A> \n<data>\n\n");
    return os;
}

std::ostream& operator<<(std::ostream& os, html_anchor const& anchor) {
    put(os, "<A NAME=\"" + xml_attribute_escape(std::string_view(anchor.name.c_str())) + "\"></A>\n");
    return os;
}

}  // namespace quintle
