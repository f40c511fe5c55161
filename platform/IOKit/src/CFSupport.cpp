// Helpers for CoreFoundation values.
#include "CFSupport.h"

namespace iokit {

CFStringRef MakeString(const std::string &text)
{
    const auto *bytes = reinterpret_cast<const UInt8 *>(text.data());
    auto length = static_cast<CFIndex>(text.size());
    CFStringRef string = CFStringCreateWithBytes(nullptr, bytes, length, kCFStringEncodingUTF8, false);
    if (string == nullptr) {
        string = CFStringCreateWithBytes(nullptr, bytes, length, kCFStringEncodingMacRoman, false);
    }
    return string;
}

CFNumberRef MakeNumber(int64_t value)
{
    if (value >= INT32_MIN && value <= INT32_MAX) {
        auto small = static_cast<int32_t>(value);
        return CFNumberCreate(nullptr, kCFNumberSInt32Type, &small);
    }
    return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value);
}

CFDataRef MakeData(const std::vector<uint8_t> &bytes)
{
    return CFDataCreate(nullptr, bytes.data(), static_cast<CFIndex>(bytes.size()));
}

CFDataRef MakeCStringData(const std::string &text)
{
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(text.c_str()), static_cast<CFIndex>(text.size() + 1));
}

bool GetString(CFTypeRef value, std::string &text)
{
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) {
        return false;
    }
    auto string = static_cast<CFStringRef>(value);
    CFIndex length = CFStringGetLength(string);
    CFIndex size = 0;
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false, nullptr, 0, &size);
    text.assign(static_cast<std::size_t>(size), '\0');
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false,
                     reinterpret_cast<UInt8 *>(text.data()), size, &size);
    text.resize(static_cast<std::size_t>(size));
    return true;
}

std::string TypeName(CFTypeRef value)
{
    if (value == nullptr) {
        return "nothing";
    }
    CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) {
        return "a string";
    }
    if (type == CFNumberGetTypeID()) {
        return "a number";
    }
    if (type == CFBooleanGetTypeID()) {
        return "a boolean";
    }
    if (type == CFDataGetTypeID()) {
        return "data";
    }
    if (type == CFDateGetTypeID()) {
        return "a date";
    }
    if (type == CFArrayGetTypeID()) {
        return "an array";
    }
    if (type == CFDictionaryGetTypeID()) {
        return "a dictionary";
    }
    return "an object of another type";
}

PropertyTable::PropertyTable()
    : dictionary_(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks))
{
}

PropertyTable::~PropertyTable()
{
    if (dictionary_ != nullptr) {
        CFRelease(dictionary_);
    }
}

void PropertyTable::Set(const char *key, CFTypeRef value)
{
    if (value == nullptr) {
        return;
    }
    CFStringRef keyString = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    if (dictionary_ != nullptr && keyString != nullptr) {
        CFDictionarySetValue(dictionary_, keyString, value);
    }
    if (keyString != nullptr) {
        CFRelease(keyString);
    }
    CFRelease(value);
}

CFDictionaryRef PropertyTable::Finish()
{
    CFDictionaryRef finished = dictionary_;
    dictionary_ = nullptr;
    return finished;
}

}  // namespace iokit
