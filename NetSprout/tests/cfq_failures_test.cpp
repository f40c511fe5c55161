// MoreCFQ under creation failures: every CoreFoundation creation (and every memory block) an
// operation makes is failed in turn. Each run must report -4960 or -108, leave its out slot
// empty, and leave no object or block behind (the asan preset checks the blocks).
#include "MoreCFQ.h"

#include "CFQTestSupport.h"

#include <cstdlib>
#include <fstream>

using namespace cfqtest;
using namespace standintest;

namespace {

class CFQFailuresTest : public SeamTest {};

// Runs a Create/Copy operation that fills slot; checks the out-slot contract and releases.
template <class Ref>
OSStatus CheckSlot(OSStatus err, Ref &slot)
{
    EXPECT_EQ(err == noErr, slot != nullptr) << "status " << err;
    if (slot != nullptr) {
        CFRelease(slot);
        slot = nullptr;
    }
    return err;
}

TEST_F(CFQFailuresTest, ContainerConstructors)
{
    EXPECT_EQ(1,
              FailEachCreation<OSStatus>([] {
                  CFMutableDictionaryRef dict = nullptr;
                  return CheckSlot(CFQDictionaryCreateMutable(&dict), dict);
              }, {-4960}));
    EXPECT_EQ(1,
              FailEachCreation<OSStatus>([] {
                  CFMutableArrayRef array = nullptr;
                  return CheckSlot(CFQArrayCreateMutable(&array), array);
              }, {-4960}));

    CFRef<CFNumberRef> one(Num(1));
    CFRef<CFMutableDictionaryRef> dict(Dict({{"a", one}, {"b", one}}));
    // A scratch block (-108), then the array (-4960).
    EXPECT_EQ(2,
              FailEachCreation<OSStatus>([&] {
                  CFArrayRef keys = nullptr;
                  return CheckSlot(CFQArrayCreateWithDictionaryKeys(dict, &keys), keys);
              }, {-108, -4960}));
    EXPECT_EQ(2,
              FailEachCreation<OSStatus>([&] {
                  CFArrayRef values = nullptr;
                  return CheckSlot(CFQArrayCreateWithDictionaryValues(dict, &values), values);
              }, {-108, -4960}));

    CFRef<CFStringRef> a(Str("a"));
    CFRef<CFMutableArrayRef> keys(Array({a}));
    CFRef<CFMutableArrayRef> values(Array({one}));
    // Two scratch blocks (-108 each), then the dictionary (-4960).
    EXPECT_EQ(3,
              FailEachCreation<OSStatus>([&] {
                  CFDictionaryRef made = nullptr;
                  return CheckSlot(CFQDictionaryCreateWithArrayOfKeysAndValues(keys, values, &made), made);
              }, {-108, -4960}));

    CFRef<CFMutableDictionaryRef> target(Dict({}));
    EXPECT_EQ(1, FailEachCreation<OSStatus>([&] { return CFQDictionarySetNumber(target, CFSTR("n"), 5); }, {-4960}));
}

TEST_F(CFQFailuresTest, Strings)
{
    CFRef<CFStringRef> accented(Str("caf\xC3\xA9"));
    EXPECT_EQ(1,
              FailEachCreation<OSStatus>([&] {
                  char *text = nullptr;
                  OSStatus err = CFQStringCopyCString(accented, kCFStringEncodingUTF8, &text);
                  EXPECT_EQ(err == noErr, text != nullptr);
                  free(text);
                  return err;
              }, {-108}));

    EXPECT_EQ(1,
              FailEachCreation<OSStatus>([&] {
                  // The slot's reference is given up by a successful normalization.
                  CFStringRef str = static_cast<CFStringRef>(CFRetain(accented));
                  OSStatus err = CFQStringNormalize(&str);
                  EXPECT_TRUE(err == noErr || str == accented.get()) << "a failure keeps the string in the slot";
                  CFRelease(str);
                  return err;
              }, {-4960}));

    HFSUniStr255 record;
    ASSERT_EQ(noErr, CFQStringGetHFSUniStr255(accented, &record));
    EXPECT_EQ(1,
              FailEachCreation<OSStatus>([&] {
                  CFStringRef str = nullptr;
                  return CheckSlot(CFQStringCreateWithHFSUniStr255(&record, &str), str);
              }, {-4960}));

    TempFolder bundle;
    std::filesystem::create_directories(bundle / "Resources");
    {
        std::ofstream strings(bundle / "Resources/Localizable.strings");
        strings << "\"Key\" = \"Valu\xC3\xA9\";\n";
    }
    PlatformTestingSetMainBundlePath(bundle.path().c_str());
    auto localised = [] {
        CFStringRef str = nullptr;
        return CheckSlot(CFQCopyLocalisedNormalisedString(CFSTR("Key"), CFSTR("comment"), &str), str);
    };
    long creations = FailEachCreation<OSStatus>(localised, {-4960});
    EXPECT_GE(creations, 2);  // the localized string and its normalized copy
}

TEST_F(CFQFailuresTest, PathEditorsOnAFixedTree)
{
    CFRef<CFNumberRef> one(Num(1));
    CFRef<CFNumberRef> two(Num(2));
    CFRef<CFMutableDictionaryRef> c(Dict({{"v", one}}));
    CFRef<CFMutableDictionaryRef> b(Dict({{"c", c}}));
    CFRef<CFMutableDictionaryRef> tree(Dict({{"b", b}}));
    const void *path[] = {CFSTR("b"), CFSTR("c"), CFSTR("v")};

    // After a successful removal the value goes back, without creating anything, for the next run.
    auto putBack = [&](OSStatus err) {
        if (err == noErr) {
            CFDictionaryRef treeB = static_cast<CFDictionaryRef>(CFDictionaryGetValue(tree, CFSTR("b")));
            CFDictionarySetValue(
                const_cast<CFMutableDictionaryRef>(static_cast<CFDictionaryRef>(CFDictionaryGetValue(treeB, CFSTR("c")))),
                CFSTR("v"), one);
        }
        return err;
    };

    EXPECT_EQ(2, FailEachCreation<OSStatus>([&] { return CFQDictionarySetValueAtPath(tree, path, 3, two); }, {-4960}));
    EXPECT_EQ(2, FailEachCreation<OSStatus>([&] { return putBack(CFQDictionaryRemoveValueAtPath(tree, path, 3)); },
                                            {-4960}));
    const void *value = nullptr;
    ASSERT_EQ(noErr, CFQDictionaryGetValueAtPath(tree, path, 3, &value));
    CFDictionaryRef treeB = static_cast<CFDictionaryRef>(CFDictionaryGetValue(tree, CFSTR("b")));
    EXPECT_NE(CFDictionaryGetValue(treeB, CFSTR("c")), static_cast<const void *>(c.get()));
    EXPECT_EQ(1, LongValue(CFDictionaryGetValue(c, CFSTR("v")))) << "the original nested dictionary never changed";

    CFRef<CFMutableArrayRef> pathArray(Array({CFSTR("b"), CFSTR("c"), CFSTR("v")}));
    // The C array of the twin (-108) and the two copies (-4960).
    EXPECT_EQ(3, FailEachCreation<OSStatus>([&] { return CFQDictionarySetValueAtPathArray(tree, pathArray, two); },
                                            {-108, -4960}));
    EXPECT_EQ(1,
              FailEachCreation<OSStatus>([&] {
                  const void *found = nullptr;
                  return CFQDictionaryGetValueAtPathArray(tree, pathArray, &found);
              }, {-108}));
    EXPECT_EQ(3, FailEachCreation<OSStatus>([&] { return putBack(CFQDictionaryRemoveValueAtPathArray(tree, pathArray)); },
                                            {-108, -4960}));
}

TEST_F(CFQFailuresTest, Loading)
{
    TempFolder folder;
    std::string path = folder / "list.plist";
    {
        std::ofstream out(path);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>k</key>"
               "<array><string>v</string><integer>1</integer></array></dict></plist>\n";
    }
    FSRef ref;
    ASSERT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr));
    // The URL, the file's data (false with error code 0), the parse.
    EXPECT_EQ(3,
              FailEachCreation<OSStatus>([&] {
                  CFPropertyListRef plist = nullptr;
                  return CheckSlot(CFQPropertyListCreateFromXMLFSRef(&ref, kCFPropertyListMutableContainersAndLeaves, &plist),
                                   plist);
              }, {-4960}));
}

TEST_F(CFQFailuresTest, FrameworkLoading)
{
    TempFolder root;
    PlatformTestingSetFolderRoot(root.path().c_str());
    std::string folder = root / "System/Library/Frameworks/Fixture.framework";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(CFQ_FIXTURE_FRAMEWORK_EXECUTABLE, folder + "/Fixture");
    auto load = [] {
        CFBundleRef bundle = nullptr;
        return CheckSlot(CFQBundleCreateFromFrameworkName(CFSTR("Fixture.framework"), &bundle), bundle);
    };
    // The folder's URL, the framework's URL, the bundle.
    long creations = FailEachCreation<OSStatus>(load, {-4960});
    EXPECT_GE(creations, 3);
}

}  // namespace
