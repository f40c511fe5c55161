// Helpers shared by the service's unit tests: a private temporary folder, whole-file reads and
// writes, and the log of the code under test split back into its lines.
#ifndef CARDWATCH_TEST_SUPPORT_H
#define CARDWATCH_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "CardWatchTestHooks.h"
#include "Log.h"

namespace cwtest {

inline std::string MakeTempDir()
{
    std::string pattern = std::filesystem::temp_directory_path().string() + "/cardwatch-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
        return {};
    }
    return buffer.data();
}

inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

inline bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// One composed log line: number, "File:Function" and message (without the final line feed).
struct LogLine {
    int number = 0;
    std::string where;
    std::string message;
};

// Splits a log file into its lines. A line starts with "line <digits>===" at the start of the
// file or after a line feed; messages may themselves hold line feeds.
inline std::vector<LogLine> ParseLog(const std::string &text)
{
    std::vector<size_t> starts;
    for (size_t pos = 0; pos < text.size(); ++pos) {
        if ((pos == 0 || text[pos - 1] == '\n') && text.compare(pos, 5, "line ") == 0) {
            size_t digits = pos + 5;
            while (digits < text.size() && isdigit(static_cast<unsigned char>(text[digits]))) {
                ++digits;
            }
            if (digits > pos + 5 && text.compare(digits, 3, "===") == 0) {
                starts.push_back(pos);
            }
        }
    }
    std::vector<LogLine> lines;
    for (size_t i = 0; i < starts.size(); ++i) {
        size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
        std::string record = text.substr(starts[i], end - starts[i]);
        LogLine line;
        line.number = atoi(record.c_str() + 5);
        size_t afterTime = record.find("   ");
        size_t arrow = record.find(" --- ");
        if (afterTime != std::string::npos && arrow != std::string::npos && arrow > afterTime) {
            line.where = record.substr(afterTime + 3, arrow - afterTime - 3);
            line.message = record.substr(arrow + 5);
            if (!line.message.empty() && line.message.back() == '\n') {
                line.message.pop_back();
            }
        }
        lines.push_back(line);
    }
    return lines;
}

// A test fixture base: a temporary folder that holds the log of the code under test.
class LoggedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = MakeTempDir();
        logPath_ = dir_ + "/CardWatch.log";
        InitLogSystem(logPath_.c_str());
    }
    void TearDown() override
    {
        CloseLogSystem();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::vector<LogLine> LogLines() const { return ParseLog(ReadFile(logPath_)); }
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> messages;
        for (const LogLine &line : LogLines()) {
            messages.push_back(line.message);
        }
        return messages;
    }
    // Messages logged by one function ("Unit.cpp:Function").
    std::vector<std::string> MessagesOf(const std::string &where) const
    {
        std::vector<std::string> messages;
        for (const LogLine &line : LogLines()) {
            if (line.where == where) {
                messages.push_back(line.message);
            }
        }
        return messages;
    }
    bool Logged(const std::string &message) const
    {
        std::vector<std::string> messages = Messages();
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
    void ClearLog() const { WriteFile(logPath_, ""); }

    std::string dir_;
    std::string logPath_;
};

}  // namespace cwtest

#endif  // CARDWATCH_TEST_SUPPORT_H
