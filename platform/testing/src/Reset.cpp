// PlatformTestingReset: puts every seam back to neutral. Each stand-in keeps its own seam state
// and its own reset function; the stand-ins a test binary does not link are simply absent, so
// they are referenced weakly.
#include "PlatformTesting.h"

#include <initializer_list>

extern "C" {
// Stand-in seam resets, defined by the stand-in libraries that carry seams.
__attribute__((weak)) void PlatformTestingResetCoreFoundation(void);
__attribute__((weak)) void PlatformTestingResetCoreServices(void);
__attribute__((weak)) void PlatformTestingResetIOKit(void);
__attribute__((weak)) void PlatformTestingResetDiskArbitration(void);
__attribute__((weak)) void PlatformTestingResetSystemConfiguration(void);
__attribute__((weak)) void PlatformTestingResetSystemLog(void);
}

extern "C" void PlatformTestingReset(void)
{
    PlatformTestingResetSleep();
    for (void (*reset)(void) : {PlatformTestingResetCoreFoundation, PlatformTestingResetCoreServices,
                                PlatformTestingResetIOKit, PlatformTestingResetDiskArbitration,
                                PlatformTestingResetSystemConfiguration, PlatformTestingResetSystemLog}) {
        if (reset != nullptr) {
            reset();
        }
    }
}
