// CoreServices stand-in: file references, folder look-up, catalogue information and iteration,
// Gestalt, and the bridge to CoreFoundation URLs.
#include <CoreServices/CoreServices.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/xattr.h>
#include <vector>

#include "PlatformTesting.h"
#include "StandInTestSupport.h"

namespace {

namespace fs = std::filesystem;

const UInt8 *U8(const std::string &text) { return reinterpret_cast<const UInt8 *>(text.c_str()); }

std::string PathOf(const FSRef &ref)
{
    std::vector<UInt8> buffer(4096);
    if (FSRefMakePath(&ref, buffer.data(), static_cast<UInt32>(buffer.size())) != noErr) {
        return "<no path>";
    }
    return reinterpret_cast<const char *>(buffer.data());
}

std::string NameOf(const HFSUniStr255 &name)
{
    CFStringRef str = CFStringCreateWithCharacters(kCFAllocatorDefault, name.unicode, name.length);
    char buffer[1024] = {};
    CFStringGetCString(str, buffer, sizeof(buffer), kCFStringEncodingUTF8);
    CFRelease(str);
    return buffer;
}

class CoreServicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PlatformTestingReset();
        root = fs::canonical(folder_.path()).string();
    }
    void TearDown() override
    {
        PlatformTestingReset();
    }
    void Touch(const std::string &path, const std::string &contents = "x")
    {
        std::ofstream out(path);
        out << contents;
    }
    standintest::TempFolder folder_{"cstest"};
    std::string root;
};

TEST_F(CoreServicesTest, ReferencesNameExistingObjectsByNormalisedPath)
{
    Touch(root + "/file");
    FSRef ref;
    Boolean isDirectory = true;
    ASSERT_EQ(fnfErr, FSPathMakeRef(U8(root + "/./sub/../file"), &ref, &isDirectory)) << "sub does not exist";
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root + "//file"), &ref, &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_EQ(PathOf(ref), root + "/file");

    // Paths resolve as the system resolves them: ".." after a symbolic link leaves the link's
    // target, and a link at the end is followed.
    fs::create_directories(root + "/d/e");
    Touch(root + "/d/x");
    fs::create_directory_symlink(root + "/d/e", root + "/l");
    FSRef viaLink;
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root + "/l/../x"), &viaLink, nullptr));
    EXPECT_EQ(PathOf(viaLink), root + "/d/x");
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root + "/l"), &viaLink, &isDirectory));
    EXPECT_EQ(PathOf(viaLink), root + "/d/e");
    EXPECT_TRUE(isDirectory);

    FSRef same;
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root + "/file"), &same, nullptr));
    EXPECT_EQ(noErr, FSCompareFSRefs(&ref, &same));
    FSRef folder;
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root + "/"), &folder, &isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_EQ(errFSRefsDifferent, FSCompareFSRefs(&ref, &folder));

    // A child by its UTF-16 name.
    const UniChar name[] = {'f', 'i', 'l', 'e'};
    FSRef child;
    ASSERT_EQ(noErr, FSMakeFSRefUnicode(&folder, 4, name, 0, &child));
    EXPECT_EQ(noErr, FSCompareFSRefs(&child, &ref));
    const UniChar missing[] = {'n', 'o'};
    EXPECT_EQ(fnfErr, FSMakeFSRefUnicode(&folder, 2, missing, 0, &child));

    // A buffer too small for the path, and a reference whose object has gone.
    UInt8 tiny[4];
    EXPECT_EQ(errFSBadBuffer, FSRefMakePath(&ref, tiny, sizeof(tiny)));
    fs::remove(root + "/file");
    EXPECT_EQ("<no path>", PathOf(ref));

    FSRef garbage;
    std::memset(&garbage, 0xAB, sizeof(garbage));
    UInt8 buffer[64];
    EXPECT_EQ(paramErr, FSRefMakePath(&garbage, buffer, sizeof(buffer)));
    EXPECT_EQ(paramErr, FSPathMakeRef(U8(""), &ref, nullptr));
}

