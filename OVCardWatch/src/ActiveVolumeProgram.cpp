// Key-value file reader (with file offsets for in-place rewrites) and the setup package runner.
//
// Keep as written: the log texts of this file are the service's established trace, which readers
// of the log and the tests match byte for byte, and the names pKeyIOValue, szKeyOrValue, szTmp,
// pPos, lPos and pVPStr appear in it. Misspellings, doubled spaces and trailing spaces are part
// of the texts: "IsKeyValueCaeEqual Enter", "opertor %d time", "RunSDProgram exit fals " (with
// its trailing space), "GetTempVolumeName failed,  RunSDProgram" and "second RunShellProgram
// failed,  RunSDProgram" (two spaces), "is too long to can't open", "%s is not exist". Do not
// tidy them.
#include "ActiveVolumeProgram.h"

#include "Log.h"
#include "Process.h"
#include "sealedc.h"

#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <memory>

namespace {

constexpr size_t kLineSize = 1024;
constexpr size_t kFileNameSize = 512;
constexpr int64_t kValueCapacity = 1024;
constexpr size_t kCommandExtra = 2048;
constexpr int32_t kShellAttempts = 10;
constexpr int32_t kFolderWait = 180;
constexpr int32_t kImageVolumeWait = 30;
constexpr int kMaxVolumeNumberDigits = 7;

struct FileCloser {
    void operator()(FILE *stream) const { fclose(stream); }
};
using FileHolder = std::unique_ptr<FILE, FileCloser>;

struct MemoryFree {
    void operator()(char *block) const { free(block); }
};
using BlockHolder = std::unique_ptr<char, MemoryFree>;

bool IsTrimmedByTrimKey(char c)
{
    return c == ' ' || c == '[' || c == ']' || c == '\r' || c == '\n';
}

// One physical line of a key-value file: its first 1023 bytes (line feed included when it fits)
// in the caller's buffer, the rest consumed and summarised, so that the tail of an over-long line
// is never taken for a line of its own.
struct PhysicalLine {
    bool overlong = false;         // the line goes on past the buffer
    bool restHasBracket = false;   // a "[" or "]" stands in the part past the buffer
    size_t restTrimmedLength = 0;  // length of that part without its trailing trim characters
};

bool ReadPhysicalLine(FILE *stream, char *line, PhysicalLine *physical)
{
    *physical = PhysicalLine();
    size_t length = 0;
    int c = EOF;
    while (length < kLineSize - 1) {
        c = getc(stream);
        if (c == EOF) {
            break;
        }
        line[length++] = static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    line[length] = '\0';
    if (length == 0) {
        return false;
    }
    if (length == kLineSize - 1 && c != '\n') {
        size_t rest = 0;
        for (c = getc(stream); c != EOF && c != '\n'; c = getc(stream)) {
            ++rest;
            physical->overlong = true;
            if (c == '[' || c == ']') {
                physical->restHasBracket = true;
            }
            if (!IsTrimmedByTrimKey(static_cast<char>(c))) {
                physical->restTrimmedLength = rest;
            }
        }
    }
    return true;
}

bool CanOpenDirectory(const char *path)
{
    DIR *dir = opendir(path);
    if (dir == nullptr) {
        return false;
    }
    closedir(dir);
    return true;
}

// A folder or file name taken from the configuration file must stay below the mount prefix:
// no leading "/" and no ".." component.
bool IsRelativeBelow(const char *path)
{
    if (path[0] == '/') {
        return false;
    }
    const char *component = path;
    for (;;) {
        const char *end = strchr(component, '/');
        size_t length = end != nullptr ? static_cast<size_t>(end - component) : strlen(component);
        if (length == 2 && component[0] == '.' && component[1] == '.') {
            return false;
        }
        if (end == nullptr) {
            return true;
        }
        component = end + 1;
    }
}

// The image's base name is the name of the volume it mounts as: its last component must be a
// name, not empty and not ".", or the volume would be the folder that holds it (for "..dmg" the
// mount prefix itself).
bool NamesAVolume(const char *baseName)
{
    const char *slash = strrchr(baseName, '/');
    const char *last = slash != nullptr ? slash + 1 : baseName;
    return last[0] != '\0' && strcmp(last, ".") != 0;
}

// Cuts a file name at its last "." (the extension and the dot go; a leading dot is no extension).
void CutExtension(char *name)
{
    char *dot = strrchr(name, '.');
    if (dot != nullptr && dot != name) {
        *dot = '\0';
    }
}

// Escapes text for the double-quoted word of a command into a new heap block.
BlockHolder EscapedCopy(const char *text)
{
    size_t size = 2 * strlen(text) + 1;
    BlockHolder block(static_cast<char *>(malloc(size)));
    if (block && !EscapeShellDoubleQuoted(text, block.get(), size)) {
        block.reset();
    }
    return block;
}

}  // namespace

int64_t TrimKey(char *text)
{
    Log(__FILE__, __FUNCTION__, "TrimKey Enter");
    if (text == nullptr) {
        Log(__FILE__, __FUNCTION__, "TrimKey exit key is NULL");
        return -1;
    }
    size_t length = strlen(text);
    size_t first = 0;
    while (first < length && IsTrimmedByTrimKey(text[first])) {
        ++first;
    }
    while (length > first && IsTrimmedByTrimKey(text[length - 1])) {
        --length;
    }
    size_t kept = length - first;
    if (kept > 0 && first > 0) {
        memmove_s(text, kept + 1, text + first, kept);
    }
    text[kept] = '\0';
    if (kept == 0) {
        Log(__FILE__, __FUNCTION__, "TrimKey exit success");
    }
    return static_cast<int64_t>(kept);
}

bool IsPrimaryKey(const char *lineStart, const char *keyPosition, int64_t keyLength)
{
    Log(__FILE__, __FUNCTION__, "IsPrimaryKey Enter");
    bool primary = false;
    if (lineStart != nullptr && keyPosition != nullptr && keyLength >= 0 && keyPosition >= lineStart) {
        const char *before = keyPosition;
        while (before > lineStart && before[-1] == ' ') {
            --before;
        }
        if (before > lineStart && before[-1] == '[') {
            const char *after = keyPosition + keyLength;
            while (*after == ' ') {
                ++after;
            }
            primary = *after == ']';
        }
    }
    Log(__FILE__, __FUNCTION__, primary ? "IsPrimaryKey exit true" : "IsPrimaryKey exit false");
    return primary;
}

int64_t ReadKeyValue(FILE *stream, char *pKeyIOValue, int32_t size, int64_t *capacity, bool primary)
{
    Log(__FILE__, __FUNCTION__, "ReadKeyValue Enter");
    // A key buffer without a terminator within its size, or a value lookup without a capacity,
    // cannot be served either.
    if (stream == nullptr || pKeyIOValue == nullptr || size < 1 || pKeyIOValue[0] == '\0' ||
        memchr(pKeyIOValue, '\0', static_cast<size_t>(size)) == nullptr || (!primary && capacity == nullptr)) {
        Log(__FILE__, __FUNCTION__, "ReadKeyValue exit failed");
        return -1;
    }
    Log(__FILE__, __FUNCTION__, "pKeyIOValue=%s", pKeyIOValue);
    int64_t keyLength = TrimKey(pKeyIOValue);
    if (keyLength == -1) {
        Log(__FILE__, __FUNCTION__, "TrimKey error!");
        return -1;
    }
    // A key of nothing but trim characters would be found at the start of every line.
    if (keyLength == 0) {
        Log(__FILE__, __FUNCTION__, "ReadKeyValue exit failed");
        return -1;
    }

    long lineStart = ftell(stream);
    if (lineStart == -1) {
        Log(__FILE__, __FUNCTION__, "ftell error");
        return -1;
    }
    char line[kLineSize];
    PhysicalLine physical;
    for (;;) {
        if (!ReadPhysicalLine(stream, line, &physical)) {
            Log(__FILE__, __FUNCTION__, "ReadKeyValue exit failed");
            return -1;
        }
        if (!primary && (strchr(line, '[') != nullptr || strchr(line, ']') != nullptr || physical.restHasBracket)) {
            if (fseek(stream, lineStart, SEEK_SET) != 0) {
                Log(__FILE__, __FUNCTION__, "fseek error");
                return -1;
            }
            Log(__FILE__, __FUNCTION__, "pPos == '[' or pPos == ']', ReadKeyValue exit failed");
            return -1;
        }
        char *keyPosition = strstr(line, pKeyIOValue);
        if (keyPosition != nullptr) {
            if (primary) {
                if (IsPrimaryKey(line, keyPosition, keyLength)) {
                    Log(__FILE__, __FUNCTION__, "find szTmp=%s is key and pPos=%s, and ReadKeyValue exit", line,
                        keyPosition);
                    return lineStart;
                }
            } else {
                char *equals = keyPosition + keyLength;
                while (*equals != '=' && *equals != '\r' && *equals != '\n' && *equals != '\0') {
                    ++equals;
                }
                if (*equals == '=') {
                    char *value = equals + 1;
                    const long long position = lineStart + (value - line);
                    // A line that runs on past the buffer with nothing but trim characters
                    // still holds its whole value in the buffer.
                    const bool whole = !physical.overlong || physical.restTrimmedLength == 0;
                    int64_t valueLength = 0;
                    if (whole) {
                        valueLength = TrimKey(value);
                    } else {
                        // The value runs on past the line buffer: it cannot be returned whole.
                        const char *first = value;
                        while (*first != '\0' && IsTrimmedByTrimKey(*first)) {
                            ++first;
                        }
                        valueLength = static_cast<int64_t>(strlen(first) + physical.restTrimmedLength);
                    }
                    if (whole && valueLength < *capacity) {
                        strncpy_s(pKeyIOValue, static_cast<size_t>(size), value, static_cast<size_t>(size) - 1);
                        Log(__FILE__, __FUNCTION__, "lPos == %lld, ReadKeyValue exit true", position);
                        return position;
                    }
                    // A value too long for the caller asks for more room; a value that would fit
                    // but stands in a line longer than the line buffer is refused as it is: more
                    // room would not help.
                    const bool spaceIsSmall = valueLength >= *capacity;
                    if (spaceIsSmall) {
                        *capacity = valueLength + 1;
                    }
                    pKeyIOValue[0] = '\0';
                    if (fseek(stream, lineStart, SEEK_SET) != 0) {
                        Log(__FILE__, __FUNCTION__, "fseek error");
                        return -1;
                    }
                    if (spaceIsSmall) {
                        Log(__FILE__, __FUNCTION__, "pKeyIOValue's space is small, ReadKeyValue exit failed");
                    } else {
                        Log(__FILE__, __FUNCTION__, "line is longer than %d bytes, ReadKeyValue exit failed",
                            static_cast<int>(kLineSize - 1));
                    }
                    return -1;
                }
            }
        }
        lineStart = ftell(stream);
        if (lineStart == -1) {
            Log(__FILE__, __FUNCTION__, "ftell error in while");
            return -1;
        }
    }
}

bool IsKeyValueCaseEqual(const char *path, const char *primaryKey, const char *key, const char *expected)
{
    Log(__FILE__, __FUNCTION__, "IsKeyValueCaeEqual Enter");
    if (path == nullptr || primaryKey == nullptr || key == nullptr || expected == nullptr) {
        Log(__FILE__, __FUNCTION__, "IsKeyValueCaseEqual exit failed");
        return false;
    }
    FileHolder stream(fopen(path, "r"));
    if (!stream) {
        Log(__FILE__, __FUNCTION__, "open %s failed, IsKeyValueCaseEqual exit failed", path);
        return false;
    }
    char buffer[kLineSize];
    int64_t capacity = kValueCapacity;
    bool found = strlen(primaryKey) <= kLineSize - 1 &&
                 strncpy_s(buffer, kLineSize, primaryKey, kLineSize - 1) == EOK &&
                 ReadKeyValue(stream.get(), buffer, kLineSize, &capacity, true) != -1 &&
                 strlen(key) <= kLineSize - 1 && strncpy_s(buffer, kLineSize, key, kLineSize - 1) == EOK &&
                 ReadKeyValue(stream.get(), buffer, kLineSize, &capacity, false) != -1;
    stream.reset();
    if (!found) {
        Log(__FILE__, __FUNCTION__, "IsKeyValueCaseEqual exit failed");
        return false;
    }
    Log(__FILE__, __FUNCTION__, "IsKeyValueCaseEqual exit");
    return strcasecmp(buffer, expected) == 0;
}

bool IsVolumeExist(const char *name, const char *prefix, int32_t testTime)
{
    if (name == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error");
        return false;
    }
    Log(__FILE__, __FUNCTION__, "IsVolumeExist Enter");
    if (testTime <= 0) {
        Log(__FILE__, __FUNCTION__, "testTime <= 0, can't check.");
        return false;
    }
    BlockHolder joined;
    const char *path = name;
    if (prefix != nullptr && prefix[0] != '\0') {
        size_t size = strlen(prefix) + strlen(name) + 1;
        joined.reset(static_cast<char *>(malloc(size)));
        if (!joined) {
            Log(__FILE__, __FUNCTION__, "malloc failed, IsVolumeExist exit failed");
            return false;
        }
        strncpy_s(joined.get(), size, prefix, size - 1);
        strncat_s(joined.get(), size, name, size - 1);
        path = joined.get();
    }
    if (path[0] == '\0') {
        Log(__FILE__, __FUNCTION__, "IsVolumeExist exit false");
        return false;
    }
    for (int64_t t = 0; t < testTime; t += 2) {
        if (CanOpenDirectory(path)) {
            Log(__FILE__, __FUNCTION__, "opertor %d time, IsVolumeExist exit true", static_cast<int>(t));
            return true;
        }
        Log(__FILE__, __FUNCTION__, " %d time, open (%s) failed, open again", static_cast<int>(t / 2), path);
        sleep(2);
    }
    Log(__FILE__, __FUNCTION__, "IsVolumeExist exit false");
    return false;
}

bool GetTempVolumeName(char *volumeName, int32_t size, int64_t *capacity, const char *prefix, int32_t testTime)
{
    if (capacity == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error");
        return false;
    }
    Log(__FILE__, __FUNCTION__, "GetTempVolumeName Enter");
    if (volumeName == nullptr || size <= 0 || memchr(volumeName, '\0', static_cast<size_t>(size)) == nullptr ||
        volumeName[0] == '\0') {
        return false;
    }
    if (prefix == nullptr) {
        prefix = "";
    }
    const size_t nameLength = strlen(volumeName);
    const size_t prefixLength = strlen(prefix);
    const size_t pathSize = prefixLength + 2 * nameLength + 9;
    BlockHolder path(static_cast<char *>(malloc(pathSize)));
    if (!path) {
        return false;
    }
    strncpy_s(path.get(), pathSize, prefix, pathSize - 1);
    // The image mounts under its name with its joined capitalised words separated by spaces.
    size_t used = prefixLength;
    for (size_t i = 0; i < nameLength; ++i) {
        char c = volumeName[i];
        if (c >= 'A' && c <= 'Z' && i > 0 && volumeName[i - 1] != ' ') {
            path.get()[used++] = ' ';
        }
        path.get()[used++] = c;
    }
    path.get()[used] = '\0';

    if (!IsVolumeExist(path.get(), nullptr, testTime)) {
        Log(__FILE__, __FUNCTION__, "Error pVPStr=%s, is not exist, GetTempVolumeName exit false", path.get());
        return false;
    }

    // Later mounts of the same name are numbered " 1", " 2", ...: the result is the highest of the
    // unbroken run from 1, or the plain path when " 1" does not exist.
    const size_t baseLength = used;
    auto setNumber = [&](long number) {
        path.get()[baseLength] = '\0';
        if (number == 0) {
            return true;
        }
        char suffix[16];
        int suffixLength = snprintf_s(suffix, sizeof(suffix), sizeof(suffix) - 1, " %ld", number);
        return suffixLength > 0 && suffixLength <= kMaxVolumeNumberDigits + 1 &&
               baseLength + static_cast<size_t>(suffixLength) < pathSize &&
               strncat_s(path.get(), pathSize, suffix, static_cast<size_t>(suffixLength)) == EOK;
    };
    long last = 0;
    for (;;) {
        if (!setNumber(last + 1)) {
            Log(__FILE__, __FUNCTION__, "pVPStr's space is small, GetTempVolumeName exit false");
            return false;
        }
        if (!CanOpenDirectory(path.get())) {
            break;
        }
        ++last;
    }
    setNumber(last);

    const size_t resultLength = strlen(path.get());
    if (static_cast<int64_t>(resultLength) >= *capacity) {
        *capacity = static_cast<int64_t>(resultLength) + 1;
        Log(__FILE__, __FUNCTION__, "pVPStr's space is small");
        Log(__FILE__, __FUNCTION__, "Error pVPStr=%s, is not exist, GetTempVolumeName exit false", path.get());
        return false;
    }
    strncpy_s(volumeName, static_cast<size_t>(size), path.get(), static_cast<size_t>(size) - 1);
    Log(__FILE__, __FUNCTION__, "volumeName is %s, GetTempVolumeName exit success", volumeName);
    return true;
}

namespace {

// The runner's steps log under its name: their lines are part of its trace.
const char kRunnerName[] = "RunSDProgram";

// The command buffer of one run: every command starts with the caller's prefix ("open \"").
struct SetupCommand {
    const char *prefix;
    size_t prefixLength;
    char *text;
    size_t size;
};

// Copies key into buffer and looks it up in the setup file (with primary set, as its section
// header) with the given value capacity. -1, after failMessage in the runner's log, on failure.
int64_t ReadSetupValue(FILE *stream, const char *key, char *buffer, size_t size, int64_t capacity, bool primary,
                       const char *failMessage)
{
    strncpy_s(buffer, size, key, size - 1);
    const int64_t offset = ReadKeyValue(stream, buffer, static_cast<int32_t>(size), &capacity, primary);
    if (offset == -1) {
        Log(__FILE__, kRunnerName, "%s", failMessage);
    }
    return offset;
}

// Opens the disk image <mountPrefix><folder>/<fileName>; the system mounts it as a volume.
bool OpenSetupImage(const SetupCommand &command, const char *mountPrefix, const char *folder, const char *fileName)
{
    // Everything between the command's double quotes is escaped, so that no value from the file
    // can end the quoted word or start a command of its own.
    BlockHolder mountEscaped = EscapedCopy(mountPrefix);
    BlockHolder folderEscaped = EscapedCopy(folder);
    BlockHolder nameEscaped = EscapedCopy(fileName);
    if (!mountEscaped || !folderEscaped || !nameEscaped) {
        Log(__FILE__, kRunnerName, "malloc failed, RunSDProgram exit false");
        return false;
    }
    if (command.prefixLength + strlen(mountEscaped.get()) + strlen(folderEscaped.get()) + strlen(nameEscaped.get()) +
            2 >=
        command.size) {
        Log(__FILE__, kRunnerName, "filename or path is too long to can't open, RunSDProgram exit false");
        return false;
    }
    // The check above is the command's length ("%s%s%s/%s\"" adds two characters), so the whole
    // command fits: it is never cut into a different one.
    (void)snprintf_s(command.text, command.size, command.size - 1, "%s%s%s/%s\"", command.prefix, mountEscaped.get(),
                     folderEscaped.get(), nameEscaped.get());
    Log(__FILE__, kRunnerName, "%s", command.text);
    if (!RunShellProgram(command.text, kShellAttempts)) {
        Log(__FILE__, kRunnerName, "first RunShellProgram failed, RunSDProgram exit fals ");
        return false;
    }
    return true;
}

// Waits for the opened image's volume (named after baseName) and opens the installer package
// <volume>/<baseName>.pkg in it.
bool OpenSetupPackage(const SetupCommand &command, const char *mountPrefix, const char *baseName)
{
    char volume[kLineSize];
    strncpy_s(volume, kLineSize, baseName, kLineSize - 1);
    int64_t capacity = kValueCapacity - static_cast<int64_t>(command.prefixLength);
    if (!GetTempVolumeName(volume, kLineSize, &capacity, mountPrefix, kImageVolumeWait)) {
        Log(__FILE__, kRunnerName, "GetTempVolumeName failed,  RunSDProgram exit false");
        return false;
    }

    BlockHolder volumeEscaped = EscapedCopy(volume);
    BlockHolder baseEscaped = EscapedCopy(baseName);
    if (!volumeEscaped || !baseEscaped) {
        Log(__FILE__, kRunnerName, "malloc failed, RunSDProgram exit false");
        return false;
    }
    if (command.prefixLength + strlen(volumeEscaped.get()) + strlen(baseEscaped.get()) + 6 >= command.size) {
        Log(__FILE__, kRunnerName, "SDProgram's name is too long to can't run, RunSDProgram exit false");
        return false;
    }
    // As for the image: "%s%s/%s.pkg\"" adds six characters, so the checked command fits whole.
    (void)snprintf_s(command.text, command.size, command.size - 1, "%s%s/%s.pkg\"", command.prefix,
                     volumeEscaped.get(), baseEscaped.get());
    Log(__FILE__, kRunnerName, "%s", command.text);
    if (!RunShellProgram(command.text, kShellAttempts)) {
        Log(__FILE__, kRunnerName, "second RunShellProgram failed,  RunSDProgram exit false");
        return false;
    }
    return true;
}

// When SD_RUN_THIRD_FILE_ONCE is "yes", overwrites the SD_THIRD_SETUP value at setupOffset so
// that the next run skips the setup. The lookup takes the given value capacity.
bool SwitchSetupOff(FILE *stream, int64_t setupOffset, int64_t capacity)
{
    char szKeyOrValue[kLineSize];
    if (ReadSetupValue(stream, "SD_RUN_THIRD_FILE_ONCE", szKeyOrValue, kLineSize, capacity, false,
                       "SD_RUN_THIRD_FILE_ONCE read false, RunSDProgram exit false") == -1) {
        return false;
    }
    if (strcasecmp(szKeyOrValue, "yes") != 0) {
        return true;
    }
    if (fseek(stream, static_cast<long>(setupOffset), SEEK_SET) != 0) {
        Log(__FILE__, kRunnerName, "fseek error.");
        return false;
    }
    // The file keeps its length: "No" and a zero byte, at which the reader stops, replace the
    // first three bytes of the old value. The flush makes a failed write visible here.
    if (fputc('N', stream) == EOF || fputc('o', stream) == EOF || fputc('\0', stream) == EOF || fflush(stream) != 0) {
        Log(__FILE__, kRunnerName, "fputc error.");
        return false;
    }
    Log(__FILE__, kRunnerName, "Have change value of SD_THIRD_SETUP to No, next time will not run SDProgram");
    return true;
}

}  // namespace

bool RunSDProgram(const char *configPath, const char *commandPrefix, const char *mountPrefix)
{
    Log(__FILE__, __FUNCTION__, "RunSDProgram Enter");
    if (configPath == nullptr || commandPrefix == nullptr || mountPrefix == nullptr || configPath[0] == '\0' ||
        commandPrefix[0] == '\0' || mountPrefix[0] == '\0') {
        Log(__FILE__, __FUNCTION__, "cmd is 0, can't run cmd, RunSDProgram exit false");
        return false;
    }
    FileHolder stream(fopen(configPath, "r+"));
    if (!stream) {
        Log(__FILE__, __FUNCTION__, "open file [%s] failed, RunSDProgram exit false", configPath);
        return false;
    }

    char szKeyOrValue[kLineSize];
    if (ReadSetupValue(stream.get(), "[SD_THIRDPARTY_SETUP]", szKeyOrValue, kLineSize, kValueCapacity, true,
                       "szKeyOrValue=[SD_THIRDPARTY_SETUP], ReadKeyValue false, RunSDProgram exit false") == -1) {
        return false;
    }
    const int64_t setupOffset =
        ReadSetupValue(stream.get(), "SD_THIRD_SETUP", szKeyOrValue, kLineSize, kValueCapacity, false,
                       "szKeyOrValue=SD_THIRD_SETUP, ReadKeyValue false, RunSDProgram exit false");
    if (setupOffset == -1) {
        return false;
    }
    if (strcasecmp(szKeyOrValue, "yes") != 0) {
        Log(__FILE__, __FUNCTION__, "SD_THIRD_SETUP is not yes, not run SD Program, RunSDProgram exit");
        return false;
    }

    char szFilePath[kLineSize];
    if (ReadSetupValue(stream.get(), "SD_THIRD_FILE_PATH", szFilePath, kLineSize, kValueCapacity, false,
                       "SD_THIRD_FILE_PATH read false, RunSDProgram exit") == -1) {
        return false;
    }
    if (!IsRelativeBelow(szFilePath)) {
        Log(__FILE__, __FUNCTION__, "SD_THIRD_FILE_PATH=%s leaves %s, RunSDProgram exit false", szFilePath,
            mountPrefix);
        return false;
    }
    if (!IsVolumeExist(szFilePath, mountPrefix, kFolderWait)) {
        Log(__FILE__, __FUNCTION__, "%s is not exist, RunSDProgram exit", szFilePath);
        return false;
    }

    const size_t commandPrefixLength = strlen(commandPrefix);
    const size_t commandSize = commandPrefixLength + kCommandExtra;
    BlockHolder commandText(static_cast<char *>(malloc(commandSize)));
    if (!commandText) {
        Log(__FILE__, __FUNCTION__, "malloc failed, RunSDProgram exit false");
        return false;
    }
    commandText.get()[0] = '\0';
    const SetupCommand command = {commandPrefix, commandPrefixLength, commandText.get(), commandSize};

    // The file name buffer is 512 bytes: a longer name is refused rather than cut into the name
    // of some other file.
    char szFileName[kFileNameSize];
    if (ReadSetupValue(stream.get(), "SD_THIRD_FILE_NAME", szFileName, kFileNameSize,
                       static_cast<int64_t>(kFileNameSize), false,
                       "SD_THIRD_FILE_NAME read false, RunSDProgram exit false") == -1) {
        return false;
    }
    // The name without its extension names the image's volume and the package, so it must stay
    // below the mount prefix too ("...dmg" would give "..") and name a volume ("..dmg" gives ".").
    char szBaseName[kFileNameSize];
    strncpy_s(szBaseName, kFileNameSize, szFileName, kFileNameSize - 1);
    CutExtension(szBaseName);
    if (!IsRelativeBelow(szFileName) || !IsRelativeBelow(szBaseName) || !NamesAVolume(szBaseName)) {
        Log(__FILE__, __FUNCTION__, "SD_THIRD_FILE_NAME=%s leaves %s, RunSDProgram exit false", szFileName,
            mountPrefix);
        return false;
    }

    if (!OpenSetupImage(command, mountPrefix, szFilePath, szFileName) ||
        !OpenSetupPackage(command, mountPrefix, szBaseName) ||
        !SwitchSetupOff(stream.get(), setupOffset, kValueCapacity - static_cast<int64_t>(commandPrefixLength))) {
        return false;
    }

    commandText.reset();
    stream.reset();
    Log(__FILE__, __FUNCTION__, "run SDProgram success, RunSDProgram exit");
    return true;
}
