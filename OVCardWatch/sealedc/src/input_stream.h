/*
 * The formatted-input engines' source record and private entry points.
 *
 * A scan reads its characters through a sealedc_in_stream, which hides where they come from:
 * a string, a file read in blocks, or standard input (and any stream that cannot tell its
 * position) read one character at a time with one character of push-back.
 *
 * Fixed names (callers rely on them): sealedc_in_stream and its fields, the SEALEDC_FROM_* and
 * state flags, SEALEDC_BLOCK_SIZE, SEALEDC_MAX_TEXT_DEST, SEALEDC_WIDE_TEXT_DEST_LIMIT,
 * sealedc_in_stream_from_string, sealedc_in_stream_from_file, sealedc_in_stream_from_stdin,
 * sealedc_input_s, sealedc_winput_s, clearDestBuf and clearwDestBuf (scanf_s.cpp and the input
 * engines).
 */
#ifndef SEALEDC_INPUT_STREAM_H
#define SEALEDC_INPUT_STREAM_H

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Source flags. */
#define SEALEDC_FROM_STRING 0x01u     /* characters come from a counted string */
#define SEALEDC_FROM_FILE 0x02u       /* characters come from a FILE read in blocks */
#define SEALEDC_FROM_STDIN 0x04u      /* characters come from fgetc/fgetwc, one at a time */
#define SEALEDC_BLOCK_BUFFERED 0x08u  /* the file's block buffer is allocated and its start known */
#define SEALEDC_FILE_END 0x10u        /* the file has no more blocks */

/* Bytes read from a file at a time. */
#define SEALEDC_BLOCK_SIZE 1024

/* Largest size of a byte text destination; a wide destination must stay below the wide limit. */
#define SEALEDC_MAX_TEXT_DEST 0x7FFFFFFFu
#define SEALEDC_WIDE_TEXT_DEST_LIMIT 0x20000000u

typedef struct sealedc_in_stream {
    int32_t count;              /* characters left in the current string or block */
    const char *cur;            /* read cursor (advances by one character unit) */
    const char *base;           /* first character of the current string or block */
    char *block;                /* heap block buffer of a file source, allocated at the first read */
    uint32_t flags;             /* SEALEDC_FROM_* and state flags */
    FILE *pf;                   /* file or standard input */
    long long oriFilePos;       /* file position at the first read */
    long long fileRealRead;     /* bytes handed out from the file (a skipped mark included) */
    long long lastChar;         /* last character read from a character-at-a-time source */
    int pushedBack;             /* lastChar was pushed back and is the next character */
} sealedc_in_stream;

/* Sources. A string source reads count characters (units of char or wchar_t) from str. */
void sealedc_in_stream_from_string(sealedc_in_stream *stream, const void *str, int32_t count);
void sealedc_in_stream_from_file(sealedc_in_stream *stream, FILE *file);
void sealedc_in_stream_from_stdin(sealedc_in_stream *stream, FILE *input);

/* The engines. Result: fields assigned; -1 when the input ended before any field was assigned;
 * -2 when the scan was stopped by an error of the format or the arguments, or by a text too
 * long for its destination (fields assigned before stay assigned). A file source is left just
 * after the last character used and its block buffer is freed. */
int sealedc_input_s(sealedc_in_stream *stream, const char *format, va_list argList);
int sealedc_winput_s(sealedc_in_stream *stream, const wchar_t *format, va_list argList);

/* Empties the first c, s or [ destination named by format and argList (first byte, or first
 * wide character, set to the terminator) when its size is between 1 and 0x7FFFFFFF. The entry
 * points call it when a scan assigned nothing because the call was refused or the input ended. */
void clearDestBuf(const char *format, va_list argList);
void clearwDestBuf(const wchar_t *format, va_list argList);

#ifdef __cplusplus
}
#endif

#endif /* SEALEDC_INPUT_STREAM_H */
