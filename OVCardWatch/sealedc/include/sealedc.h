/*
 * Sealed C: the service's checked C runtime.
 *
 * Bounds-checked memory, string and formatting functions in the shapes of the C11 Annex K
 * functions, with this library's own result codes, size limit, destination-after-failure rules
 * and truncation rule. Nothing here calls a constraint handler, prints or aborts: every failure
 * is a returned code (or -1 for the formatted functions).
 *
 * Fixed names (callers rely on them): every name declared here, the result codes, errno_t and
 * SEALEDC_MAX_LEN included. They are the library's interface: the service calls them, and so do
 * the tests, the benchmarks and the fuzz targets.
 */
#ifndef SEALEDC_H
#define SEALEDC_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef SEALEDC_ERRNO_T_DEFINED
#define SEALEDC_ERRNO_T_DEFINED
typedef int32_t errno_t;
#endif

/* Result codes. The *_AND_RESET codes are the base code plus 128: the destination was cleared. */
#ifndef EOK
#define EOK 0
#endif
#ifndef EINVAL
#define EINVAL 22
#endif
#ifndef ERANGE
#define ERANGE 34
#endif
#define EINVAL_AND_RESET (22 | 128)
#define ERANGE_AND_RESET (34 | 128)
#define EOVERLAP_AND_RESET (54 | 128)

/* Upper bound of every destination size and of the counts of strncpy_s and strncat_s. */
#define SEALEDC_MAX_LEN 0x7FFFFFFFUL

/* Memory functions. */
errno_t memcpy_s(void *dest, size_t destMax, const void *src, size_t count);
errno_t memmove_s(void *dest, size_t destMax, const void *src, size_t count);
errno_t memset_s(void *dest, size_t destMax, int c, size_t count);

/* Twins: the same tests and codes; small operations done with inline stores. The OptTc twins
 * skip the destMax limit test on their success path (the caller vouches for the size). */
errno_t memset_sOptAsm(void *dest, size_t destMax, int c, size_t count);
errno_t memset_sOptTc(void *dest, size_t destMax, int c, size_t count);
errno_t memcpy_sOptAsm(void *dest, size_t destMax, const void *src, size_t count);
errno_t memcpy_sOptTc(void *dest, size_t destMax, const void *src, size_t count);

/* String functions. */
errno_t strcpy_s(char *strDest, size_t destMax, const char *strSrc);
errno_t strncpy_s(char *strDest, size_t destMax, const char *strSrc, size_t count);
errno_t strncat_s(char *strDest, size_t destMax, const char *strSrc, size_t count);

/* Formatted output. Result: characters written without the terminator, or -1.
 * count below destMax cuts the output to count characters (and still returns -1 when cut);
 * count of destMax or more (including (size_t)-1) requires the whole output to fit. */
int snprintf_s(char *strDest, size_t destMax, size_t count, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
int vsnprintf_s(char *strDest, size_t destMax, size_t count, const char *format, va_list argList)
    __attribute__((format(printf, 4, 0)));

/* Wide formatted output over the wide engine: characters written without the terminator, or -1
 * (destination emptied) when the output does not fit in destMax wide characters or fails. */
int swprintf_s(wchar_t *strDest, size_t destMax, const wchar_t *format, ...);
int vswprintf_s(wchar_t *strDest, size_t destMax, const wchar_t *format, va_list argList);

/* Formatted input. Every c, s and [ destination is followed by its size in characters, passed
 * as an unsigned (32-bit) number. Result: the number of fields assigned, -1 when the input ends
 * before anything was assigned, -2 when an error of the format or the arguments, or a text too
 * long for its destination (which is emptied), stopped the scan. */
int sscanf_s(const char *buffer, const char *format, ...);
int vsscanf_s(const char *buffer, const char *format, va_list argList);
int fscanf_s(FILE *stream, const char *format, ...);
int vfscanf_s(FILE *stream, const char *format, va_list argList);
int scanf_s(const char *format, ...);
int vscanf_s(const char *format, va_list argList);

int swscanf_s(const wchar_t *buffer, const wchar_t *format, ...);
int vswscanf_s(const wchar_t *buffer, const wchar_t *format, va_list argList);
int fwscanf_s(FILE *stream, const wchar_t *format, ...);
int vfwscanf_s(FILE *stream, const wchar_t *format, va_list argList);
int wscanf_s(const wchar_t *format, ...);
int vwscanf_s(const wchar_t *format, va_list argList);

/* Copies the library's 37-character version banner into buffer (when it has at least 38 bytes;
 * a smaller buffer receives an empty string) and stores 0x0504 in *version. */
void getOvSealedCVersion(char *verStr, int bufSize, unsigned short *version);

#ifdef __cplusplus
}
#endif

#endif /* SEALEDC_H */
