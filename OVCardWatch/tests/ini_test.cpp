// The INI reader: section and key lookup rules, its other entry points, and hostile files.
#include "INI.h"
#include "TestSupport.h"

#include <climits>

namespace {

using cwtest::WriteFile;

class IniTest : public cwtest::LoggedTest {
protected:
    // Writes the configuration file and registers it.
    void UseIni(const std::string &content)
    {
        iniPath_ = dir_ + "/config";
        WriteFile(iniPath_, content);
        ASSERT_TRUE(SetIniFileName(iniPath_.c_str()));
    }
    std::string Read(const char *section, const char *key)
    {
        const char *value = ReadString(section, key, kDefault);
        return value == kDefault ? "<default>" : std::string(value);
    }
    static constexpr const char *kDefault = "DEFAULT";
    std::string iniPath_;
};

TEST_F(IniTest, FindsTheTrimmedValueOfAKeyInItsSection)
{
    UseIni("[Volumes]\nname=Foo\n");
    EXPECT_EQ(Read("Volumes", "name"), "Foo");
    UseIni("[Volumes]\n  name   =   Foo   \n");
    EXPECT_EQ(Read("Volumes", "name"), "Foo");
    // Only spaces are trimmed: a tab before the value stays.
    UseIni("[Volumes]\nname=\tFoo\n");
    EXPECT_EQ(Read("Volumes", "name"), "\tFoo");
    // The first "=" separates; the rest belongs to the value.
    UseIni("[Volumes]\npath1=/Volumes/a=b/App.app/\n");
    EXPECT_EQ(Read("Volumes", "path1"), "/Volumes/a=b/App.app/");
    EXPECT_TRUE(Messages().empty());  // the reader logs nothing on success
}

TEST_F(IniTest, SectionHeaderIsFoundAnywhereInALineAndCaseSensitively)
{
    UseIni(";[Volumes] word\nname=Foo\n");
    EXPECT_EQ(Read("Volumes", "name"), "Foo");
    UseIni("[volumes]\nname=Foo\n");
    EXPECT_EQ(Read("Volumes", "name"), "<default>");
    EXPECT_EQ(MessagesOf("INI.cpp:SectionExists"), std::vector<std::string>{"not found the section"});
    EXPECT_EQ(MessagesOf("INI.cpp:ReadString"), std::vector<std::string>{"cfg section [Volumes] not exists..."});
}

TEST_F(IniTest, KeyLineRules)
{
    UseIni("[Volumes]\nnames=x\nname = first\nname = second\n");
    EXPECT_EQ(Read("Volumes", "name"), "first");  // names=x is not a key line of name
    // The key line test looks at the text following length(key) characters of the trimmed line.
    UseIni("[Volumes]\nxname=1\n");
    EXPECT_EQ(Read("Volumes", "name"), "<default>");
    // A key line without "=" sets nothing: the default stands.
    UseIni("[Volumes]\nname\n");
    EXPECT_EQ(Read("Volumes", "name"), "<default>");
}

TEST_F(IniTest, NextSectionHeaderEndsTheSearch)
{
    UseIni("[Volumes]\nother=1\n[Other]\nname=Foo\n");
    EXPECT_EQ(Read("Volumes", "name"), "<default>");
    EXPECT_TRUE(MessagesOf("INI.cpp:KeyExists").empty());
    EXPECT_EQ(MessagesOf("INI.cpp:ReadString"), std::vector<std::string>{"cfg key [name] not exists..."});
    ClearLog();
    UseIni("[Volumes]\nother=1\n");
    EXPECT_EQ(Read("Volumes", "name"), "<default>");
    EXPECT_EQ(MessagesOf("INI.cpp:KeyExists"), std::vector<std::string>{"not found the key"});
}

TEST_F(IniTest, RepeatedSectionIsNeverReached)
{
    UseIni("[Volumes]\nother=1\n[Volumes]\nname=Foo\n");
    EXPECT_EQ(Read("Volumes", "name"), "<default>");
}

TEST_F(IniTest, LineEndingsAndEmptyLines)
{
    UseIni("[Volumes]\r\n\r\n\n name = Foo \r\nlast=Bar");
    EXPECT_EQ(Read("Volumes", "name"), "Foo");
    EXPECT_EQ(Read("Volumes", "last"), "Bar");  // no final line feed: read whole
    UseIni("[Volumes]\nname=F\roo\n");           // a carriage return is dropped anywhere
    EXPECT_EQ(Read("Volumes", "name"), "Foo");
}

TEST_F(IniTest, ReturnedValueIsOverwrittenByTheNextQuery)
{
    UseIni("[Volumes]\nname=Foo\npath1=/Apps/X.app\n");
    const char *name = ReadString("Volumes", "name", "");
    const char *path = ReadString("Volumes", "path1", "");
    EXPECT_STREQ(path, "/Apps/X.app");
    EXPECT_STRNE(name, "Foo");
}

TEST_F(IniTest, RegistrationFailures)
{
    UseIni("[Volumes]\nname=Foo\n");
    EXPECT_FALSE(SetIniFileName(nullptr));
    std::string missing = dir_ + "/missing";
    EXPECT_FALSE(SetIniFileName(missing.c_str()));
    EXPECT_EQ(MessagesOf("INI.cpp:SetIniFileName"),
              (std::vector<std::string>{"param error.", "open file: " + missing + " failed, please check...\n"}));
    EXPECT_EQ(Read("Volumes", "name"), "Foo");  // the earlier registration stands

    ClearLog();
    unlink(iniPath_.c_str());
    EXPECT_EQ(Read("Volumes", "name"), "<default>");
    EXPECT_EQ(Messages(), std::vector<std::string>{"open file: " + iniPath_ + " failed, please check..."});
}

TEST_F(IniTest, MissingArgumentsGiveTheDefault)
{
    UseIni("[Volumes]\nname=Foo\n");
    EXPECT_EQ(ReadString(nullptr, "name", kDefault), kDefault);
    EXPECT_EQ(ReadString("Volumes", nullptr, kDefault), kDefault);
    EXPECT_EQ(ReadString("Volumes", "name", nullptr), nullptr);
    EXPECT_EQ(Trim(nullptr), nullptr);
    EXPECT_EQ(ReadLine(nullptr), nullptr);
    EXPECT_EQ(GetKeyValue(nullptr), nullptr);
    EXPECT_FALSE(SectionExists(nullptr, "Volumes"));
    EXPECT_FALSE(KeyExists(nullptr, "name"));
    EXPECT_FALSE(SectionExistsInLine(nullptr, "Volumes"));
    EXPECT_FALSE(KeyExistsInLine(nullptr, "name"));
    EXPECT_EQ(Messages(), (std::vector<std::string>{"param error.", "param error.", "param error.", "param error.",
                                                    "param error", "param error", "param error", "param error",
                                                    "param error.", "param error."}));
    EXPECT_EQ(LogLines()[3].where, "INI.cpp:Trim");
    EXPECT_EQ(LogLines()[4].where, "INI.cpp:ReadLine");
}

TEST_F(IniTest, ReadStringExKeepsLeadingSpacesAndSkipsTheCfgMessages)
{
    UseIni("[Volumes]\nname =  Foo  \n");
    EXPECT_STREQ(ReadStringEx("Volumes", "name", kDefault), "  Foo");
    EXPECT_EQ(ReadStringEx("Volumes", "other", kDefault), kDefault);
    EXPECT_EQ(ReadStringEx("Nothing", "name", kDefault), kDefault);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"not found the key", "not found the section"}));
    ClearLog();
    unlink(iniPath_.c_str());
    EXPECT_EQ(ReadStringEx("Volumes", "name", kDefault), kDefault);
    EXPECT_EQ(Messages(), std::vector<std::string>{"open file: " + iniPath_ + " failed, please check...\n"});
}

