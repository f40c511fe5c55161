// Turning a disk label into a safe folder name under the volumes folder, and mounting there.
#ifndef DISKARBITRATION_MOUNTER_H
#define DISKARBITRATION_MOUNTER_H

#include <string>
#include <string_view>
#include <vector>

namespace da {

// The folder name a volume with this label gets: each '/', each control character (C0, DEL, C1)
// and each byte of an ill-formed UTF-8 sequence becomes '_'; the name is cut to at most 240 bytes
// on a character boundary; an empty name, "." and ".." become "Untitled". The result is always a
// single path component.
std::string VolumeFolderName(std::string_view label);

// What the mount arguments of a request mean for mount(2).
struct MountFlags {
    unsigned long flags = 0;         // MS_* bits
    std::vector<std::string> ignored;  // arguments with no meaning here
};
MountFlags InterpretMountArguments(const std::vector<std::string> &arguments);

struct MountOutcome {
    int error = 0;             // 0, or the errno of the step that failed
    std::string mountPoint;    // the folder used (or the one that would have been used)
    bool readOnly = false;     // mounted read-only (asked for, or fallen back to for a read-only medium)
};

// Mounts `node` (filesystem `fsType`) on a folder named `folderName` directly inside
// `volumesDir`, creating both as needed. An existing folder of that name is reused only when it
// is a real, empty directory that is not already a mount point; otherwise "<name> 1", "<name> 2"
// ... are tried. A symbolic link is never followed, so the mount point is always inside
// `volumesDir`. A folder created here is removed again when the mount fails.
MountOutcome MountVolume(const std::string &volumesDir, const std::string &folderName, const std::string &node,
                         const std::string &fsType, unsigned long flags);

// Unmounts a mount point made by MountVolume and removes its folder.
int UnmountVolume(const std::string &mountPoint);

}  // namespace da

#endif
