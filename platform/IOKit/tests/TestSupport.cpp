#include "TestSupport.h"

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace iokit_test {

void TempDir::File(const std::string &relative, const std::string &content) const
{
    fs::path file = path() / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

void TempDir::Dir(const std::string &relative) const { fs::create_directories(path() / relative); }

void TempDir::Link(const std::string &relative, const std::string &target) const
{
    fs::path link = path() / relative;
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

std::vector<io_object_t> Matching(CFMutableDictionaryRef matching)
{
    std::vector<io_object_t> objects;
    io_iterator_t iterator = IO_OBJECT_NULL;
    if (IOServiceGetMatchingServices(kIOMasterPortDefault, matching, &iterator) != KERN_SUCCESS) {
        return objects;
    }
    while (io_object_t object = IOIteratorNext(iterator)) {
        objects.push_back(object);
    }
    IOObjectRelease(iterator);
    return objects;
}

void ReleaseAll(std::vector<io_object_t> &objects)
{
    for (io_object_t object : objects) {
        IOObjectRelease(object);
    }
    objects.clear();
}

CFMutableDictionaryRef SerialMatching(const char *type)
{
    CFMutableDictionaryRef matching = IOServiceMatching("IOSerialBSDClient");
    standintest::CFRef<CFStringRef> value(standintest::Str(type));
    CFDictionarySetValue(matching, CFSTR("IOSerialBSDClientType"), value);
    return matching;
}

namespace {
CFTypeRef Copy(io_object_t object, const char *key)
{
    standintest::CFRef<CFStringRef> keyString(standintest::Str(key));
    return IORegistryEntryCreateCFProperty(object, keyString, kCFAllocatorDefault, 0);
}
}  // namespace

std::string StringProperty(io_object_t object, const char *key)
{
    CFTypeRef value = Copy(object, key);
    std::string text = standin::UTF8OrEmpty(value);
    if (value != nullptr) {
        CFRelease(value);
    }
    return text;
}

long long NumberProperty(io_object_t object, const char *key)
{
    CFTypeRef value = Copy(object, key);
    long long number = -1;
    if (value != nullptr && CFGetTypeID(value) == CFNumberGetTypeID()) {
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberLongLongType, &number);
    }
    if (value != nullptr) {
        CFRelease(value);
    }
    return number;
}

std::vector<uint8_t> DataProperty(io_object_t object, const char *key)
{
    CFTypeRef value = Copy(object, key);
    std::vector<uint8_t> bytes;
    if (value != nullptr && CFGetTypeID(value) == CFDataGetTypeID()) {
        auto data = static_cast<CFDataRef>(value);
        bytes.assign(CFDataGetBytePtr(data), CFDataGetBytePtr(data) + CFDataGetLength(data));
    }
    if (value != nullptr) {
        CFRelease(value);
    }
    return bytes;
}

std::string SearchStringUp(io_object_t object, const char *key)
{
    standintest::CFRef<CFStringRef> keyString(standintest::Str(key));
    standintest::CFRef<CFTypeRef> value(IORegistryEntrySearchCFProperty(
        object, kIOServicePlane, keyString, kCFAllocatorDefault, kIORegistryIterateRecursively | kIORegistryIterateParents));
    return standin::UTF8OrEmpty(value);
}

std::string ClassOf(io_object_t object)
{
    io_name_t name;
    return IOObjectGetClass(object, name) == KERN_SUCCESS ? std::string(name) : std::string();
}

io_object_t Parent(io_object_t object)
{
    io_object_t parent = IO_OBJECT_NULL;
    return IORegistryEntryGetParentEntry(object, kIOServicePlane, &parent) == KERN_SUCCESS ? parent : IO_OBJECT_NULL;
}

}  // namespace iokit_test
