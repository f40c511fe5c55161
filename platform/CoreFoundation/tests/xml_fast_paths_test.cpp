// The XML fast paths against libplist. The writer: random documents built twice, as objects and
// as a libplist tree with the keys inserted in the order the writer sorts them, must give the same
// bytes (libplist's raw carriage return aside, which the writer spells "&#13;"); the values
// libplist cannot hold (unsigned integers above the signed range, dates past its 32-bit seconds)
// are checked against their text. The fast reader: on the same documents, and on edited ones, it
// reads what libplist's path reads or leaves the document to it, and it never leaves a plain one.
#include "StandInTestSupport.h"

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>
#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

extern "C" CFNumberRef _CFNumberCreateUnsigned64(uint64_t value);
extern "C" CFPropertyListRef _CFPropertyListCreateWithXMLReader(const char *bytes, size_t length, CFOptionFlags option,
                                                                Boolean fast, Boolean *deferred);

namespace {

using standintest::CFRef;

struct PlistFree {
    void operator()(void *p) const { plist_free(p); }
};
using Tree = std::unique_ptr<void, PlistFree>;

// One value made twice.
struct Twin {
    CFRef<CFTypeRef> object;
    plist_t node = nullptr;  // owned by the caller until inserted
};

std::string WrittenByUs(CFTypeRef value)
{
    CFRef<CFDataRef> data(CFPropertyListCreateData(nullptr, value, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    if (!data) {
        return "(refused)";
    }
    return std::string(reinterpret_cast<const char *>(CFDataGetBytePtr(data.get())),
                       static_cast<size_t>(CFDataGetLength(data.get())));
}

std::string WrittenByLibplist(plist_t node)
{
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    std::string text;
    for (uint32_t i = 0; i < length; ++i) {
        if (xml[i] == '\r') {
            text += "&#13;";
        } else {
            text += xml[i];
        }
    }
    std::free(xml);
    return text;
}

class Generator {
public:
    // Containers are nested at least `deep` levels (data lines narrow with depth); a plain
    // generator makes no reals and no carriage returns (documents the fast reader takes whole).
    Generator(unsigned seed, int deep, bool plain = false) : rng_(seed), deep_(deep), plain_(plain) {}

    Twin value(int depth)
    {
        if (depth < deep_) {
            return rng_() % 2 ? array(depth) : dictionary(depth);
        }
        switch (depth >= 14 ? rng_() % 6 : rng_() % 8) {
        case 0: return string();
        case 1: return integer();
        case 2: return plain_ ? boolean() : real();
        case 3: return boolean();
        case 4: return data();
        case 5: return date();
        case 6: return array(depth);
        default: return dictionary(depth);
        }
    }

private:
    // A text from characters that exercise escaping, multi-byte UTF-8 and surrogate pairs, as
    // UTF-8 and as UTF-16.
    std::pair<std::string, std::u16string> text()
    {
        static const char32_t kChars[] = {U'a', U'b', U'Z', U'0', U' ',  U'&',     U'<',     U'>',    U'"',
                                          U'\'', U'\t', U'\n', U'\r', U'~', U'\u00E9', U'\uFF01', U'\u4E2D',
                                          U'\U0001F600'};
        std::string utf8;
        std::u16string utf16;
        for (unsigned n = rng_() % 9; n > 0; --n) {
            char32_t c = kChars[rng_() % (sizeof kChars / sizeof kChars[0])];
            if (plain_ && c == U'\r') {
                continue;
            }
            if (c < 0x80) {
                utf8 += static_cast<char>(c);
            } else if (c < 0x800) {
                utf8 += static_cast<char>(0xC0 | (c >> 6));
                utf8 += static_cast<char>(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                utf8 += static_cast<char>(0xE0 | (c >> 12));
                utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                utf8 += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                utf8 += static_cast<char>(0xF0 | (c >> 18));
                utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                utf8 += static_cast<char>(0x80 | (c & 0x3F));
            }
            if (c < 0x10000) {
                utf16 += static_cast<char16_t>(c);
            } else {
                utf16 += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                utf16 += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            }
        }
        return {utf8, utf16};
    }

    static CFStringRef Str(const std::string &utf8)
    {
        return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(utf8.data()),
                                       static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false);
    }

    Twin string()
    {
        std::string utf8 = text().first;
        return {CFRef<CFTypeRef>(Str(utf8)), plist_new_string(utf8.c_str())};
    }

    Twin integer()
    {
        int64_t v = static_cast<int64_t>((static_cast<uint64_t>(rng_()) << 32) | rng_()) >> (rng_() % 64);
        return {CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberSInt64Type, &v)),
                plist_new_uint(static_cast<uint64_t>(v))};
    }

    Twin real()
    {
        static const double kSpecial[] = {0.0,       -0.0, 1.0, -1.5, 0.1, 1e15, 1e16, 1e17, 4503599627370496.5,
                                          5e-324, std::numeric_limits<double>::max(),
                                          std::numeric_limits<double>::infinity(),
                                          -std::numeric_limits<double>::infinity(),
                                          std::numeric_limits<double>::quiet_NaN()};
        double v = 0;
        if (rng_() % 3 == 0) {
            v = kSpecial[rng_() % (sizeof kSpecial / sizeof kSpecial[0])];
        } else {
            uint64_t bits = (static_cast<uint64_t>(rng_()) << 32) | rng_();
            std::memcpy(&v, &bits, sizeof v);
            if (std::isnan(v)) {
                v = 2.5;
            }
        }
        return {CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberFloat64Type, &v)), plist_new_real(v)};
    }

    Twin boolean()
    {
        bool v = rng_() % 2 != 0;
        return {CFRef<CFTypeRef>(CFRetain(v ? kCFBooleanTrue : kCFBooleanFalse)), plist_new_bool(v ? 1 : 0)};
    }

    Twin data()
    {
        std::string bytes(rng_() % 120, '\0');
        for (char &b : bytes) {
            b = static_cast<char>(rng_());
        }
        return {CFRef<CFTypeRef>(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                              static_cast<CFIndex>(bytes.size()))),
                plist_new_data(bytes.data(), bytes.size())};
    }

    Twin date()
    {
        // libplist keeps 32-bit seconds; XML dates are whole seconds, so any fraction is dropped.
        int32_t seconds = static_cast<int32_t>(rng_());
        double at = seconds + (rng_() % 1000) / 1000.0;
        return {CFRef<CFTypeRef>(CFDateCreate(nullptr, at)), plist_new_date(seconds, 0)};
    }

    // A chain of single children down to the wanted depth, then up to `most - 1` children.
    unsigned childCount(int depth, unsigned most) { return depth < deep_ ? 1 : rng_() % most; }

    Twin array(int depth)
    {
        CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        plist_t node = plist_new_array();
        for (unsigned n = childCount(depth, 5); n > 0; --n) {
            Twin child = value(depth + 1);
            CFArrayAppendValue(a, child.object.get());
            plist_array_append_item(node, child.node);
        }
        return {CFRef<CFTypeRef>(a), node};
    }

    Twin dictionary(int depth)
    {
        CFMutableDictionaryRef d =
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        std::vector<std::pair<std::u16string, std::pair<std::string, plist_t>>> children;
        for (unsigned n = childCount(depth, 6); n > 0; --n) {
            auto [utf8, utf16] = text();
            CFRef<CFStringRef> key(Str(utf8));
            if (CFDictionaryContainsKey(d, key.get())) {
                continue;
            }
            Twin child = value(depth + 1);
            CFDictionarySetValue(d, key.get(), child.object.get());
            children.push_back({utf16, {utf8, child.node}});
        }
        std::sort(children.begin(), children.end(), [](const auto &x, const auto &y) { return x.first < y.first; });
        plist_t node = plist_new_dict();
        for (auto &child : children) {
            plist_dict_set_item(node, child.second.first.c_str(), child.second.second);
        }
        return {CFRef<CFTypeRef>(d), node};
    }

    std::mt19937 rng_;
    int deep_;
    bool plain_;
};

