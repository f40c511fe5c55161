// The stand-in kit: armed failures, UTF-8 checking, text between bytes and CFString, the reporter.
#include "StandInKit.h"
#include "StandInTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using standintest::CFRef;

TEST(StandInKitFailureTableTest, ArmsDisarmsAndClears)
{
    struct Step {
        enum { kArm, kTake, kClear } what;
        const char *call;
        int32_t status;       // kArm: the status; kTake: the status expected
        unsigned afterCalls;  // kArm only
    };
    const std::vector<std::vector<Step>> scripts = {
        // once: the next call fails, the one after it runs
        {{Step::kArm, "A", 5, 0}, {Step::kTake, "A", 5, 0}, {Step::kTake, "A", 0, 0}},
        // afterCalls: two calls run, the third fails, the fourth runs
        {{Step::kArm, "A", 7, 2}, {Step::kTake, "A", 0, 0}, {Step::kTake, "A", 0, 0}, {Step::kTake, "A", 7, 0},
         {Step::kTake, "A", 0, 0}},
        // every call until disarmed with status 0
        {{Step::kArm, "A", 9, PLATFORM_TESTING_EVERY_CALL}, {Step::kTake, "A", 9, 0}, {Step::kTake, "A", 9, 0},
         {Step::kArm, "A", 0, 0}, {Step::kTake, "A", 0, 0}},
        // calls are told apart by name; re-arming replaces
        {{Step::kArm, "A", 1, 0}, {Step::kTake, "B", 0, 0}, {Step::kArm, "A", 2, 1}, {Step::kTake, "A", 0, 0},
         {Step::kTake, "A", 2, 0}},
        // clear disarms everything
        {{Step::kArm, "A", 1, PLATFORM_TESTING_EVERY_CALL}, {Step::kArm, "B", 2, 0}, {Step::kClear, "", 0, 0},
         {Step::kTake, "A", 0, 0}, {Step::kTake, "B", 0, 0}},
    };
    static_assert(standin::kEveryCall == PLATFORM_TESTING_EVERY_CALL);
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        standin::FailureTable table;
        for (std::size_t k = 0; k < scripts[i].size(); ++k) {
            const Step &step = scripts[i][k];
            if (step.what == Step::kArm) {
                table.Arm(step.call, step.status, step.afterCalls);
            } else if (step.what == Step::kClear) {
                table.Clear();
            } else {
                EXPECT_EQ(table.Take(step.call), step.status) << "script " << i << " step " << k;
            }
        }
    }
}

TEST(StandInKitTextTest, IsValidUTF8AcceptsWellFormedSequencesOnly)
{
    const std::pair<std::string, bool> cases[] = {
        {"", true},
        {"ascii", true},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x92\xbe\xf4\x8f\xbf\xbf", true},  // 2, 3, 4 bytes and U+10FFFF
        {"\xed\x9f\xbf\xee\x80\x80", true},                              // around the surrogates
        {"\x80", false},                                                 // continuation first
        {"\xc3", false},                                                 // truncated at the end
        {"\xe2\x82", false},
        {"\xe2\x82x", false},                  // truncated in the middle
        {"\xc1\xbf", false},                   // overlong, 2 bytes
        {"\xe0\x9f\xbf", false},               // overlong, 3 bytes
        {"\xf0\x8f\xbf\xbf", false},           // overlong, 4 bytes
        {"\xed\xa0\x80", false},               // high surrogate
        {"\xed\xbf\xbf", false},               // low surrogate
        {"\xf4\x90\x80\x80", false},           // above U+10FFFF
        {"\xf8\x88\x80\x80\x80", false},       // five-byte form
        {"\xff", false},
    };
    for (const auto &[bytes, valid] : cases) {
        EXPECT_EQ(standin::IsValidUTF8(bytes), valid) << standin::Printable(bytes, true);
    }
}

TEST(StandInKitTextTest, StringsFromBytesFallBackToMacRomanAndBack)
{
    PlatformTestingResetCoreFoundation();
    struct Case {
        std::string bytes;
        CFStringEncoding readAs;
    };
    const Case cases[] = {
        {"Velmora", kCFStringEncodingUTF8},
        {"Caf\xc3\xa9", kCFStringEncodingUTF8},
        {"Caf\x8e", kCFStringEncodingMacRoman},      // 0x8E is e-acute in Mac Roman
        {"\xed\xa0\x80", kCFStringEncodingMacRoman},  // an encoded surrogate is not UTF-8
        {std::string("a\0b", 3), kCFStringEncodingUTF8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(standin::Printable(c.bytes, true));
        CFRef<CFStringRef> made(standin::CreateStringFromBytes(c.bytes));
        ASSERT_TRUE(made);
        CFRef<CFStringRef> expected(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(c.bytes.data()),
                                                            static_cast<CFIndex>(c.bytes.size()), c.readAs, false));
        ASSERT_TRUE(expected);
        EXPECT_TRUE(CFEqual(made, expected));
        // Back to UTF-8: the same bytes for UTF-8 input, valid UTF-8 always.
        std::optional<std::string> text = standin::UTF8Of(made);
        ASSERT_TRUE(text.has_value());
        EXPECT_TRUE(standin::IsValidUTF8(*text));
        if (c.readAs == kCFStringEncodingUTF8) {
            EXPECT_EQ(*text, c.bytes);
        }
        EXPECT_EQ(standin::TextOf(made), *text);
    }
}

TEST(StandInKitTextTest, NullAndNonStringsHaveNoText)
{
    int answer = 42;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberIntType, &answer));
    for (CFTypeRef value : {static_cast<CFTypeRef>(nullptr), static_cast<CFTypeRef>(number.get()),
                            static_cast<CFTypeRef>(kCFBooleanTrue)}) {
        EXPECT_FALSE(standin::UTF8Of(value).has_value());
        EXPECT_EQ("", standin::UTF8OrEmpty(value));
        EXPECT_EQ("", standin::TextOf(value));
    }
    // A lone surrogate has no UTF-8: nothing from UTF8Of, a '?' in TextOf.
    const UniChar lone[] = {'a', 0xD800, 'b'};
    CFRef<CFStringRef> odd(CFStringCreateWithCharacters(nullptr, lone, 3));
    ASSERT_TRUE(odd);
    EXPECT_FALSE(standin::UTF8Of(odd).has_value());
    EXPECT_EQ("a?b", standin::TextOf(odd));
}

TEST(StandInKitTextTest, PrintableEscapesWhatALineCannotHold)
{
    const std::string raw = "a\"b\\c\x01\x7f\xc3\xa9";
    EXPECT_EQ("a\"b\\c\\x01\\x7f\xc3\xa9", standin::Printable(raw));
    EXPECT_EQ("a\\x22b\\x5cc\\x01\\x7f\\xc3\\xa9", standin::Printable(raw, true));
}

TEST(StandInKitReporterTest, WritesEachLineOncePerScopeUntilForgotten)
{
    standin::Reporter reporter("Kit");
    testing::internal::CaptureStderr();
    reporter.Report("bad\tline");
    reporter.Report("bad\tline");
    reporter.SetScope("other file");
    reporter.Report("bad\tline");
    reporter.Report("bad\tline");
    reporter.Forget();
    reporter.Report("bad\tline");
    std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ("Kit: bad\\x09line\nKit: bad\\x09line\nKit: bad\\x09line\n", written);
}

}  // namespace
