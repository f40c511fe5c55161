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

}  // namespace

extern "C" {

const CFSetCallBacks kCFTypeSetCallBacks = {0, typeRetain, typeRelease, typeDescription, typeEqual, typeHash};
const CFSetCallBacks kCFCopyStringSetCallBacks = {0, copyStringRetain, typeRelease, typeDescription, typeEqual, typeHash};

CFMutableSetRef CFSetCreateMutable(CFAllocatorRef, CFIndex, const CFSetCallBacks *callBacks)
{
    CF_CREATE_OR_RETURN(nullptr);
    auto *s = new __CFSet(callBacks);
    s->isMutable = true;
    return s;
}

Boolean CFSetContainsValue(CFSetRef theSet, const void *value)
{
    const __CFSet *p = set(theSet);
    return p != nullptr && p->core.find(value) >= 0;
}

void CFSetAddValue(CFMutableSetRef theSet, const void *value)
{
    __CFSet *p = mutableSet(theSet, "CFSetAddValue");
    if (p != nullptr) {
        p->core.add(value, nullptr);
    }
}

}  // extern "C"
