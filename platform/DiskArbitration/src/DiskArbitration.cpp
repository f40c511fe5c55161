// Sessions, disks, dissenters: disk arrival on the run loop and mounting on request.
#include <DiskArbitration/DiskArbitration.h>

#include <CoreFoundation/CFStandIn.h>

#include "BlockDevices.h"
#include "Mounter.h"
#include "PlatformTesting.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

// ---- Description keys ----

const CFStringRef kDADiskDescriptionVolumeKindKey = CFSTR("DAVolumeKind");
const CFStringRef kDADiskDescriptionVolumeMountableKey = CFSTR("DAVolumeMountable");
const CFStringRef kDADiskDescriptionVolumeNameKey = CFSTR("DAVolumeName");
const CFStringRef kDADiskDescriptionVolumeNetworkKey = CFSTR("DAVolumeNetwork");
const CFStringRef kDADiskDescriptionVolumePathKey = CFSTR("DAVolumePath");
const CFStringRef kDADiskDescriptionVolumeUUIDKey = CFSTR("DAVolumeUUID");
const CFStringRef kDADiskDescriptionMediaBSDNameKey = CFSTR("DAMediaBSDName");
const CFStringRef kDADiskDescriptionMediaNameKey = CFSTR("DAMediaName");
const CFStringRef kDADiskDescriptionMediaRemovableKey = CFSTR("DAMediaRemovable");
const CFStringRef kDADiskDescriptionMediaSizeKey = CFSTR("DAMediaSize");
const CFStringRef kDADiskDescriptionMediaWholeKey = CFSTR("DAMediaWhole");
const CFStringRef kDADiskDescriptionMediaWritableKey = CFSTR("DAMediaWritable");
const CFStringRef kDADiskDescriptionDevicePathKey = CFSTR("DADevicePath");

namespace da {
namespace {

const char *const kSysfsRoot = "/sys";
const char *const kVolumesFolder = "/Volumes";
// How often the session looks at the block devices, and how long it keeps looking at a new
// device that holds no recognisable filesystem yet (one being formatted, say).
constexpr CFTimeInterval kPollInterval = 0.4;
constexpr double kProbeWindowSeconds = 5.0;

double Now()
{
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A creation of the CoreFoundation stand-in's failure seam: false when the seam fails it.
class CreationScope {
public:
    CreationScope() : granted_(_CFStandInCreationBegin()) {}
    ~CreationScope()
    {
        if (granted_) {
            _CFStandInCreationEnd();
        }
    }
    CreationScope(const CreationScope &) = delete;
    CreationScope &operator=(const CreationScope &) = delete;
    bool Granted() const { return granted_; }

private:
    bool granted_;
};

// A scope for the watcher's own creations (disks it reports, dissenters of completions): they
// are not the caller's creations, so a single failure armed through the seam is spent on the
// first attempt and the second one proceeds; only failures armed to last make them fail.
class InternalScope {
public:
    InternalScope() : granted_(_CFStandInCreationBegin() || _CFStandInCreationBegin()) {}
    ~InternalScope()
    {
        if (granted_) {
            _CFStandInCreationEnd();
        }
    }
    InternalScope(const InternalScope &) = delete;
    InternalScope &operator=(const InternalScope &) = delete;

private:
    bool granted_;
};

// Text of a CF string as UTF-8 ("" for NULL or a non-string).
std::string TextOf(CFTypeRef value)
{
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) {
        return {};
    }
    auto string = static_cast<CFStringRef>(value);
    CFIndex length = CFStringGetLength(string);
    CFIndex size = 0;
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false, nullptr, 0, &size);
    std::string text(static_cast<std::size_t>(size), '\0');
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false,
                     reinterpret_cast<UInt8 *>(text.data()), size, &size);
    text.resize(static_cast<std::size_t>(size));
    return text;
}

// A label as a string: UTF-8 when it is UTF-8, else Mac Roman, so that no label is lost.
CFStringRef LabelString(const std::string &label)
{
    const auto *bytes = reinterpret_cast<const UInt8 *>(label.data());
    auto length = static_cast<CFIndex>(label.size());
    if (IsValidUTF8(label)) {
        if (CFStringRef string = CFStringCreateWithBytes(nullptr, bytes, length, kCFStringEncodingUTF8, false)) {
            return string;
        }
    }
    return CFStringCreateWithBytes(nullptr, bytes, length, kCFStringEncodingMacRoman, false);
}

