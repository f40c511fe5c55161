/*
 * File Manager: opaque file references, name records, catalogue information and flat folder
 * iteration, with the conversions between references, paths and CoreFoundation URLs.
 *
 * An FSRef names an existing file or folder. On this platform it holds a handle to the object's
 * absolute path; it stays valid for the life of the process, and an operation on a reference
 * whose object has since disappeared fails with fnfErr.
 */
#ifndef CORESERVICES_FILES_H
#define CORESERVICES_FILES_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/MacErrors.h>

#ifdef __cplusplus
extern "C" {
#endif

struct FSRef {
    UInt8 hidden[80];
};
typedef struct FSRef FSRef;
typedef FSRef *FSRefPtr;

/* A file or folder name: a length and up to 255 UTF-16 code units (no terminator). */
struct HFSUniStr255 {
    UInt16 length;
    UniChar unicode[255];
};
typedef struct HFSUniStr255 HFSUniStr255;
typedef const HFSUniStr255 *ConstHFSUniStr255Param;

/* Which fields of FSCatalogInfo a call fills. */
typedef UInt32 FSCatalogInfoBitmap;
enum {
    kFSCatInfoNone = 0x00000000,
    kFSCatInfoNodeFlags = 0x00000002,
    kFSCatInfoFinderInfo = 0x00000800,
    kFSCatInfoFinderXInfo = 0x00001000,
    kFSCatInfoValence = 0x00002000,
    kFSCatInfoDataSizes = 0x00004000
};

/* nodeFlags */
enum {
    kFSNodeLockedMask = 0x0001,
    kFSNodeIsDirectoryMask = 0x0010
};

/* Finder flags (the finderFlags field of FileInfo and FolderInfo). */
enum {
    kIsOnDesk = 0x0001,
    kHasCustomIcon = 0x0400,
    kIsStationery = 0x0800,
    kNameLocked = 0x1000,
    kHasBundle = 0x2000,
    kIsInvisible = 0x4000,
    kIsAlias = 0x8000
};

/* Finder information of a file (16 bytes, host byte order in FSCatalogInfo). */
struct MacPoint {
    SInt16 v;
    SInt16 h;
};
struct FileInfo {
    OSType fileType;
    OSType fileCreator;
    UInt16 finderFlags;
    struct MacPoint location;
    UInt16 reservedField;
};
typedef struct FileInfo FileInfo;

/* Finder information of a folder (16 bytes); finderFlags sits at the same offset as a file's. */
struct MacRect {
    SInt16 top;
    SInt16 left;
    SInt16 bottom;
    SInt16 right;
};
struct FolderInfo {
    struct MacRect windowBounds;
    UInt16 finderFlags;
    struct MacPoint location;
    UInt16 reservedField;
};
typedef struct FolderInfo FolderInfo;

/* The catalogue fields this platform reports. FSGetCatalogInfo leaves the fields not asked for as
 * they were; FSGetCatalogInfoBulk zeroes them. */
struct FSCatalogInfo {
    UInt16 nodeFlags;          /* kFSCatInfoNodeFlags */
    UInt16 reserved;
    /* kFSCatInfoFinderInfo: a FileInfo or a FolderInfo. Aligned so that it may be read through a
     * FileInfo or FolderInfo pointer, as programs do. */
    UInt8 finderInfo[16] __attribute__((aligned(4)));
    UInt8 extFinderInfo[16] __attribute__((aligned(4)));  /* kFSCatInfoFinderXInfo */
    UInt32 valence;            /* kFSCatInfoValence: entries of a folder */
    UInt64 dataLogicalSize;    /* kFSCatInfoDataSizes */
    UInt64 dataPhysicalSize;
};
typedef struct FSCatalogInfo FSCatalogInfo;
typedef FSCatalogInfo *FSCatalogInfoPtr;

/* Classic FSSpec records are not supported; the argument is accepted and must be NULL. */
typedef struct FSSpec *FSSpecPtr;

/* Flat iteration over a folder's entries. */
typedef struct OpaqueFSIterator *FSIterator;
typedef OptionBits FSIteratorFlags;
enum {
    kFSIterateFlat = 0,
    kFSIterateSubtree = 1,
    kFSIterateDelete = 2
};

/* Path <-> reference. The path is UTF-8 and zero-terminated. */
OSStatus FSPathMakeRef(const UInt8 *path, FSRef *ref, Boolean *isDirectory);
OSStatus FSRefMakePath(const FSRef *ref, UInt8 *path, UInt32 maxPathSize);

/* Reference of the named entry inside the folder `parentRef`. */
OSErr FSMakeFSRefUnicode(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name,
                         TextEncoding textEncodingHint, FSRef *newRef);

/* 0 when both references name the same object, errFSRefsDifferent (-1420) otherwise. */
OSErr FSCompareFSRefs(const FSRef *ref1, const FSRef *ref2);

/* Catalogue information, name and parent of one object. Any out argument may be NULL. */
OSErr FSGetCatalogInfo(const FSRef *ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo *catalogInfo,
                       HFSUniStr255 *outName, FSSpecPtr fsSpec, FSRef *parentRef);

/* Only the Finder information (and its extended part) can be set; other bits are ignored. */
OSErr FSSetCatalogInfo(const FSRef *ref, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo *catalogInfo);

/* Flat iteration. Entries come in name order. A bulk call returns up to maximumObjects entries;
 * the call that reaches the end returns errFSNoMoreItems together with its last entries. */
OSErr FSOpenIterator(const FSRef *container, FSIteratorFlags iteratorFlags, FSIterator *iterator);
OSErr FSCloseIterator(FSIterator iterator);
OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maximumObjects, ItemCount *actualObjects,
                           Boolean *containerChanged, FSCatalogInfoBitmap whichInfo,
                           FSCatalogInfo *catalogInfos, FSRef *refs, FSSpecPtr specs, HFSUniStr255 *names);

/* URL <-> reference. CFURLCreateFromFSRef returns NULL when the reference is not valid or the
 * URL cannot be made; CFURLGetFSRef returns false when the URL names nothing that exists. */
CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef *fsRef);
Boolean CFURLGetFSRef(CFURLRef url, FSRef *fsRef);

#ifdef __cplusplus
}
#endif

#endif /* CORESERVICES_FILES_H */