TEST_F(CoreServicesTest, FoldersOfEachDomain)
{
    PlatformTestingSetFolderRoot(root.c_str());
    setenv("HOME", "/home/tester", 1);
    struct Case {
        FSVolumeRefNum domain;
        const char *folder;
    } cases[] = {
        {kUserDomain, "/home/tester/Library/Modem Scripts"},
        {kNetworkDomain, "/Network/Library/Modem Scripts"},
        {kLocalDomain, "/Library/Modem Scripts"},
        {kSystemDomain, "/System/Library/Modem Scripts"},
        {kOnSystemDisk, "/System/Library/Modem Scripts"},
        {kOnAppropriateDisk, "/System/Library/Modem Scripts"},
    };
    for (const Case &c : cases) {
        FSRef ref;
        EXPECT_EQ(fnfErr, FSFindFolder(c.domain, kModemScriptsFolderType, kDontCreateFolder, &ref)) << c.folder;
        fs::create_directories(root + c.folder);
        ASSERT_EQ(noErr, FSFindFolder(c.domain, kModemScriptsFolderType, kDontCreateFolder, &ref)) << c.folder;
        EXPECT_EQ(PathOf(ref), root + c.folder);
        fs::remove_all(root + c.folder);
    }

    // Created on request, with its parents.
    FSRef frameworks;
    ASSERT_EQ(noErr, FSFindFolder(kLocalDomain, kFrameworksFolderType, kCreateFolder, &frameworks));
    EXPECT_TRUE(fs::is_directory(root + "/Library/Frameworks"));

    // A file where the folder belongs is no folder; unknown types and domains are refused.
    fs::create_directories(root + "/System/Library");
    Touch(root + "/System/Library/Preferences");
    FSRef ref;
    EXPECT_EQ(fnfErr, FSFindFolder(kSystemDomain, kPreferencesFolderType, kCreateFolder, &ref));
    EXPECT_EQ(fnfErr, FSFindFolder(kLocalDomain, 0x3F3F3F3FU, kCreateFolder, &ref));
    EXPECT_EQ(nsvErr, FSFindFolder(3, kFrameworksFolderType, kCreateFolder, &ref));

    // A failure armed by a test.
    PlatformTestingCoreServicesFailCall("FSFindFolder", ioErr, 1);
    EXPECT_EQ(noErr, FSFindFolder(kLocalDomain, kFrameworksFolderType, kDontCreateFolder, &ref));
    EXPECT_EQ(ioErr, FSFindFolder(kLocalDomain, kFrameworksFolderType, kDontCreateFolder, &ref));
    EXPECT_EQ(noErr, FSFindFolder(kLocalDomain, kFrameworksFolderType, kDontCreateFolder, &ref));
}

TEST_F(CoreServicesTest, IterationComesInNameOrderAndInBatches)
{
    for (const char *name : {"b", "a", "d", "c"}) {
        Touch(root + "/" + name);
    }
    fs::create_symlink(root + "/nowhere", root + "/e");  // a dangling link is listed as a file
    FSRef folder;
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root), &folder, nullptr));
    FSIterator iterator = nullptr;
    ASSERT_EQ(noErr, FSOpenIterator(&folder, kFSIterateFlat, &iterator));

    std::vector<std::string> names;
    OSErr err;
    do {
        ItemCount count = 0;
        FSRef refs[2];
        HFSUniStr255 batch[2];
        FSCatalogInfo infos[2];
        err = FSGetCatalogInfoBulk(iterator, 2, &count, nullptr, kFSCatInfoNodeFlags, infos, refs, nullptr, batch);
        ASSERT_TRUE(err == noErr || err == errFSNoMoreItems) << err;
        for (ItemCount i = 0; i < count; i++) {
            names.push_back(NameOf(batch[i]));
            EXPECT_EQ(PathOf(refs[i]), root + "/" + names.back());
            EXPECT_EQ(0, infos[i].nodeFlags & kFSNodeIsDirectoryMask);
        }
    } while (err == noErr);
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "d", "e"}), names);
    EXPECT_EQ(noErr, FSCloseIterator(iterator));
    EXPECT_EQ(errFSIteratorNotFound, FSCloseIterator(iterator));

    // An empty folder ends at once; a file is no container.
    fs::create_directory(root + "/empty");
    FSRef empty;
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root + "/empty"), &empty, nullptr));
    ASSERT_EQ(noErr, FSOpenIterator(&empty, kFSIterateFlat, &iterator));
    ItemCount count = 99;
    EXPECT_EQ(errFSNoMoreItems,
              FSGetCatalogInfoBulk(iterator, 50, &count, nullptr, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0U, count);
    EXPECT_EQ(errFSBadItemCount,
              FSGetCatalogInfoBulk(iterator, 0, &count, nullptr, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(noErr, FSCloseIterator(iterator));
    FSRef file;
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root + "/a"), &file, nullptr));
    EXPECT_EQ(errFSNotAFolder, FSOpenIterator(&file, kFSIterateFlat, &iterator));
    EXPECT_EQ(errFSBadIteratorFlags, FSOpenIterator(&folder, kFSIterateSubtree, &iterator));
}

