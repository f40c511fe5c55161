// XML property lists: every value type survives a write and a read, Python's plistlib (a reader
// nobody here wrote) reads the files with the same content, the writer refuses what the readers
// would not read back, and the reader survives hostile input.
#include "PlatformTesting.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

CFPropertyListRef Read(CFDataRef data, CFOptionFlags option = kCFPropertyListImmutable, CFIndex *errorCode = nullptr)
{
    CFErrorRef error = nullptr;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, option, nullptr, &error);
    if (errorCode != nullptr) {
        *errorCode = error != nullptr ? CFErrorGetCode(error) : 0;
    }
    if (error != nullptr) {
        CFRelease(error);
    }
    return plist;
}

void Put(CFMutableDictionaryRef d, const char *key, CFTypeRef value)
{
    CFRef<CFStringRef> k(Str(key));
    CFDictionarySetValue(d, k, value);
    CFRelease(value);
}

// A property list with every value type and the edge values of each.
CFMutableDictionaryRef EveryType()
{
    CFMutableDictionaryRef root = NewDict();
    Put(root, "text", Str("Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 & <tag> \"q\" 'a'\tend\nline"));
    Put(root, "empty string", Str(""));
    Put(root, "zero", Int(0));
    Put(root, "minus one", Int(-1));
    Put(root, "int64 min", Int(std::numeric_limits<long long>::min()));
    Put(root, "int64 max", Int(std::numeric_limits<long long>::max()));
    Put(root, "reals", CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    for (double v : {0.1, -2.5, 1e-300, 1e300, 123456789.125}) {
        CFRef<CFNumberRef> n(Real(v));
        CFArrayAppendValue(static_cast<CFMutableArrayRef>(const_cast<void *>(CFDictionaryGetValue(root, CFSTR("reals")))), n);
    }
    Put(root, "yes", CFRetain(kCFBooleanTrue));
    Put(root, "no", CFRetain(kCFBooleanFalse));
    const UInt8 bytes[] = {0, 1, 2, 0xFF, 0x80, '<', '&'};
    Put(root, "data", CFDataCreate(nullptr, bytes, sizeof bytes));
    Put(root, "empty data", CFDataCreate(nullptr, nullptr, 0));
    Put(root, "epoch", CFDateCreate(nullptr, 0));
    Put(root, "moon", CFDateCreate(nullptr, -992490360.0));      // 1969-07-20T20:14:00Z
    Put(root, "early", CFDateCreate(nullptr, -3187296000.0));    // 1900-01-01T00:00:00Z
    Put(root, "late", CFDateCreate(nullptr, 3124137600.0));      // 2100-01-01T00:00:00Z
    Put(root, "empty dict", NewDict());
    Put(root, "empty array", NewArray());
    CFMutableDictionaryRef nested = NewDict();
    CFMutableArrayRef list = NewArray();
    CFArrayAppendValue(list, CFSTR("one"));
    CFMutableDictionaryRef deeper = NewDict();
    CFDictionarySetValue(deeper, CFSTR("k"), CFSTR("v"));
    CFArrayAppendValue(list, deeper);
    CFRelease(deeper);
    CFDictionarySetValue(nested, CFSTR("list"), list);
    CFRelease(list);
    Put(root, "nested", nested);
    return root;
}

using PropertyListTest = CoreFoundationTest;

TEST_F(PropertyListTest, EveryValueTypeSurvivesWriteAndRead)
{
    CFRef<CFMutableDictionaryRef> original(EveryType());
    CFRef<CFDataRef> bigXML(DataOf("<plist version=\"1.0\"><integer>18446744073709551615</integer></plist>"));
    Put(original, "uint64 max", Read(bigXML));
    Put(original, "carriage", Str("a\r\nb"));
    CFRef<CFDataRef> xml(CFPropertyListCreateData(nullptr, original, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    ASSERT_NE(nullptr, xml.get());
    CFRef<CFPropertyListRef> back(Read(xml));
    ASSERT_NE(nullptr, back.get());
    EXPECT_TRUE(CFEqual(original, back));
    std::string text = TextOf(xml);
    EXPECT_NE(std::string::npos, text.find("<integer>18446744073709551615</integer>"));
    EXPECT_NE(std::string::npos, text.find("<integer>-9223372036854775808</integer>"));
    EXPECT_NE(std::string::npos, text.find("<date>1900-01-01T00:00:00Z</date>"));
    EXPECT_NE(std::string::npos, text.find("<date>2100-01-01T00:00:00Z</date>"));
    EXPECT_NE(std::string::npos, text.find("&#13;"));
    // Keys are written sorted.
    EXPECT_LT(text.find("<key>data</key>"), text.find("<key>early</key>"));
    EXPECT_LT(text.find("<key>early</key>"), text.find("<key>zero</key>"));
    // The big unsigned value is told apart from -1.
    uint64_t big = 0;
    CFNumberRef n = static_cast<CFNumberRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(back.get()), CFSTR("uint64 max")));
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt64Type, &big));
    EXPECT_EQ(std::numeric_limits<uint64_t>::max(), big);
    CFRef<CFNumberRef> minusOne(Int(-1));
    EXPECT_FALSE(CFEqual(n, minusOne));
    // The older interface reads and writes the same.
    CFRef<CFDataRef> old(CFPropertyListCreateXMLData(nullptr, back));
    EXPECT_TRUE(CFEqual(old, xml));
    CFRef<CFPropertyListRef> oldBack(CFPropertyListCreateFromXMLData(nullptr, old, kCFPropertyListImmutable, nullptr));
    EXPECT_TRUE(CFEqual(oldBack, original));
    // Binary writing goes through libplist as well.
    CFRef<CFDataRef> binary(CFPropertyListCreateData(nullptr, original, kCFPropertyListBinaryFormat_v1_0, 0, nullptr));
    ASSERT_NE(nullptr, binary.get());
    EXPECT_EQ("bplist00", TextOf(binary).substr(0, 8));
    CFPropertyListFormat format = 0;
    CFRef<CFPropertyListRef> binaryBack(CFPropertyListCreateWithData(nullptr, binary, 0, &format, nullptr));
    EXPECT_EQ(kCFPropertyListBinaryFormat_v1_0, format);
    EXPECT_TRUE(CFEqual(original, binaryBack));
}

