// The run loop: each thread's loop and its runs in a mode, which fire timers, perform version-0
// sources and wait on file descriptors with poll(2). Sources and timers: RunLoopSources.cpp.
#include "RunLoopInternal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

using namespace cf;
using namespace cf::runloop;

namespace {

__CFRunLoop *gMainLoop = nullptr;
thread_local __CFRunLoop *tCurrentLoop = nullptr;

bool isMainThread() { return static_cast<pid_t>(syscall(SYS_gettid)) == getpid(); }

double monotonicNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

namespace cf::runloop {

std::mutex gLoopsLock;
std::vector<__CFRunLoop *> &allLoops()
{
    static auto *loops = new std::vector<__CFRunLoop *>();
    return *loops;
}

void wakeAllLoops()
{
    std::lock_guard<std::mutex> guard(gLoopsLock);
    for (auto *l : allLoops()) {
        l->wake();
    }
}

__CFRunLoop *mainLoop()
{
    std::lock_guard<std::mutex> guard(gLoopsLock);
    if (gMainLoop == nullptr) {
        gMainLoop = new __CFRunLoop();
        allLoops().push_back(gMainLoop);
    }
    return gMainLoop;
}

__CFRunLoop *currentLoop()
{
    if (tCurrentLoop == nullptr) {
        if (isMainThread()) {
            tCurrentLoop = mainLoop();
        } else {
            std::lock_guard<std::mutex> guard(gLoopsLock);
            tCurrentLoop = new __CFRunLoop();
            allLoops().push_back(tCurrentLoop);
        }
    }
    return tCurrentLoop;
}

__CFRunLoop *loop(CFRunLoopRef rl) { return const_cast<__CFRunLoop *>(as<__CFRunLoop>(rl, kTypeRunLoop)); }
__CFRunLoopSource *source(CFRunLoopSourceRef s)
{
    return const_cast<__CFRunLoopSource *>(as<__CFRunLoopSource>(s, kTypeRunLoopSource));
}
__CFRunLoopTimer *timer(CFRunLoopTimerRef t)
{
    return const_cast<__CFRunLoopTimer *>(as<__CFRunLoopTimer>(t, kTypeRunLoopTimer));
}
__CFFileDescriptor *descriptor(CFFileDescriptorRef f)
{
    return const_cast<__CFFileDescriptor *>(as<__CFFileDescriptor>(f, kTypeFileDescriptor));
}

std::u16string modeName(CFStringRef mode) { return mode == nullptr ? u"kCFRunLoopDefaultMode" : stringText(mode); }

void releaseAll(std::vector<__CFRunLoopSource *> &sources, std::vector<__CFRunLoopTimer *> &timers)
{
    for (auto *s : sources) {
        CFRelease(s);
    }
    for (auto *t : timers) {
        CFRelease(t);
    }
    sources.clear();
    timers.clear();
}

}  // namespace cf::runloop

namespace {

// One run of a loop in a mode. Each pass takes a fresh snapshot of the mode's items and fires
// the timers that are due, performs the signalled sources, then waits for descriptors, the next
// timer, a wake-up or the deadline and dispatches what is ready. A stop request ends the run
// before each of these three steps.
class ModeRun {
public:
    ModeRun(__CFRunLoop *rl, CFStringRef modeRef, CFTimeInterval seconds, bool returnAfterSource)
        : rl_(rl), mode_(modeName(modeRef)),
          deadline_(monotonicNow() + (std::isnan(seconds) ? 0 : std::min(seconds, 1e10))),
          returnAfterSource_(returnAfterSource)
    {
        rl_->currentModes.push_back(mode_);
    }
    ModeRun(const ModeRun &) = delete;
    ModeRun &operator=(const ModeRun &) = delete;
    ~ModeRun()
    {
        releaseAll(sources_, timers_);
        rl_->currentModes.pop_back();
    }

    CFRunLoopRunResult run()
    {
        using Step = std::optional<CFRunLoopRunResult> (ModeRun::*)();
        static constexpr Step kSteps[] = {&ModeRun::startPass, &ModeRun::performSignalledSources,
                                          &ModeRun::waitAndDispatch};
        while (true) {
            for (Step step : kSteps) {
                if (rl_->stopRequested.exchange(false)) {
                    return kCFRunLoopRunStopped;
                }
                if (std::optional<CFRunLoopRunResult> result = (this->*step)()) {
                    return *result;
                }
            }
        }
    }

private:
    // A stop asked for by a callout: the rest of the batch waits for the next run.
    bool stopPending() const { return rl_->stopRequested; }

    // Ends the run when the previous pass's wait reached the deadline or the mode has nothing
    // left to run; else fires the timers that are due.
    std::optional<CFRunLoopRunResult> startPass()
    {
        if (expired_) {
            return kCFRunLoopRunTimedOut;
        }
        if (!takeSnapshot()) {
            return kCFRunLoopRunFinished;
        }
        fireDueTimers();
        return std::nullopt;
    }

