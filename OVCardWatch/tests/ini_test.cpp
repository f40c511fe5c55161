// The INI reader: lookup rules, its other entry points and hostile files.
#include "INI.h"
#include "TestSupport.h"

namespace {

using cwtest::WriteFile;

const char kDefault[] = "DEFAULT";

class IniTest : public cwtest::LoggedTest {
protected:
    std::string Read(const std::string &content, const char *section, const char *key)
    {
        iniPath_ = dir_ + "/config";
        WriteFile(iniPath_, content);
        EXPECT_TRUE(SetIniFileName(iniPath_.c_str()));
        const char *value = ReadString(section, key, kDefault);
        return value == kDefault ? "<default>" : std::string(value);
    }
    std::string iniPath_;
};

TEST_F(IniTest, LookupRules)
{
    const std::string longName(200, 's');
    struct Case {
        std::string content, section, key, expected;
    } cases[] = {
        {"[Volumes]\nname=Foo\n", "Volumes", "name", "Foo"},
        {"[Volumes]\n  name   =   Foo   \n", "Volumes", "name", "Foo"},
        {"[Volumes]\nname=\tFoo\n", "Volumes", "name", "\tFoo"},  // only spaces are trimmed
        {"[Volumes]\npath1=/a=b/App.app/\n", "Volumes", "path1", "/a=b/App.app/"},
        {";[Volumes] word\nname=Foo\n", "Volumes", "name", "Foo"},
        {"[volumes]\nname=Foo\n", "Volumes", "name", "<default>"},
        {"[Volumes]\nnames=x\nname = first\nname = second\n", "Volumes", "name", "first"},
        {"[Volumes]\nxname=1\n", "Volumes", "name", "<default>"},
        {"[Volumes]\nname\n", "Volumes", "name", "<default>"},  // a key without "=" sets nothing
        {"[Volumes]\nother=1\n[Other]\nname=Foo\n", "Volumes", "name", "<default>"},
        {"[Volumes]\nother=1\n[Volumes]\nname=Foo\n", "Volumes", "name", "<default>"},
        {"[Volumes]\r\n\r\n\n name = Foo \r\n", "Volumes", "name", "Foo"},
        {"[Volumes]\nname=F\roo\nlast=Bar", "Volumes", "last", "Bar"},
        {"[Volumes]\nname = Foo  \r[x]\n", "Volumes", "name", "Foo  [x]"},  // a lone "\r" ends no line
        {"[" + longName.substr(0, 126) + "-cut]\nname=Cut\n", longName, "name", "Cut"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Read(c.content, c.section.c_str(), c.key.c_str()), c.expected) << c.content;
    }
}

TEST_F(IniTest, FailureMessages)
{
    EXPECT_EQ(Read("[volumes]\n", "Volumes", "name"), "<default>");
    EXPECT_EQ(Read("[Volumes]\nother=1\n[Other]\nname=Foo\n", "Volumes", "name"), "<default>");
    EXPECT_EQ(Read("[Volumes]\n", "Volumes", "name"), "<default>");
    EXPECT_FALSE(SetIniFileName(nullptr));
    const std::string missing = dir_ + "/missing";
    EXPECT_FALSE(SetIniFileName(missing.c_str()));
    unlink(iniPath_.c_str());  // still registered
    EXPECT_EQ(ReadString("Volumes", "name", kDefault), kDefault);
    EXPECT_EQ(ReadString(nullptr, "name", kDefault), kDefault);
    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "not found the section", "cfg section [Volumes] not exists...",
                              "cfg key [name] not exists...", "not found the key", "cfg key [name] not exists...",
                              "param error.", "open file: " + missing + " failed, please check...\n",
                              "open file: " + iniPath_ + " failed, please check...", "param error."}));
    EXPECT_EQ(LogLines()[0].where, "INI.cpp:SectionExists");
    EXPECT_EQ(LogLines()[6].where, "INI.cpp:SetIniFileName");
}

