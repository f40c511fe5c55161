// CFArray, CFDictionary and CFSet. Dictionaries and sets keep their entries in insertion order
// (a vector) with an open-addressing index of hashes beside it.
#include "Internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace cf;

namespace cf {

namespace {
thread_local int tDepth = 0;
}

DepthGuard::DepthGuard() { ++tDepth; }
DepthGuard::~DepthGuard() { --tDepth; }
bool DepthGuard::tooDeep() const { return tDepth > kMaxDepth; }

}  // namespace cf

namespace {

// ---- Standard callbacks ----

const void *typeRetain(CFAllocatorRef, const void *value) { return CFRetain(value); }
void typeRelease(CFAllocatorRef, const void *value) { CFRelease(value); }
CFStringRef typeDescription(const void *value) { return CFCopyDescription(value); }
Boolean typeEqual(const void *a, const void *b) { return CFEqual(a, b); }
CFHashCode typeHash(const void *value) { return CFHash(value); }

const void *copyStringRetain(CFAllocatorRef alloc, const void *value)
{
    if (CFGetTypeID(value) != CFStringGetTypeID()) {
        return CFRetain(value);
    }
    UncountedCreationScope scope;
    return CFStringCreateCopy(alloc, static_cast<CFStringRef>(value));
}

bool needsQuotes(const std::u16string &text)
{
    if (text.empty()) {
        return true;
    }
    return !std::all_of(text.begin(), text.end(), [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
               c == u'.' || c == u'$' || c == u'/' || c == u':' || c == u'-';
    });
}

std::u16string indentText(int indent) { return std::u16string(static_cast<size_t>(indent) * 4, u' '); }

// Description of a value held with custom callbacks.
std::u16string describeHeld(const void *value, CFStringRef (*copyDescription)(const void *), bool isCF, int indent)
{
    if (isCF) {
        return describeValue(value, indent);
    }
    if (copyDescription != nullptr) {
        CFStringRef text = copyDescription(value);
        if (text != nullptr) {
            std::u16string out = stringText(text);
            CFRelease(text);
            return out;
        }
    }
    return hexAddress(value);
}

}  // namespace

// ---- Arrays ----

struct __CFArray final : Object {
    bool isMutable = false;
    CFArrayCallBacks cb{};
    bool cfValues = false;  // the standard callbacks
    std::vector<const void *> values;

    explicit __CFArray(const CFArrayCallBacks *callBacks) : Object(kTypeArray)
    {
        if (callBacks != nullptr) {
            cb = *callBacks;
            cfValues = callBacks == &kCFTypeArrayCallBacks ||
                       (cb.retain == kCFTypeArrayCallBacks.retain && cb.release == kCFTypeArrayCallBacks.release &&
                        cb.equal == kCFTypeArrayCallBacks.equal);
        }
    }
    ~__CFArray() override
    {
        for (const void *v : values) {
            drop(v);
        }
    }
    const void *keep(const void *v) const
    {
        if (cfValues) {
            return CFRetain(v);
        }
        return cb.retain != nullptr ? cb.retain(nullptr, v) : v;
    }
    void drop(const void *v) const
    {
        if (cfValues) {
            CFRelease(v);
        } else if (cb.release != nullptr) {
            cb.release(nullptr, v);
        }
    }
    bool same(const void *a, const void *b) const
    {
        if (a == b) {
            return true;
        }
        if (cfValues) {
            return CFEqual(a, b);
        }
        return cb.equal != nullptr && cb.equal(a, b);
    }
    const char *className() const override { return "CFArray"; }
    bool equal(const Object *other) const override
    {
        auto *o = static_cast<const __CFArray *>(other);
        if (o->values.size() != values.size()) {
            return false;
        }
        DepthGuard guard;
        if (guard.tooDeep()) {
            return false;
        }
        for (size_t i = 0; i < values.size(); ++i) {
            if (!same(values[i], o->values[i])) {
                return false;
            }
        }
        return true;
    }
    CFHashCode hash() const override { return values.size(); }
    std::u16string describe() const override { return describeValue(this, 0); }
    std::u16string describeAt(int indent) const
    {
        std::u16string out = u16("(");
        DepthGuard guard;
        if (guard.tooDeep()) {
            return out + u16("...)");
        }
        for (size_t i = 0; i < values.size(); ++i) {
            out += u16(i == 0 ? "\n" : ",\n") + indentText(indent + 1) +
                   describeHeld(values[i], cb.copyDescription, cfValues, indent + 1);
        }
        out += values.empty() ? u16(")") : u16("\n") + indentText(indent) + u16(")");
        return out;
    }
};

