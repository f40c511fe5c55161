// File URLs, reading resources, bundles with localized strings and executables.
#include "PlatformTesting.h"
#include "StandInTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class URLBundleTest : public standintest::SeamTest {
protected:
    void Write(const fs::path &path, const std::string &bytes)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    CFURLRef URLFor(const fs::path &path, bool dir = false)
    {
        CFRef<CFStringRef> p(Str(path.c_str()));
        return CFURLCreateWithFileSystemPath(nullptr, p, kCFURLPOSIXPathStyle, dir);
    }
    standintest::TempFolder folder_{"cf-url"};
    fs::path root_ = folder_.path();
};

TEST_F(URLBundleTest, FileURLsEncodeAndDecodePaths)
{
    CFRef<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, CFSTR("/Library/Modem Scripts/Caf\xC3\xA9"),
                                                     kCFURLPOSIXPathStyle, true));
    EXPECT_EQ("file:///Library/Modem%20Scripts/Caf%C3%A9/", Utf8(CFURLGetString(url)));
    EXPECT_TRUE(CFURLHasDirectoryPath(url));
    CFRef<CFStringRef> path(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
    EXPECT_EQ("/Library/Modem Scripts/Caf\xC3\xA9", Utf8(path));
    CFRef<CFURLRef> child(CFURLCreateCopyAppendingPathComponent(nullptr, url, CFSTR("Velmora.framework"), false));
    CFRef<CFStringRef> last(CFURLCopyLastPathComponent(child));
    EXPECT_EQ("Velmora.framework", Utf8(last));
    CFRef<CFStringRef> ext(CFURLCopyPathExtension(child));
    EXPECT_EQ("framework", Utf8(ext));
    CFRef<CFURLRef> parent(CFURLCreateCopyDeletingLastPathComponent(nullptr, child));
    EXPECT_TRUE(CFEqual(parent, url));
    UInt8 buffer[256];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(child, true, buffer, sizeof buffer));
    EXPECT_STREQ("/Library/Modem Scripts/Caf\xC3\xA9/Velmora.framework", reinterpret_cast<char *>(buffer));
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(child, true, buffer, 10));
    CFRef<CFURLRef> web(CFURLCreateWithString(nullptr, CFSTR("http://example.invalid/a/b"), nullptr));
    CFRef<CFStringRef> scheme(CFURLCopyScheme(web));
    EXPECT_EQ("http", Utf8(scheme));
    EXPECT_EQ(nullptr, CFURLCreateWithString(nullptr, CFSTR("not a url"), nullptr));
}

TEST_F(URLBundleTest, ResourcesAreReadWithTheirErrorCodes)
{
    Write(root_ / "prefs.plist", "content\n");
    CFRef<CFURLRef> url(URLFor(root_ / "prefs.plist"));
    CFRef<CFDataRef> data;
    CFRef<CFDictionaryRef> props;
    SInt32 code = -1;
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, url, data.slot(), props.slot(), nullptr, &code));
    EXPECT_EQ(0, code);
    EXPECT_EQ(8, CFDataGetLength(data));
    long length = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(props, kCFURLFileLength)), kCFNumberLongType, &length);
    EXPECT_EQ(8, length);
    EXPECT_EQ(kCFBooleanTrue, CFDictionaryGetValue(props, kCFURLFileExists));

    CFRef<CFURLRef> missing(URLFor(root_ / "missing.plist"));
    CFDataRef none = nullptr;
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, missing, &none, nullptr, nullptr, &code));
    EXPECT_EQ(kCFURLResourceNotFoundError, code);
    EXPECT_EQ(nullptr, none);

    CFRef<CFDataRef> bytes(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>("new"), 3));
    EXPECT_TRUE(CFURLWriteDataAndPropertiesToResource(missing, bytes, nullptr, &code));
    data.reset();
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, missing, data.slot(), nullptr, nullptr, &code));
    EXPECT_TRUE(CFEqual(data, bytes));
    EXPECT_TRUE(CFURLDestroyResource(missing, &code));
    EXPECT_FALSE(fs::exists(root_ / "missing.plist"));

    long live = PlatformTestingCFLiveObjectCount();
    PlatformTestingCFFailNthCreation(1);
    CFDataRef failed = nullptr;
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, url, &failed, nullptr, nullptr, &code));
    EXPECT_EQ(0, code);
    EXPECT_EQ(nullptr, failed);
    EXPECT_EQ(live, PlatformTestingCFLiveObjectCount());
}

