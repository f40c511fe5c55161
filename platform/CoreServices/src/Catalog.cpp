// Catalogue information and flat folder iteration. Finder information lives in the extended
// attribute "user.com.apple.FinderInfo": 32 bytes, big-endian, laid out as on the platform (a
// FileInfo or FolderInfo followed by the extended part). FSCatalogInfo carries it in host order.
#include "CoreServicesInternal.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unordered_set>
#include <vector>

struct OpaqueFSIterator {
    std::string folder;
    std::vector<std::string> names;
    size_t next = 0;
};

namespace coreservices {
namespace {

constexpr const char *kFinderInfoAttribute = "user.com.apple.FinderInfo";

// Field widths of the 32 bytes, for files and for folders (2 = 16-bit field, 4 = 32-bit field).
constexpr int kFileLayout[] = {4, 4, 2, 2, 2, 2, /* extended: */ 2, 2, 2, 2, 2, 2, 4};
constexpr int kFolderLayout[] = {2, 2, 2, 2, 2, 2, 2, 2, /* extended: */ 2, 2, 4, 2, 2, 4};

// Converts between big-endian and host order in place (the swap is its own inverse).
template <size_t N>
void SwapFields(UInt8 *bytes, const int (&layout)[N])
{
    size_t offset = 0;
    for (int width : layout) {
        std::reverse(bytes + offset, bytes + offset + width);
        offset += static_cast<size_t>(width);
    }
}

void FinderInfoToHost(UInt8 *bytes, bool isFolder)
{
    if constexpr (std::endian::native == std::endian::little) {
        if (isFolder) {
            SwapFields(bytes, kFolderLayout);
        } else {
            SwapFields(bytes, kFileLayout);
        }
    }
}

std::mutex gIteratorsLock;
std::unordered_set<FSIterator> &LiveIterators()
{
    static auto *live = new std::unordered_set<FSIterator>;
    return *live;
}

std::string LeafName(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentPath(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

}  // namespace

OSErr CatalogInfoForPath(const std::string &path, FSCatalogInfoBitmap whichInfo, FSCatalogInfo *info)
{
    // A symbolic link is an entry of its own (a file), as on the platform's volumes; a dangling
    // one is therefore listed like any other file rather than failing the listing.
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return StatusFromErrno(errno);
    }
    if (info == nullptr) {
        return noErr;
    }
    bool isFolder = S_ISDIR(st.st_mode);
    if (whichInfo & kFSCatInfoNodeFlags) {
        info->nodeFlags = isFolder ? kFSNodeIsDirectoryMask : 0;
    }
    if (whichInfo & (kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo)) {
        UInt8 bytes[32] = {};
        ssize_t got = S_ISLNK(st.st_mode) ? -1 : getxattr(path.c_str(), kFinderInfoAttribute, bytes, sizeof(bytes));
        if (got != static_cast<ssize_t>(sizeof(bytes))) {
            // Absent, unsupported or of the wrong size: the object carries no Finder information.
            std::memset(bytes, 0, sizeof(bytes));
        }
        FinderInfoToHost(bytes, isFolder);
        if (whichInfo & kFSCatInfoFinderInfo) {
            std::memcpy(info->finderInfo, bytes, 16);
        }
        if (whichInfo & kFSCatInfoFinderXInfo) {
            std::memcpy(info->extFinderInfo, bytes + 16, 16);
        }
    }
    if (whichInfo & kFSCatInfoValence) {
        UInt32 count = 0;
        if (isFolder) {
            std::error_code ec;
            for (auto it = std::filesystem::directory_iterator(path, ec); !ec && it != std::filesystem::directory_iterator();
                 it.increment(ec)) {
                ++count;
            }
        }
        info->valence = count;
    }
    if (whichInfo & kFSCatInfoDataSizes) {
        info->dataLogicalSize = isFolder ? 0 : static_cast<UInt64>(st.st_size);
        info->dataPhysicalSize = isFolder ? 0 : static_cast<UInt64>(st.st_blocks) * 512U;
    }
    return noErr;
}

}  // namespace coreservices

using namespace coreservices;

extern "C" OSErr FSGetCatalogInfo(const FSRef *ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo *catalogInfo,
                                  HFSUniStr255 *outName, FSSpecPtr fsSpec, FSRef *parentRef)
{
    OSErr injected;
    if (TakeInjectedFailure("FSGetCatalogInfo", &injected)) {
        return injected;
    }
    std::string path;
    if (!PathFromRef(ref, &path) || fsSpec != nullptr) {
        return paramErr;
    }
    OSErr err = CatalogInfoForPath(path, whichInfo, catalogInfo);
    if (err != noErr) {
        return err;
    }
    if (outName != nullptr && !NameRecordFromUTF8(path == "/" ? std::string() : LeafName(path), outName)) {
        return bdNamErr;
    }
    if (parentRef != nullptr) {
        RefFromPath(ParentPath(path), parentRef);
    }
    return noErr;
}

extern "C" OSErr FSSetCatalogInfo(const FSRef *ref, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo *catalogInfo)
{
    std::string path;
    if (!PathFromRef(ref, &path) || catalogInfo == nullptr) {
        return paramErr;
    }
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return StatusFromErrno(errno);
    }
    if ((whichInfo & (kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo)) == 0) {
        return noErr;
    }
    bool isFolder = S_ISDIR(st.st_mode);
    // Start from what is stored, so setting one half keeps the other.
    UInt8 bytes[32] = {};
    if (getxattr(path.c_str(), kFinderInfoAttribute, bytes, sizeof(bytes)) != static_cast<ssize_t>(sizeof(bytes))) {
        std::memset(bytes, 0, sizeof(bytes));
    }
    FinderInfoToHost(bytes, isFolder);
    if (whichInfo & kFSCatInfoFinderInfo) {
        std::memcpy(bytes, catalogInfo->finderInfo, 16);
    }
    if (whichInfo & kFSCatInfoFinderXInfo) {
        std::memcpy(bytes + 16, catalogInfo->extFinderInfo, 16);
    }
    FinderInfoToHost(bytes, isFolder);  // back to big-endian
    if (setxattr(path.c_str(), kFinderInfoAttribute, bytes, sizeof(bytes), 0) != 0) {
        return errno == ENOTSUP ? static_cast<OSErr>(ioErr) : StatusFromErrno(errno);
    }
    return noErr;
}

