// Property-list objects to and from libplist nodes, with the repairs for the values that
// libplist's API cannot carry (integers with the top bit set, dates outside 32-bit seconds,
// control characters and carriage returns in XML text).
#include "PropertyListInternal.h"

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
using namespace cf::plist;

namespace {

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
    CivilTime t{};
    if (std::sscanf(text.c_str() + at + 6, "%lld-%d-%dT%d:%d:%dZ", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                    &t.second) != 6) {
        return false;
    }
    out = absoluteTimeOf(t);
    return true;
}

CFTypeRef fromNode(plist_t node, CFOptionFlags option, int depth, std::string &reason, Uniquer &strings);

CFTypeRef booleanFromNode(plist_t node)
{
    uint8_t v = 0;
    plist_get_bool_val(node, &v);
    return v ? kCFBooleanTrue : kCFBooleanFalse;
}

// libplist keeps an integer as a 64-bit pattern: one with the top bit set is negative only when
// its text says so, else an unsigned value above the signed range.
CFTypeRef integerFromNode(plist_t node, Uniquer &strings)
{
    uint64_t v = 0;
    plist_get_uint_val(node, &v);
    if ((v >> 63) != 0 && nodeText(node).find("<integer>-") == std::string::npos) {
        return _CFNumberCreateUnsigned64(v);
    }
    return strings.number(static_cast<int64_t>(v));
}

CFTypeRef realFromNode(plist_t node)
{
    double v = 0;
    plist_get_real_val(node, &v);
    return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
}

CFTypeRef stringFromNode(plist_t node, bool mutableLeaf, std::string &reason, Uniquer &strings)
{
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

CFTypeRef dataFromNode(plist_t node, bool mutableLeaf)
{
    uint64_t length = 0;
    const char *p = plist_get_data_ptr(node, &length);
    return dataFromBytes(reinterpret_cast<const UInt8 *>(p), static_cast<size_t>(length), mutableLeaf);
}

CFTypeRef dateFromNode(plist_t node, std::string &reason)
{
    int32_t sec = 0;
    int32_t usec = 0;
    plist_get_date_val(node, &sec, &usec);
    // libplist splits a date into seconds truncated toward zero and an unsigned fraction: a
    // date before its epoch takes the fraction away from the seconds. Within the second
    // before the epoch the sign is lost in libplist itself (read as after it).
    double fraction = static_cast<double>(usec) * 1e-6;
    CFAbsoluteTime at = static_cast<double>(sec) + (sec < 0 ? -fraction : fraction);
    // Seconds pinned at the ends of 32 bits: the date lies outside them, read from its text.
    if ((sec == INT32_MIN || sec == INT32_MAX) && !parseDateText(nodeText(node), at)) {
        reason = "a date that cannot be read";
        return nullptr;
    }
    return CFDateCreate(nullptr, at);
}

CFTypeRef arrayFromNode(plist_t node, CFOptionFlags option, int depth, std::string &reason, Uniquer &strings)
{
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
    if (option == kCFPropertyListImmutable) {
        freeze(array);
    }
    return array;
}

// Reads the dictionary node's entries into dict; false (with the reason) at the first key or
// value that cannot be read.
bool readEntries(plist_t node, CFMutableDictionaryRef dict, CFOptionFlags option, int depth, std::string &reason,
                 Uniquer &strings)
{
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
    return ok;
}

CFTypeRef dictionaryFromNode(plist_t node, CFOptionFlags option, int depth, std::string &reason, Uniquer &strings)
{
    CFMutableDictionaryRef dict = newDictionary(plist_dict_get_size(node));
    if (!readEntries(node, dict, option, depth, reason, strings)) {
        CFRelease(dict);
        return nullptr;
    }
    if (option == kCFPropertyListImmutable) {
        freeze(dict);
    }
    return dict;
}

CFTypeRef fromNode(plist_t node, CFOptionFlags option, int depth, std::string &reason, Uniquer &strings)
{
    if (depth > kMaxDepth) {
        reason = std::string("nesting deeper than ") + std::to_string(kMaxDepth) + " levels";
        return nullptr;
    }
    bool mutableLeaf = option == kCFPropertyListMutableContainersAndLeaves;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN:
        return booleanFromNode(node);
    case PLIST_UINT:
        return integerFromNode(node, strings);
    case PLIST_REAL:
        return realFromNode(node);
    case PLIST_STRING:
    case PLIST_KEY:
        return stringFromNode(node, mutableLeaf, reason, strings);
    case PLIST_DATA:
        return dataFromNode(node, mutableLeaf);
    case PLIST_DATE:
        return dateFromNode(node, reason);
    case PLIST_ARRAY:
        return arrayFromNode(node, option, depth, reason, strings);
    case PLIST_DICT:
        return dictionaryFromNode(node, option, depth, reason, strings);
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

plist_t stringNode(CFStringRef s, std::string &reason)
{
    XMLText text;
    if (!text.of(s)) {
        reason = "a string holding characters XML cannot carry (control characters or broken surrogates)";
        return nullptr;
    }
    return plist_new_string(text.cString());
}

// Integers through libplist's 64-bit pattern, an unsigned value above the signed range through
// its text; other numbers as reals.
plist_t numberNode(CFNumberRef n)
{
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

plist_t dataNode(CFDataRef d)
{
    return plist_new_data(reinterpret_cast<const char *>(CFDataGetBytePtr(d)),
                          static_cast<uint64_t>(CFDataGetLength(d)));
}

// A date outside libplist's 32-bit seconds, through its text (whole seconds, years 0 to 9999).
plist_t wideDateNode(double seconds, std::string &reason)
{
    char text[kDateTextRoom];
    plist_t node = dateText(seconds, text) ? parsedNode(std::string("<date>") + text + "</date>") : nullptr;
    if (node == nullptr) {
        reason = "a date out of range";
    }
    return node;
}

plist_t dateNode(CFDateRef date, std::string &reason)
{
    double at = CFDateGetAbsoluteTime(date);
    double seconds = std::floor(at);
    if (!(seconds > static_cast<double>(INT32_MIN) && seconds < static_cast<double>(INT32_MAX))) {
        return wideDateNode(seconds, reason);
    }
    // The binary format keeps a date's fraction of a second (to the microsecond, all that
    // libplist takes).
    int32_t micro = static_cast<int32_t>(std::lround((at - seconds) * 1e6));
    if (micro == 1000000) {
        return plist_new_date(static_cast<int32_t>(seconds) + 1, 0);
    }
    return plist_new_date(static_cast<int32_t>(seconds), micro);
}

plist_t nodeOf(CFTypeRef value, int depth, EntryStack &entries, std::string &reason);

plist_t arrayNode(CFArrayRef a, int depth, EntryStack &entries, std::string &reason)
{
    plist_t node = plist_new_array();
    for (CFIndex i = 0, n = CFArrayGetCount(a); i < n; ++i) {
        plist_t child = nodeOf(CFArrayGetValueAtIndex(a, i), depth + 1, entries, reason);
        if (child == nullptr) {
            plist_free(node);
            return nullptr;
        }
        plist_array_append_item(node, child);
    }
    return node;
}

plist_t dictionaryNode(CFDictionaryRef d, int depth, EntryStack &entries, std::string &reason)
{
    size_t first = 0;
    if (!entries.push(d, first, reason)) {
        return nullptr;
    }
    plist_t node = plist_new_dict();
    for (size_t i = first, end = entries.size(); i < end; ++i) {
        plist_t child = nodeOf(entries[i].value, depth + 1, entries, reason);
        if (child == nullptr) {
            plist_free(node);
            return nullptr;
        }
        // Keys of a dictionary are distinct: no look-up for an existing key is needed.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        plist_dict_insert_item(node, entries[i].text.data(), child);
#pragma GCC diagnostic pop
    }
    entries.pop(first);
    return node;
}

plist_t nodeOf(CFTypeRef value, int depth, EntryStack &entries, std::string &reason)
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
        return stringNode(static_cast<CFStringRef>(value), reason);
    }
    if (t == CFBooleanGetTypeID()) {
        return plist_new_bool(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? 1 : 0);
    }
    if (t == CFNumberGetTypeID()) {
        return numberNode(static_cast<CFNumberRef>(value));
    }
    if (t == CFDataGetTypeID()) {
        return dataNode(static_cast<CFDataRef>(value));
    }
    if (t == CFDateGetTypeID()) {
        return dateNode(static_cast<CFDateRef>(value), reason);
    }
    if (t == CFArrayGetTypeID()) {
        return arrayNode(static_cast<CFArrayRef>(value), depth, entries, reason);
    }
    if (t == CFDictionaryGetTypeID()) {
        return dictionaryNode(static_cast<CFDictionaryRef>(value), depth, entries, reason);
    }
    reason = "a value of a type that property lists cannot hold";
    return nullptr;
}

}  // namespace

