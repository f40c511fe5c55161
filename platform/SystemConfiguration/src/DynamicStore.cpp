// The dynamic store: one property-list file shared by every process, read under a shared flock
// and replaced atomically under an exclusive one; its keys, listed by whole-key POSIX extended
// regular expressions, and the key builders.
#include "SCInternal.h"

#include <algorithm>
#include <regex.h>

namespace sc {

namespace {

struct StoreImpl {
    std::string name;
    std::string path;
};

CFTypeID StoreType()
{
    static const CFTypeID type = RegisterType<StoreImpl>("SCDynamicStore");
    return type;
}

int ReadLocked(const std::string &path, CFRef<CFMutableDictionaryRef> *out, FileBytes *file)
{
    if (int status = ReadFileBytes(path, file); status != 0) {
        return status;
    }
    if (!file->exists) {
        out->reset(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        return *out ? 0 : kSCStatusFailed;
    }
    return ParseDictionary(file->bytes, "dynamic store", path, out);
}

// The store's record, or a status: not a store, or the call armed to fail.
int Enter(const char *call, SCDynamicStoreRef store, StoreImpl **impl)
{
    *impl = ImplOf<StoreImpl>(store, StoreType());
    if (*impl == nullptr) {
        return kSCStatusInvalidArgument;
    }
    return ArmedFailure(call);
}

bool IsString(CFTypeRef value) { return value != nullptr && CFGetTypeID(value) == CFStringGetTypeID(); }

}  // namespace

int ReadDynamicStore(const std::string &path, CFRef<CFMutableDictionaryRef> *out)
{
    FileLock lock;
    if (int status = lock.Acquire(path + "-lock", false, true, true); status != 0) {
        return status;
    }
    FileBytes file;
    return ReadLocked(path, out, &file);
}

int UpdateDynamicStore(const std::string &path, const std::function<int(CFMutableDictionaryRef)> &change)
{
    FileLock lock;
    if (int status = lock.Acquire(path + "-lock", true, true, true); status != 0) {
        return status;
    }
    CFRef<CFMutableDictionaryRef> contents;
    FileBytes file;
    if (int status = ReadLocked(path, &contents, &file); status != 0) {
        return status;  // a store that does not parse is reported and left as it is
    }
    if (int status = change(contents); status != 0) {
        return status;
    }
    std::string bytes;
    if (!XMLBytesOf(contents, &bytes)) {
        return kSCStatusFailed;
    }
    if (file.exists && bytes == file.bytes) {
        return 0;  // the file already holds exactly these bytes: replacing it would change nothing
    }
    return ReplaceFileAtomically(path, bytes, false);
}

}  // namespace sc

extern "C" CFTypeID SCDynamicStoreGetTypeID(void) { return sc::StoreType(); }

// Notifications are not delivered: the callout and its context are accepted and left unused.
extern "C" SCDynamicStoreRef SCDynamicStoreCreate(CFAllocatorRef allocator, CFStringRef name, SCDynamicStoreCallBack,
                                                  SCDynamicStoreContext *)
{
    if (int armed = sc::ArmedFailure("SCDynamicStoreCreate")) {
        return sc::FailWith<const __SCDynamicStore>(armed);
    }
    standin::CreationScope scope;
    if (!scope.Granted()) {
        return sc::FailWith<const __SCDynamicStore>(kSCStatusFailed);
    }
    auto impl = std::make_unique<sc::StoreImpl>();
    impl->name = standin::UTF8OrEmpty(name);
    impl->path = sc::DynamicStorePath();
    CFTypeRef object = sc::NewObject(allocator, sc::StoreType(), std::move(impl));
    if (object == nullptr) {
        return sc::FailWith<const __SCDynamicStore>(kSCStatusFailed);
    }
    return sc::Succeed(static_cast<SCDynamicStoreRef>(object));
}

extern "C" CFArrayRef SCDynamicStoreCopyKeyList(SCDynamicStoreRef store, CFStringRef pattern)
{
    sc::StoreImpl *impl = nullptr;
    if (int status = sc::Enter("SCDynamicStoreCopyKeyList", store, &impl); status != 0) {
        return sc::FailWith<const __CFArray>(status);
    }
    standin::CreationScope scope;
    if (!scope.Granted()) {
        return sc::FailWith<const __CFArray>(kSCStatusFailed);
    }
    std::optional<std::string> text = standin::UTF8Of(pattern);
    // Anchored and grouped, so that the expression must match a key as a whole.
    std::string anchored = "^(";
    anchored.append(text.value_or("")).append(")$");
    regex_t regex;
    if (!text || regcomp(&regex, anchored.c_str(), REG_EXTENDED | REG_NOSUB) != 0) {
        return sc::FailWith<const __CFArray>(kSCStatusInvalidArgument);
    }
    sc::CFRef<CFMutableDictionaryRef> contents;
    int status = sc::ReadDynamicStore(impl->path, &contents);
    std::vector<std::pair<std::string, const void *>> matches;
    if (status == 0) {
        std::vector<const void *> keys(static_cast<std::size_t>(CFDictionaryGetCount(contents)));
        CFDictionaryGetKeysAndValues(contents, keys.data(), nullptr);
        for (const void *key : keys) {
            std::optional<std::string> keyText = standin::UTF8Of(key);
            if (keyText && regexec(&regex, keyText->c_str(), 0, nullptr, 0) == 0) {
                matches.emplace_back(*keyText, key);
            }
        }
    }
    regfree(&regex);
    if (status != 0) {
        return sc::FailWith<const __CFArray>(status);
    }
    std::sort(matches.begin(), matches.end());
    std::vector<const void *> ordered;
    for (const auto &match : matches) {
        ordered.push_back(match.second);
    }
    CFArrayRef list = CFArrayCreate(nullptr, ordered.data(), static_cast<CFIndex>(ordered.size()), &kCFTypeArrayCallBacks);
    return list != nullptr ? sc::Succeed(list) : sc::FailWith<const __CFArray>(kSCStatusFailed);
}

extern "C" CFPropertyListRef SCDynamicStoreCopyValue(SCDynamicStoreRef store, CFStringRef key)
{
    sc::StoreImpl *impl = nullptr;
    if (int status = sc::Enter("SCDynamicStoreCopyValue", store, &impl); status != 0) {
        return sc::FailWith<const void>(status);
    }
    if (!sc::IsString(key)) {
        return sc::FailWith<const void>(kSCStatusInvalidArgument);
    }
    standin::CreationScope scope;
    if (!scope.Granted()) {
        return sc::FailWith<const void>(kSCStatusFailed);
    }
    sc::CFRef<CFMutableDictionaryRef> contents;
    if (int status = sc::ReadDynamicStore(impl->path, &contents); status != 0) {
        return sc::FailWith<const void>(status);
    }
    CFTypeRef value = CFDictionaryGetValue(contents, key);
    if (value == nullptr) {
        return sc::FailWith<const void>(kSCStatusNoKey);
    }
    return sc::Succeed(CFRetain(value));
}

extern "C" Boolean SCDynamicStoreSetValue(SCDynamicStoreRef store, CFStringRef key, CFPropertyListRef value)
{
    sc::StoreImpl *impl = nullptr;
    if (int status = sc::Enter("SCDynamicStoreSetValue", store, &impl); status != 0) {
        return sc::Fail(status);
    }
    if (!sc::IsString(key) || value == nullptr || !CFPropertyListIsValid(value, kCFPropertyListXMLFormat_v1_0)) {
        return sc::Fail(kSCStatusInvalidArgument);
    }
    int status = sc::UpdateDynamicStore(impl->path, [&](CFMutableDictionaryRef contents) {
        CFDictionarySetValue(contents, key, value);
        return 0;
    });
    return status == 0 ? sc::Succeed() : sc::Fail(status);
}

extern "C" Boolean SCDynamicStoreRemoveValue(SCDynamicStoreRef store, CFStringRef key)
{
    sc::StoreImpl *impl = nullptr;
    if (int status = sc::Enter("SCDynamicStoreRemoveValue", store, &impl); status != 0) {
        return sc::Fail(status);
    }
    if (!sc::IsString(key)) {
        return sc::Fail(kSCStatusInvalidArgument);
    }
    int status = sc::UpdateDynamicStore(impl->path, [&](CFMutableDictionaryRef contents) {
        if (!CFDictionaryContainsKey(contents, key)) {
            return static_cast<int>(kSCStatusNoKey);
        }
        CFDictionaryRemoveValue(contents, key);
        return 0;
    });
    return status == 0 ? sc::Succeed() : sc::Fail(status);
}

namespace {

// "<domain>/Network/<middle><entity>", the entity left out when there is none.
CFStringRef CreateNetworkKey(CFStringRef domain, const std::string &middle, CFStringRef entity)
{
    if (!sc::IsString(domain) || (entity != nullptr && !sc::IsString(entity))) {
        return sc::FailWith<const __CFString>(kSCStatusInvalidArgument);
    }
    standin::CreationScope scope;
    if (!scope.Granted()) {
        return sc::FailWith<const __CFString>(kSCStatusFailed);
    }
    std::string key = standin::UTF8OrEmpty(domain) + "/Network/" + middle;
    if (entity != nullptr) {
        key.append("/").append(standin::UTF8OrEmpty(entity));
    }
    CFStringRef string = sc::CreateUTF8String(key);
    return string != nullptr ? sc::Succeed(string) : sc::FailWith<const __CFString>(kSCStatusFailed);
}

}  // namespace

extern "C" CFStringRef SCDynamicStoreKeyCreateNetworkServiceEntity(CFAllocatorRef, CFStringRef domain, CFStringRef serviceID,
                                                                   CFStringRef entity)
{
    if (!sc::IsString(serviceID)) {
        return sc::FailWith<const __CFString>(kSCStatusInvalidArgument);
    }
    return CreateNetworkKey(domain, "Service/" + standin::UTF8OrEmpty(serviceID), entity);
}

extern "C" CFStringRef SCDynamicStoreKeyCreateNetworkGlobalEntity(CFAllocatorRef, CFStringRef domain, CFStringRef entity)
{
    return CreateNetworkKey(domain, "Global", entity);
}
