// The port scanner over registry snapshots: the two sample machines and registries built for
// each naming rule, compared whole; keyword substitution; the order; failing registry calls.
#include "MoreSCFInternal.h"
#include "MoreSCFPortScanner.h"

#include "CallFailureSweep.h"
#include "PlistText.h"
#include "StandInTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

using standintest::CFRef;

namespace {

using Port = std::map<std::string, std::string>;

// ---- Snapshot text ----

std::string Base64(const std::vector<unsigned char> &bytes)
{
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t n = bytes.size();
    for (size_t i = 0; i < n; i += 3) {
        unsigned value = bytes[i] << 16 | (i + 1 < n ? bytes[i + 1] << 8 : 0) | (i + 2 < n ? bytes[i + 2] : 0);
        out += kDigits[(value >> 18) & 63];
        out += kDigits[(value >> 12) & 63];
        out += i + 1 < n ? kDigits[(value >> 6) & 63] : '=';
        out += i + 2 < n ? kDigits[value & 63] : '=';
    }
    return out;
}
std::string S(const std::string &key, const std::string &value) { return "<key>" + key + "</key><string>" + value + "</string>"; }
std::string I(const std::string &key, long value) { return "<key>" + key + "</key><integer>" + std::to_string(value) + "</integer>"; }
std::string D(const std::string &key, const std::vector<unsigned char> &bytes)
{
    return "<key>" + key + "</key><data>" + Base64(bytes) + "</data>";
}
std::vector<unsigned char> CText(const std::string &text)  // a C string with its terminator
{
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}
std::string Entry(const std::string &objectClass, const std::string &properties, const std::vector<std::string> &children = {})
{
    std::string out = "<dict>" + S("IOObjectClass", objectClass) + "<key>IORegistryEntryProperties</key><dict>" +
                      properties + "</dict>";
    if (!children.empty()) {
        out += "<key>IORegistryEntryChildren</key><array>";
        for (const std::string &child : children) {
            out += child;
        }
        out += "</array>";
    }
    return out + "</dict>";
}
std::string Registry(const std::vector<std::string> &entries)
{
    std::string out = R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)"
                      "<key>IORegistryEntryChildren</key><array>";
    for (const std::string &entry : entries) {
        out += entry;
    }
    return out + "</array></dict></plist>";
}
// A device holding a controller (with the device's class as provider) holding an interface.
std::string NetStack(const std::string &deviceClass, const std::string &deviceProperties,
                     const std::string &controllerProperties, const std::string &interfaceClass, const std::string &bsdName,
                     long type = 6)
{
    return Entry(deviceClass, deviceProperties,
                 {Entry("IOEthernetController", S("IOProviderClass", deviceClass) + controllerProperties,
                        {Entry(interfaceClass, S("BSD Name", bsdName) + I("IOInterfaceType", type))})});
}
std::string Serial(const std::string &base, const std::string &streamType, const std::string &extra = "")
{
    return Entry("IOSerialBSDClient", S("IOTTYBaseName", base) + S("IOTTYDevice", base) +
                                          S("IOCalloutDevice", "/dev/cu." + base) + S("IOSerialBSDClientType", streamType) + extra);
}
const std::string kModem = "IOModemSerialStream";
const std::string kRS232 = "IORS232SerialStream";
const std::vector<unsigned char> kMac = {0x0a, 0x3f, 0x71, 0x12, 0x34, 0x56};

// ---- Expected ports ----

Port Net(const std::string &bsdName, const std::string &name, int sort, const Port &extra = {})
{
    Port port = {{"DeviceName", bsdName}, {"Hardware", "Ethernet"}, {"Type", "Ethernet"},
                 {"SortOrder", "#" + std::to_string(sort)}, {"UserDefinedName", name}};
    for (const auto &[key, value] : extra) {
        port[key] = value;
    }
    return port;
}
Port SerialPort(const std::string &device, const std::string &name, int sort, const Port &extra = {})
{
    Port port = {{"DeviceName", device}, {"Hardware", "Modem"}, {"Type", "PPP"}, {"SubType", "PPPSerial"},
                 {"SortOrder", "#" + std::to_string(sort)}, {"UserDefinedName", name}};
    for (const auto &[key, value] : extra) {
        port[key] = value;
    }
    return port;
}

