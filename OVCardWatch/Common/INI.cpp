// Reader of the service's INI configuration file: one query opens the registered file, finds the
// section header, then the key line, and returns the trimmed value from a process-wide buffer.
//
// Keep as written: g_filename and g_linetext are the service's known names for its state, and the
// log texts are matched byte for byte by readers of the log and the tests, with their
// differences: "param error." with a full stop in some functions and "param error" without in
// others, "open file: %s failed, please check..." ending in a line feed in SetIniFileName and
// ReadStringEx only. Do not tidy them.
#include "INI.h"

#include "Log.h"
#include "sealedc.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr size_t kLineSize = 1024;
constexpr size_t kSectionHeaderSize = 128;

char g_filename[kLineSize];
char g_linetext[kLineSize];

// Opens the registered file, finds section and key. On success g_linetext holds the key line
// (trailing spaces cut) and *value is the text after its first "=", untrimmed at the front, or
// NULL when the key line has no "=". reportMissing (ReadString) adds the "cfg" messages.
enum class Lookup { Found, Failed };

Lookup FindKeyLine(const char *section, const char *key, bool reportMissing, const char *function, char **value)
{
    *value = nullptr;
    FILE *stream = fopen(g_filename, "r");
    if (stream == nullptr) {
        // The two entry points word this message differently: ReadStringEx ends it with a line feed.
        if (reportMissing) {
            Log(__FILE__, function, "open file: %s failed, please check...", g_filename);
        } else {
            Log(__FILE__, function, "open file: %s failed, please check...\n", g_filename);
        }
        return Lookup::Failed;
    }
    if (!SectionExists(stream, section)) {
        if (reportMissing) {
            Log(__FILE__, function, "cfg section [%s] not exists...", section);
        }
        fclose(stream);
        return Lookup::Failed;
    }
    if (!KeyExists(stream, key)) {
        if (reportMissing) {
            Log(__FILE__, function, "cfg key [%s] not exists...", key);
        }
        fclose(stream);
        return Lookup::Failed;
    }
    fclose(stream);
    char *equals = strchr(g_linetext, '=');
    *value = equals != nullptr ? equals + 1 : nullptr;
    return Lookup::Found;
}

}  // namespace

bool SetIniFileName(const char *path)
{
    if (path == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error.");
        return false;
    }
    FILE *stream = fopen(path, "r");
    if (stream == nullptr) {
        Log(__FILE__, __FUNCTION__, "open file: %s failed, please check...\n", path);
        return false;
    }
    fclose(stream);
    strncpy_s(g_filename, kLineSize, path, kLineSize - 1);
    return true;
}

const char *ReadString(const char *section, const char *key, const char *defaultValue)
{
    if (section == nullptr || key == nullptr || defaultValue == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error.");
        return defaultValue;
    }
    char *value = nullptr;
    if (FindKeyLine(section, key, true, __FUNCTION__, &value) != Lookup::Found || value == nullptr) {
        return defaultValue;  // a key line without "=" sets nothing
    }
    return Trim(value);
}

const char *ReadStringEx(const char *section, const char *key, const char *defaultValue)
{
    if (section == nullptr || key == nullptr || defaultValue == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error.");
        return defaultValue;
    }
    char *value = nullptr;
    if (FindKeyLine(section, key, false, __FUNCTION__, &value) != Lookup::Found || value == nullptr) {
        return defaultValue;
    }
    return value;
}

const char *GetInitKey(const char *ignored, const char *section, const char *key)
{
    (void)ignored;
    if (section == nullptr || key == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error.");
        return nullptr;
    }
    return ReadString(section, key, "");
}

int32_t ReadInteger(const char *section, const char *key, int32_t defaultValue)
{
    static const char kUnset[] = "";
    const char *text = ReadString(section, key, kUnset);
    if (text == kUnset || text == nullptr) {
        return defaultValue;
    }
    const char *digits = text;
    if (*digits == '+' || *digits == '-') {
        ++digits;
    }
    if (*digits < '0' || *digits > '9') {
        return defaultValue;
    }
    for (const char *p = digits; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return defaultValue;
        }
    }
    errno = 0;
    long long number = strtoll(text, nullptr, 10);
    if (errno == ERANGE || number < INT32_MIN || number > INT32_MAX) {
        return defaultValue;
    }
    return static_cast<int32_t>(number);
}

char *GetKeyValue(char *line)
{
    if (line == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error");
        return nullptr;
    }
    char *equals = strchr(line, '=');
    return equals != nullptr ? equals + 1 : nullptr;
}

bool SectionExists(FILE *stream, const char *section)
{
    if (stream == nullptr || section == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error");
        return false;
    }
    for (char *line = ReadLine(stream); line != nullptr; line = ReadLine(stream)) {
        if (SectionExistsInLine(line, section)) {
            return true;
        }
    }
    Log(__FILE__, __FUNCTION__, "not found the section");
    return false;
}

bool KeyExists(FILE *stream, const char *key)
{
    if (stream == nullptr || key == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error");
        return false;
    }
    for (char *line = ReadLine(stream); line != nullptr; line = ReadLine(stream)) {
        if (KeyExistsInLine(line, key)) {
            return true;
        }
        if (strchr(line, '[') != nullptr && strchr(line, ']') != nullptr) {
            return false;  // the next section has begun
        }
    }
    Log(__FILE__, __FUNCTION__, "not found the key");
    return false;
}

char *ReadLine(FILE *stream)
{
    if (stream == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error");
        return nullptr;
    }
    char line[kLineSize];
    memset_s(line, kLineSize, 0, kLineSize);
    size_t length = 0;
    for (;;) {
        int c = fgetc(stream);
        if (c == EOF) {
            break;
        }
        if (c == '\r') {
            continue;
        }
        if (c == '\n') {
            if (length == 0) {
                continue;  // empty lines are skipped
            }
            break;
        }
        if (length < kLineSize - 1) {
            line[length++] = static_cast<char>(c);
        }
        // Characters beyond 1023 are dropped up to the line's end, so the tail of an over-long
        // line is never read as a line of its own.
    }
    memcpy_s(g_linetext, kLineSize, line, kLineSize);
    return length != 0 ? g_linetext : nullptr;
}

char *Trim(char *text)
{
    if (text == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error.");
        return nullptr;
    }
    while (*text == ' ') {
        ++text;
    }
    size_t length = strlen(text);
    while (length > 0 && text[length - 1] == ' ') {
        text[--length] = '\0';
    }
    return text;
}

bool SectionExistsInLine(const char *line, const char *section)
{
    if (line == nullptr || section == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error.");
        return false;
    }
    char header[kSectionHeaderSize];
    header[0] = '\0';
    // A section name too long for the header buffer is searched for in its cut form.
    (void)snprintf_s(header, kSectionHeaderSize, kSectionHeaderSize - 1, "[%s]", section);
    return strstr(line, header) != nullptr;
}

bool KeyExistsInLine(char *line, const char *key)
{
    if (line == nullptr || key == nullptr) {
        Log(__FILE__, __FUNCTION__, "param error.");
        return false;
    }
    char *trimmed = Trim(line);
    if (strstr(trimmed, key) == nullptr) {
        return false;
    }
    // The trimmed line holds the key, so it is at least as long as the key.
    const char *after = trimmed + strlen(key);
    while (*after == ' ') {
        ++after;
    }
    return *after == '=' || *after == '\0';
}