TEST_F(URLBundleTest, BundlesFindLocalizedStringsInEitherFormat)
{
    fs::path bundle = root_ / "Velmora.app";
    Write(bundle / "Contents/Info.plist",
          "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
          "<string>com.example.velmora</string><key>CFBundleDevelopmentRegion</key><string>English</string></dict></plist>");
    Write(bundle / "Contents/Resources/English.lproj/Localizable.strings",
          "/* Texts of the tool */\n\"Modem\" = \"Mod\\U00e9m\";\n// a comment\n\"Tab\" = \"a\\tb\";\nPlain = Word;\n");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("\"Port\" = \"Anschluss\";\n")) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    Write(bundle / "Contents/Resources/English.lproj/Ports.strings", utf16);
    Write(bundle / "Contents/Resources/English.lproj/Broken.strings", "\"unterminated = \"x\"\n");

    CFRef<CFURLRef> url(URLFor(bundle, true));
    CFRef<CFBundleRef> b(CFBundleCreate(nullptr, url));
    ASSERT_NE(nullptr, b.get());
    EXPECT_EQ("com.example.velmora", Utf8(CFBundleGetIdentifier(b)));
    auto localized = [&](const char *key, CFStringRef value, CFStringRef table) {
        CFRef<CFStringRef> k(Str(key));
        CFRef<CFStringRef> s(CFBundleCopyLocalizedString(b, k, value, table));
        return Utf8(s);
    };
    EXPECT_EQ("Mod\xC3\xA9m", localized("Modem", nullptr, nullptr));
    EXPECT_EQ("a\tb", localized("Tab", nullptr, nullptr));
    EXPECT_EQ("Word", localized("Plain", nullptr, nullptr));
    EXPECT_EQ("Anschluss", localized("Port", nullptr, CFSTR("Ports")));
    EXPECT_EQ("fallback", localized("Missing", CFSTR("fallback"), nullptr));
    EXPECT_EQ("Missing", localized("Missing", CFSTR(""), nullptr));
    EXPECT_EQ("x", localized("x", nullptr, CFSTR("Broken")));

    PlatformTestingSetMainBundlePath(bundle.c_str());
    CFRef<CFStringRef> main(CFCopyLocalizedString(CFSTR("Modem"), "comment"));
    EXPECT_EQ("Mod\xC3\xA9m", Utf8(main));

    CFRef<CFURLRef> nowhere(URLFor(root_ / "absent.bundle", true));
    EXPECT_EQ(nullptr, CFBundleCreate(nullptr, nowhere));
}

TEST_F(URLBundleTest, FrameworkExecutablesLoad)
{
    Dl_info info{};
    ASSERT_NE(0, dladdr(reinterpret_cast<void *>(static_cast<double (*)(double)>(&::cos)), &info));  // the C maths library
    fs::path framework = root_ / "Fake.framework";
    fs::create_directories(framework);
    fs::copy_file(info.dli_fname, framework / "Fake");
    CFRef<CFURLRef> url(URLFor(framework, true));
    CFRef<CFBundleRef> b(CFBundleCreate(nullptr, url));
    ASSERT_NE(nullptr, b.get());
    EXPECT_FALSE(CFBundleIsExecutableLoaded(b));
    ASSERT_TRUE(CFBundleLoadExecutable(b));
    EXPECT_TRUE(CFBundleIsExecutableLoaded(b));
    auto *cosine = reinterpret_cast<double (*)(double)>(CFBundleGetFunctionPointerForName(b, CFSTR("cos")));
    ASSERT_NE(nullptr, cosine);
    EXPECT_EQ(1.0, cosine(0.0));

    fs::create_directories(root_ / "Empty.framework");
    CFRef<CFURLRef> emptyURL(URLFor(root_ / "Empty.framework", true));
    CFRef<CFBundleRef> empty(CFBundleCreate(nullptr, emptyURL));
    ASSERT_NE(nullptr, empty.get());
    EXPECT_FALSE(CFBundleLoadExecutable(empty));
}

}  // namespace
