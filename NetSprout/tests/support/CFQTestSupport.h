// Helpers shared by NetSprout's unit tests: quick constructors for property-list values. The
// reference holder, the scratch folder, the seam fixture and the creation-failure sweep are the
// stand-ins' shared ones (StandInTestSupport.h).
#ifndef CFQ_TEST_SUPPORT_H
#define CFQ_TEST_SUPPORT_H

#include <CoreFoundation/CoreFoundation.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "StandInTestSupport.h"

namespace cfqtest {

using standintest::Str;

inline CFNumberRef Num(long value)
{
    return CFNumberCreate(kCFAllocatorDefault, kCFNumberLongType, &value);
}

inline long LongValue(CFTypeRef value)
{
    long out = -1;
    if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberLongType, &out)) {
        return -1;
    }
    return out;
}

// A new mutable dictionary holding the given entries (keys are UTF-8 texts; values are retained).
inline CFMutableDictionaryRef Dict(std::initializer_list<std::pair<const char *, CFTypeRef>> entries)
{
    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (const auto &entry : entries) {
        standintest::CFRef<CFStringRef> key(Str(entry.first));
        CFDictionarySetValue(dict, key, entry.second);
    }
    return dict;
}

// A new mutable array of the given values (retained).
inline CFMutableArrayRef Array(std::initializer_list<CFTypeRef> values)
{
    CFMutableArrayRef array = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    for (CFTypeRef value : values) {
        CFArrayAppendValue(array, value);
    }
    return array;
}

}  // namespace cfqtest

#endif  // CFQ_TEST_SUPPORT_H
