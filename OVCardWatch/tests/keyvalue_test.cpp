// The key-value reader: header and key rules, offsets, stream positions, capacity, and the
// disable_cdrom question asked through IsKeyValueCaseEqual.
#include "ActiveVolumeProgram.h"
#include "TestSupport.h"

#include <cstring>
#include <memory>

namespace {

using cwtest::WriteFile;

struct FileCloser {
    void operator()(FILE *stream) const { fclose(stream); }
};

class KeyValueTest : public cwtest::LoggedTest {
protected:
    FILE *Open(const std::string &content)
    {
        content_ = content;
        path_ = dir_ + "/SysConfig.dat";
        WriteFile(path_, content);
        stream_.reset(fopen(path_.c_str(), "r"));
        return stream_.get();
    }
    // Looks up text (a key, or a header with primary set) and returns the offset; value_ holds
    // what the buffer held afterwards.
    int64_t Lookup(const std::string &text, bool primary, int64_t capacity = 1024)
    {
        char buffer[1024];
        strncpy(buffer, text.c_str(), sizeof(buffer) - 1);
        buffer[sizeof(buffer) - 1] = '\0';
        capacity_ = capacity;
        int64_t result = ReadKeyValue(stream_.get(), buffer, sizeof(buffer), &capacity_, primary);
        value_ = buffer;
        return result;
    }
    long Position() const { return ftell(stream_.get()); }

    std::string content_;
    std::string path_;
    std::unique_ptr<FILE, FileCloser> stream_;
    std::string value_;
    int64_t capacity_ = 0;
};

TEST_F(KeyValueTest, TrimKeyRemovesSpacesBracketsAndLineEndsAtBothEnds)
{
    char key[] = " \t[ SD_THIRDPARTY_SETUP ]\r\n";
    EXPECT_EQ(TrimKey(key), 22);
    EXPECT_STREQ(key, "\t[ SD_THIRDPARTY_SETUP");  // a tab stops the trim
    char header[] = "  [SD_THIRDPARTY_SETUP] \r\n";
    EXPECT_EQ(TrimKey(header), 19);
    EXPECT_STREQ(header, "SD_THIRDPARTY_SETUP");
    char empty[] = "[ ]\r\n";
    EXPECT_EQ(TrimKey(empty), 0);
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(TrimKey(nullptr), -1);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"TrimKey Enter", "TrimKey Enter", "TrimKey Enter",
                                                    "TrimKey exit success", "TrimKey Enter",
                                                    "TrimKey exit key is NULL"}));
}

TEST_F(KeyValueTest, IsPrimaryKeyLooksOverSpacesForTheBrackets)
{
    const char line[] = "x [  KEY ] y";
    const char *key = strstr(line, "KEY");
    EXPECT_TRUE(IsPrimaryKey(line, key, 3));
    EXPECT_FALSE(IsPrimaryKey(line, key, 2));
    const char bare[] = "KEY]";
    EXPECT_FALSE(IsPrimaryKey(bare, bare, 3));  // nothing before the key
    EXPECT_FALSE(IsPrimaryKey(line, key, -1));
    EXPECT_FALSE(IsPrimaryKey(nullptr, key, 3));
    EXPECT_EQ(Messages(), (std::vector<std::string>{"IsPrimaryKey Enter", "IsPrimaryKey exit true", "IsPrimaryKey Enter",
                                                    "IsPrimaryKey exit false", "IsPrimaryKey Enter",
                                                    "IsPrimaryKey exit false", "IsPrimaryKey Enter",
                                                    "IsPrimaryKey exit false", "IsPrimaryKey Enter",
                                                    "IsPrimaryKey exit false"}));
}

TEST_F(KeyValueTest, HeaderIsFoundWithSpacesAroundAndInsideTheBrackets)
{
    Open("SD_THIRDPARTY_SETUP=1\nother\n  [  SD_THIRDPARTY_SETUP ]  \nSD_THIRD_SETUP=Yes\n");
    const long headerStart = static_cast<long>(content_.find("  [  SD"));
    EXPECT_EQ(Lookup("[SD_THIRDPARTY_SETUP]", true), headerStart);
    EXPECT_EQ(Position(), static_cast<long>(content_.find("SD_THIRD_SETUP=")));
    EXPECT_TRUE(Logged("pKeyIOValue=[SD_THIRDPARTY_SETUP]"));
    EXPECT_TRUE(Logged("find szTmp=  [  SD_THIRDPARTY_SETUP ]  \n is key and pPos=SD_THIRDPARTY_SETUP ]  \n, and "
                       "ReadKeyValue exit"));
}

