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
        EXPECT_EQ(c.expected, Read(c.content, c.section.c_str(), c.key.c_str())) << c.content;
    }
}

TEST_F(IniTest, FailureMessages)
{
    EXPECT_EQ("<default>", Read("[volumes]\n", "Volumes", "name"));
    EXPECT_EQ("<default>", Read("[Volumes]\nother=1\n[Other]\nname=Foo\n", "Volumes", "name"));
    EXPECT_EQ("<default>", Read("[Volumes]\n", "Volumes", "name"));
    EXPECT_FALSE(SetIniFileName(nullptr));
    const std::string missing = dir_ + "/missing";
    EXPECT_FALSE(SetIniFileName(missing.c_str()));
    unlink(iniPath_.c_str());  // still registered
    EXPECT_EQ(kDefault, ReadString("Volumes", "name", kDefault));
    EXPECT_EQ(kDefault, ReadString(nullptr, "name", kDefault));
    EXPECT_EQ(
        (std::vector<std::string>{"not found the section", "cfg section [Volumes] not exists...",
                                  "cfg key [name] not exists...", "not found the key", "cfg key [name] not exists...",
                                  "param error.", "open file: " + missing + " failed, please check...\n",
                                  "open file: " + iniPath_ + " failed, please check...", "param error."}),
        Messages());
    EXPECT_EQ("INI.cpp:SectionExists", LogLines()[0].where);
    EXPECT_EQ("INI.cpp:SetIniFileName", LogLines()[6].where);
}

TEST_F(IniTest, ValueIsOverwrittenByTheNextQuery)
{
    Read("[Volumes]\nname=Foo\npath1=/Apps/X.app\n", "Volumes", "name");
    const char *name = ReadString("Volumes", "name", "");
    EXPECT_STREQ("/Apps/X.app", ReadString("Volumes", "path1", ""));
    EXPECT_STRNE(name, "Foo");
}

TEST_F(IniTest, OtherEntryPoints)
{
    Read("[Volumes]\nname =  Foo  \n", "Volumes", "name");
    ClearLog();
    EXPECT_STREQ("  Foo", ReadStringEx("Volumes", "name", kDefault));
    EXPECT_EQ(kDefault, ReadStringEx("Volumes", "other", kDefault));  // no "cfg" message
    EXPECT_STREQ("Foo", GetInitKey("ignored", "Volumes", "name"));
    EXPECT_STREQ("", GetInitKey(nullptr, "Volumes", "other"));
    EXPECT_EQ(nullptr, GetInitKey(nullptr, nullptr, "name"));
    char line[] = "a = b=c", plain[] = "no equals";
    EXPECT_STREQ(" b=c", GetKeyValue(line));
    EXPECT_EQ(nullptr, GetKeyValue(plain));
    EXPECT_EQ(nullptr, Trim(nullptr));
    EXPECT_EQ(nullptr, ReadLine(nullptr));
    EXPECT_EQ((std::vector<std::string>{"not found the key", "not found the key", "cfg key [other] not exists...",
                                        "param error.", "param error.", "param error"}),
              Messages());
    unlink(iniPath_.c_str());
    ClearLog();
    EXPECT_EQ(kDefault, ReadStringEx("Volumes", "name", kDefault));
    EXPECT_EQ(std::vector<std::string>{"open file: " + iniPath_ + " failed, please check...\n"}, Messages());
}

TEST_F(IniTest, ReadIntegerTakesWholeDecimalNumbersInRange)
{
    Read("[N]\na=42\nb= -7 \nc=+3\nd=12abc\ne=\nf=2147483648\ng=-2147483648\nh=0x10\ni=-\nj=007\n", "N", "a");
    const std::pair<const char *, int32_t> cases[] = {{"a", 42},  {"b", -7}, {"c", 3},         {"d", 99},
                                                      {"e", 99},  {"f", 99}, {"g", INT32_MIN}, {"h", 99},
                                                      {"i", 99},  {"j", 7},  {"missing", 99}};
    for (const auto &[key, expected] : cases) {
        EXPECT_EQ(expected, ReadInteger("N", key, 99)) << key;
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
        EXPECT_EQ(c.expected, Read(c.content, "Volumes", "name"));
    }
    Read("[Volumes]\n" + binary + "\nname=Foo\n", "Volumes", "name");  // whatever it finds, no crash
}

}  // namespace
