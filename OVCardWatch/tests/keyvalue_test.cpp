// The key-value reader: header and key rules, offsets, stream positions and capacity, and the
// disable_cdrom question asked through IsKeyValueCaseEqual.
#include "ActiveVolumeProgram.h"
#include "TestSupport.h"

#include <cstring>

namespace {

using cwtest::WriteFile;

class KeyValueTest : public cwtest::LoggedTest {
protected:
    void TearDown() override
    {
        if (stream_ != nullptr) {
            fclose(stream_);
        }
        LoggedTest::TearDown();
    }
    // Opens content and finds the header "[S]" (unless told not to).
    void Open(const std::string &content, bool findHeader = true)
    {
        content_ = content;
        WriteFile(dir_ + "/SysConfig.dat", content);
        if (stream_ != nullptr) {
            fclose(stream_);
        }
        stream_ = fopen((dir_ + "/SysConfig.dat").c_str(), "r");
        if (findHeader) {
            ASSERT_EQ(0, Lookup("[S]", true));
        }
    }
    int64_t Lookup(const std::string &text, bool primary, int64_t capacity = 1024)
    {
        char buffer[1024] = {};
        text.copy(buffer, sizeof(buffer) - 1);
        capacity_ = capacity;
        int64_t result = ReadKeyValue(stream_, buffer, sizeof(buffer), &capacity_, primary);
        value_ = buffer;
        return result;
    }
    long Position() const { return ftell(stream_); }
    long Offset(const char *text) const { return static_cast<long>(content_.find(text)); }

