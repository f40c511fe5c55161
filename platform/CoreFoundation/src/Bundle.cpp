// CFBundle: bundle folders, their information dictionary, localized strings and executables
// (loaded with dlopen).
#include "StringInternal.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <limits.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace cf;

namespace {

bool isDirectory(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool readFile(const std::string &path, std::string &out)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    out.clear();
    char chunk[8192];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        out.append(chunk, n);
    }
    std::fclose(f);
    return true;
}

CFPropertyListRef readPropertyList(const std::string &bytes)
{
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), static_cast<CFIndex>(bytes.size()));
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, nullptr);
    CFRelease(data);
    return plist;
}

// ---- The strings-file text format: "key" = "value"; with comments ----

class StringsParser {
public:
    explicit StringsParser(std::u16string text) : t_(std::move(text)) {}

    bool parse(CFMutableDictionaryRef table)
    {
        while (true) {
            skipSpace();
            if (i_ >= t_.size()) {
                return true;
            }
            std::u16string key;
            if (!token(key)) {
                return false;
            }
            skipSpace();
            std::u16string value = key;
            if (i_ < t_.size() && t_[i_] == u'=') {
                ++i_;
                skipSpace();
                if (!token(value)) {
                    return false;
                }
                skipSpace();
            }
            if (i_ >= t_.size() || t_[i_] != u';') {
                return false;
            }
            ++i_;
            CFStringRef k = makeString(key);
            CFStringRef v = makeString(value);
            CFDictionarySetValue(table, k, v);
            CFRelease(k);
            CFRelease(v);
        }
    }

private:
    void skipSpace()
    {
        while (i_ < t_.size()) {
            char16_t c = t_[i_];
            if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == 0xFEFF) {
                ++i_;
            } else if (c == u'/' && i_ + 1 < t_.size() && t_[i_ + 1] == u'*') {
                size_t end = t_.find(u"*/", i_ + 2);
                i_ = end == std::u16string::npos ? t_.size() : end + 2;
            } else if (c == u'/' && i_ + 1 < t_.size() && t_[i_ + 1] == u'/') {
                size_t end = t_.find(u'\n', i_);
                i_ = end == std::u16string::npos ? t_.size() : end + 1;
            } else {
                return;
            }
        }
    }

    static bool plain(char16_t c)
    {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
               c == u'$' || c == u'+' || c == u'/' || c == u':' || c == u'.' || c == u'-';
    }

    bool token(std::u16string &out)
    {
        out.clear();
        if (i_ >= t_.size()) {
            return false;
        }
        if (t_[i_] != u'"') {
            while (i_ < t_.size() && plain(t_[i_])) {
                out.push_back(t_[i_++]);
            }
            return !out.empty();
        }
        ++i_;
        while (i_ < t_.size() && t_[i_] != u'"') {
            char16_t c = t_[i_++];
            if (c != u'\\') {
                out.push_back(c);
                continue;
            }
            if (i_ >= t_.size()) {
                return false;
            }
            char16_t e = t_[i_++];
            switch (e) {
            case u'n': out.push_back(u'\n'); break;
            case u't': out.push_back(u'\t'); break;
            case u'r': out.push_back(u'\r'); break;
            case u'a': out.push_back(u'\a'); break;
            case u'b': out.push_back(u'\b'); break;
            case u'f': out.push_back(u'\f'); break;
            case u'v': out.push_back(u'\v'); break;
            case u'U':
            case u'u': {
                unsigned value = 0;
                int digits = 0;
                while (digits < 4 && i_ < t_.size() && std::isxdigit(static_cast<int>(t_[i_] < 128 ? t_[i_] : 0))) {
                    char16_t h = t_[i_++];
                    value = value * 16 + static_cast<unsigned>(h <= u'9' ? h - u'0' : (h | 0x20) - u'a' + 10);
                    ++digits;
                }
                out.push_back(static_cast<char16_t>(value));
                break;
            }
            default:
                if (e >= u'0' && e <= u'7') {
                    unsigned value = static_cast<unsigned>(e - u'0');
                    for (int k = 0; k < 2 && i_ < t_.size() && t_[i_] >= u'0' && t_[i_] <= u'7'; ++k) {
                        value = value * 8 + static_cast<unsigned>(t_[i_++] - u'0');
                    }
                    out.push_back(static_cast<char16_t>(value));
                } else {
                    out.push_back(e);
                }
            }
        }
        if (i_ >= t_.size()) {
            return false;
        }
        ++i_;
        return true;
    }

    std::u16string t_;
    size_t i_ = 0;
};

