// File URLs, reading resources, bundles with localized strings and executables.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class URLBundleTest : public standintest::SeamTest {
protected:
    void Write(const fs::path &path, const std::string &bytes)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    CFURLRef URLFor(const fs::path &path, bool dir = false) { return FileURL(path.string(), dir); }
    standintest::TempFolder folder_{"cf-url"};
    fs::path root_ = folder_.path();
};

std::string PathOf(CFURLRef url)
{
    UInt8 buffer[1024];
    return CFURLGetFileSystemRepresentation(url, true, buffer, sizeof buffer) ? reinterpret_cast<char *>(buffer)
                                                                               : "(none)";
}

// Paths to file URLs and back: the URL text is percent-encoded, the path comes back decoded, a
// directory URL ends with a slash, and a relative path is taken from the working folder.
TEST_F(URLBundleTest, FileURLsEncodeAndDecodePaths)
{
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    const struct {
        std::string path;
        bool directory;
        std::string text;  // CFCopyDescription of the URL
        std::string back;  // the file-system representation
    } cases[] = {
        {"/Library/Modem Scripts/Caf\xC3\xA9", true, "file:///Library/Modem%20Scripts/Caf%C3%A9/",
         "/Library/Modem Scripts/Caf\xC3\xA9"},
        {"/Volumes/Velmora", false, "file:///Volumes/Velmora", "/Volumes/Velmora"},
        {"/", true, "file:///", "/"},
        {"/a%b?c#d", false, "file:///a%25b%3Fc%23d", "/a%b?c#d"},
        {"/tmp/dir/", false, "file:///tmp/dir/", "/tmp/dir"},
        {"relative/file", false, "file://" + std::string(cwd) + "/relative/file", std::string(cwd) + "/relative/file"},
    };
    for (const auto &c : cases) {
        CFRef<CFURLRef> url(FileURL(c.path, c.directory));
        ASSERT_NE(nullptr, url.get()) << c.path;
        CFRef<CFStringRef> text(CFCopyDescription(url));
        EXPECT_EQ(c.text, Utf8(text));
        EXPECT_EQ(c.back, PathOf(url));
        EXPECT_EQ(c.text.back() == '/', CFURLHasDirectoryPath(url) != 0) << c.path;
        CFRef<CFURLRef> same(FileURL(c.path, c.directory));
        EXPECT_TRUE(CFEqual(url, same));
        EXPECT_EQ(CFHash(url), CFHash(same));
    }
    const char withZero[] = {'/', 't', 'm', 'p', 0, 'x'};
    CFRef<CFURLRef> cut(CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(withZero), 6, false));
    EXPECT_EQ("/tmp", PathOf(cut));
    EXPECT_EQ(nullptr, CFURLCreateFromFileSystemRepresentation(nullptr, nullptr, 4, false));
    EXPECT_EQ(nullptr, CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>("/x"), 0, false));
    EXPECT_EQ(nullptr, CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(withZero + 4), 2, false));
    CFRef<CFURLRef> plain(FileURL("/Library/Modem Scripts"));
    UInt8 small[10];
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(plain, true, small, sizeof small));
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(plain, true, nullptr, 100));
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(nullptr, true, small, sizeof small));
    EXPECT_FALSE(CFURLHasDirectoryPath(nullptr));
}

