/*
 * Reader of the service's INI configuration file.
 *
 * Answers which value key K has in section S of the file last registered with SetIniFileName.
 * The file is opened, scanned from its start and closed again on every query; nothing is cached.
 * Lines end with a line feed; carriage returns are dropped; empty lines are skipped; a line holds
 * at most 1023 characters (the rest of a longer line is skipped). A section starts at the first
 * line containing "[S]"; a key line is one whose space-trimmed text contains K and has "=" (after
 * spaces) or its end at position length(K); the section ends at the next line holding both "["
 * and "]" that is not a key line of K. There is no comment syntax, quoting or escape.
 *
 * Not reentrant: the returned values point into one process-wide line buffer that the next query
 * overwrites. Callers copy a value before the next query.
 */
#ifndef CARDWATCH_INI_H
#define CARDWATCH_INI_H

#include <stdint.h>
#include <stdio.h>

/* Registers the file read by the queries. True when it opens for reading; false (and the earlier
 * registration stays) when the path is missing or the file does not open. */
bool SetIniFileName(const char *path);

/* The space-trimmed value of key in section, pointing into the reader's line buffer, or the
 * default pointer itself when anything fails. A key line without "=" counts as not set and gives
 * the default. */
const char *ReadString(const char *section, const char *key, const char *defaultValue);

/* Like ReadString, but the text after the first "=" is returned without skipping its leading
 * spaces, and a missing section or key is not reported with the "cfg" messages. */
const char *ReadStringEx(const char *section, const char *key, const char *defaultValue);

/* ReadString with an empty default; the first argument is ignored. Nothing (NULL) when section
 * or key is missing. */
const char *GetInitKey(const char *ignored, const char *section, const char *key);

/* The value of key in section as a decimal integer, or defaultValue.
 * Conversion: the trimmed value must be an optional "+" or "-" followed by one or more decimal
 * digits and nothing else, and must lie within the signed 32-bit range. Anything else (empty
 * text, other characters, hexadecimal, a number out of range) gives defaultValue. */
int32_t ReadInteger(const char *section, const char *key, int32_t defaultValue);

/* The text after the first "=" of line, or NULL when there is none. */
char *GetKeyValue(char *line);

/* The steps of a query, usable on their own. */
bool SectionExists(FILE *stream, const char *section);
bool KeyExists(FILE *stream, const char *key);
char *ReadLine(FILE *stream);
char *Trim(char *text);
bool SectionExistsInLine(const char *line, const char *section);
bool KeyExistsInLine(char *line, const char *key);

#endif /* CARDWATCH_INI_H */
