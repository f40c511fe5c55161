// Registry snapshots: the committed samples as the service's probe and the port scanner read
// them, matching and walking rules, handle accounting, and snapshots that are broken.
#include <gtest/gtest.h>

#include <IOKit/IOKitLib.h>
#include <IOKit/serial/IOSerialKeys.h>

#include "PlatformTesting.h"
#include "TestSupport.h"

#include <cstdlib>
#include <string>

using namespace iokit_test;

namespace {

const std::string kExamples = IOKIT_EXAMPLES_DIR;

std::string Plist(const std::string &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

std::string Entry(const std::string &className, const std::string &properties = "", const std::string &children = "")
{
    std::string text = "<dict><key>IOObjectClass</key><string>" + className + "</string>";
    if (!properties.empty()) {
        text += "<key>IORegistryEntryProperties</key><dict>" + properties + "</dict>";
    }
    if (!children.empty()) {
        text += "<key>IORegistryEntryChildren</key><array>" + children + "</array>";
    }
    return text + "</dict>";
}

std::string Top(const std::string &children)
{
    return Plist("<dict><key>IORegistryEntryChildren</key><array>" + children + "</array></dict>");
}

std::string SerialPort(const std::string &callout, const std::string &type = "IOModemSerialStream")
{
    return Entry("IOSerialBSDClient", "<key>IOCalloutDevice</key><string>" + callout +
                                          "</string><key>IOSerialBSDClientType</key><string>" + type + "</string>");
}

std::vector<std::string> Callouts(const char *type)
{
    std::vector<io_object_t> ports = Matching(SerialMatching(type));
    std::vector<std::string> paths;
    for (io_object_t port : ports) {
        paths.push_back(StringProperty(port, kIOCalloutDeviceKey));
    }
    ReleaseAll(ports);
    return paths;
}

class IOKitSnapshotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PlatformTestingReset();
        objectsBefore_ = PlatformTestingIOKitLiveObjectCount();
        cfObjectsBefore_ = PlatformTestingCFLiveObjectCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(objectsBefore_, PlatformTestingIOKitLiveObjectCount()) << "registry handles leaked";
        PlatformTestingReset();
        EXPECT_EQ(cfObjectsBefore_, PlatformTestingCFLiveObjectCount()) << "CoreFoundation objects leaked";
    }
    // Loads text as the snapshot and returns what the registry wrote on standard error.
    std::string LoadText(const std::string &xml, const char *className = "IOService")
    {
        PlatformTestingSetIORegistrySnapshotText(xml.c_str());
        testing::internal::CaptureStderr();
        std::vector<io_object_t> objects = Matching(IOServiceMatching(className));
        std::string errors = testing::internal::GetCapturedStderr();
        count_ = objects.size();
        ReleaseAll(objects);
        return errors;
    }

    long objectsBefore_ = 0;
    long cfObjectsBefore_ = 0;
    std::size_t count_ = 0;
};

TEST_F(IOKitSnapshotTest, ModemSampleAnswersTheProbeAndThePortScanner)
{
    PlatformTestingSetIORegistrySnapshot((kExamples + "/registry-modem.plist").c_str());
    // The service's probe asks for every stream type; the port scanner for each type in turn.
    EXPECT_EQ((std::vector<std::string>{"/dev/cu.ORVEKAMobile-Pcui", "/dev/cu.ORVEKAMobile-Diag", "/dev/cu.Bluetooth-Modem"}),
              Callouts(kIOSerialBSDAllTypes));
    EXPECT_EQ((std::vector<std::string>{"/dev/cu.ORVEKAMobile-Pcui", "/dev/cu.Bluetooth-Modem"}), Callouts(kIOSerialBSDModemType));
    EXPECT_EQ((std::vector<std::string>{"/dev/cu.ORVEKAMobile-Diag"}), Callouts(kIOSerialBSDRS232Type));

    std::vector<io_object_t> interfaces = Matching(IOServiceMatching("IONetworkInterface"));
    ASSERT_EQ(2u, interfaces.size());
    EXPECT_EQ("en0", StringProperty(interfaces[0], "BSD Name"));
    EXPECT_EQ("en5", StringProperty(interfaces[1], "BSD Name"));
    io_object_t controller = Parent(interfaces[1]);
    io_object_t device = Parent(controller);
    EXPECT_EQ((std::vector<uint8_t>{0x0a, 0x3f, 0x71, 0x12, 0x34, 0x56}), DataProperty(controller, "IOMACAddress"));
    EXPECT_EQ("IOUSBDevice", ClassOf(device));
    CFMutableDictionaryRef properties = nullptr;
    ASSERT_EQ(KERN_SUCCESS, IORegistryEntryCreateCFProperties(device, &properties, kCFAllocatorDefault, 0));
    EXPECT_EQ(5, CFDictionaryGetCount(properties));
    CFRelease(properties);
    IOObjectRelease(controller);
    IOObjectRelease(device);
    ReleaseAll(interfaces);
}

