// Property lists: validity, deep copies and the XML and binary formats through libplist.
//
// libplist (2.2) is used for the XML and binary syntax; the conversion to and from objects is
// done here, and so are the repairs for what libplist gets wrong:
//  - its parser recurses without a limit (deep nesting overflows the stack): the nesting depth is
//    checked on the text before libplist sees it;
//  - its integers are 64-bit patterns with an internal sign flag that the API does not show: an
//    integer whose top bit is set is told apart (-1 or 18446744073709551615) from its own text,
//    and an unsigned value above the signed range is written through a parsed node;
//  - its dates are 32-bit seconds in the API (1933 to 2069): dates outside are read from their
//    text and written through a parsed node;
//  - its writer emits control characters raw (XML cannot carry them) and carriage returns raw
//    (XML readers turn them into line feeds): the first kind is refused before writing, the
//    second is written as a character reference.
#include "Internal.h"

#include <plist/plist.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

using namespace cf;

extern "C" {
CFNumberRef _CFNumberCreateUnsigned64(uint64_t value);
Boolean _CFNumberGetInteger(CFNumberRef number, int64_t *value, uint64_t *bigValue, Boolean *isBig);
}

namespace {

struct PlistFree {
    void operator()(void *p) const { plist_free(p); }
};
using PlistHolder = std::unique_ptr<void, PlistFree>;

struct Failure {
    std::string reason;
};

bool isPlistType(CFTypeID t)
{
    return t == CFStringGetTypeID() || t == CFNumberGetTypeID() || t == CFBooleanGetTypeID() ||
           t == CFDataGetTypeID() || t == CFDateGetTypeID() || t == CFArrayGetTypeID() ||
           t == CFDictionaryGetTypeID();
}

// ---- Validity ----

bool valid(CFTypeRef value, int depth, std::string &reason)
{
    if (value == nullptr) {
        reason = "a value is missing (NULL)";
        return false;
    }
    if (depth > kMaxDepth) {
        reason = std::string("the nesting is deeper than ") + std::to_string(kMaxDepth) + " levels";
        return false;
    }
    CFTypeID t = CFGetTypeID(value);
    if (!isPlistType(t)) {
        reason = "a value of a type that property lists cannot hold";
        return false;
    }
    if (t == CFArrayGetTypeID()) {
        CFArrayRef a = static_cast<CFArrayRef>(value);
        for (CFIndex i = 0, n = CFArrayGetCount(a); i < n; ++i) {
            if (!valid(CFArrayGetValueAtIndex(a, i), depth + 1, reason)) {
                return false;
            }
        }
    } else if (t == CFDictionaryGetTypeID()) {
        CFDictionaryRef d = static_cast<CFDictionaryRef>(value);
        CFIndex n = CFDictionaryGetCount(d);
        std::vector<const void *> keys(static_cast<size_t>(n));
        std::vector<const void *> values(static_cast<size_t>(n));
        CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
        for (CFIndex i = 0; i < n; ++i) {
            if (keys[static_cast<size_t>(i)] == nullptr || CFGetTypeID(keys[static_cast<size_t>(i)]) != CFStringGetTypeID()) {
                reason = "a dictionary key that is not a string";
                return false;
            }
            if (!valid(values[static_cast<size_t>(i)], depth + 1, reason)) {
                return false;
            }
        }
    }
    return true;
}

// ---- Deep copy ----

CFTypeRef deepCopy(CFTypeRef value, CFOptionFlags option, int depth)
{
    if (value == nullptr || depth > kMaxDepth) {
        return nullptr;
    }
    CFTypeID t = CFGetTypeID(value);
    if (t == CFStringGetTypeID()) {
        return option == kCFPropertyListMutableContainersAndLeaves
                   ? static_cast<CFTypeRef>(CFStringCreateMutableCopy(nullptr, 0, static_cast<CFStringRef>(value)))
                   : CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value));
    }
    if (t == CFDataGetTypeID()) {
        return option == kCFPropertyListMutableContainersAndLeaves
                   ? static_cast<CFTypeRef>(CFDataCreateMutableCopy(nullptr, 0, static_cast<CFDataRef>(value)))
                   : CFDataCreateCopy(nullptr, static_cast<CFDataRef>(value));
    }
    if (t == CFNumberGetTypeID() || t == CFBooleanGetTypeID() || t == CFDateGetTypeID()) {
        return CFRetain(value);
    }
    bool mutableContainer = option != kCFPropertyListImmutable;
    if (t == CFArrayGetTypeID()) {
        CFArrayRef a = static_cast<CFArrayRef>(value);
        CFIndex n = CFArrayGetCount(a);
        CFMutableArrayRef copy = newArray(static_cast<size_t>(n));
        for (CFIndex i = 0; i < n; ++i) {
            CFTypeRef element = deepCopy(CFArrayGetValueAtIndex(a, i), option, depth + 1);
            if (element == nullptr) {
                CFRelease(copy);
                return nullptr;
            }
            CFArrayAppendValue(copy, element);
            CFRelease(element);
        }
        if (!mutableContainer) {
            freeze(copy);
        }
        return copy;
    }
    if (t == CFDictionaryGetTypeID()) {
        CFDictionaryRef d = static_cast<CFDictionaryRef>(value);
        CFIndex n = CFDictionaryGetCount(d);
        std::vector<const void *> keys(static_cast<size_t>(n));
        std::vector<const void *> values(static_cast<size_t>(n));
        CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
        CFMutableDictionaryRef copy = newDictionary(static_cast<size_t>(n));
        for (CFIndex i = 0; i < n; ++i) {
            CFTypeRef key = deepCopy(keys[static_cast<size_t>(i)], kCFPropertyListImmutable, depth + 1);
            CFTypeRef element = deepCopy(values[static_cast<size_t>(i)], option, depth + 1);
            if (key == nullptr || element == nullptr) {
                CFRelease(key);
                CFRelease(element);
                CFRelease(copy);
                return nullptr;
            }
            CFDictionarySetValue(copy, key, element);
            CFRelease(key);
            CFRelease(element);
        }
        if (!mutableContainer) {
            freeze(copy);
        }
        return copy;
    }
    return nullptr;
}

