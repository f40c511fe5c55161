// Entities and the set catalogue, read back from the store with plistlib: adding, removing,
// active marks, listing and replacing all entities, set IDs, the current set and set names, and
// stored values of the wrong shape.
#include <functional>
#include <string>

#include "SCFTestSupport.h"

using namespace scftest;

namespace {

using EntitiesTest = StoreTest;

CFDictionaryRef NewDict(const char *key, const char *value)
{
    CFRef<CFStringRef> k(Str(key));
    CFRef<CFStringRef> v(Str(value));
    const void *keys[] = {k.get()};
    const void *values[] = {v.get()};
    return CFDictionaryCreate(kCFAllocatorDefault, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                              &kCFTypeDictionaryValueCallBacks);
}

CFArrayRef NewArray(std::initializer_list<CFTypeRef> values)
{
    std::vector<const void *> items(values.begin(), values.end());
    return CFArrayCreate(kCFAllocatorDefault, items.data(), static_cast<CFIndex>(items.size()), &kCFTypeArrayCallBacks);
}

std::string Texts(CFArrayRef array)
{
    std::string joined;
    for (CFIndex i = 0; array != nullptr && i < CFArrayGetCount(array); i++) {
        joined += (i > 0 ? "," : "") + Text(CFArrayGetValueAtIndex(array, i));
    }
    return joined;
}

TEST_F(EntitiesTest, AnExistingEntityIsNotAddedAgainAndAGlobalOneGoesToTheSet)
{
    WriteStore(kStandardStore);
    CFRef<CFStringRef> a(Str("A"));
    CFRef<CFDictionaryRef> manual(NewDict("ConfigMethod", "Manual"));
    std::string before = StoreIdentity();
    EXPECT_EQ(paramErr, MoreSCNewEntity(nullptr, a, kSCEntNetIPv4, manual));
    EXPECT_EQ(before, StoreIdentity()) << "nothing written";

    EXPECT_EQ(noErr, MoreSCNewEntity(nullptr, a, kSCEntNetProxies, manual));
    EXPECT_EQ(noErr, MoreSCNewEntity(nullptr, nullptr, kSCEntNetDNS, manual));
    EXPECT_EQ("[{\"ConfigMethod\": \"DHCP\"}, {\"ConfigMethod\": \"Manual\"}, {\"ConfigMethod\": \"Manual\"}]",
              Stored("[d['NetworkServices']['A']['IPv4'], d['NetworkServices']['A']['Proxies'], "
                     "d['Sets']['S1']['Network']['Global']['DNS']]"));

    EXPECT_EQ(noErr, MoreSCDeleteEntity(nullptr, a, kSCEntNetProxies));
    before = StoreIdentity();
    EXPECT_EQ(paramErr, MoreSCDeleteEntity(nullptr, a, kSCEntNetProxies)) << "no such entity";
    EXPECT_EQ(before, StoreIdentity());
    EXPECT_EQ("[\"DNS\", \"IPv4\", \"Interface\", \"UserDefinedName\", \"__INACTIVE__\"]",
              Stored("sorted(d['NetworkServices']['A'])"));
}

TEST_F(EntitiesTest, ActiveMarksAreWrittenOnlyWhenTheStateChanges)
{
    WriteStore(kStandardStore, "d['NetworkServices']['A']['IPv4']['__INACTIVE__'] = 1");
    CFRef<CFStringRef> a(Str("A"));
    Boolean active = true;
    EXPECT_EQ(noErr, MoreSCIsEntityActive(nullptr, a, kSCEntNetIPv4, &active));
    EXPECT_FALSE(active);

    std::string before = StoreIdentity();
    EXPECT_EQ(noErr, MoreSCSetEntityActive(nullptr, a, kSCEntNetIPv4, false));
    EXPECT_EQ(noErr, MoreSCSetEntityActive(nullptr, a, kSCEntNetDNS, true));
    EXPECT_EQ(before, StoreIdentity()) << "the store is not rewritten";
    EXPECT_EQ("", LogLines()) << "nothing was committed or applied";

    EXPECT_EQ(noErr, MoreSCSetEntityActive(nullptr, a, kSCEntNetIPv4, true));
    EXPECT_EQ(noErr, MoreSCSetEntityActive(nullptr, a, kSCEntNetDNS, false));
    EXPECT_EQ("[{\"ConfigMethod\": \"DHCP\"}, {\"__INACTIVE__\": 1}]",
              Stored("[d['NetworkServices']['A']['IPv4'], d['NetworkServices']['A']['DNS']]"));
    EXPECT_EQ(noErr, MoreSCIsEntityActive(nullptr, a, kSCEntNetIPv4, &active));
    EXPECT_TRUE(active);
}

TEST_F(EntitiesTest, AllEntitiesAreListedAndReplacedKeepingNameAndInactiveMark)
{
    WriteStore(kStandardStore);
    CFRef<CFStringRef> a(Str("A"));
    CFRef<CFArrayRef> protocols;
    CFRef<CFArrayRef> entities;
    ASSERT_EQ(noErr, MoreSCCopyEntities(nullptr, a, protocols.slot(), entities.slot()));
    EXPECT_EQ("DNS,IPv4,Interface", Texts(protocols)) << "the store's order (the file's), name and mark left out";
    ASSERT_EQ(3, CFArrayGetCount(entities));
    EXPECT_EQ("DHCP",
              Text(CFDictionaryGetValue(static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(entities, 1)),
                                        kSCPropNetIPv4ConfigMethod)));
    CFRef<CFArrayRef> onlyEntities;
    ASSERT_EQ(noErr, MoreSCCopyEntities(nullptr, a, nullptr, onlyEntities.slot()));
    EXPECT_EQ(3, CFArrayGetCount(onlyEntities));

