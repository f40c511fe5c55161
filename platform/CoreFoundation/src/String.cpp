// CFString: storage (8-bit for ASCII text, else UTF-16), creation, access, encodings (ICU
// converters), comparison (ICU collator for localized comparison), search, mutation and
// normalization.
#include "Internal.h"

#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

using namespace cf;

struct __CFString final : Object {
    // Text: either 8-bit ASCII (eight == true) or UTF-16 code units.
    bool isMutable = false;
    bool eight = true;
    bool owned = false;                   // data was malloc'ed here
    CFAllocatorRef deallocator = nullptr; // NoCopy: frees data (kCFAllocatorNull: nobody)
    CFIndex length = 0;
    const void *data = "";
    // Short text lives inside the object (one allocation per string).
    alignas(char16_t) char small[48] = {};

    __CFString() : Object(kTypeString) {}
    __CFString(Immortal tag) : Object(kTypeString, tag) {}
    constexpr __CFString(const char *literal, CFIndex len)
        : Object(kTypeString, Immortal{}), isMutable(false), eight(true), owned(false), deallocator(nullptr),
          length(len), data(literal)
    {
    }
    ~__CFString() override { freeData(); }

    void freeData()
    {
        if (owned) {
            std::free(const_cast<void *>(data));
        } else if (deallocator != nullptr && deallocator != kCFAllocatorNull) {
            CFAllocatorDeallocate(deallocator, const_cast<void *>(data));
        }
        owned = false;
        deallocator = nullptr;
        data = "";
        length = 0;
        eight = true;
    }

    const char *bytes() const { return static_cast<const char *>(data); }
    const char16_t *units() const { return static_cast<const char16_t *>(data); }
    char16_t at(CFIndex i) const
    {
        return eight ? static_cast<char16_t>(static_cast<unsigned char>(bytes()[i])) : units()[i];
    }
    std::u16string text() const
    {
        if (!eight) {
            return std::u16string(units(), static_cast<size_t>(length));
        }
        std::u16string out(static_cast<size_t>(length), u'\0');
        for (CFIndex i = 0; i < length; ++i) {
            out[static_cast<size_t>(i)] = static_cast<char16_t>(static_cast<unsigned char>(bytes()[i]));
        }
        return out;
    }
    std::u16string text(CFRange range) const
    {
        std::u16string out(static_cast<size_t>(range.length), u'\0');
        for (CFIndex i = 0; i < range.length; ++i) {
            out[static_cast<size_t>(i)] = at(range.location + i);
        }
        return out;
    }

    // Takes the text, choosing 8-bit storage when it is all ASCII.
    void *buffer(size_t bytesNeeded, bool &inSmall)
    {
        inSmall = bytesNeeded <= sizeof small;
        if (inSmall) {
            return small;
        }
        void *b = std::malloc(bytesNeeded);
        if (b == nullptr) {
            std::abort();
        }
        return b;
    }
    void adopt(void *b, bool inSmall, bool ascii, size_t units)
    {
        if (data != b) {
            freeData();
        }
        data = b;
        owned = !inSmall;
        eight = ascii;
        length = static_cast<CFIndex>(units);
    }

    // Takes the text, choosing 8-bit storage when it is all ASCII.
    void assign(std::u16string_view t)
    {
        bool ascii = std::all_of(t.begin(), t.end(), [](char16_t c) { return c < 0x80; });
        size_t bytesNeeded = ascii ? t.size() + 1 : t.size() * 2 + 2;
        if (owned || deallocator != nullptr) {
            freeData();
        }
        bool inSmall = false;
        void *b = buffer(bytesNeeded, inSmall);
        if (ascii) {
            char *c = static_cast<char *>(b);
            for (size_t i = 0; i < t.size(); ++i) {
                c[i] = static_cast<char>(t[i]);
            }
            c[t.size()] = '\0';
        } else {
            std::memcpy(b, t.data(), t.size() * 2);
        }
        adopt(b, inSmall, ascii, t.size());
    }
    void assignASCII(std::string_view t)
    {
        if (owned || deallocator != nullptr) {
            freeData();
        }
        bool inSmall = false;
        auto *b = static_cast<char *>(buffer(t.size() + 1, inSmall));
        std::memcpy(b, t.data(), t.size());
        b[t.size()] = '\0';
        adopt(b, inSmall, true, t.size());
    }

    const char *className() const override { return "CFString"; }
    bool equal(const Object *other) const override
    {
        auto *o = static_cast<const __CFString *>(other);
        if (o->length != length) {
            return false;
        }
        if (eight && o->eight) {
            return std::memcmp(data, o->data, static_cast<size_t>(length)) == 0;
        }
        if (!eight && !o->eight) {
            return std::memcmp(data, o->data, static_cast<size_t>(length) * 2) == 0;
        }
        for (CFIndex i = 0; i < length; ++i) {
            if (at(i) != o->at(i)) {
                return false;
            }
        }
        return true;
    }
    CFHashCode hash() const override
    {
        // FNV-1a over the UTF-16 code units, so both storages hash alike.
        uint64_t h = 1469598103934665603ULL;
        for (CFIndex i = 0; i < length; ++i) {
            h = (h ^ at(i)) * 1099511628211ULL;
        }
        return static_cast<CFHashCode>(h);
    }
    std::u16string describe() const override { return text(); }
    std::u16string formatText() const override { return text(); }
};

namespace {

const __CFString *str(CFStringRef s) { return as<__CFString>(s, kTypeString); }

__CFString *mutableStr(CFMutableStringRef s, const char *function)
{
    auto *p = const_cast<__CFString *>(str(s));
    if (p == nullptr || !p->isMutable) {
        std::fprintf(stderr, "CoreFoundation: %s on a string that is not mutable; ignored\n", function);
        return nullptr;
    }
    return p;
}

// Lower- or upper-cases a mutable string in place with ICU's mapping (no locale); the string is
// left as it was when ICU fails.
using CaseMapping = int32_t (*)(UChar *, int32_t, const UChar *, int32_t, const char *, UErrorCode *);
void changeCase(CFMutableStringRef s, const char *function, CaseMapping mapping)
{
    __CFString *p = mutableStr(s, function);
    if (p == nullptr) {
        return;
    }
    std::u16string text = p->text();
    std::u16string out(text.size() * 3 + 1, u'\0');  // a unit maps to at most three
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = mapping(reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()),
                        reinterpret_cast<const UChar *>(text.data()), static_cast<int32_t>(text.size()), "", &status);
    if (U_SUCCESS(status)) {
        out.resize(static_cast<size_t>(n));
        p->assign(out);
    }
}

bool validRange(const __CFString *s, CFRange range)
{
    return s != nullptr && range.location >= 0 && range.length >= 0 && range.location <= s->length &&
           range.length <= s->length - range.location;
}

void reportRange(const char *function)
{
    std::fprintf(stderr, "CoreFoundation: %s with a range outside the string; ignored\n", function);
}

// ---- Encodings ----

