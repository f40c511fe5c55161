// Run-loop sources (version 0 and file descriptors) and timers: creation, scheduling in a
// loop's modes, invalidation; CFFileDescriptor.
#include "RunLoopInternal.h"

#include <algorithm>
#include <mutex>
#include <unistd.h>
#include <vector>

using namespace cf;
using namespace cf::runloop;

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

namespace cf::runloop {

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

}  // namespace cf::runloop

namespace {

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
        wakeAllLoops();
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
    wakeAllLoops();
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
