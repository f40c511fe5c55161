// The setup package runner against a temporary folder standing in for "/Volumes/" and a small
// "open" script, earlier on PATH, that records its arguments and, for a disk image, creates the
// image's volume folder. Sleeps are counted by the recorder.
#include "ActiveVolumeProgram.h"
#include "PlatformTesting.h"
#include "TestSupport.h"

#include <filesystem>

namespace {

using cwtest::Exists;
using cwtest::ReadFile;
using cwtest::WriteFile;

const char kOpenStub[] = R"(#!/bin/sh
# Stand-in for the system's open command: records its arguments, one invocation per line.
for a in "$@"; do printf '<%s>' "$a"; done >> "$OPEN_STUB_LOG"
printf '\n' >> "$OPEN_STUB_LOG"
case "$1" in
  *.dmg) [ -n "$OPEN_STUB_FAIL_DMG" ] && exit 1
         [ -n "$OPEN_STUB_MKDIR" ] && mkdir -p -- "$OPEN_STUB_MKDIR" ;;
  *.pkg) [ -n "$OPEN_STUB_FAIL_PKG" ] && exit 1 ;;
esac
exit 0
)";

class SetupTest : public cwtest::LoggedTest {
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        PlatformTestingResetSleep();
        volumes_ = dir_ + "/Volumes/";
        std::filesystem::create_directories(volumes_ + "Velmora/Extra");
        std::string bin = dir_ + "/bin";
        std::filesystem::create_directories(bin);
        WriteFile(bin + "/open", kOpenStub);
        std::filesystem::permissions(bin + "/open", std::filesystem::perms::owner_all);
        oldPath_ = getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin";
        setenv("PATH", (bin + ":" + oldPath_).c_str(), 1);
        openLog_ = dir_ + "/open.log";
        setenv("OPEN_STUB_LOG", openLog_.c_str(), 1);
        setenv("OPEN_STUB_MKDIR", (volumes_ + "Foo Setup").c_str(), 1);
        unsetenv("OPEN_STUB_FAIL_DMG");
        unsetenv("OPEN_STUB_FAIL_PKG");
        config_ = dir_ + "/SysConfig.dat";
    }
    void TearDown() override
    {
        setenv("PATH", oldPath_.c_str(), 1);
        unsetenv("OPEN_STUB_LOG");
        unsetenv("OPEN_STUB_MKDIR");
        unsetenv("OPEN_STUB_FAIL_DMG");
        unsetenv("OPEN_STUB_FAIL_PKG");
        LoggedTest::TearDown();
    }
    void WriteConfig(const std::string &setup, const std::string &path, const std::string &name,
                     const std::string &once)
    {
        WriteFile(config_, "[General]\nLanguage=en\n\n[SD_THIRDPARTY_SETUP]\nSD_THIRD_SETUP=" + setup +
                               "\nSD_THIRD_FILE_PATH=" + path + "\nSD_THIRD_FILE_NAME=" + name +
                               "\nSD_RUN_THIRD_FILE_ONCE=" + once + "\n");
    }
    bool Run() { return RunSDProgram(config_.c_str(), "open \"", volumes_.c_str()); }
    std::vector<std::string> Opened() const
    {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile(openLog_));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    std::vector<std::string> RunnerMessages() const { return MessagesOf("ActiveVolumeProgram.cpp:RunSDProgram"); }
    // The message RunSDProgram ended with.
    std::string LastRunnerMessage() const
    {
        auto messages = RunnerMessages();
        return messages.empty() ? "" : messages.back();
    }

    std::string volumes_;
    std::string oldPath_;
    std::string openLog_;
    std::string config_;
};

