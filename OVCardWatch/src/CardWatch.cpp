// The device-watch service: start-up and run loop, disk arrival handling, modem port probe.
//
// Keep as written: the log texts of this file are the service's established trace, which readers
// of the log and the tests match byte for byte, and gMountArgs is the service's known name for
// the mount arguments. Misspellings and odd texts are part of it: "actvie == pname.....",
// "IOServiceGetMatchingSerices failed", "findCommPort failed" (lower-case f), "No fond Finder",
// "are not same return.....", "finish run program, and error, DiskMountApproval exit " (with its
// trailing space), the line feed ending "Current Mac OS version is newer than Mac OS X 10.4\n",
// and "can't find /Volumes/Velmora, ..." whatever volume name is configured. Do not tidy them.
#include "CardWatch.h"

#include "ActiveVolumeProgram.h"
#include "INI.h"
#include "Log.h"
#include "Process.h"

#include <IOKit/IOKitLib.h>
#include <IOKit/serial/IOSerialKeys.h>
#include <sealedc.h>

#include <stdio.h>
#include <string.h>
#include <unistd.h>

CFStringRef gMountArgs[2] = {NULL, NULL};

namespace {

// The start-up steps are parts of main and log under its name.
const char kMainName[] = "main";

const char kProcessOwnerCommand[] = "ps aux | awk -v PID=%d '$2 == PID { print $1 }'";
const char kConsoleOwnerCommand[] = "stat -f%Su /dev/console";
const char kLoginProbeCommand[] = "ps -A | grep 'Finder[.]'";
const char kDefaultAppPath[] = "/Volumes/Velmora/Velmora.app/";
const char kFallbackOpenCommand[] = "open -a /Volumes/Velmora/Velmora.app/";
const char kOpenPrefix[] = "open -a \"";
const char kOpenSuffix[] = "\"";

enum {
    kOwnerCommandSize = 256,
    kOwnerAnswerSize = 256,
    kProcessListSize = 1024,
    kPortAttempts = 10,
    kVolumeWaitSeconds = 300,
    kOpenAttempts = 10,
    kLoginRetrySeconds = 5
};

// Length of the well-formed UTF-8 sequence at text[at] (0 when ill-formed or cut short).
size_t UTF8SequenceLength(const unsigned char *text, size_t at, size_t length)
{
    unsigned char lead = text[at];
    size_t count;
    uint32_t codePoint;
    uint32_t minimum;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        count = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (at + count > length) {
        return 0;
    }
    for (size_t i = 1; i < count; ++i) {
        if ((text[at + i] & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (text[at + i] & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return count;
}

// Reads one line of a command's output into answer (cleared first). False when the pipe could
// not be created; an empty answer is logged with emptyMessage and is not a failure.
bool ReadCommandLine(const char *command, char *answer, size_t size, const char *emptyMessage)
{
    memset_s(answer, size, 0, size);
    FILE *pipe = popen(command, "r");
    if (pipe == NULL) {
        Log(__FILE__, "DiskMountCallback", "create pipe failed!");
        return false;
    }
    if (fgets(answer, static_cast<int>(size), pipe) == NULL) {
        Log(__FILE__, "DiskMountCallback", "%s", emptyMessage);
    }
    pclose(pipe);
    return true;
}

// The console-owner check: true when the console belongs to the service process's owner.
bool ConsoleBelongsToService(void)
{
    char command[kOwnerCommandSize];
    char processOwner[kOwnerAnswerSize];
    char consoleOwner[kOwnerAnswerSize];
    memset_s(command, sizeof command, 0, sizeof command);
    snprintf_s(command, sizeof command, sizeof command - 1, kProcessOwnerCommand, static_cast<int>(getpid()));
    Log(__FILE__, "DiskMountCallback", "%s", command);
    if (!ReadCommandLine(command, processOwner, sizeof processOwner, "fgets pname failed!")) {
        return false;
    }
    if (!ReadCommandLine(kConsoleOwnerCommand, consoleOwner, sizeof consoleOwner, "fgets active failed!")) {
        return false;
    }
    if (strcmp(consoleOwner, processOwner) != 0) {
        Log(__FILE__, "DiskMountCallback", "are not same return.....");
        return false;
    }
    Log(__FILE__, "DiskMountCallback", "actvie == pname.....");
    return true;
}

// Waits, without limit, until a Finder process exists (somebody is logged in to the desktop).
void WaitForLogin(void)
{
    char processList[kProcessListSize];
    for (;;) {
        memset_s(processList, sizeof processList, 0, sizeof processList);
        if (!RunShellCmd(kLoginProbeCommand, processList, sizeof processList)) {
            Log(__FILE__, "DiskMountCallback", "send cmd failed, not run board app");
        } else if (processList[0] == '\0') {
            Log(__FILE__, "DiskMountCallback", "No fond Finder, not run board app");
        } else {
            Log(__FILE__, "DiskMountCallback", "have some one login succ");
            return;
        }
        sleep(kLoginRetrySeconds);
    }
}

}  // namespace

bool IsUTF8Text(const char *text)
{
    if (text == NULL) {
        return false;
    }
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text);
    size_t length = strlen(text);
    for (size_t at = 0; at < length;) {
        size_t count = UTF8SequenceLength(bytes, at, length);
        if (count == 0) {
            return false;
        }
        at += count;
    }
    return true;
}

// ---- Modem port probe ----

int32_t FindCommPort(const char *name, char *output, int32_t outputSize)
{
    Log(__FILE__, __func__, "FindCommPort Enter");
    if (name == NULL) {
        Log(__FILE__, __func__, "param error.");
        return -1;
    }

    CFMutableDictionaryRef matching = IOServiceMatching(kIOSerialBSDServiceValue);
    if (matching != NULL) {
        // Every stream port, modem or RS-232.
        CFDictionarySetValue(matching, CFSTR(kIOSerialBSDTypeKey), CFSTR(kIOSerialBSDAllTypes));
    }
    io_iterator_t iterator = 0;
    if (IOServiceGetMatchingServices(kIOMasterPortDefault, matching, &iterator) != KERN_SUCCESS) {
        Log(__FILE__, __func__, "IOServiceGetMatchingSerices failed, FindCommPort exit");
        return -1;
    }

    char path[kCardWatchCalloutPathSize];
    io_object_t port;
    while ((port = IOIteratorNext(iterator)) != 0) {
        CFTypeRef property = IORegistryEntryCreateCFProperty(port, CFSTR(kIOCalloutDeviceKey), kCFAllocatorDefault, 0);
        if (property == NULL) {
            IOObjectRelease(port);
            continue;
        }
        // A path that is not a text, or not convertible, is passed over: nothing of it is logged,
        // copied or matched.
        memset_s(path, sizeof path, 0, sizeof path);
        bool converted = CFGetTypeID(property) == CFStringGetTypeID() &&
                         CFStringGetCString(static_cast<CFStringRef>(property), path, sizeof path, kCFStringEncodingUTF8);
        CFRelease(property);
        if (!converted) {
            Log(__FILE__, __func__, "IOCalloutDevice of a port is not a usable path, skip it");
            IOObjectRelease(port);
            continue;
        }
        Log(__FILE__, __func__, "%s", path);
        if (output != NULL && outputSize > 0) {
            strncpy_s(output, static_cast<size_t>(outputSize), path, static_cast<size_t>(outputSize) - 1);
        }
        if (strstr(path, name) != NULL) {
            IOObjectRelease(port);
            IOObjectRelease(iterator);
            Log(__FILE__, __func__, "FindCommPort success, and exit");
            return 0;
        }
        IOObjectRelease(port);
    }
    IOObjectRelease(iterator);
    Log(__FILE__, __func__, "findCommPort failed, FindCommPort exit");
    return -1;
}

// ---- Disk arrival handling ----

void DiskPeekCallback(DADiskRef disk, void *context)
{
    Log(__FILE__, __func__, "DiskPeekCallback Enter");
    Log(__FILE__, __func__, "----------------------Device inserted!---------------");
    if (DADiskSetOptions(disk, kDADiskOptionMountAutomatic, false) != 0) {
        Log(__FILE__, __func__, "DADiskSetOptions failed!");
    }
    DADiskMountWithArguments(disk, NULL, kDADiskMountOptionDefault, DiskMountCallback, NULL, gMountArgs);
    Log(__FILE__, __func__, "DiskPeekCallback exit");
}

void BuildOpenCommand(const char *configPath, char *command, size_t size)
{
    if (command == NULL || size == 0) {
        return;
    }
    if (size > kCardWatchOpenCommandSize) {
        size = kCardWatchOpenCommandSize;
    }
    memset_s(command, size, 0, size);
    if (configPath == NULL || !SetIniFileName(configPath)) {
        Log(__FILE__, "DiskMountCallback", "Doesn't find ini file.");
        strncpy_s(command, size, kFallbackOpenCommand, size - 1);
        return;
    }
    Log(__FILE__, "DiskMountCallback", "Current Mac OS version is newer than Mac OS X 10.4\n");

    char appPath[kCardWatchAppPathSize];
    memset_s(appPath, sizeof appPath, 0, sizeof appPath);
    strncpy_s(appPath, sizeof appPath, ReadString("Volumes", "path1", kDefaultAppPath), sizeof appPath - 1);

    // The path stands between double quotes: characters the shell still reads there are escaped,
    // so the command opens exactly the configured path. The escaped form is at most twice as long.
    char quoted[2 * kCardWatchAppPathSize];
    if (!EscapeShellDoubleQuoted(appPath, quoted, sizeof quoted)) {
        quoted[0] = '\0';
    }

    // Each append gets the room left below size - 1 characters: a count of one more would make
    // the checked append refuse an over-long text and empty the whole command.
    strncpy_s(command, size, kOpenPrefix, size - 1);
    strncat_s(command, size, quoted, size - 1 - strlen(command));
    strncat_s(command, size, kOpenSuffix, size - 1 - strlen(command));
}

void DiskMountCallback(DADiskRef disk, DADissenterRef dissenter, void *context)
{
    char appCommand[kCardWatchOpenCommandSize];
    memset_s(appCommand, sizeof appCommand, 0, sizeof appCommand);
    Log(__FILE__, __func__, "DiskMountCallback Enter");

    if (!ConsoleBelongsToService()) {
        return;
    }
    WaitForLogin();

    BuildOpenCommand(CARDWATCH_CONFIG_FILE, appCommand, sizeof appCommand);
    if (RunShellProgram(appCommand, kOpenAttempts)) {
        Log(__FILE__, __func__, "Run Velmora Program success");
    } else {
        Log(__FILE__, __func__, "RunShellProgram failed, can't run Velmora Program");
    }

    DiskMountApproval();
    Log(__FILE__, __func__, "DiskMountCallback exit");
}

int32_t DiskMountApproval(void)
{
    Log(__FILE__, __func__, "DiskMountApproval Enter");
    if (RunSDProgram(CARDWATCH_SETUP_CONFIG_FILE, "open \"", CARDWATCH_VOLUMES_PREFIX)) {
        Log(__FILE__, __func__, "finish run sd program, and successful, DiskMountApproval exit");
        return 0;
    }
    Log(__FILE__, __func__, "finish run program, and error, DiskMountApproval exit ");
    return -1;
}

// ---- Start-up ----

void ReadVolumeName(const char *configPath, char *name, size_t size)
{
    if (name == NULL || size == 0) {
        return;
    }
    const char *configured = CARDWATCH_DEFAULT_VOLUME;
    if (configPath != NULL && SetIniFileName(configPath)) {
        configured = ReadString("Volumes", "name", CARDWATCH_DEFAULT_VOLUME);
    }
    bool wasUTF8 = IsUTF8Text(configured);
    memset_s(name, size, 0, size);
    strncpy_s(name, size, configured, size - 1);
    // A cut through a multi-byte character would leave an ill-formed tail, and the name would
    // then be read as Mac Roman: drop the partial character instead.
    if (wasUTF8) {
        size_t length = strlen(name);
        while (length > 0 && !IsUTF8Text(name)) {
            name[--length] = '\0';
        }
    }
}

bool WaitForCommPort(const char *fragment, int attempts)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (FindCommPort(fragment, NULL, 0) == 0) {
            return true;
        }
        Log(__FILE__, kMainName, "wait to again to find comm port at beginning to run autorun...");
        sleep(1);
    }
    return false;
}

void HandleDeviceAtBoot(const char *volumeName)
{
    char name[kCardWatchVolumeNameSize];
    memset_s(name, sizeof name, 0, sizeof name);
    strncpy_s(name, sizeof name, volumeName, sizeof name - 1);
    if (IsVolumeExist(name, CARDWATCH_VOLUMES_PREFIX, kVolumeWaitSeconds)) {
        DiskMountCallback(NULL, NULL, NULL);
        Log(__FILE__, kMainName, "finish run SDProgram at beginning to run autorun");
    } else {
        Log(__FILE__, kMainName, "can't find /Volumes/Velmora, can't run firmware program and SDProgram");
    }
}

CFStringRef CreateVolumeNameString(const char *volumeName)
{
    if (volumeName == NULL) {
        return NULL;
    }
    CFStringEncoding encoding = IsUTF8Text(volumeName) ? kCFStringEncodingUTF8 : kCFStringEncodingMacRoman;
    return CFStringCreateWithCString(NULL, volumeName, encoding);
}

CFMutableDictionaryRef CreateDiskMatch(const char *volumeName)
{
    CFMutableDictionaryRef match =
        CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFStringRef name = CreateVolumeNameString(volumeName);
    if (match != NULL && name != NULL) {
        CFDictionarySetValue(match, kDADiskDescriptionVolumeNameKey, name);
        CFRelease(name);  // the dictionary holds it
        return match;
    }
    // An empty match would take every disk that appears: no match at all instead.
    if (name != NULL) {
        CFRelease(name);
    }
    if (match != NULL) {
        CFRelease(match);
    }
    return NULL;
}

void SetMountArguments(const char *configPath)
{
    if (IsKeyValueCaseEqual(configPath, "Volumes", "disable_cdrom", "true")) {
        gMountArgs[0] = CFSTR("nobrowse");
        Log(__FILE__, kMainName, "value of disable_cdrom is true");
    } else {
        gMountArgs[0] = CFSTR("rdonly");
        Log(__FILE__, kMainName, "value of disable_cdrom is false");
    }
    gMountArgs[1] = NULL;
}

void StartWatching(DASessionRef session, CFDictionaryRef match)
{
    DASessionScheduleWithRunLoop(session, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
    DARegisterDiskPeekCallback(session, match, 0, DiskPeekCallback, NULL);
}

int CardWatchMain(void)
{
    InitLogSystem(CARDWATCH_LOG_FILE);
    DASessionRef session = DASessionCreate(kCFAllocatorDefault);

    Log(__FILE__, kMainName, "\n\n====================================CardWatch started===============================");
    Log(__FILE__, kMainName, "OVCardWatch 1.0.0, device watch service");

    char volumeName[kCardWatchVolumeNameSize];
    ReadVolumeName(CARDWATCH_CONFIG_FILE, volumeName, sizeof volumeName);

    Log(__FILE__, kMainName, "begin to run SDProgram at beginning to run autorun");
    if (WaitForCommPort(CARDWATCH_PORT_NAME, kPortAttempts)) {
        HandleDeviceAtBoot(volumeName);
    }

    CFMutableDictionaryRef match = CreateDiskMatch(volumeName);
    SetMountArguments(CARDWATCH_CONFIG_FILE);
    if (match != NULL) {
        StartWatching(session, match);
    } else {
        // Without its match the callback would be called for every disk of the machine.
        Log(__FILE__, kMainName, "can't create the match of the volume name, not watching for the volume");
    }
    CFRunLoopRun();

    CloseLogSystem();
    if (match != NULL) {
        CFRelease(match);
    }
    if (session != NULL) {
        CFRelease(session);
    }
    return 0;
}
