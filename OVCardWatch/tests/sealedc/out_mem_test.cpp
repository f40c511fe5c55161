// Memory functions of the checked runtime: result codes and the exact destination bytes after
// every failure class, in the order the classification makes its tests.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "sealedc.h"

namespace {

using CopyFn = errno_t (*)(void *, size_t, const void *, size_t);
using FillFn = errno_t (*)(void *, size_t, int, size_t);

constexpr size_t kTooLarge = SEALEDC_MAX_LEN + 1;

struct CopyCase {
    const char *name;
    CopyFn fn;
};

class CopyTest : public ::testing::TestWithParam<CopyCase> {};

TEST_P(CopyTest, FailureClassesInOrder)
{
    CopyFn fn = GetParam().fn;
    std::array<unsigned char, 16> dest{};
    std::array<unsigned char, 16> src{};
    dest.fill(0xAA);
    src.fill(0x55);

    // destMax 0 or too large comes first, even with a NULL destination: nothing written.
    EXPECT_EQ(ERANGE, fn(dest.data(), 0, src.data(), 4));
    EXPECT_EQ(ERANGE, fn(nullptr, 0, nullptr, 4));
    EXPECT_EQ(0xAA, dest[0]);
    // Then a NULL destination.
    EXPECT_EQ(EINVAL, fn(nullptr, 16, src.data(), 4));
    EXPECT_EQ(EINVAL, fn(nullptr, 16, nullptr, 20));
    // A NULL source clears the whole destination, even before the count test.
    EXPECT_EQ(EINVAL_AND_RESET, fn(dest.data(), 16, nullptr, 20));
    for (unsigned char b : dest) EXPECT_EQ(0, b);
    // count above destMax clears the whole destination.
    dest.fill(0xAA);
    EXPECT_EQ(ERANGE_AND_RESET, fn(dest.data(), 8, src.data(), 9));
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(0, dest[i]) << i;
    EXPECT_EQ(0xAA, dest[8]);
    // The all-ones count is simply too large.
    dest.fill(0xAA);
    EXPECT_EQ(ERANGE_AND_RESET, fn(dest.data(), 16, src.data(), SIZE_MAX));
    EXPECT_EQ(0, dest[15]);
    // count 0 with valid pointers succeeds and writes nothing.
    dest.fill(0xAA);
    EXPECT_EQ(EOK, fn(dest.data(), 16, src.data(), 0));
    EXPECT_EQ(0xAA, dest[0]);
}

TEST_P(CopyTest, CopiesExactlyCountBytes)
{
    CopyFn fn = GetParam().fn;
    // Sizes on both sides of the inline-store limit, aligned and not.
    alignas(8) unsigned char src[200];
    alignas(8) unsigned char dest[208];
    for (size_t i = 0; i < sizeof src; ++i) src[i] = static_cast<unsigned char>(i * 7 + 1);
    for (size_t offset : {0u, 1u}) {
        for (size_t n : {1u, 7u, 8u, 9u, 31u, 32u, 33u, 63u, 64u, 65u, 66u, 199u}) {
            std::memset(dest, 0xEE, sizeof dest);
            ASSERT_EQ(EOK, fn(dest + offset, n, src, n)) << n;
            EXPECT_EQ(0, std::memcmp(dest + offset, src, n)) << n;
            EXPECT_EQ(0xEE, dest[offset + n]) << n;
            if (offset) {
                EXPECT_EQ(0xEE, dest[0]);
            }
        }
    }
}

TEST_P(CopyTest, OverlapInBothDirectionsClearsDestination)
{
    CopyFn fn = GetParam().fn;
    unsigned char buf[32];
    for (int i = 0; i < 32; ++i) buf[i] = static_cast<unsigned char>(i + 1);
    // Destination above the source, inside the copied range.
    EXPECT_EQ(EOVERLAP_AND_RESET, fn(buf + 4, 16, buf, 8));
    for (int i = 4; i < 20; ++i) EXPECT_EQ(0, buf[i]) << i;
    EXPECT_EQ(4, buf[3]);
    EXPECT_EQ(21, buf[20]);
    // Source above the destination.
    for (int i = 0; i < 32; ++i) buf[i] = static_cast<unsigned char>(i + 1);
    EXPECT_EQ(EOVERLAP_AND_RESET, fn(buf, 10, buf + 5, 6));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(0, buf[i]) << i;
    EXPECT_EQ(11, buf[10]);
    // Adjacent ranges do not overlap.
    for (int i = 0; i < 32; ++i) buf[i] = static_cast<unsigned char>(i + 1);
    EXPECT_EQ(EOK, fn(buf + 8, 8, buf, 8));
    EXPECT_EQ(1, buf[8]);
    EXPECT_EQ(EOK, fn(buf, 8, buf + 8, 8));
    // Destination equal to source: success without copying, whatever the count.
    EXPECT_EQ(EOK, fn(buf, 16, buf, 16));
    EXPECT_EQ(EOK, fn(buf, 16, buf, 3));
    EXPECT_EQ(ERANGE_AND_RESET, fn(buf, 4, buf, 5));
}

INSTANTIATE_TEST_SUITE_P(Copies, CopyTest,
                         ::testing::Values(CopyCase{"memcpy_s", memcpy_s},
                                           CopyCase{"memcpy_sOptAsm", memcpy_sOptAsm},
                                           CopyCase{"memcpy_sOptTc", memcpy_sOptTc}),
                         [](const auto &p) { return std::string(p.param.name); });

TEST(MemcpyTwinsTest, OnlyTcTrustsAnOversizedDestMax)
{
    unsigned char dest[8] = {};
    const unsigned char src[4] = {1, 2, 3, 4};
    EXPECT_EQ(ERANGE, memcpy_s(dest, kTooLarge, src, 4));
    EXPECT_EQ(ERANGE, memcpy_sOptAsm(dest, kTooLarge, src, 4));
    EXPECT_EQ(0, dest[0]);
    EXPECT_EQ(EOK, memcpy_sOptTc(dest, kTooLarge, src, 4));
    EXPECT_EQ(4, dest[3]);
    // Its failure classification is still memcpy_s's.
    EXPECT_EQ(ERANGE, memcpy_sOptTc(dest, kTooLarge, nullptr, 4));
}

TEST(MemmoveTest, FailureClassesAndOverlappingMoves)
{
    unsigned char buf[16];
    std::memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(ERANGE, memmove_s(buf, 0, buf + 1, 1));
    EXPECT_EQ(ERANGE, memmove_s(buf, kTooLarge, buf + 1, 1));
    EXPECT_EQ(EINVAL, memmove_s(nullptr, 16, buf, 1));
    EXPECT_EQ(EINVAL_AND_RESET, memmove_s(buf, 16, nullptr, 1));
    for (unsigned char b : buf) EXPECT_EQ(0, b);
    std::memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(ERANGE_AND_RESET, memmove_s(buf, 4, buf + 8, 5));
    EXPECT_EQ(0, buf[3]);
    EXPECT_EQ(0xAA, buf[4]);
    EXPECT_EQ(EOK, memmove_s(buf, 4, buf + 8, 0));

    for (int i = 0; i < 16; ++i) buf[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(EOK, memmove_s(buf + 2, 14, buf, 10));  // upwards
    const unsigned char up[] = {0, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15};
    EXPECT_EQ(0, std::memcmp(buf, up, 16));
    for (int i = 0; i < 16; ++i) buf[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(EOK, memmove_s(buf, 16, buf + 3, 10));  // downwards
    const unsigned char down[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 10, 11, 12, 13, 14, 15};
    EXPECT_EQ(0, std::memcmp(buf, down, 16));
    EXPECT_EQ(EOK, memmove_s(buf, 16, buf, 16));
}

struct FillCase {
    const char *name;
    FillFn fn;
};

class FillTest : public ::testing::TestWithParam<FillCase> {};

TEST_P(FillTest, FailureClassesAndFills)
{
    FillFn fn = GetParam().fn;
    alignas(8) unsigned char buf[72];
    std::memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(ERANGE, fn(buf, 0, 0x11, 1));
    EXPECT_EQ(EINVAL, fn(nullptr, 8, 0x11, 1));
    EXPECT_EQ(ERANGE, fn(nullptr, 0, 0x11, 1));
    EXPECT_EQ(0xAA, buf[0]);
    // destMax 0 with count 0 succeeds and writes nothing.
    EXPECT_EQ(EOK, fn(buf, 0, 0x11, 0));
    EXPECT_EQ(0xAA, buf[0]);
    // count above destMax fills all destMax bytes with the requested value, not zero.
    EXPECT_EQ(ERANGE_AND_RESET, fn(buf, 10, 0x1234, 11));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(0x34, buf[i]) << i;
    EXPECT_EQ(0xAA, buf[10]);
    // Fills of every size class, with the word-store values and others, aligned or not.
    for (int value : {0, 0xFF, 0x5A, -1}) {
        for (size_t offset : {0u, 3u}) {
            for (size_t n : {1u, 8u, 15u, 16u, 32u, 33u, 64u}) {
                std::memset(buf, 0xAA, sizeof buf);
                ASSERT_EQ(EOK, fn(buf + offset, n + 2, value, n));
                for (size_t i = 0; i < n; ++i)
                    ASSERT_EQ(static_cast<unsigned char>(value), buf[offset + i]) << n;
                EXPECT_EQ(0xAA, buf[offset + n]);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fills, FillTest,
                         ::testing::Values(FillCase{"memset_s", memset_s},
                                           FillCase{"memset_sOptAsm", memset_sOptAsm},
                                           FillCase{"memset_sOptTc", memset_sOptTc}),
                         [](const auto &p) { return std::string(p.param.name); });

TEST(MemsetTwinsTest, OnlyTcTrustsAnOversizedDestMax)
{
    unsigned char buf[8] = {};
    EXPECT_EQ(ERANGE, memset_s(buf, kTooLarge, 1, 4));
    EXPECT_EQ(ERANGE, memset_sOptAsm(buf, kTooLarge, 1, 4));
    EXPECT_EQ(0, buf[0]);
    EXPECT_EQ(EOK, memset_sOptTc(buf, kTooLarge, 1, 4));
    EXPECT_EQ(1, buf[3]);
    EXPECT_EQ(0, buf[4]);
}

}  // namespace
