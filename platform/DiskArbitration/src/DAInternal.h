// What the parts of the DiskArbitration stand-in share: process-wide state, the disk and
// session records behind the CoreFoundation objects, and the helpers between them.
#ifndef DISKARBITRATION_DA_INTERNAL_H
#define DISKARBITRATION_DA_INTERNAL_H

#include <DiskArbitration/DiskArbitration.h>

#include <CoreFoundation/CFStandIn.h>

#include "BlockDevices.h"
#include "PlatformTesting.h"
#include "StandInKit.h"

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace da {

inline const char *const kSysfsRoot = "/sys";
inline const char *const kVolumesFolder = "/Volumes";
// How often the session looks at the block devices, and how long it keeps looking at a new
// device that holds no recognisable filesystem yet (one being formatted, say).
constexpr CFTimeInterval kPollInterval = 0.4;
constexpr double kProbeWindowSeconds = 5.0;

using standin::BackgroundCreationScope;  // the watcher's own creations: disks it reports, dissenters
using standin::CreationScope;
using standin::TextOf;

DAReturn StatusForErrno(int error);

// ---- Process-wide state: kept options, the record of mounts, armed failures, sessions ----

struct DeviceState {
    std::string identity;
    DADiskOptions options = kDADiskOptionMountAutomatic;
    std::string mountPoint;  // where this stand-in mounted it
};

struct SessionImpl;

// Guards the process-wide state below.
extern std::mutex gStateMutex;
extern std::map<std::string, DeviceState> gDevices;  // by BSD name
extern std::vector<PlatformTestingDiskMount> gMounts;
extern std::vector<SessionImpl *> gSessions;
// The status a call is made to fail with through the seam, 0 when it runs normally (Seams.cpp).
int32_t ArmedFailure(const char *call);

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

DiskImpl &DiskOf(CFTypeRef disk);
// Where this stand-in mounted the disk, when the medium is still mounted there; "" otherwise
// (a record left by a mount that someone else has undone since is dropped).
std::string CurrentMountPoint(const DiskImpl &disk);
// A new disk object (callers are inside a creation scope), or NULL. `device` NULL: a simulated disk.
DADiskRef MakeDisk(DASessionRef session, const BlockDevice *device, const Filesystem &filesystem, const std::string &bsdName,
                   bool simulated, int32_t simulatedStatus);
// True when the description holds every entry of the match dictionary (NULL matches all).
bool DescriptionMatches(CFDictionaryRef description, CFDictionaryRef match);

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

SessionImpl &SessionOf(CFTypeRef session);
// Queues a delivery and lets the session's run loop make it.
void Enqueue(SessionImpl &impl, Pending pending);
// Lets the session's run loop deliver what is queued.
void Signal(SessionImpl &impl);

}  // namespace da

#endif