// ---- XML nesting check ----

// The deepest element nesting of an XML text as libplist's parser will nest it; stops counting
// (returns limit + 1) once past limit. It must never see less nesting than the parser: where the
// two could read a construct differently, it errs on the deeper side. In a tag, a declaration and
// a processing instruction only the double quote quotes (the parser takes an apostrophe as an
// ordinary character); a comment or CDATA section ends at the first terminator after its opener.
int xmlDepth(const char *p, size_t n, int limit)
{
    int depth = 0;
    int deepest = 0;
    size_t i = 0;
    // Past the end of a construct whose opener (of openerLength characters after the "<") is at
    // i; with quotes, an end inside double quotes does not count.
    auto skipPast = [&](size_t openerLength, const char *end, bool quotes) {
        size_t endLength = std::strlen(end);
        bool quoted = false;
        for (i += openerLength; i < n; ++i) {
            if (quotes && p[i] == '"') {
                quoted = !quoted;
            } else if (!quoted && n - i >= endLength && std::memcmp(p + i, end, endLength) == 0) {
                i += endLength;
                return;
            }
        }
    };
    while (i < n) {
        const char *lt = static_cast<const char *>(std::memchr(p + i, '<', n - i));
        if (lt == nullptr) {
            break;
        }
        i = static_cast<size_t>(lt - p) + 1;
        if (i >= n) {
            break;
        }
        if (n - i >= 3 && std::memcmp(p + i, "!--", 3) == 0) {
            skipPast(3, "-->", false);
        } else if (n - i >= 8 && std::memcmp(p + i, "![CDATA[", 8) == 0) {
            skipPast(8, "]]>", false);
        } else if (p[i] == '?') {
            skipPast(1, "?>", true);
        } else if (p[i] == '!') {
            int brackets = 0;
            bool quoted = false;
            for (; i < n; ++i) {
                if (p[i] == '"') {
                    quoted = !quoted;
                } else if (quoted) {
                    continue;
                } else if (p[i] == '[') {
                    ++brackets;
                } else if (p[i] == ']') {
                    --brackets;
                } else if (p[i] == '>' && brackets <= 0) {
                    ++i;
                    break;
                }
            }
        } else if (p[i] == '/') {
            --depth;
            skipPast(1, ">", false);
        } else {
            bool quoted = false;
            bool selfClosing = false;
            for (; i < n; ++i) {
                char c = p[i];
                if (c == '"') {
                    quoted = !quoted;
                } else if (!quoted && c == '>') {
                    selfClosing = i > 0 && p[i - 1] == '/';
                    ++i;
                    break;
                }
            }
            if (!selfClosing) {
                ++depth;
                deepest = std::max(deepest, depth);
                if (deepest > limit) {
                    return limit + 1;
                }
            }
        }
    }
    return deepest;
}

// ---- Binary nesting check ----