extern "C" OSErr FSOpenIterator(const FSRef *container, FSIteratorFlags iteratorFlags, FSIterator *iterator)
{
    OSErr injected;
    if (TakeInjectedFailure("FSOpenIterator", &injected)) {
        return injected;
    }
    std::string path;
    if (iterator == nullptr || !PathFromRef(container, &path)) {
        return paramErr;
    }
    *iterator = nullptr;
    if (iteratorFlags != kFSIterateFlat) {
        return errFSBadIteratorFlags;
    }
    DIR *dir = opendir(path.c_str());
    if (dir == nullptr) {
        return errno == ENOTDIR ? static_cast<OSErr>(errFSNotAFolder) : StatusFromErrno(errno);
    }
    auto *it = new OpaqueFSIterator;
    it->folder = path;
    while (struct dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            it->names.emplace_back(entry->d_name);
        }
    }
    closedir(dir);
    std::sort(it->names.begin(), it->names.end());
    {
        std::lock_guard<std::mutex> guard(gIteratorsLock);
        LiveIterators().insert(it);
    }
    *iterator = it;
    return noErr;
}

extern "C" OSErr FSCloseIterator(FSIterator iterator)
{
    {
        std::lock_guard<std::mutex> guard(gIteratorsLock);
        if (LiveIterators().erase(iterator) == 0) {
            return errFSIteratorNotFound;
        }
    }
    delete iterator;
    return noErr;
}

extern "C" OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maximumObjects, ItemCount *actualObjects,
                                      Boolean *containerChanged, FSCatalogInfoBitmap whichInfo,
                                      FSCatalogInfo *catalogInfos, FSRef *refs, FSSpecPtr specs, HFSUniStr255 *names)
{
    if (actualObjects != nullptr) {
        *actualObjects = 0;
    }
    if (containerChanged != nullptr) {
        *containerChanged = false;
    }
    OSErr injected;
    if (TakeInjectedFailure("FSGetCatalogInfoBulk", &injected)) {
        return injected;
    }
    {
        std::lock_guard<std::mutex> guard(gIteratorsLock);
        if (LiveIterators().count(iterator) == 0) {
            return errFSIteratorNotFound;
        }
    }
    if (actualObjects == nullptr || specs != nullptr || (whichInfo != kFSCatInfoNone && catalogInfos == nullptr)) {
        return paramErr;
    }
    if (maximumObjects == 0) {
        return errFSBadItemCount;
    }
    ItemCount filled = 0;
    while (filled < maximumObjects && iterator->next < iterator->names.size()) {
        const std::string &name = iterator->names[iterator->next++];
        std::string path = iterator->folder == "/" ? "/" + name : iterator->folder + "/" + name;
        FSCatalogInfo info{};
        OSErr err = CatalogInfoForPath(path, whichInfo, &info);
        if (err == fnfErr) {
            if (containerChanged != nullptr) {
                *containerChanged = true;  // removed since the iterator was opened
            }
            continue;
        }
        if (err != noErr) {
            *actualObjects = filled;
            return err;
        }
        if (names != nullptr && !NameRecordFromUTF8(name, &names[filled])) {
            *actualObjects = filled;
            return bdNamErr;
        }
        if (catalogInfos != nullptr && whichInfo != kFSCatInfoNone) {
            catalogInfos[filled] = info;
        }
        if (refs != nullptr) {
            RefFromPath(path, &refs[filled]);
        }
        ++filled;
    }
    *actualObjects = filled;
    if (filled < maximumObjects) {
        return errFSNoMoreItems;
    }
    return noErr;
}