TEST_F(IOKitSnapshotTest, NoModemSampleHasSerialPortsButNotTheModemsOne)
{
    PlatformTestingSetIORegistrySnapshot((kExamples + "/registry-no-modem.plist").c_str());
    EXPECT_EQ((std::vector<std::string>{"/dev/cu.Bluetooth-Modem"}), Callouts(kIOSerialBSDAllTypes));
}

TEST_F(IOKitSnapshotTest, EnvironmentVariableNamesTheSnapshot)
{
    setenv("PLATFORM_IOREGISTRY", (kExamples + "/registry-modem.plist").c_str(), 1);
    EXPECT_EQ(3u, Callouts(kIOSerialBSDAllTypes).size());
    // The seam goes ahead of the variable.
    PlatformTestingSetIORegistrySnapshot((kExamples + "/registry-no-modem.plist").c_str());
    EXPECT_EQ(1u, Callouts(kIOSerialBSDAllTypes).size());
    unsetenv("PLATFORM_IOREGISTRY");
}

TEST_F(IOKitSnapshotTest, MatchingOnClassPropertiesNamesAndParents)
{
    std::string xml = Top(
        Entry("IOPCIDevice", "<key>name</key><string>ethernet</string>",
              Entry("IOEthernetController", "<key>IOMACAddress</key><data>AAECAwQF</data>",
                    Entry("IO80211Interface", "<key>BSD Name</key><string>en1</string><key>IOInterfaceType</key><integer>6</integer>"))) +
        Entry("IOResources", "", Entry("IOEthernetController", "", Entry("IOEthernetInterface",
              "<key>BSD Name</key><string>en2</string><key>IOInterfaceType</key><integer>6</integer>"))) +
        "<dict><key>IOObjectClass</key><string>VendorInterface</string><key>IOSuperclasses</key>"
        "<array><string>IOEthernetInterface</string></array><key>IORegistryEntryName</key><string>vendor</string></dict>");
    EXPECT_EQ("", LoadText(xml, "IONetworkInterface"));
    EXPECT_EQ(3u, count_) << "declared and built-in ancestry both count";
    LoadText(xml, "IOEthernetInterface");
    EXPECT_EQ(3u, count_);
    LoadText(xml, "IO80211Interface");
    EXPECT_EQ(1u, count_);

    // A property value: numbers match by value whatever the stored width.
    CFMutableDictionaryRef matching = IOServiceMatching("IONetworkInterface");
    int64_t six = 6;
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt64Type, &six);
    CFDictionarySetValue(matching, CFSTR("IOInterfaceType"), number);
    CFRelease(number);
    std::vector<io_object_t> found = Matching(matching);
    EXPECT_EQ(2u, found.size());
    ReleaseAll(found);

    found = Matching(IOBSDNameMatching(kIOMasterPortDefault, 0, "en2"));
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ("IOEthernetInterface", ClassOf(found[0]));
    ReleaseAll(found);

    found = Matching(IOServiceNameMatching("vendor"));
    ASSERT_EQ(1u, found.size());
    io_name_t name;
    ASSERT_EQ(KERN_SUCCESS, IORegistryEntryGetName(found[0], name));
    EXPECT_STREQ("vendor", name);
    ReleaseAll(found);

    // IOPropertyMatch and IOParentMatch.
    matching = IOServiceMatching("IOEthernetInterface");
    CFMutableDictionaryRef parentMatch = IOServiceMatching("IOPCIDevice");
    CFDictionarySetValue(matching, CFSTR("IOParentMatch"), parentMatch);
    CFRelease(parentMatch);
    found = Matching(matching);
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ("en1", StringProperty(found[0], "BSD Name"));
    ReleaseAll(found);

    matching = IOServiceMatching("IOService");
    CFMutableDictionaryRef propertyMatch = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(propertyMatch, CFSTR("BSD Name"), CFSTR("en1"));
    CFDictionarySetValue(matching, CFSTR("IOPropertyMatch"), propertyMatch);
    CFRelease(propertyMatch);
    found = Matching(matching);
    EXPECT_EQ(1u, found.size());
    ReleaseAll(found);

    // An unknown class or a property nobody has matches nothing (and is no error).
    LoadText(xml, "IONoSuchClass");
    EXPECT_EQ(0u, count_);
}

