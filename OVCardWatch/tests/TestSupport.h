// Helpers shared by the service's unit tests: a private temporary folder (the stand-in kit's),
// whole-file reads and writes, stand-in scripts, environment variables set for one test, and the
// log of the code under test split back into its lines.
#ifndef CARDWATCH_TEST_SUPPORT_H
#define CARDWATCH_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include "StandInTestSupport.h"
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CardWatchTestHooks.h"
#include "Log.h"

namespace cwtest {

inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Writes a shell script that only its owner may read, write and run (a stand-in for a command).
inline void WriteScript(const std::string &path, const std::string &text)
{
    WriteFile(path, text);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// Sets and unsets environment variables for the length of a test; when it goes, each variable
// gets back what it held before its first change here.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;
    ~ScopedEnvironment()
    {
        for (const auto &[name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void Set(const std::string &name, const std::string &value)
    {
        Save(name);
        setenv(name.c_str(), value.c_str(), 1);
    }
    void Unset(const std::string &name)
    {
        Save(name);
        unsetenv(name.c_str());
    }
    // Puts folder ahead of the current PATH, so that its programs are found first.
    void PrependPath(const std::string &folder)
    {
        const char *path = getenv("PATH");
        Set("PATH", folder + ":" + (path != nullptr ? path : "/usr/bin:/bin"));
    }

private:
    void Save(const std::string &name)
    {
        for (const auto &entry : saved_) {
            if (entry.first == name) {
                return;
            }
        }
        const char *value = getenv(name.c_str());
        saved_.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// One log line: its number, "File:Function" and message (messages may hold line feeds).
struct LogLine {
    int number = 0;
    std::string where, message;
};

inline std::vector<LogLine> ParseLog(const std::string &text)
{
    std::vector<LogLine> lines;
    size_t pos = 0;
    while ((pos = text.find("line ", pos)) != std::string::npos) {
        size_t mark = text.find("===", pos), gap = text.find("   ", pos), arrow = text.find(" --- ", pos);
        size_t next = text.find("\nline ", pos);
        if (mark == std::string::npos || gap == std::string::npos || arrow == std::string::npos) {
            break;
        }
        size_t end = next == std::string::npos ? text.size() : next + 1;
        std::string message = text.substr(arrow + 5, end - arrow - 5);
        if (!message.empty() && message.back() == '\n') {
            message.pop_back();
        }
        lines.push_back({atoi(text.c_str() + pos + 5), text.substr(gap + 3, arrow - gap - 3), message});
        pos = end;
    }
    return lines;
}

// Base fixture: a temporary folder holding the log of the code under test.
class LoggedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = folder_.path().string();
        logPath_ = dir_ + "/CardWatch.log";
        InitLogSystem(logPath_.c_str());
    }
    void TearDown() override
    {
        CloseLogSystem();
    }
    std::vector<LogLine> LogLines() const { return ParseLog(ReadFile(logPath_)); }
    // Messages of every function, or of one ("Unit.cpp:Function").
    std::vector<std::string> Messages(const std::string &where = "") const
    {
        std::vector<std::string> messages;
        for (const LogLine &line : LogLines()) {
            if (where.empty() || line.where == where) {
                messages.push_back(line.message);
            }
        }
        return messages;
    }
    bool Logged(const std::string &message) const
    {
        auto messages = Messages();
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
    void ClearLog() const { WriteFile(logPath_, ""); }

    standintest::TempFolder folder_{"cardwatch-test"};
    std::string dir_, logPath_;
};

}  // namespace cwtest

#endif  // CARDWATCH_TEST_SUPPORT_H
