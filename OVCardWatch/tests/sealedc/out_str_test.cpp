// String functions of the checked runtime: result codes and the destination after every
// failure class, the cut-not-fail rule of strncpy_s and the overlap tests of strncat_s.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sealedc.h"

namespace {

constexpr size_t kTooLarge = SEALEDC_MAX_LEN + 1;

// A buffer pre-filled with a marker byte so that untouched bytes show.
template <size_t N>
struct Marked {
    char b[N];
    Marked() { std::memset(b, '#', N); }
};

TEST(StrcpyTest, FailureClassesInOrder)
{
    Marked<8> d;
    EXPECT_EQ(ERANGE, strcpy_s(d.b, 0, "abc"));
    EXPECT_EQ(ERANGE, strcpy_s(d.b, kTooLarge, "abc"));
    EXPECT_EQ(ERANGE, strcpy_s(nullptr, 0, nullptr));
    EXPECT_EQ('#', d.b[0]);
    EXPECT_EQ(EINVAL, strcpy_s(nullptr, 8, "abc"));
    EXPECT_EQ(EINVAL_AND_RESET, strcpy_s(d.b, 8, nullptr));
    EXPECT_EQ('\0', d.b[0]);
    EXPECT_EQ('#', d.b[1]);
    Marked<8> e;
    EXPECT_EQ(ERANGE_AND_RESET, strcpy_s(e.b, 8, "12345678"));  // no room for the terminator
    EXPECT_EQ('\0', e.b[0]);
    EXPECT_EQ('#', e.b[1]);
}

TEST(StrcpyTest, CopiesTextAndTerminatorOnly)
{
    for (size_t len : {0u, 1u, 7u, 31u, 32u, 33u, 100u}) {
        std::string src(len, 'x');
        for (size_t i = 0; i < len; ++i) src[i] = static_cast<char>('a' + i % 26);
        Marked<128> d;
        ASSERT_EQ(EOK, strcpy_s(d.b, len + 1, src.c_str())) << len;
        EXPECT_EQ(src, std::string(d.b)) << len;
        EXPECT_EQ('#', d.b[len + 1]);
        // Unaligned destination.
        Marked<128> u;
        ASSERT_EQ(EOK, strcpy_s(u.b + 1, 127, src.c_str()));
        EXPECT_EQ(src, std::string(u.b + 1));
    }
}

TEST(StrcpyTest, SameAndOverlappingBuffers)
{
    char same[8] = "abc";
    EXPECT_EQ(EOK, strcpy_s(same, 8, same));
    EXPECT_STREQ("abc", same);
    char full[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(ERANGE_AND_RESET, strcpy_s(full, 4, full));
    EXPECT_EQ('\0', full[0]);
    EXPECT_EQ('b', full[1]);

    char buf[16] = "abcdef";
    EXPECT_EQ(EOVERLAP_AND_RESET, strcpy_s(buf + 2, 14, buf));
    EXPECT_EQ('\0', buf[2]);
    EXPECT_EQ('a', buf[0]);
    std::strcpy(buf, "abcdef");
    EXPECT_EQ(EOVERLAP_AND_RESET, strcpy_s(buf, 16, buf + 3));
    EXPECT_EQ('\0', buf[0]);
    EXPECT_EQ('d', buf[3]);
    // Adjacent is not overlapping.
    std::strcpy(buf, "abc");
    EXPECT_EQ(EOK, strcpy_s(buf + 4, 12, buf));
    EXPECT_STREQ("abc", buf + 4);
}

TEST(StrncpyTest, FailureClassesInOrder)
{
    Marked<8> d;
    EXPECT_EQ(ERANGE, strncpy_s(d.b, 0, "abc", 3));
    EXPECT_EQ(ERANGE, strncpy_s(d.b, kTooLarge, "abc", 3));
    EXPECT_EQ(ERANGE, strncpy_s(nullptr, 0, nullptr, 0));
    EXPECT_EQ('#', d.b[0]);
    EXPECT_EQ(EINVAL, strncpy_s(nullptr, 8, "abc", 3));
    EXPECT_EQ(EINVAL_AND_RESET, strncpy_s(d.b, 8, nullptr, kTooLarge));
    EXPECT_EQ('\0', d.b[0]);
    Marked<8> e;
    EXPECT_EQ(ERANGE_AND_RESET, strncpy_s(e.b, 8, "abc", kTooLarge));
    EXPECT_EQ('\0', e.b[0]);
    EXPECT_EQ('#', e.b[1]);
    Marked<8> f;
    EXPECT_EQ(ERANGE_AND_RESET, strncpy_s(f.b, 8, "abc", SIZE_MAX));
    EXPECT_EQ('\0', f.b[0]);
    Marked<8> g;
    EXPECT_EQ(EOK, strncpy_s(g.b, 8, "abc", 0));
    EXPECT_EQ('\0', g.b[0]);
    EXPECT_EQ('#', g.b[1]);
}

TEST(StrncpyTest, CutNotFailWithCountBelowDestMax)
{
    Marked<4> a;
    EXPECT_EQ(EOK, strncpy_s(a.b, 4, "abcdef", 3));
    EXPECT_STREQ("abc", a.b);
    Marked<4> b;
    EXPECT_EQ(ERANGE_AND_RESET, strncpy_s(b.b, 4, "abcdef", 4));
    EXPECT_EQ('\0', b.b[0]);
    EXPECT_EQ('#', b.b[1]);
    // A source of exactly destMax - 1 characters fits with any count.
    Marked<4> c;
    EXPECT_EQ(EOK, strncpy_s(c.b, 4, "abc", 100));
    EXPECT_STREQ("abc", c.b);
    // A shorter source copies its text and terminator only.
    Marked<16> d;
    EXPECT_EQ(EOK, strncpy_s(d.b, 16, "ab", 10));
    EXPECT_STREQ("ab", d.b);
    EXPECT_EQ('#', d.b[3]);
    // The 63-character cut of the service's buffers.
    std::string longText(200, 'q');
    char line[64];
    EXPECT_EQ(EOK, strncpy_s(line, sizeof line, longText.c_str(), sizeof line - 1));
    EXPECT_EQ(std::string(63, 'q'), std::string(line));
}

TEST(StrncpyTest, NeverReadsPastCount)
{
    // A source without a terminator, exactly count bytes long (ASan guards the end).
    char *src = new char[5];
    std::memcpy(src, "hello", 5);
    char d[16];
    EXPECT_EQ(EOK, strncpy_s(d, 16, src, 5));
    EXPECT_STREQ("hello", d);
    delete[] src;
}

TEST(StrncpyTest, Overlap)
{
    char buf[16] = "abcdef";
    EXPECT_EQ(EOVERLAP_AND_RESET, strncpy_s(buf + 2, 14, buf, 10));
    EXPECT_EQ('\0', buf[2]);
    std::strcpy(buf, "abcdef");
    EXPECT_EQ(EOVERLAP_AND_RESET, strncpy_s(buf, 16, buf + 1, 3));  // 4 bytes written
    EXPECT_EQ('\0', buf[0]);
    std::strcpy(buf, "abcdef");
    EXPECT_EQ(EOK, strncpy_s(buf, 16, buf, 3));  // same buffer: cut in place
    EXPECT_STREQ("abc", buf);
    std::strcpy(buf, "abcdef");
    EXPECT_EQ(EOK, strncpy_s(buf, 16, buf + 4, 2));  // "ef" + terminator lands before it
    EXPECT_STREQ("ef", buf);
}

TEST(StrncatTest, FailureClassesInOrder)
{
    Marked<8> d;
    EXPECT_EQ(ERANGE, strncat_s(d.b, 0, "abc", 3));
    EXPECT_EQ(ERANGE, strncat_s(d.b, kTooLarge, "abc", 3));
    EXPECT_EQ('#', d.b[0]);
    EXPECT_EQ(EINVAL, strncat_s(nullptr, 8, "abc", 3));
    EXPECT_EQ(EINVAL_AND_RESET, strncat_s(d.b, 8, nullptr, 3));
    EXPECT_EQ('\0', d.b[0]);
    char e[8] = "ab";
    EXPECT_EQ(ERANGE_AND_RESET, strncat_s(e, 8, "cd", kTooLarge));
    EXPECT_EQ('\0', e[0]);
    // No terminator within destMax bytes.
    Marked<8> f;
    EXPECT_EQ(EINVAL_AND_RESET, strncat_s(f.b, 8, "x", 1));
    EXPECT_EQ('\0', f.b[0]);
    EXPECT_EQ('#', f.b[1]);
    // count 0 leaves the destination as it is.
    char g[8] = "ab";
    EXPECT_EQ(EOK, strncat_s(g, 8, "cd", 0));
    EXPECT_STREQ("ab", g);
}

TEST(StrncatTest, FillingTheLastByteFails)
{
    char a[8] = "abc";
    EXPECT_EQ(EOK, strncat_s(a, 8, "defg", 4));  // 7 characters and the terminator
    EXPECT_STREQ("abcdefg", a);
    char b[8] = "abc";
    EXPECT_EQ(ERANGE_AND_RESET, strncat_s(b, 8, "defgh", 5));
    EXPECT_EQ('\0', b[0]);
    char c[8] = "abc";
    EXPECT_EQ(ERANGE_AND_RESET, strncat_s(c, 8, "defgh", 100));
    EXPECT_EQ('\0', c[0]);
    char d[8] = "abc";
    EXPECT_EQ(EOK, strncat_s(d, 8, "defgh", 2));  // count cuts
    EXPECT_STREQ("abcde", d);
    char e[8] = "abc";
    EXPECT_EQ(EOK, strncat_s(e, 8, "de", 100));  // source shorter than count
    EXPECT_STREQ("abcde", e);
    char f[8] = "abc";
    EXPECT_EQ(EOK, strncat_s(f, 8, "defg", SEALEDC_MAX_LEN));
    EXPECT_STREQ("abcdefg", f);
}

TEST(StrncatTest, OverlapBothDirections)
{
    // Source inside the destination's text: reached before the terminator.
    char a[16] = "abcdef";
    EXPECT_EQ(EOVERLAP_AND_RESET, strncat_s(a, 16, a + 2, 3));
    EXPECT_EQ('\0', a[0]);
    // Source after the terminator, reached by the writes.
    char b[16] = "ab";
    b[3] = 'x';
    b[4] = 'y';
    b[5] = '\0';
    EXPECT_EQ(EOVERLAP_AND_RESET, strncat_s(b, 16, b + 3, 3));
    EXPECT_EQ('\0', b[0]);
    // Source below the destination: the reads run into the destination's first byte.
    char c[16] = "xyz";  // the destination is the empty string at c + 3
    char *dest = c + 3;
    EXPECT_EQ(EOVERLAP_AND_RESET, strncat_s(dest, 8, c, 5));
    EXPECT_EQ('\0', dest[0]);
    EXPECT_EQ('y', dest[1]);
    // Far apart in one buffer: fine.
    char d[32] = "ab";
    std::strcpy(d + 20, "cd");
    EXPECT_EQ(EOK, strncat_s(d, 10, d + 20, 5));
    EXPECT_STREQ("abcd", d);
}

TEST(VersionTest, BannerAndNumber)
{
    char buf[64];
    unsigned short version = 0;
    getOvSealedCVersion(buf, sizeof buf, &version);
    EXPECT_EQ(37u, std::strlen(buf));
    EXPECT_EQ(0x0504, version);
    char small[37];
    small[0] = 'x';
    getOvSealedCVersion(small, sizeof small, nullptr);
    EXPECT_EQ('\0', small[0]);
    getOvSealedCVersion(nullptr, 0, &version);
}

}  // namespace