TEST_F(IniTest, GetInitKeyAndGetKeyValue)
{
    UseIni("[Volumes]\nname=Foo\n");
    EXPECT_STREQ(GetInitKey("ignored", "Volumes", "name"), "Foo");
    EXPECT_STREQ(GetInitKey(nullptr, "Volumes", "other"), "");
    EXPECT_EQ(GetInitKey(nullptr, nullptr, "name"), nullptr);
    EXPECT_EQ(MessagesOf("INI.cpp:GetInitKey"), std::vector<std::string>{"param error."});

    char line[] = "a = b=c";
    EXPECT_STREQ(GetKeyValue(line), " b=c");
    char plain[] = "no equals";
    EXPECT_EQ(GetKeyValue(plain), nullptr);
}

TEST_F(IniTest, ReadIntegerAcceptsOnlyWholeDecimalNumbersInRange)
{
    UseIni("[N]\na=42\nb= -7 \nc=+3\nd=12abc\ne=\nf=2147483648\ng=-2147483648\nh=0x10\ni=-\nj=007\n");
    EXPECT_EQ(ReadInteger("N", "a", 99), 42);
    EXPECT_EQ(ReadInteger("N", "b", 99), -7);
    EXPECT_EQ(ReadInteger("N", "c", 99), 3);
    EXPECT_EQ(ReadInteger("N", "d", 99), 99);
    EXPECT_EQ(ReadInteger("N", "e", 99), 99);
    EXPECT_EQ(ReadInteger("N", "f", 99), 99);
    EXPECT_EQ(ReadInteger("N", "g", 99), INT32_MIN);
    EXPECT_EQ(ReadInteger("N", "h", 99), 99);
    EXPECT_EQ(ReadInteger("N", "i", 99), 99);
    EXPECT_EQ(ReadInteger("N", "j", 99), 7);
    EXPECT_EQ(ReadInteger("N", "missing", 99), 99);
}

