// The live source over a sysfs tree laid out by the test: what the registry makes of PCI, USB,
// wireless and virtual network interfaces, serial ports of every kind, and what it leaves out.
#include <gtest/gtest.h>

#include <IOKit/IOKitLib.h>

#include "LiveSysfs.h"
#include "PlatformTesting.h"
#include "TestSupport.h"

#include <map>

using namespace iokit_test;

namespace {

// A network link `name` of link type 1 (Ethernet) below the device folder `device` (relative to
// the sysfs root, ending in '/'), with its address and interface index, listed in class/net.
void NetLink(const TempDir &sys, const std::string &device, const std::string &name, const std::string &address,
             int ifindex)
{
    std::string dir = device + "net/" + name + "/";
    std::string deviceName = device.substr(0, device.size() - 1);
    deviceName = deviceName.substr(deviceName.rfind('/') + 1);
    sys.File(dir + "type", "1\n");
    sys.File(dir + "address", address + "\n");
    sys.File(dir + "ifindex", std::to_string(ifindex) + "\n");
    sys.Link(dir + "device", "../../../" + deviceName);
    sys.Link("class/net/" + name, "../../" + dir.substr(0, dir.size() - 1));
}

// A machine: a virtio NIC in PCI slot 3, a dual-port PCI card, a wireless card, the vendor's USB
// modem (an Ethernet function and two serial ports), a USB serial adapter, a 16550 UART and an
// empty UART slot, plus the loopback interface, a veth link and virtual consoles.
void LayOutMachine(const TempDir &sys)
{
    const std::string pci = "devices/pci0000:00/";
    // virtio NIC behind PCI function 0000:00:03.0
    sys.File(pci + "0000:00:03.0/class", "0x020000\n");
    sys.File(pci + "0000:00:03.0/vendor", "0x1af4\n");
    sys.File(pci + "0000:00:03.0/device", "0x1000\n");
    sys.Link(pci + "0000:00:03.0/subsystem", "../../../bus/pci");
    sys.Link(pci + "0000:00:03.0/virtio2/subsystem", "../../../../bus/virtio");
    sys.Link(pci + "0000:00:03.0/virtio2/driver", "../../../../bus/virtio/drivers/virtio_net");
    NetLink(sys, pci + "0000:00:03.0/virtio2/", "eth0", "02:fc:00:00:00:01", 2);
    sys.File(pci + "0000:00:03.0/virtio2/net/eth0/mtu", "1500\n");
    sys.File("bus/pci/slots/3/address", "0000:00:03\n");
    sys.Dir("bus/virtio/drivers/virtio_net");
    sys.Dir("bus/pci/drivers/e1000e");

    // dual-port card: functions .0 and .1 of 0000:02:00
    for (int function = 0; function < 2; ++function) {
        std::string dev = pci + "0000:02:00." + std::to_string(function) + "/";
        std::string name = "eth" + std::to_string(function + 1);
        sys.File(dev + "class", "0x020000\n");
        sys.Link(dev + "subsystem", "../../../bus/pci");
        sys.Link(dev + "driver", "../../../bus/pci/drivers/e1000e");
        NetLink(sys, dev, name, "00:1b:21:00:00:0" + std::to_string(function), 5 + function);
    }
    // another PCI function on the same bus that is not a network controller
    sys.File(pci + "0000:02:00.2/class", "0x0c0330\n");

    // wireless card
    sys.File(pci + "0000:00:1c.0/class", "0x028000\n");
    sys.Link(pci + "0000:00:1c.0/subsystem", "../../../bus/pci");
    NetLink(sys, pci + "0000:00:1c.0/", "wlan0", "a4:c3:f0:11:22:33", 4);
    sys.Dir(pci + "0000:00:1c.0/net/wlan0/phy80211");

    // the vendor's USB modem on a USB controller
    std::string usb = pci + "0000:00:14.0/usb1/1-2/";
    sys.Link(pci + "0000:00:14.0/subsystem", "../../../bus/pci");
    sys.File(pci + "0000:00:14.0/class", "0x0c0330\n");
    sys.File(usb + "idVendor", "12d1\n");
    sys.File(usb + "idProduct", "1506\n");
    sys.File(usb + "product", "ORVEKA Mobile\n");
    sys.File(usb + "manufacturer", "ORVEKA\n");
    sys.Link(usb + "subsystem", "../../../../../bus/usb");
    sys.Link(usb + "1-2:1.0/subsystem", "../../../../../../bus/usb");
    sys.Link(usb + "1-2:1.0/driver", "../../../../../../bus/usb/drivers/cdc_acm");
    sys.Link(usb + "1-2:1.0/tty/ttyACM0/device", "../../../1-2:1.0");
    sys.Link("class/tty/ttyACM0", "../../" + usb + "1-2:1.0/tty/ttyACM0");
    sys.Link(usb + "1-2:1.2/subsystem", "../../../../../../bus/usb");
    sys.Link(usb + "1-2:1.2/driver", "../../../../../../bus/usb/drivers/option");
    sys.Link(usb + "1-2:1.2/ttyUSB0/subsystem", "../../../../../../../bus/usb-serial");
    sys.Link(usb + "1-2:1.2/ttyUSB0/driver", "../../../../../../../bus/usb-serial/drivers/option1");
    sys.Link(usb + "1-2:1.2/ttyUSB0/tty/ttyUSB0/device", "../../../ttyUSB0");
    sys.Link("class/tty/ttyUSB0", "../../" + usb + "1-2:1.2/ttyUSB0/tty/ttyUSB0");
    sys.Link(usb + "1-2:1.3/subsystem", "../../../../../../bus/usb");
    NetLink(sys, usb + "1-2:1.3/", "wwan0", "0a:3f:71:12:34:56", 7);
    sys.Dir("bus/usb/drivers/cdc_acm");
    sys.Dir("bus/usb/drivers/option");
    sys.Dir("bus/usb-serial/drivers/option1");
    sys.Dir("bus/usb-serial/drivers/ftdi_sio");

    // a USB serial adapter without a product string
    std::string adapter = pci + "0000:00:14.0/usb1/1-3/";
    sys.File(adapter + "idVendor", "0403\n");
    sys.Link(adapter + "subsystem", "../../../../../bus/usb");
    sys.Link(adapter + "1-3:1.0/subsystem", "../../../../../../bus/usb");
    sys.Link(adapter + "1-3:1.0/ttyUSB1/driver", "../../../../../../../bus/usb-serial/drivers/ftdi_sio");
    sys.Link(adapter + "1-3:1.0/ttyUSB1/tty/ttyUSB1/device", "../../../ttyUSB1");
    sys.Link("class/tty/ttyUSB1", "../../" + adapter + "1-3:1.0/ttyUSB1/tty/ttyUSB1");

    // a 16550 UART and an empty UART slot
    sys.Link("devices/platform/serial8250/subsystem", "../../../bus/platform");
    sys.File("devices/platform/serial8250/tty/ttyS0/type", "4\n");
    sys.Link("devices/platform/serial8250/tty/ttyS0/device", "../../../serial8250");
    sys.Link("class/tty/ttyS0", "../../devices/platform/serial8250/tty/ttyS0");
    sys.File("devices/platform/serial8250/tty/ttyS1/type", "0\n");
    sys.Link("devices/platform/serial8250/tty/ttyS1/device", "../../../serial8250");
    sys.Link("class/tty/ttyS1", "../../devices/platform/serial8250/tty/ttyS1");

    // virtual things
    sys.File("devices/virtual/net/lo/type", "772\n");
    sys.File("devices/virtual/net/lo/ifindex", "1\n");
    sys.Link("class/net/lo", "../../devices/virtual/net/lo");
    sys.File("devices/virtual/net/veth0/type", "1\n");
    sys.File("devices/virtual/net/veth0/address", "0a:3f:71:00:00:01\n");
    sys.File("devices/virtual/net/veth0/ifindex", "9\n");
    sys.Link("class/net/veth0", "../../devices/virtual/net/veth0");
    sys.File("devices/virtual/net/tun0/type", "65534\n");
    sys.Link("class/net/tun0", "../../devices/virtual/net/tun0");
    sys.File("devices/virtual/tty/tty0/dev", "4:0\n");
    sys.Link("class/tty/tty0", "../../devices/virtual/tty/tty0");
}

class IOKitLiveSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PlatformTestingReset();
        LayOutMachine(sys_);
        PlatformTestingSetIORegistrySysfsRoot(sys_.path().c_str());
        objectsBefore_ = PlatformTestingIOKitLiveObjectCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(objectsBefore_, PlatformTestingIOKitLiveObjectCount()) << "registry handles leaked";
        PlatformTestingReset();
    }

    // The interfaces by BSD name, with their controller and device.
    struct Chain {
        io_object_t interface = 0, controller = 0, device = 0;
    };
    std::map<std::string, Chain> InterfaceChains()
    {
        std::map<std::string, Chain> chains;
        for (io_object_t interface : Matching(IOServiceMatching("IONetworkInterface"))) {
            Chain chain;
            chain.interface = interface;
            chain.controller = Parent(interface);
            chain.device = Parent(chain.controller);
            chains[StringProperty(interface, "BSD Name")] = chain;
        }
        return chains;
    }
    static void Release(std::map<std::string, Chain> &chains)
    {
        for (auto &[name, chain] : chains) {
            IOObjectRelease(chain.interface);
            IOObjectRelease(chain.controller);
            IOObjectRelease(chain.device);
        }
        chains.clear();
    }

    TempDir sys_;
    long objectsBefore_ = 0;
};