TEST_F(SetupTest, OpensTheImageWaitsForItsVolumeAndOpensThePackage)
{
    WriteConfig("YES", "Velmora/Extra", "FooSetup.dmg", "no");
    const std::string before = ReadFile(config_);
    EXPECT_TRUE(Run());
    EXPECT_EQ(Opened(), (std::vector<std::string>{"<" + volumes_ + "Velmora/Extra/FooSetup.dmg>",
                                                  "<" + volumes_ + "Foo Setup/FooSetup.pkg>"}));
    EXPECT_EQ(RunnerMessages(), (std::vector<std::string>{"RunSDProgram Enter",
                                                          "open \"" + volumes_ + "Velmora/Extra/FooSetup.dmg\"",
                                                          "open \"" + volumes_ + "Foo Setup/FooSetup.pkg\"",
                                                          "run SDProgram success, RunSDProgram exit"}));
    EXPECT_TRUE(Logged("volumeName is " + volumes_ + "Foo Setup, GetTempVolumeName exit success"));
    EXPECT_EQ(ReadFile(config_), before);  // not asked to run once
    EXPECT_EQ(PlatformTestingSleepCalls(), 0u);
}

TEST_F(SetupTest, NumberedVolumesPickTheHighestOfTheUnbrokenRun)
{
    WriteConfig("yes", "Velmora/Extra", "FooSetup.dmg", "no");
    std::filesystem::create_directories(volumes_ + "Foo Setup 1");
    std::filesystem::create_directories(volumes_ + "Foo Setup 3");
    EXPECT_TRUE(Run());
    ASSERT_EQ(Opened().size(), 2u);
    EXPECT_EQ(Opened()[1], "<" + volumes_ + "Foo Setup 1/FooSetup.pkg>");

    std::filesystem::create_directories(volumes_ + "Foo Setup 2");
    EXPECT_TRUE(Run());
    EXPECT_EQ(Opened()[3], "<" + volumes_ + "Foo Setup 3/FooSetup.pkg>");
}

TEST_F(SetupTest, RunOnceRewritesTheValueInPlaceAndTheNextRunSkips)
{
    WriteConfig("yes", "Velmora/Extra", "FooSetup.dmg", "YES");
    const std::string before = ReadFile(config_);
    const size_t offset = before.find("SD_THIRD_SETUP=") + strlen("SD_THIRD_SETUP=");
    EXPECT_TRUE(Run());
    EXPECT_TRUE(Logged("Have change value of SD_THIRD_SETUP to No, next time will not run SDProgram"));
    std::string after = ReadFile(config_);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(offset, 3), std::string("No\0", 3));
    EXPECT_EQ(after.substr(0, offset), before.substr(0, offset));
    EXPECT_EQ(after.substr(offset + 3), before.substr(offset + 3));

    ClearLog();
    WriteFile(openLog_, "");
    EXPECT_FALSE(Run());
    EXPECT_EQ(LastRunnerMessage(), "SD_THIRD_SETUP is not yes, not run SD Program, RunSDProgram exit");
    EXPECT_TRUE(Opened().empty());
}

TEST_F(SetupTest, RunOnceOverALeadingSpaceKeepsTheLastLetter)
{
    WriteConfig(" yes", "Velmora/Extra", "FooSetup.dmg", "yes");
    const std::string before = ReadFile(config_);
    const size_t offset = before.find("SD_THIRD_SETUP=") + strlen("SD_THIRD_SETUP=");
    EXPECT_TRUE(Run());
    std::string after = ReadFile(config_);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(offset, 5), std::string("No\0s\n", 5));
}

