// The live registry: sysfs records turned into registry entries shaped as the platform's.
//
//   Root
//   +- device (IOPCIDevice, IOUSBDevice, IOPlatformDevice, or IOResources for virtual links)
//      +- controller (IOEthernetController / IO80211Controller): IOMACAddress, IOProviderClass
//      |  +- interface (IOEthernetInterface / IO80211Interface): BSD Name, IOInterfaceType, ...
//      +- serial port (IOSerialBSDClient): IOTTYBaseName, IOTTYDevice, IOCalloutDevice, ...
#include "CFSupport.h"
#include "LiveSysfs.h"
#include "Registry.h"

#include <cctype>
#include <cstdio>
#include <map>

namespace iokit {
namespace {

// The longest unit number an interface name's trailing digits give ("en12" is unit 12); longer
// runs of digits are not a unit and read as 0.
constexpr std::size_t kMaxUnitDigits = 9;

class LiveBuilder {
public:
    LiveBuilder(const live::LiveSystem &system, Registry &registry) : system_(system), registry_(registry) {}

    void Build()
    {
        for (const live::NetworkInterface &interface : system_.interfaces) {
            AddInterface(interface);
        }
        for (const live::SerialPort &port : system_.serialPorts) {
            AddSerialPort(port);
        }
    }

private:
    static const char *DeviceClass(const live::Device &device)
    {
        switch (device.bus) {
        case live::Device::Bus::PCI:
            return "IOPCIDevice";
        case live::Device::Bus::USB:
            return "IOUSBDevice";
        case live::Device::Bus::Platform:
            return "IOPlatformDevice";
        case live::Device::Bus::Virtual:
            break;
        }
        return "IOResources";
    }

    Entry *DeviceEntry(std::size_t index)
    {
        if (auto found = deviceEntries_.find(index); found != deviceEntries_.end()) {
            return found->second;
        }
        const live::Device &device = system_.devices.at(index);
        PropertyTable properties;
        std::string name = device.name;
        switch (device.bus) {
        case live::Device::Bus::PCI: {
            // Open Firmware style names: the function's kind, or its vendor and device numbers.
            if ((device.pciClass >> 8) == live::kPciSubclassEthernet) {
                name = "ethernet";
            } else if ((device.pciClass >> 16) == live::kPciClassNetwork) {
                name = "network";
            } else {
                char text[32];
                std::snprintf(text, sizeof text, "pci%x,%x", device.vendorId, device.deviceId);
                name = text;
            }
            properties.Set("name", MakeCStringData(name));
            if (!device.slotName.empty()) {
                properties.Set("AAPL,slot-name", MakeCStringData("SLOT-" + device.slotName));
            }
            if (device.childIndex >= 0) {
                properties.Set("IOChildIndex", MakeNumber(device.childIndex));
            }
            properties.Set("vendor-id", MakeNumber(device.vendorId));
            properties.Set("device-id", MakeNumber(device.deviceId));
            properties.Set("IOPCIAddress", CreateStringFromBytes(device.pciAddress));
            break;
        }
        case live::Device::Bus::USB:
            if (!device.usbProduct.empty()) {
                name = device.usbProduct;
                properties.Set("USB Product Name", CreateStringFromBytes(device.usbProduct));
                properties.Set("Product Name", CreateStringFromBytes(device.usbProduct));
            }
            if (!device.usbManufacturer.empty()) {
                properties.Set("USB Vendor Name", CreateStringFromBytes(device.usbManufacturer));
            }
            if (!device.usbSerial.empty()) {
                properties.Set("USB Serial Number", CreateStringFromBytes(device.usbSerial));
            }
            properties.Set("idVendor", MakeNumber(device.vendorId));
            properties.Set("idProduct", MakeNumber(device.deviceId));
            break;
        case live::Device::Bus::Platform:
            properties.Set("name", MakeCStringData(device.name));
            break;
        case live::Device::Bus::Virtual:
            name = "IOResources";
            break;
        }
        Entry *entry = registry_.Add(registry_.Root(), DeviceClass(device), {}, name, properties.Finish());
        deviceEntries_.emplace(index, entry);
        return entry;
    }

