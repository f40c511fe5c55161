// Small helpers that the IOKit and DiskArbitration stand-ins both use: a creation scope of the
// CoreFoundation stand-in's failure seam, and the reading of one sysfs attribute. Header-only and
// private to the stand-ins; program code never includes it.
#ifndef PLATFORM_STAND_IN_SUPPORT_H
#define PLATFORM_STAND_IN_SUPPORT_H

#include <CoreFoundation/CFStandIn.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace standin {

// One creation of a public Create or Copy function: Granted() is false when the seam fails it
// (the function then returns NULL at once).
class CreationScope {
public:
    CreationScope() : granted_(_CFStandInCreationBegin()) {}
    ~CreationScope()
    {
        if (granted_) {
            _CFStandInCreationEnd();
        }
    }
    CreationScope(const CreationScope &) = delete;
    CreationScope &operator=(const CreationScope &) = delete;
    bool Granted() const { return granted_; }

private:
    bool granted_;
};

// The first line of a sysfs attribute without its trailing white space; nothing when the file
// cannot be opened or read.
inline std::optional<std::string> ReadSysfsAttribute(const std::filesystem::path &path)
{
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    std::string text;
    std::getline(in, text);
    if (in.bad()) {
        return std::nullopt;
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    return text;
}

}  // namespace standin

#endif