TEST_F(IOKitLiveSourceTest, NetworkInterfacesCarryTypeNameAddressAndTheirHardware)
{
    auto chains = InterfaceChains();
    // Loopback and tunnels have no registry entry.
    ASSERT_EQ(6u, chains.size());
    EXPECT_EQ(0u, chains.count("lo"));
    EXPECT_EQ(0u, chains.count("tun0"));

    const Chain &eth0 = chains["eth0"];
    EXPECT_EQ("IOEthernetInterface", ClassOf(eth0.interface));
    EXPECT_EQ(6, NumberProperty(eth0.interface, "IOInterfaceType"));
    EXPECT_EQ(1500, NumberProperty(eth0.interface, "IOMaxTransferUnit"));
    EXPECT_EQ("eth", StringProperty(eth0.interface, "IOInterfaceName"));
    EXPECT_EQ((std::vector<uint8_t>{0x02, 0xfc, 0, 0, 0, 1}), DataProperty(eth0.controller, "IOMACAddress"));
    // The virtio node between the NIC and its PCI function is not a registry level.
    EXPECT_EQ("IOPCIDevice", ClassOf(eth0.device));
    EXPECT_EQ("IOPCIDevice", StringProperty(eth0.controller, "IOProviderClass"));
    std::vector<uint8_t> slot = DataProperty(eth0.device, "AAPL,slot-name");
    EXPECT_EQ(std::string("SLOT-3", 7), std::string(slot.begin(), slot.end()));
    std::vector<uint8_t> name = DataProperty(eth0.device, "name");
    EXPECT_EQ(std::string("ethernet", 9), std::string(name.begin(), name.end()));
    EXPECT_EQ(-1, NumberProperty(eth0.device, "IOChildIndex")) << "a single-function NIC has no port number";

    // Each port of a multi-port card is numbered by its function.
    EXPECT_EQ(0, NumberProperty(chains["eth1"].device, "IOChildIndex"));
    EXPECT_EQ(1, NumberProperty(chains["eth2"].device, "IOChildIndex"));
    EXPECT_TRUE(DataProperty(chains["eth1"].device, "AAPL,slot-name").empty()) << "no physical slot is known";

    const Chain &wlan0 = chains["wlan0"];
    EXPECT_TRUE(IOObjectConformsTo(wlan0.interface, "IO80211Interface"));
    EXPECT_TRUE(IOObjectConformsTo(wlan0.interface, "IOEthernetInterface"));
    EXPECT_TRUE(IOObjectConformsTo(wlan0.controller, "IOEthernetController"));
    EXPECT_FALSE(IOObjectConformsTo(chains["eth0"].interface, "IO80211Interface"));

    const Chain &wwan0 = chains["wwan0"];
    EXPECT_EQ("IOUSBDevice", ClassOf(wwan0.device));
    EXPECT_EQ("ORVEKA Mobile", StringProperty(wwan0.device, "USB Product Name"));
    EXPECT_EQ((std::vector<uint8_t>{0x0a, 0x3f, 0x71, 0x12, 0x34, 0x56}), DataProperty(wwan0.controller, "IOMACAddress"));

    const Chain &veth0 = chains["veth0"];
    EXPECT_EQ("IOResources", ClassOf(veth0.device));
    EXPECT_EQ("IOResources", StringProperty(veth0.controller, "IOProviderClass"));
    io_object_t root = Parent(veth0.device);
    EXPECT_NE(IO_OBJECT_NULL, root);
    io_object_t beyond = IO_OBJECT_NULL;
    EXPECT_EQ(kIOReturnNoDevice, IORegistryEntryGetParentEntry(root, kIOServicePlane, &beyond));
    EXPECT_EQ(IO_OBJECT_NULL, beyond);
    IOObjectRelease(root);
    Release(chains);
}