TEST_F(KeyValueTest, ValueAndItsOffset)
{
    Open("[S]\nSD_THIRD_SETUP = Yes\r\n");
    ASSERT_NE(Lookup("[S]", true), -1);
    ClearLog();
    int64_t offset = Lookup("SD_THIRD_SETUP", false);
    EXPECT_EQ(value_, "Yes");
    ASSERT_GT(offset, 0);
    EXPECT_EQ(offset, static_cast<int64_t>(content_.find("= Yes") + 1));  // the space after "="
    EXPECT_EQ(content_[static_cast<size_t>(offset)], ' ');
    EXPECT_EQ(Position(), static_cast<long>(content_.size()));
    EXPECT_EQ(Messages(), (std::vector<std::string>{"ReadKeyValue Enter", "pKeyIOValue=SD_THIRD_SETUP", "TrimKey Enter",
                                                    "TrimKey Enter",
                                                    "lPos == " + std::to_string(offset) + ", ReadKeyValue exit true"}));
}

TEST_F(KeyValueTest, KeyMatchingRules)
{
    // A key inside a longer key name matches; a line with the key and no "=" is passed over.
    Open("[S]\nSD_THIRD_SETUP\nSD_THIRD_SETUP_OLD=1\n");
    ASSERT_NE(Lookup("[S]", true), -1);
    EXPECT_NE(Lookup("SD_THIRD_SETUP", false), -1);
    EXPECT_EQ(value_, "1");
    // An "=" after a line end does not count: the key must be followed by "=" on its own line.
    Open("[S]\nKEY\n=x\nKEY : = y\n");
    ASSERT_NE(Lookup("[S]", true), -1);
    EXPECT_NE(Lookup("KEY", false), -1);
    EXPECT_EQ(value_, "y");
}

TEST_F(KeyValueTest, LookupsGoForwardOnly)
{
    Open("[S]\nA=1\nB=2\n");
    ASSERT_NE(Lookup("[S]", true), -1);
    EXPECT_NE(Lookup("B", false), -1);
    EXPECT_EQ(Lookup("A", false), -1);
    EXPECT_TRUE(Logged("ReadKeyValue exit failed"));
}

TEST_F(KeyValueTest, BracketLineEndsALookupAndStaysNext)
{
    Open("[S]\nA=1\nFILE=Setup[1].dmg\nB=2\n[T]\nC=3\n");
    ASSERT_NE(Lookup("[S]", true), -1);
    EXPECT_EQ(Lookup("B", false), -1);
    EXPECT_EQ(Position(), static_cast<long>(content_.find("FILE=")));
    EXPECT_TRUE(Logged("pPos == '[' or pPos == ']', ReadKeyValue exit failed"));
    Open("[S]\nA=1\n[T]\nC=3\n");
    ASSERT_NE(Lookup("[S]", true), -1);
    EXPECT_EQ(Lookup("C", false), -1);
    EXPECT_EQ(Position(), static_cast<long>(content_.find("[T]")));
}

TEST_F(KeyValueTest, ValueAtOrAboveTheCapacityFailsAndReportsItsLength)
{
    Open("[S]\nK=" + std::string(20, 'v') + "\n");
    ASSERT_NE(Lookup("[S]", true), -1);
    const long keyLine = Position();
    EXPECT_EQ(Lookup("K", false, 20), -1);
    EXPECT_EQ(capacity_, 21);
    EXPECT_EQ(value_, "");
    EXPECT_EQ(Position(), keyLine);
    EXPECT_TRUE(Logged("pKeyIOValue's space is small, ReadKeyValue exit failed"));
    EXPECT_NE(Lookup("K", false, 21), -1);
    EXPECT_EQ(value_, std::string(20, 'v'));

    // A value of 1024 characters runs past the line buffer: it fails with its whole length.
    Open("[S]\nK=" + std::string(1024, 'w') + "\r\nL=next\n");
    ASSERT_NE(Lookup("[S]", true), -1);
    EXPECT_EQ(Lookup("K", false, 1024), -1);
    EXPECT_EQ(capacity_, 1025);
    // The tail of the long line is not a line of its own.
    Open("[S]\nX=" + std::string(1100, 'x') + "L=evil\nL=good\n");
    ASSERT_NE(Lookup("[S]", true), -1);
    EXPECT_NE(Lookup("L", false), -1);
    EXPECT_EQ(value_, "good");
}

TEST_F(KeyValueTest, ValueIsCutToTheBufferSize)
{
    Open("[S]\nK=0123456789\n");
    ASSERT_NE(Lookup("[S]", true), -1);
    char small[6] = "K";
    int64_t capacity = 1024;
    EXPECT_NE(ReadKeyValue(stream_.get(), small, sizeof(small), &capacity, false), -1);
    EXPECT_STREQ(small, "01234");
}