TEST_F(IOKitSnapshotTest, SearchGoesUpOrDownNearestFirstAndOnlyWhenRecursive)
{
    std::string xml = Top(Entry(
        "IOUSBDevice", "<key>Product Name</key><string>Outer</string><key>V92Modem</key><integer>1</integer>",
        Entry("IOService", "<key>Product Name</key><string>Inner</string>",
              SerialPort("/dev/cu.modem"))));
    PlatformTestingSetIORegistrySnapshotText(xml.c_str());
    std::vector<io_object_t> ports = Matching(SerialMatching("IOSerialStream"));
    ASSERT_EQ(1u, ports.size());
    EXPECT_EQ("Inner", SearchStringUp(ports[0], "Product Name"));
    CFTypeRef v92 = IORegistryEntrySearchCFProperty(ports[0], kIOServicePlane, CFSTR("V92Modem"), nullptr,
                                                    kIORegistryIterateRecursively | kIORegistryIterateParents);
    ASSERT_NE(nullptr, v92);
    EXPECT_EQ(CFNumberGetTypeID(), CFGetTypeID(v92));
    CFRelease(v92);
    // Without the recursive option only the entry itself is searched.
    EXPECT_EQ(nullptr, IORegistryEntrySearchCFProperty(ports[0], kIOServicePlane, CFSTR("Product Name"), nullptr, kIORegistryIterateParents));
    ReleaseAll(ports);

    std::vector<io_object_t> devices = Matching(IOServiceMatching("IOUSBDevice"));
    ASSERT_EQ(1u, devices.size());
    CFTypeRef callout = IORegistryEntrySearchCFProperty(devices[0], kIOServicePlane, CFSTR("IOCalloutDevice"), nullptr,
                                                        kIORegistryIterateRecursively);
    ASSERT_NE(nullptr, callout);
    EXPECT_TRUE(CFEqual(callout, CFSTR("/dev/cu.modem")));
    CFRelease(callout);
    io_iterator_t children = IO_OBJECT_NULL;
    ASSERT_EQ(KERN_SUCCESS, IORegistryEntryGetChildIterator(devices[0], kIOServicePlane, &children));
    io_object_t child = IOIteratorNext(children);
    EXPECT_EQ("IOService", ClassOf(child));
    EXPECT_EQ(IO_OBJECT_NULL, IOIteratorNext(children));
    IOObjectRelease(child);
    IOObjectRelease(children);
    ReleaseAll(devices);
}

