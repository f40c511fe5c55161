/*
 * Classic status codes, and the small scalar types of the File Manager that CoreFoundation's base
 * header does not already provide.
 */
#ifndef CORESERVICES_MACERRORS_H
#define CORESERVICES_MACERRORS_H

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned long ItemCount;
typedef unsigned long UniCharCount;
typedef UInt32 OptionBits;
typedef UInt32 TextEncoding;

enum {
    paramErr = -50,          /* an argument is wrong */
    nsvErr = -35,            /* no such volume (or domain) */
    bdNamErr = -37,          /* a name is malformed or too long */
    fnfErr = -43,            /* file or folder not found */
    ioErr = -36,             /* the operating system refused an input or output operation */
    dirNFErr = -120,         /* a folder on the path does not exist */
    permErr = -54,           /* permission denied */
    memFullErr = -108,       /* out of memory */
    errFSNoMoreItems = -1417,   /* an iteration is exhausted */
    errFSBadFSRef = -1401,      /* a file reference is malformed or no longer valid */
    errFSBadBuffer = -1403,     /* a required buffer is missing */
    errFSNotAFolder = -1407,    /* the container is not a folder */
    errFSBadItemCount = -1418,  /* maximumObjects of a bulk call is 0 */
    errFSBadIteratorFlags = -1422,
    errFSRefsDifferent = -1420,     /* two references name different objects */
    errFSIteratorNotFound = -1423,  /* the iterator is not open */
    coreFoundationUnknownErr = -4960,  /* a CoreFoundation call returned none or false */
    gestaltUndefSelectorErr = -5551
};

#ifdef __cplusplus
}
#endif

#endif /* CORESERVICES_MACERRORS_H */
