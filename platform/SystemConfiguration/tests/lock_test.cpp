// The preferences lock across processes: a held lock blocks a waiting locker and gives 3002 to a
// non-waiting one, an unchanged object re-reads the store when it gets the lock, and releasing
// the object releases its lock.
#include "SCTestSupport.h"

namespace {

using namespace sctest;

class LockTest : public SCTest {
protected:
    std::string NameOfA(SCPreferencesRef prefs)
    {
        CFDictionaryRef set = SCPreferencesPathGetValue(prefs, CFSTR("/Sets/A"));
        return set != nullptr ? Text(CFDictionaryGetValue(set, CFSTR("UserDefinedName"))) : "<none>";
    }
};

// The children are forked before the lock is taken: a child forked while its parent holds a
// flock shares the parent's locked file description, so the lock would outlive the holder.
TEST_F(LockTest, HeldLockBlocksOthersUntilTheHolderGoesAndTheWaiterSeesTheNewStore)
{
    ASSERT_TRUE(CommitOne("/Sets/A", Dict({{"UserDefinedName", CFSTR("old")}})));
    int ready[2];
    int go[2];
    ASSERT_EQ(0, pipe(ready));
    ASSERT_EQ(0, pipe(go));
    auto child = [&](bool wait) {
        return StartChild([&] {
            CFRef<SCPreferencesRef> other(SCPreferencesCreate(nullptr, CFSTR("child"), nullptr));
            char byte = 'r';
            if (!other || write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1) {
                return 2;
            }
            if (!wait) {
                return !SCPreferencesLock(other, false) && SCError() == kSCStatusPrefsBusy ? 0 : 3;
            }
            if (!SCPreferencesLock(other, true)) {
                return 4;
            }
            return NameOfA(other) == "new" ? 0 : 5;  // read again on getting the lock
        });
    };
    pid_t busy = child(false);
    pid_t waiter = child(true);
    char bytes[2] = {};
    ASSERT_EQ(2, read(ready[0], bytes, 1) + read(ready[0], bytes + 1, 1));

    CFRef<SCPreferencesRef> holder = Open();
    ASSERT_TRUE(SCPreferencesLock(holder, false));
    EXPECT_FALSE(SCPreferencesLock(holder, false));
    EXPECT_EQ(kSCStatusLocked, SCError());
    ASSERT_EQ(2, write(go[1], "gg", 2));
    EXPECT_EQ(0, WaitChild(busy));
    // The commit lock is not the preferences lock: the holder's peers still commit.
    ASSERT_TRUE(CommitOne("/Sets/A", Dict({{"UserDefinedName", CFSTR("new")}})));
    int raw = 0;
    EXPECT_EQ(0, waitpid(waiter, &raw, WNOHANG)) << "the waiter must still be blocked";
    holder.reset();  // releasing the object releases its lock
    EXPECT_EQ(0, WaitChild(waiter));
    for (int fd : {ready[0], ready[1], go[0], go[1]}) {
        close(fd);
    }
}

TEST_F(LockTest, ObjectWithChangesKeepsThemOnLockingAndUnlockNeedsTheLock)
{
    ASSERT_TRUE(CommitOne("/Sets/A", Dict({{"UserDefinedName", CFSTR("old")}})));
    CFRef<SCPreferencesRef> prefs = Open();
    EXPECT_FALSE(SCPreferencesUnlock(prefs));
    EXPECT_EQ(kSCStatusNeedLock, SCError());
    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/Sets/A"), Dict({{"UserDefinedName", CFSTR("mine")}})));
    ASSERT_TRUE(CommitOne("/Sets/A", Dict({{"UserDefinedName", CFSTR("theirs")}})));
    ASSERT_TRUE(SCPreferencesLock(prefs, true));
    EXPECT_EQ("mine", NameOfA(prefs));
    EXPECT_FALSE(SCPreferencesCommitChanges(prefs));
    EXPECT_EQ(kSCStatusStale, SCError());
    EXPECT_TRUE(SCPreferencesUnlock(prefs));
    EXPECT_EQ(0, SCError());
}

}  // namespace
