#include "SupportDA.h"

#include "StandInTestSupport.h"

namespace da_test {

bool RunUntil(const std::function<bool()> &done, double limitSeconds)
{
    CFAbsoluteTime limit = CFAbsoluteTimeGetCurrent() + limitSeconds;
    while (!done() && CFAbsoluteTimeGetCurrent() < limit) {
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, true);
    }
    return done();
}

void RunFor(double seconds)
{
    CFAbsoluteTime limit = CFAbsoluteTimeGetCurrent() + seconds;
    while (CFAbsoluteTimeGetCurrent() < limit) {
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, true);
    }
}

std::string VolumeName(DADiskRef disk)
{
    CFDictionaryRef description = DADiskCopyDescription(disk);
    if (description == nullptr) {
        return {};
    }
    std::string text = standin::UTF8OrEmpty(CFDictionaryGetValue(description, kDADiskDescriptionVolumeNameKey));
    CFRelease(description);
    return text;
}

void PeekAndMount(DADiskRef disk, void *context)
{
    auto &seen = *static_cast<Seen *>(context);
    std::string bsdName = DADiskGetBSDName(disk);
    seen.peeked.push_back(bsdName);
    seen.peekedNames.push_back(VolumeName(disk));
    seen.events.push_back("peek " + bsdName);
    if (seen.sharedLog != nullptr) {
        seen.sharedLog->push_back(seen.label + " " + bsdName);
    }
    if (!seen.onlyBSDName.empty() && seen.onlyBSDName != bsdName) {
        return;
    }
    if (seen.mountArguments.empty()) {
        return;
    }
    DADiskSetOptions(disk, kDADiskOptionMountAutomatic, false);
    if (seen.beforeMount) {
        seen.beforeMount(disk);
    }
    std::vector<CFStringRef> arguments;
    for (const std::string &argument : seen.mountArguments) {
        arguments.push_back(standintest::Str(argument.c_str()));
    }
    arguments.push_back(nullptr);
    DADiskMountWithArguments(disk, nullptr, kDADiskMountOptionDefault, MountDone, context, arguments.data());
    for (CFStringRef argument : arguments) {
        if (argument != nullptr) {
            CFRelease(argument);
        }
    }
    seen.events.push_back("peek returned " + bsdName);
}

void MountDone(DADiskRef disk, DADissenterRef dissenter, void *context)
{
    auto &seen = *static_cast<Seen *>(context);
    ++seen.completions;
    std::string bsdName = DADiskGetBSDName(disk);
    seen.dissenterStatus.push_back(dissenter != nullptr ? DADissenterGetStatus(dissenter) : 0);
    seen.dissenterText.push_back(dissenter != nullptr ? standin::UTF8OrEmpty(DADissenterGetStatusString(dissenter))
                                                      : std::string());
    seen.events.push_back((dissenter != nullptr ? "dissent " : "mounted ") + bsdName);
}

CFDictionaryRef MatchVolumeName(const std::string &name)
{
    CFMutableDictionaryRef match =
        CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFStringRef value = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(name.data()),
                                                static_cast<CFIndex>(name.size()), kCFStringEncodingUTF8, false);
    CFDictionarySetValue(match, kDADiskDescriptionVolumeNameKey, value);
    CFRelease(value);
    return match;
}

}  // namespace da_test
