// NetSprout: one run over the machine's ports. Every Ethernet port of the modem's maker (hardware
// address beginning "0a:3f:71") that no service of the current set uses gets a complete service
// of its own, committed and applied before the next port is looked at. It reports only through
// the system log and its exit status.
//
// The look-up and the creation for one port happen inside one locked session level: two runs at
// once (two devices plugged in together, or whatever starts the tool starting it twice) take
// turns per port, and the second one sees the first one's service instead of adding another.
#include <CoreFoundation/CoreFoundation.h>
#include <SystemConfiguration/SystemConfiguration.h>

#include <syslog.h>
#include <unistd.h>

#include "MoreSCF.h"
#include "MoreSCFPortScanner.h"

namespace {

// The maker's hardware-address prefix, compared exactly (the scanner writes lower-case groups).
const CFStringRef kMakerAddressPrefix = CFSTR("0a:3f:71");

// The interface a service runs over: a PPP service is looked through to the interface under it,
// so a PPP-over-Ethernet service counts as using its Ethernet port.
SCNetworkInterfaceRef UnderlyingInterface(SCNetworkServiceRef service)
{
    SCNetworkInterfaceRef interface = SCNetworkServiceGetInterface(service);
    if (interface != nullptr && SCNetworkInterfaceGetInterfaceType(interface) == kSCNetworkInterfaceTypePPP) {
        syslog(LOG_INFO, "Is ppp interface");
        interface = SCNetworkInterfaceGetInterface(interface);
    }
    return interface;
}

// Whether some service of the current set of prefs uses the device bsdName. Any failure on the
// way counts as "no": the service is then created, and its creation succeeds or fails on its own.
bool CurrentSetUsesDevice(SCPreferencesRef prefs, CFStringRef bsdName)
{
    SCNetworkSetRef set = SCNetworkSetCopyCurrent(prefs);
    if (set == nullptr) {
        syslog(LOG_ERR, "Get network set failed");
        return false;
    }
    CFArrayRef services = SCNetworkSetCopyServices(set);
    if (services == nullptr) {
        syslog(LOG_ERR, "Get all service id failed");
        CFRelease(set);
        return false;
    }
    bool used = false;
    for (CFIndex i = 0; i < CFArrayGetCount(services) && !used; i++) {
        auto service = static_cast<SCNetworkServiceRef>(CFArrayGetValueAtIndex(services, i));
        if (service == nullptr) {
            syslog(LOG_ERR, "Get service ref failed");
            continue;
        }
        SCNetworkInterfaceRef interface = UnderlyingInterface(service);
        if (interface == nullptr) {
            syslog(LOG_ERR, "Get interface failed");
            syslog(LOG_ERR, "Get service bsd name failed");
            continue;
        }
        CFStringRef serviceBSDName = SCNetworkInterfaceGetBSDName(interface);
        if (serviceBSDName == nullptr) {
            syslog(LOG_ERR, "Get service bsd name failed");
            continue;
        }
        used = CFEqual(serviceBSDName, bsdName);
    }
    CFRelease(services);
    CFRelease(set);
    return used;
}

void LogCreation(OSStatus err)
{
    if (err == noErr) {
        syslog(LOG_ERR, "Create service success");
    } else {
        syslog(LOG_ERR, "Create service failed, error is %d", static_cast<int>(err));
    }
}

// One qualifying port: under the preferences lock, look for a service of the current set on its
// device and create one when there is none; the outermost close commits and applies it. When the
// locked session cannot be had the port counts as unprovisioned and the service is created in a
// session of its own, as without the lock.
void ProvisionPort(CFDictionaryRef port, CFStringRef bsdName)
{
    MoreSCSetClient(CFSTR("NetSprout"));
    OSStatus err = MoreSCOpen(true, true);
    MoreSCSetClient(nullptr);
    if (err != noErr) {
        OSStatus ignored = err;
        MoreSCClose(&ignored, false);
        syslog(LOG_ERR, "Create preference failed");
        LogCreation(MoreSCNewService(nullptr, port, nullptr));
        return;
    }
    if (CurrentSetUsesDevice(MoreSCGetSCPreferencesRef(), bsdName)) {
        MoreSCClose(&err, false);
        syslog(LOG_ERR, "service exists");
        syslog(LOG_ERR, "Interface exists");
        return;
    }
    err = MoreSCNewService(nullptr, port, nullptr);
    MoreSCClose(&err, true);
    LogCreation(err);
}

// The decisions for one port of the array, in the order the log tells them.
void ExaminePort(CFTypeRef entry)
{
    if (entry == nullptr || CFGetTypeID(entry) != CFDictionaryGetTypeID()) {
        syslog(LOG_ERR, "Get device info dictionary failed");
        return;
    }
    auto port = static_cast<CFDictionaryRef>(entry);
    CFTypeRef type = CFDictionaryGetValue(port, kSCPropNetInterfaceType);
    if (type == nullptr || !CFEqual(type, kSCValNetInterfaceTypeEthernet)) {
        syslog(LOG_ERR, "Not ethernet device");
        syslog(LOG_ERR, "Not orveka ethernet device");
        return;
    }
    CFTypeRef address = CFDictionaryGetValue(port, kSCPropMACAddress);
    if (address == nullptr || CFGetTypeID(address) != CFStringGetTypeID() ||
        !CFStringHasPrefix(static_cast<CFStringRef>(address), kMakerAddressPrefix)) {
        syslog(LOG_ERR, "Not orveka device");
        syslog(LOG_ERR, "Not orveka ethernet device");
        return;
    }
    CFTypeRef bsdName = CFDictionaryGetValue(port, kSCPropNetInterfaceDeviceName);
    if (bsdName == nullptr || CFGetTypeID(bsdName) != CFStringGetTypeID()) {
        syslog(LOG_ERR, "Get device interface name failed");
        syslog(LOG_ERR, "Interface exists");
        return;
    }
    ProvisionPort(port, static_cast<CFStringRef>(bsdName));
}

}  // namespace

int main(int, char **)
{
    syslog(LOG_ERR, "Start to create network interface");
    CFArrayRef ports = nullptr;
    OSStatus err = MoreSCCreatePortArray(&ports);
    if (err != noErr || ports == nullptr) {
        syslog(LOG_ERR, "Create port array failed, error is %d", static_cast<int>(err));
        return -1;
    }
    syslog(LOG_ERR, "Found %ld device", static_cast<long>(CFArrayGetCount(ports)));
    for (CFIndex i = 0; i < CFArrayGetCount(ports); i++) {
        ExaminePort(CFArrayGetValueAtIndex(ports, i));
    }
    sleep(1);
    CFRelease(ports);
    return 0;
}
