// Sessions: run-loop scheduling, peek registrations, the poll that notices new disks, delivery
// of arrivals and completions, and the in-process arrival seam.
#include <DiskArbitration/DiskArbitration.h>

#include <CoreFoundation/CFStandIn.h>

#include "BlockDevices.h"
#include "DAInternal.h"

#include <algorithm>
#include <cstdio>
#include <time.h>

namespace da {

namespace {

double Now()
{
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

SessionImpl &SessionOf(CFTypeRef session)
{
    return **static_cast<SessionImpl **>(_CFStandInGetStorage(session));
}

void ReleasePending(Pending &pending)
{
    if (pending.disk != nullptr) {
        CFRelease(pending.disk);
    }
    if (pending.dissenter != nullptr) {
        CFRelease(pending.dissenter);
    }
}

void FinalizeSession(CFTypeRef session)
{
    SessionImpl *impl = &SessionOf(session);
    {
        std::lock_guard<std::mutex> lock(gStateMutex);
        gSessions.erase(std::remove(gSessions.begin(), gSessions.end(), impl), gSessions.end());
    }
    if (impl->timer != nullptr) {
        CFRunLoopTimerInvalidate(impl->timer);
        CFRelease(impl->timer);
    }
    if (impl->source != nullptr) {
        CFRunLoopSourceInvalidate(impl->source);
        CFRelease(impl->source);
    }
    for (CFStringRef mode : impl->modes) {
        CFRelease(mode);
    }
    if (impl->runLoop != nullptr) {
        CFRelease(impl->runLoop);
    }
    for (Registration &registration : impl->registrations) {
        if (registration.match != nullptr) {
            CFRelease(registration.match);
        }
    }
    for (Pending &pending : impl->queue) {
        ReleasePending(pending);
    }
    delete impl;
}

CFTypeID SessionType()
{
    static const CFStandInClass cls = {"DASession", FinalizeSession, nullptr, nullptr, nullptr};
    static const CFTypeID type = _CFStandInRegisterClass(&cls);
    return type;
}

// Lets the session's run loop deliver what is queued.
void Signal(SessionImpl &impl)
{
    CFRunLoopSourceRef source = nullptr;
    CFRunLoopRef runLoop = nullptr;
    {
        std::lock_guard<std::mutex> lock(impl.mutex);
        source = impl.source;
        runLoop = impl.runLoop;
    }
    if (source != nullptr && runLoop != nullptr) {
        CFRunLoopSourceSignal(source);
        CFRunLoopWakeUp(runLoop);
    }
}

// Notes the devices present now; returns them. Caller holds impl.mutex.
std::vector<BlockDevice> ScanLocked(SessionImpl &impl)
{
    std::vector<BlockDevice> devices = ListBlockDevices(kSysfsRoot);
    ++impl.scan;
    double now = Now();
    std::map<std::string, KnownDevice> present;
    for (const BlockDevice &device : devices) {
        auto found = impl.known.find(device.identity);
        if (found != impl.known.end()) {
            present.emplace(found->first, found->second);
        } else {
            KnownDevice known;
            known.firstSeenScan = impl.scan;
            known.probeUntil = now + kProbeWindowSeconds;
            present.emplace(device.identity, known);
        }
    }
    impl.known.swap(present);
    return devices;
}

void Poll(SessionImpl &impl)
{
    struct Found {
        BlockDevice device;
        std::vector<unsigned long> registrations;
    };
    std::vector<Found> candidates;
    {
        std::lock_guard<std::mutex> lock(impl.mutex);
        if (impl.registrations.empty()) {
            return;
        }
        double now = Now();
        for (const BlockDevice &device : ScanLocked(impl)) {
            KnownDevice &known = impl.known[device.identity];
            if (known.reported || now > known.probeUntil) {
                continue;
            }
            Found found{device, {}};
            for (const Registration &registration : impl.registrations) {
                if (registration.baselineScan < known.firstSeenScan) {
                    found.registrations.push_back(registration.id);
                }
            }
            if (!found.registrations.empty()) {
                candidates.push_back(std::move(found));
            }
        }
    }
    // Reading a superblock may take a moment: done without the lock.
    for (Found &found : candidates) {
        Filesystem filesystem = ProbeFilesystem(found.device.node);
        if (!filesystem.found) {
            continue;  // looked at again at the next poll, for a few seconds
        }
        std::fprintf(stderr, "DiskArbitration: disk %s appeared: %s volume \"%s\"\n", found.device.name.c_str(),
                     filesystem.type.c_str(), filesystem.hasLabel ? standin::Printable(filesystem.label, true).c_str() : "");
        std::fflush(stderr);
        DADiskRef disk = nullptr;
        {
            BackgroundCreationScope scope;
            disk = MakeDisk(impl.self, &found.device, filesystem, found.device.name, false, 0);
        }
        std::lock_guard<std::mutex> lock(impl.mutex);
        impl.known[found.device.identity].reported = true;
        if (disk == nullptr) {
            std::fprintf(stderr, "DiskArbitration: disk %s cannot be reported (out of memory)\n", found.device.name.c_str());
            continue;
        }
        for (unsigned long registration : found.registrations) {
            Pending pending;
            pending.disk = static_cast<DADiskRef>(CFRetain(disk));
            pending.registration = registration;
            impl.queue.push_back(pending);
        }
        CFRelease(disk);
    }
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(impl.mutex);
        queued = !impl.queue.empty();
    }
    if (queued) {
        Signal(impl);
    }
}

void PollTimerFired(CFRunLoopTimerRef, void *info)
{
    Poll(*static_cast<SessionImpl *>(info));
}

// Delivers what is queued, one item at a time, without holding the lock during a callback.
void Deliver(void *info)
{
    auto &impl = *static_cast<SessionImpl *>(info);
    CFRetain(impl.self);  // a callback may release the session
    for (;;) {
        Pending pending;
        DADiskPeekCallback peek = nullptr;
        void *peekContext = nullptr;
        CFDictionaryRef match = nullptr;
        {
            std::lock_guard<std::mutex> lock(impl.mutex);
            if (impl.queue.empty()) {
                break;
            }
            pending = impl.queue.front();
            impl.queue.pop_front();
            if (pending.arrival) {
                for (const Registration &registration : impl.registrations) {
                    if (registration.id == pending.registration) {
                        peek = registration.callback;
                        peekContext = registration.context;
                        match = registration.match != nullptr ? static_cast<CFDictionaryRef>(CFRetain(registration.match)) : nullptr;
                    }
                }
            }
        }
        if (pending.arrival) {
            if (peek != nullptr && DescriptionMatches(DiskOf(pending.disk).description, match)) {
                peek(pending.disk, peekContext);
            }
            if (match != nullptr) {
                CFRelease(match);
            }
        } else if (pending.completion != nullptr) {
            pending.completion(pending.disk, pending.dissenter, pending.context);
        }
        ReleasePending(pending);
    }
    CFRelease(impl.self);
}

void Enqueue(SessionImpl &impl, Pending pending)
{
    {
        std::lock_guard<std::mutex> lock(impl.mutex);
        impl.queue.push_back(pending);
    }
    Signal(impl);
}

}  // namespace da

using namespace da;

extern "C" {

// ---- Sessions ----

CFTypeID DASessionGetTypeID(void) { return SessionType(); }

DASessionRef DASessionCreate(CFAllocatorRef allocator)
{
    if (ArmedFailure("DASessionCreate") != 0) {
        return nullptr;
    }
    CreationScope scope;
    if (!scope.Granted()) {
        return nullptr;
    }
    CFTypeRef object = _CFStandInCreateInstance(allocator, SessionType(), sizeof(SessionImpl *));
    if (object == nullptr) {
        return nullptr;
    }
    auto *impl = new SessionImpl;
    impl->self = static_cast<DASessionRef>(const_cast<void *>(object));
    *static_cast<SessionImpl **>(_CFStandInGetStorage(object)) = impl;
    // The poll timer and the delivery source, added to the run loop when the session is scheduled.
    CFRunLoopTimerContext timerContext = {0, impl, nullptr, nullptr, nullptr};
    impl->timer = CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + kPollInterval, kPollInterval, 0, 0,
                                       PollTimerFired, &timerContext);
    CFRunLoopSourceContext sourceContext = {};
    sourceContext.info = impl;
    sourceContext.perform = Deliver;
    impl->source = CFRunLoopSourceCreate(nullptr, 0, &sourceContext);
    if (impl->timer == nullptr || impl->source == nullptr) {
        CFRelease(object);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(gStateMutex);
    gSessions.push_back(impl);
    return impl->self;
}

void DASessionScheduleWithRunLoop(DASessionRef session, CFRunLoopRef runLoop, CFStringRef runLoopMode)
{
    if (session == nullptr || runLoop == nullptr || runLoopMode == nullptr) {
        return;
    }
    SessionImpl &impl = SessionOf(session);
    CFRunLoopTimerRef timer = nullptr;
    CFRunLoopSourceRef source = nullptr;
    {
        std::lock_guard<std::mutex> lock(impl.mutex);
        if (impl.runLoop != nullptr && impl.runLoop != runLoop) {
            std::fprintf(stderr, "DiskArbitration: a session serves one run loop; scheduling on another is ignored\n");
            return;
        }
        for (CFStringRef mode : impl.modes) {
            if (CFEqual(mode, runLoopMode)) {
                return;
            }
        }
        if (impl.runLoop == nullptr) {
            impl.runLoop = static_cast<CFRunLoopRef>(const_cast<void *>(CFRetain(runLoop)));
            CFRunLoopTimerSetNextFireDate(impl.timer, CFAbsoluteTimeGetCurrent() + kPollInterval);
        }
        impl.modes.push_back(static_cast<CFStringRef>(CFRetain(runLoopMode)));
        timer = impl.timer;
        source = impl.source;
    }
    if (timer != nullptr) {
        CFRunLoopAddTimer(runLoop, timer, runLoopMode);
    }
    if (source != nullptr) {
        CFRunLoopAddSource(runLoop, source, runLoopMode);
    }
    Signal(impl);  // deliver anything queued before the session was scheduled
}

void DASessionUnscheduleFromRunLoop(DASessionRef session, CFRunLoopRef runLoop, CFStringRef runLoopMode)
{
    if (session == nullptr || runLoop == nullptr || runLoopMode == nullptr) {
        return;
    }
    SessionImpl &impl = SessionOf(session);
    std::lock_guard<std::mutex> lock(impl.mutex);
    if (impl.runLoop != runLoop) {
        return;
    }
    for (auto mode = impl.modes.begin(); mode != impl.modes.end(); ++mode) {
        if (CFEqual(*mode, runLoopMode)) {
            if (impl.timer != nullptr) {
                CFRunLoopRemoveTimer(runLoop, impl.timer, runLoopMode);
            }
            if (impl.source != nullptr) {
                CFRunLoopRemoveSource(runLoop, impl.source, runLoopMode);
            }
            CFRelease(*mode);
            impl.modes.erase(mode);
            break;
        }
    }
    if (impl.modes.empty()) {
        CFRelease(impl.runLoop);
        impl.runLoop = nullptr;
    }
}

void DARegisterDiskPeekCallback(DASessionRef session, CFDictionaryRef match, CFIndex order, DADiskPeekCallback callback, void *context)
{
    if (session == nullptr || callback == nullptr) {
        return;
    }
    SessionImpl &impl = SessionOf(session);
    Registration registration;
    registration.order = order;
    registration.callback = callback;
    registration.context = context;
    if (match != nullptr) {
        registration.match = static_cast<CFDictionaryRef>(CFRetain(match));
    }
    std::lock_guard<std::mutex> lock(impl.mutex);
    // What is present now is the registration's baseline: it is never reported to it.
    ScanLocked(impl);
    registration.id = impl.nextRegistration++;
    registration.baselineScan = impl.scan;
    // Lower order first; equal orders in the order of registration.
    auto at = std::upper_bound(impl.registrations.begin(), impl.registrations.end(), order,
                               [](CFIndex value, const Registration &existing) { return value < existing.order; });
    impl.registrations.insert(at, registration);
    // From here on a disk that appears is reported: a line marks the moment for whoever watches
    // the process from outside (an attached disk before it is part of the baseline).
    std::fprintf(stderr, "DiskArbitration: peek callback registered; the %zu disks present now are never reported to it\n",
                 impl.known.size());
    std::fflush(stderr);
}

void DAUnregisterCallback(DASessionRef session, void *callback, void *context)
{
    if (session == nullptr) {
        return;
    }
    SessionImpl &impl = SessionOf(session);
    std::lock_guard<std::mutex> lock(impl.mutex);
    for (auto it = impl.registrations.begin(); it != impl.registrations.end();) {
        if (reinterpret_cast<void *>(it->callback) == callback && it->context == context) {
            if (it->match != nullptr) {
                CFRelease(it->match);
            }
            it = impl.registrations.erase(it);
        } else {
            ++it;
        }
    }
}

}  // extern "C"
