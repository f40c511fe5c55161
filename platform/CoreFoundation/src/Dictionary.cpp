// CFDictionary: keys and values in a hash table that keeps insertion order, with the callbacks the
// dictionary was made with.
#include "HashTable.h"

using namespace cf;

struct __CFDictionary final : Object {
    bool isMutable = false;
    HashTable core;

    __CFDictionary(const CFDictionaryKeyCallBacks *k, const CFDictionaryValueCallBacks *v) : Object(kTypeDictionary)
    {
        if (k != nullptr) {
            core.keyCB = *k;
            core.cfKeys = k->equal == kCFTypeDictionaryKeyCallBacks.equal && k->hash == kCFTypeDictionaryKeyCallBacks.hash;
        }
        if (v != nullptr) {
            core.valueCB = *v;
            core.cfValues = v->equal == kCFTypeDictionaryValueCallBacks.equal;
        }
    }
    ~__CFDictionary() override { core.clear(); }
    const char *className() const override { return "CFDictionary"; }
    void makeImmutable() override { isMutable = false; }
    bool equal(const Object *other) const override
    {
        auto *o = static_cast<const __CFDictionary *>(other);
        if (o->core.live != core.live) {
            return false;
        }
        DepthGuard guard;
        if (guard.tooDeep()) {
            return false;
        }
        bool same = true;
        core.forEach([&](const void *key, const void *value) {
            if (!same) {
                return;
            }
            long at = o->core.find(key);
            same = at >= 0 && core.valuesEqual(value, o->core.entries[static_cast<size_t>(at)].value);
        });
        return same;
    }
    CFHashCode hash() const override { return core.live; }
    std::u16string describe() const override { return describeValue(this, 0); }
    std::u16string describeAt(int indent) const override
    {
        DepthGuard guard;
        if (guard.tooDeep()) {
            return u16("{...}");
        }
        std::u16string out = u16("{");
        bool any = false;
        core.forEach([&](const void *key, const void *value) {
            out += u16("\n") + indentText(indent + 1) + describeHeld(key, core.keyCB.copyDescription, core.cfKeys, indent + 1) +
                   u16(" = ") + describeHeld(value, core.valueCB.copyDescription, core.cfValues, indent + 1) + u16(";");
            any = true;
        });
        out += any ? u16("\n") + indentText(indent) + u16("}") : u16("}");
        return out;
    }
};

CFMutableDictionaryRef cf::newDictionary(size_t capacity)
{
    auto *d = new __CFDictionary(&kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    d->isMutable = true;
    if (capacity > 0) {
        d->core.entries.reserve(capacity);
        d->core.rebuild(capacity);
    }
    return d;
}

namespace {

const __CFDictionary *dict(CFDictionaryRef d) { return as<__CFDictionary>(d, kTypeDictionary); }
__CFDictionary *mutableDict(CFMutableDictionaryRef d, const char *function)
{
    return mutableOrReport(dict(d), function, "a dictionary");
}

__CFDictionary *copyDictionary(const __CFDictionary *p, bool isMutable)
{
    auto *d = new __CFDictionary(nullptr, nullptr);
    d->isMutable = isMutable;
    d->core.copyFrom(p->core);
    return d;
}

}  // namespace

extern "C" {

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, typeRetain, typeRelease, typeDescription, typeEqual, typeHash};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {0, copyStringRetain, typeRelease, typeDescription, typeEqual, typeHash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, typeRetain, typeRelease, typeDescription, typeEqual};

CFTypeID CFDictionaryGetTypeID(void) { return kTypeDictionary; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void **keys, const void **values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks *keyCallBacks,
                                   const CFDictionaryValueCallBacks *valueCallBacks)
{
    if (numValues < 0 || ((keys == nullptr || values == nullptr) && numValues > 0)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    auto *d = new __CFDictionary(keyCallBacks, valueCallBacks);
    for (CFIndex i = 0; i < numValues; ++i) {
        d->core.set(keys[i], values[i]);
    }
    return d;
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef theDict)
{
    const __CFDictionary *p = dict(theDict);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return copyDictionary(p, false);
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks *keyCallBacks,
                                                 const CFDictionaryValueCallBacks *valueCallBacks)
{
    CF_CREATE_OR_RETURN(nullptr);
    auto *d = new __CFDictionary(keyCallBacks, valueCallBacks);
    d->isMutable = true;
    return d;
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex, CFDictionaryRef theDict)
{
    const __CFDictionary *p = dict(theDict);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return copyDictionary(p, true);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict)
{
    const __CFDictionary *p = dict(theDict);
    return p == nullptr ? 0 : static_cast<CFIndex>(p->core.live);
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void *key)
{
    const __CFDictionary *p = dict(theDict);
    return p != nullptr && p->core.find(key) >= 0;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void *key, const void **value)
{
    const __CFDictionary *p = dict(theDict);
    const auto *entry = p == nullptr ? nullptr : p->core.lookUp(key);
    if (entry != nullptr && value != nullptr) {
        *value = entry->value;
    }
    return entry != nullptr;
}

const void *CFDictionaryGetValue(CFDictionaryRef theDict, const void *key)
{
    const void *value = nullptr;
    return CFDictionaryGetValueIfPresent(theDict, key, &value) ? value : nullptr;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void **keys, const void **values)
{
    const __CFDictionary *p = dict(theDict);
    if (p == nullptr) {
        return;
    }
    size_t i = 0;
    p->core.forEach([&](const void *k, const void *v) {
        if (keys != nullptr) {
            keys[i] = k;
        }
        if (values != nullptr) {
            values[i] = v;
        }
        ++i;
    });
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier, void *context)
{
    const __CFDictionary *p = dict(theDict);
    if (p == nullptr || applier == nullptr) {
        return;
    }
    // A snapshot, so an applier that changes the dictionary cannot disturb the walk.
    HashTable::Snapshot snapshot = p->core.snapshot();
    for (const auto &entry : snapshot) {
        applier(entry.first, entry.second, context);
    }
    p->core.release(snapshot);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void *key, const void *value)
{
    __CFDictionary *p = mutableDict(theDict, "CFDictionaryAddValue");
    if (p != nullptr) {
        p->core.add(key, value);
    }
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void *key, const void *value)
{
    __CFDictionary *p = mutableDict(theDict, "CFDictionarySetValue");
    if (p != nullptr) {
        p->core.set(key, value);
    }
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void *key)
{
    __CFDictionary *p = mutableDict(theDict, "CFDictionaryRemoveValue");
    if (p != nullptr) {
        p->core.erase(key);
    }
}

}  // extern "C"
