// Mount and unmount requests: mount(2) under /Volumes, the line on standard error, the record
// the seams read, and the completion on the session's run loop.
#include <DiskArbitration/DiskArbitration.h>

#include <CoreFoundation/CFStandIn.h>

#include "BlockDevices.h"
#include "DAInternal.h"
#include "Mounter.h"
#include "PlatformTesting.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/mount.h>
#include <unistd.h>

namespace da {
namespace {

std::string Join(const std::vector<std::string> &arguments)
{
    if (arguments.empty()) {
        return "none";
    }
    std::string text;
    for (const std::string &argument : arguments) {
        text += (text.empty() ? "\"" : " \"") + standin::Printable(argument, true) + "\"";
    }
    return text;
}

void WriteMountLine(const DiskImpl &disk, const std::string &mountPoint, const std::vector<std::string> &arguments,
                    bool readOnly, const std::string &outcome)
{
    std::string device = disk.simulated ? disk.bsdName + " (simulated)" : disk.node;
    std::fprintf(stderr, "DiskArbitration: mount %s at \"%s\" with arguments %s (%s): %s\n",
                 standin::Printable(device, true).c_str(), standin::Printable(mountPoint, true).c_str(),
                 Join(arguments).c_str(), readOnly ? "read-only" : "read-write", outcome.c_str());
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
    BackgroundCreationScope scope;
    CFStringRef text = CFStringCreateWithCString(nullptr, reason.c_str(), kCFStringEncodingUTF8);
    DADissenterRef dissenter = DADissenterCreate(nullptr, status, text);
    if (text != nullptr) {
        CFRelease(text);
    }
    return dissenter;
}

// Queues the completion of a request on the disk's session: with a dissenter when it failed.
void Complete(DADiskRef disk, DADiskMountCallback callback, void *context, DAReturn status, const std::string &reason)
{
    DiskImpl &impl = DiskOf(disk);
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
        std::string mountedAt = CurrentMountPoint(impl);
        if (!mountedAt.empty()) {
            status = kDAReturnBusy;
            reason = "already mounted at \"" + standin::Printable(mountedAt, true) + "\"";
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

    Complete(disk, callback, context, status, reason);
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
    std::string mountPoint = CurrentMountPoint(impl);
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
    Complete(disk, callback, context, status, reason);
}

}  // extern "C"
