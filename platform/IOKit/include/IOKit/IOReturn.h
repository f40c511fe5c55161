/*
 * IOKit status codes (the iokit_common error family).
 */
#ifndef IOKIT_IORETURN_H
#define IOKIT_IORETURN_H

#include <IOKit/IOTypes.h>

#define iokit_common_err(return) ((IOReturn)(0xe0000000 | (return)))

#define kIOReturnSuccess 0
#define kIOReturnError iokit_common_err(0x2bc)        /* general error */
#define kIOReturnNoMemory iokit_common_err(0x2bd)     /* can't allocate memory */
#define kIOReturnNoResources iokit_common_err(0x2be)  /* resource shortage */
#define kIOReturnNoDevice iokit_common_err(0x2c0)     /* no such device */
#define kIOReturnNotPrivileged iokit_common_err(0x2c1)
#define kIOReturnBadArgument iokit_common_err(0x2c2)  /* invalid argument */
#define kIOReturnUnsupported iokit_common_err(0x2c7)
#define kIOReturnNotFound iokit_common_err(0x2f0)     /* data was not found */

#endif /* IOKIT_IORETURN_H */
