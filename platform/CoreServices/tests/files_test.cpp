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
    ASSERT_EQ(FSPathMakeRef(U8(root + "/./sub/../file"), &ref, &isDirectory), fnfErr) << "sub does not exist";
    ASSERT_EQ(FSPathMakeRef(U8(root + "//file"), &ref, &isDirectory), noErr);
    EXPECT_FALSE(isDirectory);
    EXPECT_EQ(PathOf(ref), root + "/file");

    // Paths resolve as the system resolves them: ".." after a symbolic link leaves the link's
    // target, and a link at the end is followed.
    fs::create_directories(root + "/d/e");
    Touch(root + "/d/x");
    fs::create_directory_symlink(root + "/d/e", root + "/l");
    FSRef viaLink;
    ASSERT_EQ(FSPathMakeRef(U8(root + "/l/../x"), &viaLink, nullptr), noErr);
    EXPECT_EQ(PathOf(viaLink), root + "/d/x");
    ASSERT_EQ(FSPathMakeRef(U8(root + "/l"), &viaLink, &isDirectory), noErr);
    EXPECT_EQ(PathOf(viaLink), root + "/d/e");
    EXPECT_TRUE(isDirectory);

    FSRef same;
    ASSERT_EQ(FSPathMakeRef(U8(root + "/file"), &same, nullptr), noErr);
    EXPECT_EQ(FSCompareFSRefs(&ref, &same), noErr);
    FSRef folder;
    ASSERT_EQ(FSPathMakeRef(U8(root + "/"), &folder, &isDirectory), noErr);
    EXPECT_TRUE(isDirectory);
    EXPECT_EQ(FSCompareFSRefs(&ref, &folder), errFSRefsDifferent);

    // A child by its UTF-16 name.
    const UniChar name[] = {'f', 'i', 'l', 'e'};
    FSRef child;
    ASSERT_EQ(FSMakeFSRefUnicode(&folder, 4, name, 0, &child), noErr);
    EXPECT_EQ(FSCompareFSRefs(&child, &ref), noErr);
    const UniChar missing[] = {'n', 'o'};
    EXPECT_EQ(FSMakeFSRefUnicode(&folder, 2, missing, 0, &child), fnfErr);

    // A buffer too small for the path, and a reference whose object has gone.
    UInt8 tiny[4];
    EXPECT_EQ(FSRefMakePath(&ref, tiny, sizeof(tiny)), errFSBadBuffer);
    fs::remove(root + "/file");
    EXPECT_EQ(PathOf(ref), "<no path>");

    FSRef garbage;
    std::memset(&garbage, 0xAB, sizeof(garbage));
    UInt8 buffer[64];
    EXPECT_EQ(FSRefMakePath(&garbage, buffer, sizeof(buffer)), paramErr);
    EXPECT_EQ(FSPathMakeRef(U8(""), &ref, nullptr), paramErr);
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
        EXPECT_EQ(FSFindFolder(c.domain, kModemScriptsFolderType, kDontCreateFolder, &ref), fnfErr) << c.folder;
        fs::create_directories(root + c.folder);
        ASSERT_EQ(FSFindFolder(c.domain, kModemScriptsFolderType, kDontCreateFolder, &ref), noErr) << c.folder;
        EXPECT_EQ(PathOf(ref), root + c.folder);
        fs::remove_all(root + c.folder);
    }

    // Created on request, with its parents.
    FSRef frameworks;
    ASSERT_EQ(FSFindFolder(kLocalDomain, kFrameworksFolderType, kCreateFolder, &frameworks), noErr);
    EXPECT_TRUE(fs::is_directory(root + "/Library/Frameworks"));

    // A file where the folder belongs is no folder; unknown types and domains are refused.
    fs::create_directories(root + "/System/Library");
    Touch(root + "/System/Library/Preferences");
    FSRef ref;
    EXPECT_EQ(FSFindFolder(kSystemDomain, kPreferencesFolderType, kCreateFolder, &ref), fnfErr);
    EXPECT_EQ(FSFindFolder(kLocalDomain, 0x3F3F3F3FU, kCreateFolder, &ref), fnfErr);
    EXPECT_EQ(FSFindFolder(3, kFrameworksFolderType, kCreateFolder, &ref), nsvErr);

    // A failure armed by a test.
    PlatformTestingCoreServicesFailCall("FSFindFolder", ioErr, 1);
    EXPECT_EQ(FSFindFolder(kLocalDomain, kFrameworksFolderType, kDontCreateFolder, &ref), noErr);
    EXPECT_EQ(FSFindFolder(kLocalDomain, kFrameworksFolderType, kDontCreateFolder, &ref), ioErr);
    EXPECT_EQ(FSFindFolder(kLocalDomain, kFrameworksFolderType, kDontCreateFolder, &ref), noErr);
}

