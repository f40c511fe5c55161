// The setup package runner against a temporary folder standing in for "/Volumes/" and a small
// "open" script, earlier on PATH, that records its arguments and, for a disk image, creates the
// image's volume folder. Sleeps are counted by the recorder.
#include "ActiveVolumeProgram.h"
#include "PlatformTesting.h"
#include "TestSupport.h"

namespace {

using cwtest::ReadFile;
using cwtest::WriteFile;
namespace fs = std::filesystem;

const char kOpenStub[] = R"(#!/bin/sh
for a in "$@"; do printf '<%s>' "$a"; done >> "$OPEN_STUB_LOG"
printf '\n' >> "$OPEN_STUB_LOG"
case "$1" in
  *.dmg) [ -n "$OPEN_STUB_FAIL_DMG" ] && exit 1
         [ -n "$OPEN_STUB_MKDIR" ] && mkdir -p -- "$OPEN_STUB_MKDIR" ;;
  *.pkg) [ -n "$OPEN_STUB_FAIL_PKG" ] && exit 1 ;;
esac
exit 0
)";
const char kRunner[] = "ActiveVolumeProgram.cpp:RunSDProgram";

std::string Config(const std::string &setup, const std::string &path, const std::string &name,
                   const std::string &once = "no")
{
    return "[General]\nLanguage=en\n\n[SD_THIRDPARTY_SETUP]\nSD_THIRD_SETUP=" + setup + "\nSD_THIRD_FILE_PATH=" +
           path + "\nSD_THIRD_FILE_NAME=" + name + "\nSD_RUN_THIRD_FILE_ONCE=" + once + "\n";
}

class SetupTest : public cwtest::LoggedTest {
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        PlatformTestingResetSleep();
        volumes_ = dir_ + "/Volumes/";
        config_ = dir_ + "/SysConfig.dat";
        fs::create_directories(volumes_ + "Velmora/Extra");
        fs::create_directories(dir_ + "/bin");
        cwtest::WriteScript(dir_ + "/bin/open", kOpenStub);
        env_.PrependPath(dir_ + "/bin");
        env_.Set("OPEN_STUB_LOG", dir_ + "/open.log");
        env_.Set("OPEN_STUB_MKDIR", volumes_ + "Foo Setup");
    }
    void TearDown() override
    {
        PlatformTestingResetSleep();
        LoggedTest::TearDown();
    }
    bool Run(const std::string &content)
    {
        WriteFile(config_, content);
        return RunSDProgram(config_.c_str(), "open \"", volumes_.c_str());
    }
    // One entry per run of the open script, each argument in angle brackets.
    std::vector<std::string> Opened() const
    {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile(dir_ + "/open.log"));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    std::string LastRunnerMessage() const
    {
        auto messages = Messages(kRunner);
        return messages.empty() ? "" : messages.back();
    }
    std::string volumes_, config_;
    cwtest::ScopedEnvironment env_;
};

TEST_F(SetupTest, OpensTheImageWaitsForItsVolumeAndOpensThePackage)
{
    EXPECT_TRUE(Run(Config("YES", "Velmora/Extra", "FooSetup.dmg")));
    EXPECT_EQ((std::vector<std::string>{"<" + volumes_ + "Velmora/Extra/FooSetup.dmg>",
                                        "<" + volumes_ + "Foo Setup/FooSetup.pkg>"}),
              Opened());
    EXPECT_EQ((std::vector<std::string>{"RunSDProgram Enter", "open \"" + volumes_ + "Velmora/Extra/FooSetup.dmg\"",
                                        "open \"" + volumes_ + "Foo Setup/FooSetup.pkg\"",
                                        "run SDProgram success, RunSDProgram exit"}),
              Messages(kRunner));
    EXPECT_TRUE(Logged("volumeName is " + volumes_ + "Foo Setup, GetTempVolumeName exit success"));
    EXPECT_EQ(Config("YES", "Velmora/Extra", "FooSetup.dmg"), ReadFile(config_));  // not asked to run once
    EXPECT_EQ(0u, PlatformTestingSleepCalls());

    // Later mounts of the name are numbered: the highest of the unbroken run from 1 is taken.
    fs::create_directories(volumes_ + "Foo Setup 1");
    fs::create_directories(volumes_ + "Foo Setup 3");
    EXPECT_TRUE(Run(Config("yes", "Velmora/Extra", "FooSetup.dmg")));
    fs::create_directories(volumes_ + "Foo Setup 2");
    EXPECT_TRUE(Run(Config("yes", "Velmora/Extra", "FooSetup.dmg")));
    ASSERT_EQ(6u, Opened().size());
    EXPECT_EQ("<" + volumes_ + "Foo Setup 1/FooSetup.pkg>", Opened()[3]);
    EXPECT_EQ("<" + volumes_ + "Foo Setup 3/FooSetup.pkg>", Opened()[5]);
}

