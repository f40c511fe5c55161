// Fuzzes the property-list reader with arbitrary bytes (XML, or binary after "bplist00").
//
// What it reads must survive everything the programs do with a read value: a deep copy equal
// to it, and a write in each format that, when the writer accepts the value, reads back equal
// (the writer never makes a file the reader refuses). An XML text read must not nest deeper
// than the reader's nesting check counted, since that check is all that keeps libplist's
// recursive parser off the stack's end. The fast XML reader reads what libplist's path reads, or
// leaves the document to it. Every object made is released again.
#include "FuzzCheck.h"
#include "PlatformTesting.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

extern "C" int _CFPropertyListXMLNesting(const char *bytes, size_t length, int limit);
extern "C" CFPropertyListRef _CFPropertyListCreateWithXMLReader(const char *bytes, size_t length, CFOptionFlags option,
                                                                Boolean fast, Boolean *deferred);

namespace {

// Containers nested in value: 0 for a leaf, 1 for a container of leaves (or an empty one).
int Nesting(CFTypeRef value)
{
    int deepest = 0;
    std::vector<std::pair<CFTypeRef, int>> pending{{value, 0}};
    while (!pending.empty()) {
        auto [v, above] = pending.back();
        pending.pop_back();
        CFTypeID type = CFGetTypeID(v);
        std::vector<const void *> children;
        if (type == CFArrayGetTypeID()) {
            CFArrayRef a = static_cast<CFArrayRef>(v);
            children.resize(static_cast<size_t>(CFArrayGetCount(a)));
            CFArrayGetValues(a, CFRangeMake(0, CFArrayGetCount(a)), children.data());
        } else if (type == CFDictionaryGetTypeID()) {
            CFDictionaryRef d = static_cast<CFDictionaryRef>(v);
            children.resize(static_cast<size_t>(CFDictionaryGetCount(d)));
            CFDictionaryGetKeysAndValues(d, nullptr, children.data());
        } else {
            continue;
        }
        deepest = std::max(deepest, above + 1);
        for (const void *child : children) {
            pending.emplace_back(child, above + 1);
        }
    }
    return deepest;
}

// CFEqual, except that dates may differ by less than a second: libplist reads a date within the
// second before its epoch as the same fraction after it.
bool Same(CFTypeRef a, CFTypeRef b)
{
    if (CFEqual(a, b)) {
        return true;
    }
    CFTypeID type = CFGetTypeID(a);
    if (type != CFGetTypeID(b)) {
        return false;
    }
    if (type == CFDateGetTypeID()) {
        return std::fabs(CFDateGetAbsoluteTime(static_cast<CFDateRef>(a)) - CFDateGetAbsoluteTime(static_cast<CFDateRef>(b))) < 1.0;
    }
    if (type == CFArrayGetTypeID()) {
        CFArrayRef x = static_cast<CFArrayRef>(a);
        CFArrayRef y = static_cast<CFArrayRef>(b);
        CFIndex n = CFArrayGetCount(x);
        bool same = n == CFArrayGetCount(y);
        for (CFIndex i = 0; same && i < n; ++i) {
            same = Same(CFArrayGetValueAtIndex(x, i), CFArrayGetValueAtIndex(y, i));
        }
        return same;
    }
    if (type == CFDictionaryGetTypeID()) {
        CFDictionaryRef x = static_cast<CFDictionaryRef>(a);
        CFDictionaryRef y = static_cast<CFDictionaryRef>(b);
        CFIndex n = CFDictionaryGetCount(x);
        if (n != CFDictionaryGetCount(y)) {
            return false;
        }
        std::vector<const void *> keys(static_cast<size_t>(n));
        std::vector<const void *> values(static_cast<size_t>(n));
        CFDictionaryGetKeysAndValues(x, keys.data(), values.data());
        for (size_t i = 0; i < keys.size(); ++i) {
            const void *other = CFDictionaryGetValue(y, keys[i]);
            if (other == nullptr || !Same(values[i], other)) {
                return false;
            }
        }
        return true;
    }
    return false;
}

CFPropertyListRef Read(CFDataRef data, CFOptionFlags option, CFPropertyListFormat *format)
{
    CFErrorRef error = nullptr;
    CFPropertyListRef value = CFPropertyListCreateWithData(nullptr, data, option, format, &error);
    FUZZ_CHECK((value == nullptr) == (error != nullptr));  // a refusal always says why
    if (error != nullptr) {
        CFRelease(error);
    }
    return value;
}

// Writes value in format; when the writer accepts it, the file must read back equal.
void WriteAndReadBack(CFPropertyListRef value, CFPropertyListFormat format)
{
    CFErrorRef error = nullptr;
    CFDataRef written = CFPropertyListCreateData(nullptr, value, format, 0, &error);
    FUZZ_CHECK((written == nullptr) == (error != nullptr));
    if (written == nullptr) {
        CFRelease(error);
        return;
    }
    CFPropertyListFormat readFormat = 0;
    CFPropertyListRef back = Read(written, kCFPropertyListImmutable, &readFormat);
    FUZZ_CHECK(back != nullptr);
    FUZZ_CHECK(readFormat == format);
    FUZZ_CHECK(Same(value, back));
    if (format == kCFPropertyListXMLFormat_v1_0) {
        // Writing what was read back gives the same text again.
        CFDataRef again = CFPropertyListCreateData(nullptr, back, format, 0, nullptr);
        FUZZ_CHECK(again != nullptr && CFEqual(again, written));
        CFRelease(again);
    }
    CFRelease(back);
    CFRelease(written);
}

// The fast XML reader reads what libplist's path reads from the same bytes, or leaves the
// document to it; it never fails on its own.
void FastReaderAgrees(const uint8_t *bytes, size_t size, CFOptionFlags option)
{
    const char *text = reinterpret_cast<const char *>(bytes);
    Boolean deferred = false;
    CFPropertyListRef fast = _CFPropertyListCreateWithXMLReader(text, size, option, true, &deferred);
    if (deferred) {
        FUZZ_CHECK(fast == nullptr);
        return;
    }
    FUZZ_CHECK(fast != nullptr);
    CFPropertyListRef slow = _CFPropertyListCreateWithXMLReader(text, size, option, false, &deferred);
    FUZZ_CHECK(slow != nullptr);
    FUZZ_CHECK(CFEqual(fast, slow));
    CFRelease(slow);
    CFRelease(fast);
}

void ReadAndRoundTrip(const uint8_t *bytes, size_t size)
{
    CFDataRef data = CFDataCreate(nullptr, bytes, static_cast<CFIndex>(size));
    static const CFOptionFlags kOptions[] = {kCFPropertyListImmutable, kCFPropertyListMutableContainers,
                                             kCFPropertyListMutableContainersAndLeaves};
    if (size < 8 || std::memcmp(bytes, "bplist00", 8) != 0) {
        FastReaderAgrees(bytes, size, kOptions[size % 3]);
    }
    CFPropertyListFormat format = 0;
    CFPropertyListRef value = Read(data, kOptions[size % 3], &format);
    CFRelease(data);
    if (value == nullptr) {
        return;
    }
    FUZZ_CHECK(format == kCFPropertyListXMLFormat_v1_0 || format == kCFPropertyListBinaryFormat_v1_0);
    FUZZ_CHECK(CFPropertyListIsValid(value, kCFPropertyListBinaryFormat_v1_0));
    if (format == kCFPropertyListXMLFormat_v1_0) {
        // The check counts every element but a self-closing one, which the parser does not
        // descend into: an empty container written "<array/>" innermost is one level of the value
        // the check does not count (a root "plist" element, optional to libplist, adds one).
        int counted = _CFPropertyListXMLNesting(reinterpret_cast<const char *>(bytes), size, 1 << 30);
        FUZZ_CHECK(counted + 1 >= Nesting(value));
    }
    for (CFOptionFlags option : kOptions) {
        CFPropertyListRef copy = CFPropertyListCreateDeepCopy(nullptr, value, option);
        FUZZ_CHECK(copy != nullptr);
        FUZZ_CHECK(CFEqual(copy, value));
        CFRelease(copy);
    }
    WriteAndReadBack(value, kCFPropertyListXMLFormat_v1_0);
    WriteAndReadBack(value, kCFPropertyListBinaryFormat_v1_0);
    CFRelease(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    long live = PlatformTestingCFLiveObjectCount();
    ReadAndRoundTrip(data, size);
    FUZZ_CHECK(PlatformTestingCFLiveObjectCount() == live);
    return 0;
}
