// Differential and model-based tests: formatting against the C library's snprintf, MacRoman and
// Latin-1 against Python's codecs, dictionaries and arrays against a plain model under random
// edits, and every creation of the interface failed in turn through the seam.
#include "PlatformTesting.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
TEST(DifferentialTest, RandomIntegerAndRealConversionsMatchSnprintf)
{
    std::mt19937 rng(11);
    const char *flagSets[] = {"", "-", "+", " ", "0", "#", "-+", "0+", "- "};
    // Length modifier (the argument's type) and conversion.
    const std::pair<const char *, const char *> intConversions[] = {
        {"", "d"}, {"", "i"}, {"", "u"}, {"", "x"}, {"", "X"}, {"", "o"},
        {"l", "d"}, {"ll", "d"}, {"l", "x"}, {"h", "d"}, {"hh", "u"}};
    const char *realConversions[] = {"f", "e", "E", "g", "G"};
    for (int round = 0; round < 2000; ++round) {
        std::string spec = "%";
        spec += flagSets[rng() % 9];
        if (rng() % 2) {
            spec += std::to_string(rng() % 25);
        }
        if (rng() % 2) {
            spec += "." + std::to_string(rng() % 12);
        }
        bool real = rng() % 3 == 0;
        if (real && spec.find('#') != std::string::npos) {
            spec.erase(spec.find('#'), 1);
        }
        const auto &integer = intConversions[rng() % 11];
        std::string modifier = real ? "" : integer.first;
        spec += real ? std::string(realConversions[rng() % 5]) : modifier + integer.second;
        std::string format = "<" + spec + ">";
        CFRef<CFStringRef> cfFormat(Str(format.c_str()));
        char expected[512];
        std::string actual;
        if (real) {
            double v = std::ldexp(static_cast<double>(static_cast<int32_t>(rng())), static_cast<int>(rng() % 80) - 40);
            std::snprintf(expected, sizeof expected, format.c_str(), v);
            actual = FormatText(cfFormat, v);
        } else {
            long long v = static_cast<long long>((static_cast<uint64_t>(rng()) << 32) | rng());
            if (modifier == "ll") {
                std::snprintf(expected, sizeof expected, format.c_str(), v);
                actual = FormatText(cfFormat, v);
            } else if (modifier == "l") {
                std::snprintf(expected, sizeof expected, format.c_str(), static_cast<long>(v));
                actual = FormatText(cfFormat, static_cast<long>(v));
            } else {
                std::snprintf(expected, sizeof expected, format.c_str(), static_cast<int>(v));
                actual = FormatText(cfFormat, static_cast<int>(v));
            }
        }
        ASSERT_EQ(expected, actual) << "format " << format;
    }
}
#pragma GCC diagnostic pop

