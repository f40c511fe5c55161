// Paths and links: new identifiers (numbered on 10.2.x, the platform's unique children
// elsewhere), link resolution, the current set's path, and stored values of the wrong shape.
#include <string>

#include "SCFTestSupport.h"

using namespace scftest;

namespace {

class PathsTest : public StoreTest {
protected:
    // Makes a new service inside one level closed with commit; answers "<status> <ID> <path>".
    std::string NewService()
    {
        CFRef<CFStringRef> id;
        CFRef<CFStringRef> path;
        OSStatus err = MoreSCOpen(false, false);
        if (err == noErr) {
            err = MakeNewSeAndCopyIDAndPath(kSCPrefNetworkServices, id.slot(), path.slot());
        }
        MoreSCClose(&err, true);
        EXPECT_EQ(err == noErr, id && path) << "outputs exactly on success";
        return std::to_string(err) + (err == noErr ? " " + Text(id) + " " + Text(path) : "");
    }

    // Resolves the service (NULL: the set's globals) of the set (NULL: the current set);
    // answers "<status> <path>".
    static std::string Resolve(const char *setID, const char *serviceID)
    {
        CFRef<CFStringRef> set(setID != nullptr ? Str(setID) : nullptr);
        CFRef<CFStringRef> service(serviceID != nullptr ? Str(serviceID) : nullptr);
        CFRef<CFStringRef> path;
        OSStatus err = MoreSCOpen(false, false);
        if (err == noErr) {
            err = CopyResolvedServicePath(set, service, path.slot());
        }
        MoreSCClose(&err, false);
        EXPECT_EQ(err == noErr, static_cast<bool>(path)) << "output exactly on success";
        return std::to_string(err) + " " + Text(path);
    }
};

TEST_F(PathsTest, NumberedIDsOf102FollowTheLargestNumericKeyInRange)
{
    const struct {
        const char *services;  // the stored "NetworkServices" (Python), NULL: none stored
        const char *expected;
    } cases[] = {
        {nullptr, "0 0 /NetworkServices/0"},
        {"{}", "0 0 /NetworkServices/0"},
        {"{'0': {}, '1': {}, '7': {}}", "0 8 /NetworkServices/8"},
        {"{'abc': {}, '007x': {}, '-3': {}, '12345678901234567890': {}, '007': {}, ' 9': {}, "
         "'12345678-9ABC-DEF0-1234-56789ABCDEF0': {}}",
         "0 8 /NetworkServices/8"},
        // Beyond 32 bits: skipped, neither wrapped to 2147483647 nor to 0.
        {"{'6442450943': {}, '4': {}}", "0 5 /NetworkServices/5"},
        {"{'4294967296': {}}", "0 0 /NetworkServices/0"},
        {"{'2147483646': {}}", "0 2147483647 /NetworkServices/2147483647"},
    };
    PlatformTestingSetSystemVersion("10.2.8");
    for (const auto &c : cases) {
        WriteStore("{}", c.services != nullptr ? std::string("d['NetworkServices'] = ") + c.services : "");
        std::string result = NewService();
        EXPECT_EQ(c.expected, result) << c.services;
        std::string id = result.substr(2, result.find(' ', 2) - 2);
        EXPECT_EQ("{}", Stored("d['NetworkServices']['" + id + "']")) << c.services;
    }
}

TEST_F(PathsTest, No102IDWhenNoNumberIsLeftOrTheParentIsALinkOrNoDictionary)
{
    const struct {
        const char *services;
        OSStatus expected;
    } cases[] = {
        {"{'2147483647': {}, '3': {}}", kSCStatusFailed},
        {"{'__LINK__': '/Sets/S1'}", kSCStatusFailed},
        {"'not a dictionary'", coreFoundationUnknownErr},
        {"['neither']", coreFoundationUnknownErr},
    };
    PlatformTestingSetSystemVersion("10.2.8");
    for (const auto &c : cases) {
        WriteStore("{}", std::string("d['NetworkServices'] = ") + c.services);
        std::string before = StoreIdentity();
        EXPECT_EQ(std::to_string(c.expected), NewService()) << c.services;
        EXPECT_EQ(before, StoreIdentity()) << "nothing written for " << c.services;
    }
}

TEST_F(PathsTest, OtherVersionsTakeThePlatformsUniqueChild)
{
    PlatformTestingSetSystemVersion("10.4.11");
    WriteStore("{'NetworkServices': {'0': {}}}");
    EXPECT_EQ("0 00000000-0000-0000-0000-000000000001 /NetworkServices/00000000-0000-0000-0000-000000000001",
              NewService());
    EXPECT_EQ("[\"0\", \"00000000-0000-0000-0000-000000000001\"]", Stored("sorted(d['NetworkServices'])"));
}

TEST_F(PathsTest, ServicesResolveThroughTheSetsLinks)
{
    WriteStore(kStandardStore, "d['NetworkServices']['C'] = {}\n"
                               "d['Sets']['S1']['Network']['Service']['K'] = {'__LINK__': '/NetworkServices/C'}");
    EXPECT_EQ("0 /NetworkServices/A", Resolve(nullptr, "A"));
    EXPECT_EQ("0 /NetworkServices/C", Resolve(nullptr, "K")) << "the link, not the key, names the service";
    EXPECT_EQ("0 /NetworkServices/A", Resolve("S2", "A"));
    EXPECT_EQ("0 /Sets/S1/Network/Global", Resolve(nullptr, nullptr));
    EXPECT_EQ("0 /Sets/S9/Network/Global", Resolve("S9", nullptr)) << "a path builder does not test existence";
    EXPECT_EQ("1004 <none>", Resolve("S2", "B")) << "a service that is not in the set";
}

TEST_F(PathsTest, AStoredCurrentSetOrLinkOfTheWrongShapeIsAStatus)
{
    const struct {
        const char *change;
        const char *expected;
    } cases[] = {
        {"d['CurrentSet'] = 'Sets/S1'", "-4960 <none>"},
        {"d['CurrentSet'] = '/Sets'", "-4960 <none>"},
        {"d['CurrentSet'] = '/Sets/S1/Network'", "-4960 <none>"},
        {"d['CurrentSet'] = '/Sets/'", "-4960 <none>"},
        {"d['CurrentSet'] = 42", "-4960 <none>"},
        {"d['CurrentSet'] = {'path': '/Sets/S1'}", "-4960 <none>"},
        {"del d['CurrentSet']", "1004 <none>"},
        {"d['Sets']['S1']['Network']['Service']['A'] = {'__LINK__': 'NetworkServices/A'}", "-4960 <none>"},
        {"d['Sets']['S1']['Network']['Service']['A'] = {'__LINK__': 7}", "-4960 <none>"},
        {"d['Sets']['S1']['Network']['Service']['A'] = 'text'", "-4960 <none>"},
        {"d['Sets']['S1']['Network']['Service'] = ['A']", "-4960 <none>"},
        {"d['Sets']['S1']['Network']['Service']['A'] = {}", "3004 <none>"},
    };
    for (const auto &c : cases) {
        WriteStore(kStandardStore, c.change);
        EXPECT_EQ(c.expected, Resolve(nullptr, "A")) << c.change;
    }
}

TEST_F(PathsTest, TheCurrentSetPathIsTheStoredOneUnchanged)
{
    WriteStore(kStandardStore, "d['CurrentSet'] = '/Elsewhere/S7'");
    CFRef<CFStringRef> path;
    ASSERT_EQ(noErr, MoreSCOpen(false, false));
    OSStatus err = CopySetPath(nullptr, path.slot());
    MoreSCClose(&err, false);
    EXPECT_EQ(noErr, err);
    EXPECT_EQ("/Elsewhere/S7", Text(path));
}

TEST_F(PathsTest, IDsComeOnlyFromPathsOfThreeComponents)
{
    const struct {
        const char *path;
        const char *expected;
    } cases[] = {{"/Sets/S1", "0 S1"},        {"/NetworkServices/0", "0 0"}, {"Sets/S1", "-4960 <none>"},
                 {"/Sets/S1/", "-4960 <none>"}, {"//S1", "-4960 <none>"},      {"", "-4960 <none>"}};
    for (const auto &c : cases) {
        CFRef<CFStringRef> path(Str(c.path));
        CFRef<CFStringRef> id;
        OSStatus err = CopySeIDFromSePath(path, id.slot());
        EXPECT_EQ(c.expected, std::to_string(err) + " " + Text(id)) << c.path;
    }
}

TEST_F(PathsTest, SettingAPropertyNeedsTheDictionaryAndALinkIsAddedOnce)
{
    WriteStore(kStandardStore);
    CFRef<CFStringRef> missing(Str("/NetworkServices/Z/IPv4"));
    CFRef<CFStringRef> present(Str("/NetworkServices/B/Interface"));
    CFRef<CFStringRef> value(Str("en9"));
    OSStatus err = MoreSCOpen(false, false);
    ASSERT_EQ(noErr, err);
    EXPECT_EQ(kSCStatusNoKey, PreferencesPathSetProperty(missing, kSCPropNetInterfaceDeviceName, value));
    err = PreferencesPathSetProperty(present, kSCPropNetInterfaceDeviceName, value);
    MoreSCClose(&err, true);
    EXPECT_EQ(noErr, err);
    EXPECT_EQ("[{\"DeviceName\": \"en9\"}, false]",
              Stored("[d['NetworkServices']['B']['Interface'], 'Z' in d['NetworkServices']]"));

    CFRef<CFMutableDictionaryRef> services(CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                     &kCFTypeDictionaryValueCallBacks));
    CFRef<CFStringRef> id(Str("Q"));
    ASSERT_EQ(noErr, AddServiceLinkToDict(id, services));
    CFDictionaryRef first = static_cast<CFDictionaryRef>(CFDictionaryGetValue(services, id));
    EXPECT_EQ("/NetworkServices/Q", Text(CFDictionaryGetValue(first, kSCResvLink)));
    EXPECT_EQ(noErr, AddServiceLinkToDict(id, services));
    EXPECT_EQ(CFDictionaryGetValue(services, id), first) << "an existing entry stays";
}

}  // namespace