std::vector<Port> Ports(CFArrayRef array)
{
    std::vector<Port> out;
    for (CFIndex i = 0; i < CFArrayGetCount(array); i++) {
        auto entries = plisttext::Entries(static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(array, i)));
        out.emplace_back(entries.begin(), entries.end());
    }
    return out;
}

std::string Text(const std::vector<Port> &ports)
{
    std::string out;
    for (const Port &port : ports) {
        out += "\n  {";
        for (const auto &[key, value] : port) {
            out += key + "=" + value + "; ";
        }
        out += "}";
    }
    return out;
}

class PortsTest : public standintest::SeamTest {
protected:
    void TearDown() override
    {
        MoreSCFSetPortNameCallback(nullptr);
        MoreSCFForgetSystemVersion();
        standintest::SeamTest::TearDown();
    }

    static void UseSystemVersion(const char *version)
    {
        PlatformTestingSetSystemVersion(version);
        MoreSCFForgetSystemVersion();
    }

    static void ExpectPorts(const std::vector<Port> &expected)
    {
        CFRef<CFArrayRef> array;
        ASSERT_EQ(noErr, MoreSCCreatePortArray(array.slot()));
        std::vector<Port> actual = Ports(array);
        EXPECT_EQ(expected, actual) << "actual:" << Text(actual) << "\nexpected:" << Text(expected);
    }
};

const std::filesystem::path kExamples = std::filesystem::path(__FILE__).parent_path() / "../../platform/IOKit/examples";

TEST_F(PortsTest, SampleMachines)
{
    PlatformTestingSetIORegistrySnapshot((kExamples / "registry-modem.plist").c_str());
    ExpectPorts({
        SerialPort("ORVEKAMobile-Pcui", "ORVEKA Mobile", 1),
        SerialPort("Bluetooth-Modem", "Bluetooth", 2, {{"HardwareVariant", "Bluetooth"}}),
        SerialPort("ORVEKAMobile-Diag", "ORVEKA Mobile", 5),
        Net("en0", "Built-in Ethernet", 6, {{"MACAddress", "00:1b:63:aa:bb:cc"}}),
        Net("en5", "Ethernet Adaptor (en5)", 12, {{"MACAddress", "0a:3f:71:12:34:56"}, {"BSD Name", "en5"}}),
    });
    PlatformTestingSetIORegistrySnapshot((kExamples / "registry-no-modem.plist").c_str());
    CFRef<CFArrayRef> array;
    ASSERT_EQ(noErr, MoreSCCreatePortArray(array.slot()));
    for (const Port &port : Ports(array)) {
        EXPECT_NE(port.count("MACAddress") ? port.at("MACAddress").substr(0, 8) : "", "0a:3f:71") << Text({port});
    }
}