TEST_F(IOKitSnapshotTest, HandlesAreCountedReferencesThatOutliveTheirIterator)
{
    PlatformTestingSetIORegistrySnapshot((kExamples + "/registry-modem.plist").c_str());
    io_iterator_t iterator = IO_OBJECT_NULL;
    ASSERT_EQ(KERN_SUCCESS, IOServiceGetMatchingServices(kIOMasterPortDefault, SerialMatching("IOSerialStream"), &iterator));
    EXPECT_TRUE(IOIteratorIsValid(iterator));
    io_object_t first = IOIteratorNext(iterator);
    ASSERT_NE(IO_OBJECT_NULL, first);
    EXPECT_EQ("IOUserIterator", ClassOf(iterator));
    EXPECT_EQ(KERN_SUCCESS, IOObjectRelease(iterator));
    EXPECT_FALSE(IOIteratorIsValid(iterator));
    // The object stays usable after its iterator and the registry it came from are gone.
    EXPECT_EQ("/dev/cu.ORVEKAMobile-Pcui", StringProperty(first, "IOCalloutDevice"));
    EXPECT_EQ(KERN_SUCCESS, IOObjectRetain(first));
    EXPECT_EQ(KERN_SUCCESS, IOObjectRelease(first));
    EXPECT_EQ("IOSerialBSDClient", ClassOf(first));
    EXPECT_EQ(KERN_SUCCESS, IOObjectRelease(first));
    // A second release is refused, and said so.
    testing::internal::CaptureStderr();
    EXPECT_EQ(kIOReturnBadArgument, IOObjectRelease(first));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("not a live object"));
    EXPECT_EQ(kIOReturnBadArgument, IOObjectRelease(IO_OBJECT_NULL));

    // Reset starts the walk again; the iterator yields the same entries.
    ASSERT_EQ(KERN_SUCCESS, IOServiceGetMatchingServices(kIOMasterPortDefault, SerialMatching("IOSerialStream"), &iterator));
    io_object_t a = IOIteratorNext(iterator);
    IOIteratorReset(iterator);
    io_object_t b = IOIteratorNext(iterator);
    EXPECT_NE(a, b);
    EXPECT_TRUE(IOObjectIsEqualTo(a, b));
    IOObjectRelease(a);
    IOObjectRelease(b);
    IOObjectRelease(iterator);
}

TEST_F(IOKitSnapshotTest, ArmedFailuresAndBadArguments)
{
    PlatformTestingSetIORegistrySnapshot((kExamples + "/registry-modem.plist").c_str());
    PlatformTestingIOKitFailCall("IOServiceMatching", 1, PLATFORM_TESTING_EVERY_CALL);
    EXPECT_EQ(nullptr, IOServiceMatching("IOSerialBSDClient"));
    PlatformTestingIOKitFailCall("IOServiceMatching", 0, PLATFORM_TESTING_EVERY_CALL);

    PlatformTestingIOKitFailCall("IOServiceGetMatchingServices", kIOReturnNoMemory, PLATFORM_TESTING_EVERY_CALL);
    io_iterator_t iterator = 99;
    EXPECT_EQ(kIOReturnNoMemory, IOServiceGetMatchingServices(kIOMasterPortDefault, SerialMatching("IOSerialStream"), &iterator));
    EXPECT_EQ(IO_OBJECT_NULL, iterator);
    PlatformTestingIOKitFailCall("IOServiceGetMatchingServices", 0, PLATFORM_TESTING_EVERY_CALL);

    std::vector<io_object_t> ports = Matching(SerialMatching("IOSerialStream"));
    ASSERT_FALSE(ports.empty());
    PlatformTestingIOKitFailCall("IORegistryEntryGetParentEntry", kIOReturnError, PLATFORM_TESTING_EVERY_CALL);
    io_object_t parent = 42;
    EXPECT_EQ(kIOReturnError, IORegistryEntryGetParentEntry(ports[0], kIOServicePlane, &parent));
    EXPECT_EQ(IO_OBJECT_NULL, parent);
    PlatformTestingIOKitFailCall("IORegistryEntryCreateCFProperty", kIOReturnError, PLATFORM_TESTING_EVERY_CALL);
    EXPECT_EQ("", StringProperty(ports[0], "IOCalloutDevice"));
    PlatformTestingIOKitFailCall("IORegistryEntryCreateCFProperties", kIOReturnNoMemory, PLATFORM_TESTING_EVERY_CALL);
    CFMutableDictionaryRef properties = nullptr;
    EXPECT_EQ(kIOReturnNoMemory, IORegistryEntryCreateCFProperties(ports[0], &properties, nullptr, 0));
    EXPECT_EQ(nullptr, properties);

    // The CoreFoundation creation seam fails the registry's creations as it fails its own.
    PlatformTestingReset();
    PlatformTestingSetIORegistrySnapshot((kExamples + "/registry-modem.plist").c_str());
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ("", StringProperty(ports[0], "IOCalloutDevice"));
    CFMutableDictionaryRef matching = SerialMatching("IOSerialStream");
    PlatformTestingCFFailNthCreation(1);
    iterator = 99;
    EXPECT_EQ(kIOReturnNoMemory, IOServiceGetMatchingServices(kIOMasterPortDefault, matching, &iterator));
    EXPECT_EQ(IO_OBJECT_NULL, iterator);
    ReleaseAll(ports);

    EXPECT_EQ(kIOReturnBadArgument, IOServiceGetMatchingServices(kIOMasterPortDefault, nullptr, &iterator));
    EXPECT_EQ(IO_OBJECT_NULL, IOServiceGetMatchingService(kIOMasterPortDefault, nullptr));
    EXPECT_FALSE(IOObjectConformsTo(12345, "IOService"));
    EXPECT_EQ(nullptr, IORegistryEntryCreateCFProperty(12345, CFSTR("x"), nullptr, 0));
}

