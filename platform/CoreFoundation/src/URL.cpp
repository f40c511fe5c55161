// CFURL (file URLs and plain URL strings) and reading and writing the resources file URLs name.
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

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
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

bool isFileURL(CFURLRef u)
{
    std::string text = urlText(u);
    return text.compare(0, 5, "file:") == 0;
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

CFTypeID CFURLGetTypeID(void) { return kTypeURL; }

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle pathStyle, Boolean isDirectory)
{
    if (filePath == nullptr || pathStyle != kCFURLPOSIXPathStyle) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return createFromPath(stringUTF8(filePath), isDirectory != 0);
}

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

CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef URLString, CFURLRef baseURL)
{
    if (URLString == nullptr) {
        return nullptr;
    }
    std::string text = stringUTF8(URLString);
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
            c == '{' || c == '|' || c == '}') {
            return nullptr;  // not a valid URL text
        }
    }
    size_t colon = text.find(':');
    bool hasScheme = colon != std::string::npos && colon > 0 && text.find('/') > colon;
    if (!hasScheme && url(baseURL) == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    if (hasScheme) {
        return makeURL(text);
    }
    std::string prefix;
    std::string path;
    splitURL(urlText(baseURL), prefix, path);
    if (!text.empty() && text[0] == '/') {
        return makeURL(prefix + text);
    }
    size_t cut = path.rfind('/');
    std::string dir = cut == std::string::npos ? "/" : path.substr(0, cut + 1);
    return makeURL(prefix + dir + text);
}

CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL)
{
    if (url(relativeURL) == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    CFRetain(relativeURL);
    return relativeURL;
}

CFStringRef CFURLGetString(CFURLRef anURL)
{
    const __CFURL *p = url(anURL);
    return p == nullptr ? nullptr : p->text;
}

CFURLRef CFURLGetBaseURL(CFURLRef) { return nullptr; }

CFStringRef CFURLCopyScheme(CFURLRef anURL)
{
    if (url(anURL) == nullptr) {
        return nullptr;
    }
    std::string text = urlText(anURL);
    size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeStringUTF8(text.substr(0, colon));
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle)
{
    std::string path;
    if (pathStyle != kCFURLPOSIXPathStyle || !filePath(anURL, path)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeStringUTF8(path);
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

CFStringRef CFURLCopyLastPathComponent(CFURLRef u)
{
    std::string path;
    if (!filePath(u, path)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    size_t cut = path.rfind('/');
    return makeStringUTF8(path == "/" ? path : path.substr(cut + 1));
}

CFStringRef CFURLCopyPathExtension(CFURLRef u)
{
    std::string path;
    if (!filePath(u, path)) {
        return nullptr;
    }
    std::string last = path.substr(path.rfind('/') + 1);
    size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeStringUTF8(last.substr(dot + 1));
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

CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef, CFURLRef u)
{
    return copyWithEditedPath(u, [](std::string &path) {
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        size_t cut = path.rfind('/');
        path = cut == std::string::npos ? "/" : path.substr(0, cut + 1);
    });
}

CFURLRef CFURLCreateCopyAppendingPathExtension(CFAllocatorRef, CFURLRef u, CFStringRef extension)
{
    if (extension == nullptr) {
        return nullptr;
    }
    return copyWithEditedPath(u, [&](std::string &path) {
        bool dir = !path.empty() && path.back() == '/';
        if (dir) {
            path.pop_back();
        }
        path.push_back('.');
        path.append(percentEncode(stringUTF8(extension)));
        if (dir) {
            path.push_back('/');
        }
    });
}

CFURLRef CFURLCreateCopyDeletingPathExtension(CFAllocatorRef, CFURLRef u)
{
    return copyWithEditedPath(u, [](std::string &path) {
        bool dir = !path.empty() && path.back() == '/' && path.size() > 1;
        if (dir) {
            path.pop_back();
        }
        size_t slash = path.rfind('/');
        size_t dot = path.rfind('.');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) {
            path.resize(dot);
        }
        if (dir) {
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
        return desired == nullptr || CFArrayContainsValue(desired, CFRangeMake(0, CFArrayGetCount(desired)), key);
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
    if (url(u) == nullptr) {
        code = kCFURLImproperArgumentsError;
        return false;
    }
    if (!isFileURL(u)) {
        code = kCFURLUnknownSchemeError;
        return false;
    }
    CF_CREATE_OR_RETURN(false);
    std::string path;
    if (!filePath(u, path)) {
        code = kCFURLImproperArgumentsError;
        return false;
    }
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

Boolean CFURLWriteDataAndPropertiesToResource(CFURLRef u, CFDataRef dataToWrite, CFDictionaryRef, SInt32 *errorCode)
{
    SInt32 ignored = 0;
    SInt32 &code = errorCode != nullptr ? *errorCode : ignored;
    code = 0;
    std::string path;
    if (url(u) == nullptr || !isFileURL(u) || !filePath(u, path)) {
        code = url(u) == nullptr ? kCFURLImproperArgumentsError : kCFURLUnknownSchemeError;
        return false;
    }
    if (CFURLHasDirectoryPath(u)) {
        if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
            code = errorFromErrno(errno);
            return false;
        }
        return true;
    }
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        code = errorFromErrno(errno);
        return false;
    }
    const UInt8 *p = dataToWrite != nullptr ? CFDataGetBytePtr(dataToWrite) : nullptr;
    CFIndex left = dataToWrite != nullptr ? CFDataGetLength(dataToWrite) : 0;
    while (left > 0) {
        ssize_t n = write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            code = errorFromErrno(errno);
            close(fd);
            return false;
        }
        p += n;
        left -= n;
    }
    if (close(fd) != 0) {
        code = errorFromErrno(errno);
        return false;
    }
    return true;
}

Boolean CFURLDestroyResource(CFURLRef u, SInt32 *errorCode)
{
    SInt32 ignored = 0;
    SInt32 &code = errorCode != nullptr ? *errorCode : ignored;
    code = 0;
    std::string path;
    if (url(u) == nullptr || !isFileURL(u) || !filePath(u, path)) {
        code = kCFURLImproperArgumentsError;
        return false;
    }
    if (unlink(path.c_str()) != 0 && (errno != EISDIR || rmdir(path.c_str()) != 0)) {
        if (errno == EISDIR || errno == EPERM) {
            if (rmdir(path.c_str()) == 0) {
                return true;
            }
        }
        code = errorFromErrno(errno);
        return false;
    }
    return true;
}

CFTypeRef CFURLCreatePropertyFromResource(CFAllocatorRef alloc, CFURLRef u, CFStringRef property, SInt32 *errorCode)
{
    if (property == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    const void *keys[] = {property};
    CFArrayRef desired = CFArrayCreate(alloc, keys, 1, &kCFTypeArrayCallBacks);
    CFDictionaryRef props = nullptr;
    CFTypeRef result = nullptr;
    if (CFURLCreateDataAndPropertiesFromResource(alloc, u, nullptr, &props, desired, errorCode) && props != nullptr) {
        result = CFDictionaryGetValue(props, property);
        if (result != nullptr) {
            CFRetain(result);
        } else if (errorCode != nullptr) {
            *errorCode = kCFURLPropertyKeyUnavailableError;
        }
    }
    CFRelease(props);
    CFRelease(desired);
    return result;
}

}  // extern "C"

namespace cf {
// For the bundle code: the file-system path of a file URL.
bool urlFilePath(CFURLRef u, std::string &path) { return filePath(u, path); }
CFURLRef urlFromPath(const std::string &path, bool isDirectory) { return createFromPath(path, isDirectory); }
}  // namespace cf
