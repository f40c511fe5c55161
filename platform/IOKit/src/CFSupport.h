// Small helpers for building and reading CoreFoundation values inside the stand-in (strings come
// from the kit).
#ifndef IOKIT_CF_SUPPORT_H
#define IOKIT_CF_SUPPORT_H

#include <CoreFoundation/CoreFoundation.h>

#include "StandInKit.h"

#include <cstdint>
#include <string>
#include <vector>

namespace iokit {

using standin::CreateStringFromBytes;
CFNumberRef MakeNumber(int64_t value);
CFDataRef MakeData(const std::vector<uint8_t> &bytes);
// Text bytes and a terminating zero, as the registry keeps C strings in data values.
CFDataRef MakeCStringData(const std::string &text);

// The text of a string (standin::TextOf); false when `value` is not a string.
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
