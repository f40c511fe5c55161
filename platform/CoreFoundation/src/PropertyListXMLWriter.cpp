// The XML writer: objects straight to text, without libplist's node tree.
//
// Writing the preferences store is the heaviest step of a provisioning run, and building
// libplist's tree for it (a node, its data and a copy of every string, per value; then freeing
// them) cost more than producing the text. The text is the one libplist's writer gives for the
// same values, byte for byte, so stores written before and after read and compare the same:
//  - the three-line prologue, then the value; children one tab deeper than their container;
//  - dictionary keys in the order the platform's writer sorts them (UTF-16 code units);
//  - "&", "<" and ">" escaped in keys and strings, and a carriage return as "&#13;" (an XML
//    reader turns a raw one into a line feed);
//  - integers in decimal (unsigned above the signed range), reals as "%.17g" in the C locale
//    with "0.0", "nan", "+infinity" and "-infinity" for the special values;
//  - data as base64 in lines of 76 - 8 * depth characters indented by depth tabs, both counted
//    up to depth 8;
//  - dates in whole seconds, "YYYY-MM-DDTHH:MM:SSZ" (UTC);
//  - empty containers as "<array/>" and "<dict/>".
// The values refused are the ones the binary path refuses, with the same reasons.
#include "PropertyListInternal.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

using namespace cf;

namespace cf::plist {

bool xmlCarries(std::u16string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF) {
            return false;
        }
        if (U16_IS_LEAD(c)) {
            if (i + 1 >= text.size() || !U16_IS_TRAIL(text[i + 1])) {
                return false;
            }
            ++i;
        } else if (U16_IS_TRAIL(c)) {
            return false;
        }
    }
    return true;
}

bool XMLText::of(CFStringRef s)
{
    const char *fast = CFStringGetCStringPtr(s, kCFStringEncodingASCII);
    if (fast != nullptr) {
        size_t length = static_cast<size_t>(CFStringGetLength(s));
        for (size_t i = 0; i < length; ++i) {
            auto c = static_cast<unsigned char>(fast[i]);
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                return false;  // control characters, U+0000 among them
            }
        }
        fast_ = std::string_view(fast, length);
        ascii = true;
        return true;
    }
    std::u16string wide = stringText(s);
    if (!xmlCarries(wide)) {
        return false;
    }
    scratch_ = toUTF8(wide);
    ascii = false;
    return true;
}

bool EntryStack::push(CFDictionaryRef d, size_t &first, std::string &reason)
{
    size_t n = static_cast<size_t>(CFDictionaryGetCount(d));
    keys_.resize(n);
    values_.resize(n);
    CFDictionaryGetKeysAndValues(d, keys_.data(), values_.data());
    first = entries_.size();
    XMLText text;
    for (size_t i = 0; i < n; ++i) {
        if (keys_[i] == nullptr || CFGetTypeID(keys_[i]) != CFStringGetTypeID()) {
            pop(first);
            reason = "a dictionary key that is not a string";
            return false;
        }
        auto key = static_cast<CFStringRef>(keys_[i]);
        if (!text.of(key)) {
            pop(first);
            reason = "a dictionary key holding characters XML cannot carry";
            return false;
        }
        std::string_view view = text.text();
        if (!text.ascii) {
            // A deque keeps its elements in place as it grows: the view stays valid.
            converted_.emplace_back(entries_.size(), std::string(view));
            view = converted_.back().second;
        }
        entries_.push_back(Entry{key, values_[i], view, text.ascii});
    }
    // The platform's writer sorts keys with CFStringCompare and no options (UTF-16 code units);
    // for ASCII keys that is the order of their bytes. Keys are distinct: no stable sort needed.
    std::sort(entries_.begin() + static_cast<std::ptrdiff_t>(first), entries_.end(),
              [](const Entry &x, const Entry &y) {
                  if (x.ascii && y.ascii) {
                      return x.text < y.text;
                  }
                  return CFStringCompare(x.key, y.key, 0) == kCFCompareLessThan;
              });
    return true;
}

void EntryStack::pop(size_t first)
{
    entries_.resize(first);
    while (!converted_.empty() && converted_.back().first >= first) {
        converted_.pop_back();
    }
}

