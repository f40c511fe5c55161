// Applying committed preferences to the running configuration.
#include "SCInternal.h"

extern "C" Boolean SCPreferencesApplyChanges(SCPreferencesRef prefs)
{
    if (sc::PrefsOf(prefs) == nullptr) {
        return sc::Fail(kSCStatusInvalidArgument);
    }
    return sc::Succeed();
}
