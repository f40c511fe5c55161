/*
 * Modem script catalogue: the names of the installed modem scripts, sorted and without
 * duplicates, and which of them is this machine's default.
 */
#ifndef MORESCF_CCL_SCANNER_H
#define MORESCF_CCL_SCANNER_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include "MoreSCFAssert.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A new mutable array of the file names of the visible files in the modem-scripts folders of the
 * user, network, local and system domains, sorted case-insensitively and numerically, each name
 * once. When indexOfDefaultCCL is given it receives the default script's index (0 when the
 * default is not installed, or the array is empty). On failure *result stays NULL: -108 no
 * memory, -4960 a name could not be made, or the File Manager's (or the port scan's) status. */
OSStatus MoreSCCreateCCLArray(CFArrayRef *result, CFIndex *indexOfDefaultCCL);

/* Replaces the process-wide default script name (retained); NULL forgets it, so the next
 * catalogue call that asks for an index works it out again. */
void MoreSCSetDefaultCCL(CFStringRef name);

#ifdef __cplusplus
}
#endif

#endif /* MORESCF_CCL_SCANNER_H */
