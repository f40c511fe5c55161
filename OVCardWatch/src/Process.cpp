// Shell command runner: system() with retries, and output capture through a scratch file.
//
// Keep as written: the log texts of this file are the service's established trace, which readers
// of the log and the tests match byte for byte, misspellings included: "enter RunShellCmd, but
// parmer is wrong, exit", "RunShellProgram cmdBuff 1 failed", "system failed %d time ...". Do not
// tidy them.
#include "Process.h"

#include "CardWatchTestHooks.h"
#include "Log.h"
#include "sealedc.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr size_t kCommandSize = 1024;
constexpr int32_t kAttempts = 10;
const char kScratchFile[] = "/usr/local/RevediriService/cmd.txt";

char g_scratchOverride[kCommandSize];

const char *ScratchFile()
{
    return g_scratchOverride[0] != '\0' ? g_scratchOverride : kScratchFile;
}

}  // namespace

bool RunShellProgram(const char *command, int32_t attempts)
{
    // An empty command runs nothing, yet the shell would report it as a success.
    if (command == nullptr || command[0] == '\0') {
        Log(__FILE__, __FUNCTION__, "param error");
        return false;
    }
    Log(__FILE__, __FUNCTION__, "RunShellProgram Enter");
    for (int32_t i = 0; i < attempts; ++i) {
        int result = system(command);
        int runErrno = errno;
        if (result == 0) {
            Log(__FILE__, __FUNCTION__, "RunShellProgram exit true.(%s)", command);
            return true;
        }
        if (result == -1) {
            Log(__FILE__, __FUNCTION__, "system failed %d time because fork or waitpid. (%s)", i, command);
        } else if (WIFEXITED(result) && WEXITSTATUS(result) == 127) {
            Log(__FILE__, __FUNCTION__, "system failed %d time because shell failed. (%s)", i, command);
        } else {
            // strerror's buffer is overwritten by the next call: copy the first text.
            char resultText[256];
            strncpy_s(resultText, sizeof(resultText), strerror(result), sizeof(resultText) - 1);
            Log(__FILE__, __FUNCTION__, "system failed %d time, return %d[%s]:(%s), err = (%s)", i, result, resultText,
                command, strerror(runErrno));
        }
        sleep(1);
    }
    Log(__FILE__, __FUNCTION__, "(%s) false, RunShellProgram exit failed", command);
    return false;
}

bool RunShellCmd(const char *command, char *output, int32_t outputSize)
{
    if (command == nullptr || command[0] == '\0' || outputSize <= 0 || output == nullptr) {
        Log(__FILE__, __FUNCTION__, "enter RunShellCmd, but parmer is wrong, exit");
        return false;
    }
    Log(__FILE__, __FUNCTION__, "enter RunShellCmd (%s)", command);
    const size_t size = static_cast<size_t>(outputSize);
    memset_s(output, size, 0, size);

    char cmdBuff[kCommandSize];
    cmdBuff[0] = '\0';
    // A redirection that had to be cut would run a different command (or write elsewhere).
    if (snprintf_s(cmdBuff, kCommandSize, kCommandSize - 1, "%s > %s", command, ScratchFile()) < 0) {
        Log(__FILE__, __FUNCTION__, "command is too long to redirect, RunShellCmd exit failed");
        return false;
    }
    if (!RunShellProgram(cmdBuff, kAttempts)) {
        Log(__FILE__, __FUNCTION__, "RunShellProgram cmdBuff 1 failed");
        return false;
    }
    sleep(1);

    FILE *stream = fopen(ScratchFile(), "r+");
    if (stream == nullptr) {
        Log(__FILE__, __FUNCTION__, "fopen failed for [%s]", strerror(errno));
        return false;
    }
    bool result = false;
    size_t got = fread(output, 1, size, stream);
    output[size - 1] = '\0';
    if (got == 0) {
        Log(__FILE__, __FUNCTION__, "fread failed");
    } else {
        Log(__FILE__, __FUNCTION__, "recv [%s]", output);
        result = true;
    }
    fclose(stream);

    if (snprintf_s(cmdBuff, kCommandSize, kCommandSize - 1, "rm -f %s", ScratchFile()) < 0 ||
        !RunShellProgram(cmdBuff, kAttempts)) {
        Log(__FILE__, __FUNCTION__, "delete tmp file failed!");
    }
    return result;
}

bool EscapeShellDoubleQuoted(const char *text, char *out, size_t outSize)
{
    if (out == nullptr || outSize == 0) {
        return false;
    }
    out[0] = '\0';
    if (text == nullptr) {
        return false;
    }
    size_t used = 0;
    for (const char *p = text; *p != '\0'; ++p) {
        const bool special = *p == '"' || *p == '\\' || *p == '$' || *p == '`';
        const size_t need = special ? 2 : 1;
        if (used + need >= outSize) {
            out[0] = '\0';
            return false;
        }
        if (special) {
            out[used++] = '\\';
        }
        out[used++] = *p;
    }
    out[used] = '\0';
    return true;
}

void ProcessSetScratchPathForTesting(const char *path)
{
    if (path == nullptr) {
        g_scratchOverride[0] = '\0';
        return;
    }
    strncpy_s(g_scratchOverride, kCommandSize, path, kCommandSize - 1);
}
