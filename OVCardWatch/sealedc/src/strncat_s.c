/* strncat_s: appends at most count characters to a terminated string and always terminates.
 *
 * Fixed names (callers rely on them): strncat_s, declared in sealedc.h and called by the service
 * and the tests. */
#include "sealedc_internal.h"

/* Appends byte by byte with the overlap tests between steps. Only used when the bytes read and
 * the bytes written may meet; the outcome is the same as the block path's otherwise. */
static errno_t strncat_stepwise(char *strDest, size_t destMax, size_t len, const char *strSrc,
                                size_t count)
{
    uintptr_t d = SEALEDC_ADDR(strDest);
    uintptr_t s = SEALEDC_ADDR(strSrc);
    for (size_t j = 0; j < count; ++j) {
        char ch = strSrc[j];
        strDest[len + j] = ch;
        if (ch == '\0') {
            return EOK;
        }
        if (len + j == destMax - 1) {
            strDest[0] = '\0';
            return ERANGE_AND_RESET;
        }
        /* The next step would read the destination's first byte, or write the source's. */
        if ((s < d && s + j + 1 == d) || (d < s && d + len + j + 1 == s)) {
            strDest[0] = '\0';
            return EOVERLAP_AND_RESET;
        }
    }
    strDest[len + count] = '\0';
    return EOK;
}

errno_t strncat_s(char *strDest, size_t destMax, const char *strSrc, size_t count)
{
    errno_t ret = sealedc_check_string_count(strDest, destMax, strSrc, count);
    if (ret != EOK) {
        return ret;
    }

    uintptr_t d = SEALEDC_ADDR(strDest);
    uintptr_t s = SEALEDC_ADDR(strSrc);
    size_t len = strnlen(strDest, destMax);
    /* A destination below the source reaches the source's first byte before its terminator. */
    if (d < s && s - d < len) {
        strDest[0] = '\0';
        return EOVERLAP_AND_RESET;
    }
    if (len == destMax) {
        if (d < s && s - d < destMax) {
            strDest[0] = '\0';
            return EOVERLAP_AND_RESET;
        }
        strDest[0] = '\0';
        return EINVAL_AND_RESET;
    }
    if (count == 0) {
        return EOK;
    }

    size_t room = destMax - 1 - len; /* characters that fit before the terminator */
    size_t limit = count <= room ? count : room + 1;
    /* Block path when the bytes read, [src, src + limit], cannot meet the destination. */
    if (!sealedc_ranges_overlap(strDest, destMax, strSrc, limit + 1)) {
        size_t n = strnlen(strSrc, limit);
        if (n < limit) {
            memcpy(strDest + len, strSrc, n + 1);
            return EOK;
        }
        if (count <= room) {
            memcpy(strDest + len, strSrc, count);
            strDest[len + count] = '\0';
            return EOK;
        }
        /* The character stored at the last byte leaves no room for the terminator. */
        memcpy(strDest + len, strSrc, room + 1);
        strDest[0] = '\0';
        return ERANGE_AND_RESET;
    }
    return strncat_stepwise(strDest, destMax, len, strSrc, count);
}