    std::string content_, value_;
    FILE *stream_ = nullptr;
    int64_t capacity_ = 0;
};

TEST_F(KeyValueTest, TrimKeyAndIsPrimaryKey)
{
    char key[] = "  [SD_THIRDPARTY_SETUP] \r\n", tab[] = " \t[ K ]\n", empty[] = "[ ]\r\n";
    EXPECT_EQ(19, TrimKey(key));
    EXPECT_STREQ("SD_THIRDPARTY_SETUP", key);
    EXPECT_EQ(4, TrimKey(tab));
    EXPECT_STREQ("\t[ K", tab);  // a tab stops the trim
    EXPECT_EQ(0, TrimKey(empty));
    EXPECT_EQ(-1, TrimKey(nullptr));
    const char line[] = "x [  KEY ] y";
    EXPECT_TRUE(IsPrimaryKey(line, line + 5, 3));
    EXPECT_FALSE(IsPrimaryKey(line, line + 5, 2));
    EXPECT_FALSE(IsPrimaryKey(line + 5, line + 5, 3));  // nothing before the key
    EXPECT_FALSE(IsPrimaryKey(nullptr, line + 5, 3));
    EXPECT_EQ((std::vector<std::string>{"TrimKey Enter", "TrimKey Enter", "TrimKey Enter", "TrimKey exit success",
                                        "TrimKey Enter", "TrimKey exit key is NULL", "IsPrimaryKey Enter",
                                        "IsPrimaryKey exit true", "IsPrimaryKey Enter", "IsPrimaryKey exit false",
                                        "IsPrimaryKey Enter", "IsPrimaryKey exit false", "IsPrimaryKey Enter",
                                        "IsPrimaryKey exit false"}),
              Messages());
}

TEST_F(KeyValueTest, HeaderLines)
{
    Open("SD_THIRDPARTY_SETUP=1\n  [  SD_THIRDPARTY_SETUP ]  \nK=1\n", false);
    EXPECT_EQ(Offset("  [  SD"), Lookup("[SD_THIRDPARTY_SETUP]", true));
    EXPECT_EQ(Offset("K=1"), Position());
    EXPECT_TRUE(Logged("pKeyIOValue=[SD_THIRDPARTY_SETUP]"));
    EXPECT_TRUE(Logged("find szTmp=  [  SD_THIRDPARTY_SETUP ]  \n is key and pPos=SD_THIRDPARTY_SETUP ]  \n, and "
                       "ReadKeyValue exit"));
    Open("", false);
    EXPECT_EQ(-1, Lookup("[S]", true));
}

TEST_F(KeyValueTest, ValueOffsetAndMessages)
{
    Open("[S]\nSD_THIRD_SETUP = Yes\r\n");
    ClearLog();
    const int64_t offset = Lookup("SD_THIRD_SETUP", false);
    EXPECT_EQ("Yes", value_);
    EXPECT_EQ(Offset("= Yes") + 1, offset);  // the space after "=", not the Y
    EXPECT_EQ(static_cast<long>(content_.size()), Position());
    EXPECT_EQ(
        (std::vector<std::string>{"ReadKeyValue Enter", "pKeyIOValue=SD_THIRD_SETUP", "TrimKey Enter", "TrimKey Enter",
                                  "lPos == " + std::to_string(offset) + ", ReadKeyValue exit true"}),
        Messages());
}

TEST_F(KeyValueTest, KeyLineRules)
{
    struct Case {
        std::string content, key, expected;
    } cases[] = {
        {"[S]\nSD_THIRD_SETUP\nSD_THIRD_SETUP_OLD=1\n", "SD_THIRD_SETUP", "1"},  // no "=": passed over
        {"[S]\nKEY\n=x\nKEY : = y\n", "KEY", "y"},
        {"[S]\nK=1", "K", "1"},
        {"[S]\nK=" + std::string(1021, 'c') + "\n", "K", std::string(1021, 'c')},  // fills the line buffer
        {"[S]\nX=" + std::string(1100, 'x') + "K=evil\nK=good\n", "K", "good"},    // a tail is no line
        {"[S]\nK=abc" + std::string(1100, ' ') + "\r\n", "K", "abc"},  // only spaces run past the buffer
    };
    for (const Case &c : cases) {
        Open(c.content);
        EXPECT_NE(-1, Lookup(c.key, false));
        EXPECT_EQ(c.expected, value_);
    }
    Open(std::string("[S]\nK=No\0s\nL=1\n", 15));
    EXPECT_NE(-1, Lookup("K", false));
    EXPECT_NE(-1, Lookup("L", false));
    EXPECT_EQ("1", value_);
}

TEST_F(KeyValueTest, LookupsEndAtBracketsAndGoForwardOnly)
{
    Open("[S]\nA=1\nB=2\n");
    EXPECT_NE(-1, Lookup("B", false));
    EXPECT_EQ(-1, Lookup("A", false));
    EXPECT_TRUE(Logged("ReadKeyValue exit failed"));
    Open("[S]\nA=1\nFILE=Setup[1].dmg\nB=2\n");
    EXPECT_EQ(-1, Lookup("B", false));
    EXPECT_EQ(Offset("FILE="), Position());
    EXPECT_TRUE(Logged("pPos == '[' or pPos == ']', ReadKeyValue exit failed"));
    Open("[S]\nA=1\n[T]\nC=3\n");
    EXPECT_EQ(-1, Lookup("C", false));
    EXPECT_EQ(Offset("[T]"), Position());
}

// A refused value leaves the buffer empty and the stream at its line. A value too long for the
// capacity asks for its length + 1; one that would fit, in a line longer than the 1023-byte line
// buffer, is refused as too long a line and leaves the capacity as it was.
TEST_F(KeyValueTest, CapacityAndLineLength)
{
    const std::string small = "pKeyIOValue's space is small, ReadKeyValue exit failed";
    const std::string longLine = "line is longer than 1023 bytes, ReadKeyValue exit failed";
    struct Case {
        std::string value;
        int64_t capacity, capacityAfter;
        std::string message;
    } cases[] = {
        {std::string(20, 'v'), 20, 21, small},
        {std::string(1024, 'w') + "\r", 1024, 1025, small},
        {std::string(1030, 'x'), 1030, 1031, small},
        {std::string(1030, 'x'), 1031, 1031, longLine},
        {std::string(1030, 'x'), 4096, 4096, longLine},
        {"  " + std::string(1018, 'y') + " abc ", 2048, 2048, longLine},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.capacity);
        Open("[S]\nK=" + c.value + "\nL=1\n");
        const long keyLine = Position();
        EXPECT_EQ(-1, Lookup("K", false, c.capacity));
        EXPECT_EQ(c.capacityAfter, capacity_);
        EXPECT_EQ("", value_);
        EXPECT_EQ(keyLine, Position());
        EXPECT_EQ(c.message, Messages().back());
    }
    Open("[S]\nK=" + std::string(20, 'v') + "\n");
    EXPECT_NE(-1, Lookup("K", false, 21));
    EXPECT_EQ(21, capacity_);

