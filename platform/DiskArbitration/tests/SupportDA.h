// Helpers of the DiskArbitration tests: running the run loop until something happened, and what
// the callbacks saw.
#ifndef DISKARBITRATION_TEST_SUPPORT_H
#define DISKARBITRATION_TEST_SUPPORT_H

#include <DiskArbitration/DiskArbitration.h>

#include <functional>
#include <string>
#include <vector>

namespace da_test {

// Runs the current run loop until `done` holds or `limitSeconds` passed (a safety net against a
// hang, never a measured expectation); returns `done()`.
bool RunUntil(const std::function<bool()> &done, double limitSeconds = 20.0);
// Runs the current run loop for about that long.
void RunFor(double seconds);

struct Seen {
    std::vector<std::string> peeked;           // BSD names, in order
    std::vector<std::string> peekedNames;      // their volume names
    std::vector<std::string> events;           // "peek <bsd>", "mounted <bsd>", "dissent <bsd> <status>"
    std::vector<int32_t> dissenterStatus;      // per completion, 0 for none
    std::vector<std::string> dissenterText;
    std::vector<std::string> mountArguments;   // what peek mounts with (empty: the peek does nothing)
    std::string onlyBSDName;                   // when set, the peek acts only on this disk
    std::function<void(DADiskRef)> beforeMount;
    std::vector<std::string> *sharedLog = nullptr;  // "<label> <bsd>" for each peek, across Seens
    std::string label;
    int completions = 0;
};

void PeekAndMount(DADiskRef disk, void *context);
void MountDone(DADiskRef disk, DADissenterRef dissenter, void *context);

// The volume name in a disk's description, as UTF-8 ("" when none).
std::string VolumeName(DADiskRef disk);

CFDictionaryRef MatchVolumeName(const std::string &name);

}  // namespace da_test

#endif
