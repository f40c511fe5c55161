// Disks and dissenters: the objects, a disk's description and kept options, and the
// process-wide state.
#include <DiskArbitration/DiskArbitration.h>

#include <CoreFoundation/CFStandIn.h>

#include "BlockDevices.h"
#include "DAInternal.h"
#include "PlatformTesting.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

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

std::mutex gStateMutex;
std::map<std::string, DeviceState> gDevices;  // by BSD name
std::vector<PlatformTestingDiskMount> gMounts;
std::vector<SessionImpl *> gSessions;

namespace {
unsigned long gSimulatedSequence = 0;
}  // namespace

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

namespace {

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

}  // namespace

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

void SetText(CFMutableDictionaryRef dictionary, CFStringRef key, const std::string &text)
{
    SetValue(dictionary, key, CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
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
        SetText(description, kDADiskDescriptionVolumeKindKey, filesystem.type);
        SetValue(description, kDADiskDescriptionVolumeMountableKey, Boolean_(true));
        SetValue(description, kDADiskDescriptionVolumeNetworkKey, Boolean_(false));
        if (filesystem.hasLabel) {
            SetValue(description, kDADiskDescriptionVolumeNameKey, standin::CreateStringFromBytes(filesystem.label));
        }
        if (!filesystem.uuid.empty()) {
            CFStringRef text = CFStringCreateWithCString(nullptr, filesystem.uuid.c_str(), kCFStringEncodingUTF8);
            if (text != nullptr) {
                SetValue(description, kDADiskDescriptionVolumeUUIDKey, CFUUIDCreateFromString(nullptr, text));
                CFRelease(text);
            }
        }
    }
    SetText(description, kDADiskDescriptionMediaBSDNameKey, bsdName);
    SetText(description, kDADiskDescriptionMediaNameKey, bsdName);
    SetText(description, kDADiskDescriptionDevicePathKey, impl->node);
    // A simulated disk is a whole, removable, read-only medium of no size.
    SetValue(description, kDADiskDescriptionMediaSizeKey, MakeSize(device != nullptr ? device->sizeBytes : 0));
    SetValue(description, kDADiskDescriptionMediaWritableKey, Boolean_(device != nullptr && !device->readOnly));
    SetValue(description, kDADiskDescriptionMediaRemovableKey,
             Boolean_(device == nullptr || device->removable || !device->backingFile.empty()));
    SetValue(description, kDADiskDescriptionMediaWholeKey, Boolean_(device == nullptr || !device->partition));
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

std::string CurrentMountPoint(const DiskImpl &disk)
{
    std::string point;
    {
        std::lock_guard<std::mutex> lock(gStateMutex);
        auto found = gDevices.find(disk.bsdName);
        if (found == gDevices.end() || found->second.identity != disk.identity) {
            return {};
        }
        point = found->second.mountPoint;
    }
    if (point.empty() || disk.simulated) {
        return point;
    }
    // The root of a mounted filesystem reports the device it was mounted from.
    struct stat mounted {};
    struct stat device {};
    if (stat(point.c_str(), &mounted) == 0 && stat(disk.node.c_str(), &device) == 0 && S_ISBLK(device.st_mode) &&
        mounted.st_dev == device.st_rdev) {
        return point;
    }
    std::lock_guard<std::mutex> lock(gStateMutex);
    auto found = gDevices.find(disk.bsdName);
    if (found != gDevices.end() && found->second.identity == disk.identity && found->second.mountPoint == point) {
        found->second.mountPoint.clear();
    }
    return {};
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
    std::string mountPoint = CurrentMountPoint(impl);
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

}  // extern "C"
