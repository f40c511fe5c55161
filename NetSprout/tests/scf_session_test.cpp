// The preferences session: nesting, the dirty mark, commit and apply at the outermost close and
// their log lines, the lock, a failed first open, the client name and the system version.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "SCFTestSupport.h"

using namespace scftest;

namespace {

// What apply publishes of the standard store: the current set's global entity and the one
// entity of its only active service.
const char *const kApplied = "Setup:/Network/Global/IPv4\nSetup:/Network/Service/B/Interface\n";

class SessionTest : public StoreTest {
protected:
    // Writes one top-level key of the session's object, as an operation of the model does.
    static OSStatus WriteMarker(const char *value)
    {
        CFRef<CFStringRef> text(Str(value));
        return MoreSCErrorBoolean(SCPreferencesSetValue(MoreSCGetSCPreferencesRef(), CFSTR("Marker"), text));
    }

    // The dynamic store's "Setup:" keys, sorted, one per line.
    static std::string SetupKeys()
    {
        CFRef<SCDynamicStoreRef> store(SCDynamicStoreCreate(kCFAllocatorDefault, CFSTR("test"), nullptr, nullptr));
        if (!store) {
            return "<no dynamic store>";
        }
        CFRef<CFArrayRef> keys(SCDynamicStoreCopyKeyList(store, CFSTR("Setup:.*")));
        std::vector<std::string> texts;
        for (CFIndex i = 0; keys && i < CFArrayGetCount(keys); i++) {
            texts.push_back(Text(CFArrayGetValueAtIndex(keys, i)));
        }
        std::sort(texts.begin(), texts.end());
        std::string joined;
        for (const std::string &text : texts) {
            joined += text + "\n";
        }
        return joined;
    }

    static void CountCommit(const char *, void *context) { ++*static_cast<int *>(context); }
};

TEST_F(SessionTest, NestedLevelsCommitAndApplyOnceAtTheOutermostClose)
{
    WriteStore(kStandardStore);
    int commits = 0;
    PlatformTestingSetCommitHook(CountCommit, &commits);

    ASSERT_EQ(noErr, MoreSCOpen(false, false));
    ASSERT_EQ(noErr, MoreSCOpen(false, false));
    SCPreferencesRef outer = MoreSCGetSCPreferencesRef();
    OSStatus inner = WriteMarker("inner");
    MoreSCClose(&inner, true);
    EXPECT_EQ(MoreSCGetSCPreferencesRef(), outer) << "a nested close keeps the object";
    EXPECT_EQ("null", Stored("d.get('Marker')")) << "nothing is written before the outermost close";
    OSStatus err = noErr;
    MoreSCClose(&err, false);

    EXPECT_EQ(noErr, err);
    EXPECT_EQ(1, commits);
    EXPECT_EQ("\"inner\"", Stored("d['Marker']"));
    EXPECT_EQ(kApplied, SetupKeys()) << "the applied view of the current set";
    EXPECT_EQ("3 scf apply changes err:0\n", LogLines());
    EXPECT_EQ(nullptr, gPrefsRef);
    EXPECT_FALSE(gPrefsDirty);
}

TEST_F(SessionTest, AnInnerWriteIsCommittedUnderAFailingOuterLevelThatKeepsItsStatus)
{
    WriteStore(kStandardStore);
    ASSERT_EQ(noErr, MoreSCOpen(false, false));
    ASSERT_EQ(noErr, MoreSCOpen(false, false));
    OSStatus inner = WriteMarker("kept");
    MoreSCClose(&inner, true);
    OSStatus outer = paramErr;
    MoreSCClose(&outer, true);

    EXPECT_EQ(paramErr, outer);
    EXPECT_EQ("\"kept\"", Stored("d['Marker']"));
    EXPECT_EQ(kApplied, SetupKeys());
    EXPECT_EQ("", LogLines()) << "a caller's failure is neither replaced nor logged";
}

TEST_F(SessionTest, NothingDirtyMeansNoCommitNoApplyNoLine)
{
    WriteStore(kStandardStore);
    std::string before = StoreIdentity();
    ASSERT_EQ(noErr, MoreSCOpen(false, false));
    OSStatus failed = WriteMarker("lost");
    failed = paramErr;  // the writing level failed: it never marks the session
    MoreSCClose(&failed, true);
    EXPECT_EQ(before, StoreIdentity());
    EXPECT_EQ("", SetupKeys());
    EXPECT_EQ("", LogLines());
}

void ReplaceWithOtherWriters(const char *storePath, void *context)
{
    std::filesystem::copy_file(*static_cast<std::string *>(context), storePath,
                               std::filesystem::copy_options::overwrite_existing);
}

TEST_F(SessionTest, AStaleCommitLogsBothLinesAndLeavesTheOtherWritersStore)
{
    WriteStore(kStandardStore);
    std::string other = folder_ / "other.plist";
    WriteStore("{'CurrentSet': '/Sets/X', 'Writer': 'other'}", "", other);
    PlatformTestingSetCommitHook(ReplaceWithOtherWriters, &other);

    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = WriteMarker("ours");
    }
    MoreSCClose(&err, true);

    EXPECT_EQ(kSCStatusStale, err);
    EXPECT_EQ("3 scf commit changes err:3005\n3 scf apply changes err:3005\n", LogLines());
    EXPECT_EQ("[\"other\", null]", Stored("[d['Writer'], d.get('Marker')]"));
    EXPECT_EQ("", SetupKeys()) << "apply is not attempted after a failed commit";
}