    CFRef<CFDictionaryRef> modem(NewDict("DialMode", "WaitForDialTone"));
    CFRef<CFArrayRef> newProtocols(NewArray({kSCEntNetModem}));
    CFRef<CFArrayRef> newEntities(NewArray({modem.get()}));
    EXPECT_EQ(noErr, MoreSCSetEntities(nullptr, a, newProtocols, newEntities));
    EXPECT_EQ("{\"Modem\": {\"DialMode\": \"WaitForDialTone\"}, \"UserDefinedName\": \"Alpha\", \"__INACTIVE__\": 1}",
              Stored("d['NetworkServices']['A']"));

    CFRef<CFArrayRef> none(NewArray({}));
    EXPECT_EQ(noErr, MoreSCSetEntities(nullptr, a, none, none));
    EXPECT_EQ("{\"UserDefinedName\": \"Alpha\", \"__INACTIVE__\": 1}", Stored("d['NetworkServices']['A']"));

    // Protocols that repeat or hit the name would lose an entity: refused, nothing written.
    std::string before = StoreIdentity();
    CFRef<CFArrayRef> twice(NewArray({kSCEntNetModem, kSCEntNetModem}));
    CFRef<CFArrayRef> twoEntities(NewArray({modem.get(), modem.get()}));
    EXPECT_EQ(paramErr, MoreSCSetEntities(nullptr, a, twice, twoEntities));
    CFRef<CFArrayRef> name(NewArray({kSCPropUserDefinedName}));
    EXPECT_EQ(paramErr, MoreSCSetEntities(nullptr, a, name, newEntities));
    EXPECT_EQ(before, StoreIdentity());
}

TEST_F(EntitiesTest, TheCatalogueListsSetsTheCurrentOneAndNames)
{
    WriteStore(kStandardStore);
    CFRef<CFArrayRef> ids;
    CFIndex current = -7;
    ASSERT_EQ(noErr, MoreSCCopySetIDs(ids.slot(), &current));
    EXPECT_EQ("S1,S2", Texts(ids));
    EXPECT_EQ(0, current);
    CFRef<CFStringRef> name;
    CFRef<CFStringRef> s2(Str("S2"));
    EXPECT_EQ(noErr, MoreSCCopyUserVisibleNameOfSet(s2, name.slot()));
    EXPECT_EQ("Work", Text(name));

    EXPECT_EQ(noErr, MoreSCSetCurrentSet(s2));
    CFRef<CFStringRef> currentID;
    EXPECT_EQ(noErr, MoreSCCopyCurrentSet(currentID.slot()));
    EXPECT_EQ("S2", Text(currentID));
    CFRef<CFStringRef> nowhere(Str("Nowhere"));
    EXPECT_EQ(noErr, MoreSCSetCurrentSet(nowhere)) << "stored without testing the set";
    EXPECT_EQ("\"/Sets/Nowhere\"", Stored("d['CurrentSet']"));
    ids.reset();
    current = -7;
    ASSERT_EQ(noErr, MoreSCCopySetIDs(ids.slot(), &current));
    EXPECT_EQ(-7, current) << "the caller's value stays";
}

// Stored values of the wrong shape: each reader gives -4960, each writer that reads first
// writes nothing.
TEST_F(EntitiesTest, StoredValuesOfTheWrongShapeGiveAStatusAndWriteNothing)
{
    CFRef<CFStringRef> a(Str("A"));
    CFRef<CFStringRef> s1(Str("S1"));
    CFRef<CFDictionaryRef> entity(NewDict("ConfigMethod", "Manual"));
    const std::function<OSStatus()> newEntity = [&] { return MoreSCNewEntity(nullptr, a, kSCEntNetProxies, entity); };
    const std::function<OSStatus()> deactivate = [&] { return MoreSCSetEntityActive(nullptr, a, kSCEntNetIPv4, false); };
    const std::function<OSStatus()> setIDs = [&] {
        CFRef<CFArrayRef> ids;
        CFIndex index = 0;
        return MoreSCCopySetIDs(ids.slot(), &index);
    };
    const std::function<OSStatus()> setName = [&] {
        CFRef<CFStringRef> name;
        return MoreSCCopyUserVisibleNameOfSet(s1, name.slot());
    };
    const std::function<OSStatus()> setsDict = [&] {
        CFRef<CFDictionaryRef> sets;
        return MoreSCCopySetsDict(sets.slot());
    };
    const struct {
        const char *change;
        const std::function<OSStatus()> &op;
    } cases[] = {
        {"d['NetworkServices']['A'] = 'a service'", newEntity},
        {"d['NetworkServices'] = ['A']", newEntity},
        {"d['NetworkServices']['A']['IPv4'] = 'DHCP'", deactivate},
        {"d['NetworkServices']['A']['IPv4'] = ['DHCP']", deactivate},
        {"d['CurrentSet'] = 1", newEntity},
        {"d['CurrentSet'] = '/Sets/S1/'", deactivate},
        {"d['Sets'] = 'sets'", setsDict},
        {"d['Sets'] = ['S1']", setIDs},
        {"d['CurrentSet'] = ['/Sets/S1']", setIDs},
        {"d['Sets']['S1'] = 'a set'", setName},
        {"d['Sets']['S1']['UserDefinedName'] = 5", setName},
        {"del d['Sets']['S1']['UserDefinedName']", setName},
    };
    for (const auto &c : cases) {
        WriteStore(kStandardStore, c.change);
        std::string before = StoreIdentity();
        EXPECT_EQ(coreFoundationUnknownErr, c.op()) << c.change;
        EXPECT_EQ(before, StoreIdentity()) << c.change;
        EXPECT_EQ(0, gPrefsOpenCount);
    }
}

}  // namespace
