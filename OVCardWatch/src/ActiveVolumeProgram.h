/*
 * Setup package runner and key-value file reader of the service.
 *
 * The key-value reader works on an already open stream and reports the file offset of what it
 * found, so that a caller can rewrite a value in place. A section header line holds the primary
 * key between "[" and "]" (spaces allowed around it); a key line holds the key followed later by
 * "="; the value is the text after that "=", trimmed of spaces, brackets, CR and LF. A section's
 * entries end at the first line holding "[" or "]". Lookups go forward from the stream's position.
 *
 * The setup runner reads section "[SD_THIRDPARTY_SETUP]" of the connection manager's
 * "SysConfig.dat", opens the disk image it names, waits for the image's volume and opens the
 * installer package in it, and can switch the setting off afterwards.
 *
 * Keep as written: pKeyIOValue is the reader's known name for its key-in, value-out buffer, and
 * the log names it so.
 */
#ifndef CARDWATCH_ACTIVE_VOLUME_PROGRAM_H
#define CARDWATCH_ACTIVE_VOLUME_PROGRAM_H

#include <stdint.h>
#include <stdio.h>

/* Removes spaces, "[", "]", CR and LF from both ends of text, moving the rest to its start.
 * Returns the new length, or -1 for a missing text. */
int64_t TrimKey(char *text);

/* True when, from the key at keyPosition (within the line starting at lineStart), the nearest
 * non-space character before it is "[" and the nearest non-space character after its keyLength
 * characters is "]". */
bool IsPrimaryKey(const char *lineStart, const char *keyPosition, int64_t keyLength);

/* Looks up the key (or, with primary set, the section header) held in pKeyIOValue, reading
 * forward from the stream's position.
 * primary set: returns the offset of the header line's start.
 * primary clear: returns the offset of the first byte after the key's "=" and puts the trimmed
 * value into pKeyIOValue (cut to size - 1 characters). A value of *capacity characters or more
 * fails and stores its length + 1 in *capacity; a shorter value in a line of more than 1023
 * bytes fails as too long a line and leaves *capacity as it was.
 * After a success the stream stands at the start of the next line. -1 on every failure. */
int64_t ReadKeyValue(FILE *stream, char *pKeyIOValue, int32_t size, int64_t *capacity, bool primary);

/* True when the value of key in section primaryKey of the file at path equals expected,
 * ignoring case. Every failure gives false. */
bool IsKeyValueCaseEqual(const char *path, const char *primaryKey, const char *key, const char *expected);

/* True as soon as the directory prefix + name (or name alone without a prefix) can be opened;
 * tries every 2 seconds within a budget of testTime seconds. */
bool IsVolumeExist(const char *name, const char *prefix, int32_t testTime);

/* Turns the image base name held in volumeName into the mount path of the image's volume:
 * prefix + the name with a space before each joined capital word, or the highest of its numbered
 * twins (" 1", " 2", ...) that exists. Waits up to testTime seconds for the volume. The path
 * must be shorter than *capacity (else its length + 1 is stored there). */
bool GetTempVolumeName(char *volumeName, int32_t size, int64_t *capacity, const char *prefix, int32_t testTime);

/* Runs the setup package named by the configuration file at configPath. commandPrefix is the
 * command up to and including the opening double quote ("open \""), mountPrefix the folder that
 * holds mounted volumes ("/Volumes/"). Values from the file are escaped for the double-quoted
 * word; a folder or file name with a ".." component or a leading "/" is refused, and so is a file
 * name whose base name (without its extension) ends in an empty or "." component. */
bool RunSDProgram(const char *configPath, const char *commandPrefix, const char *mountPrefix);

#endif /* CARDWATCH_ACTIVE_VOLUME_PROGRAM_H */
