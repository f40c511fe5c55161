// The registry model, its sources and the IOKit seams' state.
#include "Registry.h"

#include "PlatformTesting.h"
#include "StandInKit.h"

#include <CoreFoundation/CFStandIn.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>

namespace iokit {
namespace {

// What is known of the ancestry of the classes the live source and usual snapshots use.
const std::map<std::string, std::string> &KnownSuperclasses()
{
    static const std::map<std::string, std::string> known = {
        {"IOService", "IORegistryEntry"},
        {"IONetworkInterface", "IOService"},
        {"IOEthernetInterface", "IONetworkInterface"},
        {"IO80211Interface", "IOEthernetInterface"},
        {"IONetworkController", "IOService"},
        {"IOEthernetController", "IONetworkController"},
        {"IO80211Controller", "IOEthernetController"},
        {"IOSerialBSDClient", "IOService"},
        {"IOSerialStreamSync", "IOService"},
        {"IOModemSerialStreamSync", "IOSerialStreamSync"},
        {"IORS232SerialStreamSync", "IOSerialStreamSync"},
        {"IOPCIDevice", "IOService"},
        {"IOUSBDevice", "IOService"},
        {"IOUSBInterface", "IOService"},
        {"IOUSBHostDevice", "IOService"},
        {"IOUSBHostInterface", "IOService"},
        {"IOPlatformDevice", "IOService"},
        {"IOResources", "IOService"},
    };
    return known;
}

std::mutex gSeamMutex;
SeamState gSeams;
standin::FailureTable gFailures;

}  // namespace

standin::Reporter gComplaints("IOKit");

bool Entry::ConformsTo(const std::string &className) const
{
    for (const std::string &link : classChain) {
        if (link == className) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> ClassChain(const std::string &className, const std::vector<std::string> &superclasses)
{
    std::vector<std::string> chain{className};
    auto has = [&chain](const std::string &name) {
        for (const std::string &existing : chain) {
            if (existing == name) {
                return true;
            }
        }
        return false;
    };
    for (const std::string &super : superclasses) {
        if (!has(super)) {
            chain.push_back(super);
        }
    }
    const auto &known = KnownSuperclasses();
    for (auto found = known.find(chain.back()); found != known.end() && !has(found->second);
         found = known.find(chain.back())) {
        chain.push_back(found->second);
    }
    if (className != "IORegistryEntry") {
        if (!has("IOService")) {
            chain.push_back("IOService");
        }
        if (!has("IORegistryEntry")) {
            chain.push_back("IORegistryEntry");
        }
    }
    return chain;
}

Registry::Registry()
{
    auto root = std::make_unique<Entry>();
    root->classChain = {"IORegistryEntry"};
    root->name = "Root";
    root->location = "Root";
    root->properties = CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                          &kCFTypeDictionaryValueCallBacks);
    entries_.push_back(std::move(root));
}

Registry::~Registry()
{
    for (auto &entry : entries_) {
        if (entry->properties != nullptr) {
            CFRelease(entry->properties);
        }
    }
}

Entry *Registry::Add(Entry *parent, const std::string &className, const std::vector<std::string> &superclasses,
                     const std::string &name, CFDictionaryRef properties)
{
    auto entry = std::make_unique<Entry>();
    entry->classChain = ClassChain(className, superclasses);
    entry->name = name.empty() ? className : name;
    entry->properties = properties != nullptr
                            ? properties
                            : CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                 &kCFTypeDictionaryValueCallBacks);
    entry->parent = parent != nullptr ? parent : Root();
    entry->location = entry->parent->location + "/" + std::to_string(entry->parent->children.size()) + ":" + entry->name;
    entry->parent->children.push_back(entry.get());
    entries_.push_back(std::move(entry));
    return entries_.back().get();
}

std::vector<Entry *> Registry::Entries() const
{
    std::vector<Entry *> all;
    for (std::size_t i = 1; i < entries_.size(); ++i) {
        all.push_back(entries_[i].get());
    }
    return all;
}

namespace {

// Snapshots are small; anything this large is not one.
constexpr std::streamsize kMaxSnapshotBytes = 64 << 20;
constexpr std::size_t kReadChunkBytes = 65536;

std::shared_ptr<Registry> LoadSnapshotFile(const std::string &path)
{
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        int error = errno != 0 ? errno : ENOENT;
        gComplaints.SetScope(path);
        gComplaints.Report("registry snapshot " + path + " cannot be read (" + std::strerror(error) +
                           "); the registry is empty");
        return std::make_shared<Registry>();
    }
    std::string bytes;
    char buffer[kReadChunkBytes];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (static_cast<std::streamsize>(bytes.size()) > kMaxSnapshotBytes) {
            gComplaints.SetScope(path);
            gComplaints.Report("registry snapshot " + path + " is larger than 64 MiB; the registry is empty");
            return std::make_shared<Registry>();
        }
    }
    if (in.bad()) {
        gComplaints.SetScope(path);
        gComplaints.Report("registry snapshot " + path + " cannot be read (input error); the registry is empty");
        return std::make_shared<Registry>();
    }
    // Complaints about the same content of the same file are written once.
    gComplaints.SetScope(path + '\n' + std::to_string(std::hash<std::string>{}(bytes)));
    return RegistryFromSnapshotData(path, bytes);
}

}  // namespace

