/* strncpy_s: copies at most count characters and always terminates. With count below destMax a
 * longer source is cut to count characters; the service relies on that.
 *
 * Fixed names (callers rely on them): strncpy_s, declared in sealedc.h and called by the service,
 * the tests and the benchmarks. */
#include "sealedc_internal.h"

static errno_t strncpy_error(char *strDest, size_t destMax, const char *strSrc, size_t count)
{
    errno_t ret = sealedc_check_string_count(strDest, destMax, strSrc, count);
    if (ret != EOK) {
        return ret;
    }
    /* count is 0: the destination becomes the empty string. */
    strDest[0] = '\0';
    return EOK;
}

errno_t strncpy_s(char *strDest, size_t destMax, const char *strSrc, size_t count)
{
    if (count - 1 >= SEALEDC_MAX_LEN || strDest == NULL || strSrc == NULL ||
        destMax - 1 >= SEALEDC_MAX_LEN) {
        return strncpy_error(strDest, destMax, strSrc, count);
    }

    /* A terminator within the first min(count, destMax) bytes ends the copy there. Without one,
     * count characters are copied and terminated when they leave room for the terminator;
     * otherwise the character at destMax - 1 cannot fit. */
    size_t limit = count < destMax ? count : destMax;
    size_t len = strnlen(strSrc, limit);
    size_t n;
    int appendTerminator;
    if (len < limit) {
        n = len + 1;
        appendTerminator = 0;
    } else if (count < destMax) {
        n = count + 1;
        appendTerminator = 1;
    } else {
        strDest[0] = '\0';
        return ERANGE_AND_RESET;
    }

    if (strDest != strSrc && sealedc_ranges_overlap(strDest, n, strSrc, n)) {
        strDest[0] = '\0';
        return EOVERLAP_AND_RESET;
    }
    if (appendTerminator) {
        if (strDest != strSrc) {
            memcpy(strDest, strSrc, count);
        }
        strDest[count] = '\0';
    } else if (strDest != strSrc) {
        memcpy(strDest, strSrc, n);
    }
    return EOK;
}
