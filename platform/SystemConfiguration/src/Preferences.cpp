// The preferences object: its creation (one read of the store) and its top-level values.
#include "SCInternal.h"

#include <filesystem>

namespace sc {

CFTypeID PrefsType()
{
    static const CFTypeID type = RegisterType<PrefsImpl>("SCPreferences");
    return type;
}

int ParseDictionary(std::string_view bytes, const char *what, const std::string &path, CFRef<CFMutableDictionaryRef> *out)
{
    std::string problem;
    CFRef<CFPropertyListRef> plist;
    if (bytes.empty()) {
        problem = "is empty";
    } else {
        CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), static_cast<CFIndex>(bytes.size())));
        if (!data) {
            return kSCStatusFailed;
        }
        plist.reset(CFPropertyListCreateWithData(nullptr, data, kCFPropertyListMutableContainers, nullptr, nullptr));
        if (!plist) {
            problem = "does not parse as a property list";
        } else if (CFGetTypeID(plist) != CFDictionaryGetTypeID()) {
            problem = "does not hold a dictionary at the top";
        }
    }
    if (!problem.empty()) {
        Diagnostics().Report(std::string(what) + " \"" + standin::Printable(path) + "\" " + problem + "; it is left as it is");
        return kSCStatusFailed;
    }
    out->reset(static_cast<CFMutableDictionaryRef>(const_cast<void *>(plist.release())));
    return 0;
}

int StoreOf(const FileBytes &file, const std::string &path, CFRef<CFMutableDictionaryRef> *root)
{
    if (!file.exists) {
        root->reset(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        return *root ? 0 : kSCStatusFailed;
    }
    return ParseDictionary(file.bytes, "preferences store", path, root);
}

int LoadStore(const std::string &path, CFRef<CFMutableDictionaryRef> *root, Digest *digest)
{
    FileBytes file;
    if (int status = ReadFileBytes(path, &file); status != 0) {
        return status;
    }
    if (int status = StoreOf(file, path, root); status != 0) {
        return status;
    }
    *digest = DigestOf(file);
    return 0;
}

void Retire(PrefsImpl &prefs, CFTypeRef value)
{
    if (value == nullptr) {
        return;
    }
    if (prefs.retired) {
        CFArrayAppendValue(prefs.retired, value);
    }
}

CFPropertyListRef MutableCopyOf(CFPropertyListRef value)
{
    if (value == nullptr) {
        return nullptr;
    }
    return CFPropertyListCreateDeepCopy(nullptr, value, kCFPropertyListMutableContainers);
}

namespace {

// The store file of an object: the platform's (or the seam's) for no identifier, else the
// identifier as a path, relative ones inside the platform store's folder.
std::string StorePathFor(CFStringRef prefsID)
{
    std::string standard = PreferencesPath();
    if (prefsID == nullptr) {
        return standard;
    }
    std::string id = standin::UTF8OrEmpty(prefsID);
    if (!id.empty() && id[0] == '/') {
        return id;
    }
    return (std::filesystem::path(standard).parent_path() / id).string();
}

bool IsKey(CFTypeRef key) { return key != nullptr && CFGetTypeID(key) == CFStringGetTypeID(); }

// Sets (replace true) or adds (replace false) a top-level value.
Boolean StoreValue(const char *call, SCPreferencesRef prefs, CFStringRef key, CFPropertyListRef value, bool replace)
{
    PrefsImpl *p = PrefsOf(prefs);
    if (p == nullptr || !IsKey(key) || value == nullptr) {
        return Fail(kSCStatusInvalidArgument);
    }
    if (int armed = ArmedFailure(call)) {
        return Fail(armed);
    }
    CFTypeRef old = CFDictionaryGetValue(p->root, key);
    if (old != nullptr && !replace) {
        return Fail(kSCStatusKeyExists);
    }
    CFRef<CFPropertyListRef> copy(MutableCopyOf(value));
    if (!copy) {
        return Fail(CFPropertyListIsValid(value, kCFPropertyListXMLFormat_v1_0) ? kSCStatusFailed : kSCStatusInvalidArgument);
    }
    Retire(*p, old);
    CFDictionarySetValue(p->root, key, copy);
    p->changed = true;
    return Succeed();
}

}  // namespace

}  // namespace sc

extern "C" CFTypeID SCPreferencesGetTypeID(void) { return sc::PrefsType(); }