bool isUnicodeEncoding(CFStringEncoding e)
{
    return e == kCFStringEncodingUTF8 || e == kCFStringEncodingUTF16 || e == kCFStringEncodingUTF16BE ||
           e == kCFStringEncodingUTF16LE || e == kCFStringEncodingUTF32 || e == kCFStringEncodingUTF32BE ||
           e == kCFStringEncodingUTF32LE;
}

const char *icuName(CFStringEncoding e)
{
    switch (e) {
    case kCFStringEncodingMacRoman: return "macintosh";
    case kCFStringEncodingWindowsLatin1: return "windows-1252";
    case kCFStringEncodingISOLatin1: return "ISO-8859-1";
    case kCFStringEncodingASCII: return "US-ASCII";
    default: return nullptr;
    }
}

// A single-byte encoding as two tables built once from the ICU converter: byte to character
// (0xFFFF for a byte the encoding does not define) and character to byte (round-trip mappings).
struct ByteEncoding {
    std::array<char16_t, 256> toUnicode{};
    std::unordered_map<char16_t, unsigned char> fromUnicode;
};

const ByteEncoding *byteEncoding(CFStringEncoding e)
{
    static std::mutex lock;
    static std::map<CFStringEncoding, std::unique_ptr<ByteEncoding>> cache;
    const char *name = icuName(e);
    if (name == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(lock);
    auto found = cache.find(e);
    if (found != cache.end()) {
        return found->second.get();
    }
    UErrorCode status = U_ZERO_ERROR;
    UConverter *conv = ucnv_open(name, &status);
    if (U_FAILURE(status)) {
        return nullptr;
    }
    auto table = std::make_unique<ByteEncoding>();
    for (int b = 0; b < 256; ++b) {
        ucnv_reset(conv);
        status = U_ZERO_ERROR;
        ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        char byte = static_cast<char>(b);
        UChar out[4];
        status = U_ZERO_ERROR;
        int32_t n = ucnv_toUChars(conv, out, 4, &byte, 1, &status);
        if (U_SUCCESS(status) && n == 1) {
            table->toUnicode[static_cast<size_t>(b)] = static_cast<char16_t>(out[0]);
            table->fromUnicode.emplace(static_cast<char16_t>(out[0]), static_cast<unsigned char>(b));
        } else {
            table->toUnicode[static_cast<size_t>(b)] = 0xFFFF;
        }
    }
    ucnv_close(conv);
    const ByteEncoding *result = table.get();
    cache.emplace(e, std::move(table));
    return result;
}

bool hostIsLittleEndian()
{
    const uint16_t probe = 1;
    return *reinterpret_cast<const unsigned char *>(&probe) == 1;
}

// Decodes bytes; false when they are not valid in the encoding.
bool decodeBytes(const UInt8 *bytes, CFIndex n, CFStringEncoding e, bool external, std::u16string &out)
{
    out.clear();
    if (n < 0 || (bytes == nullptr && n > 0)) {
        return false;
    }
    if (e == kCFStringEncodingUTF8) {
        std::string_view view(reinterpret_cast<const char *>(bytes), static_cast<size_t>(n));
        if (view.size() >= 3 && static_cast<unsigned char>(view[0]) == 0xEF &&
            static_cast<unsigned char>(view[1]) == 0xBB && static_cast<unsigned char>(view[2]) == 0xBF) {
            view.remove_prefix(3);
        }
        return fromUTF8Strict(view, out);
    }
    if (e == kCFStringEncodingUTF16 || e == kCFStringEncodingUTF16BE || e == kCFStringEncodingUTF16LE) {
        if (n % 2 != 0) {
            return false;
        }
        bool little = e == kCFStringEncodingUTF16LE || (e == kCFStringEncodingUTF16 && hostIsLittleEndian());
        CFIndex start = 0;
        if (e == kCFStringEncodingUTF16 && n >= 2) {
            if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
                little = true;
                start = 2;
            } else if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
                little = false;
                start = 2;
            }
        }
        for (CFIndex i = start; i + 1 < n; i += 2) {
            out.push_back(little ? static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8))
                                 : static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1]));
        }
        return true;
    }
    if (e == kCFStringEncodingUTF32 || e == kCFStringEncodingUTF32BE || e == kCFStringEncodingUTF32LE) {
        if (n % 4 != 0) {
            return false;
        }
        bool little = e == kCFStringEncodingUTF32LE || (e == kCFStringEncodingUTF32 && hostIsLittleEndian());
        CFIndex start = 0;
        if (e == kCFStringEncodingUTF32 && n >= 4) {
            if (bytes[0] == 0xFF && bytes[1] == 0xFE && bytes[2] == 0 && bytes[3] == 0) {
                little = true;
                start = 4;
            } else if (bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0xFE && bytes[3] == 0xFF) {
                little = false;
                start = 4;
            }
        }
        for (CFIndex i = start; i + 3 < n; i += 4) {
            uint32_t c = little ? (bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) |
                                   (static_cast<uint32_t>(bytes[i + 3]) << 24))
                                : ((static_cast<uint32_t>(bytes[i]) << 24) | (bytes[i + 1] << 16) |
                                   (bytes[i + 2] << 8) | bytes[i + 3]);
            if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
                return false;
            }
            if (c >= 0x10000) {
                out.push_back(static_cast<char16_t>(U16_LEAD(c)));
                out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
            } else {
                out.push_back(static_cast<char16_t>(c));
            }
        }
        return true;
    }
    const ByteEncoding *table = byteEncoding(e);
    if (table == nullptr) {
        return false;
    }
    out.resize(static_cast<size_t>(n));
    for (CFIndex i = 0; i < n; ++i) {
        char16_t c = table->toUnicode[bytes[i]];
        if (c == 0xFFFF) {
            out.clear();
            return false;
        }
        out[static_cast<size_t>(i)] = c;
    }
    return true;
}

void putUnit16(std::vector<UInt8> &out, char16_t u, bool little)
{
    if (little) {
        out.push_back(static_cast<UInt8>(u & 0xFF));
        out.push_back(static_cast<UInt8>(u >> 8));
    } else {
        out.push_back(static_cast<UInt8>(u >> 8));
        out.push_back(static_cast<UInt8>(u & 0xFF));
    }
}

void putUnit32(std::vector<UInt8> &out, uint32_t c, bool little)
{
    for (int i = 0; i < 4; ++i) {
        int shift = little ? 8 * i : 8 * (3 - i);
        out.push_back(static_cast<UInt8>((c >> shift) & 0xFF));
    }
}