// A strings file: the text format (UTF-8, or UTF-16 with a byte-order mark) or a property list.
CFDictionaryRef loadStrings(const std::string &path)
{
    std::string bytes;
    if (!readFile(path, bytes)) {
        return nullptr;
    }
    if (bytes.compare(0, 5, "<?xml") == 0 || bytes.compare(0, 6, "<plist") == 0) {
        CFPropertyListRef plist = readPropertyList(bytes);
        if (plist != nullptr && CFGetTypeID(plist) == CFDictionaryGetTypeID()) {
            return static_cast<CFDictionaryRef>(plist);
        }
        CFRelease(plist);
        report("strings file " + path + " is not a dictionary; ignored");
        return nullptr;
    }
    std::u16string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
               static_cast<unsigned char>(bytes[1]) == 0xFF) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text.push_back(static_cast<char16_t>((static_cast<unsigned char>(bytes[i]) << 8) |
                                                 static_cast<unsigned char>(bytes[i + 1])));
        }
    } else if (!fromUTF8Strict(bytes, text)) {
        report("strings file " + path + " is not UTF-8 or UTF-16; ignored");
        return nullptr;
    }
    CFMutableDictionaryRef table =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    StringsParser parser(text);
    if (!parser.parse(table)) {
        report("strings file " + path + " has a syntax error; ignored");
        CFRelease(table);
        return nullptr;
    }
    return table;
}

}  // namespace

struct __CFBundle final : Object {
    std::string path;        // the bundle folder
    std::string root;        // folder holding Info.plist, Resources, the executable
    std::string infoPath;
    std::string resources;
    std::string executableDir;
    CFDictionaryRef info = nullptr;
    std::map<std::string, CFDictionaryRef> tables;
    void *handle = nullptr;
    std::mutex lock;

    explicit __CFBundle(std::string p) : Object(kTypeBundle), path(std::move(p)) { locate(); }
    // The main bundle lives for the life of the process.
    __CFBundle(std::string p, Immortal tag) : Object(kTypeBundle, tag), path(std::move(p)) { locate(); }

    void locate()
    {
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        if (isDirectory(path + "/Contents")) {
            root = path + "/Contents";
            infoPath = root + "/Info.plist";
            resources = root + "/Resources";
            executableDir = root + "/MacOS";
        } else {
            root = isDirectory(path + "/Versions/Current") ? path + "/Versions/Current" : path;
            infoPath = isFile(root + "/Resources/Info.plist") ? root + "/Resources/Info.plist" : root + "/Info.plist";
            resources = root + "/Resources";
            executableDir = root;
        }
    }
    ~__CFBundle() override
    {
        CFRelease(info);
        for (auto &entry : tables) {
            CFRelease(entry.second);
        }
        if (handle != nullptr) {
            dlclose(handle);
        }
    }
    const char *className() const override { return "CFBundle"; }
    std::u16string describe() const override { return u16("CFBundle <") + fromUTF8(path) + u16(">"); }

    CFDictionaryRef infoDictionary()
    {
        std::lock_guard<std::mutex> guard(lock);
        if (info == nullptr) {
            UncountedCreationScope scope;
            std::string bytes;
            CFPropertyListRef plist = readFile(infoPath, bytes) ? readPropertyList(bytes) : nullptr;
            if (plist != nullptr && CFGetTypeID(plist) == CFDictionaryGetTypeID()) {
                info = static_cast<CFDictionaryRef>(plist);
            } else {
                if (plist != nullptr || !bytes.empty()) {
                    report(infoPath + " is not a property-list dictionary; ignored");
                }
                CFRelease(plist);
                info = CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                          &kCFTypeDictionaryValueCallBacks);
            }
        }
        return info;
    }

    std::string infoText(CFStringRef key)
    {
        CFTypeRef value = CFDictionaryGetValue(infoDictionary(), key);
        return (value != nullptr && CFGetTypeID(value) == CFStringGetTypeID()) ? stringUTF8(static_cast<CFStringRef>(value))
                                                                               : std::string();
    }

    std::string executablePath()
    {
        std::string name = infoText(kCFBundleExecutableKey);
        if (name.empty()) {
            std::string last = path.substr(path.rfind('/') + 1);
            size_t dot = last.rfind('.');
            name = dot == std::string::npos ? last : last.substr(0, dot);
        }
        for (const std::string &candidate :
             {executableDir + "/" + name, executableDir + "/" + name + ".so", executableDir + "/lib" + name + ".so"}) {
            if (isFile(candidate)) {
                return candidate;
            }
        }
        return std::string();
    }

    CFDictionaryRef table(const std::string &name)
    {
        std::lock_guard<std::mutex> guard(lock);
        auto found = tables.find(name);
        if (found != tables.end()) {
            return found->second;
        }
        std::vector<std::string> languages;
        std::string region;
        {
            CFTypeRef value = info != nullptr ? CFDictionaryGetValue(info, kCFBundleDevelopmentRegionKey) : nullptr;
            if (value != nullptr && CFGetTypeID(value) == CFStringGetTypeID()) {
                region = stringUTF8(static_cast<CFStringRef>(value));
            }
        }
        if (!region.empty()) {
            languages.push_back(region);
        }
        for (const char *l : {"en", "English", "Base"}) {
            languages.emplace_back(l);
        }
        CFDictionaryRef loaded = nullptr;
        UncountedCreationScope scope;
        for (const std::string &language : languages) {
            std::string file = resources + "/" + language + ".lproj/" + name + ".strings";
            if (isFile(file) && (loaded = loadStrings(file)) != nullptr) {
                break;
            }
        }
        if (loaded == nullptr && isFile(resources + "/" + name + ".strings")) {
            loaded = loadStrings(resources + "/" + name + ".strings");
        }
        if (loaded == nullptr) {
            loaded = CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                        &kCFTypeDictionaryValueCallBacks);
        }
        tables.emplace(name, loaded);
        return loaded;
    }
};

