/* memset_s and its twins memset_sOptAsm and memset_sOptTc: fills with the low byte of c.
 *
 * Fixed names (callers rely on them), declared in sealedc.h: memset_s (the service and the
 * tests), memset_sOptAsm and memset_sOptTc (the tests). */
#include "sealedc_internal.h"

/* Fills below this size are done with inline stores by the twins. */
#define SEALEDC_SMALL_FILL 33

static errno_t memset_error(void *dest, size_t destMax, int c, size_t count)
{
    errno_t ret = sealedc_check_dest(dest, destMax);
    if (ret != EOK) {
        return ret;
    }
    /* count above destMax: the whole destination gets the requested value, not zero. */
    memset(dest, c, destMax);
    return ERANGE_AND_RESET;
}

/* The twins' fill: inline stores below SEALEDC_SMALL_FILL bytes, the platform's memset above. */
static inline void fill_small_inline(void *dest, int c, size_t count)
{
    if (count < SEALEDC_SMALL_FILL) {
        sealedc_small_fill(dest, (unsigned char)c, count);
    } else {
        memset(dest, c, count);
    }
}

errno_t memset_s(void *dest, size_t destMax, int c, size_t count)
{
    if (destMax <= SEALEDC_MAX_LEN && dest != NULL && count <= destMax) {
        memset(dest, c, count);
        return EOK;
    }
    return memset_error(dest, destMax, c, count);
}

errno_t memset_sOptAsm(void *dest, size_t destMax, int c, size_t count)
{
    if (destMax <= SEALEDC_MAX_LEN && dest != NULL && count <= destMax) {
        fill_small_inline(dest, c, count);
        return EOK;
    }
    return memset_error(dest, destMax, c, count);
}

/* The caller vouches for destMax: the shortcut does not test it against SEALEDC_MAX_LEN. */
errno_t memset_sOptTc(void *dest, size_t destMax, int c, size_t count)
{
    if (dest != NULL && count <= destMax) {
        fill_small_inline(dest, c, count);
        return EOK;
    }
    return memset_error(dest, destMax, c, count);
}