TEST_F(SetupTest, RunOnceRewritesTheValueInPlaceAndTheNextRunSkips)
{
    const std::string before = Config("yes", "Velmora/Extra", "FooSetup.dmg", "YES");
    const size_t at = before.find("SD_THIRD_SETUP=") + 15;
    EXPECT_TRUE(Run(before));
    EXPECT_TRUE(Logged("Have change value of SD_THIRD_SETUP to No, next time will not run SDProgram"));
    std::string expected = before;
    expected.replace(at, 3, std::string("No\0", 3));
    const std::string after = ReadFile(config_);
    EXPECT_EQ(expected, after);  // same length, "No" and a zero byte at the value

    EXPECT_FALSE(RunSDProgram(config_.c_str(), "open \"", volumes_.c_str()));
    EXPECT_EQ("SD_THIRD_SETUP is not yes, not run SD Program, RunSDProgram exit", LastRunnerMessage());
    EXPECT_EQ(2u, Opened().size());

    // A value with a leading space keeps its last letter after the zero byte.
    EXPECT_TRUE(Run(Config(" yes", "Velmora/Extra", "FooSetup.dmg", "yes")));
    EXPECT_EQ(std::string("No\0s\n", 5), ReadFile(config_).substr(at, 5));
}

TEST_F(SetupTest, EveryFailureHasItsMessage)
{
    const std::string head = "[SD_THIRDPARTY_SETUP]\nSD_THIRD_SETUP=yes\nSD_THIRD_FILE_PATH=Velmora/Extra\n";
    struct Case {
        std::string content, variable, message;
        unsigned sleepSeconds;
    } cases[] = {
        {"[Other]\nSD_THIRD_SETUP=yes\n", "",
         "szKeyOrValue=[SD_THIRDPARTY_SETUP], ReadKeyValue false, RunSDProgram exit false", 0},
        {"[SD_THIRDPARTY_SETUP]\nSD_THIRD_FILE_NAME=x.dmg\n", "",
         "szKeyOrValue=SD_THIRD_SETUP, ReadKeyValue false, RunSDProgram exit false", 0},
        {Config("No", "Velmora/Extra", "FooSetup.dmg"), "",
         "SD_THIRD_SETUP is not yes, not run SD Program, RunSDProgram exit", 0},
        // The keys must stand in the order in which they are read.
        {"[SD_THIRDPARTY_SETUP]\nSD_THIRD_FILE_PATH=Velmora/Extra\nSD_THIRD_SETUP=yes\n", "",
         "SD_THIRD_FILE_PATH read false, RunSDProgram exit", 0},
        {Config("yes", "Velmora/Missing", "FooSetup.dmg"), "", "Velmora/Missing is not exist, RunSDProgram exit", 180},
        {head, "", "SD_THIRD_FILE_NAME read false, RunSDProgram exit false", 0},
        // A file name that the 512-byte buffer cannot hold is refused, not cut.
        {head + "SD_THIRD_FILE_NAME=" + std::string(520, 'n') + ".dmg\n", "",
         "SD_THIRD_FILE_NAME read false, RunSDProgram exit false", 0},
        {Config("yes", "Velmora/Extra", "FooSetup.dmg"), "OPEN_STUB_FAIL_DMG",
         "first RunShellProgram failed, RunSDProgram exit fals ", 10},
        {Config("yes", "Velmora/Extra", "FooSetup.dmg"), "OPEN_STUB_MKDIR",
         "GetTempVolumeName failed,  RunSDProgram exit false", 30},
        {Config("yes", "Velmora/Extra", "FooSetup.dmg"), "OPEN_STUB_FAIL_PKG",
         "second RunShellProgram failed,  RunSDProgram exit false", 10},
        // The installer has run, but without the run-once key the setting stays on.
        {head + "SD_THIRD_FILE_NAME=FooSetup.dmg\n", "", "SD_RUN_THIRD_FILE_ONCE read false, RunSDProgram exit false",
         0},
    };
    for (const Case &c : cases) {
        PlatformTestingResetSleep();
        cwtest::ScopedEnvironment caseEnv;
        if (!c.variable.empty()) {
            caseEnv.Set(c.variable, c.variable == "OPEN_STUB_MKDIR" ? "" : "1");
        }
        EXPECT_FALSE(Run(c.content));
        EXPECT_EQ(c.message, LastRunnerMessage());
        EXPECT_EQ(c.sleepSeconds, PlatformTestingSleepSeconds()) << c.message;
        EXPECT_EQ(c.content, ReadFile(config_));
    }
    EXPECT_TRUE(Logged("Error pVPStr=" + volumes_ + "Foo Setup, is not exist, GetTempVolumeName exit false"));

    ClearLog();
    const std::string missing = dir_ + "/missing.dat";
    EXPECT_FALSE(RunSDProgram(config_.c_str(), "", volumes_.c_str()));
    EXPECT_FALSE(RunSDProgram(missing.c_str(), "open \"", volumes_.c_str()));
    EXPECT_EQ(
        (std::vector<std::string>{"RunSDProgram Enter", "cmd is 0, can't run cmd, RunSDProgram exit false",
                                  "RunSDProgram Enter", "open file [" + missing + "] failed, RunSDProgram exit false"}),
        Messages(kRunner));
}

