// MoreCFQ: property lists read from files (by URL and by file reference) and frameworks loaded
// from the system's Frameworks folder.
#include "MoreCFQ.h"

#include "CFQTestSupport.h"

#include <cstdio>
#include <fstream>

using namespace cfqtest;
using namespace standintest;

namespace {

constexpr const char *kStorePlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CurrentSet</key>
	<string>/Sets/0</string>
	<key>Sets</key>
	<dict>
		<key>0</key>
		<dict>
			<key>UserDefinedName</key>
			<string>Automatic</string>
		</dict>
	</dict>
	<key>Order</key>
	<array>
		<integer>3</integer>
		<true/>
	</array>
</dict>
</plist>
)";

class CFQLoadingTest : public SeamTest {
protected:
    void SetUp() override
    {
        SeamTest::SetUp();
        ASSERT_FALSE(scratch.path().empty());
        plistPath = scratch / "preferences.plist";
        WriteFile(plistPath, kStorePlist);
    }

    static void WriteFile(const std::string &path, const std::string &contents)
    {
        std::ofstream out(path, std::ios::binary);
        out << contents;
    }

    static CFURLRef FileURL(const std::string &path)
    {
        return CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault, reinterpret_cast<const UInt8 *>(path.c_str()),
                                                       static_cast<CFIndex>(path.size()), false);
    }

    TempFolder scratch;
    std::string plistPath;
};

TEST_F(CFQLoadingTest, ReadsAPropertyListByURLWithTheAskedMutability)
{
    CFRef<CFURLRef> url(FileURL(plistPath));
    CFRef<CFPropertyListRef> plist;
    ASSERT_EQ(noErr, CFQPropertyListCreateFromXMLCFURL(url, kCFPropertyListImmutable, plist.slot()));
    ASSERT_EQ(CFGetTypeID(plist), CFDictionaryGetTypeID());
    const void *path[] = {CFSTR("Sets"), CFSTR("0"), CFSTR("UserDefinedName")};
    const void *name = nullptr;
    ASSERT_EQ(noErr, CFQDictionaryGetValueAtPath(static_cast<CFDictionaryRef>(plist.get()), path, 3, &name));
    EXPECT_EQ("Automatic", standintest::Text(name));
    CFArrayRef order = static_cast<CFArrayRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(plist.get()), CFSTR("Order")));
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(3, LongValue(CFArrayGetValueAtIndex(order, 0)));
    EXPECT_EQ(CFArrayGetValueAtIndex(order, 1), static_cast<const void *>(kCFBooleanTrue));

    // With mutable containers the path editors can work on it directly.
    CFRef<CFPropertyListRef> editable;
    ASSERT_EQ(noErr, CFQPropertyListCreateFromXMLCFURL(url, kCFPropertyListMutableContainers, editable.slot()));
    CFMutableDictionaryRef dict = const_cast<CFMutableDictionaryRef>(static_cast<CFDictionaryRef>(editable.get()));
    ASSERT_EQ(noErr, CFQDictionarySetValueAtPath(dict, path, 3, CFSTR("Edited")));
    ASSERT_EQ(noErr, CFQDictionaryGetValueAtPath(dict, path, 3, &name));
    EXPECT_EQ("Edited", standintest::Text(name));
}

TEST_F(CFQLoadingTest, ReadsAPropertyListByFileReference)
{
    FSRef ref;
    ASSERT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(plistPath.c_str()), &ref, nullptr));
    CFRef<CFPropertyListRef> byRef;
    ASSERT_EQ(noErr, CFQPropertyListCreateFromXMLFSRef(&ref, kCFPropertyListImmutable, byRef.slot()));
    CFRef<CFURLRef> url(FileURL(plistPath));
    CFRef<CFPropertyListRef> byURL;
    ASSERT_EQ(noErr, CFQPropertyListCreateFromXMLCFURL(url, kCFPropertyListImmutable, byURL.slot()));
    EXPECT_TRUE(CFEqual(byRef, byURL));

    // A reference whose file has gone makes no URL.
    std::remove(plistPath.c_str());
    CFRef<CFPropertyListRef> gone;
    EXPECT_EQ(-4960, CFQPropertyListCreateFromXMLFSRef(&ref, kCFPropertyListImmutable, gone.slot()));
    EXPECT_EQ(nullptr, gone.get());
}