extern "C" SCPreferencesRef SCPreferencesCreate(CFAllocatorRef allocator, CFStringRef name, CFStringRef prefsID)
{
    if (int armed = sc::ArmedFailure("SCPreferencesCreate")) {
        return sc::FailWith<const __SCPreferences>(armed);
    }
    standin::CreationScope scope;
    if (!scope.Granted()) {
        return sc::FailWith<const __SCPreferences>(kSCStatusFailed);
    }
    if (prefsID != nullptr && (CFGetTypeID(prefsID) != CFStringGetTypeID() || CFStringGetLength(prefsID) == 0)) {
        return sc::FailWith<const __SCPreferences>(kSCStatusInvalidArgument);
    }
    auto impl = std::make_unique<sc::PrefsImpl>();
    impl->name = standin::UTF8OrEmpty(name);
    impl->path = sc::StorePathFor(prefsID);
    if (int status = sc::LoadStore(impl->path, &impl->root, &impl->digest); status != 0) {
        return sc::FailWith<const __SCPreferences>(status);
    }
    impl->asRead = true;
    impl->retired.reset(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFTypeRef object = sc::NewObject(allocator, sc::PrefsType(), std::move(impl));
    if (object == nullptr) {
        return sc::FailWith<const __SCPreferences>(kSCStatusFailed);
    }
    return sc::Succeed(static_cast<SCPreferencesRef>(object));
}

extern "C" CFArrayRef SCPreferencesCopyKeyList(SCPreferencesRef prefs)
{
    sc::PrefsImpl *p = sc::PrefsOf(prefs);
    if (p == nullptr) {
        return sc::FailWith<const __CFArray>(kSCStatusInvalidArgument);
    }
    if (int armed = sc::ArmedFailure("SCPreferencesCopyKeyList")) {
        return sc::FailWith<const __CFArray>(armed);
    }
    standin::CreationScope scope;
    if (!scope.Granted()) {
        return sc::FailWith<const __CFArray>(kSCStatusFailed);
    }
    CFIndex count = CFDictionaryGetCount(p->root);
    std::vector<const void *> keys(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(p->root, keys.data(), nullptr);
    CFArrayRef list = CFArrayCreate(nullptr, keys.data(), count, &kCFTypeArrayCallBacks);
    return list != nullptr ? sc::Succeed(list) : sc::FailWith<const __CFArray>(kSCStatusFailed);
}

extern "C" CFPropertyListRef SCPreferencesGetValue(SCPreferencesRef prefs, CFStringRef key)
{
    sc::PrefsImpl *p = sc::PrefsOf(prefs);
    if (p == nullptr || !sc::IsKey(key)) {
        return sc::FailWith<const void>(kSCStatusInvalidArgument);
    }
    if (int armed = sc::ArmedFailure("SCPreferencesGetValue")) {
        return sc::FailWith<const void>(armed);
    }
    CFPropertyListRef value = CFDictionaryGetValue(p->root, key);
    return value != nullptr ? sc::Succeed(value) : sc::FailWith<const void>(kSCStatusNoKey);
}

extern "C" Boolean SCPreferencesSetValue(SCPreferencesRef prefs, CFStringRef key, CFPropertyListRef value)
{
    return sc::StoreValue("SCPreferencesSetValue", prefs, key, value, true);
}

extern "C" Boolean SCPreferencesAddValue(SCPreferencesRef prefs, CFStringRef key, CFPropertyListRef value)
{
    return sc::StoreValue("SCPreferencesAddValue", prefs, key, value, false);
}

extern "C" Boolean SCPreferencesRemoveValue(SCPreferencesRef prefs, CFStringRef key)
{
    sc::PrefsImpl *p = sc::PrefsOf(prefs);
    if (p == nullptr || !sc::IsKey(key)) {
        return sc::Fail(kSCStatusInvalidArgument);
    }
    if (int armed = sc::ArmedFailure("SCPreferencesRemoveValue")) {
        return sc::Fail(armed);
    }
    CFTypeRef old = CFDictionaryGetValue(p->root, key);
    if (old == nullptr) {
        return sc::Fail(kSCStatusNoKey);
    }
    sc::Retire(*p, old);
    CFDictionaryRemoveValue(p->root, key);
    p->changed = true;
    return sc::Succeed();
}
