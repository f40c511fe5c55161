// Folder names made from disk labels, and what mount arguments mean.
#include <gtest/gtest.h>

#include "Mounter.h"
#include "StandInKit.h"

#include <sys/mount.h>

#include <random>

using da::InterpretMountArguments;
using da::VolumeFolderName;
using standin::IsValidUTF8;

namespace {

// A folder name is one path component: no '/', no NUL, not "." or "..", not empty.
void ExpectSingleComponent(const std::string &name)
{
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(std::string::npos, name.find('/')) << name;
    EXPECT_EQ(std::string::npos, name.find('\0')) << name;
    EXPECT_NE(".", name);
    EXPECT_NE("..", name);
    EXPECT_LE(name.size(), 240u);
    EXPECT_TRUE(IsValidUTF8(name)) << name;
    for (unsigned char c : name) {
        EXPECT_TRUE(c >= 0x20 && c != 0x7F) << name;
    }
}

TEST(DAVolumeFolderNameTest, PlainLabelsStayAsTheyAre)
{
    EXPECT_EQ("Velmora", VolumeFolderName("Velmora"));
    EXPECT_EQ("My Disk 2", VolumeFolderName("My Disk 2"));
    EXPECT_EQ("Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x92\xbe", VolumeFolderName("Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x92\xbe"));
    EXPECT_EQ("..hidden", VolumeFolderName("..hidden"));
    EXPECT_EQ("...", VolumeFolderName("..."));
}

TEST(DAVolumeFolderNameTest, HostileLabelsNeverLeaveTheFolder)
{
    const std::string hostile[] = {
        "", ".", "..", "/", "//", "../..", "../../etc", "a/b", "/etc/passwd", "x\n/y",
        std::string("a\0b", 3), "\x01\x1b[31m", "\x7f", "\xc2\x85", "\xff\xfe", "\xc0\xaf\xc0\xae\xc0\xae",
        "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "abc\xe2\x82", std::string(300, 'x'),
    };
    for (const std::string &label : hostile) {
        ExpectSingleComponent(VolumeFolderName(label));
    }
    EXPECT_EQ("Untitled", VolumeFolderName(""));
    EXPECT_EQ("Untitled", VolumeFolderName("."));
    EXPECT_EQ("Untitled", VolumeFolderName(".."));
    EXPECT_EQ("_", VolumeFolderName("/"));
    EXPECT_EQ(".._.._etc", VolumeFolderName("../../etc"));
    EXPECT_EQ("a_b", VolumeFolderName("a/b"));
    EXPECT_EQ("a_b", VolumeFolderName(std::string("a\0b", 3)));
    EXPECT_EQ("__[31m", VolumeFolderName("\x01\x1b[31m"));
    EXPECT_EQ("_", VolumeFolderName("\xc2\x85")) << "a C1 control is a control";
    EXPECT_EQ("__", VolumeFolderName("\xff\xfe"));
    // An overlong '/' is not a '/' (nor anything else): each of its bytes is replaced.
    EXPECT_EQ("______", VolumeFolderName("\xc0\xaf\xc0\xae\xc0\xae"));
    EXPECT_EQ("abc__", VolumeFolderName("abc\xe2\x82"));
}

TEST(DAVolumeFolderNameTest, AnyBytesGiveASingleComponent)
{
    std::mt19937 random(2024);
    for (int round = 0; round < 5000; ++round) {
        std::string label(random() % 24, '\0');
        for (char &c : label) {
            // Mostly the bytes that matter: '/', '.', controls, UTF-8 lead and continuation bytes.
            const char interesting[] = {'/', '.', '\0', '\x01', '\x7f', '\xc2', '\x85', '\xe2', '\x80', '\xf0', '\xff', 'a'};
            c = random() % 2 ? interesting[random() % sizeof interesting] : static_cast<char>(random());
        }
        ExpectSingleComponent(VolumeFolderName(label));
    }
}

TEST(DAVolumeFolderNameTest, LongLabelsAreCutOnACharacterBoundary)
{
    std::string euros;
    for (int i = 0; i < 100; ++i) {
        euros += "\xe2\x82\xac";  // three bytes each
    }
    std::string name = VolumeFolderName(euros);
    EXPECT_EQ(240u, name.size());
    EXPECT_TRUE(IsValidUTF8(name));
    EXPECT_EQ(238u, VolumeFolderName("x" + euros).size());
}

TEST(DAMountArgumentsTest, RdonlyAndNobrowseMountReadOnlyAndOthersAreNoted)
{
    EXPECT_TRUE(InterpretMountArguments({"rdonly"}).flags & MS_RDONLY);
    EXPECT_TRUE(InterpretMountArguments({"nobrowse"}).flags & MS_RDONLY);
    EXPECT_FALSE(InterpretMountArguments({}).flags & MS_RDONLY);
    da::MountFlags flags = InterpretMountArguments({"noexec", "perm", ""});
    EXPECT_TRUE(flags.flags & MS_NOEXEC);
    EXPECT_FALSE(flags.flags & MS_RDONLY);
    EXPECT_EQ((std::vector<std::string>{"perm", ""}), flags.ignored);
    // Removable volumes never honour set-user-ID bits or device nodes.
    EXPECT_TRUE(InterpretMountArguments({}).flags & MS_NOSUID);
    EXPECT_TRUE(InterpretMountArguments({}).flags & MS_NODEV);
}

}  // namespace
