// Helpers shared by the IOKit tests: a temporary folder, CF value access, registry walks.
#ifndef IOKIT_TEST_SUPPORT_H
#define IOKIT_TEST_SUPPORT_H

#include <IOKit/IOKitLib.h>

#include "StandInTestSupport.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace iokit_test {

// The shared temporary folder, with helpers that lay out a sysfs-like tree in it.
class TempDir : public standintest::TempFolder {
public:
    TempDir() : TempFolder("iokit-test") {}
    // Writes a file (creating its folders) below the folder.
    void File(const std::string &relative, const std::string &content) const;
    void Dir(const std::string &relative) const;
    // A symbolic link at `relative` pointing at `target` (as given: relative links stay relative).
    void Link(const std::string &relative, const std::string &target) const;
};

// The registry objects matching, in order; the caller releases them with ReleaseAll.
std::vector<io_object_t> Matching(CFMutableDictionaryRef matching);
void ReleaseAll(std::vector<io_object_t> &objects);

CFMutableDictionaryRef SerialMatching(const char *type);

// Property access; "" / -1 / empty when absent or of another type.
std::string StringProperty(io_object_t object, const char *key);
long long NumberProperty(io_object_t object, const char *key);
std::vector<uint8_t> DataProperty(io_object_t object, const char *key);
std::string SearchStringUp(io_object_t object, const char *key);
std::string ClassOf(io_object_t object);
// The parent's handle (caller releases), or 0.
io_object_t Parent(io_object_t object);

}  // namespace iokit_test

#endif