TEST_F(URLBundleTest, AppendingPathComponents)
{
    const struct {
        const char *base;
        bool baseIsDirectory;
        const char *component;
        bool directory;
        const char *text;
    } cases[] = {
        {"/Library/Frameworks", true, "Velmora.framework", true, "file:///Library/Frameworks/Velmora.framework/"},
        {"/Library/Frameworks", false, "Velmora.framework", false, "file:///Library/Frameworks/Velmora.framework"},
        {"/Library", true, "/Modem Scripts", false, "file:///Library/Modem%20Scripts"},
        {"/", true, "Caf\xC3\xA9", false, "file:///Caf%C3%A9"},
    };
    for (const auto &c : cases) {
        CFRef<CFURLRef> base(FileURL(c.base, c.baseIsDirectory));
        CFRef<CFStringRef> component(Str(c.component));
        CFRef<CFURLRef> child(CFURLCreateCopyAppendingPathComponent(nullptr, base, component, c.directory));
        CFRef<CFStringRef> text(CFCopyDescription(child));
        EXPECT_EQ(c.text, Utf8(text));
    }
    CFRef<CFURLRef> base(FileURL("/tmp"));
    EXPECT_EQ(nullptr, CFURLCreateCopyAppendingPathComponent(nullptr, base, nullptr, false));
    EXPECT_EQ(nullptr, CFURLCreateCopyAppendingPathComponent(nullptr, nullptr, CFSTR("x"), false));
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
    EXPECT_EQ("content\n", TextOf(data));
    long length = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(props, kCFURLFileLength)), kCFNumberLongType, &length);
    EXPECT_EQ(8, length);
    EXPECT_EQ(kCFBooleanTrue, CFDictionaryGetValue(props, kCFURLFileExists));

    // A file larger than one read, an empty file, and no error slot.
    std::string big(200000, 'b');
    Write(root_ / "big", big);
    CFRef<CFURLRef> bigURL(URLFor(root_ / "big"));
    data.reset();
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, bigURL, data.slot(), nullptr, nullptr, nullptr));
    EXPECT_EQ(big, TextOf(data));
    Write(root_ / "empty", "");
    CFRef<CFURLRef> emptyURL(URLFor(root_ / "empty"));
    data.reset();
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, emptyURL, data.slot(), nullptr, nullptr, &code));
    EXPECT_EQ(0, CFDataGetLength(data));

    const struct {
        fs::path path;
        SInt32 code;
    } failures[] = {
        {root_ / "missing.plist", kCFURLResourceNotFoundError},
        {root_ / "prefs.plist" / "below", kCFURLResourceNotFoundError},  // a file is not a folder
        {root_, kCFURLUnknownError},                                     // a folder has no data
    };
    for (const auto &f : failures) {
        CFRef<CFURLRef> bad(URLFor(f.path));
        CFDataRef none = nullptr;
        code = 0;
        EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, bad, &none, nullptr, nullptr, &code)) << f.path;
        EXPECT_EQ(f.code, code) << f.path;
        EXPECT_EQ(nullptr, none);
    }
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, nullptr, nullptr, nullptr, nullptr, &code));
    EXPECT_EQ(kCFURLImproperArgumentsError, code);

    long live = PlatformTestingCFLiveObjectCount();
    PlatformTestingCFFailNthCreation(1);
    CFDataRef failed = nullptr;
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, url, &failed, nullptr, nullptr, &code));
    EXPECT_EQ(0, code);
    EXPECT_EQ(nullptr, failed);
    EXPECT_EQ(live, PlatformTestingCFLiveObjectCount());
}