// ---- Hash core of dictionaries and sets ----

namespace {

struct HashCore {
    struct Entry {
        const void *key;
        const void *value;
        CFHashCode hash;
        bool live;
    };
    std::vector<Entry> entries;
    std::vector<int32_t> index;  // -1 empty; else position in entries; none while small
    static constexpr size_t kLinear = 8;
    size_t live = 0;

    CFDictionaryKeyCallBacks keyCB{};
    CFDictionaryValueCallBacks valueCB{};
    bool cfKeys = false;
    bool cfValues = false;

    CFHashCode hashOf(const void *key) const
    {
        if (cfKeys) {
            return CFHash(key);
        }
        return keyCB.hash != nullptr ? keyCB.hash(key) : reinterpret_cast<CFHashCode>(key) >> 3;
    }
    bool keysEqual(const void *a, const void *b) const
    {
        if (a == b) {
            return true;
        }
        if (cfKeys) {
            return CFEqual(a, b);
        }
        return keyCB.equal != nullptr && keyCB.equal(a, b);
    }
    bool valuesEqual(const void *a, const void *b) const
    {
        if (a == b) {
            return true;
        }
        if (cfValues) {
            return CFEqual(a, b);
        }
        return valueCB.equal != nullptr && valueCB.equal(a, b);
    }
    const void *keepKey(const void *k) const
    {
        if (keyCB.retain == nullptr) {
            return k;
        }
        return cfKeys && keyCB.retain == kCFTypeDictionaryKeyCallBacks.retain ? CFRetain(k) : keyCB.retain(nullptr, k);
    }
    void dropKey(const void *k) const
    {
        if (keyCB.release != nullptr) {
            keyCB.release(nullptr, k);
        }
    }
    const void *keepValue(const void *v) const
    {
        if (valueCB.retain == nullptr) {
            return v;
        }
        return valueCB.retain(nullptr, v);
    }
    void dropValue(const void *v) const
    {
        if (valueCB.release != nullptr) {
            valueCB.release(nullptr, v);
        }
    }

    void rebuild(size_t minimum)
    {
        if (live != entries.size()) {
            std::vector<Entry> kept;
            kept.reserve(live);
            for (const Entry &e : entries) {
                if (e.live) {
                    kept.push_back(e);
                }
            }
            entries.swap(kept);
        }
        if (minimum <= kLinear) {
            index.clear();  // small tables are searched linearly
            return;
        }
        size_t size = 16;
        while (size < minimum * 2) {
            size *= 2;
        }
        index.assign(size, -1);
        for (size_t i = 0; i < entries.size(); ++i) {
            size_t slot = entries[i].hash & (size - 1);
            while (index[slot] != -1) {
                slot = (slot + 1) & (size - 1);
            }
            index[slot] = static_cast<int32_t>(i);
        }
    }

    // Position of the live entry holding the key, or -1.
    long find(const void *key) const
    {
        CFHashCode h = hashOf(key);
        if (index.empty()) {
            for (size_t i = 0; i < entries.size(); ++i) {
                const Entry &e = entries[i];
                if (e.live && e.hash == h && keysEqual(e.key, key)) {
                    return static_cast<long>(i);
                }
            }
            return -1;
        }
        size_t mask = index.size() - 1;
        for (size_t slot = h & mask;; slot = (slot + 1) & mask) {
            int32_t at = index[slot];
            if (at == -1) {
                return -1;
            }
            const Entry &e = entries[static_cast<size_t>(at)];
            if (e.live && e.hash == h && keysEqual(e.key, key)) {
                return at;
            }
        }
    }