TEST_F(KeyValueTest, BadArgumentsFail)
{
    Open("[S]\nK=1\n");
    char key[8] = "K";
    char empty[8] = "";
    int64_t capacity = 1024;
    EXPECT_EQ(ReadKeyValue(nullptr, key, sizeof(key), &capacity, false), -1);
    EXPECT_EQ(ReadKeyValue(stream_.get(), nullptr, 8, &capacity, false), -1);
    EXPECT_EQ(ReadKeyValue(stream_.get(), key, 0, &capacity, false), -1);
    EXPECT_EQ(ReadKeyValue(stream_.get(), empty, sizeof(empty), &capacity, false), -1);
    EXPECT_EQ(ReadKeyValue(stream_.get(), key, sizeof(key), nullptr, false), -1);
    char unterminated[2] = {'K', 'K'};
    EXPECT_EQ(ReadKeyValue(stream_.get(), unterminated, sizeof(unterminated), &capacity, false), -1);
    EXPECT_EQ(MessagesOf("ActiveVolumeProgram.cpp:ReadKeyValue").size(), 12u);  // Enter and exit failed each
    EXPECT_EQ(Position(), 0);
}

TEST_F(KeyValueTest, HostileFilesNeverCrashTheReader)
{
    Open("");
    EXPECT_EQ(Lookup("[S]", true), -1);
    Open(std::string("[S]\nK=No\0s\nL=1\n", 15));
    ASSERT_NE(Lookup("[S]", true), -1);
    EXPECT_NE(Lookup("K", false), -1);
    EXPECT_EQ(value_, "No");
    EXPECT_NE(Lookup("L", false), -1);
    EXPECT_EQ(value_, "1");
    std::string binary;
    for (int i = 0; i < 8192; ++i) {
        binary.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
    }
    Open(binary);
    (void)Lookup("[S]", true);
    Open("[S]\n" + binary);
    ASSERT_NE(Lookup("[S]", true), -1);
    (void)Lookup("K", false);
    Open("[S]\nK=1");  // no final line feed
    ASSERT_NE(Lookup("[S]", true), -1);
    EXPECT_NE(Lookup("K", false), -1);
    EXPECT_EQ(value_, "1");
    Open("[S]\nK=" + std::string(1021, 'c') + "\n");  // exactly fills the line buffer
    ASSERT_NE(Lookup("[S]", true), -1);
    EXPECT_NE(Lookup("K", false), -1);
    EXPECT_EQ(value_, std::string(1021, 'c'));
}

TEST_F(KeyValueTest, IsKeyValueCaseEqualAnswersTheDisableCdromQuestion)
{
    std::string path = dir_ + "/config";
    WriteFile(path, "[Volumes]\nname=Foo\ndisable_cdrom = TRUE\n");
    EXPECT_TRUE(IsKeyValueCaseEqual(path.c_str(), "Volumes", "disable_cdrom", "true"));
    EXPECT_EQ(MessagesOf("ActiveVolumeProgram.cpp:IsKeyValueCaseEqual"),
              (std::vector<std::string>{"IsKeyValueCaeEqual Enter", "IsKeyValueCaseEqual exit"}));
    WriteFile(path, "[Volumes]\ndisable_cdrom=yes\n");
    EXPECT_FALSE(IsKeyValueCaseEqual(path.c_str(), "Volumes", "disable_cdrom", "true"));
    WriteFile(path, "[Volumes]\nname=Foo\n[Other]\ndisable_cdrom=true\n");
    EXPECT_FALSE(IsKeyValueCaseEqual(path.c_str(), "Volumes", "disable_cdrom", "true"));

    ClearLog();
    std::string missing = dir_ + "/missing";
    EXPECT_FALSE(IsKeyValueCaseEqual(missing.c_str(), "Volumes", "disable_cdrom", "true"));
    EXPECT_FALSE(IsKeyValueCaseEqual(path.c_str(), nullptr, "disable_cdrom", "true"));
    EXPECT_FALSE(IsKeyValueCaseEqual(path.c_str(), std::string(1024, 'V').c_str(), "disable_cdrom", "true"));
    EXPECT_EQ(MessagesOf("ActiveVolumeProgram.cpp:IsKeyValueCaseEqual"),
              (std::vector<std::string>{"IsKeyValueCaeEqual Enter",
                                        "open " + missing + " failed, IsKeyValueCaseEqual exit failed",
                                        "IsKeyValueCaeEqual Enter", "IsKeyValueCaseEqual exit failed",
                                        "IsKeyValueCaeEqual Enter", "IsKeyValueCaseEqual exit failed"}));
}

}  // namespace