// A binary property list of `count` arrays, each holding the next (the last one empty), or with
// the last one holding the first.
std::string BinaryChain(unsigned count, bool cycle)
{
    std::string body = "bplist00";
    std::vector<uint32_t> offsets;
    for (unsigned i = 0; i < count; ++i) {
        offsets.push_back(static_cast<uint32_t>(body.size()));
        bool last = i + 1 == count;
        if (last && !cycle) {
            body.push_back(static_cast<char>(0xA0));
            continue;
        }
        unsigned next = last ? 0 : i + 1;
        body.push_back(static_cast<char>(0xA1));
        body.push_back(static_cast<char>(next >> 8));
        body.push_back(static_cast<char>(next & 0xFF));
    }
    uint64_t table = body.size();
    for (uint32_t o : offsets) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            body.push_back(static_cast<char>((o >> shift) & 0xFF));
        }
    }
    std::string trailer(6, '\0');
    trailer.push_back(4);  // offset size
    trailer.push_back(2);  // reference size
    for (uint64_t v : {static_cast<uint64_t>(count), uint64_t{0}, table}) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            trailer.push_back(static_cast<char>((v >> shift) & 0xFF));
        }
    }
    return body + trailer;
}

TEST_F(PropertyListTest, BinaryReaderChecksTheStructureFirst)
{
    CFRef<CFDataRef> fine(DataOf(BinaryChain(kCFPropertyListMaxDepth, false)));
    CFRef<CFPropertyListRef> ok(Read(fine));
    EXPECT_NE(nullptr, ok.get());
    CFRef<CFDataRef> deep(DataOf(BinaryChain(100000, false)));  // would overflow libplist's recursion
    EXPECT_EQ(nullptr, Read(deep));
    CFRef<CFDataRef> cycle(DataOf(BinaryChain(3, true)));
    EXPECT_EQ(nullptr, Read(cycle));
    // A key holding U+0000 makes libplist abort: it is refused before libplist sees it.
    std::string nulKey = "bplist00";
    nulKey += std::string("\xD1\x01\x02", 3);       // object 0 at 8: dictionary {1: 2}
    nulKey += std::string("\x53" "a\0b", 4);         // object 1 at 11: ASCII "a\0b"
    nulKey += std::string("\x09", 1);                 // object 2 at 15: true
    nulKey += std::string("\x08\x0B\x0F", 3);       // offset table at 16
    nulKey += std::string(6, '\0') + std::string("\x01\x01", 2) + std::string(7, '\0') + "\x03" +
              std::string(8, '\0') + std::string(7, '\0') + "\x10";
    CFRef<CFDataRef> nul(DataOf(nulKey));
    EXPECT_EQ(nullptr, Read(nul));
    std::string truncated = BinaryChain(10, false);
    truncated.erase(20, 5);
    CFRef<CFDataRef> broken(DataOf(truncated));
    EXPECT_EQ(nullptr, Read(broken));
}