TEST(XMLWriterTest, RandomDocumentsMatchLibplistByteForByte)
{
    for (unsigned seed = 1; seed <= 400; ++seed) {
        Generator generator(seed, static_cast<int>(seed % 12));
        Twin document = generator.value(0);
        Tree tree(document.node);
        std::string expected = WrittenByLibplist(tree.get());
        std::string actual = WrittenByUs(document.object.get());
        if (expected != actual) {
            size_t at = static_cast<size_t>(
                std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first - expected.begin());
            size_t from = at > 60 ? at - 60 : 0;
            FAIL() << "seed " << seed << ", first difference at byte " << at << "\nlibplist: "
                   << expected.substr(from, 120) << "\nours:     " << actual.substr(from, 120);
        }
    }
}

TEST(XMLWriterTest, ValuesBeyondLibplistsRangeAreWrittenFromTheirValue)
{
    CFRef<CFNumberRef> big(_CFNumberCreateUnsigned64(std::numeric_limits<uint64_t>::max()));
    struct {
        double at;
        const char *text;
    } const dates[] = {
        {3124137600.0, "<date>2100-01-01T00:00:00Z</date>"},
        {-63082281600.0, "<date>0002-01-02T00:00:00Z</date>"},
        {-2208988800.5, "<date>1931-01-01T23:59:59Z</date>"},
    };
    for (const auto &date : dates) {
        CFRef<CFDateRef> value(CFDateCreate(nullptr, date.at));
        EXPECT_NE(std::string::npos, WrittenByUs(value.get()).find(date.text)) << date.text;
    }
    CFRef<CFDateRef> tooLate(CFDateCreate(nullptr, 1e13));
    EXPECT_EQ("(refused)", WrittenByUs(tooLate.get()));
    EXPECT_NE(std::string::npos, WrittenByUs(big.get()).find("<integer>18446744073709551615</integer>"));
}

