// FSFindFolder: each domain has a Library folder, and each folder type a name inside it.
#include "CoreServicesInternal.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FolderName {
    OSType type;
    const char *name;  // inside the domain's Library folder; "" is the Library folder itself
};

constexpr FolderName kFolderNames[] = {
    {kFrameworksFolderType, "Frameworks"},
    {kModemScriptsFolderType, "Modem Scripts"},
    {kPreferencesFolderType, "Preferences"},
    {kApplicationSupportFolderType, "Application Support"},
    {kDomainLibraryFolderType, ""},
};

std::string HomeFolder()
{
    const char *home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    struct passwd *entry = getpwuid(getuid());
    return (entry != nullptr && entry->pw_dir != nullptr) ? entry->pw_dir : "/";
}

// The domain's Library folder, or false for a value that names no domain.
bool DomainLibrary(FSVolumeRefNum domain, std::string *library)
{
    switch (domain) {
    case kUserDomain:
        *library = HomeFolder() + "/Library";
        return true;
    case kNetworkDomain:
        *library = "/Network/Library";
        return true;
    case kLocalDomain:
        *library = "/Library";
        return true;
    case kSystemDomain:
    case kOnSystemDisk:
    case kOnAppropriateDisk:
        *library = "/System/Library";
        return true;
    default:
        return false;
    }
}

}  // namespace

using namespace coreservices;

extern "C" OSErr FSFindFolder(FSVolumeRefNum vRefNum, OSType folderType, Boolean createFolder, FSRef *foundRef)
{
    OSErr injected;
    if (TakeInjectedFailure("FSFindFolder", &injected)) {
        return injected;
    }
    if (foundRef == nullptr) {
        return paramErr;
    }
    std::string library;
    if (!DomainLibrary(vRefNum, &library)) {
        return nsvErr;
    }
    const char *name = nullptr;
    for (const FolderName &entry : kFolderNames) {
        if (entry.type == folderType) {
            name = entry.name;
        }
    }
    if (name == nullptr) {
        return fnfErr;
    }
    std::string path = NormalisePath(FolderRoot() + library + (name[0] != '\0' ? "/" : "") + name);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT || !createFolder) {
            return StatusFromErrno(errno);
        }
        std::error_code ec;
        std::filesystem::create_directories(path, ec);
        if (ec || stat(path.c_str(), &st) != 0) {
            return StatusFromErrno(ec ? ec.value() : errno);
        }
    }
    if (!S_ISDIR(st.st_mode)) {
        return fnfErr;  // something else stands where the folder belongs
    }
    char *resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return StatusFromErrno(errno);
    }
    RefFromPath(resolved, foundRef);
    free(resolved);
    return noErr;
}
