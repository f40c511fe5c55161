// CFArray: values in order, with the callbacks the array was made with; stable sorting and
// binary search.
#include "Internal.h"

#include <algorithm>
#include <vector>

using namespace cf;

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
    void makeImmutable() override { isMutable = false; }
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
    std::u16string describeAt(int indent) const override
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

CFMutableArrayRef cf::newArray(size_t capacity)
{
    auto *a = new __CFArray(&kCFTypeArrayCallBacks);
    a->isMutable = true;
    a->values.reserve(capacity);
    return a;
}

namespace {

const __CFArray *arr(CFArrayRef a) { return as<__CFArray>(a, kTypeArray); }
__CFArray *mutableArr(CFMutableArrayRef a, const char *function) { return mutableOrReport(arr(a), function, "an array"); }
bool validRange(const __CFArray *p, CFRange r)
{
    return p != nullptr && rangeWithin(r, static_cast<CFIndex>(p->values.size()));
}
void badRange(const char *function) { reportIgnored(function, "with an index or range outside the array"); }

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

void CFArrayAppendValue(CFMutableArrayRef theArray, const void *value)
{
    __CFArray *p = mutableArr(theArray, "CFArrayAppendValue");
    if (p != nullptr) {
        p->values.push_back(p->keep(value));
    }
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

}  // extern "C"