uint64_t readBigEndian(const unsigned char *p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

// The deepest container nesting of a binary property list, found without recursion (libplist's
// binary reader recurses); -1 for a structure that is not sound (bad offsets, a container that
// holds itself).
int binaryDepth(const unsigned char *p, size_t n, int limit)
{
    if (n < 8 + 32) {
        return -1;
    }
    const unsigned char *trailer = p + n - 32;
    size_t offsetSize = trailer[6];
    size_t refSize = trailer[7];
    uint64_t count = readBigEndian(trailer + 8, 8);
    uint64_t top = readBigEndian(trailer + 16, 8);
    uint64_t table = readBigEndian(trailer + 24, 8);
    // The offset table lies between the header and the trailer, and holds count offsets.
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || count == 0 || top >= count ||
        count > n || table < 8 || table > n - 32 || (n - 32 - table) / offsetSize < count) {
        return -1;
    }
    auto offsetOf = [&](uint64_t object) { return readBigEndian(p + table + object * offsetSize, offsetSize); };
    // libplist aborts (an assertion) on a dictionary key holding U+0000: no string may hold one.
    for (uint64_t object = 0; object < count; ++object) {
        uint64_t at = offsetOf(object);
        if (at < 8 || at >= table) {
            return -1;
        }
        unsigned kind = p[at] >> 4;
        if (kind != 0x5 && kind != 0x6 && kind != 0x7) {
            continue;
        }
        uint64_t length = p[at] & 0x0F;
        uint64_t cursor = at + 1;
        if (length == 0x0F) {
            if (cursor >= table || (p[cursor] >> 4) != 0x1 || (p[cursor] & 0x0F) > 3) {
                return -1;
            }
            size_t bytes = size_t{1} << (p[cursor] & 0x0F);
            if (cursor + 1 + bytes > table) {
                return -1;
            }
            length = readBigEndian(p + cursor + 1, bytes);
            cursor += 1 + bytes;
        }
        uint64_t unit = kind == 0x6 ? 2 : 1;
        if (length > (table - cursor) / unit) {
            return -1;
        }
        for (uint64_t i = 0; i < length; ++i) {
            bool zero = unit == 2 ? (p[cursor + 2 * i] == 0 && p[cursor + 2 * i + 1] == 0) : p[cursor + i] == 0;
            if (zero) {
                return -1;
            }
        }
    }
    // Children of a container: where its references start and how many there are.
    auto children = [&](uint64_t object, uint64_t &first, uint64_t &number) -> bool {
        uint64_t at = offsetOf(object);
        if (at >= table) {
            return false;
        }
        unsigned char marker = p[at];
        unsigned kind = marker >> 4;
        number = 0;
        first = 0;
        if (kind != 0xA && kind != 0xC && kind != 0xD) {
            return true;  // a leaf
        }
        uint64_t length = marker & 0x0F;
        uint64_t cursor = at + 1;
        if (length == 0x0F) {
            if (cursor >= table || (p[cursor] >> 4) != 0x1) {
                return false;
            }
            size_t bytes = size_t{1} << (p[cursor] & 0x0F);
            if (bytes > 8 || cursor + 1 + bytes > table) {
                return false;
            }
            length = readBigEndian(p + cursor + 1, bytes);
            cursor += 1 + bytes;
        }
        // Writers store equal values once, so a container may hold more references than there
        // are objects; each reference is checked against the object count when it is followed.
        uint64_t room = (table - cursor) / refSize;
        if (length > room || (kind == 0xD && length > room / 2)) {
            return false;
        }
        number = kind == 0xD ? length * 2 : length;
        first = cursor;
        return true;
    };
    std::vector<int> depth(static_cast<size_t>(count), -1);  // -1 unknown, -2 on the current path
    // libplist copies a shared value at each further reference, so the values it builds are the
    // tree that the references spell out. Containers that hold each other twice over make that
    // tree exponential in the file's size: the values it would build are counted (saturating)
    // and a file that expands far beyond its own size is refused. Without shared containers the
    // tree has at most one value per reference, so files that writers make stay far below.
    const uint64_t expansionLimit = uint64_t{32} * n + 65536;
    std::vector<uint64_t> values(static_cast<size_t>(count), 0);
    auto add = [&](uint64_t a, uint64_t b) { return std::min(a + b, expansionLimit + 1); };
    struct Frame {
        uint64_t object;
        uint64_t first;
        uint64_t number;
        uint64_t next;
        int deepest;
        uint64_t values;
    };
    std::vector<Frame> stack;
    uint64_t first = 0;
    uint64_t number = 0;
    if (!children(top, first, number)) {
        return -1;
    }
    stack.push_back(Frame{top, first, number, 0, 0, 1});
    depth[static_cast<size_t>(top)] = -2;
    while (!stack.empty()) {
        Frame &f = stack.back();
        if (f.next == f.number) {
            int d = f.number > 0 || (p[offsetOf(f.object)] >> 4) == 0xA || (p[offsetOf(f.object)] >> 4) == 0xD ||
                            (p[offsetOf(f.object)] >> 4) == 0xC
                        ? f.deepest + 1
                        : 0;
            depth[static_cast<size_t>(f.object)] = d;
            uint64_t built = f.values;
            if (built > expansionLimit) {
                return -1;
            }
            values[static_cast<size_t>(f.object)] = built;
            stack.pop_back();
            if (!stack.empty()) {
                stack.back().deepest = std::max(stack.back().deepest, d);
                stack.back().values = add(stack.back().values, built);
            }
            continue;
        }
        uint64_t child = readBigEndian(p + f.first + f.next * refSize, refSize);
        ++f.next;
        if (child >= count) {
            return -1;
        }
        int known = depth[static_cast<size_t>(child)];
        if (known == -2) {
            return -1;  // a container that holds itself
        }
        if (known >= 0) {
            f.deepest = std::max(f.deepest, known);
            f.values = add(f.values, values[static_cast<size_t>(child)]);
            continue;
        }
        if (!children(child, first, number)) {
            return -1;
        }
        if (static_cast<int>(stack.size()) > limit) {
            return limit + 1;
        }
        depth[static_cast<size_t>(child)] = -2;
        stack.push_back(Frame{child, first, number, 0, 0, 1});
    }
    return depth[static_cast<size_t>(top)];
}

