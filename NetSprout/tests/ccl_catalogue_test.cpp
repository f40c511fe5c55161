// The modem script catalogue over real folders (the File Manager stand-in under a folder root):
// domains, visibility, order and duplicates, bulk batches, the default script per system version
// with its cache, and failing File Manager and registry calls.
#include "MoreSCFCCLScanner.h"
#include "MoreSCFInternal.h"

#include <IOKit/IOKitLib.h>

#include "CallFailureSweep.h"
#include "PlistText.h"
#include "StandInTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using standintest::CFRef;
namespace fs = std::filesystem;

namespace {

// A registry whose internal modem ("modem", modem-class) reports modem-on-hold as v92 (an XML
// value element, or nothing).
std::string InternalModemRegistry(const std::string &v92)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>
<key>IORegistryEntryChildren</key><array><dict>
<key>IOObjectClass</key><string>IOPCIDevice</string>
<key>IORegistryEntryProperties</key><dict>)" +
           (v92.empty() ? "" : "<key>V92Modem</key>" + v92) + R"(</dict>
<key>IORegistryEntryChildren</key><array><dict>
<key>IOObjectClass</key><string>IOSerialBSDClient</string>
<key>IORegistryEntryProperties</key><dict>
<key>IOTTYBaseName</key><string>modem</string><key>IOTTYDevice</key><string>modem</string>
<key>IOSerialBSDClientType</key><string>IOModemSerialStream</string></dict>
</dict></array></dict></array></dict></plist>)";
}

class CCLTest : public standintest::SeamTest {
protected:
    void SetUp() override
    {
        standintest::SeamTest::SetUp();
        PlatformTestingSetFolderRoot(root_.path().c_str());
        UseSystemVersion("10.4.11");
        MoreSCSetDefaultCCL(nullptr);
    }
    void TearDown() override
    {
        MoreSCSetDefaultCCL(nullptr);
        MoreSCFForgetSystemVersion();
        standintest::SeamTest::TearDown();
    }

    static void UseSystemVersion(const char *version)
    {
        PlatformTestingSetSystemVersion(version);
        MoreSCFForgetSystemVersion();
    }

    // The modem-scripts folder of a domain under the root: "user", "local" or "system".
    fs::path Folder(const std::string &domain)
    {
        const char *home = std::getenv("HOME");
        fs::path library = domain == "user"    ? fs::path(std::string(home != nullptr ? home : "") + "/Library")
                           : domain == "local" ? fs::path("/Library")
                                               : fs::path("/System/Library");
        fs::path folder = root_.path() / library.relative_path() / "Modem Scripts";
        fs::create_directories(folder);
        return folder;
    }

    static void Script(const fs::path &folder, const std::string &name)
    {
        std::ofstream(folder / name) << "! modem script\n";
    }

    // Runs the catalogue: its status, the names as text and the default's index.
    OSStatus Catalogue(std::string *names, CFIndex *index = nullptr)
    {
        CFRef<CFArrayRef> array;
        OSStatus err = MoreSCCreateCCLArray(array.slot(), index);
        EXPECT_EQ(err == noErr, array.get() != nullptr);
        *names = array ? plisttext::Text(array) : "";
        return err;
    }

    standintest::TempFolder root_{"ccltest"};
};

TEST_F(CCLTest, NamesOfEveryDomainOnceInCaseInsensitiveNumericOrderVisibleFilesOnly)
{
    fs::path user = Folder("user");
    fs::path system = Folder("system");
    for (const char *name : {"Modem 10", "modem 9", "Shared", ".dot-file", "Hidden"}) {
        Script(user, name);
    }
    for (const char *name : {"Shared", "Dadar Internal 56K Modem (v.90)", "a2", "A10"}) {
        Script(system, name);
    }
    fs::create_directory(system / "Sub-folder");
    // "Hidden" carries the invisible Finder flag.
    FSRef ref;
    ASSERT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>((user / "Hidden").c_str()), &ref, nullptr));
    FSCatalogInfo info = {};
    reinterpret_cast<FileInfo *>(info.finderInfo)->finderFlags = kIsInvisible;
    ASSERT_EQ(noErr, FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info));

    std::string names;
    CFIndex index = -1;
    ASSERT_EQ(noErr, Catalogue(&names, &index));
    EXPECT_EQ("[a2, A10, Dadar Internal 56K Modem (v.90), modem 9, Modem 10, Shared]", names);
    EXPECT_EQ(2, index);
}

TEST_F(CCLTest, NamesDifferingOnlyInCaseAreBothKept)
{
    Script(Folder("user"), "Generic");
    Script(Folder("local"), "generic");
    Script(Folder("system"), "Generic");
    std::string names;
    ASSERT_EQ(noErr, Catalogue(&names));
    EXPECT_TRUE(names == "[Generic, generic]" || names == "[generic, Generic]") << names;
}

TEST_F(CCLTest, FoldersAcrossBulkBatchesAndNoFolderAtAll)
{
    for (int size : {0, 1, 50, 51, 100}) {
        SCOPED_TRACE(size);
        fs::remove_all(root_.path() / "Library");
        if (size > 0) {
            fs::path local = Folder("local");
            for (int i = size; i >= 1; i--) {
                Script(local, "Script " + std::to_string(i));
            }
        }
        CFRef<CFArrayRef> array;
        CFIndex index = -1;
        ASSERT_EQ(noErr, MoreSCCreateCCLArray(array.slot(), &index));
        ASSERT_EQ(CFArrayGetCount(array), size);
        EXPECT_EQ(0, index);  // the default is not installed, or there is nothing
        for (int i = 0; i < size; i++) {
            EXPECT_EQ("Script " + std::to_string(i + 1), plisttext::Text(CFArrayGetValueAtIndex(array, i)));
        }
    }
}

