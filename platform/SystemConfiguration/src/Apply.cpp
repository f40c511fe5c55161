// Applying committed preferences to the running configuration: the current set's view is
// published to the dynamic store as its "Setup:" keys. The host's network is never touched.
#include "SCInternal.h"

namespace sc {

namespace {

bool IsActiveEntity(CFTypeRef value)
{
    return value != nullptr && CFGetTypeID(value) == CFDictionaryGetTypeID() &&
           !CFDictionaryContainsKey(static_cast<CFDictionaryRef>(value), kSCResvInactive);
}

// Adds "<prefix><entity>" for each active entity of a dictionary; false when a key cannot be made.
bool AddEntities(CFDictionaryRef entities, const std::string &prefix, CFMutableDictionaryRef setup)
{
    std::vector<const void *> keys(static_cast<std::size_t>(CFDictionaryGetCount(entities)));
    std::vector<const void *> values(keys.size());
    CFDictionaryGetKeysAndValues(entities, keys.data(), values.data());
    for (std::size_t i = 0; i < keys.size(); i++) {
        std::optional<std::string> entity = standin::UTF8Of(keys[i]);
        if (!entity || !IsActiveEntity(values[i])) {
            continue;
        }
        CFRef<CFStringRef> key(CreateUTF8String(prefix + *entity));
        if (!key) {
            return false;
        }
        CFDictionarySetValue(setup, key, values[i]);
    }
    return true;
}

// The "Setup:" keys of a store: each active entity of each active service linked from the
// current set, and the set's active global entities. A "CurrentSet" that is not a string or
// names no set gives none.
int CollectSetupKeys(CFDictionaryRef root, CFMutableDictionaryRef setup)
{
    std::string setID;
    CFDictionaryRef set = nullptr;
    if (int status = CurrentSetOf(root, &set, &setID); status != 0) {
        return status == kSCStatusNoKey ? 0 : status;
    }
    bool made = true;
    bool resolved = ForEachLinkedService(root, set, [&](CFStringRef serviceID, CFDictionaryRef service) {
        if (!CFDictionaryContainsKey(service, kSCResvInactive)) {
            made = made && AddEntities(service, "Setup:/Network/Service/" + standin::UTF8OrEmpty(serviceID) + "/", setup);
        }
    });
    CFTypeRef network = CFDictionaryGetValue(set, kSCCompNetwork);
    if (network != nullptr && CFGetTypeID(network) == CFDictionaryGetTypeID()) {
        CFTypeRef global = CFDictionaryGetValue(static_cast<CFDictionaryRef>(network), kSCCompGlobal);
        if (global != nullptr && CFGetTypeID(global) == CFDictionaryGetTypeID()) {
            made = made && AddEntities(static_cast<CFDictionaryRef>(global), "Setup:/Network/Global/", setup);
        }
    }
    return made && resolved ? 0 : kSCStatusFailed;
}

}  // namespace

}  // namespace sc

// Publishes the committed store (not the object's uncommitted changes). A store without a
// usable current set publishes no "Setup:" keys and succeeds: the running configuration then
// says what the store says, nothing.
extern "C" Boolean SCPreferencesApplyChanges(SCPreferencesRef prefs)
{
    sc::PrefsImpl *p = sc::PrefsOf(prefs);
    if (p == nullptr) {
        return sc::Fail(kSCStatusInvalidArgument);
    }
    if (int armed = sc::ArmedFailure("SCPreferencesApplyChanges")) {
        return sc::Fail(armed);
    }
    sc::FileLock commitLock;
    if (int status = commitLock.Acquire(p->path + "-commit-lock", true, true, true); status != 0) {
        return sc::Fail(status);
    }
    sc::FileBytes file;
    if (int status = sc::ReadFileBytes(p->path, &file); status != 0) {
        return sc::Fail(status);
    }
    // The committed store is the object's own tree when the object has no changes and the file
    // holds the very bytes it read or wrote last: that tree parsed them, or they were written
    // from it, and what is published from it is written to the dynamic store the same way.
    sc::CFRef<CFMutableDictionaryRef> committed;
    if (!p->changed && sc::DigestOf(file) == p->digest) {
        committed = sc::CFRef<CFMutableDictionaryRef>::Retained(p->root.get());
    } else if (int status = sc::StoreOf(file, p->path, &committed); status != 0) {
        return sc::Fail(status);
    }
    sc::CFRef<CFMutableDictionaryRef> setup(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    if (!setup) {
        return sc::Fail(kSCStatusFailed);
    }
    if (int status = sc::CollectSetupKeys(committed, setup); status != 0) {
        return sc::Fail(status);
    }
    int status = sc::UpdateDynamicStore(sc::DynamicStorePath(), [&](CFMutableDictionaryRef contents) {
        std::vector<const void *> keys(static_cast<std::size_t>(CFDictionaryGetCount(contents)));
        CFDictionaryGetKeysAndValues(contents, keys.data(), nullptr);
        for (const void *key : keys) {
            if (standin::UTF8OrEmpty(key).starts_with("Setup:")) {
                CFDictionaryRemoveValue(contents, key);
            }
        }
        CFDictionaryApplyFunction(
            setup,
            [](const void *key, const void *value, void *context) {
                CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(context), key, value);
            },
            contents);
        return 0;
    });
    return status == 0 ? sc::Succeed() : sc::Fail(status);
}
