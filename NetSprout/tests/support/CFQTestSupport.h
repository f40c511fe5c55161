// Helpers shared by NetSprout's unit tests: an owning holder for CoreFoundation references,
// quick constructors for property-list values, a scratch folder, and a driver that fails each
// CoreFoundation creation of an operation in turn.
#ifndef CFQ_TEST_SUPPORT_H
#define CFQ_TEST_SUPPORT_H

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include "PlatformTesting.h"

namespace cfqtest {

// Owns one reference; releases it when it goes.
template <class Ref>
class CF {
public:
    CF() = default;
    explicit CF(Ref ref) : ref_(ref) {}
    CF(const CF &) = delete;
    CF &operator=(const CF &) = delete;
    CF(CF &&other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
    ~CF() { reset(); }
    void reset(Ref ref = nullptr)
    {
        if (ref_ != nullptr) {
            CFRelease(ref_);
        }
        ref_ = ref;
    }
    Ref get() const { return ref_; }
    Ref *slot() { return &ref_; }  // for out slots: must be empty
    operator Ref() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

private:
    Ref ref_ = nullptr;
};

inline CFStringRef Str(const char *utf8)
{
    return CFStringCreateWithCString(kCFAllocatorDefault, utf8, kCFStringEncodingUTF8);
}

inline CFNumberRef Num(long value)
{
    return CFNumberCreate(kCFAllocatorDefault, kCFNumberLongType, &value);
}

inline std::string StdString(CFTypeRef value)
{
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) {
        return "<not a string>";
    }
    CFStringRef str = static_cast<CFStringRef>(value);
    CFIndex size = CFStringGetMaximumSizeForEncoding(CFStringGetLength(str), kCFStringEncodingUTF8) + 1;
    std::string out(static_cast<size_t>(size), '\0');
    if (!CFStringGetCString(str, out.data(), size, kCFStringEncodingUTF8)) {
        return "<unconvertible>";
    }
    out.resize(std::char_traits<char>::length(out.c_str()));
    return out;
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
        CF<CFStringRef> key(Str(entry.first));
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

// A fresh, empty folder removed at destruction.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "cfqtest.XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ec);
        }
    }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

// Every test starts and ends with the seams neutral.
class SeamTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformTestingReset(); }
    void TearDown() override { PlatformTestingReset(); }
};

// Runs op to count its CoreFoundation creations, then again with each creation failing in turn.
// op returns its status and must release whatever it made. A first run warms up lasting state (a
// tree whose levels become private copies, a string constant made on first use) and is not
// measured; after it, neither a successful nor a failed run may leave an object behind, and each
// failed run must return one of the allowed statuses. Returns the number of creations op makes.
inline long FailEachCreation(const std::function<OSStatus()> &op, std::initializer_list<OSStatus> allowed)
{
    PlatformTestingResetCoreFoundation();
    EXPECT_EQ(op(), noErr) << "the operation must succeed without failures";
    long liveBefore = PlatformTestingCFLiveObjectCount();
    long countBefore = PlatformTestingCFCreationCount();
    EXPECT_EQ(op(), noErr) << "the operation must succeed without failures";
    long creations = PlatformTestingCFCreationCount() - countBefore;
    EXPECT_EQ(PlatformTestingCFLiveObjectCount(), liveBefore) << "the successful run leaked";
    for (long nth = 1; nth <= creations; nth++) {
        long failedBefore = PlatformTestingCFFailedCreationCount();
        PlatformTestingCFFailNthCreation(nth);
        OSStatus err = op();
        PlatformTestingCFFailNthCreation(0);
        EXPECT_EQ(PlatformTestingCFFailedCreationCount(), failedBefore + 1) << "creation " << nth << " was not failed";
        bool isAllowed = false;
        for (OSStatus status : allowed) {
            isAllowed = isAllowed || (status == err);
        }
        EXPECT_TRUE(isAllowed) << "creation " << nth << " of " << creations << " failed: status " << err;
        EXPECT_EQ(PlatformTestingCFLiveObjectCount(), liveBefore) << "creation " << nth << " failed: objects leaked";
    }
    return creations;
}

}  // namespace cfqtest

#endif  // CFQ_TEST_SUPPORT_H
