/*
 * Class name and property keys of network interfaces in the registry.
 */
#ifndef IOKIT_NETWORK_IONETWORKINTERFACE_H
#define IOKIT_NETWORK_IONETWORKINTERFACE_H

#define kIONetworkInterfaceClass "IONetworkInterface"

#define kIOInterfaceType "IOInterfaceType"           /* number: 6 Ethernet, 144 FireWire */
#define kIOInterfaceName "IOInterfaceName"           /* name prefix, "eth" for "eth0" */
#define kIOInterfaceUnit "IOInterfaceUnit"           /* number: the unit, 0 for "eth0" */
#define kIOMaxTransferUnit "IOMaxTransferUnit"       /* number */
#define kIOMediaAddressLength "IOMediaAddressLength" /* number */
#include <IOKit/IOBSD.h>

#endif /* IOKIT_NETWORK_IONETWORKINTERFACE_H */
