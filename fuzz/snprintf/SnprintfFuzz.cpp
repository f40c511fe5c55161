// Fuzzes snprintf_s differentially against the C library's snprintf, over the conversions,
// flags, widths (up to 25) and precisions (up to 30) where their meanings coincide (the checked
// formatter's own differences, such as its precision cap, "(nil)" and the refused n, stay out).
//
// Data: records of 16 bytes, each one call with one conversion between two literal pieces:
//   0 kind (integer, text, character, pointer, floating) and its letter; 1 flags; 2 width and
//   precision forms (none, number, "*"); 3 width; 4 precision; 5 size modifier; 6 destination
//   room (1 to 256 bytes) and count form; 7 literal piece choice; 8..15 the argument's bits.
// The checked result must be the C library's text and length when it fits; when it does not,
// counted mode (count below the room) keeps the first count characters and returns -1, and
// bounded mode returns -1 with an empty destination.
#include "FuzzCheck.h"
#include "sealedc.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

constexpr size_t kAllOnes = static_cast<size_t>(-1);

struct Call {
    std::string format;
    std::vector<int> stars;
};

template <typename T>
void Compare(const Call &call, size_t room, size_t count, T value)
{
    char theirs[1024];
    char *ours = static_cast<char *>(std::malloc(room)); // exactly the room promised
    std::memset(ours, '#', room);
    const char *f = call.format.c_str();
    int expected = 0;
    int result = 0;
    switch (call.stars.size()) {
    case 0:
        expected = std::snprintf(theirs, sizeof theirs, f, value);
        result = snprintf_s(ours, room, count, f, value);
        break;
    case 1:
        expected = std::snprintf(theirs, sizeof theirs, f, call.stars[0], value);
        result = snprintf_s(ours, room, count, f, call.stars[0], value);
        break;
    default:
        expected = std::snprintf(theirs, sizeof theirs, f, call.stars[0], call.stars[1], value);
        result = snprintf_s(ours, room, count, f, call.stars[0], call.stars[1], value);
        break;
    }
    FUZZ_CHECK(expected >= 0 && static_cast<size_t>(expected) < sizeof theirs);
    size_t length = static_cast<size_t>(expected);
    bool counted = count < room;
    size_t limit = counted ? count : room - 1;
    if (length <= limit) {
        FUZZ_CHECK(result == expected);
        FUZZ_CHECK(std::memcmp(ours, theirs, length + 1) == 0);
    } else if (counted) {
        FUZZ_CHECK(result == -1);
        FUZZ_CHECK(std::memcmp(ours, theirs, count) == 0 && ours[count] == '\0');
    } else {
        FUZZ_CHECK(result == -1);
        FUZZ_CHECK(ours[0] == '\0');
    }
    std::free(ours);
}

void OneCall(const uint8_t *r)
{
    static const char *const kLiterals[] = {"", "a", "line ", "===", " --- ", "%%", ":", "\xc3\xa9", "\n", "x y"};
    static const char *const kSizes[] = {"", "hh", "h", "l", "ll", "z", "j", "t"};
    unsigned kind = r[0] % 5;
    Call call;
    std::string spec = "%";
    const char *flagSet = kind == 0 || kind == 4 ? "-+ #0" : "-";
    for (unsigned bit = 0; bit < 5 && flagSet[bit] != '\0'; ++bit) {
        if (r[1] & (1u << bit)) {
            spec += flagSet[bit];
        }
    }
    switch (r[2] & 3) {
    case 0: break;
    case 1: spec += std::to_string(1 + r[3] % 25); break;
    case 2: spec += std::to_string(1 + r[3] % 9); break;
    default:
        spec += "*";
        call.stars.push_back(static_cast<int>(r[3] % 51) - 25);
        break;
    }
    bool precision = kind == 0 || kind == 1 || kind == 4;
    if (precision) {
        switch ((r[2] >> 2) & 3) {
        case 0: break;
        case 1: spec += "." + std::to_string(r[4] % 31); break;
        case 2: spec += "."; break;
        default:
            spec += ".*";
            call.stars.push_back(static_cast<int>(r[4] % 36) - 5);
            break;
        }
    }
    uint64_t bits = 0;
    std::memcpy(&bits, r + 8, sizeof bits);
    size_t room = 1 + r[6] % 256;
    size_t count = (r[6] & 0x80) != 0 ? kAllOnes : r[5] % (room + 8); // counted or bounded mode
    std::string before = kLiterals[r[7] % 10];
    std::string after = kLiterals[(r[7] >> 4) % 10];
    switch (kind) {
    case 0: {
        const char *size = kSizes[r[5] % 8];
        call.format = before + spec + size + "diuoxX"[(r[0] / 5) % 6] + after;
        bool wide = size[0] == 'l' || size[0] == 'z' || size[0] == 'j' || size[0] == 't';
        if (wide) {
            Compare(call, room, count, static_cast<long long>(bits));
        } else {
            Compare(call, room, count, static_cast<int>(bits));
        }
        break;
    }
    case 1: {
        static const char *const kTexts[] = {"", "a", "abc", "CardWatch.cpp", "/Volumes/Velmora", "\xc3\xa9t\xc3\xa9",
                                             "with space", "0123456789abcdefghijklmnop"};
        call.format = before + spec + "s" + after;
        Compare(call, room, count, kTexts[bits % 8]);
        break;
    }
    case 2:
        call.format = before + spec + "c" + after;
        Compare(call, room, count, static_cast<int>(32 + bits % 224));
        break;
    case 3:
        call.format = before + spec + "p" + after;
        Compare(call, room, count, reinterpret_cast<void *>(static_cast<uintptr_t>(bits | 1)));
        break;
    default: {
        double v = 0;
        switch ((r[0] / 5) % 4) {
        case 0: v = static_cast<double>(static_cast<int32_t>(bits)) / 64.0; break;
        case 1: v = std::ldexp(static_cast<double>(bits >> 11), static_cast<int>(r[5] % 200) * 10 - 1100); break;
        case 2: v = (bits & 1) ? 0.0 : -0.0; break;
        default: v = static_cast<double>(bits >> 11) * 1e-9; break;
        }
        char conversion = "eEfFgG"[(r[0] / 20) % 6];
        bool isLong = (r[5] & 0x40) != 0;
        call.format = before + spec + (isLong ? "L" : "") + conversion + after;
        if (isLong) {
            Compare(call, room, count, static_cast<long double>(v));
        } else {
            Compare(call, room, count, v);
        }
        break;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (size_t at = 0; at + 16 <= size && at < 16 * 64; at += 16) {
        OneCall(data + at);
    }
    return 0;
}
