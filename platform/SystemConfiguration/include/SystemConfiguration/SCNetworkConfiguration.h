/* Network-configuration objects: views of a preferences object's sets, services and interfaces. */
#ifndef SC_NETWORK_CONFIGURATION_H
#define SC_NETWORK_CONFIGURATION_H

#include <SystemConfiguration/SCPreferences.h>

CF_EXTERN_C_BEGIN

typedef const struct __SCNetworkInterface *SCNetworkInterfaceRef;
typedef const struct __SCNetworkService *SCNetworkServiceRef;
typedef const struct __SCNetworkSet *SCNetworkSetRef;

/* Interface types (SCNetworkInterfaceGetInterfaceType answers one of these objects itself). */
extern const CFStringRef kSCNetworkInterfaceType6to4;      /* "6to4" */
extern const CFStringRef kSCNetworkInterfaceTypeBluetooth; /* "Bluetooth" */
extern const CFStringRef kSCNetworkInterfaceTypeEthernet;  /* "Ethernet" */
extern const CFStringRef kSCNetworkInterfaceTypeFireWire;  /* "FireWire" */
extern const CFStringRef kSCNetworkInterfaceTypeIEEE80211; /* "IEEE80211" */
extern const CFStringRef kSCNetworkInterfaceTypeIrDA;      /* "IrDA" */
extern const CFStringRef kSCNetworkInterfaceTypeL2TP;      /* "L2TP" */
extern const CFStringRef kSCNetworkInterfaceTypeModem;     /* "Modem" */
extern const CFStringRef kSCNetworkInterfaceTypePPP;       /* "PPP" */
extern const CFStringRef kSCNetworkInterfaceTypePPTP;      /* "PPTP" */
extern const CFStringRef kSCNetworkInterfaceTypeSerial;    /* "Serial" */

CFTypeID SCNetworkInterfaceGetTypeID(void);
CFStringRef SCNetworkInterfaceGetBSDName(SCNetworkInterfaceRef interface);
CFStringRef SCNetworkInterfaceGetInterfaceType(SCNetworkInterfaceRef interface);
SCNetworkInterfaceRef SCNetworkInterfaceGetInterface(SCNetworkInterfaceRef interface);

CFTypeID SCNetworkServiceGetTypeID(void);
SCNetworkInterfaceRef SCNetworkServiceGetInterface(SCNetworkServiceRef service);
CFStringRef SCNetworkServiceGetName(SCNetworkServiceRef service);
CFStringRef SCNetworkServiceGetServiceID(SCNetworkServiceRef service);
Boolean SCNetworkServiceGetEnabled(SCNetworkServiceRef service);

CFTypeID SCNetworkSetGetTypeID(void);
SCNetworkSetRef SCNetworkSetCopyCurrent(SCPreferencesRef prefs);
CFArrayRef SCNetworkSetCopyServices(SCNetworkSetRef set);
CFStringRef SCNetworkSetGetName(SCNetworkSetRef set);
CFStringRef SCNetworkSetGetSetID(SCNetworkSetRef set);

CF_EXTERN_C_END

#endif /* SC_NETWORK_CONFIGURATION_H */