TEST_F(IniTest, LongSectionNamesAreSearchedForInCutForm)
{
    std::string section(200, 's');
    // "[" and the first 126 characters of the name are what fits the 128-byte header buffer.
    UseIni("[" + section.substr(0, 126) + "-other]\nname=Cut\n");
    EXPECT_EQ(Read(section.c_str(), "name"), "Cut");
}

TEST_F(IniTest, LongLinesAreCutAndTheirTailIsNotALineOfItsOwn)
{
    // A value filling the line buffer exactly (1023 characters in all) comes back whole.
    std::string value(1023 - 5, 'v');
    UseIni("[Volumes]\nname=" + value + "\n");
    EXPECT_EQ(Read("Volumes", "name"), value);
    // One character more is cut at 1023.
    UseIni("[Volumes]\nname=" + value + "W\n");
    EXPECT_EQ(Read("Volumes", "name"), value);
    // The tail of an over-long line neither opens a section nor ends one.
    UseIni("junk" + std::string(1100, 'j') + "[Volumes]\nname=Foo\n");
    EXPECT_EQ(Read("Volumes", "name"), "<default>");
    UseIni("[Volumes]\nother=" + std::string(1100, 'o') + "[Next]\nname=Foo\n");
    EXPECT_EQ(Read("Volumes", "name"), "Foo");
}

TEST_F(IniTest, HostileFilesNeverCrashTheReader)
{
    UseIni("");
    EXPECT_EQ(Read("Volumes", "name"), "<default>");
    UseIni(std::string("[Volumes]\nname=Fo\0o\n", 19));
    EXPECT_EQ(Read("Volumes", "name"), "Fo");
    UseIni(std::string("\0\0\0\n[Volumes]\n\0name=x\nname=Foo\n", 32));
    EXPECT_EQ(Read("Volumes", "name"), "Foo");
    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary.push_back(static_cast<char>((i * 7919) & 0xFF));
    }
    UseIni(binary);
    EXPECT_EQ(Read("Volumes", "name"), "<default>");
    UseIni("[Volumes]\n" + binary + "\nname=Foo\n");
    (void)Read("Volumes", "name");
    UseIni("[Volumes]\n" + std::string(5000, ' ') + "\nname=Foo\n");
    EXPECT_EQ(Read("Volumes", "name"), "Foo");
    UseIni("[Volumes]\nname=" + std::string(3000, ' ') + "\n");
    EXPECT_EQ(Read("Volumes", "name"), "");
}

}  // namespace
