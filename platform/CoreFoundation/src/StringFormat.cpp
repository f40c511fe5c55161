// CFStringCreateWithFormat: printf-style conversions (numbers through the C library's snprintf,
// one directive at a time), %@ for objects, positional arguments ("%2$@") and widths or
// precisions taken from arguments.
#include "StringInternal.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

using namespace cf;

namespace {

enum class ArgKind { None, Int, Long, LongLong, Size, PtrDiff, IntMax, Double, LongDouble, Pointer };

struct Spec {
    size_t start = 0;       // index of '%'
    size_t end = 0;         // one past the conversion character
    int argIndex = 0;       // 1-based argument of the value (0: none)
    int widthArg = 0;       // 1-based argument holding the width (0: none)
    int precisionArg = 0;
    int width = -1;
    int precision = -1;
    std::string flags;
    std::string length;
    char16_t conv = 0;
};

ArgKind kindFor(const Spec &s)
{
    switch (s.conv) {
    case u'd': case u'i': case u'u': case u'x': case u'X': case u'o': case u'D': case u'U': case u'O':
        if (s.length == "l") return ArgKind::Long;
        if (s.length == "ll" || s.length == "q") return ArgKind::LongLong;
        if (s.length == "z") return ArgKind::Size;
        if (s.length == "t") return ArgKind::PtrDiff;
        if (s.length == "j") return ArgKind::IntMax;
        if (s.conv == u'D' || s.conv == u'U' || s.conv == u'O') return ArgKind::Long;
        return ArgKind::Int;
    case u'c': case u'C':
        return ArgKind::Int;
    case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a': case u'A':
        return s.length == "L" ? ArgKind::LongDouble : ArgKind::Double;
    case u's': case u'S': case u'@': case u'p': case u'P':
        return ArgKind::Pointer;
    default:
        return ArgKind::None;
    }
}

struct ArgValue {
    ArgKind kind = ArgKind::None;
    long long i = 0;
    unsigned long long u = 0;
    double d = 0;
    long double ld = 0;
    const void *p = nullptr;
};

bool parseNumber(std::u16string_view f, size_t &i, int &value)
{
    if (i >= f.size() || !isDigit(f[i])) {
        return false;
    }
    long v = 0;
    while (i < f.size() && isDigit(f[i])) {
        v = std::min<long>(v * 10 + (f[i] - u'0'), 1 << 20);
        ++i;
    }
    value = static_cast<int>(v);
    return true;
}

std::u16string pad(std::u16string text, const Spec &s, int width)
{
    if (width > 0 && static_cast<int>(text.size()) < width) {
        std::u16string fill(static_cast<size_t>(width) - text.size(), u' ');
        text = s.flags.find('-') != std::string::npos ? text + fill : fill + text;
    }
    return text;
}

std::u16string decodeCString(const char *p, int precision)
{
    size_t n = precision >= 0 ? strnlen(p, static_cast<size_t>(precision)) : std::strlen(p);
    std::u16string out;
    if (fromUTF8Strict(std::string_view(p, n), out)) {
        return out;
    }
    // Not UTF-8: read as MacRoman, the system encoding.
    if (!decodeBytes(reinterpret_cast<const UInt8 *>(p), static_cast<CFIndex>(n), kCFStringEncodingMacRoman, false,
                     out)) {
        out = fromUTF8(std::string_view(p, n));
    }
    return out;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <typename T> std::u16string cFormat(const std::string &fmt, T value)
{
    char small[128];
    int n = std::snprintf(small, sizeof small, fmt.c_str(), value);
    if (n < 0) {
        return std::u16string();
    }
    if (static_cast<size_t>(n) < sizeof small) {
        return u16(small);
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), fmt.c_str(), value);
    big.resize(static_cast<size_t>(n));
    return fromUTF8(big);
}
#pragma GCC diagnostic pop

// Reads one directive starting after its '%' at j; false when the format ends inside it (the
// rest is then copied as text). Arguments are not numbered yet.
bool parseSpec(std::u16string_view f, size_t j, Spec &s)
{
    // Positional argument "n$".
    size_t save = j;
    int number = 0;
    if (parseNumber(f, j, number) && j < f.size() && f[j] == u'$') {
        s.argIndex = number;
        ++j;
    } else {
        j = save;
    }
    while (j < f.size() && (f[j] == u'-' || f[j] == u'+' || f[j] == u' ' || f[j] == u'#' || f[j] == u'0' ||
                            f[j] == u'\'')) {
        if (f[j] != u'\'') {
            s.flags.push_back(static_cast<char>(f[j]));
        }
        ++j;
    }
    if (j < f.size() && f[j] == u'*') {
        ++j;
        size_t mark = j;
        if (parseNumber(f, j, number) && j < f.size() && f[j] == u'$') {
            s.widthArg = number;
            ++j;
        } else {
            j = mark;
            s.widthArg = -1;  // next sequential argument
        }
    } else {
        parseNumber(f, j, s.width);
    }
    if (j < f.size() && f[j] == u'.') {
        ++j;
        if (j < f.size() && f[j] == u'*') {
            ++j;
            size_t mark = j;
            if (parseNumber(f, j, number) && j < f.size() && f[j] == u'$') {
                s.precisionArg = number;
                ++j;
            } else {
                j = mark;
                s.precisionArg = -1;
            }
        } else {
            s.precision = 0;
            parseNumber(f, j, s.precision);
        }
    }
    while (j < f.size() && (f[j] == u'h' || f[j] == u'l' || f[j] == u'q' || f[j] == u'z' || f[j] == u't' ||
                            f[j] == u'j' || f[j] == u'L')) {
        s.length.push_back(static_cast<char>(f[j]));
        ++j;
    }
    if (j >= f.size()) {
        return false;
    }
    s.conv = f[j];
    s.end = j + 1;
    return true;
}

// The directives of the format in order, with the arguments they read numbered (maxArg: the
// highest argument number). Unknown conversions stay text.
std::vector<Spec> parseSpecs(std::u16string_view f, int &maxArg)
{
    std::vector<Spec> specs;
    int nextArg = 1;
    maxArg = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != u'%') {
            continue;
        }
        Spec s;
        s.start = i;
        size_t j = i + 1;
        if (j < f.size() && f[j] == u'%') {
            s.conv = u'%';
            s.end = j + 1;
            specs.push_back(s);
            i = j;
            continue;
        }
        if (!parseSpec(f, j, s)) {
            break;  // an incomplete directive at the end is copied as text
        }
        i = s.end - 1;
        if (kindFor(s) == ArgKind::None) {
            continue;  // unknown conversion: left as text
        }
        if (s.widthArg == -1) {
            s.widthArg = nextArg++;
        }
        if (s.precisionArg == -1) {
            s.precisionArg = nextArg++;
        }
        if (s.argIndex == 0) {
            s.argIndex = nextArg++;
        }
        maxArg = std::max({maxArg, s.argIndex, s.widthArg, s.precisionArg});
        specs.push_back(s);
    }
    return specs;
}