TEST_F(PortsTest, NetworkInterfacesByRule)
{
    const std::string pciSlot = D("AAPL,slot-name", CText("SLOT-J11")) + I("IOChildIndex", 0);
    const std::string registry = Registry({
        NetStack("IOPCIDevice", D("name", CText("ethernet")) + pciSlot, D("IOMACAddress", {0, 1, 2, 3, 4, 5}),
                 "IOEthernetInterface", "en1"),
        NetStack("IOPCIDevice", D("name", CText("ethernet")), "", "IOEthernetInterface", "en2"),  // no slot name
        NetStack("IOPCIDevice", "", D("IOMACAddress", {0, 1, 2, 3, 4, 5, 6, 0x0a}), "IO80211Interface", "en3"),
        NetStack("IOPCIDevice", D("name", CText("radio")), "", "IOEthernetInterface", "wlan0"),
        NetStack("IOPCIDevice", pciSlot, "", "IOEthernetInterface", "en0"),
        NetStack("IOPCIDevice", "", "", "IONetworkInterface", "fw0", 144),
        NetStack("IOUSBDevice", "", D("IOMACAddress", {1, 2, 3, 4, 5}), "IONetworkInterface", "fw1", 144),
        NetStack("IOUSBDevice", "", S("IOMACAddress", "0a:3f:71:00:00:01"), "IOEthernetInterface", "en10"),
        NetStack("IOUSBDevice", "", D("IOMACAddress", kMac), "IOEthernetInterface", "en9"),
        NetStack("IOUSBDevice", "", "", "IOEthernetInterface", "ppp0", 23),    // not Ethernet-type
        Entry("IOEthernetInterface", S("BSD Name", "en7") + S("IOInterfaceType", "6")),  // a type of the wrong shape
    });
    PlatformTestingSetIORegistrySnapshotText(registry.c_str());
    for (const char *version : {"10.1.5", "10.2.8"}) {
        SCOPED_TRACE(version);
        UseSystemVersion(version);
        bool tenOne = std::string(version) == "10.1.5";
        ExpectPorts({
            Net("en0", "Built-in Ethernet", 6),
            Net("fw0", "Built-in FireWire", 7, {{"Hardware", "FireWire"}, {"Type", "FireWire"}}),
            Net("en1", tenOne ? "PCI Ethernet Slot J11, Port 1" : "PCI Ethernet Slot 2, Port 1", 8,
                {{"MACAddress", "00:01:02:03:04:05"}, {"AAPL,slot-name", tenOne ? "J11" : "2"}, {"IOChildIndex", "1"}}),
            Net("en2", "PCI Ethernet Slot unknown", 8, {{"AAPL,slot-name", "unknown"}}),
            Net("fw1", "Ethernet Adaptor (fw1)", 9, {{"Hardware", "FireWire"}, {"Type", "FireWire"}, {"BSD Name", "fw1"}}),
            Net("en3", "AirPort", 10, {{"Hardware", "AirPort"}, {"MACAddress", "00:01:02:03:04:05:06:0a"}}),
            Net("wlan0", "Wireless Network Adaptor", 11),
            Net("en10", "Ethernet Adaptor (en10)", 12, {{"BSD Name", "en10"}}),
            Net("en9", "Ethernet Adaptor (en9)", 12, {{"BSD Name", "en9"}, {"MACAddress", "0a:3f:71:12:34:56"}}),
        });
    }
    // AirPort by the controller's class name (the card above is one by the interface's class).
    PlatformTestingSetIORegistrySnapshotText(
        Registry({NetStack("IOPCIDevice", "", S("IOClass", "AirPortPCI"), "IOEthernetInterface", "en4")}).c_str());
    ExpectPorts({Net("en4", "AirPort", 10, {{"Hardware", "AirPort"}})});
}