// Binary lists whose structure lies about itself are refused before libplist reads them, and the
// lists the stand-in's own binary writer makes are read back, shared values and all, dates to
// their fraction of a second.
TEST_F(PropertyListTest, BinaryFormatRefusesLyingTrailersAndKeepsSharedValuesAndDates)
{
    // The offset table claimed to start inside the 32-byte trailer itself (offset 0x27 of 40 bytes).
    std::string inTrailer = "bplist00" + std::string(6, '\0') + std::string("\x08\x01", 2) + std::string(7, '\0') +
                            "\x01" + std::string(8, '\0') + std::string(7, '\0') + "\x27";
    ASSERT_EQ(40u, inTrailer.size());
    // Every table end from inside the trailer to past the data.
    for (unsigned table : {0x20u, 0x27u, 0x28u, 0xFFu}) {
        std::string bad = inTrailer;
        bad.back() = static_cast<char>(table);
        CFRef<CFDataRef> data(DataOf(bad));
        CFIndex code = 0;
        EXPECT_EQ(nullptr, Read(data, 0, &code)) << "table at " << table;
        EXPECT_EQ(kCFPropertyListReadCorruptError, code);
    }
    // Shared containers: 64 arrays, each holding the next one twice, would expand into 2^64 values.
    std::string doubling = "bplist00";
    for (unsigned i = 0; i < 64; ++i) {
        doubling += i + 1 < 64 ? std::string{static_cast<char>(0xA2), static_cast<char>(i + 1), static_cast<char>(i + 1)}
                               : std::string(1, static_cast<char>(0xA0));
    }
    size_t doublingTable = doubling.size();
    for (unsigned i = 0; i < 64; ++i) {
        doubling.push_back(static_cast<char>(8 + 3 * i));
    }
    doubling += std::string(6, '\0') + std::string("\x01\x01", 2) + std::string(7, '\0') + "\x40" + std::string(8, '\0') +
                std::string(7, '\0') + static_cast<char>(doublingTable);
    CFRef<CFDataRef> bomb(DataOf(doubling));
    EXPECT_EQ(nullptr, Read(bomb));
    // XML to binary and back: arrays, sets of references and dictionaries repeat equal values,
    // which the binary writer stores once.
    CFRef<CFDataRef> xml(DataOf("<plist version=\"1.0\"><dict><key>flags</key><array><true/><true/><true/><true/><true/>"
                               "<true/><true/><true/><true/><true/><true/><true/><true/><true/><true/><true/><true/><true/>"
                               "<true/><true/><true/><true/><true/><true/><true/><true/><true/><true/><true/><true/><true/>"
                               "<true/><true/><true/><true/></array><key>a</key><string>same</string><key>b</key><string>same</string>"
                               "<key>c</key><dict><key>x</key><string>same</string><key>y</key><string>same</string>"
                               "</dict><key>d</key><array><string>same</string><string>same</string><string>same</string>"
                               "<string>same</string><string>same</string><string>same</string></array></dict></plist>"));
    CFRef<CFPropertyListRef> original(Read(xml));
    ASSERT_NE(nullptr, original.get());
    CFRef<CFDataRef> binary(CFPropertyListCreateData(nullptr, original, kCFPropertyListBinaryFormat_v1_0, 0, nullptr));
    ASSERT_NE(nullptr, binary.get());
    CFRef<CFPropertyListRef> back(Read(binary));
    ASSERT_NE(nullptr, back.get());
    EXPECT_TRUE(CFEqual(original, back));
    // Binary dates keep their fraction of a second.
    CFRef<CFMutableArrayRef> dates(NewArray());
    for (double at : {-86400000.25, 0.75, 123456789.5}) {
        CFRef<CFDateRef> date(CFDateCreate(nullptr, at));
        CFArrayAppendValue(dates, date);
    }
    CFRef<CFDataRef> datesBinary(CFPropertyListCreateData(nullptr, dates, kCFPropertyListBinaryFormat_v1_0, 0, nullptr));
    CFRef<CFPropertyListRef> datesBack(Read(datesBinary));
    EXPECT_TRUE(CFEqual(dates, datesBack));
}