// Reads the arguments in order, each by the kind its conversion names (an argument no conversion
// names is read as an int).
std::vector<ArgValue> readArguments(const std::vector<Spec> &specs, int maxArg, va_list args)
{
    std::vector<ArgValue> values(static_cast<size_t>(maxArg) + 1);
    for (const Spec &s : specs) {
        if (s.conv == u'%') {
            continue;
        }
        if (s.widthArg > 0) {
            values[static_cast<size_t>(s.widthArg)].kind = ArgKind::Int;
        }
        if (s.precisionArg > 0) {
            values[static_cast<size_t>(s.precisionArg)].kind = ArgKind::Int;
        }
        values[static_cast<size_t>(s.argIndex)].kind = kindFor(s);
    }
    for (int k = 1; k <= maxArg; ++k) {
        ArgValue &v = values[static_cast<size_t>(k)];
        switch (v.kind) {
        case ArgKind::None:
        case ArgKind::Int: v.i = va_arg(args, int); v.u = static_cast<unsigned int>(v.i); break;
        case ArgKind::Long: v.i = va_arg(args, long); v.u = static_cast<unsigned long>(v.i); break;
        case ArgKind::LongLong: v.i = va_arg(args, long long); v.u = static_cast<unsigned long long>(v.i); break;
        case ArgKind::Size: v.u = va_arg(args, size_t); v.i = static_cast<long long>(v.u); break;
        case ArgKind::PtrDiff: v.i = va_arg(args, ptrdiff_t); v.u = static_cast<unsigned long long>(v.i); break;
        case ArgKind::IntMax: v.i = va_arg(args, intmax_t); v.u = static_cast<unsigned long long>(v.i); break;
        case ArgKind::Double: v.d = va_arg(args, double); break;
        case ArgKind::LongDouble: v.ld = va_arg(args, long double); break;
        case ArgKind::Pointer: v.p = va_arg(args, const void *); break;
        }
    }
    return values;
}