// Encodes characters from the range one at a time (a surrogate pair is one character). Stops at a
// character the encoding cannot hold (unless lossByte) or that would pass maxBytes (< 0: no
// limit). Returns the UTF-16 units consumed; out receives the bytes.
CFIndex encodeRange(const __CFString *s, CFRange range, CFStringEncoding e, UInt8 lossByte, bool external,
                    CFIndex maxBytes, std::vector<UInt8> &out)
{
    out.clear();
    bool little = hostIsLittleEndian();
    if (external && (e == kCFStringEncodingUTF16 || e == kCFStringEncodingUTF32)) {
        if (e == kCFStringEncodingUTF16) {
            putUnit16(out, 0xFEFF, little);
        } else {
            putUnit32(out, 0xFEFF, little);
        }
        if (maxBytes >= 0 && static_cast<CFIndex>(out.size()) > maxBytes) {
            out.clear();
            return 0;
        }
    }
    const ByteEncoding *table = isUnicodeEncoding(e) ? nullptr : byteEncoding(e);
    if (!isUnicodeEncoding(e) && table == nullptr) {
        return 0;
    }
    CFIndex end = range.location + range.length;
    CFIndex i = range.location;
    UInt8 buffer[8];
    while (i < end) {
        char16_t c = s->at(i);
        CFIndex units = 1;
        uint32_t cp = c;
        if (U16_IS_LEAD(c) && i + 1 < end && U16_IS_TRAIL(s->at(i + 1))) {
            cp = U16_GET_SUPPLEMENTARY(c, s->at(i + 1));
            units = 2;
        }
        size_t n = 0;
        bool ok = true;
        if (e == kCFStringEncodingUTF8) {
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                ok = false;
            } else if (cp < 0x80) {
                buffer[n++] = static_cast<UInt8>(cp);
            } else if (cp < 0x800) {
                buffer[n++] = static_cast<UInt8>(0xC0 | (cp >> 6));
                buffer[n++] = static_cast<UInt8>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                buffer[n++] = static_cast<UInt8>(0xE0 | (cp >> 12));
                buffer[n++] = static_cast<UInt8>(0x80 | ((cp >> 6) & 0x3F));
                buffer[n++] = static_cast<UInt8>(0x80 | (cp & 0x3F));
            } else {
                buffer[n++] = static_cast<UInt8>(0xF0 | (cp >> 18));
                buffer[n++] = static_cast<UInt8>(0x80 | ((cp >> 12) & 0x3F));
                buffer[n++] = static_cast<UInt8>(0x80 | ((cp >> 6) & 0x3F));
                buffer[n++] = static_cast<UInt8>(0x80 | (cp & 0x3F));
            }
        } else if (e == kCFStringEncodingUTF16 || e == kCFStringEncodingUTF16BE || e == kCFStringEncodingUTF16LE) {
            bool le = e == kCFStringEncodingUTF16LE || (e == kCFStringEncodingUTF16 && little);
            std::vector<UInt8> tmp;
            for (CFIndex k = 0; k < units; ++k) {
                putUnit16(tmp, s->at(i + k), le);
            }
            std::memcpy(buffer, tmp.data(), tmp.size());
            n = tmp.size();
        } else if (e == kCFStringEncodingUTF32 || e == kCFStringEncodingUTF32BE || e == kCFStringEncodingUTF32LE) {
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                ok = false;
            } else {
                bool le = e == kCFStringEncodingUTF32LE || (e == kCFStringEncodingUTF32 && little);
                std::vector<UInt8> tmp;
                putUnit32(tmp, cp, le);
                std::memcpy(buffer, tmp.data(), 4);
                n = 4;
            }
        } else {
            auto found = units == 1 ? table->fromUnicode.find(c) : table->fromUnicode.end();
            if (found == table->fromUnicode.end()) {
                ok = false;
            } else {
                buffer[n++] = found->second;
            }
        }
        if (!ok) {
            if (lossByte == 0) {
                break;
            }
            n = 0;
            buffer[n++] = lossByte;
        }
        if (maxBytes >= 0 && static_cast<CFIndex>(out.size() + n) > maxBytes) {
            break;
        }
        out.insert(out.end(), buffer, buffer + n);
        i += units;
    }
    return i - range.location;
}

// ---- Constant strings ----

std::mutex gConstantLock;
std::unordered_map<std::string, __CFString *> &constantStrings()
{
    static auto *table = new std::unordered_map<std::string, __CFString *>();
    return *table;
}

}  // namespace

namespace cf {

CFStringRef makeString(std::u16string_view text, bool mutableString)
{
    auto *s = new __CFString();
    s->assign(text);
    s->isMutable = mutableString;
    return s;
}

CFStringRef makeStringUTF8(std::string_view text)
{
    std::u16string wide;
    if (!fromUTF8Strict(text, wide)) {
        return nullptr;
    }
    return makeString(wide);
}

std::u16string stringText(CFStringRef s)
{
    const __CFString *p = str(s);
    return p == nullptr ? std::u16string() : p->text();
}

std::string stringUTF8(CFStringRef s)
{
    const __CFString *p = str(s);
    if (p == nullptr) {
        return std::string();
    }
    if (p->eight) {
        return std::string(p->bytes(), static_cast<size_t>(p->length));
    }
    return toUTF8(p->text());
}

}  // namespace cf

// ---- Comparison ----

namespace {

std::u16string foldCase(std::u16string_view t)
{
    std::u16string out(t.size() * 3 + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = u_strFoldCase(reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar *>(t.data()), static_cast<int32_t>(t.size()),
                              U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status)) {
        return std::u16string(t);
    }
    out.resize(static_cast<size_t>(n));
    return out;
}

std::u16string normalizeText(std::u16string_view t, CFStringNormalizationForm form)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2 *norm = nullptr;
    switch (form) {
    case kCFStringNormalizationFormD: norm = unorm2_getNFDInstance(&status); break;
    case kCFStringNormalizationFormKD: norm = unorm2_getNFKDInstance(&status); break;
    case kCFStringNormalizationFormC: norm = unorm2_getNFCInstance(&status); break;
    case kCFStringNormalizationFormKC: norm = unorm2_getNFKCInstance(&status); break;
    default: return std::u16string(t);
    }
    if (U_FAILURE(status) || norm == nullptr) {
        return std::u16string(t);
    }
    std::u16string out(t.size() * 4 + 4, u'\0');
    status = U_ZERO_ERROR;
    int32_t n = unorm2_normalize(norm, reinterpret_cast<const UChar *>(t.data()), static_cast<int32_t>(t.size()),
                                 reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<size_t>(n), u'\0');
        status = U_ZERO_ERROR;
        n = unorm2_normalize(norm, reinterpret_cast<const UChar *>(t.data()), static_cast<int32_t>(t.size()),
                             reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()), &status);
    }
    if (U_FAILURE(status)) {
        return std::u16string(t);
    }
    out.resize(static_cast<size_t>(n));
    return out;
}

UCollator *collatorFor(CFStringCompareFlags flags)
{
    // One collator per thread and option set (collators are not shared between threads).
    thread_local std::map<CFStringCompareFlags, std::unique_ptr<UCollator, void (*)(UCollator *)>> cache;
    CFStringCompareFlags key =
        flags & (kCFCompareCaseInsensitive | kCFCompareNumerically | kCFCompareDiacriticInsensitive);
    auto found = cache.find(key);
    if (found != cache.end()) {
        return found->second.get();
    }
    UErrorCode status = U_ZERO_ERROR;
    UCollator *coll = ucol_open("", &status);
    if (U_FAILURE(status)) {
        return nullptr;
    }
    if (key & kCFCompareDiacriticInsensitive) {
        ucol_setStrength(coll, UCOL_PRIMARY);
        if (!(key & kCFCompareCaseInsensitive)) {
            ucol_setAttribute(coll, UCOL_CASE_LEVEL, UCOL_ON, &status);
        }
    } else if (key & kCFCompareCaseInsensitive) {
        ucol_setStrength(coll, UCOL_SECONDARY);
    } else {
        ucol_setStrength(coll, UCOL_TERTIARY);
    }
    status = U_ZERO_ERROR;
    ucol_setAttribute(coll, UCOL_NUMERIC_COLLATION, (key & kCFCompareNumerically) ? UCOL_ON : UCOL_OFF, &status);
    UCollator *result = coll;
    cache.emplace(key, std::unique_ptr<UCollator, void (*)(UCollator *)>(coll, ucol_close));
    return result;
}

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

