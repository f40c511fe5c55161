// The network-configuration views: the current set, its services through their links, and the
// interfaces of Ethernet, PPPoE, PPP serial and interface-less services.
#include "SCTestSupport.h"

namespace {

using namespace sctest;

class NetworkTest : public SCTest {};

TEST_F(NetworkTest, ViewsOfTheCurrentSetsServicesAndInterfaces)
{
    CommitSampleStore();
    CFRef<SCPreferencesRef> prefs = Open();
    CFRef<SCNetworkSetRef> set(SCNetworkSetCopyCurrent(prefs));
    ASSERT_TRUE(set);
    EXPECT_EQ("A", Text(SCNetworkSetGetSetID(set)));
    EXPECT_EQ("Automatic", Text(SCNetworkSetGetName(set)));
    CFRef<CFArrayRef> services(SCNetworkSetCopyServices(set));
    ASSERT_TRUE(services);

    struct Expected {
        const char *id;
        const char *name;
        bool enabled;
        CFStringRef type;  // NULL: no interface
        const char *bsdName;
        CFStringRef childType;
        const char *childBSDName;
    } expected[] = {
        {"S1", "Ethernet", true, kSCNetworkInterfaceTypeEthernet, "en0", nullptr, nullptr},
        {"S2", "<none>", false, kSCNetworkInterfaceTypeEthernet, "en1", nullptr, nullptr},
        {"S3", "PPPoE", true, kSCNetworkInterfaceTypePPP, "<none>", kSCNetworkInterfaceTypeEthernet, "en5"},
        {"S4", "<none>", true, kSCNetworkInterfaceTypePPP, "<none>", kSCNetworkInterfaceTypeModem, "ORVEKAMobile-Pcui"},
        {"S5", "bare", true, nullptr, nullptr, nullptr, nullptr},
    };  // S9's link dangles: no service
    ASSERT_EQ(CFArrayGetCount(services), static_cast<CFIndex>(std::size(expected)));
    for (CFIndex i = 0; i < CFArrayGetCount(services); i++) {
        const Expected &e = expected[i];
        SCOPED_TRACE(e.id);
        auto service = static_cast<SCNetworkServiceRef>(CFArrayGetValueAtIndex(services, i));
        EXPECT_EQ(CFGetTypeID(service), SCNetworkServiceGetTypeID());
        EXPECT_EQ(Text(SCNetworkServiceGetServiceID(service)), e.id);
        EXPECT_EQ(Text(SCNetworkServiceGetName(service)), e.name);
        EXPECT_EQ(SCNetworkServiceGetEnabled(service), e.enabled);
        SCNetworkInterfaceRef interface = SCNetworkServiceGetInterface(service);
        if (e.type == nullptr) {
            EXPECT_EQ(nullptr, interface);
            EXPECT_EQ(kSCStatusNoKey, SCError());
            continue;
        }
        ASSERT_NE(interface, nullptr);
        EXPECT_EQ(SCNetworkInterfaceGetInterfaceType(interface), e.type) << "the constant itself";
        EXPECT_EQ(Text(SCNetworkInterfaceGetBSDName(interface)), e.bsdName);
        SCNetworkInterfaceRef child = SCNetworkInterfaceGetInterface(interface);
        EXPECT_EQ(child != nullptr, e.childType != nullptr);
        if (child != nullptr) {
            EXPECT_EQ(SCNetworkInterfaceGetInterfaceType(child), e.childType);
            EXPECT_EQ(Text(SCNetworkInterfaceGetBSDName(child)), e.childBSDName);
        }
    }
    // What a service lends lives as long as the service, whatever happens to the store.
    auto ppp = static_cast<SCNetworkServiceRef>(CFRetain(CFArrayGetValueAtIndex(services, 2)));
    services.reset();
    set.reset();
    ASSERT_TRUE(SCPreferencesRemoveValue(prefs, CFSTR("NetworkServices")));
    prefs.reset();
    EXPECT_EQ("en5",
              Text(SCNetworkInterfaceGetBSDName(SCNetworkInterfaceGetInterface(SCNetworkServiceGetInterface(ppp)))));
    CFRelease(ppp);
}

TEST_F(NetworkTest, CurrentSetThatNamesNothingIsAStatusNotACrash)
{
    int number = 3;
    CFRef<CFNumberRef> notAString(CFNumberCreate(nullptr, kCFNumberIntType, &number));
    CFRef<SCPreferencesRef> prefs = Open();
    EXPECT_FALSE(CFRef<SCNetworkSetRef>(SCNetworkSetCopyCurrent(prefs))) << "no CurrentSet at all";
    EXPECT_EQ(kSCStatusNoKey, SCError());
    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/Sets/A/Network/Service/S1"), Dict({{"__LINK__", notAString.get()}})));
    for (CFTypeRef current : {static_cast<CFTypeRef>(CFSTR("/Sets/Nothing")), static_cast<CFTypeRef>(CFSTR("")),
                              static_cast<CFTypeRef>(notAString.get())}) {
        ASSERT_TRUE(SCPreferencesSetValue(prefs, CFSTR("CurrentSet"), current));
        EXPECT_FALSE(CFRef<SCNetworkSetRef>(SCNetworkSetCopyCurrent(prefs)));
        EXPECT_NE(SCError(), 0);
    }
    // A link that is not a string resolves to no service.
    ASSERT_TRUE(SCPreferencesSetValue(prefs, CFSTR("CurrentSet"), CFSTR("/Sets/A")));
    CFRef<SCNetworkSetRef> set(SCNetworkSetCopyCurrent(prefs));
    ASSERT_TRUE(set);
    CFRef<CFArrayRef> services(SCNetworkSetCopyServices(set));
    ASSERT_TRUE(services);
    EXPECT_EQ(0, CFArrayGetCount(services));
    // The set removed under a copy: a status.
    ASSERT_TRUE(SCPreferencesRemoveValue(prefs, CFSTR("Sets")));
    EXPECT_FALSE(CFRef<CFArrayRef>(SCNetworkSetCopyServices(set)));
    EXPECT_EQ(kSCStatusNoKey, SCError());
    EXPECT_EQ(nullptr, SCNetworkServiceGetInterface(nullptr));
    EXPECT_EQ(kSCStatusInvalidArgument, SCError());
}

}  // namespace
