// Reads network interfaces and serial ports, and the hardware behind them, from sysfs.
#include "LiveSysfs.h"
#include "StandInKit.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace iokit::live {
namespace {

// ARPHRD_ETHER and ARPHRD_IEEE1394 of <linux/if_arp.h>.
constexpr int kLinkTypeEther = 1;
constexpr int kLinkTypeIEEE1394 = 24;

// Drivers whose serial ports are modem streams: CDC ACM modems and the GSM/UMTS modem drivers.
constexpr const char *kModemDrivers[] = {"cdc_acm", "option", "option1", "qcserial", "sierra", "usb_wwan"};

using standin::ReadSysfsAttribute;

std::optional<long long> ReadNumber(const fs::path &path, int base)
{
    auto text = ReadSysfsAttribute(path);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    char *end = nullptr;
    long long value = std::strtoll(text->c_str(), &end, base);
    if (end == text->c_str() || *end != '\0') {
        return std::nullopt;
    }
    return value;
}

bool Exists(const fs::path &path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

// The last component of where a sysfs link points ("driver", "subsystem"), or empty.
std::string LinkTargetName(const fs::path &link)
{
    std::error_code ec;
    fs::path target = fs::canonical(link, ec);
    if (ec) {
        return {};
    }
    return target.filename().string();
}

std::vector<std::string> SortedEntries(const fs::path &dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Scanner {
public:
    explicit Scanner(const std::string &root) : root_(root), devicesRoot_(root_ / "devices")
    {
        std::error_code ec;
        fs::path canonicalDevices = fs::canonical(devicesRoot_, ec);
        if (!ec) {
            devicesRoot_ = canonicalDevices;
        }
        ReadPciSlots();
    }

    LiveSystem Run()
    {
        ScanNetwork();
        ScanSerial();
        return std::move(system_);
    }

private:
    void ReadPciSlots()
    {
        fs::path slots = root_ / "bus" / "pci" / "slots";
        for (const std::string &slot : SortedEntries(slots)) {
            if (auto address = ReadSysfsAttribute(slots / slot / "address"); address && !address->empty()) {
                slotByAddress_.emplace(*address, slot);
            }
        }
    }

    bool IsBelowDevices(const fs::path &path) const
    {
        auto rel = path.lexically_relative(devicesRoot_);
        return !rel.empty() && *rel.begin() != "..";
    }

    // Index of the device record for the hardware behind `deviceLink` (a port's "device" link).
    std::size_t DeviceFor(const fs::path &deviceLink)
    {
        std::error_code ec;
        fs::path start = fs::canonical(deviceLink, ec);
        if (ec || !IsBelowDevices(start)) {
            return VirtualDevice();
        }
        // Walk up to the PCI function or the USB device; a virtio or usb-serial node sits below it.
        for (fs::path at = start; IsBelowDevices(at) && at != devicesRoot_; at = at.parent_path()) {
            std::string subsystem = LinkTargetName(at / "subsystem");
            if (subsystem == "pci") {
                return Record(at, Device::Bus::PCI);
            }
            if (subsystem == "usb" && Exists(at / "idVendor")) {
                return Record(at, Device::Bus::USB);
            }
        }
        return Record(start, Device::Bus::Platform);
    }

    std::size_t VirtualDevice()
    {
        if (!virtualDevice_) {
            Device device;
            device.bus = Device::Bus::Virtual;
            device.name = "virtual";
            virtualDevice_ = system_.devices.size();
            system_.devices.push_back(device);
        }
        return *virtualDevice_;
    }

    std::size_t Record(const fs::path &path, Device::Bus bus)
    {
        auto found = deviceByPath_.find(path.string());
        if (found != deviceByPath_.end()) {
            return found->second;
        }
        Device device;
        device.bus = bus;
        device.path = path.string();
        device.name = path.filename().string();
        device.driver = LinkTargetName(path / "driver");
        if (bus == Device::Bus::PCI) {
            FillPci(device, path);
        } else if (bus == Device::Bus::USB) {
            device.usbProduct = ReadSysfsAttribute(path / "product").value_or("");
            device.usbManufacturer = ReadSysfsAttribute(path / "manufacturer").value_or("");
            device.usbSerial = ReadSysfsAttribute(path / "serial").value_or("");
            device.vendorId = static_cast<uint16_t>(ReadNumber(path / "idVendor", 16).value_or(0));
            device.deviceId = static_cast<uint16_t>(ReadNumber(path / "idProduct", 16).value_or(0));
        }
        std::size_t index = system_.devices.size();
        system_.devices.push_back(std::move(device));
        deviceByPath_.emplace(path.string(), index);
        return index;
    }

    void FillPci(Device &device, const fs::path &path)
    {
        device.pciAddress = device.name;
        device.pciClass = static_cast<uint32_t>(ReadNumber(path / "class", 16).value_or(0));
        device.vendorId = static_cast<uint16_t>(ReadNumber(path / "vendor", 16).value_or(0));
        device.deviceId = static_cast<uint16_t>(ReadNumber(path / "device", 16).value_or(0));
        // "0000:01:00.1" is slot "0000:01:00", function 1.
        auto dot = device.name.rfind('.');
        if (dot == std::string::npos) {
            return;
        }
        std::string slotAddress = device.name.substr(0, dot);
        if (auto slot = slotByAddress_.find(slotAddress); slot != slotByAddress_.end()) {
            device.slotName = slot->second;
        }
        // A card with several network functions is a multi-port card: each port is numbered.
        int networkFunctions = 0;
        for (const std::string &sibling : SortedEntries(path.parent_path())) {
            if (sibling.compare(0, dot + 1, device.name, 0, dot + 1) == 0 &&
                (ReadNumber(path.parent_path() / sibling / "class", 16).value_or(0) >> 16) == kPciClassNetwork) {
                ++networkFunctions;
            }
        }
        if (networkFunctions > 1) {
            device.childIndex = static_cast<int>(std::strtol(device.name.c_str() + dot + 1, nullptr, 16));
        }
    }

    void ScanNetwork()
    {
        fs::path netClass = root_ / "class" / "net";
        for (const std::string &name : SortedEntries(netClass)) {
            fs::path dir = netClass / name;
            auto linkType = ReadNumber(dir / "type", 10);
            if (!linkType) {
                continue;
            }
            NetworkInterface interface;
            if (*linkType == kLinkTypeEther) {
                interface.interfaceType = kInterfaceTypeEthernet;
            } else if (*linkType == kLinkTypeIEEE1394) {
                interface.interfaceType = kInterfaceTypeFireWire;
            } else {
                continue;  // loopback, tunnels and the like have no registry entry
            }
            interface.name = name;
            interface.ifindex = static_cast<int>(ReadNumber(dir / "ifindex", 10).value_or(0));
            interface.mtu = static_cast<unsigned>(ReadNumber(dir / "mtu", 10).value_or(0));
            interface.hardwareAddress = ParseHardwareAddress(ReadSysfsAttribute(dir / "address").value_or(""));
            interface.wireless = Exists(dir / "wireless") || Exists(dir / "phy80211");
            interface.driver = LinkTargetName(dir / "device" / "driver");
            interface.device = DeviceFor(dir / "device");
            system_.interfaces.push_back(std::move(interface));
        }
        std::stable_sort(system_.interfaces.begin(), system_.interfaces.end(),
                         [](const NetworkInterface &a, const NetworkInterface &b) { return a.ifindex < b.ifindex; });
    }

    void ScanSerial()
    {
        fs::path ttyClass = root_ / "class" / "tty";
        for (const std::string &name : SortedEntries(ttyClass)) {
            fs::path dir = ttyClass / name;
            // Only ports backed by hardware: virtual consoles and pseudo-terminals have no device.
            if (!Exists(dir / "device")) {
                continue;
            }
            // A legacy UART slot without a chip reports port type 0 (PORT_UNKNOWN).
            if (auto portType = ReadNumber(dir / "type", 10); portType && *portType == 0) {
                continue;
            }
            SerialPort port;
            port.name = name;
            std::size_t digits = name.size();
            while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) {
                --digits;
            }
            port.baseName = name.substr(0, digits);
            port.suffix = name.substr(digits);
            port.driver = LinkTargetName(dir / "device" / "driver");
            std::string parentDriver = LinkTargetName(dir / "device" / ".." / "driver");
            for (const char *modemDriver : kModemDrivers) {
                if (port.driver == modemDriver || parentDriver == modemDriver) {
                    port.modemClass = true;
                }
            }
            port.device = DeviceFor(dir / "device");
            system_.serialPorts.push_back(std::move(port));
        }
        std::stable_sort(system_.serialPorts.begin(), system_.serialPorts.end(),
                         [](const SerialPort &a, const SerialPort &b) {
                             if (a.baseName != b.baseName) {
                                 return a.baseName < b.baseName;
                             }
                             if (a.suffix.size() != b.suffix.size()) {
                                 return a.suffix.size() < b.suffix.size();
                             }
                             return a.suffix < b.suffix;
                         });
    }

    fs::path root_;
    fs::path devicesRoot_;
    LiveSystem system_;
    std::map<std::string, std::string> slotByAddress_;
    std::map<std::string, std::size_t> deviceByPath_;
    std::optional<std::size_t> virtualDevice_;
};

}  // namespace

std::vector<uint8_t> ParseHardwareAddress(const std::string &text)
{
    std::vector<uint8_t> bytes;
    std::size_t at = 0;
    while (at < text.size()) {
        if (at + 2 > text.size() || !std::isxdigit(static_cast<unsigned char>(text[at])) ||
            !std::isxdigit(static_cast<unsigned char>(text[at + 1]))) {
            return {};
        }
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(at, 2), nullptr, 16)));
        at += 2;
        if (at < text.size()) {
            if (text[at] != ':' || at + 1 == text.size()) {
                return {};
            }
            ++at;
        }
    }
    return bytes;
}

LiveSystem ScanSysfs(const std::string &sysfsRoot)
{
    try {
        return Scanner(sysfsRoot).Run();
    } catch (const std::exception &) {
        // Allocation failure or a filesystem error not reported through an error code: an empty
        // system is what the registry shows then.
        return {};
    }
}

}  // namespace iokit::live
