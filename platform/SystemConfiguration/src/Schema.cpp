// The schema constants: one immortal string each, with the platform's text.
#include <SystemConfiguration/SystemConfiguration.h>

// Reserved and top-level keys of the preferences store
const CFStringRef kSCResvLink = CFSTR("__LINK__");
const CFStringRef kSCResvInactive = CFSTR("__INACTIVE__");
const CFStringRef kSCPropUserDefinedName = CFSTR("UserDefinedName");
const CFStringRef kSCPropMACAddress = CFSTR("MACAddress");
const CFStringRef kSCPropVersion = CFSTR("Version");
const CFStringRef kSCPrefCurrentSet = CFSTR("CurrentSet");
const CFStringRef kSCPrefNetworkServices = CFSTR("NetworkServices");
const CFStringRef kSCPrefSets = CFSTR("Sets");
const CFStringRef kSCPrefSystem = CFSTR("System");

// Path components
const CFStringRef kSCCompNetwork = CFSTR("Network");
const CFStringRef kSCCompService = CFSTR("Service");
const CFStringRef kSCCompGlobal = CFSTR("Global");
const CFStringRef kSCCompSystem = CFSTR("System");
const CFStringRef kSCCompInterface = CFSTR("Interface");
const CFStringRef kSCCompAnyRegex = CFSTR("[^/]+");

// Dynamic-store domains
const CFStringRef kSCDynamicStoreDomainFile = CFSTR("File:");
const CFStringRef kSCDynamicStoreDomainPlugin = CFSTR("Plugin:");
const CFStringRef kSCDynamicStoreDomainSetup = CFSTR("Setup:");
const CFStringRef kSCDynamicStoreDomainState = CFSTR("State:");
const CFStringRef kSCDynamicStoreDomainPrefs = CFSTR("Prefs:");

// Entities
const CFStringRef kSCEntNetAirPort = CFSTR("AirPort");
const CFStringRef kSCEntNetAppleTalk = CFSTR("AppleTalk");
const CFStringRef kSCEntNetDHCP = CFSTR("DHCP");
const CFStringRef kSCEntNetDNS = CFSTR("DNS");
const CFStringRef kSCEntNetEthernet = CFSTR("Ethernet");
const CFStringRef kSCEntNetFireWire = CFSTR("FireWire");
const CFStringRef kSCEntNetInterface = CFSTR("Interface");
const CFStringRef kSCEntNetIPv4 = CFSTR("IPv4");
const CFStringRef kSCEntNetIPv6 = CFSTR("IPv6");
const CFStringRef kSCEntNetLink = CFSTR("Link");
const CFStringRef kSCEntNetModem = CFSTR("Modem");
const CFStringRef kSCEntNetNetInfo = CFSTR("NetInfo");
const CFStringRef kSCEntNetPPP = CFSTR("PPP");
const CFStringRef kSCEntNetPPPoE = CFSTR("PPPoE");
const CFStringRef kSCEntNetPPPSerial = CFSTR("PPPSerial");
const CFStringRef kSCEntNetProxies = CFSTR("Proxies");

// Global IPv4 entity of a set
const CFStringRef kSCPropNetServiceOrder = CFSTR("ServiceOrder");
const CFStringRef kSCPropNetPPPOverridePrimary = CFSTR("PPPOverridePrimary");
const CFStringRef kSCPropNetOverridePrimary = CFSTR("OverridePrimary");

// Interface entity
const CFStringRef kSCPropNetInterfaceDeviceName = CFSTR("DeviceName");
const CFStringRef kSCPropNetInterfaceHardware = CFSTR("Hardware");
const CFStringRef kSCPropNetInterfaceType = CFSTR("Type");
const CFStringRef kSCPropNetInterfaceSubType = CFSTR("SubType");
const CFStringRef kSCPropNetInterfaceSupportsModemOnHold = CFSTR("SupportsModemOnHold");
const CFStringRef kSCValNetInterfaceTypeEthernet = CFSTR("Ethernet");
const CFStringRef kSCValNetInterfaceTypeFireWire = CFSTR("FireWire");
const CFStringRef kSCValNetInterfaceTypePPP = CFSTR("PPP");
const CFStringRef kSCValNetInterfaceType6to4 = CFSTR("6to4");
const CFStringRef kSCValNetInterfaceSubTypePPPSerial = CFSTR("PPPSerial");
const CFStringRef kSCValNetInterfaceSubTypePPPoE = CFSTR("PPPoE");
const CFStringRef kSCValNetInterfaceSubTypePPTP = CFSTR("PPTP");
const CFStringRef kSCValNetInterfaceSubTypeL2TP = CFSTR("L2TP");