CFComparisonResult literalCompare(std::u16string_view a, std::u16string_view b, bool numeric)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (numeric && isDigit(a[i]) && isDigit(b[j])) {
            size_t ie = i;
            size_t je = j;
            while (ie < a.size() && isDigit(a[ie])) {
                ++ie;
            }
            while (je < b.size() && isDigit(b[je])) {
                ++je;
            }
            size_t is = i;
            size_t js = j;
            while (is + 1 < ie && a[is] == u'0') {
                ++is;
            }
            while (js + 1 < je && b[js] == u'0') {
                ++js;
            }
            if (ie - is != je - js) {
                return ie - is < je - js ? kCFCompareLessThan : kCFCompareGreaterThan;
            }
            for (; is < ie; ++is, ++js) {
                if (a[is] != b[js]) {
                    return a[is] < b[js] ? kCFCompareLessThan : kCFCompareGreaterThan;
                }
            }
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j] ? kCFCompareLessThan : kCFCompareGreaterThan;
        }
        ++i;
        ++j;
    }
    if (i < a.size()) {
        return kCFCompareGreaterThan;
    }
    if (j < b.size()) {
        return kCFCompareLessThan;
    }
    return kCFCompareEqualTo;
}

}  // namespace

CFComparisonResult cf::compareText(std::u16string_view a, std::u16string_view b, CFStringCompareFlags flags)
{
    std::u16string na;
    std::u16string nb;
    if (flags & kCFCompareNonliteral) {
        na = normalizeText(a, kCFStringNormalizationFormD);
        nb = normalizeText(b, kCFStringNormalizationFormD);
        a = na;
        b = nb;
    }
    if (flags & (kCFCompareLocalized | kCFCompareDiacriticInsensitive)) {
        UCollator *coll = collatorFor(flags);
        if (coll != nullptr) {
            UCollationResult r = ucol_strcoll(coll, reinterpret_cast<const UChar *>(a.data()),
                                              static_cast<int32_t>(a.size()), reinterpret_cast<const UChar *>(b.data()),
                                              static_cast<int32_t>(b.size()));
            if (r != UCOL_EQUAL) {
                return r == UCOL_LESS ? kCFCompareLessThan : kCFCompareGreaterThan;
            }
            if (!(flags & kCFCompareForcedOrdering)) {
                return kCFCompareEqualTo;
            }
            return literalCompare(a, b, false);
        }
    }
    if (flags & kCFCompareCaseInsensitive) {
        std::u16string fa = foldCase(a);
        std::u16string fb = foldCase(b);
        CFComparisonResult r = literalCompare(fa, fb, (flags & kCFCompareNumerically) != 0);
        if (r != kCFCompareEqualTo || !(flags & kCFCompareForcedOrdering)) {
            return r;
        }
    }
    return literalCompare(a, b, (flags & kCFCompareNumerically) != 0);
}

// ---- Formatting (CFStringCreateWithFormat) ----

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

std::u16string formatText(std::u16string_view f, va_list args)
{
    std::vector<Spec> specs;
    int nextArg = 1;
    int maxArg = 0;
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
            break;  // an incomplete specification at the end is copied as text
        }
        s.conv = f[j];
        s.end = j + 1;
        if (kindFor(s) == ArgKind::None) {
            i = j;
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
        i = j;
    }

    // Read the arguments in order, each by the kind its conversion names.
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

    std::u16string out;
    size_t pos = 0;
    for (const Spec &s : specs) {
        out.append(f.substr(pos, s.start - pos));
        pos = s.end;
        if (s.conv == u'%') {
            out.push_back(u'%');
            continue;
        }
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
            out += pad(text, effective, width);
            break;
        }
        case u's':
            out += pad(v.p == nullptr ? u16("(null)") : decodeCString(static_cast<const char *>(v.p), precision),
                       effective, width);
            break;
        case u'S': {
            std::u16string text;
            if (v.p == nullptr) {
                text = u16("(null)");
            } else {
                for (const UniChar *p = static_cast<const UniChar *>(v.p); *p != 0; ++p) {
                    if (precision >= 0 && static_cast<int>(text.size()) >= precision) {
                        break;
                    }
                    text.push_back(static_cast<char16_t>(*p));
                }
            }
            out += pad(text, effective, width);
            break;
        }
        case u'C':
            out += pad(std::u16string(1, static_cast<char16_t>(v.i)), effective, width);
            break;
        case u'c': {
            unsigned char byte = static_cast<unsigned char>(v.i);
            std::u16string text;
            if (!decodeBytes(&byte, 1, kCFStringEncodingMacRoman, false, text)) {
                text = u16("?");
            }
            out += pad(text, effective, width);
            break;
        }
        case u'p':
        case u'P':
            out += cFormat(cfmt + "p", v.p);
            break;
        case u'd': case u'i': case u'D': {
            char c = s.conv == u'D' ? 'd' : static_cast<char>(s.conv);
            if (s.length == "hh") {
                out += cFormat(cfmt + "hh" + c, static_cast<signed char>(v.i));
            } else if (s.length == "h") {
                out += cFormat(cfmt + "h" + c, static_cast<short>(v.i));
            } else {
                out += cFormat(cfmt + "ll" + c, static_cast<long long>(v.i));
            }
            break;
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
            out += cFormat(cfmt + "ll" + c, value);
            break;
        }
        default: {
            char c = static_cast<char>(s.conv);
            if (v.kind == ArgKind::LongDouble) {
                out += cFormat(cfmt + "L" + c, v.ld);
            } else {
                out += cFormat(cfmt + c, v.d);
            }
            break;
        }
        }
    }
    out.append(f.substr(std::min(pos, f.size())));
    return out;
}

}  // namespace

CFStringRef cf::formatString(CFStringRef format, va_list args)
{
    const __CFString *f = str(format);
    if (f == nullptr) {
        return nullptr;
    }
    return makeString(formatText(f->text(), args));
}

// ---- Exported string constants (constant-initialised, usable from any static initialiser) ----

#define CF_CONSTANT_STRING(name, text)                                                                                 \
    namespace {                                                                                                        \
    constinit __CFString name##Storage(text, sizeof(text) - 1);                                                       \
    }                                                                                                                  \
    extern "C" const CFStringRef name = &name##Storage;

