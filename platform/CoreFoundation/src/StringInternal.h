// Private to the CFString sources: the string object (8-bit storage for ASCII text, else UTF-16
// code units), the conversions between bytes and text, the comparison helpers the mutations
// share, and the macro that defines a constant string of any module at compile time.
#ifndef CF_STRING_INTERNAL_H
#define CF_STRING_INTERNAL_H

#include "Internal.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

struct __CFString final : cf::Object {
    // Text: either 8-bit ASCII (eight == true) or UTF-16 code units.
    bool isMutable = false;
    bool eight = true;
    bool owned = false;                   // data was malloc'ed here
    CFIndex length = 0;
    const void *data = "";
    // Short text lives inside the object (one allocation per string).
    alignas(char16_t) char small[48] = {};

    __CFString() : Object(cf::kTypeString) {}
    __CFString(Immortal tag) : Object(cf::kTypeString, tag) {}
    constexpr __CFString(const char *literal, CFIndex len)
        : Object(cf::kTypeString, Immortal{}), isMutable(false), eight(true), owned(false),
          length(len), data(literal)
    {
    }
    ~__CFString() override { freeData(); }

    void freeData()
    {
        if (owned) {
            std::free(const_cast<void *>(data));
        }
        owned = false;
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
        if (owned) {
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
        if (owned) {
            freeData();
        }
        bool inSmall = false;
        auto *b = static_cast<char *>(buffer(t.size() + 1, inSmall));
        if (!t.empty()) {
            std::memcpy(b, t.data(), t.size());  // an empty text may come without bytes (NULL)
        }
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

namespace cf {

inline const __CFString *str(CFStringRef s) { return as<__CFString>(s, kTypeString); }
// The string when it may be changed; an edit of an immutable one is reported and ignored.
inline __CFString *mutableStr(CFMutableStringRef s, const char *function)
{
    return mutableOrReport(str(s), function, "a string");
}
inline bool validRange(const __CFString *s, CFRange range) { return s != nullptr && rangeWithin(range, s->length); }
inline void reportRange(const char *function) { reportIgnored(function, "with a range outside the string"); }

inline bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// ---- Encodings (StringEncodings.cpp) ----

bool isUnicodeEncoding(CFStringEncoding e);
// Decodes bytes; false when they are not valid in the encoding.
bool decodeBytes(const UInt8 *bytes, CFIndex n, CFStringEncoding e, bool external, std::u16string &out);
// Encodes characters from the range one at a time (a surrogate pair is one character). Stops at a
// character the encoding cannot hold (unless lossByte) or that would pass maxBytes (< 0: no
// limit). Returns the UTF-16 units consumed; out receives the bytes.
CFIndex encodeRange(const __CFString *s, CFRange range, CFStringEncoding e, UInt8 lossByte, bool external,
                    CFIndex maxBytes, std::vector<UInt8> &out);

// ---- Case folding and normalization (StringCompare.cpp) ----

std::u16string foldCase(std::u16string_view t);
// The text in the normalization form; the text itself when ICU cannot normalize it.
std::u16string normalizeText(std::u16string_view t, CFStringNormalizationForm form);

}  // namespace cf

// Defines the exported constant string `name` holding the ASCII `text`, constant-initialised so
// that it is usable from any static initialiser. Each module defines its own constants with it.
#define CF_CONSTANT_STRING(name, text)                                                                                 \
    namespace {                                                                                                        \
    constinit __CFString name##Storage(text, sizeof(text) - 1);                                                       \
    }                                                                                                                  \
    extern "C" const CFStringRef name = &name##Storage;

#endif