// ---- Reading ----

// Text of one node as libplist writes it, for the values its API cannot tell.
std::string nodeText(plist_t node)
{
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    std::string text = xml != nullptr ? std::string(xml, length) : std::string();
    std::free(xml);
    return text;
}

// "YYYY-MM-DDTHH:MM:SSZ" inside a node's text, as absolute time.
bool parseDateText(const std::string &text, CFAbsoluteTime &out)
{
    size_t at = text.find("<date>");
    if (at == std::string::npos) {
        return false;
    }
    long long year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (std::sscanf(text.c_str() + at + 6, "%lld-%d-%dT%d:%d:%dZ", &year, &month, &day, &hour, &minute, &second) != 6) {
        return false;
    }
    // Days from civil date (proleptic Gregorian), relative to 1970-01-01.
    long long y = year - (month <= 2 ? 1 : 0);
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long mp = (month + 9) % 12;
    long long doy = (153 * mp + 2) / 5 + day - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long long days = era * 146097 + doe - 719468;
    double unixSeconds = static_cast<double>(days) * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
    out = unixSeconds - static_cast<double>(kCFAbsoluteTimeIntervalSince1970);
    return true;
}

CFStringRef stringFromBytes(const char *p, size_t n, bool mutableLeaf)
{
    CFStringRef s = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(p), static_cast<CFIndex>(n),
                                            kCFStringEncodingUTF8, false);
    if (s == nullptr || !mutableLeaf) {
        return s;
    }
    CFMutableStringRef m = CFStringCreateMutableCopy(nullptr, 0, s);
    CFRelease(s);
    return m;
}

// Strings read once per document: keys and immutable values repeat a great deal in a
// preferences store, so equal texts become one shared object (as the platform's reader does).
class Uniquer {
public:
    Uniquer() = default;
    Uniquer(const Uniquer &) = delete;
    Uniquer &operator=(const Uniquer &) = delete;
    ~Uniquer()
    {
        for (auto &entry : table_) {
            CFRelease(entry.second);
        }
        for (CFNumberRef n : smallNumbers_) {
            if (n != nullptr) {
                CFRelease(n);
            }
        }
    }
    // Small integers (flags, counts, timers) are shared the same way.
    CFNumberRef number(int64_t v)
    {
        if (v < kSmallMin || v > kSmallMax) {
            return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
        }
        CFNumberRef &slot = smallNumbers_[static_cast<size_t>(v - kSmallMin)];
        if (slot == nullptr) {
            slot = CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
        }
        CFRetain(slot);
        return slot;
    }
    CFStringRef get(const char *p, size_t n)
    {
        std::string_view text(p, n);
        auto found = table_.find(text);
        if (found != table_.end()) {
            CFRetain(found->second);
            return found->second;
        }
        CFStringRef s = stringFromBytes(p, n, false);
        if (s != nullptr) {
            CFRetain(s);
            table_.emplace(std::string(text), s);
        }
        return s;
    }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view v) const { return std::hash<std::string_view>()(v); }
    };
    std::unordered_map<std::string, CFStringRef, Hash, std::equal_to<>> table_;
    static constexpr int64_t kSmallMin = -1;
    static constexpr int64_t kSmallMax = 4095;
    std::vector<CFNumberRef> smallNumbers_ = std::vector<CFNumberRef>(static_cast<size_t>(kSmallMax - kSmallMin + 1), nullptr);
};