TEST_F(PortsTest, SerialPortsByKind)
{
    const std::string registry = Registry({
        Entry("IOPCIDevice", I("V92Modem", 1), {Serial("modem", kModem)}),
        Serial("modem", kRS232),
        Serial("printer", kRS232),
        Serial("modem-printer", kRS232),
        Serial("IrDA-IrCOMM", kRS232),
        Serial("IrDA-IrCOMMch-b", kModem),
        Serial("Bluetooth-PDA-Sync", kRS232),
        Serial("usbmodem", kModem, S("V92Modem", "yes")),                 // wrong shape: left out
        Serial("ttyUSB", kModem),
        Serial("irda", kRS232),                                           // never a port
        Entry("IOUSBDevice", S("Product Name", "Vendor Modem"), {Serial("usbmodem1a21", kRS232)}),
        Entry("IOUSBDevice", I("HiddenPort", 1), {Entry("IOService", "", {Serial("hidden", kModem)})}),
        Entry("IOSerialBSDClient", S("IOTTYBaseName", "nodevice") + S("IOSerialBSDClientType", kRS232)),
    });
    PlatformTestingSetIORegistrySnapshotText(registry.c_str());
    PlatformTestingLogCaptureStart();
    ExpectPorts({
        SerialPort("modem", "Internal Modem", 0, {{"SupportsModemOnHold", "#1"}}),
        SerialPort("usbmodem", "USB Modem", 1),
        SerialPort("IrDA-IrCOMMch-b", "irda-ircommch-b-port", 2,
                   {{"HardwareVariant", "IrDA-IrCOMM"}, {"IOTTYBaseName", "irda-ircommch-b"}}),
        SerialPort("ttyUSB", "ttyusb-port", 2, {{"IOTTYBaseName", "ttyusb"}}),
        SerialPort("Bluetooth-PDA-Sync", "Bluetooth", 3, {{"HardwareVariant", "Bluetooth"}}),
        SerialPort("IrDA-IrCOMM", "IrDA Modem Port", 4, {{"HardwareVariant", "IrDA-IrCOMM"}}),
        SerialPort("modem", "Modem Port", 5),
        SerialPort("modem-printer", "Modem/Printer Port", 5),
        SerialPort("printer", "Printer Port", 5),
        SerialPort("usbmodem1a21", "Vendor Modem", 5),
    });
    // The port without a device name is left out with one line.
    ASSERT_EQ(1u, PlatformTestingLogLineCount());
    int priority = -1;
    EXPECT_STREQ(PlatformTestingLogLine(0, &priority), "serial port without a device name left out");
    EXPECT_EQ(3, priority);
}

TEST_F(PortsTest, KeywordsAreSubstitutedOnceFromTheTemplateOnly)
{
    // Keyword text the device supplies stays as written: its keys are absent, and what one
    // keyword inserts is never scanned for the next.
    const std::string registry = Registry({
        Entry("IOUSBDevice", S("Product Name", "Modem %1$@ %4$@ %2$@"), {Serial("cuaU", kRS232)}),
        NetStack("IOUSBDevice", "", "", "IOEthernetInterface", "en%4$@"),
    });
    PlatformTestingSetIORegistrySnapshotText(registry.c_str());
    ExpectPorts({
        SerialPort("cuaU", "Modem %1$@ %4$@ %2$@", 5),
        Net("en%4$@", "Ethernet Adaptor (en%4$@)", 12, {{"BSD Name", "en%4$@"}}),
    });

    // A callback's template: each keyword's first occurrence is replaced, in one pass.
    MoreSCFSetPortNameCallback([](io_object_t, CFMutableDictionaryRef portDict, CFStringRef, CFStringRef *name) {
        CFDictionarySetValue(portDict, CFSTR("IOTTYBaseName"), CFSTR("%1$@"));
        CFDictionarySetValue(portDict, CFSTR("BSD Name"), CFSTR("X"));
        *name = CFStringCreateCopy(nullptr, CFSTR("%4$@ and %1$@ and %4$@ and %3$@"));
        return OSStatus{noErr};
    });
    PlatformTestingSetIORegistrySnapshotText(Registry({Serial("cuaU", kRS232)}).c_str());
    ExpectPorts({SerialPort("cuaU", "%1$@ and X and %4$@ and %3$@", 5, {{"IOTTYBaseName", "%1$@"}, {"BSD Name", "X"}})});

    // A callback's status ends the scan.
    MoreSCFSetPortNameCallback([](io_object_t, CFMutableDictionaryRef, CFStringRef, CFStringRef *) { return OSStatus{-42}; });
    CFRef<CFArrayRef> array;
    EXPECT_EQ(-42, MoreSCCreatePortArray(array.slot()));
    EXPECT_FALSE(array);
}