TEST_F(CoreServicesTest, IterationComesInNameOrderAndInBatches)
{
    for (const char *name : {"b", "a", "d", "c"}) {
        Touch(root + "/" + name);
    }
    fs::create_symlink(root + "/nowhere", root + "/e");  // a dangling link is listed as a file
    FSRef folder;
    ASSERT_EQ(FSPathMakeRef(U8(root), &folder, nullptr), noErr);
    FSIterator iterator = nullptr;
    ASSERT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &iterator), noErr);

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
            EXPECT_EQ(infos[i].nodeFlags & kFSNodeIsDirectoryMask, 0);
        }
    } while (err == noErr);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(FSCloseIterator(iterator), noErr);
    EXPECT_EQ(FSCloseIterator(iterator), errFSIteratorNotFound);

    // An empty folder ends at once; a file is no container.
    fs::create_directory(root + "/empty");
    FSRef empty;
    ASSERT_EQ(FSPathMakeRef(U8(root + "/empty"), &empty, nullptr), noErr);
    ASSERT_EQ(FSOpenIterator(&empty, kFSIterateFlat, &iterator), noErr);
    ItemCount count = 99;
    EXPECT_EQ(FSGetCatalogInfoBulk(iterator, 50, &count, nullptr, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr),
              errFSNoMoreItems);
    EXPECT_EQ(count, 0U);
    EXPECT_EQ(FSGetCatalogInfoBulk(iterator, 0, &count, nullptr, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr),
              errFSBadItemCount);
    EXPECT_EQ(FSCloseIterator(iterator), noErr);
    FSRef file;
    ASSERT_EQ(FSPathMakeRef(U8(root + "/a"), &file, nullptr), noErr);
    EXPECT_EQ(FSOpenIterator(&file, kFSIterateFlat, &iterator), errFSNotAFolder);
    EXPECT_EQ(FSOpenIterator(&folder, kFSIterateSubtree, &iterator), errFSBadIteratorFlags);
}

TEST_F(CoreServicesTest, CatalogueInformationCarriesTheFinderFlagsAndNames)
{
    std::string name = "Modem \xC3\xA9t\xC3\xA9";  // "Modem été"
    Touch(root + "/" + name, "12345");
    fs::create_directory(root + "/Folder");
    FSRef file;
    FSRef folder;
    ASSERT_EQ(FSPathMakeRef(U8(root + "/" + name), &file, nullptr), noErr);
    ASSERT_EQ(FSPathMakeRef(U8(root + "/Folder"), &folder, nullptr), noErr);

    FSCatalogInfo info;
    std::memset(&info, 0xFF, sizeof(info));
    HFSUniStr255 outName;
    FSRef parent;
    ASSERT_EQ(FSGetCatalogInfo(&file, kFSCatInfoNodeFlags | kFSCatInfoFinderInfo | kFSCatInfoDataSizes, &info, &outName,
                               nullptr, &parent),
              noErr);
    EXPECT_EQ(info.nodeFlags, 0);
    EXPECT_EQ(reinterpret_cast<FileInfo *>(info.finderInfo)->finderFlags, 0) << "no Finder information stored";
    EXPECT_EQ(info.dataLogicalSize, 5U);
    EXPECT_EQ(outName.length, 9);
    EXPECT_EQ(outName.unicode[6], 0x00E9);
    EXPECT_EQ(NameOf(outName), name);
    EXPECT_EQ(PathOf(parent), root);

    // Setting the invisible flag writes the platform's big-endian Finder information attribute.
    reinterpret_cast<FileInfo *>(info.finderInfo)->finderFlags = kIsInvisible;
    reinterpret_cast<FileInfo *>(info.finderInfo)->fileType = 0x54455854;  // 'TEXT'
    ASSERT_EQ(FSSetCatalogInfo(&file, kFSCatInfoFinderInfo, &info), noErr);
    UInt8 raw[32];
    ASSERT_EQ(getxattr((root + "/" + name).c_str(), "user.com.apple.FinderInfo", raw, sizeof(raw)), 32);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(raw), 4), "TEXT");
    EXPECT_EQ(raw[8], 0x40);
    EXPECT_EQ(raw[9], 0x00);

    // Finder information written by another tool (a folder, flagged invisible) is read back.
    UInt8 folderInfo[32] = {};
    folderInfo[8] = 0x40;
    ASSERT_EQ(setxattr((root + "/Folder").c_str(), "user.com.apple.FinderInfo", folderInfo, sizeof(folderInfo), 0), 0);
    ASSERT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoNodeFlags | kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr),
              noErr);
    EXPECT_NE(info.nodeFlags & kFSNodeIsDirectoryMask, 0);
    EXPECT_EQ(reinterpret_cast<FolderInfo *>(info.finderInfo)->finderFlags, kIsInvisible);

    // Bulk iteration reports the same flags.
    FSRef top;
    ASSERT_EQ(FSPathMakeRef(U8(root), &top, nullptr), noErr);
    FSIterator iterator = nullptr;
    ASSERT_EQ(FSOpenIterator(&top, kFSIterateFlat, &iterator), noErr);
    FSCatalogInfo infos[4];
    HFSUniStr255 names[4];
    ItemCount count = 0;
    EXPECT_EQ(FSGetCatalogInfoBulk(iterator, 4, &count, nullptr, kFSCatInfoFinderInfo, infos, nullptr, nullptr, names),
              errFSNoMoreItems);
    ASSERT_EQ(count, 2U);
    EXPECT_EQ(NameOf(names[0]), "Folder");
    EXPECT_EQ(reinterpret_cast<FileInfo *>(infos[1].finderInfo)->finderFlags, kIsInvisible);
    EXPECT_EQ(FSCloseIterator(iterator), noErr);
}

