// The encodings of the entity builders: hardware addresses both ways (checked against the C
// library's own scanner where their rules coincide), IPv4 and IPv6 texts, address arrays and the
// PPP password's stored form.
#include "MoreSCFDigest.h"

#include "PlistText.h"
#include "StandInTestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>

using standintest::CFRef;
using standintest::Str;

namespace {

class EncodingsTest : public standintest::SeamTest {};

TEST_F(EncodingsTest, HardwareAddressTextParsesAsTheFormatSaysAndRoundTrips)
{
    struct Case {
        const char *text;
        OSStatus status;
        UInt8 bytes[6];
    };
    const Case cases[] = {
        {"0a:3f:71:00:00:01", noErr, {0x0a, 0x3f, 0x71, 0x00, 0x00, 0x01}},
        {"0A:3F:71:00:00:01", noErr, {0x0a, 0x3f, 0x71, 0x00, 0x00, 0x01}},  // upper case
        {"a:b:c:d:e:f", noErr, {0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f}},        // one digit per field
        {"0a:3f:71:00:00:01x", -4960, {}},                                   // 18 characters
        {"0a:3f:71:00:00:01:", -4960, {}},
        {"0a:3f:71:00:00", -1, {}},                                          // five fields
        {"0a:3f:711:00:00:1", -1, {}},                                       // a 3-digit field
        {"0a:3f:71:zz:00:01", -1, {}},
        {"", -1, {}},
        {"0a:3f:71:00:00:\xc3\xa9", -4960, {}},                              // not ASCII
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        CFRef<CFStringRef> text(Str(c.text));
        UInt8 bytes[6] = {0xee, 0xee, 0xee, 0xee, 0xee, 0xee};
        EXPECT_EQ(c.status, MoreSCFStringToMacAddress(text, bytes));
        if (c.status != noErr) {
            continue;
        }
        EXPECT_EQ(0, memcmp(bytes, c.bytes, 6));
        // Where the text is plain ASCII the C library's scanner is the reference.
        unsigned f[6];
        ASSERT_EQ(6, std::sscanf(c.text, "%02x:%02x:%02x:%02x:%02x:%02x", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]));
        for (int i = 0; i < 6; i++) {
            EXPECT_EQ(f[i], bytes[i]);
        }
        CFRef<CFStringRef> back;
        ASSERT_EQ(noErr, MoreSCFCreateStringWithMacAddress(bytes, back.slot()));
        char expected[18];
        std::snprintf(expected, sizeof expected, "%02x:%02x:%02x:%02x:%02x:%02x", c.bytes[0], c.bytes[1], c.bytes[2],
                      c.bytes[3], c.bytes[4], c.bytes[5]);
        EXPECT_EQ(expected, plisttext::Text(back));
    }
}

TEST_F(EncodingsTest, AddressesBecomeTextsInInputOrder)
{
    CFRef<CFStringRef> one;
    ASSERT_EQ(noErr, MoreSCFCreateStringWithInetAddress(htonl(0x0a000102), one.slot()));
    EXPECT_EQ("10.0.1.2", plisttext::Text(one));

    const UInt32 v4[] = {htonl(0xc0a80001), 0, htonl(0xffffffff)};
    CFRef<CFArrayRef> texts;
    ASSERT_EQ(noErr, MoreSCFCreateArrayWithInetAddresses(3, v4, texts.slot()));
    EXPECT_EQ("[192.168.0.1, 0.0.0.0, 255.255.255.255]", plisttext::Text(texts));

    const char *const v6[] = {"fe80::1", "2001:db8::53"};
    CFRef<CFArrayRef> texts6;
    ASSERT_EQ(noErr, MoreSCFCreateArrayWithIPv6InetAddresses(2, v6, texts6.slot()));
    EXPECT_EQ("[fe80::1, 2001:db8::53]", plisttext::Text(texts6));

    CFRef<CFArrayRef> empty;
    ASSERT_EQ(noErr, MoreSCFCreateArrayWithInetAddresses(0, nullptr, empty.slot()));
    EXPECT_EQ("[]", plisttext::Text(empty));
}

TEST_F(EncodingsTest, PasswordIsLittleEndianUTF16WithoutMarkOrTerminator)
{
    struct Case {
        const char *password;
        const char *data;
    };
    const Case cases[] = {
        {"", "<>"},
        {"pw", "<70007700>"},
        {"\xc3\xa9", "<e900>"},                     // U+00E9
        {"a\xf0\x9f\x98\x80", "<61003dd800de>"},    // U+1F600 as a surrogate pair
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.password);
        CFRef<CFStringRef> password(Str(c.password));
        CFRef<CFDataRef> data;
        ASSERT_EQ(noErr, MoreSCFCopyEncodedPPPPassword(password, data.slot()));
        EXPECT_EQ(c.data, plisttext::Text(data));
    }
}

TEST_F(EncodingsTest, EveryCreationFailureIsReportedAndLeavesNothing)
{
    const UInt8 mac[6] = {0x0a, 0x3f, 0x71, 0x12, 0x34, 0x56};
    const UInt32 v4[] = {htonl(0x0a000001), htonl(0x0a000002)};
    const char *const v6[] = {"fe80::1", "::1"};
    CFRef<CFStringRef> password(Str("secret"));
    using plisttext::Filling;
    const std::function<OSStatus()> ops[] = {
        Filling<CFStringRef>([&](CFStringRef *s) { return MoreSCFCreateStringWithMacAddress(mac, s); }),
        Filling<CFArrayRef>([&](CFArrayRef *a) { return MoreSCFCreateArrayWithInetAddresses(2, v4, a); }),
        Filling<CFArrayRef>([&](CFArrayRef *a) { return MoreSCFCreateArrayWithIPv6InetAddresses(2, v6, a); }),
        Filling<CFDataRef>([&](CFDataRef *d) { return MoreSCFCopyEncodedPPPPassword(password, d); }),
    };
    for (const auto &op : ops) {
        EXPECT_GT(standintest::FailEachCreation<OSStatus>(op, {-4960, -108}), 0);
    }
}

}  // namespace
