/*
 * Shell command runner of the service: runs command lines through the system's shell, with a
 * bounded number of attempts, and captures a command's standard output through a scratch file.
 * Blocking and single-threaded; the calls sleep between attempts on the caller's thread.
 */
#ifndef CARDWATCH_PROCESS_H
#define CARDWATCH_PROCESS_H

#include <stddef.h>
#include <stdint.h>

/* Runs command through system() up to attempts times, one second apart after each failure.
 * True as soon as one run ends with status 0. A missing or empty command is refused. */
bool RunShellProgram(const char *command, int32_t attempts);

/* Runs command with its standard output redirected into the scratch file
 * "/usr/local/RevediriService/cmd.txt", reads at most outputSize - 1 bytes of it back into
 * output (always terminated) and removes the file. True when the command ran and printed
 * something. */
bool RunShellCmd(const char *command, char *output, int32_t outputSize);

/* Copies text into out so that it can stand between double quotes in a shell command line as one
 * literal word part: '"', '\\', '$' and '`' get a backslash in front. False, with out empty, when
 * text is missing or the result does not fit in outSize bytes. */
bool EscapeShellDoubleQuoted(const char *text, char *out, size_t outSize);

#endif /* CARDWATCH_PROCESS_H */