    void insert(const void *key, const void *value)
    {
        if (index.empty() ? entries.size() + 1 > kLinear : (entries.size() + 1) * 2 > index.size()) {
            rebuild(live + 1);
        }
        CFHashCode h = hashOf(key);
        Entry e{keepKey(key), keepValue(value), h, true};
        entries.push_back(e);
        ++live;
        if (index.empty()) {
            return;
        }
        size_t mask = index.size() - 1;
        size_t slot = h & mask;
        while (index[slot] != -1) {
            slot = (slot + 1) & mask;
        }
        index[slot] = static_cast<int32_t>(entries.size() - 1);
    }

    void replaceValue(long at, const void *value)
    {
        Entry &e = entries[static_cast<size_t>(at)];
        const void *old = e.value;
        e.value = keepValue(value);  // retain the new value before releasing the old one
        dropValue(old);
    }

    // Keyed edits: add only when absent, set (add or replace), replace only when present, erase.
    void add(const void *key, const void *value)
    {
        if (find(key) < 0) {
            insert(key, value);
        }
    }
    void set(const void *key, const void *value)
    {
        long at = find(key);
        if (at >= 0) {
            replaceValue(at, value);
        } else {
            insert(key, value);
        }
    }
    void replace(const void *key, const void *value)
    {
        long at = find(key);
        if (at >= 0) {
            replaceValue(at, value);
        }
    }
    void erase(const void *key)
    {
        long at = find(key);
        if (at >= 0) {
            remove(at);
        }
    }
    // The stored entry for the key, or NULL.
    const Entry *lookUp(const void *key) const
    {
        long at = find(key);
        return at < 0 ? nullptr : &entries[static_cast<size_t>(at)];
    }
    // Takes the other table's callbacks and entries (this table being empty).
    void copyFrom(const HashCore &other)
    {
        keyCB = other.keyCB;
        valueCB = other.valueCB;
        cfKeys = other.cfKeys;
        cfValues = other.cfValues;
        rebuild(other.live);
        other.forEach([this](const void *key, const void *value) { insert(key, value); });
    }

    void remove(long at)
    {
        Entry &e = entries[static_cast<size_t>(at)];
        const void *key = e.key;
        const void *value = e.value;
        e.live = false;
        --live;
        if (live * 2 < entries.size() && entries.size() > 16) {
            rebuild(live);
        }
        dropKey(key);
        dropValue(value);
    }

    void clear()
    {
        std::vector<Entry> old;
        old.swap(entries);
        index.clear();
        live = 0;
        for (const Entry &e : old) {
            if (e.live) {
                dropKey(e.key);
                dropValue(e.value);
            }
        }
    }

    // The live entries for a walk that calls out. Keys and values that are CoreFoundation
    // objects are retained until release(), so a callee that changes the table cannot free what
    // is still to be visited.
    using Snapshot = std::vector<std::pair<const void *, const void *>>;
    Snapshot snapshot() const
    {
        Snapshot held;
        held.reserve(live);
        bool holdKeys = cfKeys && keyCB.retain != nullptr;
        bool holdValues = cfValues && valueCB.retain != nullptr;
        forEach([&](const void *k, const void *v) {
            held.emplace_back(holdKeys ? CFRetain(k) : k, holdValues ? CFRetain(v) : v);
        });
        return held;
    }
    void release(const Snapshot &held) const
    {
        bool holdKeys = cfKeys && keyCB.retain != nullptr;
        bool holdValues = cfValues && valueCB.retain != nullptr;
        for (const auto &entry : held) {
            if (holdKeys) {
                CFRelease(entry.first);
            }
            if (holdValues) {
                CFRelease(entry.second);
            }
        }
    }

    template <typename F> void forEach(F f) const
    {
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].live) {
                f(entries[i].key, entries[i].value);
            }
        }
    }
};

}  // namespace

