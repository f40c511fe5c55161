// Paths into the preferences store: walking "/"-separated keys through nested dictionaries and
// links, the SCPreferencesPath calls, and the look-ups the views and apply share (the current
// set, a set's linked services).
#include "SCInternal.h"

#include <algorithm>

namespace sc {

namespace {

constexpr int kMaxLinks = 8;

bool IsDictionary(CFTypeRef value) { return value != nullptr && CFGetTypeID(value) == CFDictionaryGetTypeID(); }

int Walk(CFDictionaryRef root, const PathKeys &keys, std::size_t count, bool followLast, CFDictionaryRef *out,
         std::size_t *reached, int *links)
{
    CFDictionaryRef dict = root;
    for (std::size_t i = 0; i < count; i++) {
        CFTypeRef value = CFDictionaryGetValue(dict, keys[i]);
        if (value == nullptr && reached != nullptr) {
            *reached = i;
            *out = dict;
            return 0;
        }
        if (!IsDictionary(value)) {
            return kSCStatusNoKey;
        }
        dict = static_cast<CFDictionaryRef>(value);
        CFTypeRef link = CFDictionaryGetValue(dict, kSCResvLink);
        if (link != nullptr && (i + 1 < count || followLast)) {
            if (++*links > kMaxLinks) {
                return kSCStatusMaxLink;
            }
            PathKeys target;
            if (int status = SplitPath(link, &target); status != 0) {
                return status == kSCStatusFailed ? status : kSCStatusNoLink;
            }
            if (int status = Walk(root, target, target.size(), true, &dict, nullptr, links); status != 0) {
                return status;
            }
        }
    }
    if (reached != nullptr) {
        *reached = count;
    }
    *out = dict;
    return 0;
}

CFMutableDictionaryRef Mutable(CFDictionaryRef dict)
{
    // Every dictionary of a store is mutable: stores are read, and values copied in, with
    // mutable containers.
    return const_cast<CFMutableDictionaryRef>(dict);
}

// Stores value (already the object's own copy) at the path, creating the missing dictionaries
// on the way in one step, so that a failure changes nothing.
int StoreAtPath(PrefsImpl &p, const PathKeys &keys, CFTypeRef value)
{
    if (keys.empty()) {
        return kSCStatusInvalidArgument;  // the root itself is not replaced
    }
    CFDictionaryRef parent = nullptr;
    std::size_t reached = 0;
    if (int status = WalkPath(p.root, keys, keys.size() - 1, true, &parent, &reached); status != 0) {
        return status;
    }
    CFRef<CFTypeRef> node = CFRef<CFTypeRef>::Retained(value);
    for (std::size_t i = keys.size() - 1; i > reached; i--) {
        CFRef<CFMutableDictionaryRef> wrapper(
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        if (!wrapper) {
            return kSCStatusFailed;
        }
        CFDictionarySetValue(wrapper, keys[i], node);
        node.reset(wrapper.release());
    }
    Retire(p, CFDictionaryGetValue(parent, keys[reached]));
    CFDictionarySetValue(Mutable(parent), keys[reached], node);
    p.changed = true;
    return 0;
}

// Common entry of the path calls: the object's record and the path's keys, or a status.
int Enter(const char *call, SCPreferencesRef prefs, CFStringRef path, PrefsImpl **p, PathKeys *keys)
{
    *p = PrefsOf(prefs);
    if (*p == nullptr) {
        return kSCStatusInvalidArgument;
    }
    if (int armed = ArmedFailure(call)) {
        return armed;
    }
    return SplitPath(path, keys);
}

CFStringRef CreateUniqueID()
{
    std::string deterministic = NextDeterministicID();
    if (!deterministic.empty()) {
        return CFStringCreateWithCString(nullptr, deterministic.c_str(), kCFStringEncodingUTF8);
    }
    CFRef<CFUUIDRef> uuid(CFUUIDCreate(nullptr));
    return uuid ? CFUUIDCreateString(nullptr, uuid) : nullptr;
}

}  // namespace

int SplitPath(CFTypeRef path, PathKeys *keys)
{
    keys->clear();
    std::optional<std::string> text = standin::UTF8Of(path);
    if (!text || text->empty() || (*text)[0] != '/') {
        return kSCStatusInvalidArgument;
    }
    if (*text == "/") {
        return 0;
    }
    std::size_t start = 1;
    for (;;) {
        std::size_t end = text->find('/', start);
        std::string key = text->substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (key.empty()) {
            keys->clear();
            return kSCStatusInvalidArgument;
        }
        CFRef<CFStringRef> string(CreateUTF8String(key));
        if (!string) {
            keys->clear();
            return kSCStatusFailed;
        }
        keys->push_back(std::move(string));
        if (end == std::string::npos) {
            return 0;
        }
        start = end + 1;
    }
}

int WalkPath(CFDictionaryRef root, const PathKeys &keys, std::size_t count, bool followLast, CFDictionaryRef *out,
             std::size_t *reached)
{
    int links = 0;
    return Walk(root, keys, count, followLast, out, reached, &links);
}

int LookUpPath(CFDictionaryRef root, CFTypeRef path, CFDictionaryRef *out)
{
    PathKeys keys;
    if (int status = SplitPath(path, &keys); status != 0) {
        return status;
    }
    return WalkPath(root, keys, keys.size(), true, out);
}

CFStringRef CreateUTF8String(std::string_view text)
{
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(text.data()), static_cast<CFIndex>(text.size()),
                                   kCFStringEncodingUTF8, false);
}

std::string LastComponent(CFStringRef path)
{
    std::string text = standin::UTF8OrEmpty(path);
    std::size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

int CurrentSetOf(CFDictionaryRef root, CFDictionaryRef *set, std::string *setID)
{
    CFTypeRef current = CFDictionaryGetValue(root, kSCPrefCurrentSet);
    if (current == nullptr || CFGetTypeID(current) != CFStringGetTypeID()) {
        return kSCStatusNoKey;
    }
    if (int status = LookUpPath(root, current, set); status != 0) {
        return status == kSCStatusFailed ? status : kSCStatusNoKey;
    }
    *setID = LastComponent(static_cast<CFStringRef>(current));
    return 0;
}

bool ForEachLinkedService(CFDictionaryRef root, CFDictionaryRef set,
                          const std::function<void(CFStringRef, CFDictionaryRef)> &visit)
{
    CFTypeRef network = CFDictionaryGetValue(set, kSCCompNetwork);
    CFTypeRef services = IsDictionary(network) ? CFDictionaryGetValue(static_cast<CFDictionaryRef>(network), kSCCompService)
                                               : nullptr;
    if (!IsDictionary(services)) {
        return true;
    }
    CFDictionaryRef links = static_cast<CFDictionaryRef>(services);
    std::vector<const void *> keys(static_cast<std::size_t>(CFDictionaryGetCount(links)));
    CFDictionaryGetKeysAndValues(links, keys.data(), nullptr);
    std::vector<std::pair<std::string, CFTypeRef>> ordered;
    for (const void *key : keys) {
        ordered.emplace_back(standin::UTF8OrEmpty(key), key);
    }
    std::sort(ordered.begin(), ordered.end());
    for (const auto &[text, key] : ordered) {
        CFTypeRef entry = CFDictionaryGetValue(links, key);
        CFTypeRef target = IsDictionary(entry) ? CFDictionaryGetValue(static_cast<CFDictionaryRef>(entry), kSCResvLink) : nullptr;
        CFDictionaryRef service = nullptr;
        int status = target != nullptr && CFGetTypeID(target) == CFStringGetTypeID() ? LookUpPath(root, target, &service)
                                                                                      : kSCStatusNoLink;
        if (status == kSCStatusFailed) {
            return false;
        }
        if (status != 0) {
            continue;  // a dangling or malformed link names no service
        }
        CFRef<CFStringRef> serviceID(CreateUTF8String(LastComponent(static_cast<CFStringRef>(target))));
        if (!serviceID) {
            return false;
        }
        visit(serviceID, service);
    }
    return true;
}

}  // namespace sc

extern "C" CFDictionaryRef SCPreferencesPathGetValue(SCPreferencesRef prefs, CFStringRef path)
{
    sc::PrefsImpl *p = nullptr;
    sc::PathKeys keys;
    if (int status = sc::Enter("SCPreferencesPathGetValue", prefs, path, &p, &keys); status != 0) {
        return sc::FailWith<const __CFDictionary>(status);
    }
    CFDictionaryRef value = nullptr;
    if (int status = sc::WalkPath(p->root, keys, keys.size(), false, &value); status != 0) {
        return sc::FailWith<const __CFDictionary>(status);
    }
    return sc::Succeed(value);
}

extern "C" CFStringRef SCPreferencesPathGetLink(SCPreferencesRef prefs, CFStringRef path)
{
    sc::PrefsImpl *p = nullptr;
    sc::PathKeys keys;
    if (int status = sc::Enter("SCPreferencesPathGetLink", prefs, path, &p, &keys); status != 0) {
        return sc::FailWith<const __CFString>(status);
    }
    CFDictionaryRef dict = nullptr;
    if (int status = sc::WalkPath(p->root, keys, keys.size(), false, &dict); status != 0) {
        return sc::FailWith<const __CFString>(status);
    }
    CFTypeRef link = CFDictionaryGetValue(dict, kSCResvLink);
    if (link == nullptr || CFGetTypeID(link) != CFStringGetTypeID()) {
        return sc::FailWith<const __CFString>(kSCStatusNoLink);
    }
    return sc::Succeed(static_cast<CFStringRef>(link));
}

extern "C" Boolean SCPreferencesPathSetValue(SCPreferencesRef prefs, CFStringRef path, CFDictionaryRef value)
{
    sc::PrefsImpl *p = nullptr;
    sc::PathKeys keys;
    if (int status = sc::Enter("SCPreferencesPathSetValue", prefs, path, &p, &keys); status != 0) {
        return sc::Fail(status);
    }
    if (!sc::IsDictionary(value)) {
        return sc::Fail(kSCStatusInvalidArgument);
    }
    sc::CFRef<CFPropertyListRef> copy(sc::MutableCopyOf(value));
    if (!copy) {
        return sc::Fail(CFPropertyListIsValid(value, kCFPropertyListXMLFormat_v1_0) ? kSCStatusFailed : kSCStatusInvalidArgument);
    }
    int status = sc::StoreAtPath(*p, keys, copy);
    return status == 0 ? sc::Succeed() : sc::Fail(status);
}

extern "C" Boolean SCPreferencesPathSetLink(SCPreferencesRef prefs, CFStringRef path, CFStringRef link)
{
    sc::PrefsImpl *p = nullptr;
    sc::PathKeys keys;
    if (int status = sc::Enter("SCPreferencesPathSetLink", prefs, path, &p, &keys); status != 0) {
        return sc::Fail(status);
    }
    sc::PathKeys target;
    if (int status = sc::SplitPath(link, &target); status != 0) {
        return sc::Fail(status);
    }
    sc::CFRef<CFMutableDictionaryRef> entry(
        CFDictionaryCreateMutable(nullptr, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    if (!entry) {
        return sc::Fail(kSCStatusFailed);
    }
    CFDictionarySetValue(entry, kSCResvLink, link);
    int status = sc::StoreAtPath(*p, keys, entry);
    return status == 0 ? sc::Succeed() : sc::Fail(status);
}

extern "C" Boolean SCPreferencesPathRemoveValue(SCPreferencesRef prefs, CFStringRef path)
{
    sc::PrefsImpl *p = nullptr;
    sc::PathKeys keys;
    if (int status = sc::Enter("SCPreferencesPathRemoveValue", prefs, path, &p, &keys); status != 0) {
        return sc::Fail(status);
    }
    if (keys.empty()) {
        return sc::Fail(kSCStatusInvalidArgument);
    }
    CFDictionaryRef parent = nullptr;
    if (int status = sc::WalkPath(p->root, keys, keys.size() - 1, true, &parent); status != 0) {
        return sc::Fail(status);
    }
    CFTypeRef old = CFDictionaryGetValue(parent, keys.back());
    if (old == nullptr) {
        return sc::Fail(kSCStatusNoKey);
    }
    sc::Retire(*p, old);
    CFDictionaryRemoveValue(sc::Mutable(parent), keys.back());
    p->changed = true;
    return sc::Succeed();
}

extern "C" CFStringRef SCPreferencesPathCreateUniqueChild(SCPreferencesRef prefs, CFStringRef prefix)
{
    sc::PrefsImpl *p = nullptr;
    sc::PathKeys keys;
    if (int status = sc::Enter("SCPreferencesPathCreateUniqueChild", prefs, prefix, &p, &keys); status != 0) {
        return sc::FailWith<const __CFString>(status);
    }
    standin::CreationScope scope;
    if (!scope.Granted()) {
        return sc::FailWith<const __CFString>(kSCStatusFailed);
    }
    CFDictionaryRef parent = nullptr;
    std::size_t reached = 0;
    if (int status = sc::WalkPath(p->root, keys, keys.size(), true, &parent, &reached); status != 0) {
        return sc::FailWith<const __CFString>(status);
    }
    for (int attempt = 0; attempt < 16; attempt++) {
        sc::CFRef<CFStringRef> id(sc::CreateUniqueID());
        if (!id) {
            return sc::FailWith<const __CFString>(kSCStatusFailed);
        }
        if (reached == keys.size() && CFDictionaryContainsKey(parent, id)) {
            continue;  // taken (a deterministic counter started low, say)
        }
        std::string prefixText = standin::UTF8OrEmpty(prefix);
        std::string childPath = (prefixText == "/" ? "" : prefixText) + "/" + standin::UTF8OrEmpty(id);
        sc::CFRef<CFStringRef> child(sc::CreateUTF8String(childPath));
        sc::CFRef<CFMutableDictionaryRef> empty(
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        sc::PathKeys childKeys(std::move(keys));
        childKeys.push_back(std::move(id));
        if (!child || !empty) {
            return sc::FailWith<const __CFString>(kSCStatusFailed);
        }
        if (int status = sc::StoreAtPath(*p, childKeys, empty); status != 0) {
            return sc::FailWith<const __CFString>(status);
        }
        return sc::Succeed(child.release());
    }
    return sc::FailWith<const __CFString>(kSCStatusKeyExists);
}
