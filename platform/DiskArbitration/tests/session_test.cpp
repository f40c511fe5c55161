// Sessions, peek callbacks and mount requests, driven through the in-process disk arrival:
// delivery on the run loop, matching, ordering, the mount request's record and line, dissenters,
// options, and the failure seams.
#include <gtest/gtest.h>

#include <DiskArbitration/DiskArbitration.h>

#include "PlatformTesting.h"
#include "SupportDA.h"

using namespace da_test;

namespace {

class DASessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PlatformTestingReset();
        cfObjectsBefore_ = PlatformTestingCFLiveObjectCount();
        session_ = DASessionCreate(kCFAllocatorDefault);
        ASSERT_NE(nullptr, session_);
    }
    void TearDown() override
    {
        if (session_ != nullptr) {
            DASessionUnscheduleFromRunLoop(session_, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
            CFRelease(session_);
        }
        PlatformTestingReset();
        EXPECT_EQ(cfObjectsBefore_, PlatformTestingCFLiveObjectCount()) << "CoreFoundation objects leaked";
    }
    void Schedule() { DASessionScheduleWithRunLoop(session_, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode); }
    void RegisterFor(const std::string &volumeName, Seen &seen, CFIndex order = 0)
    {
        CFDictionaryRef match = MatchVolumeName(volumeName);
        DARegisterDiskPeekCallback(session_, match, order, PeekAndMount, &seen);
        CFRelease(match);
    }

    DASessionRef session_ = nullptr;
    long cfObjectsBefore_ = 0;
};

TEST_F(DASessionTest, PeekSeesMatchingArrivalsOnTheRunLoopAndTheMountCompletesAfterThePeekReturns)
{
    Schedule();
    Seen seen;
    seen.mountArguments = {"rdonly"};
    RegisterFor("Velmora", seen);
    PlatformTestingDiskArrival("disk4", "Other", 0);
    PlatformTestingDiskArrival("disk5", "Velmora", 0);
    // Nothing is delivered outside the run loop.
    EXPECT_TRUE(seen.peeked.empty());
    testing::internal::CaptureStderr();
    ASSERT_TRUE(RunUntil([&] { return seen.completions == 1; }));
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ((std::vector<std::string>{"disk5"}), seen.peeked);
    EXPECT_EQ((std::vector<std::string>{"Velmora"}), seen.peekedNames);
    EXPECT_EQ((std::vector<std::string>{"peek disk5", "peek returned disk5", "mounted disk5"}), seen.events);
    EXPECT_EQ(0, seen.dissenterStatus[0]);
    EXPECT_NE(std::string::npos,
              errors.find("DiskArbitration: mount disk5 (simulated) at \"/Volumes/Velmora\" with arguments \"rdonly\" (read-only): mounted\n"))
        << errors;

    ASSERT_EQ(1u, PlatformTestingDiskMountCount());
    PlatformTestingDiskMount mount;
    ASSERT_EQ(1, PlatformTestingDiskGetMount(0, &mount));
    EXPECT_STREQ("disk5", mount.bsdName);
    EXPECT_STREQ("/Volumes/Velmora", mount.mountPoint);
    EXPECT_EQ(1u, mount.argumentCount);
    EXPECT_STREQ("rdonly\n", mount.arguments);
    EXPECT_EQ(0u, mount.options);
    EXPECT_EQ(0, mount.withPath);
    EXPECT_EQ(1, mount.readOnly);
    EXPECT_EQ(0, PlatformTestingDiskGetMount(1, &mount));
    // The peek switched the automatic mount off.
    EXPECT_EQ(0u, PlatformTestingDiskOptions("disk5") & kDADiskOptionMountAutomatic);
    EXPECT_EQ(static_cast<uint32_t>(kDADiskOptionMountAutomatic), PlatformTestingDiskOptions("disk4"));
}

TEST_F(DASessionTest, FailedMountReachesTheCompletionWithTheDissentersStatusAndText)
{
    Schedule();
    Seen seen;
    seen.mountArguments = {"nobrowse"};
    RegisterFor("Velmora", seen);
    PlatformTestingDiskArrival("disk6", "Velmora", kDAReturnNotPermitted);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(RunUntil([&] { return seen.completions == 1; }));
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(kDAReturnNotPermitted, seen.dissenterStatus[0]);
    EXPECT_EQ("refused", seen.dissenterText[0]);
    EXPECT_NE(std::string::npos, errors.find("with arguments \"nobrowse\" (read-only): failed: refused\n")) << errors;

    // The seam refuses real and simulated mounts alike.
    PlatformTestingDiskArbitrationFailCall("DADiskMountWithArguments", kDAReturnBusy, PLATFORM_TESTING_EVERY_CALL);
    PlatformTestingDiskArrival("disk7", "Velmora", 0);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(RunUntil([&] { return seen.completions == 2; }));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(kDAReturnBusy, seen.dissenterStatus[1]);
}

