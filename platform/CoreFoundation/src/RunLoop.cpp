// CFRunLoop with timers, version-0 sources and file-descriptor sources (poll(2)); CFFileDescriptor.
#include "Internal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

using namespace cf;

struct __CFRunLoop;
struct __CFFileDescriptor;

namespace {
std::atomic<uint64_t> gSequence{0};
}

struct __CFRunLoopSource final : Object {
    CFIndex order;
    CFRunLoopSourceContext context{};
    std::atomic<bool> signalled{false};
    std::atomic<bool> valid{true};
    uint64_t sequence;
    __CFFileDescriptor *descriptor = nullptr;  // a file-descriptor source (retained)

    __CFRunLoopSource(CFIndex o, const CFRunLoopSourceContext *c) : Object(kTypeRunLoopSource), order(o), sequence(++gSequence)
    {
        if (c != nullptr) {
            context = *c;
            if (context.retain != nullptr) {
                context.info = const_cast<void *>(context.retain(context.info));
            }
        }
    }
    ~__CFRunLoopSource() override;
    const char *className() const override { return "CFRunLoopSource"; }
};

struct __CFRunLoopTimer final : Object {
    CFAbsoluteTime fireDate;
    CFTimeInterval interval;
    CFIndex order;
    CFRunLoopTimerCallBack callout;
    CFRunLoopTimerContext context{};
    std::atomic<bool> valid{true};
    uint64_t sequence;

    __CFRunLoopTimer(CFAbsoluteTime f, CFTimeInterval i, CFIndex o, CFRunLoopTimerCallBack c, const CFRunLoopTimerContext *ctx)
        : Object(kTypeRunLoopTimer), fireDate(f), interval(i > 0 ? i : 0), order(o), callout(c), sequence(++gSequence)
    {
        if (ctx != nullptr) {
            context = *ctx;
            if (context.retain != nullptr) {
                context.info = const_cast<void *>(context.retain(context.info));
            }
        }
    }
    ~__CFRunLoopTimer() override
    {
        if (context.release != nullptr) {
            context.release(context.info);
        }
    }
    const char *className() const override { return "CFRunLoopTimer"; }
};

struct __CFFileDescriptor final : Object {
    int fd;
    bool closeOnInvalidate;
    CFFileDescriptorCallBack callout;
    CFFileDescriptorContext context{};
    std::atomic<CFOptionFlags> enabled{0};
    std::atomic<bool> valid{true};
    __CFRunLoopSource *source = nullptr;  // not retained; cleared when the source goes

    __CFFileDescriptor(int f, bool c, CFFileDescriptorCallBack cb, const CFFileDescriptorContext *ctx)
        : Object(kTypeFileDescriptor), fd(f), closeOnInvalidate(c), callout(cb)
    {
        if (ctx != nullptr) {
            context = *ctx;
            if (context.retain != nullptr) {
                context.info = context.retain(context.info);
            }
        }
    }
    ~__CFFileDescriptor() override
    {
        if (valid.exchange(false) && closeOnInvalidate) {
            close(fd);
        }
        if (context.release != nullptr) {
            context.release(context.info);
        }
    }
    const char *className() const override { return "CFFileDescriptor"; }
};

__CFRunLoopSource::~__CFRunLoopSource()
{
    if (descriptor != nullptr) {
        descriptor->source = nullptr;
        CFRelease(descriptor);
    }
    if (context.release != nullptr) {
        context.release(context.info);
    }
}

struct __CFRunLoop final : Object {
    std::mutex lock;
    int wakeFd = -1;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> waiting{false};
    std::set<std::u16string> commonModes;
    struct Items {
        std::vector<__CFRunLoopSource *> sources;
        std::vector<__CFRunLoopTimer *> timers;
    };
    std::map<std::u16string, Items> modes;  // u"kCFRunLoopCommonModes" holds the common items
    std::vector<std::u16string> currentModes;

    __CFRunLoop() : Object(kTypeRunLoop, Immortal{})
    {
        wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        commonModes.insert(u"kCFRunLoopDefaultMode");
    }
    const char *className() const override { return "CFRunLoop"; }