// The properties of a file, a folder and a missing file: all of them, or those asked for.
TEST_F(URLBundleTest, ResourcePropertiesAllOrThoseAskedFor)
{
    Write(root_ / "dir" / "file", "12345");
    fs::create_directories(root_ / "dir" / "sub");
    fs::permissions(root_ / "dir" / "file", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    CFRef<CFURLRef> file(URLFor(root_ / "dir" / "file"));
    CFRef<CFDictionaryRef> props;
    SInt32 code = -1;
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, file, nullptr, props.slot(), nullptr, &code));
    EXPECT_EQ(5, CFDictionaryGetCount(props));  // every property but the folder contents
    long value = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(props, kCFURLFilePOSIXMode)), kCFNumberLongType, &value);
    EXPECT_EQ(0640, value);
    CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(props, kCFURLFileOwnerID)), kCFNumberLongType, &value);
    EXPECT_EQ(static_cast<long>(getuid()), value);
    auto modified = static_cast<CFDateRef>(CFDictionaryGetValue(props, kCFURLFileLastModificationTime));
    ASSERT_NE(nullptr, modified);
    EXPECT_LT(std::fabs(CFDateGetAbsoluteTime(modified) - CFAbsoluteTimeGetCurrent()), 3600.0);

    CFRef<CFURLRef> dir(URLFor(root_ / "dir", true));
    const void *keys[] = {kCFURLFileDirectoryContents, kCFURLFileExists};
    CFRef<CFArrayRef> desired(CFArrayCreate(nullptr, keys, 2, &kCFTypeArrayCallBacks));
    props.reset();
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, dir, nullptr, props.slot(), desired, &code));
    EXPECT_EQ(2, CFDictionaryGetCount(props));
    auto contents = static_cast<CFArrayRef>(CFDictionaryGetValue(props, kCFURLFileDirectoryContents));
    ASSERT_EQ(2, CFArrayGetCount(contents));
    std::vector<std::string> names;
    for (CFIndex i = 0; i < 2; ++i) {
        auto child = static_cast<CFURLRef>(CFArrayGetValueAtIndex(contents, i));
        names.push_back(PathOf(child).substr((root_ / "dir").string().size() + 1) +
                        (CFURLHasDirectoryPath(child) ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"file", "sub/"}), names);

    CFRef<CFURLRef> missing(URLFor(root_ / "missing"));
    props.reset();
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, missing, nullptr, props.slot(), nullptr, &code));
    EXPECT_EQ(1, CFDictionaryGetCount(props));
    EXPECT_EQ(kCFBooleanFalse, CFDictionaryGetValue(props, kCFURLFileExists));
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
    Write(bundle / "Contents/Resources/English.lproj/Escapes.strings",
          "\"octal\" = \"\\101\\60z\\9\";\n\"controls\" = \"\\n\\r\\a\\b\\f\\v\\\"\";\n"
          "\"short\" = \"\\u41!\";\n/* unterminated comment");
    std::string bigEndian = "\xFE\xFF";
    for (char c : std::string("\"Big\" = \"Endian\";")) {
        bigEndian.push_back('\0');
        bigEndian.push_back(c);
    }
    Write(bundle / "Contents/Resources/English.lproj/Big.strings", bigEndian);
    Write(bundle / "Contents/Resources/English.lproj/Listed.strings",
          "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key><string>from a plist</string></dict></plist>");
    Write(bundle / "Contents/Resources/English.lproj/NotADict.strings",
          "<plist version=\"1.0\"><array><string>k</string></array></plist>");
    Write(bundle / "Contents/Resources/English.lproj/Latin.strings", "\"k\" = \"caf\xE9\";");
    Write(bundle / "Contents/Resources/English.lproj/NoValue.strings", "\"k\" = ;");
    Write(bundle / "Contents/Resources/English.lproj/NoSemicolon.strings", "\"k\" = \"v\"");
    Write(bundle / "Contents/Resources/English.lproj/Escaped.strings", "\"k\" = \"v\\");
    Write(bundle / "Contents/Resources/English.lproj/KeyOnly.strings", "\"alone\";\n");
    Write(bundle / "Contents/Resources/English.lproj/Trailing.strings", "\"k\" = \"v\";\n!");
    Write(bundle / "Contents/Resources/Shared.strings", "\"shared\" = \"outside any language\";");

    CFRef<CFURLRef> url(URLFor(bundle, true));
    CFRef<CFBundleRef> b(CFBundleCreate(nullptr, url));
    ASSERT_NE(nullptr, b.get());
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
    const struct {
        const char *table;
        const char *key;
        const char *expected;
    } tables[] = {
        // A file with a syntax error, or that is not a dictionary, or not text, is ignored whole.
        {"Broken", "x", "(missing)"},
        {"Escapes", "octal", "A0z9"},
        {"Escapes", "controls", "\n\r\a\b\f\v\""},
        {"Escapes", "short", "A!"},
        {"Big", "Big", "Endian"},
        {"Listed", "k", "from a plist"},
        {"NotADict", "k", "(missing)"},
        {"Latin", "k", "(missing)"},
        {"NoValue", "k", "(missing)"},
        {"NoSemicolon", "k", "(missing)"},
        {"Escaped", "k", "(missing)"},
        {"Trailing", "k", "(missing)"},
        {"KeyOnly", "alone", "alone"},
        {"Shared", "shared", "outside any language"},
        {"Absent", "k", "(missing)"},
    };
    for (const auto &t : tables) {
        CFRef<CFStringRef> table(Str(t.table));
        EXPECT_EQ(t.expected, localized(t.key, CFSTR("(missing)"), table)) << t.table;
        EXPECT_EQ(t.expected, localized(t.key, CFSTR("(missing)"), table)) << t.table << " (cached)";
    }
    EXPECT_EQ(nullptr, CFBundleCopyLocalizedString(b, nullptr, nullptr, nullptr));
    EXPECT_EQ(nullptr, CFBundleCopyLocalizedString(nullptr, CFSTR("k"), nullptr, nullptr));

    PlatformTestingSetMainBundlePath(bundle.c_str());
    CFRef<CFStringRef> main(CFCopyLocalizedString(CFSTR("Modem"), "comment"));
    EXPECT_EQ("Mod\xC3\xA9m", Utf8(main));

    CFRef<CFURLRef> nowhere(URLFor(root_ / "absent.bundle", true));
    EXPECT_EQ(nullptr, CFBundleCreate(nullptr, nowhere));
    Write(root_ / "file.bundle", "not a folder");
    CFRef<CFURLRef> file(URLFor(root_ / "file.bundle"));
    EXPECT_EQ(nullptr, CFBundleCreate(nullptr, file));
    EXPECT_EQ(nullptr, CFBundleCreate(nullptr, nullptr));
}