    void AddInterface(const live::NetworkInterface &interface)
    {
        Entry *device = DeviceEntry(interface.device);
        bool fireWire = interface.interfaceType == live::kInterfaceTypeFireWire;
        const char *controllerClass = fireWire             ? "IONetworkController"
                                      : interface.wireless ? "IO80211Controller"
                                                           : "IOEthernetController";
        PropertyTable controllerProperties;
        controllerProperties.Set("IOClass", CreateStringFromBytes(controllerClass));
        controllerProperties.Set("IOProviderClass", CreateStringFromBytes(device->ClassName()));
        if (!interface.hardwareAddress.empty()) {
            controllerProperties.Set("IOMACAddress", MakeData(interface.hardwareAddress));
        }
        if (!interface.driver.empty()) {
            controllerProperties.Set("IOLinuxDriver", CreateStringFromBytes(interface.driver));
        }
        Entry *controller = registry_.Add(device, controllerClass, {},
                                          interface.driver.empty() ? controllerClass : interface.driver,
                                          controllerProperties.Finish());

        const char *interfaceClass = fireWire             ? "IONetworkInterface"
                                     : interface.wireless ? "IO80211Interface"
                                                          : "IOEthernetInterface";
        std::size_t digits = interface.name.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(interface.name[digits - 1]))) {
            --digits;
        }
        PropertyTable properties;
        properties.Set("IOClass", CreateStringFromBytes(interfaceClass));
        properties.Set("BSD Name", CreateStringFromBytes(interface.name));
        properties.Set("IOInterfaceType", MakeNumber(interface.interfaceType));
        properties.Set("IOInterfaceName", CreateStringFromBytes(interface.name.substr(0, digits)));
        properties.Set("IOInterfaceUnit",
                       MakeNumber(digits < interface.name.size() && interface.name.size() - digits <= kMaxUnitDigits
                                      ? std::stoll(interface.name.substr(digits))
                                      : 0));
        properties.Set("IOMaxTransferUnit", MakeNumber(interface.mtu));
        properties.Set("IOMediaAddressLength", MakeNumber(static_cast<int64_t>(interface.hardwareAddress.size())));
        registry_.Add(controller, interfaceClass, {}, interface.name, properties.Finish());
    }

    void AddSerialPort(const live::SerialPort &port)
    {
        Entry *device = DeviceEntry(port.device);
        std::string path = "/dev/" + port.name;
        PropertyTable properties;
        properties.Set("IOClass", CreateStringFromBytes("IOSerialBSDClient"));
        properties.Set("IOTTYBaseName", CreateStringFromBytes(port.baseName));
        properties.Set("IOTTYSuffix", CreateStringFromBytes(port.suffix));
        properties.Set("IOTTYDevice", CreateStringFromBytes(port.name));
        properties.Set("IOCalloutDevice", CreateStringFromBytes(path));
        properties.Set("IODialinDevice", CreateStringFromBytes(path));
        properties.Set("IOSerialBSDClientType", CreateStringFromBytes(port.modemClass ? "IOModemSerialStream" : "IORS232SerialStream"));
        registry_.Add(device, "IOSerialBSDClient", {}, "IOSerialBSDClient", properties.Finish());
    }

    const live::LiveSystem &system_;
    Registry &registry_;
    std::map<std::size_t, Entry *> deviceEntries_;
};

}  // namespace

std::shared_ptr<Registry> RegistryFromLiveSystem(const std::string &sysfsRoot)
{
    auto registry = std::make_shared<Registry>();
    live::LiveSystem system = live::ScanSysfs(sysfsRoot);
    LiveBuilder(system, *registry).Build();
    return registry;
}

}  // namespace iokit
