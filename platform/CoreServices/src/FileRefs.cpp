// File references: an FSRef carries a tag and the index of its object's path in a process-wide
// table that only grows (each distinct path is stored once), so a reference can be copied by value
// like the platform's and stays meaningful for the life of the process.
#include "CoreServicesInternal.h"

#include "StandInKit.h"

#include <unicode/ustring.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace coreservices {
namespace {

constexpr UInt32 kRefTag = 0x46535266U;  // 'FSRf'

struct RefTable {
    std::mutex lock;
    std::vector<std::string> paths;
    std::unordered_map<std::string, UInt32> indexOf;
};

RefTable &Table()
{
    // Deliberately never destroyed: references may be used from other static destructors.
    static RefTable *table = new RefTable;
    return *table;
}

}  // namespace

std::string NormalisePath(std::string_view path)
{
    std::filesystem::path p{std::string(path)};
    if (p.is_relative()) {
        std::error_code ec;
        p = std::filesystem::current_path(ec) / p;
    }
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') {
        s.pop_back();
    }
    return s;
}

void RefFromPath(const std::string &path, FSRef *ref)
{
    RefTable &table = Table();
    UInt32 index;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        auto found = table.indexOf.find(path);
        if (found != table.indexOf.end()) {
            index = found->second;
        } else {
            index = static_cast<UInt32>(table.paths.size());
            table.paths.push_back(path);
            table.indexOf.emplace(path, index);
        }
    }
    std::memset(ref->hidden, 0, sizeof(ref->hidden));
    std::memcpy(ref->hidden, &kRefTag, sizeof(kRefTag));
    std::memcpy(ref->hidden + sizeof(kRefTag), &index, sizeof(index));
}

bool PathFromRef(const FSRef *ref, std::string *path)
{
    if (ref == nullptr) {
        return false;
    }
    UInt32 tag;
    UInt32 index;
    std::memcpy(&tag, ref->hidden, sizeof(tag));
    std::memcpy(&index, ref->hidden + sizeof(tag), sizeof(index));
    if (tag != kRefTag) {
        return false;
    }
    RefTable &table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    if (index >= table.paths.size()) {
        return false;
    }
    *path = table.paths[index];
    return true;
}

OSErr StatusFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return fnfErr;
    case EACCES:
    case EPERM:
    case EROFS:
        return permErr;
    case ENAMETOOLONG:
        return bdNamErr;
    case ENOMEM:
        return memFullErr;
    default:
        return ioErr;
    }
}

bool NameRecordFromUTF8(std::string_view name, HFSUniStr255 *record)
{
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    // Bytes that are not UTF-8 become U+FFFD rather than failing the whole listing.
    u_strFromUTF8WithSub(reinterpret_cast<UChar *>(record->unicode), 255, &length, name.data(),
                         static_cast<int32_t>(name.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status) || length > 255) {
        record->length = 0;
        return false;
    }
    record->length = static_cast<UInt16>(length);
    return true;
}

bool UTF8FromUTF16(const UniChar *units, size_t count, std::string *out)
{
    if (count > INT32_MAX / 4) {
        return false;
    }
    out->assign(count * 3 + 1, '\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(out->data(), static_cast<int32_t>(out->size()), &length,
                reinterpret_cast<const UChar *>(units), static_cast<int32_t>(count), &status);
    if (U_FAILURE(status)) {
        return false;
    }
    out->resize(static_cast<size_t>(length));
    return true;
}

}  // namespace coreservices

using namespace coreservices;

extern "C" OSStatus FSPathMakeRef(const UInt8 *path, FSRef *ref, Boolean *isDirectory)
{
    OSErr injected;
    if (TakeInjectedFailure("FSPathMakeRef", &injected)) {
        return injected;
    }
    if (path == nullptr || ref == nullptr || path[0] == '\0') {
        return paramErr;
    }
    // The reference names the object itself: the path is resolved as the system resolves it
    // (".." after a symbolic link included), and a symbolic link at the end is followed.
    const char *text = reinterpret_cast<const char *>(path);
    struct stat info;
    if (stat(text, &info) != 0) {
        return StatusFromErrno(errno);
    }
    char *resolved = realpath(text, nullptr);
    if (resolved == nullptr) {
        return StatusFromErrno(errno);
    }
    RefFromPath(resolved, ref);
    free(resolved);
    if (isDirectory != nullptr) {
        *isDirectory = S_ISDIR(info.st_mode) ? true : false;
    }
    return noErr;
}

extern "C" OSStatus FSRefMakePath(const FSRef *ref, UInt8 *path, UInt32 maxPathSize)
{
    std::string p;
    if (path == nullptr || !PathFromRef(ref, &p)) {
        return paramErr;
    }
    struct stat info;
    if (lstat(p.c_str(), &info) != 0) {
        return StatusFromErrno(errno);
    }
    if (p.size() + 1 > maxPathSize) {
        return errFSBadBuffer;
    }
    std::memcpy(path, p.c_str(), p.size() + 1);
    return noErr;
}

extern "C" OSErr FSMakeFSRefUnicode(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name,
                                    TextEncoding textEncodingHint, FSRef *newRef)
{
    std::string parent;
    std::string leaf;
    if (newRef == nullptr || (name == nullptr && nameLength != 0) || !PathFromRef(parentRef, &parent)) {
        return paramErr;
    }
    if (nameLength == 0 || nameLength > 255 || !UTF8FromUTF16(name, nameLength, &leaf) ||
        leaf.find('/') != std::string::npos || leaf == "." || leaf == "..") {
        return bdNamErr;
    }
    // The entry itself, not what a symbolic link there points to (as a folder listing gives it).
    std::string full = (parent == "/") ? "/" + leaf : parent + "/" + leaf;
    struct stat info;
    if (lstat(full.c_str(), &info) != 0) {
        return StatusFromErrno(errno);
    }
    RefFromPath(full, newRef);
    return noErr;
}

extern "C" OSErr FSCompareFSRefs(const FSRef *ref1, const FSRef *ref2)
{
    std::string a;
    std::string b;
    if (!PathFromRef(ref1, &a) || !PathFromRef(ref2, &b)) {
        return paramErr;
    }
    if (a == b) {
        return noErr;
    }
    struct stat sa;
    struct stat sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) {
        return errFSRefsDifferent;
    }
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) {
        return noErr;
    }
    return errFSRefsDifferent;
}

extern "C" CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef *fsRef)
{
    // One creation for the test seam, whatever it makes inside.
    standin::CreationScope scope;
    if (!scope.Granted()) {
        return nullptr;
    }
    CFURLRef url = nullptr;
    std::string p;
    struct stat info;
    if (PathFromRef(fsRef, &p) && stat(p.c_str(), &info) == 0) {
        url = CFURLCreateFromFileSystemRepresentation(allocator, reinterpret_cast<const UInt8 *>(p.c_str()),
                                                      static_cast<CFIndex>(p.size()), S_ISDIR(info.st_mode));
    }
    return url;
}

extern "C" Boolean CFURLGetFSRef(CFURLRef url, FSRef *fsRef)
{
    if (url == nullptr || fsRef == nullptr) {
        return false;
    }
    std::vector<UInt8> buffer(PATH_MAX + 1);
    if (!CFURLGetFileSystemRepresentation(url, true, buffer.data(), static_cast<CFIndex>(buffer.size()))) {
        return false;
    }
    return FSPathMakeRef(buffer.data(), fsRef, nullptr) == noErr;
}
