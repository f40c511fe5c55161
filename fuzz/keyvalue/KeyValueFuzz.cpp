// Fuzzes the service's key-value file reader.
//
// Data: one control byte, then the key, a zero byte, and the file. The control byte gives the
// room of the key-and-value buffer (1 to 64 bytes, a heap block of exactly that size, so that a
// write past it is seen by AddressSanitizer). The reader looks the key up as a section header,
// then as a key line from where that left the stream, as the setup runner does; each offset it
// reports must point where its contract says (a line start, the byte after an "="), a value
// must fit its buffer, and the stream must stand at a line start after each success.
#include "ActiveVolumeProgram.h"
#include "FuzzCheck.h"
#include "FuzzScratch.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string gPath;

bool AtLineStart(const std::string &file, long offset)
{
    return offset == 0 || (offset > 0 && static_cast<size_t>(offset) <= file.size() && file[static_cast<size_t>(offset) - 1] == '\n');
}

void Lookup(FILE *stream, const std::string &file, const std::string &key, int32_t size, bool primary)
{
    char *buffer = static_cast<char *>(std::malloc(static_cast<size_t>(size)));
    std::snprintf(buffer, static_cast<size_t>(size), "%s", key.c_str());
    int64_t capacity = size;
    int64_t found = ReadKeyValue(stream, buffer, size, &capacity, primary);
    if (found >= 0) {
        FUZZ_CHECK(static_cast<uint64_t>(found) <= file.size());
        if (primary) {
            FUZZ_CHECK(AtLineStart(file, static_cast<long>(found)));
        } else {
            FUZZ_CHECK(found > 0 && file[static_cast<size_t>(found) - 1] == '=');
            FUZZ_CHECK(std::memchr(buffer, 0, static_cast<size_t>(size)) != nullptr);
            FUZZ_CHECK(file.find(buffer) != std::string::npos);
        }
        FUZZ_CHECK(AtLineStart(file, std::ftell(stream)) || std::ftell(stream) == static_cast<long>(file.size()));
    } else {
        FUZZ_CHECK(found == -1);
    }
    std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    gPath = FuzzScratchPath("keyvalue");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    int32_t room = 1 + (data[0] & 63);
    const char *rest = reinterpret_cast<const char *>(data + 1);
    size_t restLength = size - 1;
    const char *zero = static_cast<const char *>(std::memchr(rest, 0, restLength));
    std::string key(rest, zero != nullptr ? static_cast<size_t>(zero - rest) : restLength);
    std::string file = zero != nullptr ? std::string(zero + 1, rest + restLength) : std::string();
    if (key.size() >= static_cast<size_t>(room)) {
        key.resize(static_cast<size_t>(room) - 1);
    }
    std::string section = key.substr(0, key.find('/'));
    std::string entry = key.find('/') == std::string::npos ? key : key.substr(key.find('/') + 1);

    FuzzWriteScratch(gPath, file.data(), file.size());
    FILE *stream = std::fopen(gPath.c_str(), "rb");
    FUZZ_CHECK(stream != nullptr);
    Lookup(stream, file, section, room, true);
    Lookup(stream, file, entry, room, false);
    std::fclose(stream);
    (void)IsKeyValueCaseEqual(gPath.c_str(), section.c_str(), entry.c_str(), "Yes");

    char text[80];
    std::snprintf(text, sizeof text, "%s", key.c_str());
    int64_t trimmed = TrimKey(text);
    FUZZ_CHECK(trimmed >= 0 && static_cast<size_t>(trimmed) == std::strlen(text));
    return 0;
}