// What stands between the command's double quotes: '"', '\', '$' and '`' take a backslash.
std::string Quoted(const std::string &text)
{
    std::string quoted;
    for (char c : text) {
        if (c == '"' || c == '\\' || c == '$' || c == '`') {
            quoted.push_back('\\');
        }
        quoted.push_back(c);
    }
    return quoted;
}

// The command buffer holds the prefix "open \"" and 2048 bytes: a command of 2053 characters is
// run whole, one of 2054 is refused before it is formatted, for the image and for the package.
// Every "$" counts twice in the command, so values of "$" reach the limit.
TEST_F(SetupTest, CommandsUpToTheBufferRunWholeAndLongerOnesNeverRun)
{
    ASSERT_EQ(volumes_, Quoted(volumes_)) << "the temporary folder's path must need no escape";
    const size_t folderLength = volumes_.size();
    const std::string d200(200, '$'), deep = d200 + "/" + d200 + "/" + d200 + "/" + d200;
    fs::create_directories(volumes_ + deep);
    for (size_t length : {2053u, 2054u}) {
        SCOPED_TRACE(length);
        fs::remove(dir_ + "/open.log");
        // The image: "open \"" + folders + "/" + name + "\"", the name of plain letters.
        ASSERT_LT(folderLength + Quoted(deep).size() + 12, length);
        const std::string name = std::string(length - 12 - folderLength - Quoted(deep).size(), 'n') + ".dmg";
        const std::string command = "open \"" + volumes_ + Quoted(deep) + "/" + name + "\"";
        ASSERT_EQ(length, command.size());
        EXPECT_FALSE(Run(Config("yes", deep, name)));
        if (length == 2053) {
            EXPECT_EQ((std::vector<std::string>{"<" + volumes_ + deep + "/" + name + ">"}), Opened());
            EXPECT_EQ("GetTempVolumeName failed,  RunSDProgram exit false", LastRunnerMessage());
        } else {
            EXPECT_TRUE(Opened().empty());
            EXPECT_EQ("filename or path is too long to can't open, RunSDProgram exit false", LastRunnerMessage());
        }
    }
    for (size_t length : {2053u, 2054u}) {
        SCOPED_TRACE(length);
        fs::remove(dir_ + "/open.log");
        // The package: "open \"" + volume + "/" + base + ".pkg\"". The base is "$" runs in two
        // folders (each "$" counts four times: twice in the volume, twice in the base), a plain
        // letter or not (twice) and a capital or not (three times: the volume spaces it).
        std::string base;
        for (size_t capital : {0u, 1u}) {
            for (size_t letter : {0u, 1u}) {
                const size_t rest = length - 12 - folderLength - 2 - 3 * capital - 2 * letter;  // 2: the "/"
                if (base.empty() && rest % 4 == 0) {
                    const size_t dollars = rest / 4;
                    base = std::string(dollars / 2, '$') + "/" + std::string(dollars - dollars / 2, '$') +
                           std::string(letter, 'p') + std::string(capital, 'Q');
                }
            }
        }
        ASSERT_FALSE(base.empty());
        ASSERT_LE(base.size() + 4, 511u) << "the file name must fit its 512-byte buffer";
        std::string volume = volumes_ + base;
        if (volume.back() == 'Q') {
            volume.insert(volume.size() - 1, " ");
        }
        const std::string command = "open \"" + Quoted(volume) + "/" + Quoted(base) + ".pkg\"";
        ASSERT_EQ(length, command.size());
        env_.Set("OPEN_STUB_MKDIR", volume);
        const bool ran = Run(Config("yes", "Velmora/Extra", base + ".dmg"));
        ASSERT_FALSE(Opened().empty());
        if (length == 2053) {
            EXPECT_TRUE(ran);
            EXPECT_EQ("<" + volume + "/" + base + ".pkg>", Opened().back());
        } else {
            EXPECT_FALSE(ran);
            EXPECT_EQ(1u, Opened().size());  // only the image
            EXPECT_EQ("SDProgram's name is too long to can't run, RunSDProgram exit false", LastRunnerMessage());
        }
    }
}

