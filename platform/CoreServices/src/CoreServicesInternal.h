// Shared pieces of the CoreServices stand-in: the table behind FSRef, the test seams' state, and
// the conversions between file names and UTF-16 name records.
#ifndef CORESERVICES_INTERNAL_H
#define CORESERVICES_INTERNAL_H

#include <CoreServices/CoreServices.h>

#include <string>
#include <string_view>

namespace coreservices {

// A reference holds the index of its absolute, lexically normalised path in a process-wide table.
void RefFromPath(const std::string &path, FSRef *ref);
bool PathFromRef(const FSRef *ref, std::string *path);

// Absolute and lexically normalised ("/a/./b/../c/" becomes "/a/c"); symbolic links are kept.
std::string NormalisePath(std::string_view path);

// Maps an errno value of a failed file-system call to a File Manager status.
OSErr StatusFromErrno(int error);

// UTF-8 file name <-> UTF-16 name record. A name that does not fit 255 UTF-16 units is refused.
bool NameRecordFromUTF8(std::string_view name, HFSUniStr255 *record);
bool UTF8FromUTF16(const UniChar *units, size_t count, std::string *out);

// Fills the requested catalogue fields of the object at path (which must exist).
OSErr CatalogInfoForPath(const std::string &path, FSCatalogInfoBitmap whichInfo, FSCatalogInfo *info);

// Test seams: a folder root prefixed to every domain folder ("" when unset), and armed failures.
std::string FolderRoot();
// True (and the status in *status) when a test armed a failure for this call; the arming is used up.
bool TakeInjectedFailure(const char *function, OSErr *status);

}  // namespace coreservices

#endif  // CORESERVICES_INTERNAL_H
