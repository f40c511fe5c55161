/* The names of the network preferences schema: keys, entities and values of the preferences
 * store and the dynamic store. Each constant is a string whose text is the platform's. */
#ifndef SC_SCHEMA_DEFINITIONS_H
#define SC_SCHEMA_DEFINITIONS_H

#include <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN

/* Reserved and top-level keys of the preferences store */
extern const CFStringRef kSCResvLink; /* "__LINK__" */
extern const CFStringRef kSCResvInactive; /* "__INACTIVE__" */
extern const CFStringRef kSCPropUserDefinedName; /* "UserDefinedName" */
extern const CFStringRef kSCPropMACAddress; /* "MACAddress" */
extern const CFStringRef kSCPropVersion; /* "Version" */
extern const CFStringRef kSCPrefCurrentSet; /* "CurrentSet" */
extern const CFStringRef kSCPrefNetworkServices; /* "NetworkServices" */
extern const CFStringRef kSCPrefSets; /* "Sets" */
extern const CFStringRef kSCPrefSystem; /* "System" */

/* Path components */
extern const CFStringRef kSCCompNetwork; /* "Network" */
extern const CFStringRef kSCCompService; /* "Service" */
extern const CFStringRef kSCCompGlobal; /* "Global" */
extern const CFStringRef kSCCompSystem; /* "System" */
extern const CFStringRef kSCCompInterface; /* "Interface" */
extern const CFStringRef kSCCompAnyRegex; /* "[^/]+" */

/* Dynamic-store domains */
extern const CFStringRef kSCDynamicStoreDomainFile; /* "File:" */
extern const CFStringRef kSCDynamicStoreDomainPlugin; /* "Plugin:" */
extern const CFStringRef kSCDynamicStoreDomainSetup; /* "Setup:" */
extern const CFStringRef kSCDynamicStoreDomainState; /* "State:" */
extern const CFStringRef kSCDynamicStoreDomainPrefs; /* "Prefs:" */

/* Entities */
extern const CFStringRef kSCEntNetAirPort; /* "AirPort" */
extern const CFStringRef kSCEntNetAppleTalk; /* "AppleTalk" */
extern const CFStringRef kSCEntNetDHCP; /* "DHCP" */
extern const CFStringRef kSCEntNetDNS; /* "DNS" */
extern const CFStringRef kSCEntNetEthernet; /* "Ethernet" */
extern const CFStringRef kSCEntNetFireWire; /* "FireWire" */
extern const CFStringRef kSCEntNetInterface; /* "Interface" */
extern const CFStringRef kSCEntNetIPv4; /* "IPv4" */
extern const CFStringRef kSCEntNetIPv6; /* "IPv6" */
extern const CFStringRef kSCEntNetLink; /* "Link" */
extern const CFStringRef kSCEntNetModem; /* "Modem" */
extern const CFStringRef kSCEntNetNetInfo; /* "NetInfo" */
extern const CFStringRef kSCEntNetPPP; /* "PPP" */
extern const CFStringRef kSCEntNetPPPoE; /* "PPPoE" */
extern const CFStringRef kSCEntNetPPPSerial; /* "PPPSerial" */
extern const CFStringRef kSCEntNetProxies; /* "Proxies" */

/* Global IPv4 entity of a set */
extern const CFStringRef kSCPropNetServiceOrder; /* "ServiceOrder" */
extern const CFStringRef kSCPropNetPPPOverridePrimary; /* "PPPOverridePrimary" */
extern const CFStringRef kSCPropNetOverridePrimary; /* "OverridePrimary" */