TEST_F(CoreServicesTest, CatalogueInformationCarriesTheFinderFlagsAndNames)
{
    std::string name = "Modem \xC3\xA9t\xC3\xA9";  // "Modem été"
    Touch(root + "/" + name, "12345");
    fs::create_directory(root + "/Folder");
    FSRef file;
    FSRef folder;
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root + "/" + name), &file, nullptr));
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root + "/Folder"), &folder, nullptr));

    FSCatalogInfo info;
    std::memset(&info, 0xFF, sizeof(info));
    HFSUniStr255 outName;
    FSRef parent;
    ASSERT_EQ(noErr,
              FSGetCatalogInfo(&file, kFSCatInfoNodeFlags | kFSCatInfoFinderInfo | kFSCatInfoDataSizes, &info, &outName,
                               nullptr, &parent));
    EXPECT_EQ(0, info.nodeFlags);
    EXPECT_EQ(0, reinterpret_cast<FileInfo *>(info.finderInfo)->finderFlags) << "no Finder information stored";
    EXPECT_EQ(5U, info.dataLogicalSize);
    EXPECT_EQ(9, outName.length);
    EXPECT_EQ(0x00E9, outName.unicode[6]);
    EXPECT_EQ(NameOf(outName), name);
    EXPECT_EQ(PathOf(parent), root);

    // Setting the invisible flag writes the platform's big-endian Finder information attribute.
    reinterpret_cast<FileInfo *>(info.finderInfo)->finderFlags = kIsInvisible;
    reinterpret_cast<FileInfo *>(info.finderInfo)->fileType = 0x54455854;  // 'TEXT'
    ASSERT_EQ(noErr, FSSetCatalogInfo(&file, kFSCatInfoFinderInfo, &info));
    UInt8 raw[32];
    ASSERT_EQ(32, getxattr((root + "/" + name).c_str(), "user.com.apple.FinderInfo", raw, sizeof(raw)));
    EXPECT_EQ("TEXT", std::string(reinterpret_cast<char *>(raw), 4));
    EXPECT_EQ(0x40, raw[8]);
    EXPECT_EQ(0x00, raw[9]);

    // Finder information written by another tool (a folder, flagged invisible) is read back.
    UInt8 folderInfo[32] = {};
    folderInfo[8] = 0x40;
    ASSERT_EQ(0, setxattr((root + "/Folder").c_str(), "user.com.apple.FinderInfo", folderInfo, sizeof(folderInfo), 0));
    ASSERT_EQ(noErr,
              FSGetCatalogInfo(&folder, kFSCatInfoNodeFlags | kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr));
    EXPECT_NE(info.nodeFlags & kFSNodeIsDirectoryMask, 0);
    EXPECT_EQ(kIsInvisible, reinterpret_cast<FolderInfo *>(info.finderInfo)->finderFlags);

    // Bulk iteration reports the same flags.
    FSRef top;
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root), &top, nullptr));
    FSIterator iterator = nullptr;
    ASSERT_EQ(noErr, FSOpenIterator(&top, kFSIterateFlat, &iterator));
    FSCatalogInfo infos[4];
    HFSUniStr255 names[4];
    ItemCount count = 0;
    EXPECT_EQ(errFSNoMoreItems,
              FSGetCatalogInfoBulk(iterator, 4, &count, nullptr, kFSCatInfoFinderInfo, infos, nullptr, nullptr, names));
    ASSERT_EQ(2U, count);
    EXPECT_EQ("Folder", NameOf(names[0]));
    EXPECT_EQ(kIsInvisible, reinterpret_cast<FileInfo *>(infos[1].finderInfo)->finderFlags);
    EXPECT_EQ(noErr, FSCloseIterator(iterator));
}