    // Items that run in the mode (retained; the caller releases them).
    void snapshot(const std::u16string &mode, std::vector<__CFRunLoopSource *> &sources,
                  std::vector<__CFRunLoopTimer *> &timers)
    {
        std::lock_guard<std::mutex> guard(lock);
        auto addNew = [](const auto &from, auto &to) {
            for (auto *item : from) {
                if (std::find(to.begin(), to.end(), item) == to.end()) {
                    CFRetain(item);
                    to.push_back(item);
                }
            }
        };
        auto add = [&](const Items &items) {
            addNew(items.sources, sources);
            addNew(items.timers, timers);
        };
        auto found = modes.find(mode);
        if (found != modes.end()) {
            add(found->second);
        }
        if (commonModes.count(mode) != 0) {
            auto common = modes.find(u"kCFRunLoopCommonModes");
            if (common != modes.end()) {
                add(common->second);
            }
        }
    }

    // Takes the item out of every mode; true when it was in any.
    bool removeEverywhere(const void *item)
    {
        std::vector<const void *> released;
        {
            std::lock_guard<std::mutex> guard(lock);
            auto take = [&](auto &list) {
                for (auto it = list.begin(); it != list.end();) {
                    if (*it == item) {
                        released.push_back(*it);
                        it = list.erase(it);
                    } else {
                        ++it;
                    }
                }
            };
            for (auto &entry : modes) {
                take(entry.second.sources);
                take(entry.second.timers);
            }
        }
        for (const void *r : released) {
            CFRelease(r);
        }
        return !released.empty();
    }

    void wake()
    {
        if (wakeFd >= 0) {
            uint64_t one = 1;
            ssize_t n = write(wakeFd, &one, sizeof one);
            (void)n;
        }
    }
};

