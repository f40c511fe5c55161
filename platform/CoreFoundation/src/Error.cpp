// CFError and CFUUID.
#include "StringInternal.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/random.h>
#include <unistd.h>

using namespace cf;

struct __CFError final : Object {
    CFStringRef domain;
    CFIndex code;
    CFDictionaryRef info;
    __CFError(CFStringRef d, CFIndex c, CFDictionaryRef i)
        : Object(kTypeError), domain(static_cast<CFStringRef>(CFRetain(d))), code(c),
          info(static_cast<CFDictionaryRef>(CFRetain(i)))
    {
    }
    ~__CFError() override
    {
        CFRelease(domain);
        CFRelease(info);
    }
    const char *className() const override { return "CFError"; }
    bool equal(const Object *other) const override
    {
        auto *o = static_cast<const __CFError *>(other);
        return code == o->code && CFEqual(domain, o->domain) && CFEqual(info, o->info);
    }
    CFHashCode hash() const override { return static_cast<CFHashCode>(code); }
    std::u16string describe() const override
    {
        CFStringRef text = static_cast<CFStringRef>(CFDictionaryGetValue(info, kCFErrorDescriptionKey));
        if (text != nullptr && CFGetTypeID(text) == CFStringGetTypeID()) {
            return stringText(text);
        }
        return u16("The operation couldn\u2019t be completed. (") + stringText(domain) + u16(" error ") +
               u16(std::to_string(code).c_str()) + u16(".)");
    }
};

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

CF_CONSTANT_STRING(kCFErrorDomainPOSIX, "NSPOSIXErrorDomain")
CF_CONSTANT_STRING(kCFErrorDomainOSStatus, "NSOSStatusErrorDomain")
CF_CONSTANT_STRING(kCFErrorDomainMach, "NSMachErrorDomain")
CF_CONSTANT_STRING(kCFErrorDomainCocoa, "NSCocoaErrorDomain")
CF_CONSTANT_STRING(kCFErrorDescriptionKey, "NSDescription")
CF_CONSTANT_STRING(kCFErrorDebugDescriptionKey, "NSDebugDescription")
CF_CONSTANT_STRING(kCFErrorLocalizedDescriptionKey, "NSLocalizedDescription")
CF_CONSTANT_STRING(kCFErrorFilePathKey, "NSFilePath")

extern "C" {

CFTypeID CFErrorGetTypeID(void) { return kTypeError; }

CFErrorRef CFErrorCreate(CFAllocatorRef, CFErrorDomain domain, CFIndex code, CFDictionaryRef userInfo)
{
    if (domain == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    CFDictionaryRef info = userInfo != nullptr
                               ? CFDictionaryCreateCopy(nullptr, userInfo)
                               : CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                    &kCFTypeDictionaryValueCallBacks);
    auto *e = new __CFError(domain, code, info);
    CFRelease(info);
    return e;
}

CFErrorDomain CFErrorGetDomain(CFErrorRef err)
{
    const __CFError *e = as<__CFError>(err, kTypeError);
    return e == nullptr ? nullptr : e->domain;
}

CFIndex CFErrorGetCode(CFErrorRef err)
{
    const __CFError *e = as<__CFError>(err, kTypeError);
    return e == nullptr ? 0 : e->code;
}

CFDictionaryRef CFErrorCopyUserInfo(CFErrorRef err)
{
    const __CFError *e = as<__CFError>(err, kTypeError);
    if (e == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return static_cast<CFDictionaryRef>(CFRetain(e->info));
}

CFStringRef CFErrorCopyDescription(CFErrorRef err)
{
    const __CFError *e = as<__CFError>(err, kTypeError);
    if (e == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeString(e->describe());
}

// ---- UUID ----

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
