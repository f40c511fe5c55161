/*
 * Class names and property keys of network controllers (the parent of an interface).
 */
#ifndef IOKIT_NETWORK_IONETWORKCONTROLLER_H
#define IOKIT_NETWORK_IONETWORKCONTROLLER_H

#define kIONetworkControllerClass "IONetworkController"
#define kIOEthernetControllerClass "IOEthernetController"

#define kIOMACAddress "IOMACAddress" /* data: the hardware address, 6 bytes for Ethernet */

#endif /* IOKIT_NETWORK_IONETWORKCONTROLLER_H */
