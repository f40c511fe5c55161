/*
 * The registry property that names an object's BSD (kernel) device or interface.
 */
#ifndef IOKIT_IOBSD_H
#define IOKIT_IOBSD_H

#define kIOBSDNameKey "BSD Name"

#endif /* IOKIT_IOBSD_H */
