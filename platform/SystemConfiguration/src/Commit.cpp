// Committing a preferences object: the file primitives (whole reads, digests, flock files,
// atomic replacement) and SCPreferencesCommitChanges, which writes the object's copy over the
// store unless the store changed since the object read it.
#include "SCInternal.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sc {

namespace {

std::string FolderOf(const std::string &path)
{
    std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

int CreateFolders(const std::string &folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return error ? StatusForErrno(error.value()) : 0;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Gives an unnamed temporary file (O_TMPFILE) a unique name beside the target, so that it can be
// renamed over it. Tries the /proc link first (no privilege needed), then AT_EMPTY_PATH.
int NameTemporaryFile(int fd, const std::string &target, std::string *tempPath)
{
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; attempt++) {
        *tempPath = target + "-new-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        std::string procPath = "/proc/self/fd/" + std::to_string(fd);
        if (linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, tempPath->c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            linkat(fd, "", AT_FDCWD, tempPath->c_str(), AT_EMPTY_PATH) == 0) {
            return 0;
        }
        if (errno != EEXIST) {
            int status = StatusForErrno(errno);
            tempPath->clear();
            return status;
        }
    }
    tempPath->clear();
    return kSCStatusFailed;
}

}  // namespace

int ReadFileBytes(const std::string &path, FileBytes *file)
{
    file->exists = false;
    file->bytes.clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? 0 : StatusForErrno(errno);
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_size > 0) {
        file->bytes.reserve(static_cast<std::size_t>(info.st_size));
    }
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            int status = StatusForErrno(errno);
            close(fd);
            file->bytes.clear();
            return status;
        }
        if (got == 0) {
            break;
        }
        file->bytes.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    file->exists = true;
    return 0;
}

Digest DigestOf(const FileBytes &file)
{
    if (!file.exists) {
        return {};
    }
    return {true, file.bytes.size(), std::hash<std::string_view>{}(file.bytes)};
}

int FileLock::Acquire(const std::string &lockPath, bool exclusive, bool wait, bool createFolder)
{
    Release();
    if (createFolder) {
        if (int status = CreateFolders(FolderOf(lockPath)); status != 0) {
            return status;
        }
    }
    int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        // A reader without write access may still lock an existing lock file.
        int firstError = errno;
        fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return StatusForErrno(firstError);
        }
    }
    int operation = (exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
    while (flock(fd, operation) != 0) {
        if (errno == EINTR) {
            continue;
        }
        int status = errno == EWOULDBLOCK ? kSCStatusPrefsBusy : StatusForErrno(errno);
        close(fd);
        return status;
    }
    fd_ = fd;
    return 0;
}

void FileLock::Release()
{
    if (fd_ >= 0) {
        close(fd_);  // closing the only descriptor releases the flock
        fd_ = -1;
    }
}

int ReplaceFileAtomically(const std::string &path, std::string_view bytes, bool steps)
{
    std::string folder = FolderOf(path);
    std::string tempPath;
    int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    bool unnamed = fd >= 0;
    if (!unnamed) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return StatusForErrno(errno);
        }
        // A filesystem without unnamed files: a named one, removed again on any failure.
        tempPath = path + "-new-XXXXXX";
        fd = mkostemp(tempPath.data(), O_CLOEXEC);
        if (fd < 0) {
            return StatusForErrno(errno);
        }
        fchmod(fd, 0644);
    }
    auto fail = [&](int error) {
        int status = StatusForErrno(error);
        close(fd);
        if (!tempPath.empty()) {
            unlink(tempPath.c_str());
        }
        return status;
    };
    if (!WriteAll(fd, bytes)) {
        return fail(errno != 0 ? errno : EIO);
    }
    if (steps) {
        ReachedCommitStep(1);
    }
    if (fsync(fd) != 0) {
        return fail(errno);
    }
    if (steps) {
        ReachedCommitStep(2);
    }
    if (unnamed) {
        // The file gets a name only now, for the instant between link and rename.
        if (int status = NameTemporaryFile(fd, path, &tempPath); status != 0) {
            close(fd);
            return status;
        }
    }
    if (rename(tempPath.c_str(), path.c_str()) != 0) {
        return fail(errno);
    }
    close(fd);
    if (steps) {
        ReachedCommitStep(3);
    }
    // The rename is done: a folder that cannot be synced is reported, not a failed commit.
    int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0 || fsync(folderFd) != 0) {
        Diagnostics().Report("cannot sync the folder \"" + standin::Printable(folder) + "\" after replacing a file");
    }
    if (folderFd >= 0) {
        close(folderFd);
    }
    return 0;
}

bool XMLBytesOf(CFPropertyListRef plist, std::string *bytes)
{
    CFRef<CFDataRef> data(CFPropertyListCreateData(nullptr, plist, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    if (!data) {
        return false;
    }
    bytes->assign(reinterpret_cast<const char *>(CFDataGetBytePtr(data)), static_cast<std::size_t>(CFDataGetLength(data)));
    return true;
}

}  // namespace sc

extern "C" Boolean SCPreferencesCommitChanges(SCPreferencesRef prefs)
{
    sc::PrefsImpl *p = sc::PrefsOf(prefs);
    if (p == nullptr) {
        return sc::Fail(kSCStatusInvalidArgument);
    }
    if (int armed = sc::ArmedFailure("SCPreferencesCommitChanges")) {
        return sc::Fail(armed);
    }
    if (!p->changed) {
        return sc::Succeed();
    }
    sc::RunCommitHook(p->path);
    std::string bytes;
    if (!sc::XMLBytesOf(p->root, &bytes)) {
        return sc::Fail(kSCStatusFailed);
    }
    sc::FileLock commitLock;
    if (int status = commitLock.Acquire(p->path + "-commit-lock", true, true, true); status != 0) {
        return sc::Fail(status);
    }
    sc::FileBytes current;
    if (int status = sc::ReadFileBytes(p->path, &current); status != 0) {
        return sc::Fail(status);
    }
    if (sc::DigestOf(current) != p->digest) {
        return sc::Fail(kSCStatusStale);
    }
    if (int status = sc::ReplaceFileAtomically(p->path, bytes, true); status != 0) {
        return sc::Fail(status);
    }
    p->digest = sc::DigestOf(sc::FileBytes{true, std::move(bytes)});
    p->changed = false;
    p->asRead = false;  // the tree was written, not parsed: reading the bytes back may differ in form
    return sc::Succeed();
}