// ---- Broken snapshots ----

TEST_F(IOKitSnapshotTest, TextThatIsNoPropertyListGivesAnEmptyRegistryAndOneLine)
{
    std::string errors = LoadText("this is not a property list");
    EXPECT_EQ(0u, count_);
    EXPECT_NE(std::string::npos, errors.find("IOKit: registry snapshot")) << errors;
    EXPECT_NE(std::string::npos, errors.find("is not a property list")) << errors;
    EXPECT_NE(std::string::npos, errors.find("the registry is empty")) << errors;
    // The same snapshot again: the registry says it once.
    EXPECT_EQ("", LoadText("this is not a property list"));

    errors = LoadText(Top(Entry("IOService")).substr(0, 80));  // cut short
    EXPECT_EQ(0u, count_);
    EXPECT_NE(std::string::npos, errors.find("is not a property list")) << errors;
}

TEST_F(IOKitSnapshotTest, MissingFileGivesAnEmptyRegistryAndNamesTheFile)
{
    PlatformTestingSetIORegistrySnapshot("/nonexistent/registry.plist");
    testing::internal::CaptureStderr();
    std::vector<io_object_t> objects = Matching(IOServiceMatching("IOService"));
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(objects.empty());
    EXPECT_NE(std::string::npos, errors.find("/nonexistent/registry.plist cannot be read (No such file or directory)")) << errors;
}

TEST_F(IOKitSnapshotTest, WrongTopLevelTypesGiveAnEmptyRegistry)
{
    std::string errors = LoadText(Plist("<array><string>x</string></array>"));
    EXPECT_EQ(0u, count_);
    EXPECT_NE(std::string::npos, errors.find("the top level is an array, not a dictionary")) << errors;

    errors = LoadText(Plist("<dict><key>IORegistryEntryChildren</key><string>x</string></dict>"));
    EXPECT_EQ(0u, count_);
    EXPECT_NE(std::string::npos, errors.find("IORegistryEntryChildren is a string, not an array")) << errors;

    // A dictionary without entries is simply an empty machine.
    EXPECT_EQ("", LoadText(Plist("<dict/>")));
    EXPECT_EQ(0u, count_);
}

TEST_F(IOKitSnapshotTest, BadEntriesAreLeftOutAndTheRestStays)
{
    std::string good = Entry("IOService", "<key>tag</key><string>kept</string>");
    std::string xml = Top(
        "<string>not an entry</string>" +                                                     // /0
        std::string("<dict><key>IORegistryEntryProperties</key><dict/></dict>") +            // /1 no class
        "<dict><key>IOObjectClass</key><integer>7</integer>" +                               // /2 class not a string
        "<key>IORegistryEntryChildren</key><array>" + good + "</array></dict>" +
        "<dict><key>IOObjectClass</key><string>IOService</string>"                           // /3 properties wrong
        "<key>IORegistryEntryProperties</key><array/></dict>" +
        "<dict><key>IOObjectClass</key><string>IOService</string>"                           // /4 kept, odd parts
        "<key>IOSuperclasses</key><string>IOService</string>"
        "<key>IORegistryEntryName</key><integer>1</integer>"
        "<key>BSD Name</key><string>misplaced</string>"
        "<key>IORegistryEntryChildren</key><dict/></dict>" +
        good +                                                                               // /5
        "<dict><key>IOObjectClass</key><string>" + std::string(128, 'C') + "</string></dict>"); // /6 class too long
    std::string errors = LoadText(xml);
    EXPECT_EQ(2u, count_) << errors;
    for (const char *expected : {
             "entry /0 is a string, not a dictionary; left out",
             "entry /1 has no IOObjectClass; left out with its children",
             "entry /2: IOObjectClass is a number, not a class name; left out with its children",
             "entry /3 (IOService): IORegistryEntryProperties is an array, not a dictionary; left out with its children",
             "entry /4 (IOService): IOSuperclasses is not an array of class names; ignored",
             "entry /4 (IOService): IORegistryEntryName is a number, not a string; the class name is used",
             "entry /4 (IOService): unknown key \"BSD Name\"; ignored",
             "entry /4 (IOService): IORegistryEntryChildren is a dictionary, not an array; no children",
             "entry /6: IOObjectClass is 128 bytes long, more than a class name can be (127); left out with its children",
         }) {
        EXPECT_NE(std::string::npos, errors.find(expected)) << expected << "\n" << errors;
    }
    // Every complaint is one line beginning with the stand-in's name.
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = errors.find('\n', at)) != std::string::npos; ++at) {
        ++lines;
    }
    EXPECT_EQ(9u, lines) << errors;
}

