// The status of each thread's last call into the framework, and a short text for each status.
#include "SCInternal.h"

#include <cerrno>

namespace sc {

namespace {
thread_local int tLastStatus = kSCStatusOK;
}  // namespace

void SetError(int status) { tLastStatus = status; }

int StatusForErrno(int error)
{
    return (error == EACCES || error == EPERM || error == EROFS) ? kSCStatusAccessError : kSCStatusFailed;
}

}  // namespace sc

extern "C" int SCError(void) { return sc::tLastStatus; }

extern "C" const char *SCErrorString(int status)
{
    switch (status) {
    case kSCStatusOK: return "Success!";
    case kSCStatusFailed: return "Failed";
    case kSCStatusInvalidArgument: return "Invalid argument";
    case kSCStatusAccessError: return "Permission denied";
    case kSCStatusNoKey: return "No such key";
    case kSCStatusKeyExists: return "Key already exists";
    case kSCStatusLocked: return "Lock already held";
    case kSCStatusNeedLock: return "Lock not held";
    case kSCStatusNoStoreSession: return "No dynamic store session";
    case kSCStatusNoStoreServer: return "No dynamic store server";
    case kSCStatusNotifierActive: return "Notifier active";
    case kSCStatusNoPrefsSession: return "No preferences session";
    case kSCStatusPrefsBusy: return "Preferences busy";
    case kSCStatusNoConfigFile: return "No configuration file";
    case kSCStatusNoLink: return "No such link";
    case kSCStatusStale: return "Stale configuration";
    case kSCStatusMaxLink: return "Too many links";
    default: return "Unknown status";
    }
}
