// netprefs: lists the network sets of the preferences store with their services, and creates,
// deletes, duplicates, renames and selects sets, or releases the DHCP leases of the current set,
// through the preferences model only.
//
// A command that changes sets runs inside one session level holding the preferences lock (it
// waits for another netprefs or another locking writer), so its look-ups and its change see one
// state of the store; its output is printed only once the change is committed and applied.
// Errors go to standard error as "netprefs: <what>: <why>".
#include "Netprefs.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstring>
#include <string>
#include <vector>

#include "MoreSCF.h"
#include "MoreSCFHelpers.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: netprefs list\n"
    "       netprefs new-set NAME\n"
    "       netprefs delete-set NAME\n"
    "       netprefs duplicate-set NAME NEW-NAME\n"
    "       netprefs rename-set NAME NEW-NAME\n"
    "       netprefs use NAME\n"
    "       netprefs dhcp-release\n";

// Owns one CoreFoundation reference.
template <class Ref>
class Owned {
public:
    Owned() = default;
    explicit Owned(Ref ref) : ref_(ref) {}
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    ~Owned()
    {
        if (ref_ != nullptr) {
            CFRelease(ref_);
        }
    }
    Ref *Slot() { return &ref_; }
    operator Ref() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

private:
    Ref ref_ = nullptr;
};

std::string Utf8(CFStringRef text)
{
    if (text == nullptr) {
        return "";
    }
    CFIndex size = CFStringGetMaximumSizeForEncoding(CFStringGetLength(text), kCFStringEncodingUTF8) + 1;
    std::vector<char> buffer(static_cast<size_t>(size));
    if (!CFStringGetCString(text, buffer.data(), size, kCFStringEncodingUTF8)) {
        return "?";
    }
    return buffer.data();
}

// What a command did: a status, and either the text it prints once everything is committed or
// the reason it gives for refusing (a refusal carries its own text and status 1).
struct Outcome {
    OSStatus status = noErr;
    std::string output;
    std::string reason;
};

Outcome Refused(std::string reason)
{
    return {1, "", std::move(reason)};
}

std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

// The reason for a failing status of the model or the platform.
std::string Describe(OSStatus status)
{
    switch (status) {
    case kSCStatusAccessError:
        return "permission denied: the network preferences cannot be changed by this user or on this file system";
    case kSCStatusStale:
        return "the network preferences were changed by another program meanwhile; nothing was changed, try again";
    case kSCStatusPrefsBusy:
        return "the network preferences are locked by another program";
    case kSCStatusFailed:
        return "the network preferences could not be read or written (status 1001)";
    default:
        return "failed with status " + std::to_string(status);
    }
}

// The set a name on the command line means: the first set of that user-visible name, else the
// set of that ID. *setID stays NULL when there is none.
OSStatus FindSet(CFStringRef nameOrID, CFStringRef *setID)
{
    OSStatus err = MoreSCFindSetByUserVisibleNameAndCopyID(nameOrID, setID);
    if (err == kSCStatusNoKey) {
        return noErr;  // a store without sets
    }
    if (err == noErr && *setID == nullptr) {
        Owned<CFDictionaryRef> sets;
        err = MoreSCCopySetsDict(sets.Slot());
        if (err == noErr && CFDictionaryContainsKey(sets, nameOrID)) {
            *setID = static_cast<CFStringRef>(CFRetain(nameOrID));
        }
    }
    return err;
}

// A set the command names: found, or the refusal that says it is not there.
Outcome FindNamedSet(CFStringRef name, CFStringRef *setID)
{
    Outcome outcome;
    outcome.status = FindSet(name, setID);
    if (outcome.status == noErr && *setID == nullptr) {
        return Refused("no set named " + Quoted(Utf8(name)));
    }
    return outcome;
}

// Refuses a name some set has already (sets are found by name, so names stay unique).
Outcome RequireFreeName(CFStringRef name)
{
    Owned<CFStringRef> existing;
    Outcome outcome;
    outcome.status = MoreSCFindSetByUserVisibleNameAndCopyID(name, existing.Slot());
    if (outcome.status == kSCStatusNoKey) {
        outcome.status = noErr;
    }
    if (outcome.status == noErr && existing) {
        return Refused("a set named " + Quoted(Utf8(name)) + " exists already");
    }
    return outcome;
}

