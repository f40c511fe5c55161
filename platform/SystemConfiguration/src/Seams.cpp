// Test seams of the SystemConfiguration stand-in (declared in PlatformTesting.h): the store
// paths, deterministic unique IDs, armed call failures, the "another writer" hook and the commit
// step hook; and the stand-in's one diagnostic reporter.
#include "SCInternal.h"

#include "PlatformTesting.h"

#include <cstdio>
#include <mutex>

namespace sc {

namespace {

std::mutex gSeamLock;
std::string gPreferencesPath;  // "" means the platform's path
std::string gDynamicStorePath;
unsigned long gNextID = 0;     // 0 means random IDs
void (*gCommitHook)(const char *, void *) = nullptr;
void *gCommitHookContext = nullptr;
void (*gStepHook)(int, void *) = nullptr;
void *gStepHookContext = nullptr;
standin::FailureTable gArmed;

}  // namespace

std::string PreferencesPath()
{
    std::lock_guard<std::mutex> guard(gSeamLock);
    return gPreferencesPath.empty() ? kDefaultPreferencesPath : gPreferencesPath;
}

std::string DynamicStorePath()
{
    std::lock_guard<std::mutex> guard(gSeamLock);
    return gDynamicStorePath.empty() ? kDefaultDynamicStorePath : gDynamicStorePath;
}

int32_t ArmedFailure(const char *call) { return gArmed.Take(call); }

std::string NextDeterministicID()
{
    std::lock_guard<std::mutex> guard(gSeamLock);
    if (gNextID == 0) {
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, "00000000-0000-0000-0000-%012lX", gNextID++);
    return text;
}

void RunCommitHook(const std::string &storePath)
{
    void (*hook)(const char *, void *) = nullptr;
    void *context = nullptr;
    {
        std::lock_guard<std::mutex> guard(gSeamLock);
        hook = gCommitHook;
        context = gCommitHookContext;
    }
    if (hook != nullptr) {
        hook(storePath.c_str(), context);
    }
}

void ReachedCommitStep(int step)
{
    void (*hook)(int, void *) = nullptr;
    void *context = nullptr;
    {
        std::lock_guard<std::mutex> guard(gSeamLock);
        hook = gStepHook;
        context = gStepHookContext;
    }
    if (hook != nullptr) {
        hook(step, context);
    }
}

standin::Reporter &Diagnostics()
{
    static standin::Reporter *reporter = new standin::Reporter("SystemConfiguration");
    return *reporter;
}

}  // namespace sc

extern "C" void PlatformTestingSetPreferencesPath(const char *path)
{
    std::lock_guard<std::mutex> guard(sc::gSeamLock);
    sc::gPreferencesPath = path != nullptr ? path : "";
}

extern "C" void PlatformTestingSetDynamicStorePath(const char *path)
{
    std::lock_guard<std::mutex> guard(sc::gSeamLock);
    sc::gDynamicStorePath = path != nullptr ? path : "";
}

extern "C" void PlatformTestingSCDeterministicIDs(unsigned long first)
{
    std::lock_guard<std::mutex> guard(sc::gSeamLock);
    sc::gNextID = first;
}

extern "C" void PlatformTestingSystemConfigurationFailCall(const char *call, int32_t status, unsigned afterCalls)
{
    if (call != nullptr) {
        sc::gArmed.Arm(call, status, afterCalls);
    }
}

extern "C" void PlatformTestingSetCommitHook(void (*hook)(const char *storePath, void *context), void *context)
{
    std::lock_guard<std::mutex> guard(sc::gSeamLock);
    sc::gCommitHook = hook;
    sc::gCommitHookContext = context;
}

extern "C" void PlatformTestingSetCommitStepHook(void (*hook)(int step, void *context), void *context)
{
    std::lock_guard<std::mutex> guard(sc::gSeamLock);
    sc::gStepHook = hook;
    sc::gStepHookContext = context;
}

extern "C" void PlatformTestingResetSystemConfiguration(void)
{
    PlatformTestingSetPreferencesPath(nullptr);
    PlatformTestingSetDynamicStorePath(nullptr);
    PlatformTestingSCDeterministicIDs(0);
    PlatformTestingSetCommitHook(nullptr, nullptr);
    PlatformTestingSetCommitStepHook(nullptr, nullptr);
    sc::gArmed.Clear();
    sc::Diagnostics().Forget();
}