/* Interface entity */
extern const CFStringRef kSCPropNetInterfaceDeviceName; /* "DeviceName" */
extern const CFStringRef kSCPropNetInterfaceHardware; /* "Hardware" */
extern const CFStringRef kSCPropNetInterfaceType; /* "Type" */
extern const CFStringRef kSCPropNetInterfaceSubType; /* "SubType" */
extern const CFStringRef kSCPropNetInterfaceSupportsModemOnHold; /* "SupportsModemOnHold" */
extern const CFStringRef kSCValNetInterfaceTypeEthernet; /* "Ethernet" */
extern const CFStringRef kSCValNetInterfaceTypeFireWire; /* "FireWire" */
extern const CFStringRef kSCValNetInterfaceTypePPP; /* "PPP" */
extern const CFStringRef kSCValNetInterfaceType6to4; /* "6to4" */
extern const CFStringRef kSCValNetInterfaceSubTypePPPSerial; /* "PPPSerial" */
extern const CFStringRef kSCValNetInterfaceSubTypePPPoE; /* "PPPoE" */
extern const CFStringRef kSCValNetInterfaceSubTypePPTP; /* "PPTP" */
extern const CFStringRef kSCValNetInterfaceSubTypeL2TP; /* "L2TP" */

/* IPv4, IPv6 and DNS entities */
extern const CFStringRef kSCPropNetIPv4Addresses; /* "Addresses" */
extern const CFStringRef kSCPropNetIPv4ConfigMethod; /* "ConfigMethod" */
extern const CFStringRef kSCPropNetIPv4DHCPClientID; /* "DHCPClientID" */
extern const CFStringRef kSCPropNetIPv4Router; /* "Router" */
extern const CFStringRef kSCPropNetIPv4SubnetMasks; /* "SubnetMasks" */
extern const CFStringRef kSCPropNetIPv4DestAddresses; /* "DestAddresses" */
extern const CFStringRef kSCPropNetIPv4BroadcastAddresses; /* "BroadcastAddresses" */
extern const CFStringRef kSCValNetIPv4ConfigMethodBOOTP; /* "BOOTP" */
extern const CFStringRef kSCValNetIPv4ConfigMethodDHCP; /* "DHCP" */
extern const CFStringRef kSCValNetIPv4ConfigMethodINFORM; /* "INFORM" */
extern const CFStringRef kSCValNetIPv4ConfigMethodLinkLocal; /* "LinkLocal" */
extern const CFStringRef kSCValNetIPv4ConfigMethodManual; /* "Manual" */
extern const CFStringRef kSCValNetIPv4ConfigMethodPPP; /* "PPP" */
extern const CFStringRef kSCPropNetIPv6Addresses; /* "Addresses" */
extern const CFStringRef kSCPropNetIPv6ConfigMethod; /* "ConfigMethod" */
extern const CFStringRef kSCPropNetIPv6DestAddresses; /* "DestAddresses" */
extern const CFStringRef kSCPropNetIPv6Flags; /* "Flags" */
extern const CFStringRef kSCPropNetIPv6PrefixLength; /* "PrefixLength" */
extern const CFStringRef kSCPropNetIPv6Router; /* "Router" */
extern const CFStringRef kSCValNetIPv6ConfigMethodAutomatic; /* "Automatic" */
extern const CFStringRef kSCValNetIPv6ConfigMethodManual; /* "Manual" */
extern const CFStringRef kSCValNetIPv6ConfigMethodRouterAdvertisement; /* "RouterAdvertisement" */
extern const CFStringRef kSCValNetIPv6ConfigMethod6to4; /* "6to4" */
extern const CFStringRef kSCPropNetDNSDomainName; /* "DomainName" */
extern const CFStringRef kSCPropNetDNSSearchDomains; /* "SearchDomains" */
extern const CFStringRef kSCPropNetDNSServerAddresses; /* "ServerAddresses" */
extern const CFStringRef kSCPropNetDNSSortList; /* "SortList" */

