// The run loop: timers and descriptor events in order, one-shot descriptor callbacks, version-0
// sources signalled from another thread, stopping, and the return codes of CFRunLoopRunInMode.
// Only orders and return codes are asserted, never durations.
#include "PlatformTesting.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Trace {
    std::vector<std::string> events;
    int pipeRead = -1;
    int pipeWrite = -1;
    int stopAfter = 0;
};

struct Tagged {
    Trace *trace;
    std::string tag;
};

void RecordTimer(CFRunLoopTimerRef, void *info)
{
    auto *t = static_cast<Tagged *>(info);
    t->trace->events.push_back(t->tag);
    if (static_cast<int>(t->trace->events.size()) == t->trace->stopAfter) {
        CFRunLoopStop(CFRunLoopGetCurrent());
    }
}

CFRunLoopTimerRef AddTimer(Tagged *tagged, double delay, double interval = 0)
{
    CFRunLoopTimerContext context = {0, tagged, nullptr, nullptr, nullptr};
    CFRunLoopTimerRef timer =
        CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + delay, interval, 0, 0, RecordTimer, &context);
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode);
    return timer;
}

TEST(RunLoopTest, TimersFireInOrderOfTheirDatesAndStopEndsTheRun)
{
    Trace trace;
    trace.stopAfter = 3;
    Tagged late{&trace, "late"}, early{&trace, "early"}, middle{&trace, "middle"};
    CFRef<CFRunLoopTimerRef> a(AddTimer(&late, 0.06));
    CFRef<CFRunLoopTimerRef> b(AddTimer(&early, 0.02));
    CFRef<CFRunLoopTimerRef> c(AddTimer(&middle, 0.04));
    CFRunLoopRun();
    EXPECT_EQ((std::vector<std::string>{"early", "middle", "late"}), trace.events);
    EXPECT_FALSE(CFRunLoopTimerIsValid(a));  // one-shot timers end after firing
    EXPECT_EQ(kCFRunLoopRunFinished, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1, false));
}

TEST(RunLoopTest, RepeatingTimerAndReturnCodes)
{
    Trace trace;
    trace.stopAfter = 3;
    Tagged tick{&trace, "tick"};
    CFRef<CFRunLoopTimerRef> timer(AddTimer(&tick, 0.0, 0.01));
    EXPECT_EQ(kCFRunLoopRunStopped, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30, false));
    EXPECT_EQ(3u, trace.events.size());
    CFRunLoopTimerSetNextFireDate(timer, CFAbsoluteTimeGetCurrent() + 3600);
    // Nothing due within the time given: the run returns, timed out.
    EXPECT_EQ(kCFRunLoopRunTimedOut, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false));
    EXPECT_EQ(kCFRunLoopRunTimedOut, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false));
    EXPECT_EQ(3u, trace.events.size());
    // A mode nothing was added to has nothing to run.
    EXPECT_EQ(kCFRunLoopRunFinished, CFRunLoopRunInMode(CFSTR("private mode"), 1, false));
    CFRunLoopTimerInvalidate(timer);
    EXPECT_FALSE(CFRunLoopContainsTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode));
}

void ReadPipe(CFFileDescriptorRef f, CFOptionFlags types, void *info)
{
    auto *trace = static_cast<Trace *>(info);
    char c = 0;
    ssize_t n = read(CFFileDescriptorGetNativeDescriptor(f), &c, 1);
    trace->events.push_back(n == 1 ? std::string("fd:") + c : "fd:?");
    EXPECT_EQ(static_cast<CFOptionFlags>(kCFFileDescriptorReadCallBack), types);
    if (static_cast<int>(trace->events.size()) == trace->stopAfter) {
        CFRunLoopStop(CFRunLoopGetCurrent());
    }
}

void WriteFromTimer(CFRunLoopTimerRef, void *info)
{
    auto *t = static_cast<Tagged *>(info);
    t->trace->events.push_back(t->tag);
    ssize_t n = write(t->trace->pipeWrite, t->tag.c_str() + t->tag.size() - 1, 1);
    (void)n;
}

TEST(RunLoopTest, DescriptorEventsArriveInOrderWithTimersAndAreOneShot)
{
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    Trace trace;
    trace.pipeRead = fds[0];
    trace.pipeWrite = fds[1];
    trace.stopAfter = 4;
    CFFileDescriptorContext context = {0, &trace, nullptr, nullptr, nullptr};
    CFRef<CFFileDescriptorRef> watcher(CFFileDescriptorCreate(nullptr, fds[0], true, ReadPipe, &context));
    CFRef<CFRunLoopSourceRef> source(CFFileDescriptorCreateRunLoopSource(nullptr, watcher, 0));
    CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
    CFFileDescriptorEnableCallBacks(watcher, kCFFileDescriptorReadCallBack);

    Tagged first{&trace, "timer1"}, second{&trace, "timer2"};
    CFRunLoopTimerContext c1 = {0, &first, nullptr, nullptr, nullptr};
    CFRunLoopTimerContext c2 = {0, &second, nullptr, nullptr, nullptr};
    CFRef<CFRunLoopTimerRef> t1(
        CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + 0.01, 0, 0, 0, WriteFromTimer, &c1));
    CFRef<CFRunLoopTimerRef> t2(
        CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + 0.05, 0, 0, 0, WriteFromTimer, &c2));
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), t1, kCFRunLoopDefaultMode);
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), t2, kCFRunLoopDefaultMode);

    // The callback is one-shot: after the first byte it must be enabled again, which the timer
    // for the second byte does not do, so the run times out after three events.
    EXPECT_EQ(kCFRunLoopRunTimedOut, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.3, false));
    EXPECT_EQ((std::vector<std::string>{"timer1", "fd:1", "timer2"}), trace.events);
    CFFileDescriptorEnableCallBacks(watcher, kCFFileDescriptorReadCallBack);
    EXPECT_EQ(kCFRunLoopRunStopped, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30, false));
    EXPECT_EQ((std::vector<std::string>{"timer1", "fd:1", "timer2", "fd:2"}), trace.events);

    // With returnAfterSourceHandled the run returns after the descriptor event.
    CFFileDescriptorEnableCallBacks(watcher, kCFFileDescriptorReadCallBack);
    ASSERT_EQ(1, write(fds[1], "3", 1));
    trace.stopAfter = 0;
    EXPECT_EQ(kCFRunLoopRunHandledSource, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30, true));
    EXPECT_EQ("fd:3", trace.events.back());

    CFFileDescriptorInvalidate(watcher);  // closes the read end and removes the source
    EXPECT_FALSE(CFRunLoopSourceIsValid(source));
    EXPECT_FALSE(CFRunLoopContainsSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode));
    close(fds[1]);
}