TEST_F(SetupTest, ValuesThatLeaveTheVolumesFolderAreRefused)
{
    fs::create_directories(dir_ + "/outside");
    const std::pair<std::string, std::string> values[] = {
        {"../outside", "FooSetup.dmg"},         {"Velmora/../../outside", "FooSetup.dmg"},
        {dir_ + "/outside", "FooSetup.dmg"},    {"..", "FooSetup.dmg"},
        {"Velmora/Extra", "../../x/Foo.dmg"},   {"Velmora/Extra", "/etc/FooSetup.dmg"},
        {"Velmora/Extra", "sub/.."},            {"Velmora/Extra", "...dmg"},
        {"Velmora/Extra", "sub/...dmg"},
        // A base name of "." (or an empty last component) names the folder, not a volume:
        // "..dmg" would open "<volumes>/./..pkg".
        {"Velmora/Extra", "..dmg"},             {"Velmora/Extra", "sub/..dmg"},
        {"Velmora/Extra", "."},                 {"Velmora/Extra", "sub/.dmg"},
        {"Velmora/Extra", "sub/"},              {"Velmora/Extra", ""},
    };
    for (const auto &[path, name] : values) {
        EXPECT_FALSE(Run(Config("yes", path, name)));
        const bool pathBad = path.find("..") != std::string::npos || path[0] == '/';
        EXPECT_EQ((pathBad ? "SD_THIRD_FILE_PATH=" + path : "SD_THIRD_FILE_NAME=" + name) + " leaves " + volumes_ +
                      ", RunSDProgram exit false",
                  LastRunnerMessage());
    }
    EXPECT_TRUE(Opened().empty());
    // Dots that do not make a ".." component are ordinary names.
    fs::create_directories(volumes_ + "Velmora/..Extra..");
    env_.Set("OPEN_STUB_MKDIR", volumes_ + "Foo.. Setup");
    EXPECT_TRUE(Run(Config("yes", "Velmora/..Extra..", "Foo..Setup.dmg")));
}

