// Committing: nothing written without changes, atomic replacement, stale detection against
// another writer, access errors, crash safety at each step, and two processes committing and
// locking at once.
#include "SCTestSupport.h"

#include <csignal>
#include <sched.h>
#include <sys/mount.h>


namespace {

using namespace sctest;

class CommitTest : public SCTest {
protected:
    CFRef<CFMutableDictionaryRef> Named(const std::string &name) { return Dict({{"UserDefinedName", Str(name).get()}}); }
    std::string NameAt(SCPreferencesRef prefs, const std::string &path)
    {
        CFDictionaryRef dict = SCPreferencesPathGetValue(prefs, Str(path));
        return dict != nullptr ? Text(CFDictionaryGetValue(dict, CFSTR("UserDefinedName"))) : "<none>";
    }
    // The store's folder holds the store and its lock files only: no temporary file.
    void ExpectNoStrayFile()
    {
        for (const std::string &name : FolderNames(folder.path())) {
            EXPECT_TRUE(name == "preferences.plist" || name == "preferences.plist-lock" ||
                        name == "preferences.plist-commit-lock" || name == "run")
                << "stray file " << name;
        }
    }
};

TEST_F(CommitTest, CommitWritesOnlyChangesAndTheNextObjectReadsThem)
{
    CFRef<SCPreferencesRef> prefs = Open();
    EXPECT_TRUE(SCPreferencesCommitChanges(prefs));
    EXPECT_FALSE(std::filesystem::exists(storePath)) << "no changes, nothing written";

    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/Sets/A"), Named("first")));
    ASSERT_TRUE(SCPreferencesCommitChanges(prefs));
    EXPECT_EQ(0, SCError());
    std::string written = ReadFile(storePath);
    EXPECT_NE(written.find("<key>UserDefinedName</key>"), std::string::npos);
    // The same object commits again on top of its own commit.
    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/Sets/B"), Named("second")));
    ASSERT_TRUE(SCPreferencesCommitChanges(prefs));
    CFRef<SCPreferencesRef> reader = Open();
    EXPECT_EQ("first", NameAt(reader, "/Sets/A"));
    EXPECT_EQ("second", NameAt(reader, "/Sets/B"));
    ExpectNoStrayFile();
}

TEST_F(CommitTest, SecondOfTwoObjectsIsStaleAndTheStoreHoldsTheFirst)
{
    ASSERT_TRUE(CommitOne("/Sets/A", Named("base")));
    CFRef<SCPreferencesRef> first = Open();
    CFRef<SCPreferencesRef> second = Open();
    ASSERT_TRUE(SCPreferencesPathSetValue(first, CFSTR("/Sets/A"), Named("first")));
    ASSERT_TRUE(SCPreferencesPathSetValue(second, CFSTR("/Sets/A"), Named("second")));
    ASSERT_TRUE(SCPreferencesCommitChanges(first));
    std::string afterFirst = ReadFile(storePath);
    EXPECT_FALSE(SCPreferencesCommitChanges(second));
    EXPECT_EQ(kSCStatusStale, SCError());
    EXPECT_EQ(ReadFile(storePath), afterFirst);

    // Another writer between an object's read and its commit, through the seam.
    CFRef<SCPreferencesRef> third = Open();
    ASSERT_TRUE(SCPreferencesPathSetValue(third, CFSTR("/Sets/A"), Named("third")));
    PlatformTestingSetCommitHook(
        [](const char *path, void *) { WriteFile(path, ReadFile(path) + "\n"); }, nullptr);
    EXPECT_FALSE(SCPreferencesCommitChanges(third));
    EXPECT_EQ(kSCStatusStale, SCError());
    PlatformTestingSetCommitHook(nullptr, nullptr);
    CFRef<SCPreferencesRef> reader = Open();
    EXPECT_EQ("first", NameAt(reader, "/Sets/A"));
}

TEST_F(CommitTest, FolderThatCannotBeWrittenGivesAccessErrorAndNoStrayFile)
{
    ASSERT_TRUE(CommitOne("/Sets/A", Named("before")));
    std::string before = ReadFile(storePath);
    // We run as root: only a read-only mount refuses us. Make one in a private mount namespace
    // of a child, over the store's folder.
    int status = InChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(folder.path().c_str(), folder.path().c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, folder.path().c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
            return 77;
        }
        CFRef<SCPreferencesRef> prefs(SCPreferencesCreate(nullptr, CFSTR("child"), nullptr));
        if (!prefs || !SCPreferencesPathSetValue(prefs, CFSTR("/Sets/A"), Named("after"))) {
            return 2;
        }
        if (SCPreferencesCommitChanges(prefs)) {
            return 3;
        }
        return SCError() == kSCStatusAccessError ? 0 : 4;
    });
    if (status == 77) {
        GTEST_SKIP() << "no private mount namespace here";
    }
    EXPECT_EQ(0, status);
    EXPECT_EQ(before, ReadFile(storePath));
    ExpectNoStrayFile();
}