    // The mode's valid sources and its timers, retained for this pass; false when there are none.
    bool takeSnapshot()
    {
        releaseAll(sources_, timers_);
        rl_->snapshot(mode_, sources_, timers_);
        sources_.erase(std::remove_if(sources_.begin(), sources_.end(),
                                      [](__CFRunLoopSource *s) {
                                          if (!s->valid) {
                                              CFRelease(s);
                                              return true;
                                          }
                                          return false;
                                      }),
                       sources_.end());
        return !sources_.empty() || !timers_.empty();
    }

    // Timers that are due, earliest first (then by order, then by creation); a repeating timer's
    // next date skips the intervals that passed meanwhile, a one-shot timer is invalidated.
    void fireDueTimers()
    {
        CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
        std::vector<__CFRunLoopTimer *> due;
        for (auto *t : timers_) {
            if (t->valid && t->fireDate <= now) {
                due.push_back(t);
            }
        }
        std::stable_sort(due.begin(), due.end(), [](const __CFRunLoopTimer *a, const __CFRunLoopTimer *b) {
            if (a->fireDate != b->fireDate) {
                return a->fireDate < b->fireDate;
            }
            if (a->order != b->order) {
                return a->order < b->order;
            }
            return a->sequence < b->sequence;
        });
        for (auto *t : due) {
            if (!t->valid) {
                continue;
            }
            if (t->interval > 0) {
                CFAbsoluteTime next = t->fireDate + t->interval;
                if (next <= now) {
                    next = now + t->interval - std::fmod(now - t->fireDate, t->interval);
                }
                t->fireDate = next;
            }
            if (t->callout != nullptr) {
                t->callout(reinterpret_cast<CFRunLoopTimerRef>(t), t->context.info);
            }
            if (t->interval <= 0) {
                invalidateTimer(t);
            }
            if (stopPending()) {
                break;
            }
        }
    }

    static bool isSignalled(const __CFRunLoopSource *s)
    {
        return s->descriptor == nullptr && s->valid && s->signalled;
    }

    // Signalled version-0 sources, by order.
    std::optional<CFRunLoopRunResult> performSignalledSources()
    {
        std::vector<__CFRunLoopSource *> ready;
        for (auto *s : sources_) {
            if (isSignalled(s)) {
                ready.push_back(s);
            }
        }
        std::stable_sort(ready.begin(), ready.end(), [](const __CFRunLoopSource *a, const __CFRunLoopSource *b) {
            return a->order != b->order ? a->order < b->order : a->sequence < b->sequence;
        });
        bool handled = false;
        for (auto *s : ready) {
            if (!s->valid || !s->signalled.exchange(false)) {
                continue;
            }
            if (s->context.perform != nullptr) {
                s->context.perform(s->context.info);
            }
            handled = true;
            if (returnAfterSource_ || stopPending()) {
                break;
            }
        }
        if (handled && returnAfterSource_) {
            return kCFRunLoopRunHandledSource;
        }
        return std::nullopt;
    }

    // How long the wait may last: to the deadline or the next timer, not at all while a source
    // is still signalled.
    double waitSeconds(double nowMono, bool pending) const
    {
        double wait = deadline_ - nowMono;
        CFAbsoluteTime absNow = CFAbsoluteTimeGetCurrent();
        for (auto *t : timers_) {
            if (t->valid) {
                wait = std::min(wait, t->fireDate - absNow);
            }
        }
        if (pending) {
            wait = 0;
        }
        return std::max(wait, 0.0);
    }

    // The loop's wake-up descriptor first, then each valid descriptor source with callbacks
    // enabled (its descriptor in `watched`, at the same index less one).
    std::vector<pollfd> pollSet(std::vector<__CFFileDescriptor *> &watched) const
    {
        std::vector<pollfd> fds;
        fds.push_back(pollfd{rl_->wakeFd, POLLIN, 0});
        for (auto *s : sources_) {
            __CFFileDescriptor *f = s->descriptor;
            if (f == nullptr || !s->valid || !f->valid) {
                continue;
            }
            short events = 0;
            CFOptionFlags enabled = f->enabled;
            if (enabled & kCFFileDescriptorReadCallBack) {
                events |= POLLIN;
            }
            if (enabled & kCFFileDescriptorWriteCallBack) {
                events |= POLLOUT;
            }
            if (events != 0) {
                fds.push_back(pollfd{f->fd, events, 0});
                watched.push_back(f);
            }
        }
        return fds;
    }