TEST_F(CoreServicesTest, GestaltReportsTheConfiguredVersion)
{
    SInt32 value = 0;
    unsetenv("PLATFORM_SYSTEM_VERSION");
    ASSERT_EQ(noErr, Gestalt(gestaltSystemVersionMinor, &value));
    EXPECT_EQ(10, value) << "default 10.10.5";
    ASSERT_EQ(noErr, Gestalt(gestaltSystemVersion, &value));
    EXPECT_EQ(0x1095, value);

    setenv("PLATFORM_SYSTEM_VERSION", "10.3.9", 1);
    ASSERT_EQ(noErr, Gestalt(gestaltSystemVersion, &value));
    EXPECT_EQ(0x1039, value);

    PlatformTestingSetSystemVersion("10.4.11");
    ASSERT_EQ(noErr, Gestalt(gestaltSystemVersionMajor, &value));
    EXPECT_EQ(10, value);
    ASSERT_EQ(noErr, Gestalt(gestaltSystemVersionMinor, &value));
    EXPECT_EQ(4, value);
    ASSERT_EQ(noErr, Gestalt(gestaltSystemVersionBugFix, &value));
    EXPECT_EQ(11, value);
    ASSERT_EQ(noErr, Gestalt(gestaltSystemVersion, &value));
    EXPECT_EQ(0x1049, value) << "the packed form caps the fix level at 9";

    PlatformTestingSetSystemVersion("10.2");
    ASSERT_EQ(noErr, Gestalt(gestaltSystemVersion, &value));
    EXPECT_EQ(0x1020, value);

    // A malformed value falls back to the default.
    PlatformTestingSetSystemVersion(nullptr);
    setenv("PLATFORM_SYSTEM_VERSION", "ten", 1);
    ASSERT_EQ(noErr, Gestalt(gestaltSystemVersionMinor, &value));
    EXPECT_EQ(10, value);
    unsetenv("PLATFORM_SYSTEM_VERSION");

    EXPECT_EQ(gestaltUndefSelectorErr, Gestalt(0x6E6F7065U, &value));
    EXPECT_EQ(paramErr, Gestalt(gestaltSystemVersion, nullptr));
}

TEST_F(CoreServicesTest, URLsAndReferencesConvertBothWays)
{
    fs::create_directory(root + "/dir");
    FSRef folder;
    ASSERT_EQ(noErr, FSPathMakeRef(U8(root + "/dir"), &folder, nullptr));
    CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, &folder);
    ASSERT_NE(url, nullptr);
    EXPECT_TRUE(CFURLHasDirectoryPath(url));
    UInt8 path[4096];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(url, true, path, sizeof(path)));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(path)), root + "/dir");

    FSRef back;
    ASSERT_TRUE(CFURLGetFSRef(url, &back));
    EXPECT_EQ(noErr, FSCompareFSRefs(&back, &folder));
    CFRelease(url);

    // The URL is one creation for the seam, and none is made for a reference that has gone.
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(nullptr, CFURLCreateFromFSRef(kCFAllocatorDefault, &folder));
    fs::remove(root + "/dir");
    EXPECT_EQ(nullptr, CFURLCreateFromFSRef(kCFAllocatorDefault, &folder));
    EXPECT_FALSE(CFURLGetFSRef(nullptr, &back));
}

}  // namespace
