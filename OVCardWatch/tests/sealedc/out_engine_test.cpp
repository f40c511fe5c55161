// The engine's pieces below snprintf_s: the class-and-state table, the cursor and its writers,
// and vsnprintf_helper's results.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "../../sealedc/src/sealedc_internal.h"

extern "C" const unsigned char sealedc__lookuptable_s[91];

namespace {

enum { OTHER, PERCENT, DOT, STAR, ZERO, DIGIT, FLAG, SIZE, TYPE };
enum { NORMAL, ST_PERCENT, ST_FLAG, WIDTH, ST_DOT, PRECISION, ST_SIZE, ST_TYPE, INVALID };

unsigned ClassOf(unsigned char b)
{
    return (b >= 32 && b <= 122) ? (sealedc__lookuptable_s[b - 32] & 0x0F) : OTHER;
}

unsigned Next(unsigned cls, unsigned state)
{
    return sealedc__lookuptable_s[cls * 9 + state] >> 4;
}

TEST(LookupTableTest, ClassesOfEveryByte)
{
    const std::string types = "CEFGSXcdefgiopsux";
    const std::string sizes = "ILNZhjlqtwz";
    const std::string flags = " #+-";
    for (unsigned b = 0; b < 256; ++b) {
        unsigned expected = OTHER;
        char c = static_cast<char>(b);
        if (b >= 32 && b <= 122) {
            if (types.find(c) != std::string::npos) expected = TYPE;
            else if (sizes.find(c) != std::string::npos) expected = SIZE;
            else if (flags.find(c) != std::string::npos) expected = FLAG;
            else if (c == '%') expected = PERCENT;
            else if (c == '.') expected = DOT;
            else if (c == '*') expected = STAR;
            else if (c == '0') expected = ZERO;
            else if (c >= '1' && c <= '9') expected = DIGIT;
        }
        EXPECT_EQ(expected, ClassOf(static_cast<unsigned char>(b))) << "byte " << b;
    }
}

TEST(LookupTableTest, Transitions)
{
    // Rows of the transition table, columns NORMAL..TYPE.
    const unsigned rows[9][8] = {
        {NORMAL, INVALID, INVALID, INVALID, INVALID, INVALID, INVALID, NORMAL},
        {ST_PERCENT, NORMAL, INVALID, INVALID, INVALID, INVALID, INVALID, ST_PERCENT},
        {NORMAL, ST_DOT, ST_DOT, ST_DOT, INVALID, INVALID, INVALID, NORMAL},
        {NORMAL, WIDTH, WIDTH, INVALID, PRECISION, INVALID, INVALID, NORMAL},
        {NORMAL, ST_FLAG, ST_FLAG, WIDTH, PRECISION, PRECISION, INVALID, NORMAL},
        {NORMAL, WIDTH, WIDTH, WIDTH, PRECISION, PRECISION, INVALID, NORMAL},
        {NORMAL, ST_FLAG, ST_FLAG, INVALID, INVALID, INVALID, INVALID, NORMAL},
        {NORMAL, ST_SIZE, ST_SIZE, ST_SIZE, ST_SIZE, ST_SIZE, ST_SIZE, NORMAL},
        {NORMAL, ST_TYPE, ST_TYPE, ST_TYPE, ST_TYPE, ST_TYPE, ST_TYPE, NORMAL},
    };
    for (unsigned c = 0; c < 9; ++c) {
        for (unsigned s = 0; s < 8; ++s) {
            EXPECT_EQ(rows[c][s], Next(c, s)) << "class " << c << " state " << s;
        }
    }
    // A few whole bytes of the encoding.
    EXPECT_EQ(0x06, sealedc__lookuptable_s[0]);   // space: flag; class other from NORMAL
    EXPECT_EQ(0x81, sealedc__lookuptable_s[5]);   // "%": percent; other from SIZE is INVALID
    EXPECT_EQ(0x07, sealedc__lookuptable_s[90]);  // "z": size
}

TEST(CursorTest, WritesStopAtTheRoomAndLeaveCountNegative)
{
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    sealedc_out_stream s{3, buf};
    int counter = 0;
    write_char_a('a', &s, &counter);
    write_string_a("bc", 2, &s, &counter);
    EXPECT_EQ(3, counter);
    EXPECT_EQ(0, s.count);
    write_char_a('d', &s, &counter);
    EXPECT_EQ(-1, counter);
    EXPECT_LT(s.count, 0);
    EXPECT_EQ('#', buf[3]);

    // Runs shorter than the room go in one piece; longer ones stop at the first byte without room.
    std::memset(buf, '#', sizeof buf);
    sealedc_out_stream t{5, buf};
    counter = 0;
    write_multi_char_a('x', 2, &t, &counter);
    write_multi_char_a('y', 0, &t, &counter);
    write_multi_char_a('y', -4, &t, &counter);
    write_string_a("z", 0, &t, &counter);
    EXPECT_EQ(2, counter);
    write_multi_char_a('w', 6, &t, &counter);
    EXPECT_EQ(-1, counter);
    EXPECT_EQ(std::string("xxwww#"), std::string(buf, 6));
    EXPECT_EQ(-1, t.count);

    // Texts of more than 11 bytes, with and without room.
    char big[32];
    sealedc_out_stream u{32, big};
    counter = 0;
    write_string_a("0123456789abcdef", 16, &u, &counter);
    EXPECT_EQ(16, counter);
    EXPECT_EQ(0, std::memcmp(big, "0123456789abcdef", 16));
    sealedc_out_stream v{14, big};
    counter = 0;
    write_string_a("ABCDEFGHIJKLMNOP", 16, &v, &counter);
    EXPECT_EQ(-1, counter);
    EXPECT_EQ(0, std::memcmp(big, "ABCDEFGHIJKLMN", 14));
    EXPECT_EQ('e', big[14]);  // untouched: still the earlier text
}

int Helper(char *buf, size_t size, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vsnprintf_helper(buf, size, format, ap);
    va_end(ap);
    return r;
}

TEST(VsnprintfHelperTest, OverflowAndFormatErrorsAreTold)
{
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(3, Helper(buf, 8, "%s", "abc"));
    EXPECT_STREQ("abc", buf);
    // Exactly size characters leave no room for the terminator: an overflow.
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(-2, Helper(buf, 8, "%s", "abcdefgh"));
    EXPECT_EQ(std::string("abcdefg"), std::string(buf));
    EXPECT_EQ(7, Helper(buf, 8, "%s", "abcdefg"));
    // A format error with room left.
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(-1, Helper(buf, 8, "ab%"));
    EXPECT_EQ('\0', buf[7]);
    EXPECT_EQ('a', buf[0]);
    // Empty format.
    EXPECT_EQ(0, Helper(buf, 1, ""));
    EXPECT_EQ('\0', buf[0]);
}

}  // namespace