struct Canceller {
    Trace *trace;
    CFRunLoopTimerRef victim;
};

void CancelOther(CFRunLoopTimerRef, void *info)
{
    auto *c = static_cast<Canceller *>(info);
    c->trace->events.push_back("canceller");
    CFRunLoopTimerInvalidate(c->victim);
}

TEST(RunLoopTest, ATimerInvalidatedByAnEarlierOneNeverFires)
{
    Trace trace;
    Tagged victim{&trace, "victim"};
    CFRunLoopTimerContext victimContext = {0, &victim, nullptr, nullptr, nullptr};
    // Both are due by the time the loop runs; the canceller's date is earlier.
    CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
    CFRef<CFRunLoopTimerRef> target(CFRunLoopTimerCreate(nullptr, now - 1, 0, 0, 0, RecordTimer, &victimContext));
    Canceller canceller{&trace, target};
    CFRunLoopTimerContext cancellerContext = {0, &canceller, nullptr, nullptr, nullptr};
    CFRef<CFRunLoopTimerRef> first(CFRunLoopTimerCreate(nullptr, now - 2, 0, 0, 0, CancelOther, &cancellerContext));
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), target, kCFRunLoopDefaultMode);
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), first, kCFRunLoopDefaultMode);
    EXPECT_EQ(kCFRunLoopRunFinished, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30, false));
    EXPECT_EQ((std::vector<std::string>{"canceller"}), trace.events);
    EXPECT_EQ(1, CFGetRetainCount(target));
}

struct Signalled {
    std::atomic<int> performed{0};
    std::thread::id thread;
};

void Perform(void *info)
{
    auto *s = static_cast<Signalled *>(info);
    s->thread = std::this_thread::get_id();
    if (++s->performed == 1) {
        CFRunLoopStop(CFRunLoopGetCurrent());
    }
}

TEST(RunLoopTest, SourcesSignalledFromAnotherThreadRunOnTheLoopsThread)
{
    Signalled state;
    CFRunLoopSourceContext context = {};
    context.info = &state;
    context.perform = Perform;
    CFRef<CFRunLoopSourceRef> source(CFRunLoopSourceCreate(nullptr, 0, &context));
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    CFRunLoopAddSource(loop, source, kCFRunLoopCommonModes);
    EXPECT_TRUE(CFRunLoopContainsSource(loop, source, kCFRunLoopDefaultMode));
    std::thread signaller([&] {
        CFRunLoopSourceSignal(source);
        CFRunLoopWakeUp(loop);
    });
    EXPECT_EQ(kCFRunLoopRunStopped, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30, false));
    signaller.join();
    EXPECT_EQ(1, state.performed.load());
    EXPECT_EQ(std::this_thread::get_id(), state.thread);

    std::thread stopper([&] { CFRunLoopStop(loop); });
    stopper.join();
    EXPECT_EQ(kCFRunLoopRunStopped, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30, false));
    CFRunLoopRemoveSource(loop, source, kCFRunLoopCommonModes);
    EXPECT_EQ(kCFRunLoopRunFinished, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30, false));
    EXPECT_EQ(1, CFGetRetainCount(source));
}

void CountCancel(void *info, CFRunLoopRef, CFRunLoopMode) { ++*static_cast<int *>(info); }

TEST(RunLoopTest, OnlyTheLoopsASourceRunsOnHearOfItsCancellation)
{
    int cancelled = 0;
    CFRunLoopSourceContext context = {};
    context.info = &cancelled;
    context.cancel = CountCancel;
    CFRunLoopRef here = CFRunLoopGetCurrent();
    // A second loop exists (another thread's); the source never runs on it.
    std::thread([] { (void) CFRunLoopGetCurrent(); }).join();

    CFRef<CFRunLoopSourceRef> unscheduled(CFRunLoopSourceCreate(nullptr, 0, &context));
    CFRunLoopSourceInvalidate(unscheduled);
    EXPECT_EQ(0, cancelled);

    CFRef<CFRunLoopSourceRef> scheduled(CFRunLoopSourceCreate(nullptr, 0, &context));
    CFRunLoopAddSource(here, scheduled, kCFRunLoopDefaultMode);
    CFRunLoopAddSource(here, scheduled, kCFRunLoopDefaultMode);  // already there: no second reference
    EXPECT_EQ(2, CFGetRetainCount(scheduled));
    CFRunLoopSourceInvalidate(scheduled);
    EXPECT_EQ(1, cancelled);
    EXPECT_FALSE(CFRunLoopContainsSource(here, scheduled, kCFRunLoopDefaultMode));
    EXPECT_EQ(1, CFGetRetainCount(scheduled));
}

}  // namespace