TEST_F(IniTest, ValueIsOverwrittenByTheNextQuery)
{
    Read("[Volumes]\nname=Foo\npath1=/Apps/X.app\n", "Volumes", "name");
    const char *name = ReadString("Volumes", "name", "");
    EXPECT_STREQ(ReadString("Volumes", "path1", ""), "/Apps/X.app");
    EXPECT_STRNE(name, "Foo");
}

TEST_F(IniTest, OtherEntryPoints)
{
    Read("[Volumes]\nname =  Foo  \n", "Volumes", "name");
    ClearLog();
    EXPECT_STREQ(ReadStringEx("Volumes", "name", kDefault), "  Foo");
    EXPECT_EQ(ReadStringEx("Volumes", "other", kDefault), kDefault);  // no "cfg" message
    EXPECT_STREQ(GetInitKey("ignored", "Volumes", "name"), "Foo");
    EXPECT_STREQ(GetInitKey(nullptr, "Volumes", "other"), "");
    EXPECT_EQ(GetInitKey(nullptr, nullptr, "name"), nullptr);
    char line[] = "a = b=c", plain[] = "no equals";
    EXPECT_STREQ(GetKeyValue(line), " b=c");
    EXPECT_EQ(GetKeyValue(plain), nullptr);
    EXPECT_EQ(Trim(nullptr), nullptr);
    EXPECT_EQ(ReadLine(nullptr), nullptr);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"not found the key", "not found the key",
                                                    "cfg key [other] not exists...", "param error.", "param error.",
                                                    "param error"}));
    unlink(iniPath_.c_str());
    ClearLog();
    EXPECT_EQ(ReadStringEx("Volumes", "name", kDefault), kDefault);
    EXPECT_EQ(Messages(), std::vector<std::string>{"open file: " + iniPath_ + " failed, please check...\n"});
}

TEST_F(IniTest, ReadIntegerTakesWholeDecimalNumbersInRange)
{
    Read("[N]\na=42\nb= -7 \nc=+3\nd=12abc\ne=\nf=2147483648\ng=-2147483648\nh=0x10\ni=-\nj=007\n", "N", "a");
    const std::pair<const char *, int32_t> cases[] = {{"a", 42},  {"b", -7}, {"c", 3},         {"d", 99},
                                                      {"e", 99},  {"f", 99}, {"g", INT32_MIN}, {"h", 99},
                                                      {"i", 99},  {"j", 7},  {"missing", 99}};
    for (const auto &[key, expected] : cases) {
        EXPECT_EQ(ReadInteger("N", key, 99), expected) << key;
    }
}

TEST_F(IniTest, LongLinesAndHostileBytes)
{
    const std::string fill(1018, 'v');  // "name=" and this fill make 1023 characters
    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary.push_back(static_cast<char>((i * 7919) & 0xFF));
    }
    struct Case {
        std::string content, expected;
    } cases[] = {
        {"[Volumes]\nname=" + fill + "\n", fill},
        {"[Volumes]\nname=" + fill + "WXYZ\n", fill},  // cut at 1023
        // The tail of an over-long line neither opens nor ends a section.
        {"junk" + std::string(1100, 'j') + "[Volumes]\nname=Foo\n", "<default>"},
        {"[Volumes]\nother=" + std::string(1100, 'o') + "[Next]\nname=Foo\n", "Foo"},
        {"", "<default>"},
        {std::string("[Volumes]\nname=Fo\0o\n", 20), "Fo"},
        {std::string("\0\0\n[Volumes]\n\0name=x\nname=Foo", 29), "Foo"},
        {binary, "<default>"},
        {"[Volumes]\n" + std::string(5000, ' ') + "\nname=" + std::string(3000, ' ') + "\n", ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Read(c.content, "Volumes", "name"), c.expected);
    }
    Read("[Volumes]\n" + binary + "\nname=Foo\n", "Volumes", "name");  // whatever it finds, no crash
}

}  // namespace