CF_CONSTANT_STRING(kCFRunLoopDefaultMode, "kCFRunLoopDefaultMode")
CF_CONSTANT_STRING(kCFRunLoopCommonModes, "kCFRunLoopCommonModes")
CF_CONSTANT_STRING(kCFErrorDomainPOSIX, "NSPOSIXErrorDomain")
CF_CONSTANT_STRING(kCFErrorDomainOSStatus, "NSOSStatusErrorDomain")
CF_CONSTANT_STRING(kCFErrorDomainMach, "NSMachErrorDomain")
CF_CONSTANT_STRING(kCFErrorDomainCocoa, "NSCocoaErrorDomain")
CF_CONSTANT_STRING(kCFErrorDescriptionKey, "NSDescription")
CF_CONSTANT_STRING(kCFErrorDebugDescriptionKey, "NSDebugDescription")
CF_CONSTANT_STRING(kCFErrorLocalizedDescriptionKey, "NSLocalizedDescription")
CF_CONSTANT_STRING(kCFErrorFilePathKey, "NSFilePath")
CF_CONSTANT_STRING(kCFBundleInfoDictionaryVersionKey, "CFBundleInfoDictionaryVersion")
CF_CONSTANT_STRING(kCFBundleExecutableKey, "CFBundleExecutable")
CF_CONSTANT_STRING(kCFBundleIdentifierKey, "CFBundleIdentifier")
CF_CONSTANT_STRING(kCFBundleVersionKey, "CFBundleVersion")
CF_CONSTANT_STRING(kCFBundleDevelopmentRegionKey, "CFBundleDevelopmentRegion")
CF_CONSTANT_STRING(kCFBundleNameKey, "CFBundleName")
CF_CONSTANT_STRING(kCFURLFileExists, "kCFURLFileExists")
CF_CONSTANT_STRING(kCFURLFileDirectoryContents, "kCFURLFileDirectoryContents")
CF_CONSTANT_STRING(kCFURLFileLength, "kCFURLFileLength")
CF_CONSTANT_STRING(kCFURLFileLastModificationTime, "kCFURLFileLastModificationTime")
CF_CONSTANT_STRING(kCFURLFilePOSIXMode, "kCFURLFilePOSIXMode")
CF_CONSTANT_STRING(kCFURLFileOwnerID, "kCFURLFileOwnerID")

// ---- Public interface ----