TEST(DifferentialTest, SingleByteEncodingsMatchPythonsCodecs)
{
    if (std::system("python3 -c 'import codecs' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 is not available";
    }
    standintest::TempFolder folder("cf-codec");
    std::string path = folder / "codecs";
    std::string command = "python3 -c \"import sys\nfor name in ('mac_roman','latin_1'):\n"
                          "    print(' '.join('%04x' % ord(bytes([b]).decode(name)) for b in range(256)))\" > " + path;
    ASSERT_EQ(0, std::system(command.c_str()));
    std::ifstream in(path);
    for (CFStringEncoding encoding : {kCFStringEncodingMacRoman, kCFStringEncodingISOLatin1}) {
        std::string line;
        ASSERT_TRUE(std::getline(in, line));
        std::istringstream values(line);
        for (int b = 0; b < 256; ++b) {
            unsigned expected = 0;
            values >> std::hex >> expected;
            const UInt8 byte = static_cast<UInt8>(b);
            CFRef<CFStringRef> s(CFStringCreateWithBytes(nullptr, &byte, 1, encoding, false));
            ASSERT_NE(nullptr, s.get()) << "byte " << b;
            ASSERT_EQ(1, CFStringGetLength(s));
            EXPECT_EQ(expected, CFStringGetCharacterAtIndex(s, 0)) << "byte " << b << " encoding " << encoding;
            UInt8 back = 0;
            CFIndex used = 0;
            EXPECT_EQ(1, CFStringGetBytes(s, CFRangeMake(0, 1), encoding, 0, false, &back, 1, &used));
            EXPECT_EQ(byte, back);
        }
    }
}

// Dictionaries and arrays under random edits, checked against plain models after every step.
TEST(DifferentialTest, DictionaryMatchesAnInsertionOrderedModel)
{
    std::mt19937 rng(5);
    CFRef<CFMutableDictionaryRef> d(NewDict());
    std::vector<std::pair<int, int>> model;  // insertion order
    auto findModel = [&](int key) {
        for (size_t i = 0; i < model.size(); ++i) {
            if (model[i].first == key) {
                return static_cast<long>(i);
            }
        }
        return -1L;
    };
    for (int step = 0; step < 4000; ++step) {
        int key = static_cast<int>(rng() % 40);
        int value = static_cast<int>(rng() % 1000);
        CFRef<CFNumberRef> k(Int(key));
        CFRef<CFNumberRef> v(Int(value));
        switch (rng() % 4) {
        case 0:
        case 1:
            CFDictionarySetValue(d, k, v);
            if (findModel(key) >= 0) {
                model[static_cast<size_t>(findModel(key))].second = value;
            } else {
                model.emplace_back(key, value);
            }
            break;
        case 2:
            CFDictionaryAddValue(d, k, v);
            if (findModel(key) < 0) {
                model.emplace_back(key, value);
            }
            break;
        default:
            CFDictionaryRemoveValue(d, k);
            if (findModel(key) >= 0) {
                model.erase(model.begin() + findModel(key));
            }
        }
        ASSERT_EQ(static_cast<CFIndex>(model.size()), CFDictionaryGetCount(d));
        std::vector<const void *> keys(model.size());
        std::vector<const void *> values(model.size());
        CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
        for (size_t i = 0; i < model.size(); ++i) {
            long k2 = -1;
            long v2 = -1;
            CFNumberGetValue(static_cast<CFNumberRef>(keys[i]), kCFNumberLongType, &k2);
            CFNumberGetValue(static_cast<CFNumberRef>(values[i]), kCFNumberLongType, &v2);
            ASSERT_EQ(model[i].first, k2) << "step " << step;
            ASSERT_EQ(model[i].second, v2) << "step " << step;
        }
        CFRef<CFNumberRef> probe(Int(static_cast<int>(rng() % 40)));
        long probeKey = 0;
        CFNumberGetValue(probe, kCFNumberLongType, &probeKey);
        ASSERT_EQ(findModel(static_cast<int>(probeKey)) >= 0, CFDictionaryContainsKey(d, probe) != 0);
    }
}

// Appends, removals and sorts of part of the array, and look-ups after each, against a vector.
TEST(DifferentialTest, ArrayMatchesAVectorModel)
{
    std::mt19937 rng(9);
    CFRef<CFMutableArrayRef> a(NewArray());
    std::vector<int> model;
    for (int step = 0; step < 3000; ++step) {
        int value = static_cast<int>(rng() % 100);
        CFRef<CFNumberRef> v(Int(value));
        switch (rng() % 4) {
        case 0:
        case 1: CFArrayAppendValue(a, v); model.push_back(value); break;
        case 2:
            if (!model.empty()) {
                size_t at = rng() % model.size();
                CFArrayRemoveValueAtIndex(a, static_cast<CFIndex>(at));
                model.erase(model.begin() + static_cast<long>(at));
            }
            break;
        default: {
            size_t first = model.empty() ? 0 : rng() % model.size();
            size_t last = first + (model.size() == first ? 0 : rng() % (model.size() - first + 1));
            CFArraySortValues(a, CFRangeMake(static_cast<CFIndex>(first), static_cast<CFIndex>(last - first)), ByNumber,
                              nullptr);
            std::stable_sort(model.begin() + static_cast<long>(first), model.begin() + static_cast<long>(last));
        }
        }
        ASSERT_EQ(static_cast<CFIndex>(model.size()), CFArrayGetCount(a));
        CFRange all = CFRangeMake(0, CFArrayGetCount(a));
        auto firstInModel = std::find(model.begin(), model.end(), value);
        auto lastInModel = std::find(model.rbegin(), model.rend(), value);
        CFIndex expectedFirst = firstInModel == model.end() ? CFIndex{kCFNotFound} : firstInModel - model.begin();
        CFIndex expectedLast = lastInModel == model.rend() ? CFIndex{kCFNotFound} : model.rend() - lastInModel - 1;
        ASSERT_EQ(expectedFirst, CFArrayGetFirstIndexOfValue(a, all, v)) << "step " << step;
        ASSERT_EQ(expectedLast, CFArrayGetLastIndexOfValue(a, all, v)) << "step " << step;
    }
    for (size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(model[i], LongOf(CFArrayGetValueAtIndex(a, static_cast<CFIndex>(i))));
    }
}

// Every Create or Copy of the interface, failed through the seam: NULL, nothing allocated.
TEST(SeamSweepTest, EveryCreationFailsCleanly)
{
    PlatformTestingResetCoreFoundation();
    CFRef<CFStringRef> text(Str("Gr\xC3\xBC\xC3\x9F" "e /Library/Modem Scripts"));
    CFRef<CFMutableDictionaryRef> dict(NewDict());
    CFDictionarySetValue(dict, CFSTR("k"), text);
    CFRef<CFMutableArrayRef> array(NewArray());
    CFArrayAppendValue(array, text);
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>("abc"), 3));
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, dict));
    CFRef<CFURLRef> url(FileURL("/etc/hostname"));
    CFRef<CFUUIDRef> uuid(CFUUIDCreate(nullptr));
    CFRef<CFStringRef> uuidText(CFUUIDCreateString(nullptr, uuid));
    CFRef<CFErrorRef> error(CFErrorCreate(nullptr, kCFErrorDomainPOSIX, 2, nullptr));
    CFRef<CFMutableDataRef> mutableData(CFDataCreateMutable(nullptr, 0));
    CFDataAppendBytes(mutableData, reinterpret_cast<const UInt8 *>("abc"), 3);
    const UniChar units[] = {'a', 'b'};
    double real = 2.5;
    std::vector<std::pair<const char *, std::function<CFTypeRef()>>> creations = {
        {"CFStringCreateWithCString", [] { return CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8); }},
        {"CFStringCreateWithBytes", [] { return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>("\xC3\xA9"), 2, kCFStringEncodingUTF8, false); }},
        {"CFStringCreateWithCharacters", [&] { return CFStringCreateWithCharacters(nullptr, units, 2); }},
        {"CFStringCreateWithSubstring", [&] { return CFStringCreateWithSubstring(nullptr, text, CFRangeMake(1, 3)); }},
        {"CFStringCreateCopy", [&] { return CFStringCreateCopy(nullptr, text); }},
        {"CFStringCreateMutable", [] { return CFStringCreateMutable(nullptr, 0); }},
        {"CFStringCreateMutableCopy", [&] { return CFStringCreateMutableCopy(nullptr, 0, text); }},
        {"CFStringCreateWithFormat", [&] { return CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@/%d"), text.get(), 3); }},
        {"CFStringCreateArrayBySeparatingStrings", [&] { return CFStringCreateArrayBySeparatingStrings(nullptr, text, CFSTR("/")); }},
        {"CFCopyDescription", [&] { return CFCopyDescription(dict); }},
        {"CFNumberCreate", [&] { return CFNumberCreate(nullptr, kCFNumberDoubleType, &real); }},
        {"CFDateCreate", [] { return CFDateCreate(nullptr, 0); }},
        {"CFDataCreate", [] { return CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>("x"), 1); }},
        {"CFDataCreateCopy", [&] { return CFDataCreateCopy(nullptr, data); }},
        {"CFDataCreateMutableCopy", [&] { return CFDataCreateMutableCopy(nullptr, 0, data); }},
        {"CFArrayCreate", [&] { return CFArrayCreate(nullptr, reinterpret_cast<const void **>(&text), 1, &kCFTypeArrayCallBacks); }},
        {"CFArrayCreateMutableCopy", [&] { return CFArrayCreateMutableCopy(nullptr, 0, array); }},
        {"CFDictionaryCreateCopy", [&] { return CFDictionaryCreateCopy(nullptr, dict); }},
        {"CFDictionaryCreateMutableCopy", [&] { return CFDictionaryCreateMutableCopy(nullptr, 0, dict); }},
        {"CFPropertyListCreateDeepCopy", [&] { return CFPropertyListCreateDeepCopy(nullptr, dict, kCFPropertyListMutableContainersAndLeaves); }},
        {"CFPropertyListCreateFromXMLData", [&] { return CFPropertyListCreateFromXMLData(nullptr, xml, 0, nullptr); }},
        {"CFPropertyListCreateData", [&] { return CFPropertyListCreateData(nullptr, dict, kCFPropertyListBinaryFormat_v1_0, 0, nullptr); }},
        {"CFURLCreateCopyAppendingPathComponent", [&] { return CFURLCreateCopyAppendingPathComponent(nullptr, url, CFSTR("x"), false); }},
        {"CFUUIDCreateString", [&] { return CFUUIDCreateString(nullptr, uuid); }},
        {"CFUUIDCreate", [] { return CFUUIDCreate(nullptr); }},
        {"CFUUIDCreateFromString", [&] { return CFUUIDCreateFromString(nullptr, uuidText); }},
        {"CFErrorCopyDescription", [&] { return CFErrorCopyDescription(error); }},
        {"CFDataCreateWithBytesNoCopy", [] { return CFDataCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8 *>("x"), 1, kCFAllocatorNull); }},
        {"CFDataCreateCopy of mutable data", [&] { return CFDataCreateCopy(nullptr, mutableData); }},
        {"CFDataCreateMutable", [] { return CFDataCreateMutable(nullptr, 0); }},
        {"CFArrayCreateMutable", [] { return CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks); }},
        {"CFDictionaryCreate", [] { return CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks); }},
        {"CFDictionaryCreateMutable", [] { return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks); }},
        {"CFSetCreateMutable", [] { return CFSetCreateMutable(nullptr, 0, &kCFTypeSetCallBacks); }},
        {"CFURLCreateFromFileSystemRepresentation", [] { return FileURL("/tmp", true); }},
        {"CFErrorCreate", [] { return CFErrorCreate(nullptr, kCFErrorDomainPOSIX, 2, nullptr); }},
        {"CFBundleCopyLocalizedString", [] { return CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("k"), nullptr, nullptr); }},
        {"CFRunLoopTimerCreate", [] { return CFRunLoopTimerCreate(nullptr, 0, 0, 0, 0, nullptr, nullptr); }},
    };
    for (auto &creation : creations) {
        CFTypeRef made = creation.second();
        ASSERT_NE(nullptr, made) << creation.first << " does not work without the seam";
        CFRelease(made);
        long live = PlatformTestingCFLiveObjectCount();
        PlatformTestingCFFailNthCreation(1);
        CFTypeRef failed = creation.second();
        EXPECT_EQ(nullptr, failed) << creation.first << " ignored the seam";
        EXPECT_EQ(live, PlatformTestingCFLiveObjectCount()) << creation.first << " allocated although it failed";
        if (failed != nullptr) {
            CFRelease(failed);
        }
        PlatformTestingCFFailNthCreation(0);
    }
    PlatformTestingResetCoreFoundation();
}

}  // namespace