namespace {

std::mutex gLoopsLock;
std::vector<__CFRunLoop *> &allLoops()
{
    static auto *loops = new std::vector<__CFRunLoop *>();
    return *loops;
}

__CFRunLoop *gMainLoop = nullptr;
thread_local __CFRunLoop *tCurrentLoop = nullptr;

bool isMainThread() { return static_cast<pid_t>(syscall(SYS_gettid)) == getpid(); }

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

double monotonicNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

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

void invalidateTimer(__CFRunLoopTimer *t)
{
    if (!t->valid.exchange(false)) {
        return;
    }
    CFRetain(t);
    std::vector<__CFRunLoop *> loops;
    {
        std::lock_guard<std::mutex> guard(gLoopsLock);
        loops = allLoops();
    }
    for (auto *l : loops) {
        l->removeEverywhere(t);
    }
    CFRelease(t);
}

void invalidateSource(__CFRunLoopSource *s)
{
    if (!s->valid.exchange(false)) {
        return;
    }
    CFRetain(s);
    std::vector<__CFRunLoop *> loops;
    {
        std::lock_guard<std::mutex> guard(gLoopsLock);
        loops = allLoops();
    }
    for (auto *l : loops) {
        // Only a loop the source was scheduled on hears of its cancellation.
        if (l->removeEverywhere(s) && s->context.cancel != nullptr) {
            s->context.cancel(s->context.info, l, kCFRunLoopDefaultMode);
        }
    }
    CFRelease(s);
}

CFRunLoopRunResult runInMode(__CFRunLoop *rl, CFStringRef modeRef, CFTimeInterval seconds, bool returnAfterSource)
{
    std::u16string mode = modeName(modeRef);
    double deadline = monotonicNow() + (std::isnan(seconds) ? 0 : std::min(seconds, 1e10));
    rl->currentModes.push_back(mode);
    CFRunLoopRunResult result = kCFRunLoopRunTimedOut;
    std::vector<__CFRunLoopSource *> sources;
    std::vector<__CFRunLoopTimer *> timers;
    while (true) {
        if (rl->stopRequested.exchange(false)) {
            result = kCFRunLoopRunStopped;
            break;
        }
        releaseAll(sources, timers);
        rl->snapshot(mode, sources, timers);
        sources.erase(std::remove_if(sources.begin(), sources.end(),
                                     [](__CFRunLoopSource *s) {
                                         if (!s->valid) {
                                             CFRelease(s);
                                             return true;
                                         }
                                         return false;
                                     }),
                      sources.end());
        if (sources.empty() && timers.empty()) {
            result = kCFRunLoopRunFinished;
            break;
        }

        // Timers that are due, earliest first.
        CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
        std::vector<__CFRunLoopTimer *> due;
        for (auto *t : timers) {
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
            if (rl->stopRequested) {
                break;
            }
        }
        if (rl->stopRequested.exchange(false)) {
            result = kCFRunLoopRunStopped;
            break;
        }

        // Signalled version-0 sources, by order.
        std::vector<__CFRunLoopSource *> ready;
        for (auto *s : sources) {
            if (s->descriptor == nullptr && s->valid && s->signalled) {
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
            if (returnAfterSource || rl->stopRequested) {
                break;
            }
        }
        if (handled && returnAfterSource) {
            result = kCFRunLoopRunHandledSource;
            break;
        }
        if (rl->stopRequested.exchange(false)) {
            result = kCFRunLoopRunStopped;
            break;
        }

        // Wait for descriptors, the next timer, a wake-up or the deadline.
        double nowMono = monotonicNow();
        bool pending = std::any_of(sources.begin(), sources.end(), [](const __CFRunLoopSource *s) {
            return s->descriptor == nullptr && s->valid && s->signalled;
        });
        double wait = deadline - nowMono;
        CFAbsoluteTime absNow = CFAbsoluteTimeGetCurrent();
        for (auto *t : timers) {
            if (t->valid) {
                wait = std::min(wait, t->fireDate - absNow);
            }
        }
        if (pending) {
            wait = 0;
        }
        wait = std::max(wait, 0.0);
        std::vector<pollfd> fds;
        std::vector<__CFFileDescriptor *> watched;
        fds.push_back(pollfd{rl->wakeFd, POLLIN, 0});
        for (auto *s : sources) {
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
        bool timedOut = nowMono >= deadline;
        int timeoutMs = static_cast<int>(std::min(std::ceil(wait * 1000.0), static_cast<double>(INT_MAX)));
        if (timedOut) {
            timeoutMs = 0;
        }
        rl->waiting = true;
        int n = poll(fds.data(), fds.size(), timeoutMs);
        rl->waiting = false;
        if (n < 0 && errno != EINTR) {
            std::perror("CoreFoundation: run loop poll");
        }
        if (n > 0 && (fds[0].revents & POLLIN)) {
            uint64_t count = 0;
            ssize_t r = read(rl->wakeFd, &count, sizeof count);
            (void)r;
        }
        for (size_t i = 1; n > 0 && i < fds.size(); ++i) {
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
            if (returnAfterSource || rl->stopRequested) {
                break;
            }
        }
        if (handled && returnAfterSource) {
            result = kCFRunLoopRunHandledSource;
            break;
        }
        if (timedOut || (monotonicNow() >= deadline && !pending)) {
            if (rl->stopRequested.exchange(false)) {
                result = kCFRunLoopRunStopped;
            } else {
                result = kCFRunLoopRunTimedOut;
            }
            break;
        }
    }
    releaseAll(sources, timers);
    rl->currentModes.pop_back();
    return result;
}

// Sources and timers are kept alike per mode; `list` picks which kind.
template <typename Item> using ItemList = std::vector<Item *> __CFRunLoop::Items::*;

template <typename Item> bool runsInMode(__CFRunLoop *l, Item *p, CFRunLoopMode mode, ItemList<Item> list)
{
    __CFRunLoop::Items items;
    l->snapshot(modeName(mode), items.sources, items.timers);
    auto &kind = items.*list;
    bool found = std::find(kind.begin(), kind.end(), p) != kind.end();
    releaseAll(items.sources, items.timers);
    return found;
}

// Adds the item to the mode (the loop retains it); false when it was there already.
template <typename Item> bool addToMode(__CFRunLoop *l, Item *p, CFRunLoopMode mode, ItemList<Item> list)
{
    std::lock_guard<std::mutex> guard(l->lock);
    auto &kind = l->modes[modeName(mode)].*list;
    if (std::find(kind.begin(), kind.end(), p) != kind.end()) {
        return false;
    }
    CFRetain(p);
    kind.push_back(p);
    return true;
}

// Takes the item out of the mode; true when it was there (the caller then releases it).
template <typename Item> bool removeFromMode(__CFRunLoop *l, Item *p, CFRunLoopMode mode, ItemList<Item> list)
{
    std::lock_guard<std::mutex> guard(l->lock);
    auto found = l->modes.find(modeName(mode));
    if (found == l->modes.end()) {
        return false;
    }
    auto &kind = found->second.*list;
    auto it = std::find(kind.begin(), kind.end(), p);
    if (it == kind.end()) {
        return false;
    }
    kind.erase(it);
    return true;
}

}  // namespace

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

// ---- Sources ----

CFRunLoopSourceRef CFRunLoopSourceCreate(CFAllocatorRef, CFIndex order, CFRunLoopSourceContext *context)
{
    if (context == nullptr || context->version != 0) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return reinterpret_cast<CFRunLoopSourceRef>(new __CFRunLoopSource(order, context));
}

CFIndex CFRunLoopSourceGetOrder(CFRunLoopSourceRef s)
{
    __CFRunLoopSource *p = source(s);
    return p == nullptr ? 0 : p->order;
}

void CFRunLoopSourceGetContext(CFRunLoopSourceRef s, CFRunLoopSourceContext *context)
{
    __CFRunLoopSource *p = source(s);
    if (p != nullptr && context != nullptr) {
        *context = p->context;
    }
}

void CFRunLoopSourceSignal(CFRunLoopSourceRef s)
{
    __CFRunLoopSource *p = source(s);
    if (p != nullptr) {
        p->signalled = true;
    }
}

void CFRunLoopSourceInvalidate(CFRunLoopSourceRef s)
{
    __CFRunLoopSource *p = source(s);
    if (p != nullptr) {
        invalidateSource(p);
    }
}

Boolean CFRunLoopSourceIsValid(CFRunLoopSourceRef s)
{
    __CFRunLoopSource *p = source(s);
    return p != nullptr && p->valid;
}

Boolean CFRunLoopContainsSource(CFRunLoopRef rl, CFRunLoopSourceRef s, CFRunLoopMode mode)
{
    __CFRunLoop *l = loop(rl);
    __CFRunLoopSource *p = source(s);
    return l != nullptr && p != nullptr && runsInMode(l, p, mode, &__CFRunLoop::Items::sources);
}

void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef s, CFRunLoopMode mode)
{
    __CFRunLoop *l = loop(rl);
    __CFRunLoopSource *p = source(s);
    if (l == nullptr || p == nullptr || !p->valid || !addToMode(l, p, mode, &__CFRunLoop::Items::sources)) {
        return;
    }
    if (p->context.schedule != nullptr) {
        p->context.schedule(p->context.info, rl, mode);
    }
    l->wake();
}

void CFRunLoopRemoveSource(CFRunLoopRef rl, CFRunLoopSourceRef s, CFRunLoopMode mode)
{
    __CFRunLoop *l = loop(rl);
    __CFRunLoopSource *p = source(s);
    if (l == nullptr || p == nullptr) {
        return;
    }
    if (removeFromMode(l, p, mode, &__CFRunLoop::Items::sources)) {
        if (p->context.cancel != nullptr) {
            p->context.cancel(p->context.info, rl, mode);
        }
        CFRelease(p);
    }
}

// ---- Timers ----

CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef, CFAbsoluteTime fireDate, CFTimeInterval interval, CFOptionFlags,
                                       CFIndex order, CFRunLoopTimerCallBack callout, CFRunLoopTimerContext *context)
{
    CF_CREATE_OR_RETURN(nullptr);
    return reinterpret_cast<CFRunLoopTimerRef>(new __CFRunLoopTimer(fireDate, interval, order, callout, context));
}