TEST_F(SetupTest, EachEarlyFailureHasItsMessageAndOpensNothing)
{
    struct Case {
        std::string content;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"[Other]\nSD_THIRD_SETUP=yes\n",
         "szKeyOrValue=[SD_THIRDPARTY_SETUP], ReadKeyValue false, RunSDProgram exit false"},
        {"[SD_THIRDPARTY_SETUP]\nSD_THIRD_FILE_NAME=FooSetup.dmg\n",
         "szKeyOrValue=SD_THIRD_SETUP, ReadKeyValue false, RunSDProgram exit false"},
        {"[SD_THIRDPARTY_SETUP]\nSD_THIRD_SETUP=No\nSD_THIRD_FILE_PATH=Velmora/Extra\n",
         "SD_THIRD_SETUP is not yes, not run SD Program, RunSDProgram exit"},
        // The keys must stand in the order in which they are read.
        {"[SD_THIRDPARTY_SETUP]\nSD_THIRD_FILE_PATH=Velmora/Extra\nSD_THIRD_SETUP=yes\n",
         "SD_THIRD_FILE_PATH read false, RunSDProgram exit"},
        {"[SD_THIRDPARTY_SETUP]\nSD_THIRD_SETUP=yes\nSD_THIRD_FILE_PATH=Velmora/Extra\n",
         "SD_THIRD_FILE_NAME read false, RunSDProgram exit false"},
        // A file name the 512-byte buffer cannot hold is refused, not cut.
        {"[SD_THIRDPARTY_SETUP]\nSD_THIRD_SETUP=yes\nSD_THIRD_FILE_PATH=Velmora/Extra\nSD_THIRD_FILE_NAME=" +
             std::string(520, 'n') + ".dmg\n",
         "SD_THIRD_FILE_NAME read false, RunSDProgram exit false"},
    };
    for (const Case &c : cases) {
        ClearLog();
        WriteFile(config_, c.content);
        EXPECT_FALSE(Run());
        EXPECT_EQ(LastRunnerMessage(), c.message) << c.content;
    }
    EXPECT_TRUE(Opened().empty());

    ClearLog();
    EXPECT_FALSE(RunSDProgram(config_.c_str(), "", volumes_.c_str()));
    EXPECT_FALSE(RunSDProgram(nullptr, "open \"", volumes_.c_str()));
    EXPECT_EQ(RunnerMessages(), (std::vector<std::string>{"RunSDProgram Enter",
                                                          "cmd is 0, can't run cmd, RunSDProgram exit false",
                                                          "RunSDProgram Enter",
                                                          "cmd is 0, can't run cmd, RunSDProgram exit false"}));
    ClearLog();
    std::string missing = dir_ + "/missing.dat";
    EXPECT_FALSE(RunSDProgram(missing.c_str(), "open \"", volumes_.c_str()));
    EXPECT_EQ(LastRunnerMessage(), "open file [" + missing + "] failed, RunSDProgram exit false");
}

TEST_F(SetupTest, MissingFolderIsWaitedForThreeMinutes)
{
    WriteConfig("yes", "Velmora/Missing", "FooSetup.dmg", "no");
    EXPECT_FALSE(Run());
    EXPECT_EQ(LastRunnerMessage(), "Velmora/Missing is not exist, RunSDProgram exit");
    EXPECT_EQ(PlatformTestingSleepCalls(), 90u);
    EXPECT_EQ(PlatformTestingSleepSeconds(), 180u);
    EXPECT_TRUE(Opened().empty());
}

TEST_F(SetupTest, FailuresAfterTheImageIsOpened)
{
    WriteConfig("yes", "Velmora/Extra", "FooSetup.dmg", "yes");
    setenv("OPEN_STUB_FAIL_DMG", "1", 1);
    EXPECT_FALSE(Run());
    EXPECT_EQ(LastRunnerMessage(), "first RunShellProgram failed, RunSDProgram exit fals ");
    EXPECT_EQ(Opened().size(), 10u);
    EXPECT_EQ(PlatformTestingSleepCalls(), 10u);
    unsetenv("OPEN_STUB_FAIL_DMG");

    // The image's volume never appears: 15 looks, 2 seconds apart.
    ClearLog();
    PlatformTestingResetSleep();
    unsetenv("OPEN_STUB_MKDIR");
    EXPECT_FALSE(Run());
    EXPECT_EQ(LastRunnerMessage(), "GetTempVolumeName failed,  RunSDProgram exit false");
    EXPECT_TRUE(Logged("Error pVPStr=" + volumes_ + "Foo Setup, is not exist, GetTempVolumeName exit false"));
    EXPECT_EQ(PlatformTestingSleepCalls(), 15u);
    setenv("OPEN_STUB_MKDIR", (volumes_ + "Foo Setup").c_str(), 1);

    ClearLog();
    setenv("OPEN_STUB_FAIL_PKG", "1", 1);
    EXPECT_FALSE(Run());
    EXPECT_EQ(LastRunnerMessage(), "second RunShellProgram failed,  RunSDProgram exit false");
    unsetenv("OPEN_STUB_FAIL_PKG");

    // The installer has run, but the run-once key is missing: the setting stays on.
    ClearLog();
    WriteFile(config_, "[SD_THIRDPARTY_SETUP]\nSD_THIRD_SETUP=yes\nSD_THIRD_FILE_PATH=Velmora/Extra\n"
                       "SD_THIRD_FILE_NAME=FooSetup.dmg\n");
    const std::string before = ReadFile(config_);
    EXPECT_FALSE(Run());
    EXPECT_EQ(LastRunnerMessage(), "SD_RUN_THIRD_FILE_ONCE read false, RunSDProgram exit false");
    EXPECT_EQ(ReadFile(config_), before);
}