extern "C" {

CFTypeID CFStringGetTypeID(void) { return kTypeString; }

CFStringRef __CFStringMakeConstantString(const char *cStr)
{
    if (cStr == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(gConstantLock);
    auto &table = constantStrings();
    auto found = table.find(cStr);
    if (found != table.end()) {
        return found->second;
    }
    auto *s = new __CFString(Object::Immortal{});
    std::u16string wide;
    if (!fromUTF8Strict(cStr, wide)) {
        wide = fromUTF8(cStr);
    }
    s->assign(wide);
    table.emplace(cStr, s);
    return s;
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8 *bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean isExternalRepresentation)
{
    CF_CREATE_OR_RETURN(nullptr);
    if (numBytes >= 0 && (encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingUTF8 ||
                          encoding == kCFStringEncodingMacRoman || encoding == kCFStringEncodingISOLatin1 ||
                          encoding == kCFStringEncodingWindowsLatin1) &&
        (bytes != nullptr || numBytes == 0) &&
        std::all_of(bytes, bytes + numBytes, [](UInt8 b) { return b < 0x80; }) &&
        !(encoding == kCFStringEncodingUTF8 && numBytes >= 3 && bytes[0] == 0xEF)) {
        auto *s = new __CFString();
        s->assignASCII(std::string_view(reinterpret_cast<const char *>(bytes), static_cast<size_t>(numBytes)));
        return s;
    }
    std::u16string text;
    if (!decodeBytes(bytes, numBytes, encoding, isExternalRepresentation != 0, text)) {
        return nullptr;
    }
    return makeString(text);
}

CFStringRef CFStringCreateWithBytesNoCopy(CFAllocatorRef alloc, const UInt8 *bytes, CFIndex numBytes,
                                          CFStringEncoding encoding, Boolean isExternalRepresentation,
                                          CFAllocatorRef contentsDeallocator)
{
    CFStringRef s = CFStringCreateWithBytes(alloc, bytes, numBytes, encoding, isExternalRepresentation);
    if (s != nullptr && contentsDeallocator != kCFAllocatorNull) {
        CFAllocatorDeallocate(contentsDeallocator, const_cast<UInt8 *>(bytes));
    }
    return s;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char *cStr, CFStringEncoding encoding)
{
    if (cStr == nullptr) {
        return nullptr;
    }
    return CFStringCreateWithBytes(alloc, reinterpret_cast<const UInt8 *>(cStr), static_cast<CFIndex>(std::strlen(cStr)),
                                   encoding, false);
}

CFStringRef CFStringCreateWithCStringNoCopy(CFAllocatorRef alloc, const char *cStr, CFStringEncoding encoding,
                                            CFAllocatorRef contentsDeallocator)
{
    CFStringRef s = CFStringCreateWithCString(alloc, cStr, encoding);
    if (s != nullptr && contentsDeallocator != kCFAllocatorNull) {
        CFAllocatorDeallocate(contentsDeallocator, const_cast<char *>(cStr));
    }
    return s;
}

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStringPtr pStr, CFStringEncoding encoding)
{
    if (pStr == nullptr) {
        return nullptr;
    }
    return CFStringCreateWithBytes(alloc, pStr + 1, pStr[0], encoding, false);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar *chars, CFIndex numChars)
{
    if (numChars < 0 || (chars == nullptr && numChars > 0)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeString(std::u16string_view(reinterpret_cast<const char16_t *>(chars), static_cast<size_t>(numChars)));
}

CFStringRef CFStringCreateWithCharactersNoCopy(CFAllocatorRef alloc, const UniChar *chars, CFIndex numChars,
                                               CFAllocatorRef contentsDeallocator)
{
    CFStringRef s = CFStringCreateWithCharacters(alloc, chars, numChars);
    if (s != nullptr && contentsDeallocator != kCFAllocatorNull) {
        CFAllocatorDeallocate(contentsDeallocator, const_cast<UniChar *>(chars));
    }
    return s;
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef, CFStringRef s, CFRange range)
{
    const __CFString *p = str(s);
    if (!validRange(p, range)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeString(p->text(range));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef s)
{
    const __CFString *p = str(s);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    if (!p->isMutable) {
        return static_cast<CFStringRef>(CFRetain(s));
    }
    return makeString(p->text());
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex)
{
    CF_CREATE_OR_RETURN(nullptr);
    return const_cast<CFMutableStringRef>(makeString(std::u16string_view(), true));
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex, CFStringRef s)
{
    const __CFString *p = str(s);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return const_cast<CFMutableStringRef>(makeString(p->text(), true));
}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef, CFStringRef format, va_list arguments)
{
    if (str(format) == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return formatString(format, arguments);
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...)
{
    va_list args;
    va_start(args, format);
    CFStringRef result = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, args);
    va_end(args);
    return result;
}

CFIndex CFStringGetLength(CFStringRef s)
{
    const __CFString *p = str(s);
    return p == nullptr ? 0 : p->length;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef s, CFIndex idx)
{
    const __CFString *p = str(s);
    if (p == nullptr || idx < 0 || idx >= p->length) {
        std::fprintf(stderr, "CoreFoundation: CFStringGetCharacterAtIndex index %ld outside the string\n", idx);
        return 0;
    }
    return p->at(idx);
}

void CFStringGetCharacters(CFStringRef s, CFRange range, UniChar *buffer)
{
    const __CFString *p = str(s);
    if (!validRange(p, range) || buffer == nullptr) {
        reportRange("CFStringGetCharacters");
        return;
    }
    for (CFIndex i = 0; i < range.length; ++i) {
        buffer[i] = p->at(range.location + i);
    }
}

CFIndex CFStringGetBytes(CFStringRef s, CFRange range, CFStringEncoding encoding, UInt8 lossByte,
                         Boolean isExternalRepresentation, UInt8 *buffer, CFIndex maxBufLen, CFIndex *usedBufLen)
{
    const __CFString *p = str(s);
    if (!validRange(p, range)) {
        if (usedBufLen != nullptr) {
            *usedBufLen = 0;
        }
        return 0;
    }
    std::vector<UInt8> bytes;
    CFIndex converted =
        encodeRange(p, range, encoding, lossByte, isExternalRepresentation != 0, buffer == nullptr ? -1 : maxBufLen, bytes);
    if (buffer != nullptr && !bytes.empty()) {
        std::memcpy(buffer, bytes.data(), bytes.size());
    }
    if (usedBufLen != nullptr) {
        *usedBufLen = static_cast<CFIndex>(bytes.size());
    }
    return converted;
}

Boolean CFStringGetCString(CFStringRef s, char *buffer, CFIndex bufferSize, CFStringEncoding encoding)
{
    const __CFString *p = str(s);
    if (buffer == nullptr || bufferSize <= 0) {
        return false;
    }
    buffer[0] = '\0';
    if (p == nullptr) {
        return false;
    }
    if (p->eight && (encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingASCII ||
                     encoding == kCFStringEncodingMacRoman || encoding == kCFStringEncodingISOLatin1 ||
                     encoding == kCFStringEncodingWindowsLatin1)) {
        if (p->length + 1 > bufferSize) {
            return false;
        }
        std::memcpy(buffer, p->bytes(), static_cast<size_t>(p->length));
        buffer[p->length] = '\0';
        return true;
    }
    std::vector<UInt8> bytes;
    CFIndex converted = encodeRange(p, CFRangeMake(0, p->length), encoding, 0, false, bufferSize - 1, bytes);
    if (converted != p->length) {
        return false;
    }
    std::memcpy(buffer, bytes.data(), bytes.size());
    buffer[bytes.size()] = '\0';
    return true;
}

Boolean CFStringGetPascalString(CFStringRef s, StringPtr buffer, CFIndex bufferSize, CFStringEncoding encoding)
{
    const __CFString *p = str(s);
    if (p == nullptr || buffer == nullptr || bufferSize <= 0) {
        return false;
    }
    std::vector<UInt8> bytes;
    CFIndex limit = std::min<CFIndex>(bufferSize - 1, 255);
    CFIndex converted = encodeRange(p, CFRangeMake(0, p->length), encoding, 0, false, limit, bytes);
    if (converted != p->length) {
        buffer[0] = 0;
        return false;
    }
    buffer[0] = static_cast<UInt8>(bytes.size());
    std::memcpy(buffer + 1, bytes.data(), bytes.size());
    return true;
}

const char *CFStringGetCStringPtr(CFStringRef s, CFStringEncoding encoding)
{
    const __CFString *p = str(s);
    // 8-bit text is kept zero-terminated.
    if (p == nullptr || !p->eight) {
        return nullptr;
    }
    if (encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingASCII ||
        encoding == kCFStringEncodingMacRoman || encoding == kCFStringEncodingISOLatin1 ||
        encoding == kCFStringEncodingWindowsLatin1) {
        return p->bytes();
    }
    return nullptr;
}

const UniChar *CFStringGetCharactersPtr(CFStringRef s)
{
    const __CFString *p = str(s);
    return (p != nullptr && !p->eight) ? reinterpret_cast<const UniChar *>(p->units()) : nullptr;
}

CFDataRef CFStringCreateExternalRepresentation(CFAllocatorRef alloc, CFStringRef s, CFStringEncoding encoding,
                                               UInt8 lossByte)
{
    const __CFString *p = str(s);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::vector<UInt8> bytes;
    CFIndex converted = encodeRange(p, CFRangeMake(0, p->length), encoding, lossByte, true, -1, bytes);
    if (converted != p->length) {
        return nullptr;
    }
    return CFDataCreate(alloc, bytes.data(), static_cast<CFIndex>(bytes.size()));
}

CFStringRef CFStringCreateFromExternalRepresentation(CFAllocatorRef alloc, CFDataRef data, CFStringEncoding encoding)
{
    if (data == nullptr) {
        return nullptr;
    }
    return CFStringCreateWithBytes(alloc, CFDataGetBytePtr(data), CFDataGetLength(data), encoding, true);
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding)
{
    switch (encoding) {
    case kCFStringEncodingUTF8: return length * 3;
    case kCFStringEncodingUTF16:
    case kCFStringEncodingUTF16BE:
    case kCFStringEncodingUTF16LE: return length * 2;
    case kCFStringEncodingUTF32:
    case kCFStringEncodingUTF32BE:
    case kCFStringEncodingUTF32LE: return length * 4;
    default: return length;
    }
}

CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef s) { return CFStringGetLength(s) * 3 + 1; }

Boolean CFStringGetFileSystemRepresentation(CFStringRef s, char *buffer, CFIndex maxBufLen)
{
    return CFStringGetCString(s, buffer, maxBufLen, kCFStringEncodingUTF8);
}

CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef alloc, const char *buffer)
{
    return CFStringCreateWithCString(alloc, buffer, kCFStringEncodingUTF8);
}

CFStringEncoding CFStringGetSystemEncoding(void) { return kCFStringEncodingMacRoman; }

CFStringEncoding CFStringGetFastestEncoding(CFStringRef s)
{
    const __CFString *p = str(s);
    return (p != nullptr && p->eight) ? kCFStringEncodingASCII : kCFStringEncodingUnicode;
}

CFStringEncoding CFStringGetSmallestEncoding(CFStringRef s) { return CFStringGetFastestEncoding(s); }

Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding)
{
    return isUnicodeEncoding(encoding) || byteEncoding(encoding) != nullptr;
}

