// Entity builders: the conversions between the fixed-width forms kept in digests and the text or
// data forms stored in entities (hardware addresses both ways, IPv4 and IPv6 addresses, the PPP
// password).
#include "MoreSCFDigest.h"

#include "MoreCFQ.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>

namespace {

// A string from ASCII text; -4960 when it cannot be made.
OSStatus CreateASCIIString(const char *text, CFStringRef *result)
{
    *result = CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingASCII);
    return CFQError(*result);
}

// An array of the texts of count elements, each made by convert(element, &text); the first
// failure releases the array and is the status.
template <class Element, class Convert>
OSStatus CreateArrayOfTexts(ItemCount count, const Element elements[], Convert convert, CFArrayRef *result)
{
    MORESCF_REQUIRE(count == 0 || elements != nullptr);
    MORESCF_REQUIRE_SLOT(result);

    CFMutableArrayRef array = nullptr;
    OSStatus err = CFQArrayCreateMutable(&array);
    for (ItemCount i = 0; err == noErr && i < count; i++) {
        CFStringRef text = nullptr;
        err = convert(elements[i], &text);
        if (err == noErr) {
            CFArrayAppendValue(array, text);
        }
        CFQRelease(text);
    }
    if (err != noErr) {
        CFQRelease(array);
        array = nullptr;
    }
    *result = array;
    MoreSCFAssert((err == noErr) == (*result != nullptr));
    return err;
}

}  // namespace

extern "C" OSStatus MoreSCFCreateStringWithMacAddress(const UInt8 macAddress[6], CFStringRef *result)
{
    MORESCF_REQUIRE(macAddress != nullptr);
    MORESCF_REQUIRE_SLOT(result);

    // Six "xx:" groups, then the last colon becomes the terminator.
    char text[32];
    for (int i = 0; i < 6; i++) {
        std::snprintf(text + 3 * i, sizeof(text) - 3 * static_cast<size_t>(i), "%2.2x:", macAddress[i]);
    }
    text[17] = '\0';
    return CreateASCIIString(text, result);
}

extern "C" OSStatus MoreSCFStringToMacAddress(CFStringRef macString, UInt8 macAddress[6])
{
    MORESCF_REQUIRE(macString != nullptr);
    MORESCF_REQUIRE(macAddress != nullptr);

    // 17 characters at most: the buffer holds them and the terminator.
    char text[18];
    if (!CFStringGetCString(macString, text, sizeof(text), kCFStringEncodingASCII)) {
        return -4960;
    }
    unsigned int fields[6];
    if (std::sscanf(text, "%02x:%02x:%02x:%02x:%02x:%02x", &fields[0], &fields[1], &fields[2], &fields[3],
                    &fields[4], &fields[5]) != 6) {
        return -1;
    }
    for (int i = 0; i < 6; i++) {
        macAddress[i] = static_cast<UInt8>(fields[i]);
    }
    return noErr;
}

extern "C" OSStatus MoreSCFCreateStringWithInetAddress(UInt32 address, CFStringRef *result)
{
    MORESCF_REQUIRE_SLOT(result);
    struct in_addr inAddress;
    inAddress.s_addr = address;
    return CreateASCIIString(inet_ntoa(inAddress), result);
}

extern "C" OSStatus MoreSCFCreateStringWithIPv6InetAddress(const char *address, CFStringRef *result)
{
    MORESCF_REQUIRE(address != nullptr);
    MORESCF_REQUIRE_SLOT(result);
    return CreateASCIIString(address, result);
}

extern "C" OSStatus MoreSCFCreateArrayWithInetAddresses(ItemCount count, const UInt32 addresses[], CFArrayRef *result)
{
    return CreateArrayOfTexts(count, addresses, MoreSCFCreateStringWithInetAddress, result);
}

extern "C" OSStatus MoreSCFCreateArrayWithIPv6InetAddresses(ItemCount count, const char *const addresses[],
                                                            CFArrayRef *result)
{
    return CreateArrayOfTexts(count, addresses, MoreSCFCreateStringWithIPv6InetAddress, result);
}

extern "C" OSStatus MoreSCFCopyEncodedPPPPassword(CFStringRef password, CFDataRef *result)
{
    MORESCF_REQUIRE(password != nullptr);
    MORESCF_REQUIRE_SLOT(result);

    // The UTF-16 code units as they sit in memory: host byte order, no mark, no terminator.
    CFIndex length = CFStringGetLength(password);
    size_t byteCount = static_cast<size_t>(length) * sizeof(UniChar);
    void *buffer = nullptr;
    OSStatus err = CFQAllocate(byteCount, &buffer);
    if (err == noErr) {
        CFStringGetCharacters(password, CFRangeMake(0, length), static_cast<UniChar *>(buffer));
        *result = CFDataCreate(kCFAllocatorDefault, static_cast<const UInt8 *>(buffer), static_cast<CFIndex>(byteCount));
        err = CFQError(*result);
    }
    CFQDeallocate(buffer);
    MoreSCFAssert((err == noErr) == (*result != nullptr));
    return err;
}
