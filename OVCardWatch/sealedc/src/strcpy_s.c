/* strcpy_s: copies a terminated string, terminator included.
 *
 * Fixed names (callers rely on them): strcpy_s, declared in sealedc.h and called by version.c and
 * the tests. */
#include "sealedc_internal.h"

/* Strings of fewer than this many bytes (terminator included) are copied with inline stores. */
#define SEALEDC_SMALL_STRING 33

/* Classifies a failed copy. The source is never read past destMax bytes. */
static errno_t strcpy_error(char *strDest, size_t destMax, const char *strSrc)
{
    errno_t ret = sealedc_check_string(strDest, destMax, strSrc);
    if (ret != EOK) {
        return ret;
    }
    if (strnlen(strSrc, destMax) < destMax) {
        /* Only reachable with destination equal to source: the text is already in place. */
        return EOK;
    }
    strDest[0] = '\0';
    return ERANGE_AND_RESET;
}

errno_t strcpy_s(char *strDest, size_t destMax, const char *strSrc)
{
    if (strDest != strSrc && destMax - 1 < SEALEDC_MAX_LEN && strDest != NULL && strSrc != NULL) {
        size_t len = strnlen(strSrc, destMax);
        if (len < destMax) {
            size_t n = len + 1;
            if (sealedc_ranges_overlap(strDest, n, strSrc, n)) {
                strDest[0] = '\0';
                return EOVERLAP_AND_RESET;
            }
            if (n < SEALEDC_SMALL_STRING) {
                sealedc_small_copy(strDest, strSrc, n);
            } else {
                memcpy(strDest, strSrc, n);
            }
            return EOK;
        }
    }
    return strcpy_error(strDest, destMax, strSrc);
}
