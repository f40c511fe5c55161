// Test seams of the DiskArbitration stand-in (declared in PlatformTesting.h): calls that fail
// with a given status, the record of mount requests and kept options, and in-process arrivals.
#include <DiskArbitration/DiskArbitration.h>

#include "DAInternal.h"
#include "PlatformTesting.h"
#include "StandInKit.h"

namespace da {
namespace {
standin::FailureTable gFailures;
}  // namespace

int32_t ArmedFailure(const char *call) { return gFailures.Take(call); }

}  // namespace da

using namespace da;

extern "C" {

// ---- Failures and the record of mounts ----

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

void PlatformTestingDiskArbitrationFailCall(const char *call, int32_t status, unsigned afterCalls)
{
    if (call != nullptr) {
        gFailures.Arm(call, status, afterCalls);
    }
}

void PlatformTestingResetDiskArbitration(void)
{
    std::lock_guard<std::mutex> lock(gStateMutex);
    gMounts.clear();
    gFailures.Clear();
    for (auto it = gDevices.begin(); it != gDevices.end();) {
        if (it->second.identity.rfind("simulated:", 0) == 0) {
            it = gDevices.erase(it);
        } else {
            ++it;
        }
    }
}

// ---- Arrivals ----

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
            BackgroundCreationScope scope;
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

}  // extern "C"