TEST_F(SessionTest, AFailedApplyBecomesTheStatusAfterTheCommit)
{
    WriteStore(kStandardStore);
    PlatformTestingSystemConfigurationFailCall("SCPreferencesApplyChanges", kSCStatusAccessError, 0);
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = WriteMarker("committed");
    }
    MoreSCClose(&err, true);
    EXPECT_EQ(kSCStatusAccessError, err);
    EXPECT_EQ("\"committed\"", Stored("d['Marker']"));
    EXPECT_EQ("3 scf apply changes err:1003\n", LogLines());
}

TEST_F(SessionTest, AFailedFirstOpenCountsALevelAndItsCloseTouchesNothing)
{
    PlatformTestingSystemConfigurationFailCall("SCPreferencesCreate", kSCStatusAccessError, 0);
    OSStatus err = MoreSCOpen(true, true);
    EXPECT_EQ(kSCStatusAccessError, err);
    EXPECT_EQ(1, gPrefsOpenCount);
    EXPECT_EQ(nullptr, gPrefsRef);
    EXPECT_FALSE(gPrefsLocked);

    // Any platform call the close made would now fail and show in the status.
    for (const char *call : {"SCPreferencesCommitChanges", "SCPreferencesApplyChanges", "SCPreferencesUnlock"}) {
        PlatformTestingSystemConfigurationFailCall(call, kSCStatusFailed, PLATFORM_TESTING_EVERY_CALL);
    }
    MoreSCClose(&err, true);
    EXPECT_EQ(kSCStatusAccessError, err);
    EXPECT_EQ(0, gPrefsOpenCount);
    EXPECT_EQ("missing", StoreIdentity());
    EXPECT_EQ("", LogLines());
}

TEST_F(SessionTest, TheLockIsTakenOnceByTheFirstLevelAskingAndHeldToTheOutermostClose)
{
    WriteStore(kStandardStore);
    ASSERT_EQ(noErr, MoreSCOpen(false, false));
    EXPECT_FALSE(gPrefsLocked);
    ASSERT_EQ(noErr, MoreSCOpen(true, false));
    EXPECT_TRUE(gPrefsLocked);
    ASSERT_EQ(noErr, MoreSCOpen(true, true)) << "a lock already held is not asked for again";
    OSStatus err = noErr;
    MoreSCClose(&err, false);
    MoreSCClose(&err, false);
    EXPECT_TRUE(gPrefsLocked) << "held until the outermost close";
    // A refusal to unlock is not hidden behind a success.
    PlatformTestingSystemConfigurationFailCall("SCPreferencesUnlock", kSCStatusFailed, 0);
    MoreSCClose(&err, false);
    EXPECT_EQ(kSCStatusFailed, err);
    EXPECT_FALSE(gPrefsLocked);

    // A lock the platform refuses leaves the session unlocked, with the platform's status.
    PlatformTestingSystemConfigurationFailCall("SCPreferencesLock", kSCStatusPrefsBusy, 0);
    err = MoreSCOpen(true, false);
    EXPECT_EQ(kSCStatusPrefsBusy, err);
    EXPECT_FALSE(gPrefsLocked);
    MoreSCClose(&err, false);
}

TEST_F(SessionTest, TheClientNameChangesOnlyTheNextOutermostOpen)
{
    WriteStore("{}");
    EXPECT_EQ(nullptr, MoreSCGetClient());
    ASSERT_EQ(noErr, MoreSCOpen(false, false));
    SCPreferencesRef first = MoreSCGetSCPreferencesRef();
    CFRef<CFStringRef> name(Str("Provisioning"));
    EXPECT_EQ(noErr, MoreSCSetClient(name));
    EXPECT_EQ(MoreSCGetClient(), name.get());
    ASSERT_EQ(noErr, MoreSCOpen(false, false));
    EXPECT_EQ(MoreSCGetSCPreferencesRef(), first) << "the open object is kept";
    OSStatus err = noErr;
    MoreSCClose(&err, false);
    MoreSCClose(&err, false);
    EXPECT_EQ(noErr, MoreSCSetClient(nullptr));
    EXPECT_EQ(nullptr, MoreSCGetClient());
}

TEST_F(SessionTest, TheSystemVersionIsPackedAndAskedOnce)
{
    const struct {
        const char *version;
        UInt32 packed;
    } cases[] = {{"10.10.5", 0x1099}, {"10.9.5", 0x1095}, {"10.4.11", 0x1049}, {"10.2.8", 0x1028}};
    for (const auto &c : cases) {
        PlatformTestingSetSystemVersion(c.version);
        MoreSCFForgetSystemVersion();
        EXPECT_EQ(c.packed, MoreSCGetSystemVersion()) << c.version;
        // Cached: neither another version nor a failing platform changes the answer.
        PlatformTestingSetSystemVersion("10.3.9");
        PlatformTestingCoreServicesFailCall("Gestalt", -5550, PLATFORM_TESTING_EVERY_CALL);
        EXPECT_EQ(c.packed, MoreSCGetSystemVersion()) << c.version;
        PlatformTestingCoreServicesFailCall("Gestalt", 0, 0);
    }
}

}  // namespace
