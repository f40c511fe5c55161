// Helpers of the CoreFoundation stand-in tests: an owning holder and short constructors.
#ifndef CF_TEST_SUPPORT_H
#define CF_TEST_SUPPORT_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>

template <typename T> class Held {
public:
    Held() = default;
    explicit Held(T value) : value_(value) {}
    ~Held() { reset(); }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
    Held(Held &&other) noexcept : value_(other.value_) { other.value_ = nullptr; }
    void reset(T value = nullptr)
    {
        if (value_ != nullptr) {
            CFRelease(value_);
        }
        value_ = value;
    }
    T get() const { return value_; }
    operator T() const { return value_; }
    T *out() { reset(); return &value_; }

private:
    T value_ = nullptr;
};

inline CFStringRef Str(const char *utf8) { return CFStringCreateWithCString(nullptr, utf8, kCFStringEncodingUTF8); }

inline CFNumberRef Int(long long v) { return CFNumberCreate(nullptr, kCFNumberLongLongType, &v); }

inline CFNumberRef Real(double v) { return CFNumberCreate(nullptr, kCFNumberDoubleType, &v); }

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

inline CFMutableDictionaryRef NewDict()
{
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

inline CFMutableArrayRef NewArray() { return CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks); }

#endif  // CF_TEST_SUPPORT_H
