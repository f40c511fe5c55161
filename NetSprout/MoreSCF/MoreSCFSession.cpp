// The preferences session: open and close, the statuses of platform failures, the client name,
// and the system version by which the model picks version-dependent behaviour.
#include "MoreSCFInternal.h"

#include <CoreServices/CoreServices.h>

namespace {

// The cached system version; 0 until it is first asked.
UInt32 sMoreSCSystemVersion = 0;

}  // namespace

UInt32 MoreSCGetSystemVersion(void)
{
    if (sMoreSCSystemVersion != 0) {
        return sMoreSCSystemVersion;
    }
    SInt32 major = 0;
    SInt32 minor = 0;
    OSErr majorErr = Gestalt(gestaltSystemVersionMajor, &major);
    OSErr minorErr = Gestalt(gestaltSystemVersionMinor, &minor);
    MoreSCFAssert(majorErr == noErr && minorErr == noErr);
    if (majorErr == noErr && minorErr == noErr && major == 10 && minor >= 10) {
        sMoreSCSystemVersion = 0x1099;
        return sMoreSCSystemVersion;
    }
    SInt32 packed = 0;
    OSErr packedErr = Gestalt(gestaltSystemVersion, &packed);
    MoreSCFAssert(packedErr == noErr);
    sMoreSCSystemVersion = static_cast<UInt32>(packed);
    return sMoreSCSystemVersion;
}

void MoreSCFForgetSystemVersion(void) { sMoreSCSystemVersion = 0; }