TEST_F(DASessionTest, OnlyRegisteredCallbacksAtArrivalTimeSeeADiskInOrderOfTheirOrder)
{
    Schedule();
    Seen early, late, all, gone;
    std::vector<std::string> log;
    for (auto [seen, label] : {std::pair{&early, "early"}, {&late, "late"}, {&all, "all"}}) {
        seen->sharedLog = &log;
        seen->label = label;
    }
    RegisterFor("Velmora", late, 5);
    RegisterFor("Velmora", early, -1);
    DARegisterDiskPeekCallback(session_, nullptr, 0, PeekAndMount, &all);
    DARegisterDiskPeekCallback(session_, nullptr, 0, PeekAndMount, &gone);
    DAUnregisterCallback(session_, reinterpret_cast<void *>(PeekAndMount), &gone);
    PlatformTestingDiskArrival("disk1", "Velmora", 0);
    PlatformTestingDiskArrival("disk2", nullptr, 0);
    ASSERT_TRUE(RunUntil([&] { return all.peeked.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"disk1"}), early.peeked);
    EXPECT_EQ((std::vector<std::string>{"disk1"}), late.peeked);
    EXPECT_EQ((std::vector<std::string>{"disk1", "disk2"}), all.peeked);
    EXPECT_EQ((std::vector<std::string>{"Velmora", ""}), all.peekedNames) << "an unnamed volume matches no name";
    EXPECT_TRUE(gone.peeked.empty());
    EXPECT_EQ((std::vector<std::string>{"early disk1", "all disk1", "late disk1", "all disk2"}), log);

    // A callback registered after the arrival does not see it.
    Seen after;
    DARegisterDiskPeekCallback(session_, nullptr, 0, PeekAndMount, &after);
    RunFor(0.3);
    EXPECT_TRUE(after.peeked.empty());
}

TEST_F(DASessionTest, ArrivalsWaitForTheSessionToBeScheduled)
{
    Seen seen;
    RegisterFor("Velmora", seen);
    PlatformTestingDiskArrival("disk3", "Velmora", 0);
    RunFor(0.3);
    EXPECT_TRUE(seen.peeked.empty()) << "an unscheduled session delivers nothing";
    Schedule();
    ASSERT_TRUE(RunUntil([&] { return seen.peeked.size() == 1; }));
}

TEST_F(DASessionTest, DescriptionOfADisk)
{
    Schedule();
    Seen seen;
    DADiskRef kept = nullptr;
    seen.mountArguments = {"rdonly"};
    seen.beforeMount = [&](DADiskRef disk) { kept = static_cast<DADiskRef>(CFRetain(disk)); };
    RegisterFor("Caf\xc3\xa9", seen);
    PlatformTestingDiskArrival("disk8", "Caf\xc3\xa9", 0);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(RunUntil([&] { return seen.completions == 1; }));
    testing::internal::GetCapturedStderr();
    ASSERT_NE(nullptr, kept);
    CFDictionaryRef description = DADiskCopyDescription(kept);
    ASSERT_NE(nullptr, description);
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(description, kDADiskDescriptionVolumeKindKey), CFSTR("ext2")));
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(description, kDADiskDescriptionMediaBSDNameKey), CFSTR("disk8")));
    EXPECT_EQ(kCFBooleanTrue, CFDictionaryGetValue(description, kDADiskDescriptionVolumeMountableKey));
    EXPECT_EQ(4, CFStringGetLength(static_cast<CFStringRef>(CFDictionaryGetValue(description, kDADiskDescriptionVolumeNameKey))));
    EXPECT_EQ("Caf\xc3\xa9", VolumeName(kept));
    CFRelease(description);
    EXPECT_EQ(0u, DADiskGetOptions(kept) & kDADiskOptionMountAutomatic);
    EXPECT_EQ(kDAReturnSuccess, DADiskSetOptions(kept, kDADiskOptionMountAutomatic, true));
    EXPECT_NE(0u, DADiskGetOptions(kept) & kDADiskOptionMountAutomatic);
    PlatformTestingDiskArbitrationFailCall("DADiskSetOptions", kDAReturnNotPrivileged, PLATFORM_TESTING_EVERY_CALL);
    EXPECT_EQ(kDAReturnNotPrivileged, DADiskSetOptions(kept, kDADiskOptionMountAutomatic, false));
    EXPECT_TRUE(CFEqual(kept, kept));
    CFRelease(kept);
}

TEST(DAObjectsTest, AreCountedObjectsAndTheSeamFailsCreation)
{
    PlatformTestingReset();
    long before = PlatformTestingCFLiveObjectCount();
    DADissenterRef dissenter = DADissenterCreate(kCFAllocatorDefault, kDAReturnBusy, CFSTR("in use"));
    ASSERT_NE(nullptr, dissenter);
    EXPECT_EQ(DADissenterGetTypeID(), CFGetTypeID(dissenter));
    EXPECT_EQ(kDAReturnBusy, DADissenterGetStatus(dissenter));
    EXPECT_TRUE(CFEqual(CFSTR("in use"), DADissenterGetStatusString(dissenter)));
    EXPECT_EQ(1, CFGetRetainCount(dissenter));
    CFRelease(dissenter);

    PlatformTestingDiskArbitrationFailCall("DASessionCreate", 1, PLATFORM_TESTING_EVERY_CALL);
    EXPECT_EQ(nullptr, DASessionCreate(kCFAllocatorDefault));
    PlatformTestingDiskArbitrationFailCall("DASessionCreate", 0, PLATFORM_TESTING_EVERY_CALL);
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(nullptr, DASessionCreate(kCFAllocatorDefault));
    DASessionRef session = DASessionCreate(kCFAllocatorDefault);
    ASSERT_NE(nullptr, session);
    EXPECT_EQ(DASessionGetTypeID(), CFGetTypeID(session));
    CFRelease(session);
    EXPECT_EQ(before, PlatformTestingCFLiveObjectCount());
}

}  // namespace