/* Proxies entity */
extern const CFStringRef kSCPropNetProxiesExceptionsList; /* "ExceptionsList" */
extern const CFStringRef kSCPropNetProxiesFTPPassive; /* "FTPPassive" */
extern const CFStringRef kSCPropNetProxiesFTPEnable; /* "FTPEnable" */
extern const CFStringRef kSCPropNetProxiesFTPProxy; /* "FTPProxy" */
extern const CFStringRef kSCPropNetProxiesFTPPort; /* "FTPPort" */
extern const CFStringRef kSCPropNetProxiesGopherEnable; /* "GopherEnable" */
extern const CFStringRef kSCPropNetProxiesGopherProxy; /* "GopherProxy" */
extern const CFStringRef kSCPropNetProxiesGopherPort; /* "GopherPort" */
extern const CFStringRef kSCPropNetProxiesHTTPEnable; /* "HTTPEnable" */
extern const CFStringRef kSCPropNetProxiesHTTPProxy; /* "HTTPProxy" */
extern const CFStringRef kSCPropNetProxiesHTTPPort; /* "HTTPPort" */
extern const CFStringRef kSCPropNetProxiesHTTPSEnable; /* "HTTPSEnable" */
extern const CFStringRef kSCPropNetProxiesHTTPSProxy; /* "HTTPSProxy" */
extern const CFStringRef kSCPropNetProxiesHTTPSPort; /* "HTTPSPort" */
extern const CFStringRef kSCPropNetProxiesRTSPEnable; /* "RTSPEnable" */
extern const CFStringRef kSCPropNetProxiesRTSPProxy; /* "RTSPProxy" */
extern const CFStringRef kSCPropNetProxiesRTSPPort; /* "RTSPPort" */
extern const CFStringRef kSCPropNetProxiesSOCKSEnable; /* "SOCKSEnable" */
extern const CFStringRef kSCPropNetProxiesSOCKSProxy; /* "SOCKSProxy" */
extern const CFStringRef kSCPropNetProxiesSOCKSPort; /* "SOCKSPort" */

/* PPP entity */
extern const CFStringRef kSCPropNetPPPACSPEnabled; /* "ACSPEnabled" */
extern const CFStringRef kSCPropNetPPPAuthName; /* "AuthName" */
extern const CFStringRef kSCPropNetPPPAuthPassword; /* "AuthPassword" */
extern const CFStringRef kSCPropNetPPPAuthPasswordEncryption; /* "AuthPasswordEncryption" */
extern const CFStringRef kSCPropNetPPPAuthProtocol; /* "AuthProtocol" */
extern const CFStringRef kSCPropNetPPPCommAlternateRemoteAddress; /* "CommAlternateRemoteAddress" */
extern const CFStringRef kSCPropNetPPPCommConnectDelay; /* "CommConnectDelay" */
extern const CFStringRef kSCPropNetPPPCommDisplayTerminalWindow; /* "CommDisplayTerminalWindow" */
extern const CFStringRef kSCPropNetPPPCommRedialCount; /* "CommRedialCount" */
extern const CFStringRef kSCPropNetPPPCommRedialEnabled; /* "CommRedialEnabled" */
extern const CFStringRef kSCPropNetPPPCommRedialInterval; /* "CommRedialInterval" */
extern const CFStringRef kSCPropNetPPPCommRemoteAddress; /* "CommRemoteAddress" */
extern const CFStringRef kSCPropNetPPPCommTerminalScript; /* "CommTerminalScript" */
extern const CFStringRef kSCPropNetPPPCommUseTerminalScript; /* "CommUseTerminalScript" */
extern const CFStringRef kSCPropNetPPPDialOnDemand; /* "DialOnDemand" */
extern const CFStringRef kSCPropNetPPPDisconnectOnIdle; /* "DisconnectOnIdle" */
extern const CFStringRef kSCPropNetPPPDisconnectOnIdleTimer; /* "DisconnectOnIdleTimer" */
extern const CFStringRef kSCPropNetPPPDisconnectOnLogout; /* "DisconnectOnLogout" */
extern const CFStringRef kSCPropNetPPPDisconnectOnSleep; /* "DisconnectOnSleep" */
extern const CFStringRef kSCPropNetPPPDisconnectTime; /* "DisconnectTime" */
extern const CFStringRef kSCPropNetPPPIdleReminder; /* "IdleReminder" */
extern const CFStringRef kSCPropNetPPPIdleReminderTimer; /* "IdleReminderTimer" */
extern const CFStringRef kSCPropNetPPPIPCPCompressionVJ; /* "IPCPCompressionVJ" */
extern const CFStringRef kSCPropNetPPPLCPEchoEnabled; /* "LCPEchoEnabled" */
extern const CFStringRef kSCPropNetPPPLCPEchoFailure; /* "LCPEchoFailure" */
extern const CFStringRef kSCPropNetPPPLCPEchoInterval; /* "LCPEchoInterval" */
extern const CFStringRef kSCPropNetPPPLogfile; /* "Logfile" */
extern const CFStringRef kSCPropNetPPPVerboseLogging; /* "VerboseLogging" */

