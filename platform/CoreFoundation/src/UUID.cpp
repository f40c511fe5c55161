// CFUUID: 128-bit identifiers, random (version 4) or from their bytes or text.
#include "Internal.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <sys/random.h>

using namespace cf;

struct __CFUUID final : Object {
    CFUUIDBytes bytes;
    explicit __CFUUID(const CFUUIDBytes &b) : Object(kTypeUUID), bytes(b) {}
    const char *className() const override { return "CFUUID"; }
    bool equal(const Object *other) const override
    {
        return std::memcmp(&bytes, &static_cast<const __CFUUID *>(other)->bytes, sizeof bytes) == 0;
    }
    CFHashCode hash() const override
    {
        CFHashCode h = 0;
        std::memcpy(&h, &bytes, sizeof h);
        return h;
    }
    std::u16string text() const
    {
        const auto *b = reinterpret_cast<const UInt8 *>(&bytes);
        char out[40];
        std::snprintf(out, sizeof out, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                      b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
        return u16(out);
    }
    std::u16string describe() const override { return u16("<CFUUID> ") + text(); }
};

namespace {

CFUUIDRef createUUID(const CFUUIDBytes &bytes)
{
    CF_CREATE_OR_RETURN(nullptr);
    return new __CFUUID(bytes);
}

// The bytes of the text "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (hexadecimal digits of either
// case); false for any other text, so that no malformed identifier passes as a UUID.
bool parseUUID(const std::string &text, CFUUIDBytes &bytes)
{
    if (text.size() != 36) {
        return false;
    }
    auto *b = reinterpret_cast<UInt8 *>(&bytes);
    size_t at = 0;
    for (size_t i = 0; i < 16; ++i) {
        if (at == 8 || at == 13 || at == 18 || at == 23) {
            if (text[at] != '-') {
                return false;
            }
            ++at;
        }
        int high = hexValue(text[at]);
        int low = hexValue(text[at + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        b[i] = static_cast<UInt8>(high * 16 + low);
        at += 2;
    }
    return true;
}

}  // namespace

extern "C" {

CFUUIDRef CFUUIDCreate(CFAllocatorRef)
{
    CFUUIDBytes bytes{};
    auto *b = reinterpret_cast<UInt8 *>(&bytes);
    if (getrandom(b, 16, 0) != 16) {
        std::random_device device;
        for (int i = 0; i < 16; ++i) {
            b[i] = static_cast<UInt8>(device());
        }
    }
    b[6] = static_cast<UInt8>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<UInt8>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return createUUID(bytes);
}

CFUUIDRef CFUUIDCreateFromString(CFAllocatorRef, CFStringRef uuidStr)
{
    CFUUIDBytes bytes{};
    if (!parseUUID(stringUTF8(uuidStr), bytes)) {
        return nullptr;
    }
    return createUUID(bytes);
}

CFStringRef CFUUIDCreateString(CFAllocatorRef, CFUUIDRef uuid)
{
    const __CFUUID *u = as<__CFUUID>(uuid, kTypeUUID);
    if (u == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeString(u->text());
}

}  // extern "C"
