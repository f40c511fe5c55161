// Block device discovery (sysfs) and filesystem identification (libblkid).
#include "BlockDevices.h"
#include "StandInKit.h"

#include <blkid/blkid.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace da {
namespace {

using standin::ReadSysfsAttribute;

uint64_t ReadUnsigned(const fs::path &path)
{
    auto text = ReadSysfsAttribute(path);
    if (!text || text->empty()) {
        return 0;
    }
    return std::strtoull(text->c_str(), nullptr, 10);
}

}  // namespace

std::vector<BlockDevice> ListBlockDevices(const std::string &sysfsRoot)
{
    std::vector<BlockDevice> devices;
    try {
        fs::path blockClass = fs::path(sysfsRoot) / "class" / "block";
        std::error_code ec;
        for (fs::directory_iterator it(blockClass, ec), end; !ec && it != end; it.increment(ec)) {
            fs::path dir = it->path();
            BlockDevice device;
            device.name = dir.filename().string();
            device.sizeBytes = ReadUnsigned(dir / "size") * 512;
            if (device.sizeBytes == 0) {
                continue;  // no medium: an empty loop device or drive
            }
            device.partition = fs::exists(dir / "partition", ec);
            fs::path whole = dir;
            if (device.partition) {
                std::error_code canonicalError;
                whole = fs::canonical(dir, canonicalError).parent_path();
                if (canonicalError) {
                    continue;
                }
            }
            device.diskSequence = ReadUnsigned(whole / "diskseq");
            device.backingFile = ReadSysfsAttribute(whole / "loop" / "backing_file").value_or("");
            device.readOnly = ReadUnsigned(dir / "ro") != 0;
            device.removable = ReadUnsigned(whole / "removable") != 0;
            std::string nodeName = device.name;
            std::replace(nodeName.begin(), nodeName.end(), '!', '/');
            device.node = "/dev/" + nodeName;
            device.identity = device.name + '\n' + ReadSysfsAttribute(dir / "dev").value_or("") + '\n' +
                              std::to_string(device.diskSequence) + '\n' + std::to_string(device.sizeBytes) + '\n' +
                              ReadSysfsAttribute(dir / "start").value_or("") + '\n' + device.backingFile;
            devices.push_back(std::move(device));
        }
    } catch (const std::exception &) {
        // A sysfs that cannot be read gives no devices rather than an error.
    }
    std::sort(devices.begin(), devices.end(), [](const BlockDevice &a, const BlockDevice &b) { return a.name < b.name; });
    return devices;
}

Filesystem ProbeFilesystem(const std::string &node)
{
    Filesystem result;
    errno = 0;
    blkid_probe probe = blkid_new_probe_from_filename(node.c_str());
    if (probe == nullptr) {
        result.error = errno != 0 ? errno : EIO;
        return result;
    }
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE | BLKID_SUBLKS_UUID | BLKID_SUBLKS_USAGE);
    int rc = blkid_do_safeprobe(probe);
    if (rc == 0) {
        const char *value = nullptr;
        size_t length = 0;
        // Only filesystems are volumes: swap, RAID members and encrypted containers are not.
        if (blkid_probe_lookup_value(probe, "USAGE", &value, &length) == 0 && value != nullptr &&
            std::string(value) == "filesystem" &&
            blkid_probe_lookup_value(probe, "TYPE", &value, &length) == 0 && value != nullptr) {
            result.found = true;
            result.type = value;
            if (blkid_probe_lookup_value(probe, "LABEL", &value, &length) == 0 && value != nullptr) {
                result.label.assign(value, length);
                while (!result.label.empty() && result.label.back() == '\0') {
                    result.label.pop_back();
                }
                result.hasLabel = !result.label.empty();
            }
            if (blkid_probe_lookup_value(probe, "UUID", &value, &length) == 0 && value != nullptr) {
                result.uuid = value;
            }
        }
    } else if (rc < 0 && rc != -2) {
        result.error = EIO;
    }
    blkid_free_probe(probe);
    return result;
}

}  // namespace da