TEST_F(SetupTest, HostileValuesBecomeLiteralFileNames)
{
    unlink("/tmp/pwned");
    const std::string marker = dir_ + "/marker";
    const std::string path = "Velmora/x\"; touch /tmp/pwned; \"$(touch " + marker + ")`touch " + marker + "`\\";
    const std::string base = "\"; touch /tmp/pwned; \"$home";
    fs::create_directories(volumes_ + path);
    env_.Set("OPEN_STUB_MKDIR", volumes_ + base);
    EXPECT_TRUE(Run(Config("yes", path, base + ".dmg")));
    EXPECT_FALSE(cwtest::Exists("/tmp/pwned"));
    EXPECT_FALSE(cwtest::Exists(marker));
    EXPECT_EQ((std::vector<std::string>{"<" + volumes_ + path + "/" + base + ".dmg>",
                                        "<" + volumes_ + base + "/" + base + ".pkg>"}),
              Opened());
}

TEST_F(SetupTest, IsVolumeExistTriesEveryTwoSecondsWithinItsBudget)
{
    static std::string appearing;
    appearing = volumes_ + "Later";
    PlatformTestingSetSleepHook([](unsigned call, void *) { (void)(call == 3 && mkdir(appearing.c_str(), 0755)); },
                                nullptr);
    EXPECT_TRUE(IsVolumeExist("Later", volumes_.c_str(), 30));  // appears during the third wait
    PlatformTestingResetSleep();
    EXPECT_FALSE(IsVolumeExist("Nothing", volumes_.c_str(), 1));
    EXPECT_EQ(2u, PlatformTestingSleepSeconds());
    EXPECT_TRUE(IsVolumeExist(appearing.c_str(), nullptr, 1));
    EXPECT_FALSE(IsVolumeExist("Later", volumes_.c_str(), 0));
    EXPECT_FALSE(IsVolumeExist(nullptr, volumes_.c_str(), 10));
    EXPECT_FALSE(IsVolumeExist("", "", 10));
    auto messages = Messages();
    messages.erase(messages.begin() + 1, messages.begin() + 3);  // the first two waits
    EXPECT_EQ((std::vector<std::string>{
                  "IsVolumeExist Enter", " 2 time, open (" + appearing + ") failed, open again",
                  "opertor 6 time, IsVolumeExist exit true", "IsVolumeExist Enter",
                  " 0 time, open (" + volumes_ + "Nothing) failed, open again", "IsVolumeExist exit false",
                  "IsVolumeExist Enter", "opertor 0 time, IsVolumeExist exit true", "IsVolumeExist Enter",
                  "testTime <= 0, can't check.", "param error", "IsVolumeExist Enter", "IsVolumeExist exit false"}),
              messages);
}

TEST_F(SetupTest, GetTempVolumeNameSpacesJoinedWordsAndChecksTheCapacity)
{
    const std::pair<const char *, const char *> cases[] = {
        {"FooSetup", "Foo Setup"}, {"Foo Setup", "Foo Setup"}, {"ABC", "A B C"}, {"lower", "lower"}};
    for (const auto &[base, volume] : cases) {
        fs::create_directories(volumes_ + volume);
        char buffer[1024] = {};
        strcpy(buffer, base);
        int64_t capacity = 1018;
        EXPECT_TRUE(GetTempVolumeName(buffer, sizeof(buffer), &capacity, volumes_.c_str(), 30));
        EXPECT_EQ(volumes_ + volume, buffer);
        EXPECT_EQ(1018, capacity);
    }
    ClearLog();
    char buffer[1024] = "ABC", empty[4] = "";
    int64_t capacity = 5;
    EXPECT_FALSE(GetTempVolumeName(buffer, sizeof(buffer), &capacity, volumes_.c_str(), 30));
    EXPECT_EQ(static_cast<int64_t>((volumes_ + "A B C").size()) + 1, capacity);
    EXPECT_FALSE(GetTempVolumeName(buffer, sizeof(buffer), nullptr, volumes_.c_str(), 30));
    EXPECT_FALSE(GetTempVolumeName(empty, sizeof(empty), &capacity, volumes_.c_str(), 30));
    EXPECT_EQ(
        (std::vector<std::string>{"GetTempVolumeName Enter", "IsVolumeExist Enter",
                                  "opertor 0 time, IsVolumeExist exit true", "pVPStr's space is small",
                                  "Error pVPStr=" + volumes_ + "A B C, is not exist, GetTempVolumeName exit false",
                                  "param error", "GetTempVolumeName Enter"}),
        Messages());
}

}  // namespace
