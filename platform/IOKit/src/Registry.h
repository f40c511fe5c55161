// The registry model behind the IOKit calls: a tree of entries, each with a class chain, a name
// and a property table, built afresh from the current source (a snapshot file or the live
// system) for each matching call and kept alive by the handles that point into it.
#ifndef IOKIT_REGISTRY_H
#define IOKIT_REGISTRY_H

#include <CoreFoundation/CoreFoundation.h>

#include "StandInKit.h"

#include <memory>
#include <string>
#include <vector>

namespace iokit {

struct Entry {
    std::vector<std::string> classChain;  // the class first, then its superclasses, nearest first
    std::string name;
    CFDictionaryRef properties = nullptr;  // owned
    Entry *parent = nullptr;
    std::vector<Entry *> children;
    std::string location;  // stable across rebuilds: the path of names from the root

    const std::string &ClassName() const { return classChain.front(); }
    bool ConformsTo(const std::string &className) const;
};

class Registry {
public:
    Registry();
    ~Registry();
    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;

    Entry *Root() { return entries_.front().get(); }
    // Adds an entry below `parent`; takes over one reference of `properties` (NULL: none).
    // `superclasses` extends the built-in knowledge of the class's ancestry.
    Entry *Add(Entry *parent, const std::string &className, const std::vector<std::string> &superclasses,
               const std::string &name, CFDictionaryRef properties);
    // Every entry but the root, in the order they were added (the registry order of matching).
    std::vector<Entry *> Entries() const;

private:
    std::vector<std::unique_ptr<Entry>> entries_;
};

// The full class chain of a class: the given superclasses, then what is known of the last one's
// ancestry, always ending in IOService and IORegistryEntry.
std::vector<std::string> ClassChain(const std::string &className, const std::vector<std::string> &superclasses);

// The registry from the current source. Never NULL; an unreadable source gives an empty registry
// (the root alone) and a line on standard error.
std::shared_ptr<Registry> LoadRegistry();

// Builders for the two sources.
std::shared_ptr<Registry> RegistryFromSnapshotData(const std::string &origin, const std::string &bytes);
std::shared_ptr<Registry> RegistryFromLiveSystem(const std::string &sysfsRoot);

// Lines on standard error, prefixed "IOKit: ". Repeats of the same line for the same unchanged
// source (the reporter's scope) are written once.
extern standin::Reporter gComplaints;

// Seams (see PlatformTesting.h).
struct SeamState {
    bool haveSnapshotPath = false;
    std::string snapshotPath;
    bool haveSnapshotText = false;
    std::string snapshotText;
    std::string sysfsRoot = "/sys";
};
SeamState CurrentSeams();
// The status an IOKit call is made to fail with, 0 when it runs normally.
int32_t ArmedFailure(const char *call);

}  // namespace iokit

#endif