TEST_F(SetupTest, OverlongCommandsAreRefusedBeforeTheyAreFormatted)
{
    // Every "$" doubles in the escaped command: folder and name together pass its 2048 bytes.
    std::string dollars(200, '$');
    std::string folder = dollars + "/" + dollars + "/" + dollars + "/" + dollars;
    std::filesystem::create_directories(volumes_ + folder);
    WriteConfig("yes", folder, std::string(200, '$') + "/" + std::string(200, '$') + ".dmg", "no");
    EXPECT_FALSE(Run());
    EXPECT_EQ(LastRunnerMessage(), "filename or path is too long to can't open, RunSDProgram exit false");
    EXPECT_TRUE(Opened().empty());

    // The package command: a base name of two long components under a short folder.
    ClearLog();
    std::string base = std::string(253, '$') + "/" + std::string(253, '$');  // 511 with ".dmg"
    setenv("OPEN_STUB_MKDIR", (volumes_ + base).c_str(), 1);
    WriteConfig("yes", "Velmora/Extra", base + ".dmg", "no");
    EXPECT_FALSE(Run());
    EXPECT_EQ(LastRunnerMessage(), "SDProgram's name is too long to can't run, RunSDProgram exit false");
    EXPECT_EQ(Opened().size(), 1u);  // only the image
}

TEST_F(SetupTest, ValuesThatLeaveTheVolumesFolderAreRefused)
{
    std::filesystem::create_directories(dir_ + "/outside");
    const std::vector<std::pair<std::string, std::string>> values = {
        {"../outside", "FooSetup.dmg"},
        {"Velmora/../../outside", "FooSetup.dmg"},
        {"/" + dir_ + "/outside", "FooSetup.dmg"},
        {"..", "FooSetup.dmg"},
        {"Velmora/Extra", "../../outside/FooSetup.dmg"},
        {"Velmora/Extra", "/etc/FooSetup.dmg"},
        {"Velmora/Extra", "sub/.."},
    };
    for (const auto &[path, name] : values) {
        ClearLog();
        WriteConfig("yes", path, name, "no");
        EXPECT_FALSE(Run());
        const bool pathBad = path.find("..") != std::string::npos || path[0] == '/';
        const std::string expected = pathBad ? "SD_THIRD_FILE_PATH=" + path + " leaves " + volumes_ +
                                                   ", RunSDProgram exit false"
                                             : "SD_THIRD_FILE_NAME=" + name + " leaves " + volumes_ +
                                                   ", RunSDProgram exit false";
        EXPECT_EQ(LastRunnerMessage(), expected);
    }
    EXPECT_TRUE(Opened().empty());
    // Dots that are not a ".." component are ordinary names.
    std::filesystem::create_directories(volumes_ + "Velmora/..Extra..");
    WriteConfig("yes", "Velmora/..Extra..", "Foo..Setup.dmg", "no");
    setenv("OPEN_STUB_MKDIR", (volumes_ + "Foo.. Setup").c_str(), 1);
    EXPECT_TRUE(Run());
}

TEST_F(SetupTest, HostileValuesBecomeLiteralFileNames)
{
    unlink("/tmp/pwned");
    const std::string marker = dir_ + "/marker";
    const std::string path = "Velmora/x\"; touch /tmp/pwned; \"$(touch " + marker + ")`touch " + marker + "`\\";
    const std::string name = "\"; touch /tmp/pwned; \"$home.dmg";
    std::filesystem::create_directories(volumes_ + path);
    const std::string volume = volumes_ + "\"; touch /tmp/pwned; \"$home";
    setenv("OPEN_STUB_MKDIR", volume.c_str(), 1);
    WriteConfig("yes", path, name, "no");
    EXPECT_TRUE(Run());
    EXPECT_FALSE(Exists("/tmp/pwned"));
    EXPECT_FALSE(Exists(marker));
    EXPECT_EQ(Opened(), (std::vector<std::string>{"<" + volumes_ + path + "/" + name + ">",
                                                  "<" + volume + "/\"; touch /tmp/pwned; \"$home.pkg>"}));
}