TEST_F(CFQLoadingTest, ReadErrorsPassThroughAndBadContentIsRefused)
{
    CFRef<CFURLRef> missing(FileURL(scratch / "absent.plist"));
    CFRef<CFPropertyListRef> plist;
    EXPECT_EQ(kCFURLResourceNotFoundError,
              CFQPropertyListCreateFromXMLCFURL(missing, kCFPropertyListImmutable, plist.slot()));
    EXPECT_EQ(nullptr, plist.get());

    std::string brokenPath = scratch / "broken.plist";
    WriteFile(brokenPath, "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key></plist>");
    CFRef<CFURLRef> broken(FileURL(brokenPath));
    EXPECT_EQ(-4960, CFQPropertyListCreateFromXMLCFURL(broken, kCFPropertyListImmutable, plist.slot()));
    EXPECT_EQ(nullptr, plist.get());

    std::string emptyPath = scratch / "empty.plist";
    WriteFile(emptyPath, "");
    CFRef<CFURLRef> empty(FileURL(emptyPath));
    EXPECT_EQ(-4960, CFQPropertyListCreateFromXMLCFURL(empty, kCFPropertyListImmutable, plist.slot()));
    EXPECT_EQ(nullptr, plist.get());
}

class CFQFrameworksTest : public CFQLoadingTest {
protected:
    void SetUp() override
    {
        CFQLoadingTest::SetUp();
        PlatformTestingSetFolderRoot(scratch.path().c_str());
        frameworks = scratch / "System/Library/Frameworks";
    }

    // Installs Name.framework with the given executable file (copied) and its Info.plist.
    void InstallFramework(const std::string &name, const std::string &executable)
    {
        std::string folder = frameworks + "/" + name + ".framework";
        std::filesystem::create_directories(folder + "/Resources");
        std::filesystem::copy_file(executable, folder + "/" + name, std::filesystem::copy_options::overwrite_existing);
        WriteFile(folder + "/Resources/Info.plist",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                  "<key>CFBundleExecutable</key><string>" + name + "</string>"
                  "<key>CFBundleIdentifier</key><string>com.example." + name + "</string>"
                  "</dict></plist>\n");
    }

    std::string frameworks;
};

TEST_F(CFQFrameworksTest, LoadsANamedFrameworkFromTheFrameworksFolder)
{
    std::filesystem::create_directories(frameworks);
    InstallFramework("Fixture", CFQ_FIXTURE_FRAMEWORK_EXECUTABLE);
    CFRef<CFBundleRef> bundle;
    ASSERT_EQ(noErr, CFQBundleCreateFromFrameworkName(CFSTR("Fixture.framework"), bundle.slot()));
    EXPECT_TRUE(CFBundleIsExecutableLoaded(bundle));
    auto answer = reinterpret_cast<int (*)(void)>(CFBundleGetFunctionPointerForName(bundle, CFSTR("CFQFixtureFrameworkAnswer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(42, answer());
}

TEST_F(CFQFrameworksTest, FailuresLeaveNoBundle)
{
    // The Frameworks folder is created when missing; a framework that is not there is -4960.
    CFRef<CFBundleRef> bundle;
    EXPECT_EQ(-4960, CFQBundleCreateFromFrameworkName(CFSTR("Absent.framework"), bundle.slot()));
    EXPECT_EQ(nullptr, bundle.get());
    EXPECT_TRUE(std::filesystem::is_directory(frameworks));

    // An executable that cannot be loaded.
    std::string junk = scratch / "junk";
    WriteFile(junk, "not a loadable module");
    InstallFramework("Junk", junk);
    long live = PlatformTestingCFLiveObjectCount();
    EXPECT_EQ(-4960, CFQBundleCreateFromFrameworkName(CFSTR("Junk.framework"), bundle.slot()));
    EXPECT_EQ(nullptr, bundle.get());
    EXPECT_EQ(PlatformTestingCFLiveObjectCount(), live);

    // The folder look-up's own status is passed through.
    PlatformTestingCoreServicesFailCall("FSFindFolder", fnfErr, 0);
    EXPECT_EQ(fnfErr, CFQBundleCreateFromFrameworkName(CFSTR("Fixture.framework"), bundle.slot()));
    EXPECT_EQ(nullptr, bundle.get());
}

}  // namespace