// IPv4, IPv6 and DNS entities
const CFStringRef kSCPropNetIPv4Addresses = CFSTR("Addresses");
const CFStringRef kSCPropNetIPv4ConfigMethod = CFSTR("ConfigMethod");
const CFStringRef kSCPropNetIPv4DHCPClientID = CFSTR("DHCPClientID");
const CFStringRef kSCPropNetIPv4Router = CFSTR("Router");
const CFStringRef kSCPropNetIPv4SubnetMasks = CFSTR("SubnetMasks");
const CFStringRef kSCPropNetIPv4DestAddresses = CFSTR("DestAddresses");
const CFStringRef kSCPropNetIPv4BroadcastAddresses = CFSTR("BroadcastAddresses");
const CFStringRef kSCValNetIPv4ConfigMethodBOOTP = CFSTR("BOOTP");
const CFStringRef kSCValNetIPv4ConfigMethodDHCP = CFSTR("DHCP");
const CFStringRef kSCValNetIPv4ConfigMethodINFORM = CFSTR("INFORM");
const CFStringRef kSCValNetIPv4ConfigMethodLinkLocal = CFSTR("LinkLocal");
const CFStringRef kSCValNetIPv4ConfigMethodManual = CFSTR("Manual");
const CFStringRef kSCValNetIPv4ConfigMethodPPP = CFSTR("PPP");
const CFStringRef kSCPropNetIPv6Addresses = CFSTR("Addresses");
const CFStringRef kSCPropNetIPv6ConfigMethod = CFSTR("ConfigMethod");
const CFStringRef kSCPropNetIPv6DestAddresses = CFSTR("DestAddresses");
const CFStringRef kSCPropNetIPv6Flags = CFSTR("Flags");
const CFStringRef kSCPropNetIPv6PrefixLength = CFSTR("PrefixLength");
const CFStringRef kSCPropNetIPv6Router = CFSTR("Router");
const CFStringRef kSCValNetIPv6ConfigMethodAutomatic = CFSTR("Automatic");
const CFStringRef kSCValNetIPv6ConfigMethodManual = CFSTR("Manual");
const CFStringRef kSCValNetIPv6ConfigMethodRouterAdvertisement = CFSTR("RouterAdvertisement");
const CFStringRef kSCValNetIPv6ConfigMethod6to4 = CFSTR("6to4");
const CFStringRef kSCPropNetDNSDomainName = CFSTR("DomainName");
const CFStringRef kSCPropNetDNSSearchDomains = CFSTR("SearchDomains");
const CFStringRef kSCPropNetDNSServerAddresses = CFSTR("ServerAddresses");
const CFStringRef kSCPropNetDNSSortList = CFSTR("SortList");

