// The fast XML reader: the plain documents writers make, straight to objects.
//
// Reading the preferences store is the heaviest step of a provisioning run, and going through
// libplist means a node (and a copy of each text) per value, the objects made from the nodes,
// and the nodes freed again. This reader makes the objects as it goes, for documents in the shape
// writers give them: an optional XML declaration and DOCTYPE without an internal subset, one
// <plist> element holding one value, elements without attributes, text with only the five named
// entities, decimal integers in the signed 64-bit range without leading zeros, dates in whole
// seconds, base64 data, and strict UTF-8.
//
// Anything else it leaves to libplist's path, which decides: the fast reader never refuses a
// document, it either reads it or defers. What it reads is what libplist's path reads from the
// same bytes (the property-list fuzz target and the tests hold the two against each other), so
// the choice of path never shows. It stops deferring only at a failed object creation, which the
// slow path would meet as well.
#include "PropertyListInternal.h"

#include <array>
#include <cstdint>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

using namespace cf;

namespace {

using cf::plist::Uniquer;

constexpr std::string_view kWhitespace = " \t\n\r";

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool validUTF8(std::string_view text)
{
    size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 0;
        if (extra == 0 || c > 0xF4 || n - i <= extra) {
            return false;
        }
        auto c1 = static_cast<unsigned char>(text[i + 1]);
        if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) ||
            (c == 0xF4 && c1 > 0x8F)) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

class FastReader {
public:
    FastReader(const char *bytes, size_t length, CFOptionFlags option, Uniquer &strings)
        : p_(bytes), end_(bytes + length), option_(option), strings_(strings)
    {
    }

    // The document's value; NULL when deferred (deferred() true) or when a creation failed.
    CFTypeRef document()
    {
        skipWhitespace();
        if (startsWith("<?xml") && !skipDeclaration("?>")) {
            return defer();
        }
        skipWhitespace();
        if (startsWith("<!DOCTYPE") && !skipDeclaration(">")) {
            return defer();
        }
        skipWhitespace();
        if (!startsWith("<plist") || end_ - p_ < 7 || (p_[6] != '>' && kWhitespace.find(p_[6]) == std::string_view::npos) ||
            !skipDeclaration(">") || p_[-2] == '/') {
            return defer();
        }
        skipWhitespace();
        CFTypeRef v = value(0);
        if (v == nullptr) {
            return nullptr;
        }
        skipWhitespace();
        if (!take("</plist>")) {
            CFRelease(v);
            return defer();
        }
        skipWhitespace();
        if (p_ != end_) {
            CFRelease(v);
            return defer();
        }
        return v;
    }

    bool deferred() const { return deferred_; }
    const std::string &reason() const { return reason_; }

private:
    CFTypeRef defer()
    {
        deferred_ = true;
        return nullptr;
    }

    CFTypeRef failed(const char *reason)
    {
        reason_ = reason;
        return nullptr;
    }

    bool startsWith(std::string_view s) const
    {
        return static_cast<size_t>(end_ - p_) >= s.size() && std::memcmp(p_, s.data(), s.size()) == 0;
    }

    bool take(std::string_view s)
    {
        if (!startsWith(s)) {
            return false;
        }
        p_ += s.size();
        return true;
    }

    // Past a declaration that ends at the first `end` outside double quotes, with no markup or
    // internal subset inside; false for any other shape.
    bool skipDeclaration(std::string_view end)
    {
        bool quoted = false;
        for (const char *q = p_ + 2; q < end_; ++q) {
            if (*q == '"') {
                quoted = !quoted;
            } else if (quoted) {
                continue;
            } else if (static_cast<size_t>(end_ - q) >= end.size() && std::memcmp(q, end.data(), end.size()) == 0) {
                p_ = q + end.size();
                return true;
            } else if (*q == '<' || *q == '>' || *q == '[') {
                return false;
            }
        }
        return false;
    }

    void skipWhitespace()
    {
        while (p_ != end_ && kWhitespace.find(*p_) != std::string_view::npos) {
            ++p_;
        }
    }

