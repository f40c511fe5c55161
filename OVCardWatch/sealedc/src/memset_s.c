/* memset_s and its twins memset_sOptAsm and memset_sOptTc: fills with the low byte of c. */
#include "sealedc_internal.h"

/* Fills below this size are done with inline stores by the twins. */
#define SEALEDC_SMALL_FILL 33

static errno_t memset_error(void *dest, size_t destMax, int c, size_t count)
{
    if (destMax == 0 || destMax > SEALEDC_MAX_LEN) {
        return ERANGE;
    }
    if (dest == NULL) {
        return EINVAL;
    }
    /* count above destMax: the whole destination gets the requested value, not zero. */
    memset(dest, c, destMax);
    return ERANGE_AND_RESET;
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
        if (count < SEALEDC_SMALL_FILL) {
            sealedc_small_fill(dest, (unsigned char)c, count);
        } else {
            memset(dest, c, count);
        }
        return EOK;
    }
    return memset_error(dest, destMax, c, count);
}

/* The caller vouches for destMax: the shortcut does not test it against SEALEDC_MAX_LEN. */
errno_t memset_sOptTc(void *dest, size_t destMax, int c, size_t count)
{
    if (dest != NULL && count <= destMax) {
        if (count < SEALEDC_SMALL_FILL) {
            sealedc_small_fill(dest, (unsigned char)c, count);
        } else {
            memset(dest, c, count);
        }
        return EOK;
    }
    return memset_error(dest, destMax, c, count);
}