// Text for a line on standard error: bytes that are not printable ASCII are written as \xNN.
std::string Printable(const std::string &text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    return out;
}

DAReturn StatusForErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTBLK:
        return kDAReturnNotFound;
    case EBUSY:
    case EEXIST:
        return kDAReturnBusy;
    case EPERM:
    case EACCES:
        return kDAReturnNotPermitted;
    case EROFS:
        return kDAReturnNotWritable;
    case ENOMEM:
    case ENOSPC:
        return kDAReturnNoResources;
    default:
        return kDAReturnError;
    }
}

// ---- Process-wide state: kept options, the record of mounts, armed failures, sessions ----

struct DeviceState {
    std::string identity;
    DADiskOptions options = kDADiskOptionMountAutomatic;
    std::string mountPoint;  // where this stand-in mounted it
};

struct SessionImpl;

std::mutex gStateMutex;
std::map<std::string, DeviceState> gDevices;  // by BSD name
std::vector<PlatformTestingDiskMount> gMounts;
std::map<std::string, int32_t> gFailures;
std::vector<SessionImpl *> gSessions;
unsigned long gSimulatedSequence = 0;

int32_t ArmedFailure(const char *call)
{
    std::lock_guard<std::mutex> lock(gStateMutex);
    auto found = gFailures.find(call);
    return found == gFailures.end() ? 0 : found->second;
}

// ---- Dissenters ----

struct DissenterImpl {
    DAReturn status = kDAReturnSuccess;
    CFStringRef string = nullptr;
};

DissenterImpl &DissenterOf(CFTypeRef dissenter)
{
    return *static_cast<DissenterImpl *>(_CFStandInGetStorage(dissenter));
}

void FinalizeDissenter(CFTypeRef dissenter)
{
    if (DissenterOf(dissenter).string != nullptr) {
        CFRelease(DissenterOf(dissenter).string);
    }
}

CFTypeID DissenterType()
{
    static const CFStandInClass cls = {"DADissenter", FinalizeDissenter, nullptr, nullptr, nullptr};
    static const CFTypeID type = _CFStandInRegisterClass(&cls);
    return type;
}

// ---- Disks ----

struct DiskImpl {
    std::string bsdName;
    std::string node;
    std::string identity;
    bool simulated = false;
    int32_t simulatedStatus = 0;
    Filesystem filesystem;
    CFMutableDictionaryRef description = nullptr;
    DASessionRef session = nullptr;  // retained; NULL for a disk made without one
};

DiskImpl &DiskOf(CFTypeRef disk)
{
    return **static_cast<DiskImpl **>(_CFStandInGetStorage(disk));
}

void FinalizeDisk(CFTypeRef disk)
{
    DiskImpl *impl = &DiskOf(disk);
    if (impl->description != nullptr) {
        CFRelease(impl->description);
    }
    if (impl->session != nullptr) {
        CFRelease(impl->session);
    }
    delete impl;
}

Boolean DisksEqual(CFTypeRef a, CFTypeRef b)
{
    return DiskOf(a).bsdName == DiskOf(b).bsdName && DiskOf(a).identity == DiskOf(b).identity;
}

CFHashCode HashDisk(CFTypeRef disk)
{
    return std::hash<std::string>{}(DiskOf(disk).bsdName);
}

CFTypeID DiskType()
{
    static const CFStandInClass cls = {"DADisk", FinalizeDisk, DisksEqual, HashDisk, nullptr};
    static const CFTypeID type = _CFStandInRegisterClass(&cls);
    return type;
}

void SetValue(CFMutableDictionaryRef dictionary, CFStringRef key, CFTypeRef value)
{
    if (value != nullptr) {
        CFDictionarySetValue(dictionary, key, value);
        CFRelease(value);
    }
}

CFNumberRef MakeSize(uint64_t size)
{
    auto value = static_cast<int64_t>(size);
    return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value);
}