    // The text up to "</" + tag + ">", with the named entities replaced: false (deferring) for
    // any other markup, reference or control character in it, or text that is not UTF-8.
    bool text(std::string_view closeTag, std::string_view &out)
    {
        const char *start = p_;
        const char *lt = static_cast<const char *>(std::memchr(p_, '<', static_cast<size_t>(end_ - p_)));
        if (lt == nullptr) {
            return false;
        }
        std::string_view raw(start, static_cast<size_t>(lt - start));
        p_ = lt;
        if (!take(closeTag)) {
            return false;
        }
        bool plain = true;
        for (char c : raw) {
            auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t' && c != '\n') || c == '>') {
                return false;
            }
            plain = plain && c != '&';
        }
        if (plain) {
            out = raw;
            return validUTF8(out);
        }
        scratch_.clear();
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '&') {
                scratch_ += raw[i];
                continue;
            }
            static constexpr std::pair<std::string_view, char> kEntities[] = {
                {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
            bool known = false;
            for (const auto &[name, c] : kEntities) {
                if (raw.substr(i, name.size()) == name) {
                    scratch_ += c;
                    i += name.size() - 1;
                    known = true;
                    break;
                }
            }
            if (!known) {
                return false;
            }
        }
        out = scratch_;
        return validUTF8(out);
    }

    CFTypeRef string(bool empty)
    {
        std::string_view t = "";  // never a null pointer, even for <string/>
        if (!empty && !text("</string>", t)) {
            return defer();
        }
        CFStringRef s = option_ == kCFPropertyListMutableContainersAndLeaves ? plist::stringFromBytes(t.data(), t.size(), true)
                                                                              : strings_.get(t.data(), t.size());
        return s != nullptr ? s : failed("a string that is not UTF-8");
    }

    CFTypeRef integer()
    {
        std::string_view t;
        if (!text("</integer>", t) || t.empty()) {
            return defer();
        }
        bool negative = t[0] == '-';
        std::string_view digits = t.substr(negative ? 1 : 0);
        // A leading zero makes libplist's path read the rest as octal (and "0x" as hex): left to it.
        if (digits.empty() || digits.size() > 19 || (digits.size() > 1 && digits[0] == '0') ||
            digits.find_first_not_of("0123456789") != std::string_view::npos) {
            return defer();
        }
        uint64_t magnitude = 0;  // 19 digits always fit
        for (char c : digits) {
            magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
        }
        uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(INT64_MAX);
        if (magnitude > limit) {
            return defer();  // beyond the signed range: libplist's path decides
        }
        int64_t v = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
        CFNumberRef n = strings_.number(v);
        return n != nullptr ? n : failed("a number that cannot be made");
    }

    CFTypeRef date()
    {
        std::string_view t;
        if (!text("</date>", t) || t.size() != 20) {
            return defer();
        }
        // YYYY-MM-DDTHH:MM:SSZ
        static constexpr char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
        for (size_t i = 0; i < t.size(); ++i) {
            bool digit = t[i] >= '0' && t[i] <= '9';
            if (kShape[i] == 'd' ? !digit : t[i] != kShape[i]) {
                return defer();
            }
        }
        auto field = [&](size_t at, size_t n) {
            int v = 0;
            for (size_t i = at; i < at + n; ++i) {
                v = v * 10 + (t[i] - '0');
            }
            return v;
        };
        plist::CivilTime civil{field(0, 4), field(5, 2), field(8, 2), field(11, 2), field(14, 2), field(17, 2)};
        if (!plist::validCivilTime(civil)) {
            return defer();
        }
        CFDateRef d = CFDateCreate(nullptr, plist::absoluteTimeOf(civil));
        return d != nullptr ? d : failed("a date that cannot be made");
    }

    CFTypeRef data()
    {
        std::string_view t;
        if (!text("</data>", t)) {
            return defer();
        }
        std::string bytes;
        if (!plist::decodeBase64(t, bytes)) {
            return defer();
        }
        CFTypeRef d = plist::dataFromBytes(reinterpret_cast<const UInt8 *>(bytes.data()), bytes.size(),
                                           option_ == kCFPropertyListMutableContainersAndLeaves);
        return d != nullptr ? d : failed("data that cannot be made");
    }

    CFTypeRef array(int depth)
    {
        CFMutableArrayRef a = newArray(0);
        for (;;) {
            skipWhitespace();
            if (take("</array>")) {
                break;
            }
            CFTypeRef element = value(depth + 1);
            if (element == nullptr) {
                CFRelease(a);
                return nullptr;
            }
            CFArrayAppendValue(a, element);
            CFRelease(element);
        }
        return container(a);
    }

    CFTypeRef dictionary(int depth)
    {
        CFMutableDictionaryRef d = newDictionary(0);
        for (;;) {
            skipWhitespace();
            if (take("</dict>")) {
                break;
            }
            std::string_view keyText;
            if (!take("<key>") || !text("</key>", keyText)) {
                CFRelease(d);
                return defer();
            }
            CFStringRef key = strings_.get(keyText.data(), keyText.size());
            if (key == nullptr) {
                CFRelease(d);
                return failed("a dictionary key that is not UTF-8");
            }
            skipWhitespace();
            CFTypeRef v = value(depth + 1);
            if (v == nullptr) {
                CFRelease(key);
                CFRelease(d);
                return nullptr;
            }
            CFDictionarySetValue(d, key, v);
            CFRelease(key);
            CFRelease(v);
        }
        return container(d);
    }

    // A container read whole, frozen unless the caller asked for mutable containers.
    CFTypeRef container(CFTypeRef c)
    {
        if (option_ == kCFPropertyListImmutable) {
            freeze(c);
        }
        return c;
    }

    CFTypeRef value(int depth)
    {
        // The root is depth 0. libplist's path counts the elements, "plist" and keys among them,
        // and refuses past kMaxDepth + 1: anything that deep is left to it.
        if (depth >= kMaxDepth) {
            return defer();
        }
        if (take("<string>")) {
            return string(false);
        }
        if (take("<dict>")) {
            return dictionary(depth);
        }
        if (take("<integer>")) {
            return integer();
        }
        if (take("<true/>")) {
            return kCFBooleanTrue;
        }
        if (take("<false/>")) {
            return kCFBooleanFalse;
        }
        if (take("<array>")) {
            return array(depth);
        }
        if (take("<string/>")) {
            return string(true);
        }
        if (take("<dict/>")) {
            return container(newDictionary(0));
        }
        if (take("<array/>")) {
            return container(newArray(0));
        }
        if (take("<data>")) {
            return data();
        }
        if (take("<date>")) {
            return date();
        }
        return defer();
    }

    const char *p_;
    const char *end_;
    CFOptionFlags option_;
    Uniquer &strings_;
    bool deferred_ = false;
    std::string reason_;
    std::string scratch_;
};

}  // namespace