std::shared_ptr<Registry> LoadRegistry()
{
    try {
        SeamState seams = CurrentSeams();
        if (seams.haveSnapshotText) {
            gComplaints.SetScope("text\n" + std::to_string(std::hash<std::string>{}(seams.snapshotText)));
            return RegistryFromSnapshotData("(snapshot text)", seams.snapshotText);
        }
        std::string path;
        if (seams.haveSnapshotPath) {
            path = seams.snapshotPath;
        } else if (const char *variable = std::getenv("PLATFORM_IOREGISTRY")) {
            path = variable;
        }
        if (!path.empty()) {
            return LoadSnapshotFile(path);
        }
        return RegistryFromLiveSystem(seams.sysfsRoot);
    } catch (const std::exception &) {
        gComplaints.Report("the registry cannot be built (out of memory); the registry is empty");
        return std::make_shared<Registry>();
    }
}

SeamState CurrentSeams()
{
    std::lock_guard<std::mutex> lock(gSeamMutex);
    return gSeams;
}

int32_t ArmedFailure(const char *call) { return gFailures.Take(call); }

}  // namespace iokit

// ---- Seams ----

extern "C" void PlatformTestingSetIORegistrySnapshot(const char *path)
{
    std::lock_guard<std::mutex> lock(iokit::gSeamMutex);
    iokit::gSeams.haveSnapshotPath = path != nullptr;
    iokit::gSeams.snapshotPath = path != nullptr ? path : "";
}

extern "C" void PlatformTestingSetIORegistrySnapshotText(const char *xml)
{
    std::lock_guard<std::mutex> lock(iokit::gSeamMutex);
    iokit::gSeams.haveSnapshotText = xml != nullptr;
    iokit::gSeams.snapshotText = xml != nullptr ? xml : "";
}

extern "C" void PlatformTestingSetIORegistrySysfsRoot(const char *path)
{
    std::lock_guard<std::mutex> lock(iokit::gSeamMutex);
    iokit::gSeams.sysfsRoot = path != nullptr ? path : "/sys";
}

extern "C" void PlatformTestingIOKitFailCall(const char *call, int32_t status, unsigned afterCalls)
{
    if (call != nullptr) {
        iokit::gFailures.Arm(call, status, afterCalls);
    }
}

extern "C" void PlatformTestingResetIOKit(void)
{
    {
        std::lock_guard<std::mutex> lock(iokit::gSeamMutex);
        iokit::gSeams = iokit::SeamState{};
    }
    iokit::gFailures.Clear();
    iokit::gComplaints.Forget();
}
