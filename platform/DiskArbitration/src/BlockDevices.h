// The machine's block devices as the disk watcher sees them: what sysfs says about each device
// (without opening it), and what libblkid finds on one when asked.
#ifndef DISKARBITRATION_BLOCK_DEVICES_H
#define DISKARBITRATION_BLOCK_DEVICES_H

#include <cstdint>
#include <string>
#include <vector>

namespace da {

struct BlockDevice {
    std::string name;         // "loop3", "vda1"
    std::string node;         // "/dev/loop3"
    uint64_t sizeBytes = 0;
    uint64_t diskSequence = 0;  // the kernel's media sequence number of the whole disk, 0 if unknown
    std::string backingFile;  // loop devices only
    bool partition = false;
    bool readOnly = false;
    bool removable = false;
    // Equal identities are the same medium in the same device. A loop device detached and
    // attached again, even to the same file, gets a new identity through its sequence number.
    std::string identity;
};

// Block devices below sysfsRoot ("/sys") that hold media (size above zero), sorted by name.
// Reads sysfs only; never opens a device.
std::vector<BlockDevice> ListBlockDevices(const std::string &sysfsRoot);

struct Filesystem {
    int error = 0;            // errno when the device could not be read; 0 otherwise
    bool found = false;       // a filesystem superblock was recognised
    std::string type;         // "ext2", "ext4", "squashfs", ...
    bool hasLabel = false;
    std::string label;        // raw label bytes, trailing NULs removed
    std::string uuid;
};

// Opens the device node read-only and asks libblkid for a filesystem on it.
Filesystem ProbeFilesystem(const std::string &node);

}  // namespace da

#endif