CFTypeRef fromNode(plist_t node, CFOptionFlags option, int depth, std::string &reason, Uniquer &strings)
{
    if (depth > kMaxDepth) {
        reason = std::string("nesting deeper than ") + std::to_string(kMaxDepth) + " levels";
        return nullptr;
    }
    bool mutableLeaf = option == kCFPropertyListMutableContainersAndLeaves;
    bool mutableContainer = option != kCFPropertyListImmutable;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t v = 0;
        plist_get_bool_val(node, &v);
        return v ? kCFBooleanTrue : kCFBooleanFalse;
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        if ((v >> 63) != 0 && nodeText(node).find("<integer>-") == std::string::npos) {
            return _CFNumberCreateUnsigned64(v);
        }
        return strings.number(static_cast<int64_t>(v));
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char *p = plist_get_string_ptr(node, &length);
        const char *text = p != nullptr ? p : "";
        size_t n = p != nullptr ? length : 0;
        CFStringRef s = mutableLeaf ? stringFromBytes(text, n, true) : strings.get(text, n);
        if (s == nullptr) {
            reason = "a string that is not UTF-8";
        }
        return s;
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char *p = plist_get_data_ptr(node, &length);
        if (mutableLeaf) {
            CFMutableDataRef d = CFDataCreateMutable(nullptr, 0);
            CFDataAppendBytes(d, reinterpret_cast<const UInt8 *>(p), static_cast<CFIndex>(length));
            return d;
        }
        return CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(p), static_cast<CFIndex>(length));
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        // libplist splits a date into seconds truncated toward zero and an unsigned fraction: a
        // date before its epoch takes the fraction away from the seconds. Within the second
        // before the epoch the sign is lost in libplist itself (read as after it).
        double fraction = static_cast<double>(usec) * 1e-6;
        CFAbsoluteTime at = static_cast<double>(sec) + (sec < 0 ? -fraction : fraction);
        if ((sec == INT32_MIN || sec == INT32_MAX) && !parseDateText(nodeText(node), at)) {
            reason = "a date that cannot be read";
            return nullptr;
        }
        return CFDateCreate(nullptr, at);
    }
    case PLIST_ARRAY: {
        uint32_t n = plist_array_get_size(node);
        CFMutableArrayRef array = newArray(n);
        for (uint32_t i = 0; i < n; ++i) {
            CFTypeRef element = fromNode(plist_array_get_item(node, i), option, depth + 1, reason, strings);
            if (element == nullptr) {
                CFRelease(array);
                return nullptr;
            }
            CFArrayAppendValue(array, element);
            CFRelease(element);
        }
        if (!mutableContainer) {
            freeze(array);
        }
        return array;
    }
    case PLIST_DICT: {
        CFMutableDictionaryRef dict = newDictionary(plist_dict_get_size(node));
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        bool ok = true;
        while (ok) {
            char *key = nullptr;
            plist_t child = nullptr;
            plist_dict_next_item(node, iter, &key, &child);
            if (child == nullptr) {
                std::free(key);
                break;
            }
            CFStringRef k = key != nullptr ? strings.get(key, std::strlen(key)) : nullptr;
            std::free(key);
            if (k == nullptr) {
                reason = "a dictionary key that is not UTF-8";
                ok = false;
                break;
            }
            CFTypeRef value = fromNode(child, option, depth + 1, reason, strings);
            if (value == nullptr) {
                CFRelease(k);
                ok = false;
                break;
            }
            CFDictionarySetValue(dict, k, value);
            CFRelease(k);
            CFRelease(value);
        }
        std::free(iter);
        if (!ok) {
            CFRelease(dict);
            return nullptr;
        }
        if (!mutableContainer) {
            freeze(dict);
        }
        return dict;
    }
    default:
        reason = "a value of a kind property lists here do not hold (UID)";
        return nullptr;
    }
}

// ---- Writing ----

plist_t parsedNode(const std::string &xmlValue)
{
    std::string text = std::string("<plist version=\"1.0\">") + xmlValue + "</plist>";
    plist_t node = nullptr;
    plist_from_xml(text.c_str(), static_cast<uint32_t>(text.size()), &node);
    return node;
}

bool xmlSafe(const std::u16string &text)
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

// The string as zero-terminated UTF-8 for libplist: its own 8-bit buffer when it has one,
// else converted into scratch. NULL when XML cannot carry the text.
const char *xmlSafeUTF8(CFStringRef s, std::string &scratch)
{
    const char *fast = CFStringGetCStringPtr(s, kCFStringEncodingASCII);
    if (fast != nullptr) {
        CFIndex length = CFStringGetLength(s);
        for (CFIndex i = 0; i < length; ++i) {
            auto c = static_cast<unsigned char>(fast[i]);
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                return nullptr;  // control characters, U+0000 among them
            }
        }
        return fast;
    }
    std::u16string text = stringText(s);
    if (!xmlSafe(text)) {
        return nullptr;
    }
    scratch = toUTF8(text);
    return scratch.c_str();
}

