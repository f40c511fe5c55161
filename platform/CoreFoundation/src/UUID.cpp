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

extern "C" {

CFTypeID CFUUIDGetTypeID(void) { return kTypeUUID; }

CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef, CFUUIDBytes bytes)
{
    CF_CREATE_OR_RETURN(nullptr);
    return new __CFUUID(bytes);
}

CFUUIDRef CFUUIDCreate(CFAllocatorRef alloc)
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
    return CFUUIDCreateFromUUIDBytes(alloc, bytes);
}

CFUUIDRef CFUUIDCreateFromString(CFAllocatorRef alloc, CFStringRef uuidStr)
{
    std::string text = stringUTF8(uuidStr);
    unsigned v[16];
    if (text.size() != 36 ||
        std::sscanf(text.c_str(), "%2x%2x%2x%2x-%2x%2x-%2x%2x-%2x%2x-%2x%2x%2x%2x%2x%2x", &v[0], &v[1], &v[2], &v[3],
                    &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11], &v[12], &v[13], &v[14], &v[15]) != 16) {
        return nullptr;
    }
    CFUUIDBytes bytes{};
    auto *b = reinterpret_cast<UInt8 *>(&bytes);
    for (int i = 0; i < 16; ++i) {
        b[i] = static_cast<UInt8>(v[i]);
    }
    return CFUUIDCreateFromUUIDBytes(alloc, bytes);
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

CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid)
{
    const __CFUUID *u = as<__CFUUID>(uuid, kTypeUUID);
    return u == nullptr ? CFUUIDBytes{} : u->bytes;
}

}  // extern "C"