TEST_F(IOKitLiveSourceTest, InterfacesComeInInterfaceIndexOrder)
{
    std::vector<io_object_t> interfaces = Matching(IOServiceMatching("IONetworkInterface"));
    std::vector<std::string> names;
    for (io_object_t interface : interfaces) {
        names.push_back(StringProperty(interface, "BSD Name"));
    }
    EXPECT_EQ((std::vector<std::string>{"eth0", "wlan0", "eth1", "eth2", "wwan0", "veth0"}), names);
    ReleaseAll(interfaces);
}

TEST_F(IOKitLiveSourceTest, SerialPortsByStreamTypeWithTheirUSBProductName)
{
    std::vector<io_object_t> all = Matching(SerialMatching("IOSerialStream"));
    std::vector<io_object_t> modems = Matching(SerialMatching("IOModemSerialStream"));
    std::vector<io_object_t> rs232 = Matching(SerialMatching("IORS232SerialStream"));
    std::map<std::string, io_object_t> byDevice;
    for (io_object_t port : all) {
        byDevice[StringProperty(port, "IOTTYDevice")] = port;
    }
    // Virtual consoles and an empty UART slot are not serial ports.
    EXPECT_EQ((std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB1"}),
              ([&] {
                  std::vector<std::string> names;
                  for (auto &[name, port] : byDevice) {
                      names.push_back(name);
                  }
                  return names;
              })());
    EXPECT_EQ(2u, modems.size());
    EXPECT_EQ(2u, rs232.size());
    EXPECT_EQ(all.size(), modems.size() + rs232.size());

    io_object_t acm = byDevice["ttyACM0"];
    EXPECT_EQ("ttyACM", StringProperty(acm, "IOTTYBaseName"));
    EXPECT_EQ("0", StringProperty(acm, "IOTTYSuffix"));
    EXPECT_EQ("/dev/ttyACM0", StringProperty(acm, "IOCalloutDevice"));
    EXPECT_EQ("/dev/ttyACM0", StringProperty(acm, "IODialinDevice"));
    EXPECT_EQ("IOModemSerialStream", StringProperty(acm, "IOSerialBSDClientType"));
    EXPECT_EQ("ORVEKA Mobile", SearchStringUp(acm, "Product Name"));
    // The GSM modem driver's port is a modem stream too; an FTDI adapter is RS-232.
    EXPECT_EQ("IOModemSerialStream", StringProperty(byDevice["ttyUSB0"], "IOSerialBSDClientType"));
    EXPECT_EQ("ORVEKA Mobile", SearchStringUp(byDevice["ttyUSB0"], "Product Name"));
    EXPECT_EQ("IORS232SerialStream", StringProperty(byDevice["ttyUSB1"], "IOSerialBSDClientType"));
    EXPECT_EQ("", SearchStringUp(byDevice["ttyUSB1"], "Product Name"));
    EXPECT_EQ("IORS232SerialStream", StringProperty(byDevice["ttyS0"], "IOSerialBSDClientType"));
    EXPECT_EQ("", SearchStringUp(byDevice["ttyS0"], "Product Name"));

    // The modem's serial ports and its network function share one device entry.
    io_object_t acmDevice = Parent(acm);
    std::vector<io_object_t> wwan = Matching(IOBSDNameMatching(kIOMasterPortDefault, 0, "wwan0"));
    ASSERT_EQ(1u, wwan.size());
    io_object_t controller = Parent(wwan[0]);
    io_object_t wwanDevice = Parent(controller);
    EXPECT_TRUE(IOObjectIsEqualTo(acmDevice, wwanDevice));
    for (io_object_t object : {acmDevice, controller, wwanDevice}) {
        IOObjectRelease(object);
    }
    ReleaseAll(wwan);
    ReleaseAll(all);
    ReleaseAll(modems);
    ReleaseAll(rs232);
}

TEST_F(IOKitLiveSourceTest, UnreadableSysfsGivesAnEmptyRegistry)
{
    PlatformTestingSetIORegistrySysfsRoot((sys_.path() / "missing").c_str());
    std::vector<io_object_t> interfaces = Matching(IOServiceMatching("IOService"));
    EXPECT_TRUE(interfaces.empty());
}

TEST(IOKitHardwareAddressTextTest, OnlyColonSeparatedHexPairsParse)
{
    using iokit::live::ParseHardwareAddress;
    EXPECT_EQ((std::vector<uint8_t>{0x0a, 0x3f, 0x71, 0xff, 0, 1}), ParseHardwareAddress("0a:3f:71:FF:00:01"));
    EXPECT_EQ((std::vector<uint8_t>{0xaa}), ParseHardwareAddress("aa"));
    EXPECT_TRUE(ParseHardwareAddress("").empty());
    EXPECT_TRUE(ParseHardwareAddress("0a:3f:").empty());
    EXPECT_TRUE(ParseHardwareAddress("0a-3f").empty());
    EXPECT_TRUE(ParseHardwareAddress("0a:3").empty());
    EXPECT_TRUE(ParseHardwareAddress("g0:00").empty());
}

}  // namespace