TEST_F(PropertyListTest, PythonPlistlibReadsTheWrittenFileWithTheSameContent)
{
    if (std::system("python3 -c 'import plistlib' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 with plistlib is not available";
    }
    CFRef<CFMutableDictionaryRef> original(EveryType());
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, original));
    ASSERT_NE(nullptr, xml.get());
    standintest::TempFolder folder("cf-plistlib");
    std::string ours = folder / "ours.plist";
    std::string theirs = folder / "theirs.plist";
    std::ofstream(ours, std::ios::binary) << TextOf(xml);
    // Python checks a few values itself, then writes what it read in its own XML.
    std::string script =
        "import plistlib,sys,datetime\n"
        "d=plistlib.load(open(sys.argv[1],'rb'))\n"
        "assert d['int64 min']==-9223372036854775808, d['int64 min']\n"
        "assert d['minus one']==-1\n"
        "assert d['text'].endswith('\\tend\\nline'), repr(d['text'])\n"
        "assert plistlib.load(open(sys.argv[3],'rb'))['carriage']=='a\\r\\nb'\n"
        "assert d['data']==bytes([0,1,2,255,128,60,38])\n"
        "assert d['early']==datetime.datetime(1900,1,1), d['early']\n"
        "assert d['moon']==datetime.datetime(1969,7,20,20,14), d['moon']\n"
        "assert d['reals'][0]==0.1 and d['reals'][3]==1e300\n"
        "assert d['nested']['list'][1]=={'k':'v'}\n"
        "assert d['yes'] is True and d['no'] is False\n"
        "plistlib.dump(d,open(sys.argv[2],'wb'),fmt=plistlib.FMT_XML)\n";
    std::string scriptPath = folder / "check.py";
    std::ofstream(scriptPath) << script;
    CFRef<CFMutableDictionaryRef> carriage(NewDict());
    Put(carriage, "carriage", Str("a\r\nb"));
    CFRef<CFDataRef> carriageXML(CFPropertyListCreateXMLData(nullptr, carriage));
    std::string crPath = folder / "cr.plist";
    std::ofstream(crPath, std::ios::binary) << TextOf(carriageXML);
    std::string command = "python3 " + scriptPath + " " + ours + " " + theirs + " " + crPath;
    ASSERT_EQ(0, std::system(command.c_str())) << "plistlib refused or misread " << ours;
    std::ifstream in(theirs, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    CFRef<CFDataRef> pythonXML(DataOf(buffer.str()));
    CFRef<CFPropertyListRef> pythonRead(Read(pythonXML));
    ASSERT_NE(nullptr, pythonRead.get());
    EXPECT_TRUE(CFEqual(original, pythonRead));
}

