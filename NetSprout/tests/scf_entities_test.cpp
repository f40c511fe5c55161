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
    EXPECT_EQ(MoreSCNewEntity(nullptr, a, kSCEntNetIPv4, manual), paramErr);
    EXPECT_EQ(StoreIdentity(), before) << "nothing written";

    EXPECT_EQ(MoreSCNewEntity(nullptr, a, kSCEntNetProxies, manual), noErr);
    EXPECT_EQ(MoreSCNewEntity(nullptr, nullptr, kSCEntNetDNS, manual), noErr);
    EXPECT_EQ(Stored("[d['NetworkServices']['A']['IPv4'], d['NetworkServices']['A']['Proxies'], "
                     "d['Sets']['S1']['Network']['Global']['DNS']]"),
              "[{\"ConfigMethod\": \"DHCP\"}, {\"ConfigMethod\": \"Manual\"}, {\"ConfigMethod\": \"Manual\"}]");

    EXPECT_EQ(MoreSCDeleteEntity(nullptr, a, kSCEntNetProxies), noErr);
    before = StoreIdentity();
    EXPECT_EQ(MoreSCDeleteEntity(nullptr, a, kSCEntNetProxies), paramErr) << "no such entity";
    EXPECT_EQ(StoreIdentity(), before);
    EXPECT_EQ(Stored("sorted(d['NetworkServices']['A'])"),
              "[\"DNS\", \"IPv4\", \"Interface\", \"UserDefinedName\", \"__INACTIVE__\"]");
}

TEST_F(EntitiesTest, ActiveMarksAreWrittenOnlyWhenTheStateChanges)
{
    WriteStore(kStandardStore, "d['NetworkServices']['A']['IPv4']['__INACTIVE__'] = 1");
    CFRef<CFStringRef> a(Str("A"));
    Boolean active = true;
    EXPECT_EQ(MoreSCIsEntityActive(nullptr, a, kSCEntNetIPv4, &active), noErr);
    EXPECT_FALSE(active);

    std::string before = StoreIdentity();
    EXPECT_EQ(MoreSCSetEntityActive(nullptr, a, kSCEntNetIPv4, false), noErr);
    EXPECT_EQ(MoreSCSetEntityActive(nullptr, a, kSCEntNetDNS, true), noErr);
    EXPECT_EQ(StoreIdentity(), before) << "the store is not rewritten";
    EXPECT_EQ(LogLines(), "") << "nothing was committed or applied";

    EXPECT_EQ(MoreSCSetEntityActive(nullptr, a, kSCEntNetIPv4, true), noErr);
    EXPECT_EQ(MoreSCSetEntityActive(nullptr, a, kSCEntNetDNS, false), noErr);
    EXPECT_EQ(Stored("[d['NetworkServices']['A']['IPv4'], d['NetworkServices']['A']['DNS']]"),
              "[{\"ConfigMethod\": \"DHCP\"}, {\"__INACTIVE__\": 1}]");
    EXPECT_EQ(MoreSCIsEntityActive(nullptr, a, kSCEntNetIPv4, &active), noErr);
    EXPECT_TRUE(active);
}

TEST_F(EntitiesTest, AllEntitiesAreListedAndReplacedKeepingNameAndInactiveMark)
{
    WriteStore(kStandardStore);
    CFRef<CFStringRef> a(Str("A"));
    CFRef<CFArrayRef> protocols;
    CFRef<CFArrayRef> entities;
    ASSERT_EQ(MoreSCCopyEntities(nullptr, a, protocols.slot(), entities.slot()), noErr);
    EXPECT_EQ(Texts(protocols), "DNS,IPv4,Interface") << "the store's order (the file's), name and mark left out";
    ASSERT_EQ(CFArrayGetCount(entities), 3);
    EXPECT_EQ(Text(CFDictionaryGetValue(static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(entities, 1)),
                                        kSCPropNetIPv4ConfigMethod)),
              "DHCP");
    CFRef<CFArrayRef> onlyEntities;
    ASSERT_EQ(MoreSCCopyEntities(nullptr, a, nullptr, onlyEntities.slot()), noErr);
    EXPECT_EQ(CFArrayGetCount(onlyEntities), 3);

    CFRef<CFDictionaryRef> modem(NewDict("DialMode", "WaitForDialTone"));
    CFRef<CFArrayRef> newProtocols(NewArray({kSCEntNetModem}));
    CFRef<CFArrayRef> newEntities(NewArray({modem.get()}));
    EXPECT_EQ(MoreSCSetEntities(nullptr, a, newProtocols, newEntities), noErr);
    EXPECT_EQ(Stored("d['NetworkServices']['A']"),
              "{\"Modem\": {\"DialMode\": \"WaitForDialTone\"}, \"UserDefinedName\": \"Alpha\", \"__INACTIVE__\": 1}");

    CFRef<CFArrayRef> none(NewArray({}));
    EXPECT_EQ(MoreSCSetEntities(nullptr, a, none, none), noErr);
    EXPECT_EQ(Stored("d['NetworkServices']['A']"), "{\"UserDefinedName\": \"Alpha\", \"__INACTIVE__\": 1}");

    // Protocols that repeat or hit the name would lose an entity: refused, nothing written.
    std::string before = StoreIdentity();
    CFRef<CFArrayRef> twice(NewArray({kSCEntNetModem, kSCEntNetModem}));
    CFRef<CFArrayRef> twoEntities(NewArray({modem.get(), modem.get()}));
    EXPECT_EQ(MoreSCSetEntities(nullptr, a, twice, twoEntities), paramErr);
    CFRef<CFArrayRef> name(NewArray({kSCPropUserDefinedName}));
    EXPECT_EQ(MoreSCSetEntities(nullptr, a, name, newEntities), paramErr);
    EXPECT_EQ(StoreIdentity(), before);
}

TEST_F(EntitiesTest, TheCatalogueListsSetsTheCurrentOneAndNames)
{
    WriteStore(kStandardStore);
    CFRef<CFArrayRef> ids;
    CFIndex current = -7;
    ASSERT_EQ(MoreSCCopySetIDs(ids.slot(), &current), noErr);
    EXPECT_EQ(Texts(ids), "S1,S2");
    EXPECT_EQ(current, 0);
    CFRef<CFStringRef> name;
    CFRef<CFStringRef> s2(Str("S2"));
    EXPECT_EQ(MoreSCCopyUserVisibleNameOfSet(s2, name.slot()), noErr);
    EXPECT_EQ(Text(name), "Work");

    EXPECT_EQ(MoreSCSetCurrentSet(s2), noErr);
    CFRef<CFStringRef> currentID;
    EXPECT_EQ(MoreSCCopyCurrentSet(currentID.slot()), noErr);
    EXPECT_EQ(Text(currentID), "S2");
    CFRef<CFStringRef> nowhere(Str("Nowhere"));
    EXPECT_EQ(MoreSCSetCurrentSet(nowhere), noErr) << "stored without testing the set";
    EXPECT_EQ(Stored("d['CurrentSet']"), "\"/Sets/Nowhere\"");
    ids.reset();
    current = -7;
    ASSERT_EQ(MoreSCCopySetIDs(ids.slot(), &current), noErr);
    EXPECT_EQ(current, -7) << "the caller's value stays";
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
        EXPECT_EQ(c.op(), coreFoundationUnknownErr) << c.change;
        EXPECT_EQ(StoreIdentity(), before) << c.change;
        EXPECT_EQ(gPrefsOpenCount, 0);
    }
}

}  // namespace
