/*
 * The device-watch service: start-up, disk arrival handling and the modem port probe.
 *
 * CardWatchMain() is the whole life of the service (main() only calls it): it opens the log,
 * reads the CD volume's name from the configuration file, waits up to ten seconds for the modem's
 * serial port, handles a device already present at boot, decides the mount argument and then
 * sleeps in the run loop, where DiskArbitration calls DiskPeekCallback for every newly appearing
 * disk whose volume name is the configured one. Everything runs on the main thread's run loop.
 *
 * The steps of the start-up are also available one by one, each taking the configuration file's
 * path, so that they can be driven in process.
 *
 * Keep as written: gMountArgs is the service's known name for the mount arguments.
 */
#ifndef CARDWATCH_CARDWATCH_H
#define CARDWATCH_CARDWATCH_H

#include <CoreFoundation/CoreFoundation.h>
#include <DiskArbitration/DiskArbitration.h>

#include <stddef.h>
#include <stdint.h>

/* Fixed names of the service. */
#define CARDWATCH_CONFIG_FILE "/Library/StartupItems/OVCardWatch/config"
#define CARDWATCH_LOG_FILE "/usr/local/RevediriService/CardWatch.log"
#define CARDWATCH_SETUP_CONFIG_FILE "/Applications/Velmora.app/Contents/Resources/SysConfig.dat"
#define CARDWATCH_PORT_NAME "ORVEKAMobile-Pcui"
#define CARDWATCH_DEFAULT_VOLUME "Velmora"
#define CARDWATCH_VOLUMES_PREFIX "/Volumes/"

/* Sizes of the service's fixed text buffers. */
enum {
    kCardWatchVolumeNameSize = 64,
    kCardWatchAppPathSize = 512,
    kCardWatchOpenCommandSize = 512,
    kCardWatchCalloutPathSize = 1024
};

/* The mount arguments handed to every mount request: slot 0 "nobrowse" or "rdonly" (set once at
 * start-up), slot 1 always NULL and ending the list. */
extern CFStringRef gMountArgs[2];

/* DiskArbitration's peek callback for a disk whose volume name is the configured one: switches
 * the disk's automatic mount off and asks for a mount with gMountArgs, completed by
 * DiskMountCallback. */
void DiskPeekCallback(DADiskRef disk, void *context);

/* The mount-completion callback, and the whole handling of one arrival: console-owner check,
 * wait for a desktop login, opening of the connection-manager application, setup package. Its
 * arguments are not used (start-up calls it with none); a failed mount is handled like a
 * successful one. Returns when the pass is done. */
void DiskMountCallback(DADiskRef disk, DADissenterRef dissenter, void *context);

/* Runs the setup package named by the connection manager's "SysConfig.dat": 0 on success, -1
 * otherwise. */
int32_t DiskMountApproval(void);

/* 0 when a serial stream port whose callout-device path contains name exists, -1 otherwise.
 * With an output buffer and a size above 0, each examined path is copied into it (cut to size - 1
 * characters) before it is tested, so on success it holds the matching path. Ports whose path is
 * missing, not a text or not convertible to UTF-8 are passed over. */
int32_t FindCommPort(const char *name, char *output, int32_t outputSize);

/* ---- Start-up, step by step ---- */

/* The whole service: returns 0 only if the run loop ever returns. */
int CardWatchMain(void);

/* The configured volume name (section "Volumes", key "name", default "Velmora") of the INI file
 * at configPath, copied into name (size bytes; a longer name is cut to size - 1 bytes, and a
 * UTF-8 character cut in two by that is dropped whole). */
void ReadVolumeName(const char *configPath, char *name, size_t size);

/* Up to `attempts` probes for the modem port, one second apart (the last failure sleeps too).
 * True as soon as one probe finds it. */
bool WaitForCommPort(const char *fragment, int attempts);

/* The boot-time pass: when "/Volumes/<volumeName>" exists within 300 seconds, handles it at once
 * with DiskMountCallback. */
void HandleDeviceAtBoot(const char *volumeName);

/* The volume name as a platform string: decoded as UTF-8 when it is valid UTF-8 (as disk labels
 * are), else as Mac Roman. The caller releases it; NULL when it cannot be made. */
CFStringRef CreateVolumeNameString(const char *volumeName);

/* A new match dictionary { kDADiskDescriptionVolumeNameKey = the volume name }, or NULL when
 * the dictionary or the name cannot be made (never an empty match, which would match every disk). */
CFMutableDictionaryRef CreateDiskMatch(const char *volumeName);

/* Sets slot 0 of gMountArgs from disable_cdrom in section Volumes of the file at configPath:
 * "nobrowse" when it is "true" in any letter case, "rdonly" otherwise. */
void SetMountArguments(const char *configPath);

/* Schedules the session on the current run loop in the default mode and registers
 * DiskPeekCallback for disks matching `match`. */
void StartWatching(DASessionRef session, CFDictionaryRef match);

/* The command that opens the connection-manager application: with a readable file at
 * configPath, "open -a \"<path1>\"" (path1 of section Volumes, default
 * "/Volumes/Velmora/Velmora.app/", escaped for the double quotes), cut to size - 1 characters;
 * without it, "open -a /Volumes/Velmora/Velmora.app/". size is at most 512. */
void BuildOpenCommand(const char *configPath, char *command, size_t size);

/* True when text is well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF). */
bool IsUTF8Text(const char *text);

#endif /* CARDWATCH_CARDWATCH_H */