// Keys are written in UTF-16 code-unit order whatever their storage: a character above the
// surrogates (U+FF01) sorts after one written with surrogates (U+1F600), unlike in UTF-8 byte
// order; dictionaries past the small size sort the same way.
TEST_F(PropertyListTest, KeysAreWrittenInCodeUnitOrder)
{
    const std::vector<std::string> expected = {"A", "B", "Z", "a", "b", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xEF\xBC\x81"};
    for (int padding : {0, 40}) {
        CFRef<CFMutableDictionaryRef> d(NewDict());
        for (auto it = expected.rbegin(); it != expected.rend(); ++it) {
            Put(d, it->c_str(), Int(1));
        }
        for (int i = 0; i < padding; ++i) {
            Put(d, ("~" + std::to_string(100 + i)).c_str(), Int(i));  // '~' sorts after the ASCII letters
        }
        CFRef<CFDataRef> xml(CFPropertyListCreateData(nullptr, d, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
        ASSERT_NE(nullptr, xml.get());
        std::string text = TextOf(xml);
        size_t last = 0;
        for (const std::string &key : expected) {
            size_t at = text.find("<key>" + key + "</key>");
            ASSERT_NE(std::string::npos, at) << key;
            EXPECT_LT(last, at) << key << " with " << padding << " more keys";
            last = at;
        }
        if (padding > 0) {
            EXPECT_LT(text.find("<key>~139</key>"), text.find("<key>\xC3\xA9</key>"));
            EXPECT_LT(text.find("<key>b</key>"), text.find("<key>~100</key>"));
        }
        CFRef<CFPropertyListRef> back(Read(xml));
        EXPECT_TRUE(CFEqual(d, back));
    }
}

TEST_F(PropertyListTest, WriterRefusesWhatCouldNotBeReadBack)
{
    auto refused = [](CFTypeRef value) {
        CFErrorRef error = nullptr;
        CFDataRef data = CFPropertyListCreateData(nullptr, value, kCFPropertyListXMLFormat_v1_0, 0, &error);
        bool result = data == nullptr && error != nullptr && CFErrorGetCode(error) == kCFPropertyListWriteStreamError;
        if (data != nullptr) {
            CFRelease(data);
        }
        if (error != nullptr) {
            CFRelease(error);
        }
        return result;
    };
    CFRef<CFStringRef> control(Str("bell\x07"));
    EXPECT_TRUE(refused(control));
    const UniChar lone[] = {'a', 0xD800, 'b'};
    CFRef<CFStringRef> surrogate(CFStringCreateWithCharacters(nullptr, lone, 3));
    EXPECT_TRUE(refused(surrogate));
    CFRef<CFMutableDictionaryRef> numberKey(NewDict());
    CFRef<CFNumberRef> one(Int(1));
    CFDictionarySetValue(numberKey, one, CFSTR("x"));
    EXPECT_TRUE(refused(numberKey));
    CFRef<CFURLRef> url(FileURL("/tmp", true));
    CFRef<CFMutableArrayRef> holder(NewArray());
    CFArrayAppendValue(holder, url);
    EXPECT_TRUE(refused(holder));
    CFRef<CFMutableArrayRef> cycle(NewArray());
    CFArrayAppendValue(cycle, cycle);  // holds itself
    EXPECT_TRUE(refused(cycle));
    EXPECT_FALSE(CFPropertyListIsValid(cycle, kCFPropertyListXMLFormat_v1_0));
    EXPECT_EQ(nullptr, CFPropertyListCreateDeepCopy(nullptr, cycle, kCFPropertyListImmutable));
    CFArrayRemoveValueAtIndex(cycle, 0);
}

std::string Nested(int depth)
{
    std::string text = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i) {
        text += "<array>";
    }
    for (int i = 0; i < depth; ++i) {
        text += "</array>";
    }
    return text + "</plist>";
}

TEST_F(PropertyListTest, ReaderCapsNestingAndRefusesMalformedInput)
{
    CFRef<CFDataRef> fine(DataOf(Nested(kCFPropertyListMaxDepth)));
    CFRef<CFPropertyListRef> ok(Read(fine));
    EXPECT_NE(nullptr, ok.get());
    CFIndex code = 0;
    CFRef<CFDataRef> deep(DataOf(Nested(kCFPropertyListMaxDepth + 1)));
    EXPECT_EQ(nullptr, Read(deep, 0, &code));
    EXPECT_EQ(kCFPropertyListReadCorruptError, code);
    CFRef<CFDataRef> hostile(DataOf(Nested(200000)));  // would overflow libplist's recursion
    EXPECT_EQ(nullptr, Read(hostile));
    // Every spelling of a start tag that libplist's parser accepts counts as one level, whatever
    // comes before it: an apostrophe is no attribute quote to the parser (a double quote is), and
    // comments and processing instructions between the tags change nothing.
    const std::pair<const char *, const char *> spellings[] = {
        {"<array '>", "<array>"}, {"<array x='>", "<array>"}, {"", "<array x=\"/>\">"}, {"", "<array\n>"},
        {"", "<array><!-- > -->"}, {"", "<array><?pi > ?>"}, {"", "<dict><key>k</key><array>"},
        {"<!DOCTYPE plist \">\" [ <!ENTITY a \"'\"> ]>", "<array x=\"'\">"}, {"<?pi \"?><!\"?>", "<array>"},
        {"", "<array><? ></array>?>"}, {"<?>", "<array>"}};
    for (const auto &[prefix, open] : spellings) {
        std::string text = std::string("<plist version=\"1.0\">") + prefix;
        for (int i = 0; i < 200000; ++i) {
            text += open;
        }
        CFRef<CFDataRef> data(DataOf(text));
        CFIndex deepCode = 0;
        EXPECT_EQ(nullptr, Read(data, 0, &deepCode)) << prefix << open;
        EXPECT_EQ(kCFPropertyListReadCorruptError, deepCode) << prefix << open;
    }
    // A zero byte in an element's name ends the name for the parser, so a double quote after it
    // in the same name quotes nothing: a check that took it for an attribute quote saw one level
    // and let two million closed levels through to the parser's recursion.
    {
        const int levels = 2000000;
        std::string text = std::string("<plist\0\">", 9);
        text.reserve(text.size() + 15 * levels + 8);
        for (int i = 0; i < levels; ++i) {
            text += "<array>";
        }
        for (int i = 0; i < levels; ++i) {
            text += "</array>";
        }
        CFRef<CFDataRef> data(DataOf(text + "</plist>"));
        CFIndex deepCode = 0;
        EXPECT_EQ(nullptr, Read(data, 0, &deepCode));
        EXPECT_EQ(kCFPropertyListReadCorruptError, deepCode);
    }
    // A writer of nesting deeper than the reader accepts refuses to write it.
    CFRef<CFMutableArrayRef> top(NewArray());
    CFMutableArrayRef current = top;
    for (int i = 0; i < kCFPropertyListMaxDepth + 1; ++i) {
        CFMutableArrayRef next = NewArray();
        CFArrayAppendValue(current, next);
        CFRelease(next);
        current = next;
    }
    EXPECT_EQ(nullptr, CFPropertyListCreateData(nullptr, top, kCFPropertyListXMLFormat_v1_0, 0, nullptr));

    for (const char *bad : {"", "garbage", "<plist><dict><key>a</key><string>x</string>",
                            "<plist version=\"1.0\"><string>\xC3\x28</string></plist>",
                            "<plist><array><!-- <array> --></array></plist><<<"}) {
        CFRef<CFDataRef> data(DataOf(bad));
        CFRef<CFPropertyListRef> result(Read(data));
        if (std::string(bad).find("<!--") != std::string::npos) {
            continue;  // comments do not count as nesting; whatever libplist makes of the tail is fine
        }
        EXPECT_EQ(nullptr, result.get()) << bad;
    }
    CFRef<CFStringRef> errorString;
    CFRef<CFDataRef> garbage(DataOf("garbage"));
    EXPECT_EQ(nullptr, CFPropertyListCreateFromXMLData(nullptr, garbage, 0, errorString.slot()));
    EXPECT_NE(nullptr, errorString.get());
}

TEST_F(PropertyListTest, MutabilityOptionsOfTheReader)
{
    CFRef<CFDataRef> xml(DataOf("<plist version=\"1.0\"><dict><key>name</key><string>Modem</string>"
                               "<key>list</key><array><string>a</string></array></dict></plist>"));
    CFRef<CFDictionaryRef> frozen(static_cast<CFDictionaryRef>(Read(xml, kCFPropertyListImmutable)));
    CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(frozen.get()), CFSTR("x"), CFSTR("y"));
    EXPECT_EQ(2, CFDictionaryGetCount(frozen));

    CFRef<CFMutableDictionaryRef> containers(
        static_cast<CFMutableDictionaryRef>(const_cast<void *>(Read(xml, kCFPropertyListMutableContainers))));
    CFDictionarySetValue(containers, CFSTR("x"), CFSTR("y"));
    EXPECT_EQ(3, CFDictionaryGetCount(containers));
    auto *list = static_cast<CFMutableArrayRef>(const_cast<void *>(CFDictionaryGetValue(containers, CFSTR("list"))));
    CFArrayAppendValue(list, CFSTR("b"));
    EXPECT_EQ(2, CFArrayGetCount(list));
    auto *name = static_cast<CFMutableStringRef>(const_cast<void *>(CFDictionaryGetValue(containers, CFSTR("name"))));
    CFStringAppend(name, CFSTR("!"));
    EXPECT_EQ("Modem", Utf8(name));

    CFRef<CFMutableDictionaryRef> leaves(
        static_cast<CFMutableDictionaryRef>(const_cast<void *>(Read(xml, kCFPropertyListMutableContainersAndLeaves))));
    name = static_cast<CFMutableStringRef>(const_cast<void *>(CFDictionaryGetValue(leaves, CFSTR("name"))));
    CFStringAppend(name, CFSTR("!"));
    EXPECT_EQ("Modem!", Utf8(name));
}

TEST_F(PropertyListTest, EveryReaderCreationFailureLeavesNothingBehind)
{
    CFRef<CFMutableDictionaryRef> original(EveryType());
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, original));
    long live = PlatformTestingCFLiveObjectCount();
    PlatformTestingCFFailNthCreation(1);
    CFErrorRef error = nullptr;
    EXPECT_EQ(nullptr, CFPropertyListCreateWithData(nullptr, xml, 0, nullptr, &error));
    EXPECT_EQ(nullptr, error);
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(nullptr, CFPropertyListCreateXMLData(nullptr, original));
    EXPECT_EQ(live, PlatformTestingCFLiveObjectCount());
    PlatformTestingResetCoreFoundation();
}

}  // namespace