struct Reading {
    CFRef<CFPropertyListRef> value;
    bool deferred = false;
};

Reading ReadWith(const std::string &text, CFOptionFlags option, bool fast)
{
    Boolean deferred = false;
    CFRef<CFPropertyListRef> value(
        _CFPropertyListCreateWithXMLReader(text.data(), text.size(), option, fast, &deferred));
    return {std::move(value), deferred != 0};
}

// The fast reader reads what libplist's path reads, or defers.
void ExpectSameReading(const std::string &text, CFOptionFlags option, const std::string &what)
{
    Reading fast = ReadWith(text, option, true);
    if (fast.deferred) {
        return;
    }
    Reading slow = ReadWith(text, option, false);
    ASSERT_TRUE(fast.value && slow.value) << what << (fast.value ? ": libplist refused" : ": the fast reader failed");
    EXPECT_TRUE(CFEqual(fast.value.get(), slow.value.get())) << what;
}

TEST(XMLReaderTest, PlainDocumentsAreReadWholeAndAsLibplistReadsThem)
{
    for (unsigned seed = 1; seed <= 300; ++seed) {
        Generator generator(seed, static_cast<int>(seed % 12), true);
        Twin document = generator.value(0);
        Tree tree(document.node);
        std::string text = WrittenByLibplist(tree.get());
        for (CFOptionFlags option : {kCFPropertyListImmutable, kCFPropertyListMutableContainersAndLeaves}) {
            Reading fast = ReadWith(text, option, true);
            ASSERT_FALSE(fast.deferred) << "seed " << seed;
            ASSERT_TRUE(fast.value) << "seed " << seed;
            ExpectSameReading(text, option, "seed " + std::to_string(seed));
        }
    }
}

TEST(XMLReaderTest, IntegerSpellingsReadAsLibplistReadsThemOrAreLeftToIt)
{
    // libplist's path reads a leading zero as octal ("010" is 8) and stops at the first digit
    // that is not one; the fast reader must not read such a number as decimal.
    for (const char *spelling : {"0", "-0", "7", "-7", "010", "-010", "00", "0000000002101795068", "0x10", "08",
                                 "9223372036854775807", "-9223372036854775808", "09223372036854775807"}) {
        std::string text = std::string("<plist version=\"1.0\"><integer>") + spelling + "</integer></plist>";
        ExpectSameReading(text, kCFPropertyListImmutable, spelling);
    }
}

TEST(XMLReaderTest, EditedDocumentsReadAsLibplistReadsThemOrAreLeftToIt)
{
    // Spellings the fast reader must read exactly as libplist does, or leave to it.
    const char *kEdits[] = {"<!-- c -->", "<![CDATA[x]]>", "&#65;", "&bogus;", " ", "\r", "<key>k</key>",
                            "<string a=\"1\">", "</dict>", "</array>", "<true></true>", "=", "0x1F", "+5",
                            "-", "99999999999999999999", "\xFF", "\xC3", "<plist>", "<!DOCTYPE x [ ]>"};
    std::mt19937 rng(5);
    for (unsigned seed = 1; seed <= 150; ++seed) {
        Generator generator(seed, static_cast<int>(seed % 5), seed % 2 == 0);
        Twin document = generator.value(0);
        Tree tree(document.node);
        std::string text = WrittenByLibplist(tree.get());
        for (int edit = 0; edit < 8; ++edit) {
            std::string edited = text;
            size_t at = rng() % edited.size();
            switch (rng() % 3) {
            case 0: edited.insert(at, kEdits[rng() % (sizeof kEdits / sizeof kEdits[0])]); break;
            case 1: edited.erase(at, 1 + rng() % 6); break;
            default: edited[at] = static_cast<char>(rng()); break;
            }
            ExpectSameReading(edited, kCFPropertyListImmutable, "seed " + std::to_string(seed) + ": " + edited);
        }
    }
}

}  // namespace
