// Test seams of the CoreServices stand-in (declared in PlatformTesting.h): a root folder under
// which the domains' folders are looked up, the reported system version, and calls that fail
// with a given status.
#include "CoreServicesInternal.h"

#include "PlatformTesting.h"

#include <mutex>
#include <string>
#include <vector>

namespace coreservices {

void SetSystemVersionOverride(const char *version);

namespace {

struct ArmedFailure {
    std::string function;
    OSErr status;
    unsigned callsBefore;  // calls of that function that still succeed first
};

std::mutex gSeamLock;
std::string *gFolderRoot = nullptr;
std::vector<ArmedFailure> *gArmed = nullptr;

}  // namespace

std::string FolderRoot()
{
    std::lock_guard<std::mutex> guard(gSeamLock);
    return gFolderRoot != nullptr ? *gFolderRoot : std::string();
}

bool TakeInjectedFailure(const char *function, OSErr *status)
{
    std::lock_guard<std::mutex> guard(gSeamLock);
    if (gArmed == nullptr) {
        return false;
    }
    for (auto it = gArmed->begin(); it != gArmed->end(); ++it) {
        if (it->function == function) {
            if (it->callsBefore > 0) {
                --it->callsBefore;
                return false;
            }
            *status = it->status;
            gArmed->erase(it);
            return true;
        }
    }
    return false;
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

extern "C" void PlatformTestingFailCoreServicesCall(const char *function, int32_t status, unsigned afterCalls)
{
    std::lock_guard<std::mutex> guard(coreservices::gSeamLock);
    if (coreservices::gArmed == nullptr) {
        coreservices::gArmed = new std::vector<coreservices::ArmedFailure>;
    }
    coreservices::gArmed->push_back({function, static_cast<OSErr>(status), afterCalls});
}

extern "C" void PlatformTestingResetCoreServices(void)
{
    PlatformTestingSetFolderRoot(nullptr);
    PlatformTestingSetSystemVersion(nullptr);
    std::lock_guard<std::mutex> guard(coreservices::gSeamLock);
    delete coreservices::gArmed;
    coreservices::gArmed = nullptr;
}
