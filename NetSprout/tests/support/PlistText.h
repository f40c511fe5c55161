// Property-list values as short texts, so that tests compare whole dictionaries (keys, values and
// key order) against compact expected tables and print readable differences: a string is its
// text, a number "#12", a boolean "true"/"false", data "<0a3f>", an array "[a, b]", a dictionary
// "{key=value; ...}" in its enumeration order.
#ifndef PLIST_TEXT_H
#define PLIST_TEXT_H

#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include "CFQTestSupport.h"

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace plisttext {

inline std::string Text(CFTypeRef value);

// The entries of a dictionary in enumeration order, values as texts.
inline std::vector<std::pair<std::string, std::string>> Entries(CFDictionaryRef dict)
{
    std::vector<std::pair<std::string, std::string>> out;
    CFIndex count = CFDictionaryGetCount(dict);
    std::vector<const void *> keys(static_cast<size_t>(count));
    std::vector<const void *> values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    for (CFIndex i = 0; i < count; i++) {
        out.emplace_back(Text(keys[static_cast<size_t>(i)]), Text(values[static_cast<size_t>(i)]));
    }
    return out;
}

inline std::string Text(CFTypeRef value)
{
    if (value == nullptr) {
        return "<null>";
    }
    CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) {
        return standintest::Text(value);
    }
    if (type == CFNumberGetTypeID()) {
        long long number = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberLongLongType, &number);
        return "#" + std::to_string(number);
    }
    if (type == CFBooleanGetTypeID()) {
        return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "true" : "false";
    }
    if (type == CFDataGetTypeID()) {
        std::string out = "<";
        const UInt8 *bytes = CFDataGetBytePtr(static_cast<CFDataRef>(value));
        for (CFIndex i = 0; i < CFDataGetLength(static_cast<CFDataRef>(value)); i++) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
            out += hex;
        }
        return out + ">";
    }
    if (type == CFArrayGetTypeID()) {
        std::string out = "[";
        for (CFIndex i = 0; i < CFArrayGetCount(static_cast<CFArrayRef>(value)); i++) {
            out += (i > 0 ? ", " : "") + Text(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(value), i));
        }
        return out + "]";
    }
    if (type == CFDictionaryGetTypeID()) {
        std::string out = "{";
        for (const auto &[key, text] : Entries(static_cast<CFDictionaryRef>(value))) {
            out += (out.size() > 1 ? "; " : "") + key + "=" + text;
        }
        return out + "}";
    }
    return "<other>";
}

// A property list from XML text (NULL when it does not parse); the caller releases it.
inline CFPropertyListRef FromXML(const std::string &xml)
{
    CFDataRef data = CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8 *>(xml.data()),
                                  static_cast<CFIndex>(xml.size()));
    CFPropertyListRef plist = CFPropertyListCreateWithData(kCFAllocatorDefault, data, 0, nullptr, nullptr);
    CFRelease(data);
    return plist;
}

// An operation for the creation-failure sweep from one that fills an out slot: it checks that a
// value came back exactly on success and releases it.
template <class Ref, class Fill>
std::function<OSStatus()> Filling(Fill fill)
{
    return [fill] {
        Ref ref = nullptr;
        OSStatus err = fill(&ref);
        EXPECT_EQ(err == noErr, ref != nullptr) << "status " << err;
        if (ref != nullptr) {
            CFRelease(ref);
        }
        return err;
    };
}

}  // namespace plisttext

#endif  // PLIST_TEXT_H