CFTypeRef Boolean_(bool value)
{
    return CFRetain(value ? kCFBooleanTrue : kCFBooleanFalse);
}

// A new disk object (callers are inside a creation scope), or NULL.
DADiskRef MakeDisk(DASessionRef session, const BlockDevice *device, const Filesystem &filesystem, const std::string &bsdName,
                   bool simulated, int32_t simulatedStatus)
{
    CFTypeRef object = _CFStandInCreateInstance(nullptr, DiskType(), sizeof(DiskImpl *));
    if (object == nullptr) {
        return nullptr;
    }
    auto *impl = new DiskImpl;
    *static_cast<DiskImpl **>(_CFStandInGetStorage(object)) = impl;
    impl->bsdName = bsdName;
    impl->simulated = simulated;
    impl->simulatedStatus = simulatedStatus;
    impl->filesystem = filesystem;
    impl->node = device != nullptr ? device->node : "/dev/" + bsdName;
    impl->identity = device != nullptr ? device->identity : "simulated:" + std::to_string(++gSimulatedSequence);
    if (session != nullptr) {
        impl->session = static_cast<DASessionRef>(const_cast<void *>(CFRetain(session)));
    }
    CFMutableDictionaryRef description =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    impl->description = description;
    if (description == nullptr) {
        CFRelease(object);
        return nullptr;
    }
    if (filesystem.found) {
        SetValue(description, kDADiskDescriptionVolumeKindKey, CFStringCreateWithCString(nullptr, filesystem.type.c_str(), kCFStringEncodingUTF8));
        SetValue(description, kDADiskDescriptionVolumeMountableKey, Boolean_(true));
        SetValue(description, kDADiskDescriptionVolumeNetworkKey, Boolean_(false));
        if (filesystem.hasLabel) {
            SetValue(description, kDADiskDescriptionVolumeNameKey, LabelString(filesystem.label));
        }
        if (!filesystem.uuid.empty()) {
            CFStringRef text = CFStringCreateWithCString(nullptr, filesystem.uuid.c_str(), kCFStringEncodingUTF8);
            if (text != nullptr) {
                SetValue(description, kDADiskDescriptionVolumeUUIDKey, CFUUIDCreateFromString(nullptr, text));
                CFRelease(text);
            }
        }
    }
    SetValue(description, kDADiskDescriptionMediaBSDNameKey, CFStringCreateWithCString(nullptr, bsdName.c_str(), kCFStringEncodingUTF8));
    SetValue(description, kDADiskDescriptionMediaNameKey, CFStringCreateWithCString(nullptr, bsdName.c_str(), kCFStringEncodingUTF8));
    SetValue(description, kDADiskDescriptionDevicePathKey, CFStringCreateWithCString(nullptr, impl->node.c_str(), kCFStringEncodingUTF8));
    if (device != nullptr) {
        SetValue(description, kDADiskDescriptionMediaSizeKey, MakeSize(device->sizeBytes));
        SetValue(description, kDADiskDescriptionMediaWritableKey, Boolean_(!device->readOnly));
        SetValue(description, kDADiskDescriptionMediaRemovableKey, Boolean_(device->removable || !device->backingFile.empty()));
        SetValue(description, kDADiskDescriptionMediaWholeKey, Boolean_(!device->partition));
    } else {
        SetValue(description, kDADiskDescriptionMediaSizeKey, MakeSize(0));
        SetValue(description, kDADiskDescriptionMediaWritableKey, Boolean_(false));
        SetValue(description, kDADiskDescriptionMediaRemovableKey, Boolean_(true));
        SetValue(description, kDADiskDescriptionMediaWholeKey, Boolean_(true));
    }
    {
        std::lock_guard<std::mutex> lock(gStateMutex);
        DeviceState &state = gDevices[bsdName];
        if (state.identity != impl->identity) {
            state = DeviceState{};
            state.identity = impl->identity;
        }
    }
    return static_cast<DADiskRef>(object);
}