// One dictionary entry on its way to the writer: the key, its value and the key's text.
struct Entry {
    CFStringRef key;
    const void *value;
    const char *text;
    bool ascii;  // text is the string's own 8-bit (ASCII) bytes
};

plist_t toNode(CFTypeRef value, int depth, bool forXML, std::string &reason)
{
    if (value == nullptr) {
        reason = "a value is missing (NULL)";
        return nullptr;
    }
    if (depth > kMaxDepth) {
        reason = std::string("the nesting is deeper than ") + std::to_string(kMaxDepth) + " levels";
        return nullptr;
    }
    CFTypeID t = CFGetTypeID(value);
    if (t == CFStringGetTypeID()) {
        std::string scratch;
        const char *text = xmlSafeUTF8(static_cast<CFStringRef>(value), scratch);
        if (text == nullptr) {
            reason = "a string holding characters XML cannot carry (control characters or broken surrogates)";
            return nullptr;
        }
        return plist_new_string(text);
    }
    if (t == CFBooleanGetTypeID()) {
        return plist_new_bool(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? 1 : 0);
    }
    if (t == CFNumberGetTypeID()) {
        CFNumberRef n = static_cast<CFNumberRef>(value);
        int64_t i = 0;
        uint64_t u = 0;
        Boolean big = false;
        if (_CFNumberGetInteger(n, &i, &u, &big)) {
            if (big) {
                return parsedNode("<integer>" + std::to_string(u) + "</integer>");
            }
            return plist_new_uint(static_cast<uint64_t>(i));
        }
        double d = 0;
        CFNumberGetValue(n, kCFNumberFloat64Type, &d);
        return plist_new_real(d);
    }
    if (t == CFDataGetTypeID()) {
        CFDataRef d = static_cast<CFDataRef>(value);
        return plist_new_data(reinterpret_cast<const char *>(CFDataGetBytePtr(d)),
                              static_cast<uint64_t>(CFDataGetLength(d)));
    }
    if (t == CFDateGetTypeID()) {
        double at = CFDateGetAbsoluteTime(static_cast<CFDateRef>(value));
        double seconds = std::floor(at);
        if (seconds > static_cast<double>(INT32_MIN) && seconds < static_cast<double>(INT32_MAX)) {
            // The binary format keeps a date's fraction of a second (to the microsecond, all that
            // libplist takes); XML dates are whole seconds.
            int32_t micro = forXML ? 0 : static_cast<int32_t>(std::lround((at - seconds) * 1e6));
            if (micro == 1000000) {
                return plist_new_date(static_cast<int32_t>(seconds) + 1, 0);
            }
            return plist_new_date(static_cast<int32_t>(seconds), micro);
        }
        double unixSeconds = seconds + static_cast<double>(kCFAbsoluteTimeIntervalSince1970);
        if (!(std::fabs(unixSeconds) < 1e15)) {
            reason = "a date out of range";
            return nullptr;
        }
        time_t tt = static_cast<time_t>(unixSeconds);
        struct tm parts {};
        if (gmtime_r(&tt, &parts) == nullptr || parts.tm_year + 1900 < 0 || parts.tm_year + 1900 > 9999) {
            reason = "a date out of range";
            return nullptr;
        }
        char text[64];
        std::snprintf(text, sizeof text, "<date>%04d-%02d-%02dT%02d:%02d:%02dZ</date>", parts.tm_year + 1900,
                      parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
        plist_t node = parsedNode(text);
        if (node == nullptr) {
            reason = "a date out of range";
        }
        return node;
    }
    if (t == CFArrayGetTypeID()) {
        CFArrayRef a = static_cast<CFArrayRef>(value);
        plist_t node = plist_new_array();
        for (CFIndex i = 0, n = CFArrayGetCount(a); i < n; ++i) {
            plist_t child = toNode(CFArrayGetValueAtIndex(a, i), depth + 1, forXML, reason);
            if (child == nullptr) {
                plist_free(node);
                return nullptr;
            }
            plist_array_append_item(node, child);
        }
        return node;
    }
    if (t == CFDictionaryGetTypeID()) {
        CFDictionaryRef d = static_cast<CFDictionaryRef>(value);
        size_t n = static_cast<size_t>(CFDictionaryGetCount(d));
        // Small dictionaries (nearly all of them) need no heap for their snapshot.
        constexpr size_t kSmall = 16;
        const void *smallKeys[kSmall];
        const void *smallValues[kSmall];
        Entry smallEntries[kSmall];
        std::vector<const void *> bigKeys;
        std::vector<const void *> bigValues;
        std::vector<Entry> bigEntries;
        const void **keys = smallKeys;
        const void **values = smallValues;
        Entry *entries = smallEntries;
        if (n > kSmall) {
            bigKeys.resize(n);
            bigValues.resize(n);
            bigEntries.resize(n);
            keys = bigKeys.data();
            values = bigValues.data();
            entries = bigEntries.data();
        }
        CFDictionaryGetKeysAndValues(d, keys, values);
        // Each key's text is had once, for sorting and for the node: the string's own bytes when
        // it keeps 8-bit text, else a conversion kept alive in `converted` (rare).
        std::vector<std::unique_ptr<std::string>> converted;
        std::string scratch;
        for (size_t i = 0; i < n; ++i) {
            if (keys[i] == nullptr || CFGetTypeID(keys[i]) != CFStringGetTypeID()) {
                reason = "a dictionary key that is not a string";
                return nullptr;
            }
            CFStringRef key = static_cast<CFStringRef>(keys[i]);
            const char *text = xmlSafeUTF8(key, scratch);
            if (text == nullptr) {
                reason = "a dictionary key holding characters XML cannot carry";
                return nullptr;
            }
            bool ascii = text != scratch.c_str();
            if (!ascii) {
                converted.push_back(std::make_unique<std::string>(std::move(scratch)));
                scratch.clear();
                text = converted.back()->c_str();
            }
            entries[i] = Entry{key, values[i], text, ascii};
        }
        // Keys sorted as the platform's writer sorts them (CFStringCompare, no options: UTF-16
        // code units). For ASCII keys that order is the order of their bytes. Keys are distinct,
        // so the sort need not be stable.
        std::sort(entries, entries + n, [](const Entry &x, const Entry &y) {
            if (x.ascii && y.ascii) {
                return std::strcmp(x.text, y.text) < 0;
            }
            return CFStringCompare(x.key, y.key, 0) == kCFCompareLessThan;
        });
        plist_t node = plist_new_dict();
        for (size_t i = 0; i < n; ++i) {
            plist_t child = toNode(entries[i].value, depth + 1, forXML, reason);
            if (child == nullptr) {
                plist_free(node);
                return nullptr;
            }
            // Keys of a dictionary are distinct: no look-up for an existing key is needed.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
            plist_dict_insert_item(node, entries[i].text, child);
#pragma GCC diagnostic pop
        }
        return node;
    }
    reason = "a value of a type that property lists cannot hold";
    return nullptr;
}

CFErrorRef makeError(CFIndex code, const std::string &text)
{
    CFStringRef description = makeStringUTF8(text);
    if (description == nullptr) {
        description = makeString(fromUTF8(text));
    }
    const void *keys[] = {kCFErrorDescriptionKey};
    const void *values[] = {description};
    CFDictionaryRef info =
        CFDictionaryCreate(nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFErrorRef error = CFErrorCreate(nullptr, kCFErrorDomainCocoa, code, info);
    CFRelease(info);
    CFRelease(description);
    return error;
}

CFDataRef writeData(CFPropertyListRef plist, CFPropertyListFormat format, std::string &reason, CFIndex &code)
{
    code = kCFPropertyListWriteStreamError;
    if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) {
        reason = "the format is not supported for writing (XML and binary are)";
        return nullptr;
    }
    PlistHolder root(toNode(plist, 0, format == kCFPropertyListXMLFormat_v1_0, reason));
    if (!root) {
        return nullptr;
    }
    char *out = nullptr;
    uint32_t length = 0;
    if (format == kCFPropertyListBinaryFormat_v1_0) {
        plist_to_bin(root.get(), &out, &length);
    } else {
        plist_to_xml(root.get(), &out, &length);
    }
    if (out == nullptr) {
        reason = "the property list could not be serialized";
        return nullptr;
    }
    CFDataRef data = nullptr;
    if (format == kCFPropertyListXMLFormat_v1_0 && std::memchr(out, '\r', length) != nullptr) {
        // Carriage returns survive an XML reader only as character references.
        std::string text;
        text.reserve(length + 64);
        for (uint32_t i = 0; i < length; ++i) {
            if (out[i] == '\r') {
                text += "&#13;";
            } else {
                text.push_back(out[i]);
            }
        }
        data = CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(text.data()), static_cast<CFIndex>(text.size()));
        std::free(out);
    } else {
        // The buffer libplist allocated becomes the data's bytes (freed with free()).
        data = CFDataCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8 *>(out), static_cast<CFIndex>(length),
                                           kCFAllocatorMalloc);
    }
    return data;
}