// "    <name>  <device>  <active|inactive>  [<ID>]" for each service of the set, in its order.
void ListServices(CFStringRef setID, std::string &output)
{
    Owned<CFArrayRef> serviceIDs;
    if (MoreSCCopyServiceIDs(setID, serviceIDs.Slot(), nullptr) != noErr) {
        return;
    }
    for (CFIndex i = 0; i < CFArrayGetCount(serviceIDs); i++) {
        auto serviceID = static_cast<CFStringRef>(CFArrayGetValueAtIndex(serviceIDs, i));
        Owned<CFStringRef> name;
        Owned<CFStringRef> device;
        Boolean active = false;
        std::string nameText = MoreSCCopyUserVisibleNameOfService(setID, serviceID, name.Slot()) == noErr
                                   ? Utf8(name)
                                   : "(no name)";
        std::string deviceText = MoreSCCopyBSDNameOfService(setID, serviceID, device.Slot()) == noErr ? Utf8(device) : "-";
        std::string state = MoreSCIsServiceActive(setID, serviceID, &active) != noErr ? "?"
                            : active                                              ? "active"
                                                                                  : "inactive";
        output += "    " + nameText + "  " + deviceText + "  " + state + "  [" + Utf8(serviceID) + "]\n";
    }
}

// "* <name>  [<ID>]" for the current set, "  <name>  [<ID>]" for the others.
Outcome List()
{
    Outcome outcome;
    Owned<CFArrayRef> setIDs;
    Owned<CFArrayRef> setIDsWithoutCurrent;
    CFIndex current = -1;
    outcome.status = MoreSCCopySetIDs(setIDs.Slot(), &current);
    CFArrayRef sets = setIDs;
    if (outcome.status == kSCStatusNoKey) {
        // No current set, or no sets at all.
        outcome.status = MoreSCCopySetIDs(setIDsWithoutCurrent.Slot(), nullptr);
        sets = setIDsWithoutCurrent;
        if (outcome.status == kSCStatusNoKey) {
            outcome.status = noErr;
            return outcome;
        }
    }
    for (CFIndex i = 0; outcome.status == noErr && i < CFArrayGetCount(sets); i++) {
        auto setID = static_cast<CFStringRef>(CFArrayGetValueAtIndex(sets, i));
        Owned<CFStringRef> name;
        std::string nameText = MoreSCCopyUserVisibleNameOfSet(setID, name.Slot()) == noErr ? Utf8(name) : "(no name)";
        outcome.output += (i == current ? "* " : "  ") + nameText + "  [" + Utf8(setID) + "]\n";
        ListServices(setID, outcome.output);
    }
    return outcome;
}

Outcome NewSet(CFStringRef name)
{
    Outcome outcome = RequireFreeName(name);
    Owned<CFStringRef> setID;
    if (outcome.status == noErr && outcome.reason.empty()) {
        outcome.status = MoreSCNewSet(name, setID.Slot());
        outcome.output = Utf8(setID) + "\n";
    }
    return outcome;
}

Outcome DeleteSetNamed(CFStringRef name)
{
    Owned<CFStringRef> setID;
    Outcome outcome = FindNamedSet(name, setID.Slot());
    if (outcome.status == noErr) {
        outcome.status = MoreSCDeleteSet(setID);
        if (outcome.status == paramErr) {
            return Refused(Quoted(Utf8(name)) + " is the current set; make another set current first");
        }
    }
    return outcome;
}

Outcome DuplicateSet(CFStringRef name, CFStringRef newName)
{
    Owned<CFStringRef> setID;
    Owned<CFStringRef> copyID;
    Outcome outcome = FindNamedSet(name, setID.Slot());
    if (outcome.status == noErr) {
        outcome = RequireFreeName(newName);
    }
    if (outcome.status == noErr) {
        outcome.status = MoreSCDuplicateSet(setID, newName, copyID.Slot());
        outcome.output = Utf8(copyID) + "\n";
    }
    return outcome;
}

Outcome RenameSet(CFStringRef name, CFStringRef newName)
{
    Owned<CFStringRef> setID;
    Outcome outcome = FindNamedSet(name, setID.Slot());
    if (outcome.status == noErr && !CFEqual(name, newName)) {
        outcome = RequireFreeName(newName);
    }
    if (outcome.status == noErr) {
        outcome.status = MoreSCRenameSet(setID, newName);
    }
    return outcome;
}

Outcome Use(CFStringRef name)
{
    Owned<CFStringRef> setID;
    Outcome outcome = FindNamedSet(name, setID.Slot());
    if (outcome.status == noErr) {
        outcome.status = MoreSCSetCurrentSet(setID);
    }
    return outcome;
}