// True when the description holds every entry of the match dictionary.
bool DescriptionMatches(CFDictionaryRef description, CFDictionaryRef match)
{
    if (match == nullptr) {
        return true;
    }
    CFIndex count = CFDictionaryGetCount(match);
    std::vector<const void *> keys(static_cast<std::size_t>(count)), values(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(match, keys.data(), values.data());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const void *have = CFDictionaryGetValue(description, keys[i]);
        if (have == nullptr || !CFEqual(have, values[i])) {
            return false;
        }
    }
    return true;
}

// ---- Sessions ----

struct Registration {
    unsigned long id = 0;
    CFDictionaryRef match = nullptr;  // retained copy
    CFIndex order = 0;
    DADiskPeekCallback callback = nullptr;
    void *context = nullptr;
    unsigned long baselineScan = 0;   // devices first seen after this scan are new to it
};

struct Pending {
    bool arrival = true;
    DADiskRef disk = nullptr;         // retained
    unsigned long registration = 0;   // arrivals
    DADiskMountCallback completion = nullptr;
    void *context = nullptr;
    DADissenterRef dissenter = nullptr;  // retained, may be NULL
};

struct KnownDevice {
    unsigned long firstSeenScan = 0;
    bool reported = false;
    double probeUntil = 0;
};

struct SessionImpl {
    std::mutex mutex;
    DASessionRef self = nullptr;
    CFRunLoopRef runLoop = nullptr;  // retained
    std::vector<CFStringRef> modes;  // retained
    CFRunLoopTimerRef timer = nullptr;
    CFRunLoopSourceRef source = nullptr;
    std::vector<Registration> registrations;
    unsigned long nextRegistration = 1;
    std::map<std::string, KnownDevice> known;  // by identity
    unsigned long scan = 0;
    std::deque<Pending> queue;
};

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
                     filesystem.type.c_str(), filesystem.hasLabel ? Printable(filesystem.label).c_str() : "");
        std::fflush(stderr);
        DADiskRef disk = nullptr;
        {
            InternalScope scope;
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

std::string Join(const std::vector<std::string> &arguments)
{
    if (arguments.empty()) {
        return "none";
    }
    std::string text;
    for (const std::string &argument : arguments) {
        text += (text.empty() ? "\"" : " \"") + Printable(argument) + "\"";
    }
    return text;
}

void WriteMountLine(const DiskImpl &disk, const std::string &mountPoint, const std::vector<std::string> &arguments,
                    bool readOnly, const std::string &outcome)
{
    std::string device = disk.simulated ? disk.bsdName + " (simulated)" : disk.node;
    std::fprintf(stderr, "DiskArbitration: mount %s at \"%s\" with arguments %s (%s): %s\n", Printable(device).c_str(),
                 Printable(mountPoint).c_str(), Join(arguments).c_str(), readOnly ? "read-only" : "read-write",
                 outcome.c_str());
    std::fflush(stderr);
}

void CopyText(char *buffer, std::size_t size, const std::string &text)
{
    std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

// Is the device of this BSD name still the medium the disk was made for?
bool StillPresent(const DiskImpl &disk)
{
    for (const BlockDevice &device : ListBlockDevices(kSysfsRoot)) {
        if (device.name == disk.bsdName) {
            return device.identity == disk.identity;
        }
    }
    return false;
}

DADissenterRef MakeDissenter(DAReturn status, const std::string &reason)
{
    InternalScope scope;
    CFStringRef text = CFStringCreateWithCString(nullptr, reason.c_str(), kCFStringEncodingUTF8);
    DADissenterRef dissenter = DADissenterCreate(nullptr, status, text);
    if (text != nullptr) {
        CFRelease(text);
    }
    return dissenter;
}

std::string PathOfURL(CFURLRef url)
{
    char buffer[4096];
    if (url == nullptr || !CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(buffer), sizeof buffer)) {
        return {};
    }
    return buffer;
}

}  // namespace
}  // namespace da

using namespace da;

