/*
 * Test-only hooks of the service's library. The service itself never calls these: with no hook
 * set, every function uses the real clock and the real macOS paths. Tests use them to stamp log
 * lines with a fixed time and to keep the capture scratch file inside a temporary folder.
 */
#ifndef CARDWATCH_TEST_HOOKS_H
#define CARDWATCH_TEST_HOOKS_H

#include <time.h>

/* Replaces the clock that stamps each log line; NULL restores time(). */
void LogSetClockForTesting(time_t (*clock)(void));

/* Replaces the scratch file of RunShellCmd ("/usr/local/RevediriService/cmd.txt"); NULL
 * restores it. The path is used as given inside the shell command, so tests pass a path without
 * spaces or shell characters. */
void ProcessSetScratchPathForTesting(const char *path);

#endif /* CARDWATCH_TEST_HOOKS_H */
