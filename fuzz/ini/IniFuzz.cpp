// Fuzzes the service's INI reader: arbitrary bytes are the configuration file, queried for the
// keys the service reads and for a section and key taken from the file itself (the text between
// its first "[" and "]", and the start of the line after it up to "="). Every answer is the
// default pointer itself or a text of at most 1023 characters that the file holds.
#include "FuzzCheck.h"
#include "FuzzScratch.h"
#include "INI.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::string gPath;
const char kDefault[] = "default";

void CheckAnswer(const std::string &file, const char *answer)
{
    if (answer == kDefault || answer == nullptr) {
        return;
    }
    size_t length = std::strlen(answer);
    FUZZ_CHECK(length <= 1023);
    FUZZ_CHECK(length == 0 || std::string_view(file).find(std::string_view(answer, length)) != std::string_view::npos);
}

void Query(const std::string &file, const std::string &section, const std::string &key)
{
    CheckAnswer(file, ReadString(section.c_str(), key.c_str(), kDefault));
    CheckAnswer(file, ReadStringEx(section.c_str(), key.c_str(), kDefault));
    const char *init = GetInitKey(nullptr, section.c_str(), key.c_str());
    if (init != nullptr) {
        CheckAnswer(file, init);
    }
    int32_t a = ReadInteger(section.c_str(), key.c_str(), -7);
    int32_t b = ReadInteger(section.c_str(), key.c_str(), 7);
    // Either the key holds a number (the same whatever the default) or both calls give theirs.
    FUZZ_CHECK(a == b || (a == -7 && b == 7));
}

} // namespace

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
    for (const auto &[section, key] : queries) {
        Query(file, section, key);
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
