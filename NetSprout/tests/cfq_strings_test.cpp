// MoreCFQ: C-string conversion, normalization, localized strings and HFS name records.
#include "MoreCFQ.h"

#include "CFQTestSupport.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

using namespace cfqtest;
using namespace standintest;

namespace {

class CFQStringsTest : public SeamTest {};

// Owns a C string from CFQStringCopyCString.
struct CString {
    char *text = nullptr;
    ~CString() { free(text); }
};

TEST_F(CFQStringsTest, CopyCStringConvertsWholeStringsAndTerminates)
{
    CFRef<CFStringRef> plain(Str("modem 9"));
    CString ascii;
    ASSERT_EQ(noErr, CFQStringCopyCString(plain, kCFStringEncodingASCII, &ascii.text));
    EXPECT_STREQ(ascii.text, "modem 9");

    // "é" is one byte in MacRoman (0x8E) and two in UTF-8.
    CFRef<CFStringRef> accented(Str("caf\xC3\xA9"));
    CString macRoman;
    ASSERT_EQ(noErr, CFQStringCopyCString(accented, kCFStringEncodingMacRoman, &macRoman.text));
    EXPECT_STREQ(macRoman.text, "caf\x8E");
    CString utf8;
    ASSERT_EQ(noErr, CFQStringCopyCString(accented, kCFStringEncodingUTF8, &utf8.text));
    EXPECT_STREQ(utf8.text, "caf\xC3\xA9");

    // An empty string gives a one-byte buffer holding only the terminator.
    CFRef<CFStringRef> empty(Str(""));
    CString nothing;
    ASSERT_EQ(noErr, CFQStringCopyCString(empty, kCFStringEncodingUTF8, &nothing.text));
    ASSERT_NE(nothing.text, nullptr);
    EXPECT_EQ('\0', nothing.text[0]);
}

TEST_F(CFQStringsTest, CopyCStringRefusesACharacterTheEncodingLacks)
{
    CFRef<CFStringRef> accented(Str("caf\xC3\xA9"));
    CString out;
    EXPECT_EQ(5401, CFQStringCopyCString(accented, kCFStringEncodingASCII, &out.text));
    EXPECT_EQ(nullptr, out.text);

    // The unrepresentable character at the very start, and one outside MacRoman.
    CFRef<CFStringRef> euroFirst(Str("\xE2\x82\xAC 5"));
    EXPECT_EQ(5401, CFQStringCopyCString(euroFirst, kCFStringEncodingISOLatin1, &out.text));
    EXPECT_EQ(nullptr, out.text);
    CFRef<CFStringRef> cjk(Str("\xE6\xBC\xA2"));
    EXPECT_EQ(5401, CFQStringCopyCString(cjk, kCFStringEncodingMacRoman, &out.text));
    EXPECT_EQ(nullptr, out.text);
}

TEST_F(CFQStringsTest, NormalizeDecomposesIntoAMutableCopy)
{
    CFStringRef str = Str("caf\xC3\xA9");  // precomposed U+00E9
    CFStringRef original = str;
    CFRetain(original);
    ASSERT_EQ(noErr, CFQStringNormalize(&str));
    EXPECT_NE(str, original);
    EXPECT_EQ(1, CFGetRetainCount(original)) << "the slot's old reference was released";
    ASSERT_EQ(5, CFStringGetLength(str));
    EXPECT_EQ('e', CFStringGetCharacterAtIndex(str, 3));
    EXPECT_EQ(0x0301, CFStringGetCharacterAtIndex(str, 4));
    // The copy is mutable.
    CFStringAppend(const_cast<CFMutableStringRef>(str), CFSTR("!"));
    EXPECT_EQ(6, CFStringGetLength(str));
    CFRelease(str);

    // When the copy cannot be made the slot keeps its string.
    CFStringRef kept = original;
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(-4960, CFQStringNormalize(&kept));
    EXPECT_EQ(original, kept);
    EXPECT_EQ(1, CFGetRetainCount(original));
    CFRelease(original);
}

TEST_F(CFQStringsTest, LocalisedStringComesFromTheMainBundleNormalized)
{
    TempFolder bundle;
    std::filesystem::create_directories(bundle / "Resources/en.lproj");
    {
        std::ofstream strings(bundle / "Resources/en.lproj/Localizable.strings");
        strings << "\"Greeting\" = \"Caf\xC3\xA9 ready\";\n";
    }
    PlatformTestingSetMainBundlePath(bundle.path().c_str());

    CFRef<CFStringRef> translated;
    ASSERT_EQ(noErr, CFQCopyLocalisedNormalisedString(CFSTR("Greeting"), CFSTR("shown at start"), translated.slot()));
    EXPECT_EQ("Cafe\xCC\x81 ready", standintest::Text(translated));

    // Without a translation the key itself comes back.
    CFRef<CFStringRef> untranslated;
    ASSERT_EQ(noErr, CFQCopyLocalisedNormalisedString(CFSTR("No such key"), CFSTR(""), untranslated.slot()));
    EXPECT_EQ("No such key", standintest::Text(untranslated));
}

TEST_F(CFQStringsTest, HFSNameRecordsHoldAtMost255Characters)
{
    HFSUniStr255 record;
    std::memset(&record, 0xEE, sizeof(record));

    std::string name255(255, 'n');
    CFRef<CFStringRef> fits(Str(name255.c_str()));
    ASSERT_EQ(noErr, CFQStringGetHFSUniStr255(fits, &record));
    EXPECT_EQ(255, record.length);
    EXPECT_EQ('n', record.unicode[254]);

    CFRef<CFStringRef> back;
    ASSERT_EQ(noErr, CFQStringCreateWithHFSUniStr255(&record, back.slot()));
    EXPECT_TRUE(CFEqual(back, fits));

    // 256 characters do not fit; the record is left as it was.
    std::string name256(256, 'x');
    CFRef<CFStringRef> tooLong(Str(name256.c_str()));
    EXPECT_EQ(-37, CFQStringGetHFSUniStr255(tooLong, &record));
    EXPECT_EQ(255, record.length);
    EXPECT_EQ('n', record.unicode[0]);

    // Non-ASCII text travels as UTF-16 units.
    CFRef<CFStringRef> accented(Str("Modem \xC3\xA9"));
    ASSERT_EQ(noErr, CFQStringGetHFSUniStr255(accented, &record));
    EXPECT_EQ(7, record.length);
    EXPECT_EQ(0x00E9, record.unicode[6]);
    CFRef<CFStringRef> empty;
    record.length = 0;
    ASSERT_EQ(noErr, CFQStringCreateWithHFSUniStr255(&record, empty.slot()));
    EXPECT_EQ(0, CFStringGetLength(empty));
}

TEST_F(CFQStringsTest, MalformedNameRecordIsRefusedNotReadPastItsEnd)
{
    // A record claiming more than 255 units would make the string read past the record.
    HFSUniStr255 record;
    std::memset(&record, 0, sizeof(record));
    record.length = 256;
    CFRef<CFStringRef> str;
    EXPECT_EQ(-37, CFQStringCreateWithHFSUniStr255(&record, str.slot()));
    EXPECT_EQ(nullptr, str.get());
    record.length = 0xFFFF;
    EXPECT_EQ(-37, CFQStringCreateWithHFSUniStr255(&record, str.slot()));
    EXPECT_EQ(nullptr, str.get());
}

}  // namespace