// The child commits and kills itself at one step; what it leaves is the old or the new store.
TEST_F(CommitTest, KillAtEachStepLeavesOldOrNewStoreAndNoStrayFile)
{
    ASSERT_TRUE(CommitOne("/Sets/A", Named("old")));
    std::string oldStore = ReadFile(storePath);
    struct Step {
        int step;
        bool newExpected;
    } steps[] = {{PLATFORM_TESTING_COMMIT_WRITTEN, false},
                 {PLATFORM_TESTING_COMMIT_SYNCED, false},
                 {PLATFORM_TESTING_COMMIT_RENAMED, true}};
    std::string newStore;
    for (const Step &s : steps) {
        SCOPED_TRACE(s.step);
        WriteFile(storePath, oldStore);
        int killedAt = s.step;
        int status = InChild([&] {
            PlatformTestingSetCommitStepHook(
                [](int step, void *context) {
                    if (step == *static_cast<int *>(context)) {
                        kill(getpid(), SIGKILL);
                    }
                },
                &killedAt);
            CFRef<SCPreferencesRef> prefs(SCPreferencesCreate(nullptr, CFSTR("child"), nullptr));
            SCPreferencesPathSetValue(prefs, CFSTR("/Sets/A"), Named("new"));
            SCPreferencesCommitChanges(prefs);
            return 1;
        });
        EXPECT_EQ(status, 128 + SIGKILL);
        std::string left = ReadFile(storePath);
        if (s.newExpected) {
            EXPECT_NE(left, oldStore);
            CFRef<SCPreferencesRef> reader = Open();
            EXPECT_EQ("new", NameAt(reader, "/Sets/A"));
        } else {
            EXPECT_EQ(left, oldStore);
        }
        ExpectNoStrayFile();
    }
}

TEST_F(CommitTest, TwoProcessesRetryingOnStaleLoseNoCommit)
{
    constexpr int kCommits = 100;
    auto writer = [&](const char *prefix) {
        return StartChild([&] {
            for (int i = 0; i < kCommits; i++) {
                for (int attempt = 0;; attempt++) {
                    CFRef<SCPreferencesRef> prefs(SCPreferencesCreate(nullptr, CFSTR("writer"), nullptr));
                    if (!prefs || attempt > 10000) {
                        return 2;
                    }
                    std::string path = std::string("/Sets/") + prefix + std::to_string(i);
                    if (!SCPreferencesPathSetValue(prefs, Str(path), Named(path))) {
                        return 3;
                    }
                    if (SCPreferencesCommitChanges(prefs)) {
                        break;
                    }
                    if (SCError() != kSCStatusStale) {
                        return 4;
                    }
                }
            }
            return 0;
        });
    };
    pid_t a = writer("a");
    pid_t b = writer("b");
    EXPECT_EQ(0, WaitChild(a));
    EXPECT_EQ(0, WaitChild(b));
    CFRef<SCPreferencesRef> reader = Open();
    CFDictionaryRef sets = SCPreferencesPathGetValue(reader, CFSTR("/Sets"));
    ASSERT_NE(sets, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(sets), 2 * kCommits);
    ExpectNoStrayFile();
}

}  // namespace
