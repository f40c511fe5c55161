// CFString encodings: bytes to text and back for the Unicode encodings (UTF-8, UTF-16 and UTF-32
// in either byte order, with or without a byte-order mark) and the single-byte ones (MacRoman,
// ASCII, Latin-1, Windows Latin-1: tables built once from ICU's converters).
#include "StringInternal.h"

#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

using namespace cf;

namespace {

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

// The bytes of one character in the encoding (at most 4, into out); 0 when the encoding cannot
// hold it. In UTF-16 a lone surrogate is written as the unit it is; UTF-8 and UTF-32 refuse it.
size_t encodeCharacter(uint32_t cp, CFStringEncoding e, const ByteEncoding *table, bool little, UInt8 *out)
{
    bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    size_t n = 0;
    auto unit16 = [&](uint32_t u, bool le) {
        out[n++] = static_cast<UInt8>(le ? u & 0xFF : u >> 8);
        out[n++] = static_cast<UInt8>(le ? u >> 8 : u & 0xFF);
    };
    if (e == kCFStringEncodingUTF8) {
        if (surrogate) {
            return 0;
        }
        if (cp < 0x80) {
            out[n++] = static_cast<UInt8>(cp);
        } else if (cp < 0x800) {
            out[n++] = static_cast<UInt8>(0xC0 | (cp >> 6));
            out[n++] = static_cast<UInt8>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out[n++] = static_cast<UInt8>(0xE0 | (cp >> 12));
            out[n++] = static_cast<UInt8>(0x80 | ((cp >> 6) & 0x3F));
            out[n++] = static_cast<UInt8>(0x80 | (cp & 0x3F));
        } else {
            out[n++] = static_cast<UInt8>(0xF0 | (cp >> 18));
            out[n++] = static_cast<UInt8>(0x80 | ((cp >> 12) & 0x3F));
            out[n++] = static_cast<UInt8>(0x80 | ((cp >> 6) & 0x3F));
            out[n++] = static_cast<UInt8>(0x80 | (cp & 0x3F));
        }
    } else if (e == kCFStringEncodingUTF16 || e == kCFStringEncodingUTF16BE || e == kCFStringEncodingUTF16LE) {
        bool le = e == kCFStringEncodingUTF16LE || (e == kCFStringEncodingUTF16 && little);
        if (cp >= 0x10000) {
            unit16(U16_LEAD(cp), le);
            unit16(U16_TRAIL(cp), le);
        } else {
            unit16(cp, le);
        }
    } else if (e == kCFStringEncodingUTF32 || e == kCFStringEncodingUTF32BE || e == kCFStringEncodingUTF32LE) {
        if (surrogate) {
            return 0;
        }
        bool le = e == kCFStringEncodingUTF32LE || (e == kCFStringEncodingUTF32 && little);
        for (int k = 0; k < 4; ++k) {
            out[n++] = static_cast<UInt8>((cp >> (le ? 8 * k : 8 * (3 - k))) & 0xFF);
        }
    } else {
        auto found = cp < 0x10000 ? table->fromUnicode.find(static_cast<char16_t>(cp)) : table->fromUnicode.end();
        if (found == table->fromUnicode.end()) {
            return 0;
        }
        out[n++] = found->second;
    }
    return n;
}
}  // namespace

namespace cf {

bool isUnicodeEncoding(CFStringEncoding e)
{
    return e == kCFStringEncodingUTF8 || e == kCFStringEncodingUTF16 || e == kCFStringEncodingUTF16BE ||
           e == kCFStringEncodingUTF16LE || e == kCFStringEncodingUTF32 || e == kCFStringEncodingUTF32BE ||
           e == kCFStringEncodingUTF32LE;
}

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
    bool unicode = isUnicodeEncoding(e);
    const ByteEncoding *table = unicode ? nullptr : byteEncoding(e);
    if (!unicode && table == nullptr) {
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
        size_t n = encodeCharacter(cp, e, table, little, buffer);
        if (n == 0) {
            if (lossByte == 0) {
                break;
            }
            // The loss byte stands for the character: a character of its own in the Unicode
            // encodings (so that the bytes stay well formed), the byte itself in the others.
            n = unicode ? encodeCharacter(lossByte, e, table, little, buffer) : 1;
            if (!unicode) {
                buffer[0] = lossByte;
            }
        }
        if (maxBytes >= 0 && static_cast<CFIndex>(out.size() + n) > maxBytes) {
            break;
        }
        out.insert(out.end(), buffer, buffer + n);
        i += units;
    }
    return i - range.location;
}

}  // namespace cf

// ---- Public interface ----

extern "C" {

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

CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char *cStr, CFStringEncoding encoding)
{
    if (cStr == nullptr) {
        return nullptr;
    }
    return CFStringCreateWithBytes(alloc, reinterpret_cast<const UInt8 *>(cStr), static_cast<CFIndex>(std::strlen(cStr)),
                                   encoding, false);
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

}  // extern "C"