struct __CFDictionary final : Object {
    bool isMutable = false;
    HashCore core;

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
    std::u16string describeAt(int indent) const
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

struct __CFSet final : Object {
    bool isMutable = false;
    HashCore core;

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

CFMutableArrayRef cf::newArray(size_t capacity)
{
    auto *a = new __CFArray(&kCFTypeArrayCallBacks);
    a->isMutable = true;
    a->values.reserve(capacity);
    return a;
}

void cf::freeze(CFTypeRef container)
{
    switch (CFGetTypeID(container)) {
    case kTypeArray: static_cast<__CFArray *>(mobj(container))->isMutable = false; break;
    case kTypeDictionary: static_cast<__CFDictionary *>(mobj(container))->isMutable = false; break;
    case kTypeSet: static_cast<__CFSet *>(mobj(container))->isMutable = false; break;
    default: break;
    }
}

std::u16string cf::describeValue(CFTypeRef cf, int indent)
{
    if (cf == nullptr) {
        return u16("(null)");
    }
    switch (obj(cf)->typeID) {
    case kTypeArray: return static_cast<const __CFArray *>(obj(cf))->describeAt(indent);
    case kTypeDictionary: return static_cast<const __CFDictionary *>(obj(cf))->describeAt(indent);
    case kTypeString: {
        std::u16string text = stringText(static_cast<CFStringRef>(cf));
        if (indent == 0 || !needsQuotes(text)) {
            return text;
        }
        std::u16string quoted = u16("\"");
        for (char16_t c : text) {
            if (c == u'"' || c == u'\\') {
                quoted.push_back(u'\\');
            }
            quoted.push_back(c);
        }
        return quoted + u16("\"");
    }
    default: return obj(cf)->describe();
    }
}

namespace {

// The container when it may be changed; an edit of an immutable one is reported and ignored.
template <typename T> T *mutableOrReport(const T *p, const char *function, const char *kind)
{
    if (p == nullptr || !p->isMutable) {
        std::fprintf(stderr, "CoreFoundation: %s on %s that is not mutable; ignored\n", function, kind);
        return nullptr;
    }
    return const_cast<T *>(p);
}

const __CFArray *arr(CFArrayRef a) { return as<__CFArray>(a, kTypeArray); }
__CFArray *mutableArr(CFMutableArrayRef a, const char *function) { return mutableOrReport(arr(a), function, "an array"); }
bool validRange(const __CFArray *p, CFRange r)
{
    return p != nullptr && r.location >= 0 && r.length >= 0 && static_cast<size_t>(r.location) <= p->values.size() &&
           static_cast<size_t>(r.length) <= p->values.size() - static_cast<size_t>(r.location);
}
void badRange(const char *function)
{
    std::fprintf(stderr, "CoreFoundation: %s with an index or range outside the array; ignored\n", function);
}

const __CFDictionary *dict(CFDictionaryRef d) { return as<__CFDictionary>(d, kTypeDictionary); }
__CFDictionary *mutableDict(CFMutableDictionaryRef d, const char *function)
{
    return mutableOrReport(dict(d), function, "a dictionary");
}

const __CFSet *set(CFSetRef s) { return as<__CFSet>(s, kTypeSet); }
__CFSet *mutableSet(CFMutableSetRef s, const char *function) { return mutableOrReport(set(s), function, "a set"); }

// Stable merge sort that stays within bounds whatever the comparator answers.
void mergeSort(std::vector<const void *> &v, size_t first, size_t last, CFComparatorFunction cmp, void *context)
{
    size_t n = last - first;
    if (n < 2) {
        return;
    }
    std::vector<const void *> buffer(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            size_t mid = std::min(lo + width, n);
            size_t hi = std::min(lo + 2 * width, n);
            size_t i = lo;
            size_t j = mid;
            size_t k = lo;
            while (i < mid && j < hi) {
                // Take from the right only when it is strictly smaller: equal values keep their order.
                if (cmp(v[first + j], v[first + i], context) < 0) {
                    buffer[k++] = v[first + j++];
                } else {
                    buffer[k++] = v[first + i++];
                }
            }
            while (i < mid) {
                buffer[k++] = v[first + i++];
            }
            while (j < hi) {
                buffer[k++] = v[first + j++];
            }
        }
        std::copy(buffer.begin(), buffer.end(), v.begin() + static_cast<long>(first));
    }
}

}  // namespace

extern "C" {

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, typeRetain, typeRelease, typeDescription, typeEqual};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, typeRetain, typeRelease, typeDescription, typeEqual, typeHash};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {0, copyStringRetain, typeRelease, typeDescription, typeEqual, typeHash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, typeRetain, typeRelease, typeDescription, typeEqual};
const CFSetCallBacks kCFTypeSetCallBacks = {0, typeRetain, typeRelease, typeDescription, typeEqual, typeHash};
const CFSetCallBacks kCFCopyStringSetCallBacks = {0, copyStringRetain, typeRelease, typeDescription, typeEqual, typeHash};