CFPropertyListRef readData(CFDataRef data, CFOptionFlags option, CFPropertyListFormat *format, std::string &reason)
{
    if (data == nullptr) {
        reason = "no data";
        return nullptr;
    }
    const char *bytes = reinterpret_cast<const char *>(CFDataGetBytePtr(data));
    CFIndex length = CFDataGetLength(data);
    if (length <= 0) {
        reason = "the data is empty";
        return nullptr;
    }
    if (length > static_cast<CFIndex>(UINT32_MAX / 2)) {
        reason = "the data is too large";
        return nullptr;
    }
    if (length >= 8 && std::memcmp(bytes, "bplist00", 8) == 0) {
        // libplist's binary reader recurses without a depth limit: check the structure first.
        int depth = binaryDepth(reinterpret_cast<const unsigned char *>(bytes), static_cast<size_t>(length), kMaxDepth);
        if (depth < 0) {
            reason = "the binary property list is malformed";
            return nullptr;
        }
        if (depth > kMaxDepth) {
            reason = std::string("nesting deeper than ") + std::to_string(kMaxDepth) + " levels";
            return nullptr;
        }
        plist_t root = nullptr;
        plist_from_bin(bytes, static_cast<uint32_t>(length), &root);
        if (root == nullptr) {
            reason = "the data is not a well-formed binary property list";
            return nullptr;
        }
        PlistHolder holder(root);
        if (format != nullptr) {
            *format = kCFPropertyListBinaryFormat_v1_0;
        }
        Uniquer strings;
        return fromNode(root, option, 0, reason, strings);
    }
    // libplist's XML parser recurses without limit: check the nesting first (root element
    // "plist" adds one level).
    if (xmlDepth(bytes, static_cast<size_t>(length), kMaxDepth + 2) > kMaxDepth + 1) {
        reason = std::string("nesting deeper than ") + std::to_string(kMaxDepth) + " levels";
        return nullptr;
    }
    plist_t root = nullptr;
    plist_from_xml(bytes, static_cast<uint32_t>(length), &root);
    if (root == nullptr) {
        reason = "the data is not a well-formed XML property list";
        return nullptr;
    }
    PlistHolder holder(root);
    if (format != nullptr) {
        *format = kCFPropertyListXMLFormat_v1_0;
    }
    Uniquer strings;
    return fromNode(root, option, 0, reason, strings);
}

}  // namespace

