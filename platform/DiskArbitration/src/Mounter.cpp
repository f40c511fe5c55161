// Mount points under the volumes folder: safe names and mount(2).
#include "Mounter.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <dirent.h>

namespace da {
namespace {

constexpr std::size_t kMaxFolderBytes = 240;  // leaves room for a " 99" suffix below NAME_MAX
constexpr int kMaxSuffix = 99;

// Length of the well-formed UTF-8 sequence starting at `at`, with its code point; 0 if ill-formed.
std::size_t DecodeUTF8(std::string_view bytes, std::size_t at, uint32_t &codePoint)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    unsigned char lead = byte(at);
    std::size_t length;
    uint32_t min;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool IsEmptyDirectory(int dirFd, const char *name)
{
    int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    DIR *dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return false;
    }
    bool empty = true;
    while (struct dirent *entry = readdir(dir)) {
        std::string_view entryName(entry->d_name);
        if (entryName != "." && entryName != "..") {
            empty = false;
            break;
        }
    }
    closedir(dir);
    return empty;
}

}  // namespace

std::string VolumeFolderName(std::string_view label)
{
    std::string name;
    for (std::size_t at = 0; at < label.size();) {
        uint32_t codePoint = 0;
        std::size_t length = DecodeUTF8(label, at, codePoint);
        std::string_view piece;
        bool replace = false;
        if (length == 0) {
            length = 1;
            replace = true;
        } else {
            replace = codePoint == '/' || codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
            piece = label.substr(at, length);
        }
        std::size_t pieceLength = replace ? 1 : piece.size();
        if (name.size() + pieceLength > kMaxFolderBytes) {
            break;
        }
        if (replace) {
            name += '_';
        } else {
            name += piece;
        }
        at += length;
    }
    if (name.empty() || name == "." || name == "..") {
        return "Untitled";
    }
    return name;
}

MountFlags InterpretMountArguments(const std::vector<std::string> &arguments)
{
    MountFlags result;
    // Volumes of removable media never carry set-user-ID programs or device nodes.
    result.flags = MS_NOSUID | MS_NODEV;
    for (const std::string &argument : arguments) {
        if (argument == "rdonly" || argument == "ro" || argument == "nobrowse") {
            // "nobrowse" hides a volume from the desktop on the platform; here it is a CD volume
            // mounted read-only.
            result.flags |= MS_RDONLY;
        } else if (argument == "noexec") {
            result.flags |= MS_NOEXEC;
        } else if (argument == "nosuid" || argument == "nodev") {
            // already set
        } else if (argument == "noatime") {
            result.flags |= MS_NOATIME;
        } else if (argument == "sync") {
            result.flags |= MS_SYNCHRONOUS;
        } else {
            result.ignored.push_back(argument);
        }
    }
    return result;
}

MountOutcome MountVolume(const std::string &volumesDir, const std::string &folderName, const std::string &node,
                         const std::string &fsType, unsigned long flags)
{
    MountOutcome outcome;
    outcome.mountPoint = volumesDir + "/" + folderName;
    outcome.readOnly = (flags & MS_RDONLY) != 0;

    int volumesFd = open(volumesDir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (volumesFd < 0 && errno == ENOENT && mkdir(volumesDir.c_str(), 0755) == 0) {
        volumesFd = open(volumesDir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (volumesFd < 0) {
        outcome.error = errno;
        return outcome;
    }
    struct stat volumesStat {};
    if (fstat(volumesFd, &volumesStat) != 0) {
        outcome.error = errno;
        close(volumesFd);
        return outcome;
    }

    // Choose the folder: a new one, or an empty unused directory of the same name.
    std::string chosen;
    bool created = false;
    for (int suffix = 0; suffix <= kMaxSuffix && chosen.empty(); ++suffix) {
        std::string candidate = suffix == 0 ? folderName : folderName + " " + std::to_string(suffix);
        if (mkdirat(volumesFd, candidate.c_str(), 0755) == 0) {
            chosen = candidate;
            created = true;
            break;
        }
        if (errno != EEXIST) {
            outcome.error = errno;
            close(volumesFd);
            return outcome;
        }
        struct stat existing {};
        if (fstatat(volumesFd, candidate.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(existing.st_mode) &&
            existing.st_dev == volumesStat.st_dev && IsEmptyDirectory(volumesFd, candidate.c_str())) {
            chosen = candidate;
        }
    }
    if (chosen.empty()) {
        outcome.error = EEXIST;
        close(volumesFd);
        return outcome;
    }
    outcome.mountPoint = volumesDir + "/" + chosen;

    // Mount through a descriptor of the folder itself, so that nothing swapped in for it by name
    // in the meantime (a symbolic link, say) can move the mount elsewhere.
    int folderFd = openat(volumesFd, chosen.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0) {
        outcome.error = errno;
        if (created) {
            unlinkat(volumesFd, chosen.c_str(), AT_REMOVEDIR);
        }
        close(volumesFd);
        return outcome;
    }
    std::string target = "/proc/self/fd/" + std::to_string(folderFd);
    if (access(target.c_str(), F_OK) != 0) {
        target = outcome.mountPoint;  // no /proc: the name checked just above
    }
    int rc = mount(node.c_str(), target.c_str(), fsType.c_str(), flags, nullptr);
    if (rc != 0 && (errno == EROFS || errno == EACCES) && (flags & MS_RDONLY) == 0) {
        // A write-protected medium is mounted read-only, as mount(8) does.
        rc = mount(node.c_str(), target.c_str(), fsType.c_str(), flags | MS_RDONLY, nullptr);
        if (rc == 0) {
            outcome.readOnly = true;
        }
    }
    if (rc != 0) {
        outcome.error = errno;
        if (created) {
            unlinkat(volumesFd, chosen.c_str(), AT_REMOVEDIR);
        }
    }
    close(folderFd);
    close(volumesFd);
    return outcome;
}

int UnmountVolume(const std::string &mountPoint)
{
    if (umount2(mountPoint.c_str(), UMOUNT_NOFOLLOW) != 0) {
        return errno;
    }
    rmdir(mountPoint.c_str());
    return 0;
}

}  // namespace da