bool dateText(CFAbsoluteTime at, char (&out)[kDateTextRoom])
{
    double unixSeconds = std::floor(at) + static_cast<double>(kCFAbsoluteTimeIntervalSince1970);
    if (!(std::fabs(unixSeconds) < 1e15)) {
        return false;
    }
    time_t seconds = static_cast<time_t>(unixSeconds);
    struct tm parts {};
    if (gmtime_r(&seconds, &parts) == nullptr || parts.tm_year + 1900 < 0 || parts.tm_year + 1900 > 9999) {
        return false;
    }
    std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return true;
}

}  // namespace cf::plist

namespace {

using cf::plist::EntryStack;
using cf::plist::XMLText;

constexpr char kPrologue[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
constexpr char kEpilogue[] = "</plist>\n";

// Base64 lines of data narrow by 8 characters a level and stop narrowing (and indenting) at this
// depth.
constexpr int kDataIndentLimit = 8;

// The characters written as references: the three markup characters, and the carriage return.
constexpr std::array<bool, 256> kEscaped = [] {
    std::array<bool, 256> table{};
    table['&'] = table['<'] = table['>'] = table['\r'] = true;
    return table;
}();
constexpr int kDataLineWidth = 76;

class Writer {
public:
    Writer(std::string &out, std::string &reason) : out_(out), reason_(reason) {}

    bool value(CFTypeRef v, int depth)
    {
        if (v == nullptr) {
            return fail("a value is missing (NULL)");
        }
        if (depth > kMaxDepth) {
            return fail(std::string("the nesting is deeper than ") + std::to_string(kMaxDepth) + " levels");
        }
        CFTypeID t = CFGetTypeID(v);
        if (t == CFStringGetTypeID()) {
            return string(static_cast<CFStringRef>(v), depth);
        }
        if (t == CFDictionaryGetTypeID()) {
            return dictionary(static_cast<CFDictionaryRef>(v), depth);
        }
        if (t == CFArrayGetTypeID()) {
            return array(static_cast<CFArrayRef>(v), depth);
        }
        if (t == CFBooleanGetTypeID()) {
            line(depth, CFBooleanGetValue(static_cast<CFBooleanRef>(v)) ? "<true/>" : "<false/>");
            return true;
        }
        if (t == CFNumberGetTypeID()) {
            number(static_cast<CFNumberRef>(v), depth);
            return true;
        }
        if (t == CFDataGetTypeID()) {
            data(static_cast<CFDataRef>(v), depth);
            return true;
        }
        if (t == CFDateGetTypeID()) {
            return date(static_cast<CFDateRef>(v), depth);
        }
        return fail("a value of a type that property lists cannot hold");
    }

private:
    bool fail(std::string reason)
    {
        reason_ = std::move(reason);
        return false;
    }

    void indent(int depth) { out_.append(static_cast<size_t>(depth), '\t'); }

    void line(int depth, std::string_view text)
    {
        indent(depth);
        out_ += text;
        out_ += '\n';
    }

    // An element holding text: "<tag>" + text + "</tag>" on one line, the text escaped when
    // asked. Most texts need no escaping: those are written with one resize and plain copies.
    void element(int depth, std::string_view tag, std::string_view text, bool escape = false)
    {
        if (escape && std::any_of(text.begin(), text.end(),
                                  [](char c) { return kEscaped[static_cast<unsigned char>(c)]; })) {
            indent(depth);
            out_ += '<';
            out_ += tag;
            out_ += '>';
            escaped(text);
            out_ += "</";
            out_ += tag;
            out_ += ">\n";
            return;
        }
        size_t tabs = static_cast<size_t>(depth);
        size_t at = out_.size();
        out_.resize(at + tabs + 2 * tag.size() + text.size() + 6);
        char *w = &out_[at];
        std::memset(w, '\t', tabs);
        w += tabs;
        *w++ = '<';
        std::memcpy(w, tag.data(), tag.size());
        w += tag.size();
        *w++ = '>';
        std::memcpy(w, text.data(), text.size());
        w += text.size();
        *w++ = '<';
        *w++ = '/';
        std::memcpy(w, tag.data(), tag.size());
        w += tag.size();
        *w++ = '>';
        *w = '\n';
    }

    void escaped(std::string_view text)
    {
        size_t plain = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (!kEscaped[static_cast<unsigned char>(text[i])]) {
                continue;
            }
            out_.append(text.data() + plain, i - plain);
            switch (text[i]) {
            case '&': out_ += "&amp;"; break;
            case '<': out_ += "&lt;"; break;
            case '>': out_ += "&gt;"; break;
            default: out_ += "&#13;"; break;
            }
            plain = i + 1;
        }
        out_.append(text.data() + plain, text.size() - plain);
    }

    bool string(CFStringRef s, int depth)
    {
        XMLText text;
        if (!text.of(s)) {
            return fail("a string holding characters XML cannot carry (control characters or broken surrogates)");
        }
        element(depth, "string", text.text(), true);
        return true;
    }

    bool dictionary(CFDictionaryRef d, int depth)
    {
        size_t first = 0;
        if (!entries_.push(d, first, reason_)) {
            return false;
        }
        size_t end = entries_.size();
        if (first == end) {
            line(depth, "<dict/>");
            return true;
        }
        line(depth, "<dict>");
        for (size_t i = first; i < end; ++i) {
            element(depth + 1, "key", entries_[i].text, true);
            if (!value(entries_[i].value, depth + 1)) {
                return false;
            }
        }
        entries_.pop(first);
        line(depth, "</dict>");
        return true;
    }

    bool array(CFArrayRef a, int depth)
    {
        CFIndex n = CFArrayGetCount(a);
        if (n == 0) {
            line(depth, "<array/>");
            return true;
        }
        line(depth, "<array>");
        for (CFIndex i = 0; i < n; ++i) {
            if (!value(CFArrayGetValueAtIndex(a, i), depth + 1)) {
                return false;
            }
        }
        line(depth, "</array>");
        return true;
    }

    void number(CFNumberRef n, int depth)
    {
        char text[32];
        int64_t signedValue = 0;
        uint64_t bigValue = 0;
        Boolean big = false;
        std::to_chars_result written{};
        if (_CFNumberGetInteger(n, &signedValue, &bigValue, &big)) {
            written = big ? std::to_chars(text, text + sizeof text, bigValue)
                          : std::to_chars(text, text + sizeof text, signedValue);
            element(depth, "integer", std::string_view(text, static_cast<size_t>(written.ptr - text)));
            return;
        }
        double d = 0;
        CFNumberGetValue(n, kCFNumberFloat64Type, &d);
        if (std::isnan(d)) {
            element(depth, "real", "nan");
        } else if (std::isinf(d)) {
            element(depth, "real", d > 0 ? "+infinity" : "-infinity");
        } else if (d == 0) {
            element(depth, "real", "0.0");
        } else {
            written = std::to_chars(text, text + sizeof text, d, std::chars_format::general, 17);
            element(depth, "real", std::string_view(text, static_cast<size_t>(written.ptr - text)));
        }
    }

    void data(CFDataRef d, int depth)
    {
        static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const UInt8 *bytes = CFDataGetBytePtr(d);
        size_t length = static_cast<size_t>(CFDataGetLength(d));
        int lineDepth = std::min(depth, kDataIndentLimit);
        size_t width = static_cast<size_t>(kDataLineWidth - 8 * lineDepth);
        line(depth, "<data>");
        size_t column = 0;
        for (size_t i = 0; i < length; i += 3) {
            if (column == 0) {
                indent(lineDepth);
            }
            uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
            size_t have = std::min<size_t>(3, length - i);
            if (have > 1) {
                group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
            }
            if (have > 2) {
                group |= bytes[i + 2];
            }
            char quad[4] = {kAlphabet[(group >> 18) & 63], kAlphabet[(group >> 12) & 63],
                            have > 1 ? kAlphabet[(group >> 6) & 63] : '=', have > 2 ? kAlphabet[group & 63] : '='};
            out_.append(quad, 4);
            column += 4;
            if (column >= width) {
                out_ += '\n';
                column = 0;
            }
        }
        if (column != 0) {
            out_ += '\n';
        }
        line(depth, "</data>");
    }

    bool date(CFDateRef date, int depth)
    {
        char text[cf::plist::kDateTextRoom];
        if (!cf::plist::dateText(CFDateGetAbsoluteTime(date), text)) {
            return fail("a date out of range");
        }
        element(depth, "date", text);
        return true;
    }

    std::string &out_;
    std::string &reason_;
    EntryStack entries_;
};

}  // namespace

namespace cf::plist {

bool writeXMLText(CFTypeRef value, std::string &out, std::string &reason)
{
    out.assign(kPrologue);
    Writer writer(out, reason);
    if (!writer.value(value, 0)) {
        out.clear();
        return false;
    }
    out += kEpilogue;
    return true;
}

}  // namespace cf::plist
