// The live Linux system as the registry sees it: network interfaces from <sysfs>/class/net and
// serial ports from <sysfs>/class/tty, with the hardware device each one hangs off. This layer
// only reads sysfs into plain records; LiveRegistry.cpp turns them into registry entries.
#ifndef IOKIT_LIVE_SYSFS_H
#define IOKIT_LIVE_SYSFS_H

#include <cstdint>
#include <string>
#include <vector>

namespace iokit::live {

// The registry's interface types ("IOInterfaceType"), as the platform numbers them.
constexpr int kInterfaceTypeEthernet = 6;
constexpr int kInterfaceTypeFireWire = 144;

// PCI class codes are class << 16 | subclass << 8 | programming interface.
constexpr uint32_t kPciClassNetwork = 0x02;           // the class
constexpr uint32_t kPciSubclassEthernet = 0x0200;     // the class and subclass

// The hardware a port hangs off. Ports of the same device share one record.
struct Device {
    enum class Bus { PCI, USB, Platform, Virtual };
    Bus bus = Bus::Virtual;
    std::string path;          // canonical sysfs path (the key), empty for the virtual device
    std::string name;          // last path component ("0000:00:03.0", "1-1", "00:00:0.0")
    std::string driver;        // bound driver, when there is one
    // PCI
    std::string pciAddress;    // "0000:00:03.0"
    std::string slotName;      // physical slot from <sysfs>/bus/pci/slots, empty when unknown
    int childIndex = -1;       // function number on a multi-port network card, else -1
    uint32_t pciClass = 0;     // class code (0x020000 for Ethernet)
    uint16_t vendorId = 0;
    uint16_t deviceId = 0;
    // USB
    std::string usbProduct;
    std::string usbManufacturer;
    std::string usbSerial;
};

struct NetworkInterface {
    std::string name;          // kernel name, which the registry calls the BSD name
    int interfaceType = 0;     // kInterfaceTypeEthernet or kInterfaceTypeFireWire
    int ifindex = 0;
    unsigned mtu = 0;
    std::vector<uint8_t> hardwareAddress;
    bool wireless = false;
    std::string driver;
    std::size_t device = 0;    // index into LiveSystem::devices
};

struct SerialPort {
    std::string name;          // "ttyUSB0"
    std::string baseName;      // "ttyUSB"
    std::string suffix;        // "0"
    bool modemClass = false;   // CDC ACM and GSM-modem drivers; everything else is RS-232 class
    std::string driver;
    std::size_t device = 0;    // index into LiveSystem::devices
};

struct LiveSystem {
    std::vector<Device> devices;
    std::vector<NetworkInterface> interfaces;  // in interface-index order
    std::vector<SerialPort> serialPorts;       // by base name, then numeric suffix
};

// Reads the system below sysfsRoot ("/sys" normally; tests point it at a tree of their own).
// Entries that cannot be read are left out; the scan itself never fails.
LiveSystem ScanSysfs(const std::string &sysfsRoot);

// Parses "02:fc:00:00:00:01" into bytes; an empty vector when the text is not such an address.
std::vector<uint8_t> ParseHardwareAddress(const std::string &text);

}  // namespace iokit::live

#endif
