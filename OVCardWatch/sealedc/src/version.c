/* The library's version banner and number.
 *
 * Fixed names (callers rely on them): getOvSealedCVersion, declared in sealedc.h and called by the
 * tests, which also check the banner and the number. */
#include "sealedc.h"

#define SEALEDC_VERSION_BANNER "Revediri Sealed C Library V5.04.00 OV"
#define SEALEDC_VERSION_NUMBER 0x0504

_Static_assert(sizeof(SEALEDC_VERSION_BANNER) == 38, "the banner is 37 characters");

void getOvSealedCVersion(char *verStr, int bufSize, unsigned short *version)
{
    if (verStr != NULL && bufSize >= 1) {
        /* A buffer of fewer than 38 bytes gets an empty string from strcpy_s. */
        (void)strcpy_s(verStr, (size_t)bufSize, SEALEDC_VERSION_BANNER);
    }
    if (version != NULL) {
        *version = SEALEDC_VERSION_NUMBER;
    }
}