TEST_F(IOKitSnapshotTest, ALongEntryNameIsCutBeforeTheCharacterThatDoesNotFit)
{
    // 126 ASCII bytes and a two-byte character: 128 bytes, one more than an io_name_t holds.
    std::string name = std::string(126, 'n') + "\xc3\xa9";
    LoadText(Top("<dict><key>IOObjectClass</key><string>IOService</string>"
                 "<key>IORegistryEntryName</key><string>" + name + "</string></dict>"));
    std::vector<io_object_t> objects = Matching(IOServiceMatching("IOService"));
    ASSERT_EQ(1u, objects.size());
    io_name_t got;
    ASSERT_EQ(KERN_SUCCESS, IORegistryEntryGetName(objects[0], got));
    EXPECT_EQ(std::string(126, 'n'), std::string(got));
    ReleaseAll(objects);
}

TEST_F(IOKitSnapshotTest, WellKnownPropertiesOfTheWrongTypeAreReportedAndKept)
{
    std::string xml = Top(Entry("IOSerialBSDClient",
                                "<key>IOCalloutDevice</key><integer>5</integer>"
                                "<key>IOSerialBSDClientType</key><string>IOModemSerialStream</string>") +
                          Entry("IOEthernetController", "<key>IOMACAddress</key><data>AAEC</data>",
                                Entry("IOEthernetInterface", "<key>BSD Name</key><data>ZW4w</data>"
                                                             "<key>IOInterfaceType</key><string>6</string>")));
    std::string errors = LoadText(xml);
    EXPECT_EQ(3u, count_);
    EXPECT_NE(std::string::npos, errors.find("property \"IOCalloutDevice\" should be a string but is a number; kept as it is")) << errors;
    EXPECT_NE(std::string::npos, errors.find("property \"IOMACAddress\" should be data of 6 or 8 bytes but is data of 3 bytes")) << errors;
    EXPECT_NE(std::string::npos, errors.find("property \"BSD Name\" should be a string but is data")) << errors;
    EXPECT_NE(std::string::npos, errors.find("property \"IOInterfaceType\" should be a number but is a string")) << errors;

    // The values reach the caller as they are, so the caller decides.
    std::vector<io_object_t> ports = Matching(SerialMatching("IOSerialStream"));
    ASSERT_EQ(1u, ports.size());
    EXPECT_EQ(5, NumberProperty(ports[0], "IOCalloutDevice"));
    ReleaseAll(ports);
}

TEST_F(IOKitSnapshotTest, ComplaintsStayOneLineWhateverTheSnapshotHolds)
{
    std::string errors = LoadText(Top("<dict><key>IOObjectClass</key><string>Bad\nClass</string>"
                                      "<key>IORegistryEntryProperties</key><string/></dict>"));
    EXPECT_NE(std::string::npos, errors.find("entry /0 (Bad\\x0aClass): IORegistryEntryProperties is a string")) << errors;
    EXPECT_EQ(errors.size() - 1, errors.find('\n'));
}

TEST_F(IOKitSnapshotTest, DeepNestingIsCutOffNotFollowed)
{
    std::string nested = Entry("IOService");
    for (int i = 0; i < 70; ++i) {
        nested = Entry("IOService", "", nested);
    }
    std::string errors = LoadText(Top(nested));
    EXPECT_EQ(64u, count_);
    EXPECT_NE(std::string::npos, errors.find("is nested deeper than 64 entries; left out")) << errors;
}

}  // namespace
