// Differential test: generated format/argument combinations through snprintf_s and the C
// library's snprintf, restricted to the conversions, flags, widths and precisions where the C
// standard's meaning and this library's coincide. The deliberate differences (precision cap,
// "(nil)", n and a refused, the I sizes) are covered by out_format_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "SealedcTestSupport.h"
#include "sealedc.h"

#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

constexpr size_t kAllOnes = static_cast<size_t>(-1);

struct Spec {
    std::string format;
    std::vector<int> stars;  // "*" arguments, in order
};

class Generator : public sealedctest::RandomPicks<std::mt19937_64> {
public:
    explicit Generator(uint32_t seed) : RandomPicks(seed) {}

    // Plain text around the conversion, with "%%" and a UTF-8 byte pair now and then.
    std::string Literal()
    {
        static const char *pieces[] = {"", "a", "line ", "===", " --- ", "%%", ":", "\xc3\xa9", "\n", "x y"};
        std::string s;
        int n = Pick(0, 2);
        for (int i = 0; i < n; ++i) s += pieces[Pick(0, 9)];
        return s;
    }

    // One directive: "%" flags width precision size conversion.
    Spec Make(const char *flagSet, bool allowPrecision, const char *size, char conversion)
    {
        Spec spec;
        std::string f = "%";
        int nflags = Pick(0, 3);
        for (int i = 0; i < nflags && flagSet[0] != '\0'; ++i) {
            f += flagSet[Pick(0, static_cast<int>(std::strlen(flagSet)) - 1)];
        }
        switch (Pick(0, 3)) {
        case 0: break;
        case 1: f += std::to_string(Pick(1, 25)); break;
        case 2: f += std::to_string(Pick(1, 9)); break;
        default:
            f += "*";
            spec.stars.push_back(Pick(-25, 25));
            break;
        }
        if (allowPrecision) {
            switch (Pick(0, 4)) {
            case 0: case 1: break;
            case 2: f += "." + std::to_string(Pick(0, 30)); break;
            case 3: f += "."; break;
            default:
                f += ".*";
                spec.stars.push_back(Pick(-5, 30));
                break;
            }
        }
        f += size;
        f += conversion;
        spec.format = Literal() + f + Literal();
        return spec;
    }
};


// Runs both formatters over the same arguments and compares text and result.
template <typename T>
void Compare(const Spec &spec, T value)
{
    char ours[512];
    char theirs[512];
    int r1 = 0;
    int r2 = 0;
    const char *f = spec.format.c_str();
    switch (spec.stars.size()) {
    case 0:
        r1 = snprintf_s(ours, sizeof ours, kAllOnes, f, value);
        r2 = std::snprintf(theirs, sizeof theirs, f, value);
        break;
    case 1:
        r1 = snprintf_s(ours, sizeof ours, kAllOnes, f, spec.stars[0], value);
        r2 = std::snprintf(theirs, sizeof theirs, f, spec.stars[0], value);
        break;
    default:
        r1 = snprintf_s(ours, sizeof ours, kAllOnes, f, spec.stars[0], spec.stars[1], value);
        r2 = std::snprintf(theirs, sizeof theirs, f, spec.stars[0], spec.stars[1], value);
        break;
    }
    ASSERT_EQ(r2, r1) << "format \"" << spec.format << "\"";
    ASSERT_EQ(std::string(theirs), std::string(ours)) << "format \"" << spec.format << "\"";
}

TEST(DifferentialTest, IntegerConversions)
{
    Generator gen(0x5EA1EDC0u);
    static const char *sizes[] = {"", "hh", "h", "l", "ll", "z", "j", "t"};
    static const char conversions[] = "diuoxX";
    for (int i = 0; i < 12000; ++i) {
        const char *size = sizes[gen.Pick(0, 7)];
        char conv = conversions[gen.Pick(0, 5)];
        Spec spec = gen.Make("-+ #0", true, size, conv);
        uint64_t bits = gen.Bits();
        // Small values, boundary values and full-width ones.
        switch (gen.Pick(0, 3)) {
        case 0: bits %= 1000; break;
        case 1: bits = (gen.Chance(50) ? 0 : ~0ULL) ^ (bits & 1); break;
        case 2: bits = static_cast<uint64_t>(-static_cast<int64_t>(bits % 100000)); break;
        default: break;
        }
        if (size[0] == 'l' || size[0] == 'z' || size[0] == 'j' || size[0] == 't') {
            Compare(spec, static_cast<long long>(bits));
        } else {
            Compare(spec, static_cast<int>(bits));
        }
        if (HasFailure()) return;
    }
}

TEST(DifferentialTest, TextCharacterAndPointerConversions)
{
    Generator gen(20261208u);
    static const char *texts[] = {"", "a", "abc", "CardWatch.cpp", "/Volumes/Velmora",
                                  "\xc3\xa9t\xc3\xa9", "with space", "0123456789abcdefghijklmnop"};
    for (int i = 0; i < 6000; ++i) {
        switch (gen.Pick(0, 2)) {
        case 0: {
            Spec spec = gen.Make("-", true, "", 's');
            Compare(spec, texts[gen.Pick(0, 7)]);
            break;
        }
        case 1: {
            Spec spec = gen.Make("-", false, "", 'c');
            Compare(spec, gen.Pick(32, 255));
            break;
        }
        default: {
            Spec spec = gen.Make("-", false, "", 'p');
            Compare(spec, reinterpret_cast<void *>(static_cast<uintptr_t>(gen.Bits() | 1)));
            break;
        }
        }
        if (HasFailure()) return;
    }
}

TEST(DifferentialTest, FloatingConversions)
{
    Generator gen(0xF10A7u);
    static const char conversions[] = "eEfFgG";
    for (int i = 0; i < 4000; ++i) {
        char conv = conversions[gen.Pick(0, 5)];
        bool isLong = gen.Chance(20);
        Spec spec = gen.Make("-+ #0", true, isLong ? "L" : "", conv);
        double v = 0.0;
        switch (gen.Pick(0, 3)) {
        case 0: v = static_cast<double>(gen.Pick(-100000, 100000)) / 64.0; break;
        case 1: v = std::ldexp(static_cast<double>(gen.Bits() >> 11), gen.Pick(-1100, 1000) - 53); break;
        case 2: v = gen.Chance(50) ? 0.0 : -0.0; break;
        default: v = static_cast<double>(gen.Bits() >> 11) * 1e-9; break;
        }
        if (isLong) {
            Compare(spec, static_cast<long double>(v));
        } else {
            Compare(spec, v);
        }
        if (HasFailure()) return;
    }
}

TEST(DifferentialTest, LogLineFormat)
{
    // The service's trace line, whole, with argument sets of every width.
    const char *f = "line %d===%d-%d-%d %d:%d:%d   %s:%s --- %s\n";
    Generator gen(7u);
    for (int i = 0; i < 500; ++i) {
        int a[7];
        for (int &x : a) x = gen.Chance(50) ? gen.Pick(0, 60) : gen.Pick(INT32_MIN, INT32_MAX);
        char ours[256];
        char theirs[256];
        int r1 = snprintf_s(ours, sizeof ours, sizeof ours - 1, f, a[0], a[1], a[2], a[3], a[4], a[5],
                            a[6], "CardWatch.cpp", "main", "OVCardWatch Enter");
        int r2 = std::snprintf(theirs, sizeof theirs, f, a[0], a[1], a[2], a[3], a[4], a[5], a[6],
                               "CardWatch.cpp", "main", "OVCardWatch Enter");
        ASSERT_EQ(r2, r1);
        ASSERT_STREQ(theirs, ours);
    }
}

}  // namespace