// Proxies entity
const CFStringRef kSCPropNetProxiesExceptionsList = CFSTR("ExceptionsList");
const CFStringRef kSCPropNetProxiesFTPPassive = CFSTR("FTPPassive");
const CFStringRef kSCPropNetProxiesFTPEnable = CFSTR("FTPEnable");
const CFStringRef kSCPropNetProxiesFTPProxy = CFSTR("FTPProxy");
const CFStringRef kSCPropNetProxiesFTPPort = CFSTR("FTPPort");
const CFStringRef kSCPropNetProxiesGopherEnable = CFSTR("GopherEnable");
const CFStringRef kSCPropNetProxiesGopherProxy = CFSTR("GopherProxy");
const CFStringRef kSCPropNetProxiesGopherPort = CFSTR("GopherPort");
const CFStringRef kSCPropNetProxiesHTTPEnable = CFSTR("HTTPEnable");
const CFStringRef kSCPropNetProxiesHTTPProxy = CFSTR("HTTPProxy");
const CFStringRef kSCPropNetProxiesHTTPPort = CFSTR("HTTPPort");
const CFStringRef kSCPropNetProxiesHTTPSEnable = CFSTR("HTTPSEnable");
const CFStringRef kSCPropNetProxiesHTTPSProxy = CFSTR("HTTPSProxy");
const CFStringRef kSCPropNetProxiesHTTPSPort = CFSTR("HTTPSPort");
const CFStringRef kSCPropNetProxiesRTSPEnable = CFSTR("RTSPEnable");
const CFStringRef kSCPropNetProxiesRTSPProxy = CFSTR("RTSPProxy");
const CFStringRef kSCPropNetProxiesRTSPPort = CFSTR("RTSPPort");
const CFStringRef kSCPropNetProxiesSOCKSEnable = CFSTR("SOCKSEnable");
const CFStringRef kSCPropNetProxiesSOCKSProxy = CFSTR("SOCKSProxy");
const CFStringRef kSCPropNetProxiesSOCKSPort = CFSTR("SOCKSPort");

// PPP entity
const CFStringRef kSCPropNetPPPACSPEnabled = CFSTR("ACSPEnabled");
const CFStringRef kSCPropNetPPPAuthName = CFSTR("AuthName");
const CFStringRef kSCPropNetPPPAuthPassword = CFSTR("AuthPassword");
const CFStringRef kSCPropNetPPPAuthPasswordEncryption = CFSTR("AuthPasswordEncryption");
const CFStringRef kSCPropNetPPPAuthProtocol = CFSTR("AuthProtocol");
const CFStringRef kSCPropNetPPPCommAlternateRemoteAddress = CFSTR("CommAlternateRemoteAddress");
const CFStringRef kSCPropNetPPPCommConnectDelay = CFSTR("CommConnectDelay");
const CFStringRef kSCPropNetPPPCommDisplayTerminalWindow = CFSTR("CommDisplayTerminalWindow");
const CFStringRef kSCPropNetPPPCommRedialCount = CFSTR("CommRedialCount");
const CFStringRef kSCPropNetPPPCommRedialEnabled = CFSTR("CommRedialEnabled");
const CFStringRef kSCPropNetPPPCommRedialInterval = CFSTR("CommRedialInterval");
const CFStringRef kSCPropNetPPPCommRemoteAddress = CFSTR("CommRemoteAddress");
const CFStringRef kSCPropNetPPPCommTerminalScript = CFSTR("CommTerminalScript");
const CFStringRef kSCPropNetPPPCommUseTerminalScript = CFSTR("CommUseTerminalScript");
const CFStringRef kSCPropNetPPPDialOnDemand = CFSTR("DialOnDemand");
const CFStringRef kSCPropNetPPPDisconnectOnIdle = CFSTR("DisconnectOnIdle");
const CFStringRef kSCPropNetPPPDisconnectOnIdleTimer = CFSTR("DisconnectOnIdleTimer");
const CFStringRef kSCPropNetPPPDisconnectOnLogout = CFSTR("DisconnectOnLogout");
const CFStringRef kSCPropNetPPPDisconnectOnSleep = CFSTR("DisconnectOnSleep");
const CFStringRef kSCPropNetPPPDisconnectTime = CFSTR("DisconnectTime");
const CFStringRef kSCPropNetPPPIdleReminder = CFSTR("IdleReminder");
const CFStringRef kSCPropNetPPPIdleReminderTimer = CFSTR("IdleReminderTimer");
const CFStringRef kSCPropNetPPPIPCPCompressionVJ = CFSTR("IPCPCompressionVJ");
const CFStringRef kSCPropNetPPPLCPEchoEnabled = CFSTR("LCPEchoEnabled");
const CFStringRef kSCPropNetPPPLCPEchoFailure = CFSTR("LCPEchoFailure");
const CFStringRef kSCPropNetPPPLCPEchoInterval = CFSTR("LCPEchoInterval");
const CFStringRef kSCPropNetPPPLogfile = CFSTR("Logfile");
const CFStringRef kSCPropNetPPPVerboseLogging = CFSTR("VerboseLogging");