// Each lease is released by its own commits and applies (off, then on again), so this runs
// without an enclosing session level; one line per service released.
Outcome DHCPRelease()
{
    Outcome outcome;
    Owned<CFArrayRef> serviceIDs;
    outcome.status = MoreSCCreateActiveDHCPServicesArray(serviceIDs.Slot());
    for (CFIndex i = 0; outcome.status == noErr && i < CFArrayGetCount(serviceIDs); i++) {
        auto serviceID = static_cast<CFStringRef>(CFArrayGetValueAtIndex(serviceIDs, i));
        outcome.status = MoreSCDHCPRelease(serviceID);
        if (outcome.status == noErr) {
            outcome.output += "released " + Utf8(serviceID) + "\n";
        } else {
            outcome.reason = "service " + Utf8(serviceID) + ": " + Describe(outcome.status);
        }
    }
    return outcome;
}

// How a command holds the session: not at all (each step is its own outermost level), one level
// for a consistent reading, or one level under the preferences lock for a change.
enum class Session { kNone, kRead, kLockedWrite };

struct Command {
    const char *name;
    int arguments;
    Session session;
};

const Command kCommands[] = {
    {"list", 0, Session::kRead},
    {"new-set", 1, Session::kLockedWrite},
    {"delete-set", 1, Session::kLockedWrite},
    {"duplicate-set", 2, Session::kLockedWrite},
    {"rename-set", 2, Session::kLockedWrite},
    {"use", 1, Session::kLockedWrite},
    {"dhcp-release", 0, Session::kNone},
};

Outcome Run(const Command &command, CFStringRef first, CFStringRef second)
{
    std::string name = command.name;
    if (name == "list") {
        return List();
    }
    if (name == "new-set") {
        return NewSet(first);
    }
    if (name == "delete-set") {
        return DeleteSetNamed(first);
    }
    if (name == "duplicate-set") {
        return DuplicateSet(first, second);
    }
    if (name == "rename-set") {
        return RenameSet(first, second);
    }
    if (name == "use") {
        return Use(first);
    }
    return DHCPRelease();
}

}  // namespace

int NetprefsMain(int argc, const char *const argv[], std::FILE *out, std::FILE *err)
{
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::fputs(kUsage, out);
        return kExitDone;
    }
    const Command *command = nullptr;
    for (const Command &candidate : kCommands) {
        if (argc >= 2 && std::strcmp(argv[1], candidate.name) == 0) {
            command = &candidate;
        }
    }
    if (command == nullptr || argc != 2 + command->arguments) {
        if (argc < 2) {
            std::fputs("netprefs: no command given\n", err);
        } else if (command == nullptr) {
            std::fprintf(err, "netprefs: unknown command \"%s\"\n", argv[1]);
        } else {
            std::fprintf(err, "netprefs: %s takes %d argument%s\n", command->name, command->arguments,
                         command->arguments == 1 ? "" : "s");
        }
        std::fputs(kUsage, err);
        return kExitUsage;
    }

    Owned<CFStringRef> first;
    Owned<CFStringRef> second;
    for (int i = 0; i < command->arguments; i++) {
        CFStringRef text = CFStringCreateWithCString(nullptr, argv[2 + i], kCFStringEncodingUTF8);
        if (text == nullptr || CFStringGetLength(text) == 0) {
            if (text != nullptr) {
                CFRelease(text);
            }
            std::fprintf(err, "netprefs: %s: a set name must be non-empty UTF-8 text\n", command->name);
            return kExitUsage;
        }
        *(i == 0 ? first.Slot() : second.Slot()) = text;
    }

    Outcome outcome;
    if (command->session != Session::kNone) {
        bool locked = command->session == Session::kLockedWrite;
        OSStatus status = MoreSCOpen(locked, locked);
        if (status == noErr) {
            outcome = Run(*command, first, second);
        } else {
            outcome.status = status;
        }
        // A refusal changed nothing: it closes like a failure, so nothing is committed.
        MoreSCClose(&outcome.status, locked);
    } else {
        outcome = Run(*command, first, second);
    }

    if (outcome.status != noErr) {
        std::fprintf(err, "netprefs: %s: %s\n", command->name,
                     (outcome.reason.empty() ? Describe(outcome.status) : outcome.reason).c_str());
        return kExitFailed;
    }
    std::fputs(outcome.output.c_str(), out);
    return kExitDone;
}