/* Modem entity */
extern const CFStringRef kSCPropNetModemConnectionScript; /* "ConnectionScript" */
extern const CFStringRef kSCPropNetModemConnectSpeed; /* "ConnectSpeed" */
extern const CFStringRef kSCPropNetModemDataCompression; /* "DataCompression" */
extern const CFStringRef kSCPropNetModemDialMode; /* "DialMode" */
extern const CFStringRef kSCPropNetModemErrorCorrection; /* "ErrorCorrection" */
extern const CFStringRef kSCPropNetModemHoldCallWaitingAudibleAlert; /* "HoldCallWaitingAudibleAlert" */
extern const CFStringRef kSCPropNetModemHoldDisconnectOnAnswer; /* "HoldDisconnectOnAnswer" */
extern const CFStringRef kSCPropNetModemHoldEnabled; /* "HoldEnabled" */
extern const CFStringRef kSCPropNetModemHoldReminder; /* "HoldReminder" */
extern const CFStringRef kSCPropNetModemHoldReminderTime; /* "HoldReminderTime" */
extern const CFStringRef kSCPropNetModemNote; /* "Note" */
extern const CFStringRef kSCPropNetModemPulseDial; /* "PulseDial" */
extern const CFStringRef kSCPropNetModemSpeaker; /* "Speaker" */
extern const CFStringRef kSCPropNetModemSpeakerVolume; /* "SpeakerVolume" */
extern const CFStringRef kSCValNetModemDialModeIgnoreDialTone; /* "IgnoreDialTone" */
extern const CFStringRef kSCValNetModemDialModeManual; /* "Manual" */
extern const CFStringRef kSCValNetModemDialModeWaitForDialTone; /* "WaitForDialTone" */

/* AirPort and Ethernet entities */
extern const CFStringRef kSCPropNetAirPortAllowNetCreation; /* "AllowNetCreation" */
extern const CFStringRef kSCPropNetAirPortAuthPassword; /* "AuthPassword" */
extern const CFStringRef kSCPropNetAirPortAuthPasswordEncryption; /* "AuthPasswordEncryption" */
extern const CFStringRef kSCPropNetAirPortJoinMode; /* "JoinMode" */
extern const CFStringRef kSCPropNetAirPortPowerEnabled; /* "PowerEnabled" */
extern const CFStringRef kSCPropNetAirPortPreferredNetwork; /* "PreferredNetwork" */
extern const CFStringRef kSCPropNetAirPortSavePasswords; /* "SavePasswords" */
extern const CFStringRef kSCPropNetEthernetMediaSubType; /* "MediaSubType" */
extern const CFStringRef kSCPropNetEthernetMediaOptions; /* "MediaOptions" */
extern const CFStringRef kSCPropNetEthernetMTU; /* "MTU" */

CF_EXTERN_C_END

#endif /* SC_SCHEMA_DEFINITIONS_H */