TEST_F(SetupTest, IsVolumeExistTriesEveryTwoSecondsWithinItsBudget)
{
    EXPECT_FALSE(IsVolumeExist("Nothing", volumes_.c_str(), 1));
    EXPECT_EQ(PlatformTestingSleepCalls(), 1u);
    EXPECT_EQ(PlatformTestingSleepSeconds(), 2u);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"IsVolumeExist Enter",
                                                    " 0 time, open (" + volumes_ + "Nothing) failed, open again",
                                                    "IsVolumeExist exit false"}));
    PlatformTestingResetSleep();
    EXPECT_FALSE(IsVolumeExist("Nothing", volumes_.c_str(), 300));
    EXPECT_EQ(PlatformTestingSleepCalls(), 150u);

    // The folder appears during the third wait.
    ClearLog();
    PlatformTestingResetSleep();
    static std::string appearing;
    appearing = volumes_ + "Later";
    PlatformTestingSetSleepHook(
        [](unsigned call, void *) {
            if (call == 3) {
                mkdir(appearing.c_str(), 0755);
            }
        },
        nullptr);
    EXPECT_TRUE(IsVolumeExist("Later", volumes_.c_str(), 30));
    EXPECT_EQ(Messages().back(), "opertor 6 time, IsVolumeExist exit true");
    PlatformTestingResetSleep();

    ClearLog();
    EXPECT_TRUE(IsVolumeExist((volumes_ + "Later").c_str(), nullptr, 1));
    EXPECT_FALSE(IsVolumeExist("Later", volumes_.c_str(), 0));
    EXPECT_FALSE(IsVolumeExist(nullptr, volumes_.c_str(), 10));
    EXPECT_FALSE(IsVolumeExist("", "", 10));
    EXPECT_EQ(Messages(), (std::vector<std::string>{"IsVolumeExist Enter", "opertor 0 time, IsVolumeExist exit true",
                                                    "IsVolumeExist Enter", "testTime <= 0, can't check.",
                                                    "param error", "IsVolumeExist Enter",
                                                    "IsVolumeExist exit false"}));
}

TEST_F(SetupTest, GetTempVolumeNameSpacesJoinedWordsAndChecksTheCapacity)
{
    struct Case {
        const char *base;
        const char *volume;
    };
    for (const Case &c : {Case{"FooSetup", "Foo Setup"}, Case{"Foo Setup", "Foo Setup"}, Case{"ABC", "A B C"},
                          Case{"lower", "lower"}}) {
        std::filesystem::create_directories(volumes_ + c.volume);
        char buffer[1024];
        strcpy(buffer, c.base);
        int64_t capacity = 1018;
        EXPECT_TRUE(GetTempVolumeName(buffer, sizeof(buffer), &capacity, volumes_.c_str(), 30));
        EXPECT_EQ(std::string(buffer), volumes_ + c.volume);
        EXPECT_EQ(capacity, 1018);
    }

    ClearLog();
    char buffer[1024] = "ABC";
    int64_t capacity = 5;
    EXPECT_FALSE(GetTempVolumeName(buffer, sizeof(buffer), &capacity, volumes_.c_str(), 30));
    EXPECT_EQ(capacity, static_cast<int64_t>((volumes_ + "A B C").size()) + 1);
    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "GetTempVolumeName Enter", "IsVolumeExist Enter",
                              "opertor 0 time, IsVolumeExist exit true", "pVPStr's space is small",
                              "Error pVPStr=" + volumes_ + "A B C, is not exist, GetTempVolumeName exit false"}));
    ClearLog();
    EXPECT_FALSE(GetTempVolumeName(buffer, sizeof(buffer), nullptr, volumes_.c_str(), 30));
    char empty[4] = "";
    EXPECT_FALSE(GetTempVolumeName(empty, sizeof(empty), &capacity, volumes_.c_str(), 30));
    EXPECT_EQ(Messages(), (std::vector<std::string>{"param error", "GetTempVolumeName Enter"}));
}

}  // namespace
