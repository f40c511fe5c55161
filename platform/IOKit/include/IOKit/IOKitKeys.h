/*
 * Names of the registry planes and of the keys of matching dictionaries and registry entries.
 */
#ifndef IOKIT_IOKITKEYS_H
#define IOKIT_IOKITKEYS_H

/* Planes. The registry here has one plane: a parent is the provider in the service plane. */
#define kIOServicePlane "IOService"

/* Matching dictionary keys. */
#define kIOProviderClassKey "IOProviderClass"
#define kIONameMatchKey "IONameMatch"
#define kIOPropertyMatchKey "IOPropertyMatch"
#define kIOParentMatchKey "IOParentMatch"
#define kIOMatchCategoryKey "IOMatchCategory"
#define kIOProbeScoreKey "IOProbeScore"

/* Registry entry properties. */
#define kIOClassKey "IOClass"
#define kIONameKey "IOName"

#endif /* IOKIT_IOKITKEYS_H */