extern "C" {

// ---- Dissenters ----

CFTypeID DADissenterGetTypeID(void) { return DissenterType(); }

DADissenterRef DADissenterCreate(CFAllocatorRef allocator, DAReturn status, CFStringRef string)
{
    CFTypeRef object = _CFStandInCreateInstance(allocator, DissenterType(), sizeof(DissenterImpl));
    if (object == nullptr) {
        return nullptr;
    }
    DissenterImpl &impl = DissenterOf(object);
    impl.status = status;
    impl.string = string != nullptr ? static_cast<CFStringRef>(CFRetain(string)) : nullptr;
    return static_cast<DADissenterRef>(object);
}

DAReturn DADissenterGetStatus(DADissenterRef dissenter)
{
    return dissenter != nullptr ? DissenterOf(dissenter).status : kDAReturnBadArgument;
}

CFStringRef DADissenterGetStatusString(DADissenterRef dissenter)
{
    return dissenter != nullptr ? DissenterOf(dissenter).string : nullptr;
}

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

// ---- Disks ----

CFTypeID DADiskGetTypeID(void) { return DiskType(); }

DADiskRef DADiskCreateFromBSDName(CFAllocatorRef allocator, DASessionRef session, const char *name)
{
    if (name == nullptr) {
        return nullptr;
    }
    std::string bsdName = name;
    if (bsdName.rfind("/dev/", 0) == 0) {
        bsdName = bsdName.substr(5);
    }
    CreationScope scope;
    if (!scope.Granted()) {
        return nullptr;
    }
    for (const BlockDevice &device : ListBlockDevices(kSysfsRoot)) {
        if (device.name == bsdName) {
            Filesystem filesystem = ProbeFilesystem(device.node);
            return MakeDisk(session, &device, filesystem, bsdName, false, 0);
        }
    }
    return nullptr;
}

CFDictionaryRef DADiskCopyDescription(DADiskRef disk)
{
    if (disk == nullptr) {
        return nullptr;
    }
    CreationScope scope;
    if (!scope.Granted()) {
        return nullptr;
    }
    DiskImpl &impl = DiskOf(disk);
    CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, impl.description);
    if (copy == nullptr) {
        return nullptr;
    }
    std::string mountPoint;
    {
        std::lock_guard<std::mutex> lock(gStateMutex);
        auto found = gDevices.find(impl.bsdName);
        if (found != gDevices.end() && found->second.identity == impl.identity) {
            mountPoint = found->second.mountPoint;
        }
    }
    if (!mountPoint.empty()) {
        SetValue(copy, kDADiskDescriptionVolumePathKey,
                 CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(mountPoint.c_str()),
                                                         static_cast<CFIndex>(mountPoint.size()), true));
    }
    return copy;
}

const char *DADiskGetBSDName(DADiskRef disk)
{
    return disk != nullptr ? DiskOf(disk).bsdName.c_str() : nullptr;
}

DAReturn DADiskSetOptions(DADiskRef disk, DADiskOptions options, Boolean value)
{
    if (disk == nullptr) {
        return kDAReturnBadArgument;
    }
    if (int32_t failure = ArmedFailure("DADiskSetOptions")) {
        return failure;
    }
    DiskImpl &impl = DiskOf(disk);
    std::lock_guard<std::mutex> lock(gStateMutex);
    DeviceState &state = gDevices[impl.bsdName];
    if (state.identity != impl.identity) {
        return kDAReturnNotFound;  // the medium changed since this disk object was made
    }
    state.options = value ? (state.options | options) : (state.options & ~options);
    return kDAReturnSuccess;
}

DADiskOptions DADiskGetOptions(DADiskRef disk)
{
    if (disk == nullptr) {
        return kDADiskOptionDefault;
    }
    DiskImpl &impl = DiskOf(disk);
    std::lock_guard<std::mutex> lock(gStateMutex);
    auto found = gDevices.find(impl.bsdName);
    return found != gDevices.end() && found->second.identity == impl.identity ? found->second.options
                                                                              : DADiskOptions{kDADiskOptionMountAutomatic};
}