CFStringRef CFStringGetNameOfEncoding(CFStringEncoding encoding)
{
    switch (encoding) {
    case kCFStringEncodingMacRoman: return CFSTR("Western (Mac OS Roman)");
    case kCFStringEncodingWindowsLatin1: return CFSTR("Western (Windows Latin 1)");
    case kCFStringEncodingISOLatin1: return CFSTR("Western (ISO Latin 1)");
    case kCFStringEncodingASCII: return CFSTR("Western (ASCII)");
    case kCFStringEncodingUTF8: return CFSTR("Unicode (UTF-8)");
    case kCFStringEncodingUTF16: return CFSTR("Unicode (UTF-16)");
    case kCFStringEncodingUTF16BE: return CFSTR("Unicode (UTF-16BE)");
    case kCFStringEncodingUTF16LE: return CFSTR("Unicode (UTF-16LE)");
    case kCFStringEncodingUTF32: return CFSTR("Unicode (UTF-32)");
    case kCFStringEncodingUTF32BE: return CFSTR("Unicode (UTF-32BE)");
    case kCFStringEncodingUTF32LE: return CFSTR("Unicode (UTF-32LE)");
    default: return nullptr;
    }
}

// ---- Comparison and search ----

CFComparisonResult CFStringCompareWithOptionsAndLocale(CFStringRef a, CFStringRef b, CFRange range,
                                                       CFStringCompareFlags flags, CFTypeRef)
{
    const __CFString *pa = str(a);
    const __CFString *pb = str(b);
    if (pa == nullptr || pb == nullptr) {
        return pa == pb ? kCFCompareEqualTo : (pa == nullptr ? kCFCompareLessThan : kCFCompareGreaterThan);
    }
    if (!validRange(pa, range)) {
        reportRange("CFStringCompareWithOptions");
        range = CFRangeMake(0, pa->length);
    }
    if (flags == 0 && pa->eight && pb->eight && range.location == 0 && range.length == pa->length) {
        std::string_view va(pa->bytes(), static_cast<size_t>(pa->length));
        std::string_view vb(pb->bytes(), static_cast<size_t>(pb->length));
        int r = va.compare(vb);
        return r < 0 ? kCFCompareLessThan : (r > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo);
    }
    return compareText(pa->text(range), pb->text(), flags);
}

CFComparisonResult CFStringCompareWithOptions(CFStringRef a, CFStringRef b, CFRange range, CFStringCompareFlags flags)
{
    return CFStringCompareWithOptionsAndLocale(a, b, range, flags, nullptr);
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags flags)
{
    return CFStringCompareWithOptionsAndLocale(a, b, CFRangeMake(0, CFStringGetLength(a)), flags, nullptr);
}

Boolean CFStringFindWithOptions(CFStringRef s, CFStringRef find, CFRange range, CFStringCompareFlags options,
                                CFRange *result)
{
    const __CFString *p = str(s);
    const __CFString *f = str(find);
    if (p == nullptr || f == nullptr || !validRange(p, range) || f->length == 0 || f->length > range.length) {
        return false;
    }
    bool fold = (options & kCFCompareCaseInsensitive) != 0;
    auto same = [fold](char16_t x, char16_t y) {
        return x == y || (fold && u_foldCase(x, U_FOLD_CASE_DEFAULT) == u_foldCase(y, U_FOLD_CASE_DEFAULT));
    };
    auto matchAt = [&](CFIndex pos) {
        for (CFIndex k = 0; k < f->length; ++k) {
            if (!same(p->at(pos + k), f->at(k))) {
                return false;
            }
        }
        return true;
    };
    CFIndex first = range.location;
    CFIndex last = range.location + range.length - f->length;
    bool backwards = (options & kCFCompareBackwards) != 0;
    bool anchored = (options & kCFCompareAnchored) != 0;
    if (anchored) {
        CFIndex pos = backwards ? last : first;
        if (matchAt(pos)) {
            if (result != nullptr) {
                *result = CFRangeMake(pos, f->length);
            }
            return true;
        }
        return false;
    }
    for (CFIndex k = 0; k <= last - first; ++k) {
        CFIndex pos = backwards ? last - k : first + k;
        if (matchAt(pos)) {
            if (result != nullptr) {
                *result = CFRangeMake(pos, f->length);
            }
            return true;
        }
    }
    return false;
}

CFRange CFStringFind(CFStringRef s, CFStringRef find, CFStringCompareFlags options)
{
    CFRange result = CFRangeMake(kCFNotFound, 0);
    if (!CFStringFindWithOptions(s, find, CFRangeMake(0, CFStringGetLength(s)), options, &result)) {
        return CFRangeMake(kCFNotFound, 0);
    }
    return result;
}

Boolean CFStringHasPrefix(CFStringRef s, CFStringRef prefix)
{
    const __CFString *p = str(s);
    const __CFString *f = str(prefix);
    if (p == nullptr || f == nullptr || f->length > p->length) {
        return false;
    }
    for (CFIndex i = 0; i < f->length; ++i) {
        if (p->at(i) != f->at(i)) {
            return false;
        }
    }
    return true;
}

Boolean CFStringHasSuffix(CFStringRef s, CFStringRef suffix)
{
    const __CFString *p = str(s);
    const __CFString *f = str(suffix);
    if (p == nullptr || f == nullptr || f->length > p->length) {
        return false;
    }
    CFIndex offset = p->length - f->length;
    for (CFIndex i = 0; i < f->length; ++i) {
        if (p->at(offset + i) != f->at(i)) {
            return false;
        }
    }
    return true;
}

