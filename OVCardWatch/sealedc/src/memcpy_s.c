/* memcpy_s and its twins memcpy_sOptAsm and memcpy_sOptTc: copies that refuse overlapping
 * ranges.
 *
 * Fixed names (callers rely on them), declared in sealedc.h: memcpy_s (the service, the tests, the
 * benchmarks), memcpy_sOptAsm and memcpy_sOptTc (the tests). */
#include "sealedc_internal.h"

/* Copies below this size are done with inline stores by the twins. */
#define SEALEDC_SMALL_COPY 65

/* The failure classification shared by the three copies; only called once the success
 * shortcut has not applied. */
static errno_t memcpy_error(void *dest, size_t destMax, const void *src, size_t count)
{
    uintptr_t d = SEALEDC_ADDR(dest);
    uintptr_t s = SEALEDC_ADDR(src);

    errno_t ret = sealedc_check_copy(dest, destMax, src, count);
    if (ret != EOK) {
        return ret;
    }
    if (dest == src) {
        return EOK;
    }
    if ((d > s && d - s < count) || (s > d && s - d < count)) {
        memset(dest, 0, destMax);
        return EOVERLAP_AND_RESET;
    }
    /* count is 0 */
    return EOK;
}

/* Both ranges of count bytes are disjoint and distinct. */
static inline int copy_ranges_apart(const void *dest, const void *src, size_t count)
{
    uintptr_t d = SEALEDC_ADDR(dest);
    uintptr_t s = SEALEDC_ADDR(src);
    return (d > s && d - s >= count) || (s > d && s - d >= count);
}

/* The twins' copy: inline stores below SEALEDC_SMALL_COPY bytes, the platform's memcpy above. */
static inline void copy_small_inline(void *dest, const void *src, size_t count)
{
    if (count < SEALEDC_SMALL_COPY) {
        sealedc_small_copy(dest, src, count);
    } else {
        memcpy(dest, src, count);
    }
}

errno_t memcpy_s(void *dest, size_t destMax, const void *src, size_t count)
{
    if (count != 0 && destMax <= SEALEDC_MAX_LEN && dest != NULL && src != NULL &&
        count <= destMax && copy_ranges_apart(dest, src, count)) {
        memcpy(dest, src, count);
        return EOK;
    }
    return memcpy_error(dest, destMax, src, count);
}

errno_t memcpy_sOptAsm(void *dest, size_t destMax, const void *src, size_t count)
{
    if (count != 0 && destMax <= SEALEDC_MAX_LEN && dest != NULL && src != NULL &&
        count <= destMax && copy_ranges_apart(dest, src, count)) {
        copy_small_inline(dest, src, count);
        return EOK;
    }
    return memcpy_error(dest, destMax, src, count);
}

/* The caller vouches for destMax: the shortcut does not test it against SEALEDC_MAX_LEN. */
errno_t memcpy_sOptTc(void *dest, size_t destMax, const void *src, size_t count)
{
    if (count != 0 && dest != NULL && src != NULL && count <= destMax &&
        copy_ranges_apart(dest, src, count)) {
        copy_small_inline(dest, src, count);
        return EOK;
    }
    return memcpy_error(dest, destMax, src, count);
}
