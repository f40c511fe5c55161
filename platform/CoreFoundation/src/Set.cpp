// CFSet: distinct values in a hash table that keeps insertion order, with the callbacks the set
// was made with.
#include "HashTable.h"

using namespace cf;

struct __CFSet final : Object {
    bool isMutable = false;
    HashTable core;

    explicit __CFSet(const CFSetCallBacks *cb) : Object(kTypeSet)
    {
        if (cb != nullptr) {
            core.keyCB.retain = cb->retain;
            core.keyCB.release = cb->release;
            core.keyCB.copyDescription = cb->copyDescription;
            core.keyCB.equal = cb->equal;
            core.keyCB.hash = cb->hash;
            core.cfKeys = cb->equal == kCFTypeSetCallBacks.equal && cb->hash == kCFTypeSetCallBacks.hash;
        }
    }
    ~__CFSet() override { core.clear(); }
    const char *className() const override { return "CFSet"; }
    void makeImmutable() override { isMutable = false; }
    bool equal(const Object *other) const override
    {
        auto *o = static_cast<const __CFSet *>(other);
        if (o->core.live != core.live) {
            return false;
        }
        bool same = true;
        core.forEach([&](const void *key, const void *) { same = same && o->core.find(key) >= 0; });
        return same;
    }
    CFHashCode hash() const override { return core.live; }
    std::u16string describe() const override
    {
        std::u16string out = u16("{(");
        bool first = true;
        core.forEach([&](const void *key, const void *) {
            out += u16(first ? "\n" : ",\n") + indentText(1) + describeHeld(key, core.keyCB.copyDescription, core.cfKeys, 1);
            first = false;
        });
        out += first ? u16(")}") : u16("\n)}");
        return out;
    }
};

namespace {

const __CFSet *set(CFSetRef s) { return as<__CFSet>(s, kTypeSet); }
__CFSet *mutableSet(CFMutableSetRef s, const char *function) { return mutableOrReport(set(s), function, "a set"); }

__CFSet *copySet(const __CFSet *p, bool isMutable)
{
    auto *s = new __CFSet(nullptr);
    s->isMutable = isMutable;
    s->core.copyFrom(p->core);
    return s;
}

}  // namespace

extern "C" {

const CFSetCallBacks kCFTypeSetCallBacks = {0, typeRetain, typeRelease, typeDescription, typeEqual, typeHash};
const CFSetCallBacks kCFCopyStringSetCallBacks = {0, copyStringRetain, typeRelease, typeDescription, typeEqual, typeHash};

CFTypeID CFSetGetTypeID(void) { return kTypeSet; }

CFSetRef CFSetCreate(CFAllocatorRef, const void **values, CFIndex numValues, const CFSetCallBacks *callBacks)
{
    if (numValues < 0 || (values == nullptr && numValues > 0)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    auto *s = new __CFSet(callBacks);
    for (CFIndex i = 0; i < numValues; ++i) {
        s->core.add(values[i], nullptr);
    }
    return s;
}

CFSetRef CFSetCreateCopy(CFAllocatorRef, CFSetRef theSet)
{
    const __CFSet *p = set(theSet);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return copySet(p, false);
}

CFMutableSetRef CFSetCreateMutable(CFAllocatorRef, CFIndex, const CFSetCallBacks *callBacks)
{
    CF_CREATE_OR_RETURN(nullptr);
    auto *s = new __CFSet(callBacks);
    s->isMutable = true;
    return s;
}

CFMutableSetRef CFSetCreateMutableCopy(CFAllocatorRef, CFIndex, CFSetRef theSet)
{
    const __CFSet *p = set(theSet);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return copySet(p, true);
}

CFIndex CFSetGetCount(CFSetRef theSet)
{
    const __CFSet *p = set(theSet);
    return p == nullptr ? 0 : static_cast<CFIndex>(p->core.live);
}

CFIndex CFSetGetCountOfValue(CFSetRef theSet, const void *value) { return CFSetContainsValue(theSet, value) ? 1 : 0; }

Boolean CFSetContainsValue(CFSetRef theSet, const void *value)
{
    const __CFSet *p = set(theSet);
    return p != nullptr && p->core.find(value) >= 0;
}

Boolean CFSetGetValueIfPresent(CFSetRef theSet, const void *candidate, const void **value)
{
    const __CFSet *p = set(theSet);
    const auto *entry = p == nullptr ? nullptr : p->core.lookUp(candidate);
    if (entry != nullptr && value != nullptr) {
        *value = entry->key;
    }
    return entry != nullptr;
}

const void *CFSetGetValue(CFSetRef theSet, const void *value)
{
    const void *found = nullptr;
    return CFSetGetValueIfPresent(theSet, value, &found) ? found : nullptr;
}

void CFSetGetValues(CFSetRef theSet, const void **values)
{
    const __CFSet *p = set(theSet);
    if (p == nullptr || values == nullptr) {
        return;
    }
    size_t i = 0;
    p->core.forEach([&](const void *k, const void *) { values[i++] = k; });
}

void CFSetApplyFunction(CFSetRef theSet, CFSetApplierFunction applier, void *context)
{
    const __CFSet *p = set(theSet);
    if (p == nullptr || applier == nullptr) {
        return;
    }
    HashTable::Snapshot snapshot = p->core.snapshot();
    for (const auto &entry : snapshot) {
        applier(entry.first, context);
    }
    p->core.release(snapshot);
}

void CFSetAddValue(CFMutableSetRef theSet, const void *value)
{
    __CFSet *p = mutableSet(theSet, "CFSetAddValue");
    if (p != nullptr) {
        p->core.add(value, nullptr);
    }
}

void CFSetReplaceValue(CFMutableSetRef theSet, const void *value)
{
    __CFSet *p = mutableSet(theSet, "CFSetReplaceValue");
    if (p == nullptr) {
        return;
    }
    long at = p->core.find(value);
    if (at >= 0) {
        auto &e = p->core.entries[static_cast<size_t>(at)];
        const void *old = e.key;
        e.key = p->core.keepKey(value);
        p->core.dropKey(old);
    }
}

void CFSetSetValue(CFMutableSetRef theSet, const void *value)
{
    __CFSet *p = mutableSet(theSet, "CFSetSetValue");
    if (p == nullptr) {
        return;
    }
    if (p->core.find(value) >= 0) {
        CFSetReplaceValue(theSet, value);
    } else {
        p->core.insert(value, nullptr);
    }
}

void CFSetRemoveValue(CFMutableSetRef theSet, const void *value)
{
    __CFSet *p = mutableSet(theSet, "CFSetRemoveValue");
    if (p != nullptr) {
        p->core.erase(value);
    }
}

void CFSetRemoveAllValues(CFMutableSetRef theSet)
{
    __CFSet *p = mutableSet(theSet, "CFSetRemoveAllValues");
    if (p != nullptr) {
        p->core.clear();
    }
}

}  // extern "C"
