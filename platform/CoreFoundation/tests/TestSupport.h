// Helpers of the CoreFoundation stand-in tests: short constructors, text of strings and data, a
// format helper for va_list, and the fixture that leaves the seams neutral and fails a test that
// leaks objects. The owning holder is the shared CFRef.
#ifndef CF_TEST_SUPPORT_H
#define CF_TEST_SUPPORT_H

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "PlatformTesting.h"
#include "StandInTestSupport.h"

using standintest::CFRef;

inline CFStringRef Str(const char *utf8) { return CFStringCreateWithCString(nullptr, utf8, kCFStringEncodingUTF8); }

inline CFNumberRef Int(long long v) { return CFNumberCreate(nullptr, kCFNumberLongLongType, &v); }

inline CFNumberRef Real(double v) { return CFNumberCreate(nullptr, kCFNumberDoubleType, &v); }

inline CFDataRef DataOf(const std::string &bytes)
{
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), static_cast<CFIndex>(bytes.size()));
}

inline std::string TextOf(CFDataRef data)
{
    return std::string(reinterpret_cast<const char *>(CFDataGetBytePtr(data)), static_cast<size_t>(CFDataGetLength(data)));
}

inline std::string Utf8(CFStringRef s)
{
    if (s == nullptr) {
        return "(null)";
    }
    CFIndex size = CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8) + 1;
    std::string out(static_cast<size_t>(size), '\0');
    if (!CFStringGetCString(s, out.data(), size, kCFStringEncodingUTF8)) {
        return "(unconvertible)";
    }
    out.resize(std::char_traits<char>::length(out.c_str()));
    return out;
}

// The UTF-8 text CFStringCreateWithFormatAndArguments makes of the format and arguments.
inline std::string FormatText(CFStringRef format, ...)
{
    va_list args;
    va_start(args, format);
    CFRef<CFStringRef> s(CFStringCreateWithFormatAndArguments(nullptr, nullptr, format, args));
    va_end(args);
    return Utf8(s);
}

// A file URL for the path (a directory URL when isDirectory).
inline CFURLRef FileURL(const std::string &path, bool isDirectory = false)
{
    return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(path.data()),
                                                   static_cast<CFIndex>(path.size()), isDirectory);
}

inline CFMutableDictionaryRef NewDict()
{
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

inline CFMutableArrayRef NewArray() { return CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks); }

// A number's value as long (-1 when it does not convert), and the comparator that orders
// numbers by it, for sorting and searching arrays of numbers.
inline long LongOf(const void *number)
{
    long v = -1;
    CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberLongType, &v);
    return v;
}

inline CFComparisonResult ByNumber(const void *a, const void *b, void *)
{
    long x = LongOf(a);
    long y = LongOf(b);
    return x < y ? kCFCompareLessThan : (x > y ? kCFCompareGreaterThan : kCFCompareEqualTo);
}

// Seams neutral before and after; every object the test made is gone at its end.
class CoreFoundationTest : public standintest::SeamTest {
protected:
    void SetUp() override
    {
        SeamTest::SetUp();
        live_ = PlatformTestingCFLiveObjectCount();
    }
    void TearDown() override
    {
        SeamTest::TearDown();
        EXPECT_EQ(live_, PlatformTestingCFLiveObjectCount()) << "objects leaked by the test";
    }
    long live_ = 0;
};

#endif  // CF_TEST_SUPPORT_H
