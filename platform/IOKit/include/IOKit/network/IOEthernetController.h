/*
 * Ethernet controllers: the hardware address key.
 */
#ifndef IOKIT_NETWORK_IOETHERNETCONTROLLER_H
#define IOKIT_NETWORK_IOETHERNETCONTROLLER_H

#include <IOKit/network/IONetworkController.h>

#endif /* IOKIT_NETWORK_IOETHERNETCONTROLLER_H */