void DADiskMountWithArguments(DADiskRef disk, CFURLRef path, DADiskMountOptions options, DADiskMountCallback callback, void *context, CFStringRef arguments[])
{
    if (disk == nullptr) {
        return;
    }
    DiskImpl &impl = DiskOf(disk);
    std::vector<std::string> argumentTexts;
    for (std::size_t i = 0; arguments != nullptr && arguments[i] != nullptr; ++i) {
        argumentTexts.push_back(TextOf(arguments[i]));
    }
    MountFlags flags = InterpretMountArguments(argumentTexts);
    bool readOnly = (flags.flags & MS_RDONLY) != 0;
    std::string label = impl.filesystem.hasLabel ? impl.filesystem.label : "";
    std::string mountPoint = path != nullptr ? PathOfURL(path) : std::string(kVolumesFolder) + "/" + VolumeFolderName(label);

    DAReturn status = kDAReturnSuccess;
    std::string reason;
    if (int32_t failure = ArmedFailure("DADiskMountWithArguments")) {
        status = failure;
        reason = "refused";
    } else if (impl.simulated) {
        status = impl.simulatedStatus;
        reason = "refused";
    } else if (!StillPresent(impl)) {
        status = kDAReturnNotFound;
        reason = "the disk is no longer present";
    } else if (!impl.filesystem.found) {
        status = kDAReturnUnsupported;
        reason = "the disk holds no filesystem this system can mount";
    } else {
        std::string mountedAt;
        {
            std::lock_guard<std::mutex> lock(gStateMutex);
            mountedAt = gDevices[impl.bsdName].mountPoint;
        }
        if (!mountedAt.empty()) {
            status = kDAReturnBusy;
            reason = "already mounted at \"" + Printable(mountedAt) + "\"";
        } else if (path != nullptr) {
            int rc = mountPoint.empty() ? -1
                                        : mount(impl.node.c_str(), mountPoint.c_str(), impl.filesystem.type.c_str(), flags.flags, nullptr);
            if (rc != 0) {
                int error = mountPoint.empty() ? EINVAL : errno;
                status = StatusForErrno(error);
                reason = std::strerror(error);
            }
        } else {
            MountOutcome outcome = MountVolume(kVolumesFolder, VolumeFolderName(label), impl.node, impl.filesystem.type, flags.flags);
            mountPoint = outcome.mountPoint;
            readOnly = outcome.readOnly;
            if (outcome.error != 0) {
                status = StatusForErrno(outcome.error);
                reason = std::strerror(outcome.error);
            }
        }
    }
    WriteMountLine(impl, mountPoint, argumentTexts, readOnly, status == kDAReturnSuccess ? "mounted" : "failed: " + reason);

    PlatformTestingDiskMount record{};
    CopyText(record.bsdName, sizeof record.bsdName, impl.bsdName);
    CopyText(record.mountPoint, sizeof record.mountPoint, mountPoint);
    std::string joined;
    for (const std::string &argument : argumentTexts) {
        joined += argument + "\n";
    }
    CopyText(record.arguments, sizeof record.arguments, joined);
    record.argumentCount = static_cast<unsigned>(argumentTexts.size());
    record.options = options;
    record.withPath = path != nullptr;
    record.status = status;
    record.readOnly = readOnly;
    {
        std::lock_guard<std::mutex> lock(gStateMutex);
        gMounts.push_back(record);
        if (status == kDAReturnSuccess && !impl.simulated) {
            gDevices[impl.bsdName].mountPoint = mountPoint;
        }
    }

    if (callback == nullptr || impl.session == nullptr) {
        return;
    }
    Pending pending;
    pending.arrival = false;
    pending.completion = callback;
    pending.context = context;
    if (status != kDAReturnSuccess && (pending.dissenter = MakeDissenter(status, reason)) == nullptr) {
        std::fprintf(stderr, "DiskArbitration: the completion for %s cannot be delivered (out of memory)\n", impl.bsdName.c_str());
        return;
    }
    pending.disk = static_cast<DADiskRef>(CFRetain(disk));
    Enqueue(SessionOf(impl.session), pending);
}

void DADiskMount(DADiskRef disk, CFURLRef path, DADiskMountOptions options, DADiskMountCallback callback, void *context)
{
    DADiskMountWithArguments(disk, path, options, callback, context, nullptr);
}

