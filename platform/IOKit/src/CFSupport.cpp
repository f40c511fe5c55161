// Helpers for CoreFoundation values.
#include "CFSupport.h"

namespace iokit {

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
    text = standin::TextOf(value);
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
