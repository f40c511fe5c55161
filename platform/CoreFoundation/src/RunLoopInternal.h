// The run loop's objects (loops, version-0 and file-descriptor sources, timers) and what its
// sources cross: the loop registry, the typed look-ups and the per-mode item lists.
#ifndef CF_RUN_LOOP_INTERNAL_H
#define CF_RUN_LOOP_INTERNAL_H

#include "Internal.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

struct __CFRunLoop;
struct __CFFileDescriptor;

namespace cf::runloop {
// Creation order of sources and timers: the tie-break among equal orders.
inline std::atomic<uint64_t> gSequence{0};
}  // namespace cf::runloop

struct __CFRunLoopSource final : cf::Object {
    CFIndex order;
    CFRunLoopSourceContext context{};
    std::atomic<bool> signalled{false};
    std::atomic<bool> valid{true};
    uint64_t sequence;
    __CFFileDescriptor *descriptor = nullptr;  // a file-descriptor source (retained)

    __CFRunLoopSource(CFIndex o, const CFRunLoopSourceContext *c)
        : Object(cf::kTypeRunLoopSource), order(o), sequence(++cf::runloop::gSequence)
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

struct __CFRunLoopTimer final : cf::Object {
    CFAbsoluteTime fireDate;
    CFTimeInterval interval;
    CFIndex order;
    CFRunLoopTimerCallBack callout;
    CFRunLoopTimerContext context{};
    std::atomic<bool> valid{true};
    uint64_t sequence;

    __CFRunLoopTimer(CFAbsoluteTime f, CFTimeInterval i, CFIndex o, CFRunLoopTimerCallBack c, const CFRunLoopTimerContext *ctx)
        : Object(cf::kTypeRunLoopTimer), fireDate(f), interval(i > 0 ? i : 0), order(o), callout(c),
          sequence(++cf::runloop::gSequence)
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

struct __CFFileDescriptor final : cf::Object {
    int fd;
    bool closeOnInvalidate;
    CFFileDescriptorCallBack callout;
    CFFileDescriptorContext context{};
    std::atomic<CFOptionFlags> enabled{0};
    std::atomic<bool> valid{true};
    __CFRunLoopSource *source = nullptr;  // not retained; cleared when the source goes

    __CFFileDescriptor(int f, bool c, CFFileDescriptorCallBack cb, const CFFileDescriptorContext *ctx)
        : Object(cf::kTypeFileDescriptor), fd(f), closeOnInvalidate(c), callout(cb)
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

struct __CFRunLoop final : cf::Object {
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

    __CFRunLoop() : Object(cf::kTypeRunLoop, Immortal{})
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

namespace cf::runloop {

// Every loop ever made (loops live forever), under gLoopsLock.
extern std::mutex gLoopsLock;
std::vector<__CFRunLoop *> &allLoops();
// Wakes every loop, so that each looks again at its timers and descriptors.
void wakeAllLoops();

__CFRunLoop *mainLoop();
__CFRunLoop *currentLoop();

__CFRunLoop *loop(CFRunLoopRef rl);
__CFRunLoopSource *source(CFRunLoopSourceRef s);
__CFRunLoopTimer *timer(CFRunLoopTimerRef t);
__CFFileDescriptor *descriptor(CFFileDescriptorRef f);

std::u16string modeName(CFStringRef mode);

// Releases what a snapshot retained and empties the lists.
void releaseAll(std::vector<__CFRunLoopSource *> &sources, std::vector<__CFRunLoopTimer *> &timers);
// Take the item out of every loop; a source's cancel callout hears of it on each loop it was on.
void invalidateTimer(__CFRunLoopTimer *t);
void invalidateSource(__CFRunLoopSource *s);

CFRunLoopRunResult runInMode(__CFRunLoop *rl, CFStringRef modeRef, CFTimeInterval seconds, bool returnAfterSource);

}  // namespace cf::runloop

#endif  // CF_RUN_LOOP_INTERNAL_H