TEST_F(CCLTest, DefaultScriptPerSystemVersionAndModemOnHoldValue)
{
    fs::path local = Folder("local");
    for (const char *name : {"Dadar Internal 56K Modem (v.90)", "Dadar Internal 56K Modem (v.92)", "Other"}) {
        Script(local, name);
    }
    struct Case {
        const char *version;
        std::string v92;   // the registry's V92Modem value
        CFIndex index;     // 0 is v.90, 1 is v.92
    };
    const Case cases[] = {
        {"10.1.5", "<integer>1</integer>", 1}, {"10.3.4", "<integer>1</integer>", 1},
        {"10.3.4", "<integer>0</integer>", 0}, {"10.3.4", "<integer>2</integer>", 0},  // only 1 is v.92
        {"10.3.4", "<string>yes</string>", 0}, {"10.3.4", "", 0},
        {"10.4.11", "<integer>1</integer>", 0}, {"10.10.5", "<integer>1</integer>", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.version) + " " + c.v92);
        MoreSCSetDefaultCCL(nullptr);
        UseSystemVersion(c.version);
        PlatformTestingSetIORegistrySnapshotText(InternalModemRegistry(c.v92).c_str());
        std::string names;
        CFIndex index = -1;
        ASSERT_EQ(noErr, Catalogue(&names, &index));
        EXPECT_EQ(index, c.index);
    }
}

TEST_F(CCLTest, DefaultIsKeptUntilReplacedOrForgotten)
{
    fs::path local = Folder("local");
    for (const char *name : {"Dadar Internal 56K Modem (v.90)", "Dadar Internal 56K Modem (v.92)", "Other"}) {
        Script(local, name);
    }
    UseSystemVersion("10.3.4");
    PlatformTestingSetIORegistrySnapshotText(InternalModemRegistry("<integer>1</integer>").c_str());
    std::string names;
    CFIndex index = -1;
    ASSERT_EQ(noErr, Catalogue(&names, &index));
    EXPECT_EQ(1, index);
    // Kept: neither a changed modem nor a failing registry changes it.
    PlatformTestingSetIORegistrySnapshotText(InternalModemRegistry("<integer>0</integer>").c_str());
    PlatformTestingIOKitFailCall("IOServiceGetMatchingServices", 5, PLATFORM_TESTING_EVERY_CALL);
    ASSERT_EQ(noErr, Catalogue(&names, &index));
    EXPECT_EQ(1, index);
    // A failing scan fails a catalogue call that has to work the default out, and stores nothing.
    MoreSCSetDefaultCCL(nullptr);
    EXPECT_EQ(5, Catalogue(&names, &index));
    PlatformTestingIOKitFailCall("IOServiceGetMatchingServices", 0, 0);
    ASSERT_EQ(noErr, Catalogue(&names, &index));
    EXPECT_EQ(0, index);
    // Replaced by name; a name that is not installed gives index 0.
    CFRef<CFStringRef> other(CFStringCreateWithCString(nullptr, "other", kCFStringEncodingUTF8));
    MoreSCSetDefaultCCL(other);
    ASSERT_EQ(noErr, Catalogue(&names, &index));
    EXPECT_EQ(2, index);
    CFRef<CFStringRef> missing(CFStringCreateWithCString(nullptr, "Missing", kCFStringEncodingUTF8));
    MoreSCSetDefaultCCL(missing);
    ASSERT_EQ(noErr, Catalogue(&names, &index));
    EXPECT_EQ(0, index);
    // Without an index wanted, no default is worked out at all.
    MoreSCSetDefaultCCL(nullptr);
    PlatformTestingIOKitFailCall("IOServiceGetMatchingServices", 5, PLATFORM_TESTING_EVERY_CALL);
    EXPECT_EQ(noErr, Catalogue(&names));
}

TEST_F(CCLTest, FailingCallsGiveNothingAndLeakNothing)
{
    for (const char *name : {"One", "Two", "Three"}) {
        Script(Folder("user"), name);
        Script(Folder("system"), name);
    }
    UseSystemVersion("10.3.4");
    PlatformTestingSetIORegistrySnapshotText(InternalModemRegistry("<integer>1</integer>").c_str());
    auto run = [this](std::string *result) {
        MoreSCSetDefaultCCL(nullptr);
        CFIndex index = 0;
        OSStatus err = Catalogue(result, &index);
        return err;
    };
    std::string warm;
    run(&warm);  // makes the constant strings of the first run
    for (const char *call : {"FSFindFolder", "FSOpenIterator", "FSGetCatalogInfoBulk", "FSGetCatalogInfo"}) {
        EXPECT_GT(callsweep::FailEachCall(PlatformTestingCoreServicesFailCall, call, -36, run), 0u) << call;
    }
    for (const char *call : {"IOServiceGetMatchingServices", "IORegistryEntryCreateCFProperties"}) {
        EXPECT_GT(callsweep::FailEachCall(PlatformTestingIOKitFailCall, call, 5, run), 0u) << call;
    }
    standintest::FailEachCreation<OSStatus>(
        [&] {
            std::string names;
            return run(&names);
        },
        // A registry property that cannot be copied reads as absent: the run may still succeed.
        {-4960, -108, -1, kIOReturnNoMemory, noErr});
}

}  // namespace
