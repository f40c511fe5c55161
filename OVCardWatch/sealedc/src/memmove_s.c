/* memmove_s: a copy between possibly overlapping ranges. */
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