    // Calls back the descriptors that poll found ready, each enabled callback once (one-shot, as
    // on the platform); true when any was called.
    bool dispatchDescriptors(const std::vector<pollfd> &fds, const std::vector<__CFFileDescriptor *> &watched)
    {
        bool handled = false;
        for (size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            __CFFileDescriptor *f = watched[i - 1];
            CFOptionFlags types = 0;
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) &&
                (f->enabled & kCFFileDescriptorReadCallBack)) {
                types |= kCFFileDescriptorReadCallBack;
            }
            if ((fds[i].revents & (POLLOUT | POLLERR | POLLNVAL)) && (f->enabled & kCFFileDescriptorWriteCallBack)) {
                types |= kCFFileDescriptorWriteCallBack;
            }
            if (types == 0 || !f->valid) {
                continue;
            }
            f->enabled &= ~types;  // one-shot, as on the platform
            CFRetain(f);
            if (f->callout != nullptr) {
                f->callout(reinterpret_cast<CFFileDescriptorRef>(f), types, f->context.info);
            }
            CFRelease(f);
            handled = true;
            if (returnAfterSource_ || stopPending()) {
                break;
            }
        }
        return handled;
    }

    // Waits for descriptors, the next timer, a wake-up or the deadline, and dispatches the
    // descriptors that became ready. A deadline that passed ends the run at the next pass, once
    // a stop request has had its turn.
    std::optional<CFRunLoopRunResult> waitAndDispatch()
    {
        double nowMono = monotonicNow();
        bool pending = std::any_of(sources_.begin(), sources_.end(), isSignalled);
        double wait = waitSeconds(nowMono, pending);
        std::vector<__CFFileDescriptor *> watched;
        std::vector<pollfd> fds = pollSet(watched);
        bool timedOut = nowMono >= deadline_;
        int timeoutMs = static_cast<int>(std::min(std::ceil(wait * 1000.0), static_cast<double>(INT_MAX)));
        if (timedOut) {
            timeoutMs = 0;
        }
        rl_->waiting = true;
        int n = poll(fds.data(), fds.size(), timeoutMs);
        rl_->waiting = false;
        if (n < 0 && errno != EINTR) {
            std::perror("CoreFoundation: run loop poll");
        }
        if (n > 0 && (fds[0].revents & POLLIN)) {
            uint64_t count = 0;
            ssize_t r = read(rl_->wakeFd, &count, sizeof count);
            (void)r;
        }
        if (n > 0 && dispatchDescriptors(fds, watched) && returnAfterSource_) {
            return kCFRunLoopRunHandledSource;
        }
        expired_ = timedOut || (monotonicNow() >= deadline_ && !pending);
        return std::nullopt;
    }

    __CFRunLoop *rl_;
    std::u16string mode_;
    double deadline_;
    bool returnAfterSource_;
    bool expired_ = false;
    std::vector<__CFRunLoopSource *> sources_;
    std::vector<__CFRunLoopTimer *> timers_;
};

}  // namespace

namespace cf::runloop {

CFRunLoopRunResult runInMode(__CFRunLoop *rl, CFStringRef modeRef, CFTimeInterval seconds, bool returnAfterSource)
{
    return ModeRun(rl, modeRef, seconds, returnAfterSource).run();
}

}  // namespace cf::runloop

extern "C" {

CFTypeID CFRunLoopGetTypeID(void) { return kTypeRunLoop; }
CFTypeID CFRunLoopSourceGetTypeID(void) { return kTypeRunLoopSource; }
CFTypeID CFRunLoopTimerGetTypeID(void) { return kTypeRunLoopTimer; }
CFTypeID CFFileDescriptorGetTypeID(void) { return kTypeFileDescriptor; }

CFRunLoopRef CFRunLoopGetCurrent(void) { return currentLoop(); }
CFRunLoopRef CFRunLoopGetMain(void) { return mainLoop(); }

CFRunLoopMode CFRunLoopCopyCurrentMode(CFRunLoopRef rl)
{
    __CFRunLoop *l = loop(rl);
    if (l == nullptr || l->currentModes.empty()) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeString(l->currentModes.back());
}

void CFRunLoopAddCommonMode(CFRunLoopRef rl, CFRunLoopMode mode)
{
    __CFRunLoop *l = loop(rl);
    if (l != nullptr && mode != nullptr) {
        std::lock_guard<std::mutex> guard(l->lock);
        l->commonModes.insert(stringText(mode));
    }
}

void CFRunLoopRun(void)
{
    __CFRunLoop *l = currentLoop();
    while (true) {
        CFRunLoopRunResult r = runInMode(l, kCFRunLoopDefaultMode, 1e10, false);
        if (r == kCFRunLoopRunStopped || r == kCFRunLoopRunFinished) {
            return;
        }
    }
}

CFRunLoopRunResult CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds, Boolean returnAfterSourceHandled)
{
    return runInMode(currentLoop(), mode, seconds, returnAfterSourceHandled != 0);
}

Boolean CFRunLoopIsWaiting(CFRunLoopRef rl)
{
    __CFRunLoop *l = loop(rl);
    return l != nullptr && l->waiting;
}

void CFRunLoopWakeUp(CFRunLoopRef rl)
{
    __CFRunLoop *l = loop(rl);
    if (l != nullptr) {
        l->wake();
    }
}

void CFRunLoopStop(CFRunLoopRef rl)
{
    __CFRunLoop *l = loop(rl);
    if (l != nullptr) {
        l->stopRequested = true;
        l->wake();
    }
}

}  // extern "C"