namespace {

__CFBundle *bundle(CFBundleRef b) { return const_cast<__CFBundle *>(as<__CFBundle>(b, kTypeBundle)); }

std::mutex gMainLock;
__CFBundle *gMainBundle = nullptr;
std::string gMainOverride;
bool gHaveOverride = false;
std::vector<__CFBundle *> &retiredMainBundles()
{
    static auto *retired = new std::vector<__CFBundle *>();
    return *retired;
}

std::string mainBundlePath()
{
    if (gHaveOverride) {
        return gMainOverride;
    }
    const char *env = std::getenv("PLATFORM_MAIN_BUNDLE");
    if (env != nullptr && *env != '\0') {
        return env;
    }
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        return "/";
    }
    exe[n] = '\0';
    std::string dir(exe);
    dir = dir.substr(0, dir.rfind('/'));
    const std::string macos = "/Contents/MacOS";
    if (dir.size() > macos.size() && dir.compare(dir.size() - macos.size(), macos.size(), macos) == 0) {
        return dir.substr(0, dir.size() - macos.size());
    }
    return dir.empty() ? "/" : dir;
}

}  // namespace

CF_CONSTANT_STRING(kCFBundleInfoDictionaryVersionKey, "CFBundleInfoDictionaryVersion")
CF_CONSTANT_STRING(kCFBundleExecutableKey, "CFBundleExecutable")
CF_CONSTANT_STRING(kCFBundleIdentifierKey, "CFBundleIdentifier")
CF_CONSTANT_STRING(kCFBundleVersionKey, "CFBundleVersion")
CF_CONSTANT_STRING(kCFBundleDevelopmentRegionKey, "CFBundleDevelopmentRegion")
CF_CONSTANT_STRING(kCFBundleNameKey, "CFBundleName")

void cf::resetMainBundle(const char *path)
{
    std::lock_guard<std::mutex> guard(gMainLock);
    gHaveOverride = path != nullptr;
    gMainOverride = path != nullptr ? path : "";
    if (gMainBundle != nullptr) {
        retiredMainBundles().push_back(gMainBundle);  // callers may still hold it (borrowed)
        gMainBundle = nullptr;
    }
}

extern "C" {

CFBundleRef CFBundleGetMainBundle(void)
{
    std::lock_guard<std::mutex> guard(gMainLock);
    if (gMainBundle == nullptr) {
        gMainBundle = new __CFBundle(mainBundlePath(), Object::Immortal{});
    }
    return gMainBundle;
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL)
{
    std::string path;
    if (bundleURL == nullptr || !urlFilePath(bundleURL, path) || !isDirectory(path)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return new __CFBundle(path);
}

CFStringRef CFBundleCopyLocalizedString(CFBundleRef b, CFStringRef key, CFStringRef value, CFStringRef tableName)
{
    __CFBundle *p = bundle(b);
    if (p == nullptr || key == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    p->infoDictionary();
    std::string table = tableName != nullptr && CFStringGetLength(tableName) > 0 ? stringUTF8(tableName) : "Localizable";
    CFTypeRef found = CFDictionaryGetValue(p->table(table), key);
    if (found != nullptr && CFGetTypeID(found) == CFStringGetTypeID()) {
        return CFStringCreateCopy(nullptr, static_cast<CFStringRef>(found));
    }
    if (value != nullptr && CFStringGetLength(value) > 0) {
        return CFStringCreateCopy(nullptr, value);
    }
    return CFStringCreateCopy(nullptr, key);
}

Boolean CFBundleLoadExecutable(CFBundleRef b)
{
    __CFBundle *p = bundle(b);
    if (p == nullptr) {
        return false;
    }
    if (p->handle != nullptr) {
        return true;
    }
    std::string exe = p->executablePath();
    if (exe.empty()) {
        report("bundle " + p->path + " has no executable to load");
        return false;
    }
    p->handle = dlopen(exe.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (p->handle == nullptr) {
        const char *why = dlerror();
        report("bundle executable " + exe + " not loaded: " + (why != nullptr ? why : "unknown error"));
        return false;
    }
    return true;
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef b)
{
    __CFBundle *p = bundle(b);
    return p != nullptr && p->handle != nullptr;
}

void *CFBundleGetFunctionPointerForName(CFBundleRef b, CFStringRef functionName)
{
    __CFBundle *p = bundle(b);
    if (p == nullptr || functionName == nullptr || !CFBundleLoadExecutable(b)) {
        return nullptr;
    }
    return dlsym(p->handle, stringUTF8(functionName).c_str());
}

}  // extern "C"