// ---- Arrays ----

CFTypeID CFArrayGetTypeID(void) { return kTypeArray; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void **values, CFIndex numValues, const CFArrayCallBacks *callBacks)
{
    if (numValues < 0 || (values == nullptr && numValues > 0)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    auto *a = new __CFArray(callBacks);
    a->values.reserve(static_cast<size_t>(numValues));
    for (CFIndex i = 0; i < numValues; ++i) {
        a->values.push_back(a->keep(values[i]));
    }
    return a;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef theArray)
{
    const __CFArray *p = arr(theArray);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    auto *a = new __CFArray(&p->cb);
    a->cfValues = p->cfValues;
    for (const void *v : p->values) {
        a->values.push_back(a->keep(v));
    }
    return a;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks *callBacks)
{
    CF_CREATE_OR_RETURN(nullptr);
    auto *a = new __CFArray(callBacks);
    a->isMutable = true;
    return a;
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex, CFArrayRef theArray)
{
    const __CFArray *p = arr(theArray);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    auto *a = new __CFArray(&p->cb);
    a->cfValues = p->cfValues;
    a->isMutable = true;
    for (const void *v : p->values) {
        a->values.push_back(a->keep(v));
    }
    return a;
}

CFIndex CFArrayGetCount(CFArrayRef theArray)
{
    const __CFArray *p = arr(theArray);
    return p == nullptr ? 0 : static_cast<CFIndex>(p->values.size());
}

CFIndex CFArrayGetCountOfValue(CFArrayRef theArray, CFRange range, const void *value)
{
    const __CFArray *p = arr(theArray);
    if (!validRange(p, range)) {
        badRange("CFArrayGetCountOfValue");
        return 0;
    }
    CFIndex count = 0;
    for (CFIndex i = range.location; i < range.location + range.length; ++i) {
        count += p->same(p->values[static_cast<size_t>(i)], value) ? 1 : 0;
    }
    return count;
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void *value)
{
    return CFArrayGetFirstIndexOfValue(theArray, range, value) != kCFNotFound;
}

const void *CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx)
{
    const __CFArray *p = arr(theArray);
    if (p == nullptr || idx < 0 || static_cast<size_t>(idx) >= p->values.size()) {
        badRange("CFArrayGetValueAtIndex");
        return nullptr;
    }
    return p->values[static_cast<size_t>(idx)];
}

void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void **values)
{
    const __CFArray *p = arr(theArray);
    if (!validRange(p, range) || (values == nullptr && range.length > 0)) {
        badRange("CFArrayGetValues");
        return;
    }
    for (CFIndex i = 0; i < range.length; ++i) {
        values[i] = p->values[static_cast<size_t>(range.location + i)];
    }
}

void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier, void *context)
{
    const __CFArray *p = arr(theArray);
    if (!validRange(p, range) || applier == nullptr) {
        badRange("CFArrayApplyFunction");
        return;
    }
    // An applier that shortens the array ends the walk rather than reading past its end.
    for (CFIndex i = range.location; i < range.location + range.length; ++i) {
        if (static_cast<size_t>(i) >= p->values.size()) {
            break;
        }
        applier(p->values[static_cast<size_t>(i)], context);
    }
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void *value)
{
    const __CFArray *p = arr(theArray);
    if (!validRange(p, range)) {
        badRange("CFArrayGetFirstIndexOfValue");
        return kCFNotFound;
    }
    for (CFIndex i = range.location; i < range.location + range.length; ++i) {
        if (p->same(p->values[static_cast<size_t>(i)], value)) {
            return i;
        }
    }
    return kCFNotFound;
}

