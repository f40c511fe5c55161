/* memmove_s: a copy between possibly overlapping ranges.
 *
 * Fixed names (callers rely on them): memmove_s, declared in sealedc.h and called by the service
 * and the tests. */
#include "sealedc_internal.h"

errno_t memmove_s(void *dest, size_t destMax, const void *src, size_t count)
{
    errno_t ret = sealedc_check_copy(dest, destMax, src, count);
    if (ret != EOK) {
        return ret;
    }
    if (dest == src || count == 0) {
        return EOK;
    }
    memmove(dest, src, count);
    return EOK;
}