    Open("[S]\nK=0123456789\n");
    char buffer[6] = "K";
    int64_t capacity = 1024;
    EXPECT_NE(-1, ReadKeyValue(stream_, buffer, sizeof(buffer), &capacity, false));
    EXPECT_STREQ("01234", buffer);  // cut to the buffer
}

TEST_F(KeyValueTest, BadArgumentsAndBinaryFiles)
{
    Open("[S]\nK=1\n");
    char key[8] = "K", empty[8] = "", unterminated[2] = {'K', 'K'};
    int64_t capacity = 1024;
    ClearLog();
    EXPECT_EQ(-1, ReadKeyValue(nullptr, key, sizeof(key), &capacity, false));
    EXPECT_EQ(-1, ReadKeyValue(stream_, key, 0, &capacity, false));
    EXPECT_EQ(-1, ReadKeyValue(stream_, empty, sizeof(empty), &capacity, false));
    EXPECT_EQ(-1, ReadKeyValue(stream_, key, sizeof(key), nullptr, false));
    EXPECT_EQ(-1, ReadKeyValue(stream_, unterminated, sizeof(unterminated), &capacity, false));
    EXPECT_EQ(10u, Messages().size());  // Enter and exit failed each
    // A key of nothing but trim characters would match the first line holding "=".
    Open("[S]\nA=1\n");
    EXPECT_EQ(-1, Lookup(" [ ] ", false));
    EXPECT_EQ(Offset("A=1"), Position());
    EXPECT_EQ(-1, Lookup("[]", true));
    std::string binary;
    for (int i = 0; i < 8192; ++i) {
        binary.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
    }
    Open(binary, false);
    (void)Lookup("[S]", true);
    Open("[S]\n" + binary);
    (void)Lookup("K", false);
}

TEST_F(KeyValueTest, IsKeyValueCaseEqual)
{
    const std::string path = dir_ + "/config", missing = dir_ + "/missing";
    const std::pair<std::string, bool> cases[] = {
        {"[Volumes]\nname=Foo\ndisable_cdrom = TRUE\n", true},
        {"[Volumes]\ndisable_cdrom=yes\n", false},
        {"[Volumes]\nname=Foo\n[Other]\ndisable_cdrom=true\n", false},
    };
    for (const auto &[content, expected] : cases) {
        WriteFile(path, content);
        EXPECT_EQ(expected, IsKeyValueCaseEqual(path.c_str(), "Volumes", "disable_cdrom", "true")) << content;
    }
    ClearLog();
    EXPECT_FALSE(IsKeyValueCaseEqual(missing.c_str(), "Volumes", "disable_cdrom", "true"));
    EXPECT_FALSE(IsKeyValueCaseEqual(path.c_str(), nullptr, "disable_cdrom", "true"));
    EXPECT_FALSE(IsKeyValueCaseEqual(path.c_str(), std::string(1024, 'V').c_str(), "disable_cdrom", "true"));
    EXPECT_EQ((std::vector<std::string>{"IsKeyValueCaeEqual Enter",
                                        "open " + missing + " failed, IsKeyValueCaseEqual exit failed",
                                        "IsKeyValueCaeEqual Enter", "IsKeyValueCaseEqual exit failed",
                                        "IsKeyValueCaeEqual Enter", "IsKeyValueCaseEqual exit failed"}),
              Messages("ActiveVolumeProgram.cpp:IsKeyValueCaseEqual"));
}

}  // namespace
