// The creation-failure seam: counters and arming. Filled in with the runtime.
#include "PlatformTesting.h"
