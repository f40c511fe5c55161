// CFURL (file URLs) and reading the resources they name.
#include "StringInternal.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace cf;

struct __CFURL final : Object {
    CFStringRef text;  // the whole absolute URL
    explicit __CFURL(CFStringRef t) : Object(kTypeURL), text(t) {}
    ~__CFURL() override { CFRelease(text); }
    const char *className() const override { return "CFURL"; }
    bool equal(const Object *other) const override { return CFEqual(text, static_cast<const __CFURL *>(other)->text); }
    CFHashCode hash() const override { return CFHash(text); }
    std::u16string describe() const override { return stringText(text); }
};

namespace {

const __CFURL *url(CFURLRef u) { return as<__CFURL>(u, kTypeURL); }

bool unreservedPathByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/' || c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' || c == ')' ||
           c == '*' || c == '+' || c == ',' || c == ';' || c == '=' || c == ':' || c == '@';
}

std::string percentEncode(const std::string &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (unreservedPathByte(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::string percentDecode(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() + 0 && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Splits "scheme://authority/path" into the prefix up to the path and the (encoded) path.
void splitURL(const std::string &whole, std::string &prefix, std::string &path)
{
    size_t colon = whole.find(':');
    size_t start = colon == std::string::npos ? 0 : colon + 1;
    if (whole.compare(start, 2, "//") == 0) {
        size_t slash = whole.find('/', start + 2);
        start = slash == std::string::npos ? whole.size() : slash;
    }
    size_t end = whole.find_first_of("?#", start);
    prefix = whole.substr(0, start);
    path = whole.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string urlText(CFURLRef u) { return stringUTF8(url(u)->text); }

CFURLRef makeURL(const std::string &whole)
{
    CFStringRef text = makeStringUTF8(whole);
    if (text == nullptr) {
        return nullptr;
    }
    return new __CFURL(text);
}

// Decoded file-system path of a file URL (no trailing slash except for "/").
bool filePath(CFURLRef u, std::string &out)
{
    const __CFURL *p = url(u);
    if (p == nullptr) {
        return false;
    }
    std::string prefix;
    std::string path;
    splitURL(urlText(u), prefix, path);
    out = percentDecode(path);
    while (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    return !out.empty();
}

CFURLRef createFromPath(const std::string &rawPath, bool isDirectory)
{
    std::string path = rawPath;
    if (path.empty()) {
        return nullptr;
    }
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd) == nullptr) {
            return nullptr;
        }
        std::string base = cwd;
        path = (base == "/" ? base : base + "/") + path;
    }
    if (isDirectory && path.back() != '/') {
        path.push_back('/');
    }
    return makeURL("file://" + percentEncode(path));
}

SInt32 errorFromErrno(int e)
{
    switch (e) {
    case ENOENT:
    case ENOTDIR: return kCFURLResourceNotFoundError;
    case EACCES:
    case EPERM:
    case EROFS: return kCFURLResourceAccessViolationError;
    default: return kCFURLUnknownError;
    }
}

// A copy of the URL whose path the edit has changed (scheme, authority and nothing else kept).
template <typename Edit> CFURLRef copyWithEditedPath(CFURLRef u, Edit edit)
{
    if (url(u) == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::string prefix;
    std::string path;
    splitURL(urlText(u), prefix, path);
    edit(path);
    return makeURL(prefix + path);
}

}  // namespace

CF_CONSTANT_STRING(kCFURLFileExists, "kCFURLFileExists")
CF_CONSTANT_STRING(kCFURLFileDirectoryContents, "kCFURLFileDirectoryContents")
CF_CONSTANT_STRING(kCFURLFileLength, "kCFURLFileLength")
CF_CONSTANT_STRING(kCFURLFileLastModificationTime, "kCFURLFileLastModificationTime")
CF_CONSTANT_STRING(kCFURLFilePOSIXMode, "kCFURLFilePOSIXMode")
CF_CONSTANT_STRING(kCFURLFileOwnerID, "kCFURLFileOwnerID")

extern "C" {

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8 *buffer, CFIndex bufLen, Boolean isDirectory)
{
    if (buffer == nullptr || bufLen <= 0) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::string path(reinterpret_cast<const char *>(buffer), static_cast<size_t>(bufLen));
    size_t nul = path.find('\0');
    if (nul != std::string::npos) {
        path.resize(nul);
    }
    return createFromPath(path, isDirectory != 0);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef u, Boolean, UInt8 *buffer, CFIndex maxBufLen)
{
    std::string path;
    if (buffer == nullptr || maxBufLen <= 0 || !filePath(u, path) || static_cast<CFIndex>(path.size()) + 1 > maxBufLen) {
        return false;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL)
{
    if (url(anURL) == nullptr) {
        return false;
    }
    std::string prefix;
    std::string path;
    splitURL(urlText(anURL), prefix, path);
    return !path.empty() && path.back() == '/';
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef u, CFStringRef pathComponent, Boolean isDirectory)
{
    if (pathComponent == nullptr) {
        return nullptr;
    }
    return copyWithEditedPath(u, [&](std::string &path) {
        if (path.empty() || path.back() != '/') {
            path.push_back('/');
        }
        std::string component = percentEncode(stringUTF8(pathComponent));
        while (!component.empty() && component[0] == '/') {
            component.erase(0, 1);
        }
        path += component;
        if (isDirectory && (path.empty() || path.back() != '/')) {
            path.push_back('/');
        }
    });
}

// ---- Resources ----

static CFDictionaryRef fileProperties(const std::string &path, CFArrayRef desired, const struct stat *st)
{
    CFMutableDictionaryRef props =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    auto wanted = [desired](CFStringRef key) {
        return desired == nullptr || CFArrayGetFirstIndexOfValue(desired, CFRangeMake(0, CFArrayGetCount(desired)), key) != kCFNotFound;
    };
    if (wanted(kCFURLFileExists)) {
        CFDictionarySetValue(props, kCFURLFileExists, st != nullptr ? kCFBooleanTrue : kCFBooleanFalse);
    }
    if (st == nullptr) {
        return props;
    }
    if (wanted(kCFURLFileLength)) {
        SInt64 size = st->st_size;
        CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt64Type, &size);
        CFDictionarySetValue(props, kCFURLFileLength, n);
        CFRelease(n);
    }
    if (wanted(kCFURLFileLastModificationTime)) {
        CFDateRef d = CFDateCreate(nullptr, static_cast<double>(st->st_mtim.tv_sec) +
                                                static_cast<double>(st->st_mtim.tv_nsec) * 1e-9 -
                                                static_cast<double>(kCFAbsoluteTimeIntervalSince1970));
        CFDictionarySetValue(props, kCFURLFileLastModificationTime, d);
        CFRelease(d);
    }
    if (wanted(kCFURLFilePOSIXMode)) {
        SInt32 mode = static_cast<SInt32>(st->st_mode & 07777);
        CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &mode);
        CFDictionarySetValue(props, kCFURLFilePOSIXMode, n);
        CFRelease(n);
    }
    if (wanted(kCFURLFileOwnerID)) {
        SInt32 owner = static_cast<SInt32>(st->st_uid);
        CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &owner);
        CFDictionarySetValue(props, kCFURLFileOwnerID, n);
        CFRelease(n);
    }
    if (wanted(kCFURLFileDirectoryContents) && S_ISDIR(st->st_mode)) {
        CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        if (DIR *dir = opendir(path.c_str())) {
            while (struct dirent *entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name == "." || name == "..") {
                    continue;
                }
                CFURLRef child = createFromPath(path + (path == "/" ? "" : "/") + name, entry->d_type == DT_DIR);
                if (child != nullptr) {
                    CFArrayAppendValue(list, child);
                    CFRelease(child);
                }
            }
            closedir(dir);
        }
        CFDictionarySetValue(props, kCFURLFileDirectoryContents, list);
        CFRelease(list);
    }
    return props;
}

Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef, CFURLRef u, CFDataRef *resourceData,
                                                 CFDictionaryRef *properties, CFArrayRef desiredProperties,
                                                 SInt32 *errorCode)
{
    if (resourceData != nullptr) {
        *resourceData = nullptr;
    }
    if (properties != nullptr) {
        *properties = nullptr;
    }
    SInt32 ignored = 0;
    SInt32 &code = errorCode != nullptr ? *errorCode : ignored;
    code = 0;
    std::string path;
    if (!filePath(u, path)) {
        code = kCFURLImproperArgumentsError;
        return false;
    }
    CF_CREATE_OR_RETURN(false);
    struct stat st {};
    bool exists = stat(path.c_str(), &st) == 0;
    int statErrno = errno;
    if (resourceData != nullptr) {
        if (!exists) {
            code = errorFromErrno(statErrno);
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            code = kCFURLUnknownError;
            return false;
        }
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            code = errorFromErrno(errno);
            return false;
        }
        std::vector<UInt8> bytes;
        UInt8 chunk[65536];
        while (true) {
            ssize_t n = read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                code = errorFromErrno(errno);
                close(fd);
                return false;
            }
            if (n == 0) {
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        close(fd);
        *resourceData = CFDataCreate(nullptr, bytes.data(), static_cast<CFIndex>(bytes.size()));
    }
    if (properties != nullptr) {
        *properties = fileProperties(path, desiredProperties, exists ? &st : nullptr);
    }
    return true;
}

}  // extern "C"

namespace cf {
// For the bundle code: the file-system path of a file URL.
bool urlFilePath(CFURLRef u, std::string &path) { return filePath(u, path); }
}  // namespace cf