namespace cf::plist {

bool decodeBase64(std::string_view text, std::string &out)
{
    static constexpr std::array<int8_t, 256> kValue = [] {
        std::array<int8_t, 256> table{};
        table.fill(-1);
        const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i) {
            table[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
        }
        return table;
    }();
    out.clear();
    uint32_t group = 0;
    int have = 0;     // characters of the current group
    int padding = 0;  // "=" seen
    for (char c : text) {
        if (kWhitespace.find(c) != std::string_view::npos) {
            continue;
        }
        if (c == '=') {
            if (have < 2 || ++padding + have > 4) {
                return false;
            }
            continue;
        }
        int8_t v = kValue[static_cast<unsigned char>(c)];
        if (v < 0 || padding > 0) {
            return false;
        }
        group = (group << 6) | static_cast<uint32_t>(v);
        if (++have == 4) {
            out += static_cast<char>(group >> 16);
            out += static_cast<char>(group >> 8);
            out += static_cast<char>(group);
            group = 0;
            have = 0;
        }
    }
    if (padding == 0) {
        return have == 0;
    }
    if (have + padding != 4) {
        return false;
    }
    group <<= 6 * padding;
    out += static_cast<char>(group >> 16);
    if (have == 3) {
        out += static_cast<char>(group >> 8);
    }
    return true;
}

FastXMLResult readXMLFast(const char *bytes, size_t length, CFOptionFlags option, Uniquer &strings,
                          std::string &reason)
{
    FastReader reader(bytes, length, option, strings);
    CFTypeRef v = reader.document();
    if (reader.deferred()) {
        if (v != nullptr) {
            CFRelease(v);
        }
        return {nullptr, true};
    }
    if (v == nullptr) {
        reason = reader.reason();
    }
    return {v, false};
}

}  // namespace cf::plist