CFAbsoluteTime CFRunLoopTimerGetNextFireDate(CFRunLoopTimerRef t)
{
    __CFRunLoopTimer *p = timer(t);
    return p == nullptr ? 0 : p->fireDate;
}

void CFRunLoopTimerSetNextFireDate(CFRunLoopTimerRef t, CFAbsoluteTime fireDate)
{
    __CFRunLoopTimer *p = timer(t);
    if (p != nullptr) {
        p->fireDate = fireDate;
        std::lock_guard<std::mutex> guard(gLoopsLock);
        for (auto *l : allLoops()) {
            l->wake();
        }
    }
}

CFTimeInterval CFRunLoopTimerGetInterval(CFRunLoopTimerRef t)
{
    __CFRunLoopTimer *p = timer(t);
    return p == nullptr ? 0 : p->interval;
}

Boolean CFRunLoopTimerDoesRepeat(CFRunLoopTimerRef t) { return CFRunLoopTimerGetInterval(t) > 0; }

CFIndex CFRunLoopTimerGetOrder(CFRunLoopTimerRef t)
{
    __CFRunLoopTimer *p = timer(t);
    return p == nullptr ? 0 : p->order;
}

void CFRunLoopTimerGetContext(CFRunLoopTimerRef t, CFRunLoopTimerContext *context)
{
    __CFRunLoopTimer *p = timer(t);
    if (p != nullptr && context != nullptr) {
        *context = p->context;
    }
}

