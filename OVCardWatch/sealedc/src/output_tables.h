/*
 * The output engine's vocabulary: the flags of a conversion, the parser's states and character
 * classes, its limits, the read-only tables each engine keeps, and the builder and reader of the
 * class-and-state table.
 *
 * Fixed names (callers rely on them): the FLAG_, STAT_ and CLASS_ values, kLookupTableSize,
 * kTextArea, kPrecisionCap, kAccumulateLimit, kCharTextRoom, OutputTables, LookupTable,
 * MakeLookupTable, kLookupTable, SameTable and CharClass (the other output headers, output.cpp
 * and woutput_engine.cpp, which build and check their tables with these).
 */
#ifndef SEALEDC_OUTPUT_TABLES_H
#define SEALEDC_OUTPUT_TABLES_H

#ifndef __cplusplus
#error "output_tables.h is C++"
#endif

#include <cstdint>
#include <type_traits>

namespace sealedc {

/* Flags of one conversion. */
enum : uint32_t {
    FLAG_SIGN = 0x1,
    FLAG_SIGN_SPACE = 0x2,
    FLAG_LEFT = 0x4,
    FLAG_LEADZERO = 0x8,
    FLAG_LONG = 0x10,
    FLAG_SHORT = 0x20,
    FLAG_SIGNED = 0x40,
    FLAG_ALTERNATE = 0x80,
    FLAG_NEGATIVE = 0x100,
    FLAG_FORCE_OCTAL = 0x200,
    FLAG_LONG_DOUBLE = 0x400,
    FLAG_WIDECHAR = 0x800,
    FLAG_LONGLONG = 0x1000,
    FLAG_CHAR = 0x2000,
    FLAG_POINTER = 0x4000,
    FLAG_I64 = 0x8000,
    FLAG_PTRDIFF = 0x10000,
    FLAG_SIZE = 0x20000,
    FLAG_INTMAX = 0x40000,
};

/* Parser states (the high four bits of the transition entries). */
enum : unsigned {
    STAT_NORMAL = 0,
    STAT_PERCENT = 1,
    STAT_FLAG = 2,
    STAT_WIDTH = 3,
    STAT_DOT = 4,
    STAT_PRECISION = 5,
    STAT_SIZE = 6,
    STAT_TYPE = 7,
    STAT_INVALID = 8,
};

/* Character classes (the low four bits of the entries for bytes 32..122). */
enum : unsigned {
    CLASS_OTHER = 0,
    CLASS_PERCENT = 1,
    CLASS_DOT = 2,
    CLASS_STAR = 3,
    CLASS_ZERO = 4,
    CLASS_DIGIT = 5,
    CLASS_FLAG = 6,
    CLASS_SIZE = 7,
    CLASS_TYPE = 8,
};

constexpr int kLookupTableSize = 91;
constexpr int kTextArea = 512;        /* the engine's text area, in characters */
constexpr int kPrecisionCap = 512;    /* integer precisions above this count as this */
constexpr int kAccumulateLimit = 21474836; /* width/precision above this cannot take a digit */
constexpr int kCharTextRoom = 16;     /* room given to the c/C hooks (at least MB_LEN_MAX) */

/* The read-only tables of one engine; each engine keeps its own copies. */
template <typename CharT>
struct OutputTables {
    const unsigned char *lookup; /* the 91-byte class-and-state table */
    const CharT *upper;          /* "0123456789ABCDEFX" (index 16: the prefix letter) */
    const CharT *lower;          /* "0123456789abcdefx" */
    const CharT *nil;            /* "(nil)" for p of a zero pointer */
    const char *narrowNull;      /* "(null)" for a NULL byte text */
    const wchar_t *wideNull;     /* "(null)" for a NULL wide text */
};

/* The class-and-state table as the parser reads it, built from the two tables it encodes.
 * Each translation unit keeps its own copy as a plain array and checks it against this. */
struct LookupTable {
    unsigned char bytes[kLookupTableSize];
};

constexpr unsigned ClassOfByte(unsigned b)
{
    switch (b) {
    case '%': return CLASS_PERCENT;
    case '.': return CLASS_DOT;
    case '*': return CLASS_STAR;
    case '0': return CLASS_ZERO;
    case ' ': case '#': case '+': case '-': return CLASS_FLAG;
    case 'I': case 'L': case 'N': case 'Z': case 'h': case 'j': case 'l': case 'q': case 't':
    case 'w': case 'z':
        return CLASS_SIZE;
    case 'C': case 'E': case 'F': case 'G': case 'S': case 'X': case 'c': case 'd': case 'e':
    case 'f': case 'g': case 'i': case 'o': case 'p': case 's': case 'u': case 'x':
        return CLASS_TYPE;
    default:
        return (b >= '1' && b <= '9') ? CLASS_DIGIT : CLASS_OTHER;
    }
}

constexpr LookupTable MakeLookupTable()
{
    constexpr unsigned N = STAT_NORMAL, P = STAT_PERCENT, F = STAT_FLAG, W = STAT_WIDTH,
                       D = STAT_DOT, R = STAT_PRECISION, S = STAT_SIZE, T = STAT_TYPE,
                       X = STAT_INVALID;
    /* Next state by class (rows) and current state NORMAL..TYPE (columns). */
    constexpr unsigned next[9][8] = {
        {N, X, X, X, X, X, X, N}, /* other */
        {P, N, X, X, X, X, X, P}, /* percent */
        {N, D, D, D, X, X, X, N}, /* dot */
        {N, W, W, X, R, X, X, N}, /* star */
        {N, F, F, W, R, R, X, N}, /* zero */
        {N, W, W, W, R, R, X, N}, /* digit */
        {N, F, F, X, X, X, X, N}, /* flag */
        {N, S, S, S, S, S, S, N}, /* size */
        {N, T, T, T, T, T, T, N}, /* type */
    };
    LookupTable t{};
    for (unsigned b = 32; b <= 122; ++b) {
        t.bytes[b - 32] = static_cast<unsigned char>(ClassOfByte(b));
    }
    for (unsigned c = 0; c < 9; ++c) {
        for (unsigned s = 0; s < 8; ++s) {
            t.bytes[c * 9 + s] = static_cast<unsigned char>(t.bytes[c * 9 + s] | (next[c][s] << 4));
        }
    }
    return t;
}

constexpr LookupTable kLookupTable = MakeLookupTable();

constexpr bool SameTable(const unsigned char (&a)[kLookupTableSize], const LookupTable &b)
{
    for (int i = 0; i < kLookupTableSize; ++i) {
        if (a[i] != b.bytes[i]) {
            return false;
        }
    }
    return true;
}

/* Class of a format character: the table is indexed by the character as an unsigned value, so
 * bytes above 0x7F (UTF-8 in logged paths) are class other like every byte outside 32..122. */
template <typename CharT>
inline unsigned CharClass(const unsigned char *table, CharT ch)
{
    using U = std::make_unsigned_t<CharT>;
    auto u = static_cast<uint32_t>(static_cast<U>(ch)) - 32u;
    return (u < static_cast<uint32_t>(kLookupTableSize)) ? (table[u] & 0x0Fu) : CLASS_OTHER;
}

}  // namespace sealedc

#endif /* SEALEDC_OUTPUT_TABLES_H */