// The text of a %S argument: UTF-16 units up to the terminator, at most precision of them.
std::u16string unicharText(const void *p, int precision)
{
    if (p == nullptr) {
        return u16("(null)");
    }
    std::u16string text;
    for (const UniChar *c = static_cast<const UniChar *>(p); *c != 0; ++c) {
        if (precision >= 0 && static_cast<int>(text.size()) >= precision) {
            break;
        }
        text.push_back(static_cast<char16_t>(*c));
    }
    return text;
}

// The text of one conversion (not %%) with its argument values.
std::u16string convert(const Spec &s, const std::vector<ArgValue> &values)
{
    int width = s.width;
    int precision = s.precision;
    std::string flags = s.flags;
    if (s.widthArg > 0) {
        width = static_cast<int>(values[static_cast<size_t>(s.widthArg)].i);
        if (width < 0) {
            flags.push_back('-');
            width = -width;
        }
    }
    if (s.precisionArg > 0) {
        precision = static_cast<int>(values[static_cast<size_t>(s.precisionArg)].i);
        if (precision < 0) {
            precision = -1;
        }
    }
    width = std::min(width, 1 << 20);
    Spec effective = s;
    effective.flags = flags;
    const ArgValue &v = values[static_cast<size_t>(s.argIndex)];
    std::string cfmt = std::string("%") + flags;
    if (width >= 0) {
        cfmt += std::to_string(width);
    }
    if (precision >= 0) {
        cfmt.push_back('.');
        cfmt.append(std::to_string(precision));
    }
    switch (s.conv) {
    case u'@': {
        std::u16string text = formatTextOf(static_cast<CFTypeRef>(v.p));
        if (precision >= 0 && static_cast<int>(text.size()) > precision) {
            text.resize(static_cast<size_t>(precision));
        }
        return pad(text, effective, width);
    }
    case u's':
        return pad(v.p == nullptr ? u16("(null)") : decodeCString(static_cast<const char *>(v.p), precision), effective,
                   width);
    case u'S':
        return pad(unicharText(v.p, precision), effective, width);
    case u'C':
        return pad(std::u16string(1, static_cast<char16_t>(v.i)), effective, width);
    case u'c': {
        unsigned char byte = static_cast<unsigned char>(v.i);
        std::u16string text;
        if (!decodeBytes(&byte, 1, kCFStringEncodingMacRoman, false, text)) {
            text = u16("?");
        }
        return pad(text, effective, width);
    }
    case u'p':
    case u'P':
        return cFormat(cfmt + "p", v.p);
    case u'd': case u'i': case u'D': {
        char c = s.conv == u'D' ? 'd' : static_cast<char>(s.conv);
        if (s.length == "hh") {
            return cFormat(cfmt + "hh" + c, static_cast<signed char>(v.i));
        }
        if (s.length == "h") {
            return cFormat(cfmt + "h" + c, static_cast<short>(v.i));
        }
        return cFormat(cfmt + "ll" + c, static_cast<long long>(v.i));
    }
    case u'u': case u'x': case u'X': case u'o': case u'U': case u'O': {
        char c = s.conv == u'U' ? 'u' : s.conv == u'O' ? 'o' : static_cast<char>(s.conv);
        unsigned long long value = v.u;
        if (v.kind == ArgKind::Int) {
            value = static_cast<unsigned int>(v.i);
        }
        if (s.length == "hh") {
            value = static_cast<unsigned char>(value);
        } else if (s.length == "h") {
            value = static_cast<unsigned short>(value);
        }
        return cFormat(cfmt + "ll" + c, value);
    }
    default: {
        char c = static_cast<char>(s.conv);
        if (v.kind == ArgKind::LongDouble) {
            return cFormat(cfmt + "L" + c, v.ld);
        }
        return cFormat(cfmt + c, v.d);
    }
    }
}

std::u16string formatText(std::u16string_view f, va_list args)
{
    int maxArg = 0;
    std::vector<Spec> specs = parseSpecs(f, maxArg);
    std::vector<ArgValue> values = readArguments(specs, maxArg, args);
    std::u16string out;
    size_t pos = 0;
    for (const Spec &s : specs) {
        out.append(f.substr(pos, s.start - pos));
        pos = s.end;
        out += s.conv == u'%' ? u16("%") : convert(s, values);
    }
    out.append(f.substr(std::min(pos, f.size())));
    return out;
}

}  // namespace

// ---- Public interface ----

extern "C" {

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef, CFStringRef format, va_list arguments)
{
    const __CFString *f = str(format);
    if (f == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeString(formatText(f->text(), arguments));
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...)
{
    va_list args;
    va_start(args, format);
    CFStringRef result = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, args);
    va_end(args);
    return result;
}

}  // extern "C"