void CFRunLoopTimerInvalidate(CFRunLoopTimerRef t)
{
    __CFRunLoopTimer *p = timer(t);
    if (p != nullptr) {
        invalidateTimer(p);
    }
}

Boolean CFRunLoopTimerIsValid(CFRunLoopTimerRef t)
{
    __CFRunLoopTimer *p = timer(t);
    return p != nullptr && p->valid;
}

Boolean CFRunLoopContainsTimer(CFRunLoopRef rl, CFRunLoopTimerRef t, CFRunLoopMode mode)
{
    __CFRunLoop *l = loop(rl);
    __CFRunLoopTimer *p = timer(t);
    return l != nullptr && p != nullptr && runsInMode(l, p, mode, &__CFRunLoop::Items::timers);
}

void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef t, CFRunLoopMode mode)
{
    __CFRunLoop *l = loop(rl);
    __CFRunLoopTimer *p = timer(t);
    if (l == nullptr || p == nullptr || !p->valid || !addToMode(l, p, mode, &__CFRunLoop::Items::timers)) {
        return;
    }
    l->wake();
}

void CFRunLoopRemoveTimer(CFRunLoopRef rl, CFRunLoopTimerRef t, CFRunLoopMode mode)
{
    __CFRunLoop *l = loop(rl);
    __CFRunLoopTimer *p = timer(t);
    if (l == nullptr || p == nullptr) {
        return;
    }
    if (removeFromMode(l, p, mode, &__CFRunLoop::Items::timers)) {
        CFRelease(p);
    }
}

// ---- File descriptors ----

CFFileDescriptorRef CFFileDescriptorCreate(CFAllocatorRef, CFFileDescriptorNativeDescriptor fd, Boolean closeOnInvalidate,
                                           CFFileDescriptorCallBack callout, const CFFileDescriptorContext *context)
{
    if (fd < 0) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return reinterpret_cast<CFFileDescriptorRef>(new __CFFileDescriptor(fd, closeOnInvalidate != 0, callout, context));
}

CFFileDescriptorNativeDescriptor CFFileDescriptorGetNativeDescriptor(CFFileDescriptorRef f)
{
    __CFFileDescriptor *p = descriptor(f);
    return p == nullptr ? -1 : p->fd;
}

void CFFileDescriptorGetContext(CFFileDescriptorRef f, CFFileDescriptorContext *context)
{
    __CFFileDescriptor *p = descriptor(f);
    if (p != nullptr && context != nullptr) {
        *context = p->context;
    }
}

void CFFileDescriptorEnableCallBacks(CFFileDescriptorRef f, CFOptionFlags types)
{
    __CFFileDescriptor *p = descriptor(f);
    if (p == nullptr || !p->valid) {
        return;
    }
    p->enabled |= types & (kCFFileDescriptorReadCallBack | kCFFileDescriptorWriteCallBack);
    std::lock_guard<std::mutex> guard(gLoopsLock);
    for (auto *l : allLoops()) {
        l->wake();
    }
}

void CFFileDescriptorDisableCallBacks(CFFileDescriptorRef f, CFOptionFlags types)
{
    __CFFileDescriptor *p = descriptor(f);
    if (p != nullptr) {
        p->enabled &= ~types;
    }
}

void CFFileDescriptorInvalidate(CFFileDescriptorRef f)
{
    __CFFileDescriptor *p = descriptor(f);
    if (p == nullptr || !p->valid.exchange(false)) {
        return;
    }
    CFRetain(p);
    if (p->source != nullptr) {
        invalidateSource(p->source);
    }
    if (p->closeOnInvalidate) {
        close(p->fd);
    }
    CFRelease(p);
}

Boolean CFFileDescriptorIsValid(CFFileDescriptorRef f)
{
    __CFFileDescriptor *p = descriptor(f);
    return p != nullptr && p->valid;
}

CFRunLoopSourceRef CFFileDescriptorCreateRunLoopSource(CFAllocatorRef, CFFileDescriptorRef f, CFIndex order)
{
    __CFFileDescriptor *p = descriptor(f);
    if (p == nullptr || !p->valid) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    if (p->source != nullptr) {
        CFRetain(p->source);
        return p->source;
    }
    auto *s = new __CFRunLoopSource(order, nullptr);
    s->descriptor = static_cast<__CFFileDescriptor *>(mobj(CFRetain(p)));
    p->source = s;
    return reinterpret_cast<CFRunLoopSourceRef>(s);
}

}  // extern "C"
