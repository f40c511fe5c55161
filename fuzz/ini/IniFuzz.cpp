// Fuzzes the service's INI reader: arbitrary bytes are the configuration file, queried for the
// keys the service reads and for a section and key taken from the file itself (the text between
// its first "[" and "]", and the start of the line after it up to "="). Every answer is the
// default pointer itself or a text of at most 1023 characters, without carriage returns or line
// feeds, that the file holds once its carriage returns are taken out.
#include "FuzzCheck.h"
#include "FuzzScratch.h"
#include "INI.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::string gPath;
const char kDefault[] = "default";

// The reader ends lines at line feeds only and drops every carriage return, wherever it stands:
// "a = b  \r[c" is the one line "a = b  [c", and its value "b  [c" is in the file only with the
// carriage return taken out. So answers are looked for in the file without its carriage returns.
std::string WithoutCarriageReturns(const std::string &file)
{
    std::string text;
    text.reserve(file.size());
    for (char c : file) {
        if (c != '\r') {
            text.push_back(c);
        }
    }
    return text;
}

void CheckAnswer(const std::string &text, const char *answer)
{
    if (answer == kDefault || answer == nullptr) {
        return;
    }
    std::string_view value(answer);
    FUZZ_CHECK(value.size() <= 1023);
    FUZZ_CHECK(value.find_first_of("\r\n") == std::string_view::npos);
    FUZZ_CHECK(value.empty() || std::string_view(text).find(value) != std::string_view::npos);
}

void Query(const std::string &text, const std::string &section, const std::string &key)
{
    CheckAnswer(text, ReadString(section.c_str(), key.c_str(), kDefault));
    CheckAnswer(text, ReadStringEx(section.c_str(), key.c_str(), kDefault));
    const char *init = GetInitKey(nullptr, section.c_str(), key.c_str());
    if (init != nullptr) {
        CheckAnswer(text, init);
    }
    int32_t a = ReadInteger(section.c_str(), key.c_str(), -7);
    int32_t b = ReadInteger(section.c_str(), key.c_str(), 7);
    // Either the key holds a number (the same whatever the default) or both calls give theirs.
    FUZZ_CHECK(a == b || (a == -7 && b == 7));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    gPath = FuzzScratchPath("ini");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string file(reinterpret_cast<const char *>(data), size);
    FuzzWriteScratch(gPath, data, size);
    FUZZ_CHECK(SetIniFileName(gPath.c_str()));

    std::vector<std::pair<std::string, std::string>> queries = {
        {"Volumes", "name"}, {"Volumes", "path1"}, {"Volumes", "disable_cdrom"}, {"SD_THIRDPARTY_SETUP", "Enable"}};
    size_t open = file.find('[');
    size_t close = open == std::string::npos ? std::string::npos : file.find(']', open);
    if (close != std::string::npos) {
        size_t lineStart = file.find('\n', close);
        lineStart = lineStart == std::string::npos ? file.size() : lineStart + 1;
        size_t keyEnd = file.find_first_of("=\n", lineStart);
        keyEnd = keyEnd == std::string::npos ? file.size() : keyEnd;
        std::string section = file.substr(open + 1, close - open - 1);
        std::string key = file.substr(lineStart, keyEnd - lineStart);
        queries.emplace_back(section.c_str(), key.c_str()); // both end at a zero byte
    }
    const std::string text = WithoutCarriageReturns(file);
    for (const auto &[section, key] : queries) {
        Query(text, section, key);
    }
    // The steps on their own, over the open file.
    FILE *in = std::fopen(gPath.c_str(), "rb");
    FUZZ_CHECK(in != nullptr);
    if (SectionExists(in, "Volumes")) {
        (void)KeyExists(in, "name");
    }
    std::rewind(in);
    while (char *line = ReadLine(in)) {
        FUZZ_CHECK(std::strlen(line) <= 1023);
        char *trimmed = Trim(line);
        (void)SectionExistsInLine(trimmed, "Volumes");
        (void)KeyExistsInLine(trimmed, "name");
        (void)GetKeyValue(trimmed);
    }
    std::fclose(in);
    return 0;
}
