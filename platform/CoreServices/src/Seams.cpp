// Test seams of the CoreServices stand-in (declared in PlatformTesting.h): a root folder under
// which the domains' folders are looked up, the reported system version, and calls that fail
// with a given status.
#include "CoreServicesInternal.h"

#include "PlatformTesting.h"
#include "StandInKit.h"

#include <mutex>
#include <string>
#include <vector>

namespace coreservices {

void SetSystemVersionOverride(const char *version);

namespace {

std::mutex gSeamLock;
std::string *gFolderRoot = nullptr;
standin::FailureTable gArmed;

}  // namespace

std::string FolderRoot()
{
    std::lock_guard<std::mutex> guard(gSeamLock);
    return gFolderRoot != nullptr ? *gFolderRoot : std::string();
}

bool TakeInjectedFailure(const char *function, OSErr *status)
{
    int32_t armed = gArmed.Take(function);
    if (armed == 0) {
        return false;
    }
    *status = static_cast<OSErr>(armed);
    return true;
}

}  // namespace coreservices

extern "C" void PlatformTestingSetFolderRoot(const char *root)
{
    std::lock_guard<std::mutex> guard(coreservices::gSeamLock);
    delete coreservices::gFolderRoot;
    coreservices::gFolderRoot = (root != nullptr && root[0] != '\0') ? new std::string(root) : nullptr;
}

extern "C" void PlatformTestingSetSystemVersion(const char *version)
{
    coreservices::SetSystemVersionOverride(version);
}

extern "C" void PlatformTestingCoreServicesFailCall(const char *call, int32_t status, unsigned afterCalls)
{
    if (call != nullptr) {
        coreservices::gArmed.Arm(call, status, afterCalls);
    }
}

extern "C" void PlatformTestingResetCoreServices(void)
{
    PlatformTestingSetFolderRoot(nullptr);
    PlatformTestingSetSystemVersion(nullptr);
    coreservices::gArmed.Clear();
}