CFArrayRef CFStringCreateArrayBySeparatingStrings(CFAllocatorRef alloc, CFStringRef s, CFStringRef separator)
{
    const __CFString *p = str(s);
    const __CFString *sep = str(separator);
    if (p == nullptr || sep == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::u16string text = p->text();
    std::u16string cut = sep->text();
    std::vector<const void *> parts;
    if (cut.empty()) {
        parts.push_back(makeString(text));
    } else {
        size_t start = 0;
        while (true) {
            size_t hit = text.find(cut, start);
            if (hit == std::u16string::npos) {
                parts.push_back(makeString(std::u16string_view(text).substr(start)));
                break;
            }
            parts.push_back(makeString(std::u16string_view(text).substr(start, hit - start)));
            start = hit + cut.size();
        }
    }
    CFArrayRef array = CFArrayCreate(alloc, parts.data(), static_cast<CFIndex>(parts.size()), &kCFTypeArrayCallBacks);
    for (const void *v : parts) {
        CFRelease(v);
    }
    return array;
}

CFStringRef CFStringCreateByCombiningStrings(CFAllocatorRef, CFArrayRef array, CFStringRef separator)
{
    if (array == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::u16string out;
    std::u16string sep = stringText(separator);
    CFIndex count = CFArrayGetCount(array);
    for (CFIndex i = 0; i < count; ++i) {
        if (i > 0) {
            out += sep;
        }
        out += stringText(static_cast<CFStringRef>(CFArrayGetValueAtIndex(array, i)));
    }
    return makeString(out);
}

SInt32 CFStringGetIntValue(CFStringRef s)
{
    std::string text = stringUTF8(s);
    errno = 0;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<SInt32>(value);
}

double CFStringGetDoubleValue(CFStringRef s)
{
    std::string text = stringUTF8(s);
    return std::strtod(text.c_str(), nullptr);
}

// ---- Mutation ----

void CFStringReplace(CFMutableStringRef s, CFRange range, CFStringRef replacement)
{
    __CFString *p = mutableStr(s, "CFStringReplace");
    if (p == nullptr) {
        return;
    }
    if (!validRange(p, range)) {
        reportRange("CFStringReplace");
        return;
    }
    std::u16string text = p->text();
    text.replace(static_cast<size_t>(range.location), static_cast<size_t>(range.length), stringText(replacement));
    p->assign(text);
}

void CFStringAppend(CFMutableStringRef s, CFStringRef appended)
{
    CFStringReplace(s, CFRangeMake(CFStringGetLength(s), 0), appended);
}

void CFStringAppendCharacters(CFMutableStringRef s, const UniChar *chars, CFIndex numChars)
{
    __CFString *p = mutableStr(s, "CFStringAppendCharacters");
    if (p == nullptr || chars == nullptr || numChars <= 0) {
        return;
    }
    std::u16string text = p->text();
    text.append(reinterpret_cast<const char16_t *>(chars), static_cast<size_t>(numChars));
    p->assign(text);
}

void CFStringAppendCString(CFMutableStringRef s, const char *cStr, CFStringEncoding encoding)
{
    __CFString *p = mutableStr(s, "CFStringAppendCString");
    if (p == nullptr || cStr == nullptr) {
        return;
    }
    std::u16string extra;
    if (!decodeBytes(reinterpret_cast<const UInt8 *>(cStr), static_cast<CFIndex>(std::strlen(cStr)), encoding, false,
                     extra)) {
        std::fprintf(stderr, "CoreFoundation: CFStringAppendCString with text not in the encoding; ignored\n");
        return;
    }
    p->assign(p->text() + extra);
}

void CFStringAppendPascalString(CFMutableStringRef s, ConstStringPtr pStr, CFStringEncoding encoding)
{
    __CFString *p = mutableStr(s, "CFStringAppendPascalString");
    if (p == nullptr || pStr == nullptr) {
        return;
    }
    std::u16string extra;
    if (decodeBytes(pStr + 1, pStr[0], encoding, false, extra)) {
        p->assign(p->text() + extra);
    }
}

void CFStringAppendFormatAndArguments(CFMutableStringRef s, CFDictionaryRef, CFStringRef format, va_list arguments)
{
    __CFString *p = mutableStr(s, "CFStringAppendFormat");
    const __CFString *f = str(format);
    if (p == nullptr || f == nullptr) {
        return;
    }
    p->assign(p->text() + formatText(f->text(), arguments));
}

void CFStringAppendFormat(CFMutableStringRef s, CFDictionaryRef formatOptions, CFStringRef format, ...)
{
    va_list args;
    va_start(args, format);
    CFStringAppendFormatAndArguments(s, formatOptions, format, args);
    va_end(args);
}

void CFStringInsert(CFMutableStringRef s, CFIndex idx, CFStringRef inserted)
{
    CFStringReplace(s, CFRangeMake(idx, 0), inserted);
}

void CFStringDelete(CFMutableStringRef s, CFRange range)
{
    CFStringReplace(s, range, CFSTR(""));
}

void CFStringReplaceAll(CFMutableStringRef s, CFStringRef replacement)
{
    CFStringReplace(s, CFRangeMake(0, CFStringGetLength(s)), replacement);
}

CFIndex CFStringFindAndReplace(CFMutableStringRef s, CFStringRef find, CFStringRef replacement, CFRange range,
                               CFStringCompareFlags options)
{
    __CFString *p = mutableStr(s, "CFStringFindAndReplace");
    if (p == nullptr || !validRange(p, range) || str(find) == nullptr) {
        return 0;
    }
    std::vector<CFRange> hits;
    CFRange remaining = range;
    CFRange hit;
    CFStringCompareFlags forward = options & ~static_cast<CFStringCompareFlags>(kCFCompareBackwards);
    while (remaining.length > 0 && CFStringFindWithOptions(s, find, remaining, forward, &hit)) {
        hits.push_back(hit);
        CFIndex next = hit.location + hit.length;
        remaining = CFRangeMake(next, range.location + range.length - next);
        if (forward & kCFCompareAnchored) {
            break;
        }
    }
    std::u16string text = p->text();
    std::u16string with = stringText(replacement);
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
        text.replace(static_cast<size_t>(it->location), static_cast<size_t>(it->length), with);
    }
    p->assign(text);
    return static_cast<CFIndex>(hits.size());
}

void CFStringTrim(CFMutableStringRef s, CFStringRef trimString)
{
    __CFString *p = mutableStr(s, "CFStringTrim");
    std::u16string cut = stringText(trimString);
    if (p == nullptr || cut.empty()) {
        return;
    }
    std::u16string text = p->text();
    size_t start = 0;
    while (text.compare(start, cut.size(), cut) == 0 && start + cut.size() <= text.size()) {
        start += cut.size();
    }
    size_t end = text.size();
    while (end >= start + cut.size() && text.compare(end - cut.size(), cut.size(), cut) == 0) {
        end -= cut.size();
    }
    p->assign(std::u16string_view(text).substr(start, end - start));
}

void CFStringTrimWhitespace(CFMutableStringRef s)
{
    __CFString *p = mutableStr(s, "CFStringTrimWhitespace");
    if (p == nullptr) {
        return;
    }
    std::u16string text = p->text();
    size_t start = 0;
    while (start < text.size() && u_isWhitespace(text[start])) {
        ++start;
    }
    size_t end = text.size();
    while (end > start && u_isWhitespace(text[end - 1])) {
        --end;
    }
    p->assign(std::u16string_view(text).substr(start, end - start));
}

void CFStringLowercase(CFMutableStringRef s, CFTypeRef) { changeCase(s, "CFStringLowercase", u_strToLower); }

void CFStringUppercase(CFMutableStringRef s, CFTypeRef) { changeCase(s, "CFStringUppercase", u_strToUpper); }

void CFStringNormalize(CFMutableStringRef s, CFStringNormalizationForm form)
{
    __CFString *p = mutableStr(s, "CFStringNormalize");
    if (p == nullptr || p->eight) {
        return;  // ASCII text is in every normalization form already
    }
    p->assign(normalizeText(p->text(), form));
}

void CFStringFold(CFMutableStringRef s, CFOptionFlags flags, CFTypeRef)
{
    __CFString *p = mutableStr(s, "CFStringFold");
    if (p == nullptr) {
        return;
    }
    std::u16string text = p->text();
    if (flags & kCFCompareWidthInsensitive) {
        text = normalizeText(text, kCFStringNormalizationFormKC);
    }
    if (flags & kCFCompareDiacriticInsensitive) {
        std::u16string decomposed = normalizeText(text, kCFStringNormalizationFormD);
        text.clear();
        for (char16_t c : decomposed) {
            if (u_charType(c) != U_NON_SPACING_MARK) {
                text.push_back(c);
            }
        }
        text = normalizeText(text, kCFStringNormalizationFormC);
    }
    if (flags & kCFCompareCaseInsensitive) {
        text = foldCase(text);
    }
    p->assign(text);
}

void CFShowStr(CFStringRef s)
{
    std::string text = stringUTF8(s);
    std::fprintf(stderr, "%s\n", text.c_str());
}

}  // extern "C"