// Modem entity
const CFStringRef kSCPropNetModemConnectionScript = CFSTR("ConnectionScript");
const CFStringRef kSCPropNetModemConnectSpeed = CFSTR("ConnectSpeed");
const CFStringRef kSCPropNetModemDataCompression = CFSTR("DataCompression");
const CFStringRef kSCPropNetModemDialMode = CFSTR("DialMode");
const CFStringRef kSCPropNetModemErrorCorrection = CFSTR("ErrorCorrection");
const CFStringRef kSCPropNetModemHoldCallWaitingAudibleAlert = CFSTR("HoldCallWaitingAudibleAlert");
const CFStringRef kSCPropNetModemHoldDisconnectOnAnswer = CFSTR("HoldDisconnectOnAnswer");
const CFStringRef kSCPropNetModemHoldEnabled = CFSTR("HoldEnabled");
const CFStringRef kSCPropNetModemHoldReminder = CFSTR("HoldReminder");
const CFStringRef kSCPropNetModemHoldReminderTime = CFSTR("HoldReminderTime");
const CFStringRef kSCPropNetModemNote = CFSTR("Note");
const CFStringRef kSCPropNetModemPulseDial = CFSTR("PulseDial");
const CFStringRef kSCPropNetModemSpeaker = CFSTR("Speaker");
const CFStringRef kSCPropNetModemSpeakerVolume = CFSTR("SpeakerVolume");
const CFStringRef kSCValNetModemDialModeIgnoreDialTone = CFSTR("IgnoreDialTone");
const CFStringRef kSCValNetModemDialModeManual = CFSTR("Manual");
const CFStringRef kSCValNetModemDialModeWaitForDialTone = CFSTR("WaitForDialTone");

// AirPort and Ethernet entities
const CFStringRef kSCPropNetAirPortAllowNetCreation = CFSTR("AllowNetCreation");
const CFStringRef kSCPropNetAirPortAuthPassword = CFSTR("AuthPassword");
const CFStringRef kSCPropNetAirPortAuthPasswordEncryption = CFSTR("AuthPasswordEncryption");
const CFStringRef kSCPropNetAirPortJoinMode = CFSTR("JoinMode");
const CFStringRef kSCPropNetAirPortPowerEnabled = CFSTR("PowerEnabled");
const CFStringRef kSCPropNetAirPortPreferredNetwork = CFSTR("PreferredNetwork");
const CFStringRef kSCPropNetAirPortSavePasswords = CFSTR("SavePasswords");
const CFStringRef kSCPropNetEthernetMediaSubType = CFSTR("MediaSubType");
const CFStringRef kSCPropNetEthernetMediaOptions = CFSTR("MediaOptions");
const CFStringRef kSCPropNetEthernetMTU = CFSTR("MTU");

// Interface types of the network-configuration views
const CFStringRef kSCNetworkInterfaceType6to4 = CFSTR("6to4");
const CFStringRef kSCNetworkInterfaceTypeBluetooth = CFSTR("Bluetooth");
const CFStringRef kSCNetworkInterfaceTypeEthernet = CFSTR("Ethernet");
const CFStringRef kSCNetworkInterfaceTypeFireWire = CFSTR("FireWire");
const CFStringRef kSCNetworkInterfaceTypeIEEE80211 = CFSTR("IEEE80211");
const CFStringRef kSCNetworkInterfaceTypeIrDA = CFSTR("IrDA");
const CFStringRef kSCNetworkInterfaceTypeL2TP = CFSTR("L2TP");
const CFStringRef kSCNetworkInterfaceTypeModem = CFSTR("Modem");
const CFStringRef kSCNetworkInterfaceTypePPP = CFSTR("PPP");
const CFStringRef kSCNetworkInterfaceTypePPTP = CFSTR("PPTP");
const CFStringRef kSCNetworkInterfaceTypeSerial = CFSTR("Serial");
