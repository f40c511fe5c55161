// Small helpers for building and reading CoreFoundation values inside the stand-in.
#ifndef IOKIT_CF_SUPPORT_H
#define IOKIT_CF_SUPPORT_H

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <string>
#include <vector>

namespace iokit {

// Owns one reference.
class CFHolder {
public:
    CFHolder() = default;
    explicit CFHolder(CFTypeRef object) : object_(object) {}
    ~CFHolder() { Reset(); }
    CFHolder(const CFHolder &) = delete;
    CFHolder &operator=(const CFHolder &) = delete;
    CFTypeRef Get() const { return object_; }
    CFTypeRef Release()
    {
        CFTypeRef object = object_;
        object_ = nullptr;
        return object;
    }
    void Reset(CFTypeRef object = nullptr)
    {
        if (object_ != nullptr) {
            CFRelease(object_);
        }
        object_ = object;
    }
    explicit operator bool() const { return object_ != nullptr; }

private:
    CFTypeRef object_ = nullptr;
};

// A string from text: UTF-8 when the bytes are UTF-8, else Mac Roman (which takes any byte).
CFStringRef MakeString(const std::string &text);
CFNumberRef MakeNumber(int64_t value);
CFDataRef MakeData(const std::vector<uint8_t> &bytes);
// Text bytes and a terminating zero, as the registry keeps C strings in data values.
CFDataRef MakeCStringData(const std::string &text);

// The UTF-8 text of a string; false when `value` is not a string.
bool GetString(CFTypeRef value, std::string &text);
// "string", "number", "dictionary", ... for messages.
std::string TypeName(CFTypeRef value);

// A property table under construction.
class PropertyTable {
public:
    PropertyTable();
    ~PropertyTable();
    PropertyTable(const PropertyTable &) = delete;
    PropertyTable &operator=(const PropertyTable &) = delete;
    // Takes over one reference of `value`; NULL values are skipped.
    void Set(const char *key, CFTypeRef value);
    // The finished table (the caller owns it); the builder is empty afterwards.
    CFDictionaryRef Finish();

private:
    CFMutableDictionaryRef dictionary_;
};

}  // namespace iokit

#endif