extern "C" {

// The nesting the XML reader's check sees in a text, counted up to limit + 1; the fuzz target
// holds it against the depth of what libplist then builds, which it must never fall below.
int _CFPropertyListXMLNesting(const char *bytes, size_t length, int limit)
{
    return xmlDepth(bytes, length, limit);
}

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef propertyList, CFOptionFlags option)
{
    std::string reason;
    if (!valid(propertyList, 0, reason)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return deepCopy(propertyList, option, 0);
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format)
{
    std::string reason;
    if (!valid(plist, 0, reason)) {
        return false;
    }
    if (format == kCFPropertyListXMLFormat_v1_0) {
        PlistHolder node(toNode(plist, 0, true, reason));
        return node != nullptr;
    }
    return format == kCFPropertyListBinaryFormat_v1_0;
}

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef, CFPropertyListRef propertyList)
{
    CF_CREATE_OR_RETURN(nullptr);
    std::string reason;
    CFIndex code = 0;
    CFDataRef data = writeData(propertyList, kCFPropertyListXMLFormat_v1_0, reason, code);
    if (data == nullptr) {
        std::fprintf(stderr, "CoreFoundation: property list not written: %s\n", reason.c_str());
    }
    return data;
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef propertyList, CFPropertyListFormat format,
                                   CFOptionFlags, CFErrorRef *error)
{
    if (error != nullptr) {
        *error = nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::string reason;
    CFIndex code = 0;
    CFDataRef data = writeData(propertyList, format, reason, code);
    if (data == nullptr && error != nullptr) {
        *error = makeError(code, "The property list could not be written: " + reason + ".");
    }
    return data;
}

CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef, CFDataRef xmlData, CFOptionFlags mutabilityOption,
                                                  CFStringRef *errorString)
{
    if (errorString != nullptr) {
        *errorString = nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::string reason;
    CFPropertyListRef result = readData(xmlData, mutabilityOption, nullptr, reason);
    if (result == nullptr && errorString != nullptr) {
        *errorString = makeString(fromUTF8("The property list could not be read: " + reason + "."));
    }
    return result;
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat *format, CFErrorRef *error)
{
    if (error != nullptr) {
        *error = nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::string reason;
    CFPropertyListRef result = readData(data, options, format, reason);
    if (result == nullptr && error != nullptr) {
        *error = makeError(kCFPropertyListReadCorruptError, "The property list could not be read: " + reason + ".");
    }
    return result;
}

}  // extern "C"
