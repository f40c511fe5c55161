// MoreCFQ: C-string conversion, normalization, localized strings and HFS name records.
#include "MoreCFQ.h"

#include "CFQTestSupport.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

using namespace cfqtest;
using namespace standintest;

namespace {

class CFQStrings : public SeamTest {};

// Owns a C string from CFQStringCopyCString.
struct CString {
    char *text = nullptr;
    ~CString() { free(text); }
};

TEST_F(CFQStrings, CopyCStringConvertsWholeStringsAndTerminates)
{
    CFRef<CFStringRef> plain(Str("modem 9"));
    CString ascii;
    ASSERT_EQ(CFQStringCopyCString(plain, kCFStringEncodingASCII, &ascii.text), noErr);
    EXPECT_STREQ(ascii.text, "modem 9");

    // "é" is one byte in MacRoman (0x8E) and two in UTF-8.
    CFRef<CFStringRef> accented(Str("caf\xC3\xA9"));
    CString macRoman;
    ASSERT_EQ(CFQStringCopyCString(accented, kCFStringEncodingMacRoman, &macRoman.text), noErr);
    EXPECT_STREQ(macRoman.text, "caf\x8E");
    CString utf8;
    ASSERT_EQ(CFQStringCopyCString(accented, kCFStringEncodingUTF8, &utf8.text), noErr);
    EXPECT_STREQ(utf8.text, "caf\xC3\xA9");

    // An empty string gives a one-byte buffer holding only the terminator.
    CFRef<CFStringRef> empty(Str(""));
    CString nothing;
    ASSERT_EQ(CFQStringCopyCString(empty, kCFStringEncodingUTF8, &nothing.text), noErr);
    ASSERT_NE(nothing.text, nullptr);
    EXPECT_EQ(nothing.text[0], '\0');
}

TEST_F(CFQStrings, CopyCStringRefusesACharacterTheEncodingLacks)
{
    CFRef<CFStringRef> accented(Str("caf\xC3\xA9"));
    CString out;
    EXPECT_EQ(CFQStringCopyCString(accented, kCFStringEncodingASCII, &out.text), 5401);
    EXPECT_EQ(out.text, nullptr);

    // The unrepresentable character at the very start, and one outside MacRoman.
    CFRef<CFStringRef> euroFirst(Str("\xE2\x82\xAC 5"));
    EXPECT_EQ(CFQStringCopyCString(euroFirst, kCFStringEncodingISOLatin1, &out.text), 5401);
    EXPECT_EQ(out.text, nullptr);
    CFRef<CFStringRef> cjk(Str("\xE6\xBC\xA2"));
    EXPECT_EQ(CFQStringCopyCString(cjk, kCFStringEncodingMacRoman, &out.text), 5401);
    EXPECT_EQ(out.text, nullptr);
}

TEST_F(CFQStrings, NormalizeDecomposesIntoAMutableCopy)
{
    CFStringRef str = Str("caf\xC3\xA9");  // precomposed U+00E9
    CFStringRef original = str;
    CFRetain(original);
    ASSERT_EQ(CFQStringNormalize(&str), noErr);
    EXPECT_NE(str, original);
    EXPECT_EQ(CFGetRetainCount(original), 1) << "the slot's old reference was released";
    ASSERT_EQ(CFStringGetLength(str), 5);
    EXPECT_EQ(CFStringGetCharacterAtIndex(str, 3), 'e');
    EXPECT_EQ(CFStringGetCharacterAtIndex(str, 4), 0x0301);
    // The copy is mutable.
    CFStringAppend(const_cast<CFMutableStringRef>(str), CFSTR("!"));
    EXPECT_EQ(CFStringGetLength(str), 6);
    CFRelease(str);

    // When the copy cannot be made the slot keeps its string.
    CFStringRef kept = original;
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(CFQStringNormalize(&kept), -4960);
    EXPECT_EQ(kept, original);
    EXPECT_EQ(CFGetRetainCount(original), 1);
    CFRelease(original);
}

TEST_F(CFQStrings, LocalisedStringComesFromTheMainBundleNormalized)
{
    TempFolder bundle;
    std::filesystem::create_directories(bundle / "Resources/en.lproj");
    {
        std::ofstream strings(bundle / "Resources/en.lproj/Localizable.strings");
        strings << "\"Greeting\" = \"Caf\xC3\xA9 ready\";\n";
    }
    PlatformTestingSetMainBundlePath(bundle.path().c_str());

    CFRef<CFStringRef> translated;
    ASSERT_EQ(CFQCopyLocalisedNormalisedString(CFSTR("Greeting"), CFSTR("shown at start"), translated.slot()), noErr);
    EXPECT_EQ(StdString(translated), "Cafe\xCC\x81 ready");

    // Without a translation the key itself comes back.
    CFRef<CFStringRef> untranslated;
    ASSERT_EQ(CFQCopyLocalisedNormalisedString(CFSTR("No such key"), CFSTR(""), untranslated.slot()), noErr);
    EXPECT_EQ(StdString(untranslated), "No such key");
}

TEST_F(CFQStrings, HFSNameRecordsHoldAtMost255Characters)
{
    HFSUniStr255 record;
    std::memset(&record, 0xEE, sizeof(record));

    std::string name255(255, 'n');
    CFRef<CFStringRef> fits(Str(name255.c_str()));
    ASSERT_EQ(CFQStringGetHFSUniStr255(fits, &record), noErr);
    EXPECT_EQ(record.length, 255);
    EXPECT_EQ(record.unicode[254], 'n');

    CFRef<CFStringRef> back;
    ASSERT_EQ(CFQStringCreateWithHFSUniStr255(&record, back.slot()), noErr);
    EXPECT_TRUE(CFEqual(back, fits));

    // 256 characters do not fit; the record is left as it was.
    std::string name256(256, 'x');
    CFRef<CFStringRef> tooLong(Str(name256.c_str()));
    EXPECT_EQ(CFQStringGetHFSUniStr255(tooLong, &record), -37);
    EXPECT_EQ(record.length, 255);
    EXPECT_EQ(record.unicode[0], 'n');

    // Non-ASCII text travels as UTF-16 units.
    CFRef<CFStringRef> accented(Str("Modem \xC3\xA9"));
    ASSERT_EQ(CFQStringGetHFSUniStr255(accented, &record), noErr);
    EXPECT_EQ(record.length, 7);
    EXPECT_EQ(record.unicode[6], 0x00E9);
    CFRef<CFStringRef> empty;
    record.length = 0;
    ASSERT_EQ(CFQStringCreateWithHFSUniStr255(&record, empty.slot()), noErr);
    EXPECT_EQ(CFStringGetLength(empty), 0);
}

TEST_F(CFQStrings, MalformedNameRecordIsRefusedNotReadPastItsEnd)
{
    // A record claiming more than 255 units would make the string read past the record.
    HFSUniStr255 record;
    std::memset(&record, 0, sizeof(record));
    record.length = 256;
    CFRef<CFStringRef> str;
    EXPECT_EQ(CFQStringCreateWithHFSUniStr255(&record, str.slot()), -37);
    EXPECT_EQ(str.get(), nullptr);
    record.length = 0xFFFF;
    EXPECT_EQ(CFQStringCreateWithHFSUniStr255(&record, str.slot()), -37);
    EXPECT_EQ(str.get(), nullptr);
}

}  // namespace