TEST_F(CoreServicesTest, GestaltReportsTheConfiguredVersion)
{
    SInt32 value = 0;
    unsetenv("PLATFORM_SYSTEM_VERSION");
    ASSERT_EQ(Gestalt(gestaltSystemVersionMinor, &value), noErr);
    EXPECT_EQ(value, 10) << "default 10.10.5";
    ASSERT_EQ(Gestalt(gestaltSystemVersion, &value), noErr);
    EXPECT_EQ(value, 0x1095);

    setenv("PLATFORM_SYSTEM_VERSION", "10.3.9", 1);
    ASSERT_EQ(Gestalt(gestaltSystemVersion, &value), noErr);
    EXPECT_EQ(value, 0x1039);

    PlatformTestingSetSystemVersion("10.4.11");
    ASSERT_EQ(Gestalt(gestaltSystemVersionMajor, &value), noErr);
    EXPECT_EQ(value, 10);
    ASSERT_EQ(Gestalt(gestaltSystemVersionMinor, &value), noErr);
    EXPECT_EQ(value, 4);
    ASSERT_EQ(Gestalt(gestaltSystemVersionBugFix, &value), noErr);
    EXPECT_EQ(value, 11);
    ASSERT_EQ(Gestalt(gestaltSystemVersion, &value), noErr);
    EXPECT_EQ(value, 0x1049) << "the packed form caps the fix level at 9";

    PlatformTestingSetSystemVersion("10.2");
    ASSERT_EQ(Gestalt(gestaltSystemVersion, &value), noErr);
    EXPECT_EQ(value, 0x1020);

    // A malformed value falls back to the default.
    PlatformTestingSetSystemVersion(nullptr);
    setenv("PLATFORM_SYSTEM_VERSION", "ten", 1);
    ASSERT_EQ(Gestalt(gestaltSystemVersionMinor, &value), noErr);
    EXPECT_EQ(value, 10);
    unsetenv("PLATFORM_SYSTEM_VERSION");

    EXPECT_EQ(Gestalt(0x6E6F7065U, &value), gestaltUndefSelectorErr);
    EXPECT_EQ(Gestalt(gestaltSystemVersion, nullptr), paramErr);
}

TEST_F(CoreServicesTest, URLsAndReferencesConvertBothWays)
{
    fs::create_directory(root + "/dir");
    FSRef folder;
    ASSERT_EQ(FSPathMakeRef(U8(root + "/dir"), &folder, nullptr), noErr);
    CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, &folder);
    ASSERT_NE(url, nullptr);
    EXPECT_TRUE(CFURLHasDirectoryPath(url));
    UInt8 path[4096];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(url, true, path, sizeof(path)));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(path)), root + "/dir");

    FSRef back;
    ASSERT_TRUE(CFURLGetFSRef(url, &back));
    EXPECT_EQ(FSCompareFSRefs(&back, &folder), noErr);
    CFRelease(url);

    // The URL is one creation for the seam, and none is made for a reference that has gone.
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(CFURLCreateFromFSRef(kCFAllocatorDefault, &folder), nullptr);
    fs::remove(root + "/dir");
    EXPECT_EQ(CFURLCreateFromFSRef(kCFAllocatorDefault, &folder), nullptr);
    EXPECT_FALSE(CFURLGetFSRef(nullptr, &back));
}

}  // namespace
