// Gestalt's version selectors, answered from PLATFORM_SYSTEM_VERSION or the seam.
#include "CoreServicesInternal.h"

#include "StandInKit.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>

namespace coreservices {
namespace {

constexpr const char *kDefaultSystemVersion = "10.10.5";

std::mutex gVersionLock;
std::string *gVersionOverride = nullptr;  // set by the test seam

struct Version {
    int major = 0;
    int minor = 0;
    int bugFix = 0;
};

// "M.m" or "M.m.b", each part 0..99.
bool ParseVersion(const char *text, Version *version)
{
    if (text == nullptr) {
        return false;
    }
    Version v;
    int consumed = 0;
    int fields = std::sscanf(text, "%2d.%2d%n.%2d%n", &v.major, &v.minor, &consumed, &v.bugFix, &consumed);
    if (fields < 2 || text[consumed] != '\0' || v.major < 0 || v.minor < 0 || v.bugFix < 0) {
        return false;
    }
    if (fields == 2) {
        v.bugFix = 0;
    }
    *version = v;
    return true;
}

Version CurrentVersion()
{
    std::lock_guard<std::mutex> guard(gVersionLock);
    Version v;
    if (gVersionOverride != nullptr && ParseVersion(gVersionOverride->c_str(), &v)) {
        return v;
    }
    const char *fromEnvironment = std::getenv("PLATFORM_SYSTEM_VERSION");
    if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') {
        if (ParseVersion(fromEnvironment, &v)) {
            return v;
        }
        static standin::Reporter complaints("CoreServices");
        complaints.Report(std::string("PLATFORM_SYSTEM_VERSION \"") + fromEnvironment +
                          "\" is not a version like 10.4.11; using " + kDefaultSystemVersion);
    }
    ParseVersion(kDefaultSystemVersion, &v);
    return v;
}

}  // namespace

void SetSystemVersionOverride(const char *version)
{
    std::lock_guard<std::mutex> guard(gVersionLock);
    delete gVersionOverride;
    gVersionOverride = (version != nullptr) ? new std::string(version) : nullptr;
}

}  // namespace coreservices

extern "C" OSErr Gestalt(OSType selector, SInt32 *response)
{
    using namespace coreservices;
    OSErr injected;
    if (TakeInjectedFailure("Gestalt", &injected)) {
        return injected;
    }
    if (response == nullptr) {
        return paramErr;
    }
    Version v = CurrentVersion();
    switch (selector) {
    case gestaltSystemVersionMajor:
        *response = v.major;
        return noErr;
    case gestaltSystemVersionMinor:
        *response = v.minor;
        return noErr;
    case gestaltSystemVersionBugFix:
        *response = v.bugFix;
        return noErr;
    case gestaltSystemVersion:
        // 0xMMmb: the major version as two decimal digits, minor and fix one digit each (capped at 9).
        *response = (((v.major / 10) % 10) << 12) | ((v.major % 10) << 8) | (std::min(v.minor, 9) << 4) |
                    std::min(v.bugFix, 9);
        return noErr;
    default:
        return gestaltUndefSelectorErr;
    }
}