CFIndex CFArrayGetLastIndexOfValue(CFArrayRef theArray, CFRange range, const void *value)
{
    const __CFArray *p = arr(theArray);
    if (!validRange(p, range)) {
        badRange("CFArrayGetLastIndexOfValue");
        return kCFNotFound;
    }
    for (CFIndex i = range.location + range.length - 1; i >= range.location; --i) {
        if (p->same(p->values[static_cast<size_t>(i)], value)) {
            return i;
        }
    }
    return kCFNotFound;
}

CFIndex CFArrayBSearchValues(CFArrayRef theArray, CFRange range, const void *value, CFComparatorFunction comparator,
                             void *context)
{
    const __CFArray *p = arr(theArray);
    if (!validRange(p, range) || comparator == nullptr) {
        badRange("CFArrayBSearchValues");
        return range.location;
    }
    // Lower bound: the first position whose value is not less than the one searched.
    CFIndex lo = range.location;
    CFIndex hi = range.location + range.length;
    while (lo < hi) {
        CFIndex mid = lo + (hi - lo) / 2;
        if (comparator(p->values[static_cast<size_t>(mid)], value, context) < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void *value)
{
    __CFArray *p = mutableArr(theArray, "CFArrayInsertValueAtIndex");
    if (p == nullptr) {
        return;
    }
    if (idx < 0 || static_cast<size_t>(idx) > p->values.size()) {
        badRange("CFArrayInsertValueAtIndex");
        return;
    }
    p->values.insert(p->values.begin() + idx, p->keep(value));
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void *value)
{
    __CFArray *p = mutableArr(theArray, "CFArrayAppendValue");
    if (p != nullptr) {
        p->values.push_back(p->keep(value));
    }
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void *value)
{
    __CFArray *p = mutableArr(theArray, "CFArraySetValueAtIndex");
    if (p == nullptr) {
        return;
    }
    if (idx < 0 || static_cast<size_t>(idx) > p->values.size()) {
        badRange("CFArraySetValueAtIndex");
        return;
    }
    if (static_cast<size_t>(idx) == p->values.size()) {
        p->values.push_back(p->keep(value));
        return;
    }
    const void *old = p->values[static_cast<size_t>(idx)];
    p->values[static_cast<size_t>(idx)] = p->keep(value);
    p->drop(old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx)
{
    __CFArray *p = mutableArr(theArray, "CFArrayRemoveValueAtIndex");
    if (p == nullptr) {
        return;
    }
    if (idx < 0 || static_cast<size_t>(idx) >= p->values.size()) {
        badRange("CFArrayRemoveValueAtIndex");
        return;
    }
    const void *old = p->values[static_cast<size_t>(idx)];
    p->values.erase(p->values.begin() + idx);
    p->drop(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray)
{
    __CFArray *p = mutableArr(theArray, "CFArrayRemoveAllValues");
    if (p == nullptr) {
        return;
    }
    std::vector<const void *> old;
    old.swap(p->values);
    for (const void *v : old) {
        p->drop(v);
    }
}

void CFArrayReplaceValues(CFMutableArrayRef theArray, CFRange range, const void **newValues, CFIndex newCount)
{
    __CFArray *p = mutableArr(theArray, "CFArrayReplaceValues");
    if (p == nullptr) {
        return;
    }
    if (!validRange(p, range) || newCount < 0 || (newValues == nullptr && newCount > 0)) {
        badRange("CFArrayReplaceValues");
        return;
    }
    std::vector<const void *> added;
    for (CFIndex i = 0; i < newCount; ++i) {
        added.push_back(p->keep(newValues[i]));
    }
    std::vector<const void *> removed(p->values.begin() + range.location,
                                      p->values.begin() + range.location + range.length);
    p->values.erase(p->values.begin() + range.location, p->values.begin() + range.location + range.length);
    p->values.insert(p->values.begin() + range.location, added.begin(), added.end());
    for (const void *v : removed) {
        p->drop(v);
    }
}

void CFArrayExchangeValuesAtIndices(CFMutableArrayRef theArray, CFIndex idx1, CFIndex idx2)
{
    __CFArray *p = mutableArr(theArray, "CFArrayExchangeValuesAtIndices");
    if (p == nullptr) {
        return;
    }
    CFIndex n = static_cast<CFIndex>(p->values.size());
    if (idx1 < 0 || idx2 < 0 || idx1 >= n || idx2 >= n) {
        badRange("CFArrayExchangeValuesAtIndices");
        return;
    }
    std::swap(p->values[static_cast<size_t>(idx1)], p->values[static_cast<size_t>(idx2)]);
}

void CFArraySortValues(CFMutableArrayRef theArray, CFRange range, CFComparatorFunction comparator, void *context)
{
    __CFArray *p = mutableArr(theArray, "CFArraySortValues");
    if (p == nullptr) {
        return;
    }
    if (!validRange(p, range) || comparator == nullptr) {
        badRange("CFArraySortValues");
        return;
    }
    mergeSort(p->values, static_cast<size_t>(range.location), static_cast<size_t>(range.location + range.length),
              comparator, context);
}

void CFArrayAppendArray(CFMutableArrayRef theArray, CFArrayRef otherArray, CFRange otherRange)
{
    __CFArray *p = mutableArr(theArray, "CFArrayAppendArray");
    const __CFArray *o = arr(otherArray);
    if (p == nullptr) {
        return;
    }
    if (!validRange(o, otherRange)) {
        badRange("CFArrayAppendArray");
        return;
    }
    std::vector<const void *> added(o->values.begin() + otherRange.location,
                                    o->values.begin() + otherRange.location + otherRange.length);
    for (const void *v : added) {
        p->values.push_back(p->keep(v));
    }
}

// ---- Dictionaries ----

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

static __CFDictionary *copyDictionary(const __CFDictionary *p, bool isMutable)
{
    auto *d = new __CFDictionary(nullptr, nullptr);
    d->isMutable = isMutable;
    d->core.copyFrom(p->core);
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

CFIndex CFDictionaryGetCountOfKey(CFDictionaryRef theDict, const void *key)
{
    return CFDictionaryContainsKey(theDict, key) ? 1 : 0;
}

CFIndex CFDictionaryGetCountOfValue(CFDictionaryRef theDict, const void *value)
{
    const __CFDictionary *p = dict(theDict);
    if (p == nullptr) {
        return 0;
    }
    CFIndex count = 0;
    p->core.forEach([&](const void *, const void *v) { count += p->core.valuesEqual(v, value) ? 1 : 0; });
    return count;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void *key)
{
    const __CFDictionary *p = dict(theDict);
    return p != nullptr && p->core.find(key) >= 0;
}

Boolean CFDictionaryContainsValue(CFDictionaryRef theDict, const void *value)
{
    return CFDictionaryGetCountOfValue(theDict, value) > 0;
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
    HashCore::Snapshot snapshot = p->core.snapshot();
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

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void *key, const void *value)
{
    __CFDictionary *p = mutableDict(theDict, "CFDictionaryReplaceValue");
    if (p != nullptr) {
        p->core.replace(key, value);
    }
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void *key)
{
    __CFDictionary *p = mutableDict(theDict, "CFDictionaryRemoveValue");
    if (p != nullptr) {
        p->core.erase(key);
    }
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict)
{
    __CFDictionary *p = mutableDict(theDict, "CFDictionaryRemoveAllValues");
    if (p != nullptr) {
        p->core.clear();
    }
}

// ---- Sets ----

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

static __CFSet *copySet(const __CFSet *p, bool isMutable)
{
    auto *s = new __CFSet(nullptr);
    s->isMutable = isMutable;
    s->core.copyFrom(p->core);
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
    HashCore::Snapshot snapshot = p->core.snapshot();
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
