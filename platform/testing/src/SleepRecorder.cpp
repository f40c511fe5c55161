// Replaces the C library's sleep() in unit-test binaries (linked with -Wl,--wrap=sleep): each call
// is counted and its seconds added up instead of waited, so service loops that sleep between
// attempts run at once.
#include "PlatformTesting.h"

#include <atomic>

namespace {
std::atomic<unsigned> gSleepCalls{0};
std::atomic<unsigned long> gSleepSeconds{0};
void (*gSleepHook)(unsigned, void *) = nullptr;
void *gSleepHookContext = nullptr;
}  // namespace

extern "C" unsigned __wrap_sleep(unsigned seconds)
{
    unsigned index = ++gSleepCalls;
    gSleepSeconds += seconds;
    if (gSleepHook != nullptr) {
        gSleepHook(index, gSleepHookContext);
    }
    return 0;
}

extern "C" unsigned PlatformTestingSleepCalls(void) { return gSleepCalls; }

extern "C" unsigned long PlatformTestingSleepSeconds(void) { return gSleepSeconds; }

extern "C" void PlatformTestingSetSleepHook(void (*hook)(unsigned, void *), void *context)
{
    gSleepHook = hook;
    gSleepHookContext = context;
}

extern "C" void PlatformTestingResetSleep(void)
{
    gSleepCalls = 0;
    gSleepSeconds = 0;
    gSleepHook = nullptr;
    gSleepHookContext = nullptr;
}
