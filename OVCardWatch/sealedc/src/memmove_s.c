/* memmove_s: a copy between possibly overlapping ranges. */
#include "sealedc_internal.h"

errno_t memmove_s(void *dest, size_t destMax, const void *src, size_t count)
{
    if (destMax == 0 || destMax > SEALEDC_MAX_LEN) {
        return ERANGE;
    }
    if (dest == NULL) {
        return EINVAL;
    }
    if (src == NULL) {
        memset(dest, 0, destMax);
        return EINVAL_AND_RESET;
    }
    if (count > destMax) {
        memset(dest, 0, destMax);
        return ERANGE_AND_RESET;
    }
    if (dest == src || count == 0) {
        return EOK;
    }
    memmove(dest, src, count);
    return EOK;
}