TEST_F(PortsTest, RequiredPropertiesAndEmptyRegistry)
{
    PlatformTestingSetIORegistrySnapshotText(Registry({}).c_str());
    ExpectPorts({});
    // An Ethernet-type interface without a BSD name fails the whole scan.
    PlatformTestingSetIORegistrySnapshotText(
        Registry({Entry("IOEthernetController", "", {Entry("IOEthernetInterface", I("IOInterfaceType", 6))})}).c_str());
    CFRef<CFArrayRef> array;
    EXPECT_EQ(-1, MoreSCCreatePortArray(array.slot()));
    EXPECT_FALSE(array);
}

TEST_F(PortsTest, StringsFromPropertiesAndTheOrder)
{
    struct Case {
        CFTypeRef property;
        const char *text;  // nullptr: no string
    };
    CFRef<CFDataRef> cString(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>("SLOT-A\0\0"), 8));
    CFRef<CFDataRef> macRoman(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>("caf\x8e"), 4));
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberIntType, &kMac[0]));
    const Case cases[] = {{cString, "SLOT-A"}, {macRoman, "caf\xc3\xa9"}, {CFSTR("radio"), "radio"}, {number, nullptr}};
    for (const Case &c : cases) {
        CFRef<CFStringRef> text(CreateStringFromProperty(c.property));
        EXPECT_EQ(c.text != nullptr ? c.text : "<none>", text ? plisttext::Text(text) : "<none>");
    }

    auto port = [](long sort, const char *name) {
        CFRef<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                     &kCFTypeDictionaryValueCallBacks));
        if (sort >= 0) {
            CFRef<CFNumberRef> order(CFNumberCreate(nullptr, kCFNumberLongType, &sort));
            CFDictionarySetValue(dict, CFSTR("SortOrder"), order);
        }
        CFRef<CFStringRef> text(CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8));
        CFDictionarySetValue(dict, kSCPropUserDefinedName, text);
        return dict;
    };
    auto a = port(12, "Ethernet Adaptor (en1)");
    auto b = port(12, "Ethernet Adaptor (en2)");
    auto none = port(-1, "Anything");
    auto hundredOne = port(101, "A");
    EXPECT_EQ(100, SortOrder(none));
    EXPECT_EQ(kCFCompareLessThan, PortSorter(a.get(), b.get(), nullptr));
    EXPECT_EQ(kCFCompareGreaterThan, PortSorter(b.get(), a.get(), nullptr));
    EXPECT_EQ(kCFCompareGreaterThan, PortSorter(none.get(), a.get(), nullptr));
    EXPECT_EQ(kCFCompareLessThan, PortSorter(none.get(), hundredOne.get(), nullptr));
}

TEST_F(PortsTest, FailingRegistryCallsGiveNothingAndLeakNothing)
{
    PlatformTestingSetIORegistrySnapshot((kExamples / "registry-modem.plist").c_str());
    auto scan = [](std::string *result) {
        CFRef<CFArrayRef> array;
        OSStatus err = MoreSCCreatePortArray(array.slot());
        EXPECT_EQ(err == noErr, array.get() != nullptr);
        *result = array ? plisttext::Text(array) : "";
        return err;
    };
    for (const char *call : {"IOServiceMatching", "IOServiceGetMatchingServices", "IORegistryEntryGetParentEntry",
                             "IORegistryEntryCreateCFProperty", "IORegistryEntryCreateCFProperties",
                             "IORegistryEntrySearchCFProperty"}) {
        EXPECT_GT(callsweep::FailEachCall(PlatformTestingIOKitFailCall, call, 5, scan, {-1, -4960}), 0u) << call;
    }
    standintest::FailEachCreation<OSStatus>(
        [&] {
            std::string text;
            return scan(&text);
        },
        {-4960, -108, -1, kIOReturnNoMemory, noErr});
}

}  // namespace