namespace cf::plist {

Uniquer::~Uniquer()
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

CFNumberRef Uniquer::number(int64_t v)
{
    if (v < kSmallMin || v > kSmallMax) {
        return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
    }
    CFNumberRef &slot = smallNumbers_[static_cast<size_t>(v - kSmallMin)];
    if (slot == nullptr) {
        slot = CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
    }
    if (slot != nullptr) {
        CFRetain(slot);
    }
    return slot;
}

CFStringRef Uniquer::get(const char *p, size_t n)
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

CFTypeRef dataFromBytes(const UInt8 *p, size_t n, bool mutableLeaf)
{
    if (mutableLeaf) {
        CFMutableDataRef d = CFDataCreateMutable(nullptr, 0);
        if (d != nullptr) {
            CFDataAppendBytes(d, p, static_cast<CFIndex>(n));
        }
        return d;
    }
    return CFDataCreate(nullptr, p, static_cast<CFIndex>(n));
}

bool validCivilTime(const CivilTime &t)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.month < 1 || t.month > 12 || t.hour > 23 || t.minute > 59 || t.second > 59 || t.hour < 0 ||
        t.minute < 0 || t.second < 0 || t.day < 1) {
        return false;
    }
    bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    return t.day <= kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0);
}

CFAbsoluteTime absoluteTimeOf(const CivilTime &t)
{
    // Days from civil date (proleptic Gregorian), relative to 1970-01-01.
    long long y = t.year - (t.month <= 2 ? 1 : 0);
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long mp = (t.month + 9) % 12;
    long long doy = (153 * mp + 2) / 5 + t.day - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long long days = era * 146097 + doe - 719468;
    double unixSeconds = static_cast<double>(days) * 86400.0 + t.hour * 3600.0 + t.minute * 60.0 + t.second;
    return unixSeconds - static_cast<double>(kCFAbsoluteTimeIntervalSince1970);
}

plist_t toNode(CFTypeRef value, std::string &reason)
{
    EntryStack entries;
    return nodeOf(value, 0, entries, reason);
}

CFTypeRef fromRoot(plist_t root, CFOptionFlags option, std::string &reason)
{
    Uniquer strings;
    return fromNode(root, option, 0, reason, strings);
}

}  // namespace cf::plist
