/*
 * Folder Manager: finds a standard folder of a domain.
 *
 * Domains map to the usual folders of this platform:
 *   kUserDomain      "$HOME/Library/..."
 *   kNetworkDomain   "/Network/Library/..."
 *   kLocalDomain     "/Library/..."
 *   kSystemDomain    "/System/Library/..."
 *   kOnSystemDisk and kOnAppropriateDisk select the system domain.
 */
#ifndef CORESERVICES_FOLDERS_H
#define CORESERVICES_FOLDERS_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/Files.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef SInt16 FSVolumeRefNum;

/* Domains (passed where a volume reference number goes). */
enum {
    kOnSystemDisk = -32768,
    kOnAppropriateDisk = -32767,
    kSystemDomain = -32766,
    kLocalDomain = -32765,
    kNetworkDomain = -32764,
    kUserDomain = -32763
};

/* Folder types: four-character codes. */
enum {
    kFrameworksFolderType = 0x6672616DU,          /* 'fram' Frameworks */
    kModemScriptsFolderType = 0xC46D6F64U,        /* 0xC4 'mod' Modem Scripts */
    kPreferencesFolderType = 0x70726566U,         /* 'pref' Preferences */
    kApplicationSupportFolderType = 0x61737570U,  /* 'asup' Application Support */
    kDomainLibraryFolderType = 0x646C6962U        /* 'dlib' the domain's Library folder itself */
};

enum {
    kCreateFolder = true,
    kDontCreateFolder = false
};

/* Finds the folder of type folderType in the domain vRefNum. A missing folder is fnfErr, unless
 * createFolder is true: then it is created (with any missing parents). Unknown domain or type:
 * paramErr. */
OSErr FSFindFolder(FSVolumeRefNum vRefNum, OSType folderType, Boolean createFolder, FSRef *foundRef);

#ifdef __cplusplus
}
#endif

#endif /* CORESERVICES_FOLDERS_H */