void DADiskUnmount(DADiskRef disk, DADiskUnmountOptions options, DADiskUnmountCallback callback, void *context)
{
    if (disk == nullptr) {
        return;
    }
    DiskImpl &impl = DiskOf(disk);
    std::string mountPoint;
    {
        std::lock_guard<std::mutex> lock(gStateMutex);
        auto found = gDevices.find(impl.bsdName);
        if (found != gDevices.end() && found->second.identity == impl.identity) {
            mountPoint = found->second.mountPoint;
        }
    }
    DAReturn status = kDAReturnSuccess;
    std::string reason;
    if (mountPoint.empty()) {
        status = kDAReturnNotMounted;
        reason = "not mounted";
    } else if (!impl.simulated) {
        int error = (options & kDADiskUnmountOptionForce) != 0 && umount2(mountPoint.c_str(), MNT_FORCE | UMOUNT_NOFOLLOW) == 0
                        ? (rmdir(mountPoint.c_str()), 0)
                        : UnmountVolume(mountPoint);
        if (error != 0) {
            status = StatusForErrno(error);
            reason = std::strerror(error);
        }
    }
    if (status == kDAReturnSuccess) {
        std::lock_guard<std::mutex> lock(gStateMutex);
        gDevices[impl.bsdName].mountPoint.clear();
    }
    if (callback == nullptr || impl.session == nullptr) {
        return;
    }
    Pending pending;
    pending.arrival = false;
    pending.completion = callback;
    pending.context = context;
    if (status != kDAReturnSuccess && (pending.dissenter = MakeDissenter(status, reason)) == nullptr) {
        std::fprintf(stderr, "DiskArbitration: the completion for %s cannot be delivered (out of memory)\n", impl.bsdName.c_str());
        return;
    }
    pending.disk = static_cast<DADiskRef>(CFRetain(disk));
    Enqueue(SessionOf(impl.session), pending);
}

// ---- Seams ----

void PlatformTestingDiskArrival(const char *bsdName, const char *volumeName, int32_t mountStatus)
{
    std::string name = bsdName != nullptr ? bsdName : "disk9";
    Filesystem filesystem;
    filesystem.found = true;
    filesystem.type = "ext2";
    filesystem.hasLabel = volumeName != nullptr;
    filesystem.label = volumeName != nullptr ? volumeName : "";
    std::vector<SessionImpl *> sessions;
    {
        std::lock_guard<std::mutex> lock(gStateMutex);
        sessions = gSessions;
    }
    for (SessionImpl *impl : sessions) {
        DADiskRef disk = nullptr;
        {
            InternalScope scope;
            disk = MakeDisk(impl->self, nullptr, filesystem, name, true, mountStatus);
        }
        if (disk == nullptr) {
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(impl->mutex);
            for (const Registration &registration : impl->registrations) {
                Pending pending;
                pending.disk = static_cast<DADiskRef>(CFRetain(disk));
                pending.registration = registration.id;
                impl->queue.push_back(pending);
            }
        }
        CFRelease(disk);
        Signal(*impl);
    }
}

unsigned PlatformTestingDiskMountCount(void)
{
    std::lock_guard<std::mutex> lock(gStateMutex);
    return static_cast<unsigned>(gMounts.size());
}

int PlatformTestingDiskGetMount(unsigned index, PlatformTestingDiskMount *mount)
{
    std::lock_guard<std::mutex> lock(gStateMutex);
    if (mount == nullptr || index >= gMounts.size()) {
        return 0;
    }
    *mount = gMounts[index];
    return 1;
}

uint32_t PlatformTestingDiskOptions(const char *bsdName)
{
    std::lock_guard<std::mutex> lock(gStateMutex);
    auto found = bsdName != nullptr ? gDevices.find(bsdName) : gDevices.end();
    return found != gDevices.end() ? found->second.options : DADiskOptions{kDADiskOptionMountAutomatic};
}

void PlatformTestingDiskArbitrationFailCall(const char *call, int32_t status)
{
    if (call == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(gStateMutex);
    if (status == 0) {
        gFailures.erase(call);
    } else {
        gFailures[call] = status;
    }
}

void PlatformTestingResetDiskArbitration(void)
{
    std::lock_guard<std::mutex> lock(gStateMutex);
    gMounts.clear();
    gFailures.clear();
    for (auto it = gDevices.begin(); it != gDevices.end();) {
        if (it->second.identity.rfind("simulated:", 0) == 0) {
            it = gDevices.erase(it);
        } else {
            ++it;
        }
    }
}

}  // extern "C"