// A bundle whose information is not a dictionary still answers (from an empty one), and the
// development region is looked up first; a plain folder keeps its strings in Resources.
TEST_F(URLBundleTest, BrokenInformationAndPlainFolders)
{
    fs::path odd = root_ / "Odd.app";
    Write(odd / "Contents/Info.plist", "<plist version=\"1.0\"><array/></plist>");
    Write(odd / "Contents/Resources/German.lproj/Localizable.strings", "\"k\" = \"deutsch\";");
    Write(odd / "Contents/Resources/en.lproj/Localizable.strings", "\"k\" = \"english\";");
    CFRef<CFURLRef> oddURL(URLFor(odd, true));
    CFRef<CFBundleRef> oddBundle(CFBundleCreate(nullptr, oddURL));
    CFRef<CFStringRef> text(CFBundleCopyLocalizedString(oddBundle, CFSTR("k"), nullptr, nullptr));
    EXPECT_EQ("english", Utf8(text));

    fs::path german = root_ / "German.app";
    Write(german / "Contents/Info.plist",
          "<plist version=\"1.0\"><dict><key>CFBundleDevelopmentRegion</key><string>German</string></dict></plist>");
    Write(german / "Contents/Resources/German.lproj/Localizable.strings", "\"k\" = \"deutsch\";");
    Write(german / "Contents/Resources/en.lproj/Localizable.strings", "\"k\" = \"english\";");
    CFRef<CFURLRef> germanURL(URLFor(german, true));
    CFRef<CFBundleRef> germanBundle(CFBundleCreate(nullptr, germanURL));
    CFRef<CFStringRef> germanText(CFBundleCopyLocalizedString(germanBundle, CFSTR("k"), nullptr, nullptr));
    EXPECT_EQ("deutsch", Utf8(germanText));
    CFRef<CFStringRef> description(CFCopyDescription(germanBundle));
    EXPECT_EQ("CFBundle <" + german.string() + ">", Utf8(description));

    fs::path plain = root_ / "Plain";
    Write(plain / "Resources/Base.lproj/Localizable.strings", "\"k\" = \"base\";");
    CFRef<CFURLRef> plainURL(URLFor(plain, true));
    CFRef<CFBundleRef> plainBundle(CFBundleCreate(nullptr, plainURL));
    CFRef<CFStringRef> plainText(CFBundleCopyLocalizedString(plainBundle, CFSTR("k"), nullptr, CFSTR("")));
    EXPECT_EQ("base", Utf8(plainText));
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
    EXPECT_EQ(nullptr, CFBundleGetFunctionPointerForName(empty, CFSTR("cos")));
    EXPECT_EQ(nullptr, CFBundleGetFunctionPointerForName(b, nullptr));
    EXPECT_EQ(nullptr, CFBundleGetFunctionPointerForName(b, CFSTR("no_such_function_here")));
    EXPECT_FALSE(CFBundleLoadExecutable(nullptr));
    EXPECT_FALSE(CFBundleIsExecutableLoaded(nullptr));

    // The executable the information names, in a versioned framework; one that is not a library.
    fs::path versioned = root_ / "Versioned.framework";
    Write(versioned / "Versions/A/Resources/Info.plist",
          "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>Maths</string></dict></plist>");
    fs::copy_file(info.dli_fname, versioned / "Versions/A/libMaths.so");
    fs::create_directory_symlink("A", versioned / "Versions/Current");
    CFRef<CFURLRef> versionedURL(URLFor(versioned, true));
    CFRef<CFBundleRef> v(CFBundleCreate(nullptr, versionedURL));
    ASSERT_TRUE(CFBundleLoadExecutable(v));
    EXPECT_NE(nullptr, CFBundleGetFunctionPointerForName(v, CFSTR("sin")));
    Write(root_ / "Text.framework/Text", "not a library");
    CFRef<CFURLRef> textURL(URLFor(root_ / "Text.framework", true));
    CFRef<CFBundleRef> text(CFBundleCreate(nullptr, textURL));
    EXPECT_FALSE(CFBundleLoadExecutable(text));
    EXPECT_FALSE(CFBundleIsExecutableLoaded(text));
}

// The main bundle: the folder the variable names, else the program's own folder.
TEST_F(URLBundleTest, MainBundleFromTheVariableOrTheProgram)
{
    fs::path app = root_ / "Main.app";
    Write(app / "Contents/Resources/en.lproj/Localizable.strings", "\"k\" = \"from the variable\";");
    setenv("PLATFORM_MAIN_BUNDLE", app.c_str(), 1);
    PlatformTestingResetCoreFoundation();  // forgets the main bundle found before
    CFRef<CFStringRef> text(CFCopyLocalizedString(CFSTR("k"), "comment"));
    EXPECT_EQ("from the variable", Utf8(text));
    EXPECT_EQ(CFBundleGetMainBundle(), CFBundleGetMainBundle());
    unsetenv("PLATFORM_MAIN_BUNDLE");
    PlatformTestingResetCoreFoundation();
    CFRef<CFStringRef> fallback(CFCopyLocalizedStringFromTable(CFSTR("k"), CFSTR("Localizable"), "comment"));
    EXPECT_EQ("k", Utf8(fallback));  // the test program's folder has no strings
}

}  // namespace
