// Sweeps one platform call's failure over an operation: the call fails once after 0, 1, 2, ...
// successful calls, and each run must either fail with an allowed status and leave its out slot
// empty, or succeed; no run may leave a CoreFoundation object or a registry handle behind. The
// seams do not say whether an armed failure was reached, so the sweep ends after a run of
// successes that give the unfailed result (a call the operation tolerates, such as a property
// read that comes back empty, may succeed with a different result before that).
#ifndef CALL_FAILURE_SWEEP_H
#define CALL_FAILURE_SWEEP_H

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>

#include "PlatformTesting.h"

namespace callsweep {

using ArmFunction = void (*)(const char *call, int32_t status, unsigned afterCalls);

// op returns its status and the text of its result ("" when it has none). Returns the number of
// runs in which the armed failure changed the outcome.
inline unsigned FailEachCall(ArmFunction arm, const char *call, int32_t status,
                             const std::function<OSStatus(std::string *result)> &op,
                             std::initializer_list<OSStatus> alsoAllowed = {})
{
    std::string expected;
    EXPECT_EQ(noErr, op(&expected)) << "the operation must succeed without failures";
    long liveCF = PlatformTestingCFLiveObjectCount();
    long liveIO = PlatformTestingIOKitLiveObjectCount();
    constexpr unsigned kQuietRunsToEnd = 25;
    unsigned changed = 0;
    unsigned quiet = 0;
    for (unsigned after = 0; quiet < kQuietRunsToEnd && after < 5000; after++) {
        arm(call, status, after);
        std::string result;
        OSStatus err = op(&result);
        arm(call, 0, 0);
        SCOPED_TRACE(std::string(call) + " failing after " + std::to_string(after) + " calls");
        EXPECT_EQ(PlatformTestingCFLiveObjectCount(), liveCF) << "CoreFoundation objects leaked";
        EXPECT_EQ(PlatformTestingIOKitLiveObjectCount(), liveIO) << "registry handles leaked";
        if (err == noErr && result == expected) {
            quiet++;
            continue;
        }
        quiet = 0;
        changed++;
        if (err != noErr) {
            bool allowed = err == status || std::find(alsoAllowed.begin(), alsoAllowed.end(), err) != alsoAllowed.end();
            EXPECT_TRUE(allowed) << "status " << err;
            EXPECT_EQ("", result) << "a failed run handed out a result";
        }
    }
    return changed;
}

}  // namespace callsweep

#endif  // CALL_FAILURE_SWEEP_H
