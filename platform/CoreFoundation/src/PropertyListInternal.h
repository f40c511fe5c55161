// Pieces of the property-list code that cross its source files: the holder of libplist nodes,
// the conversion between objects and nodes, and the reading and writing glue of each format.
#ifndef CF_PROPERTY_LIST_INTERNAL_H
#define CF_PROPERTY_LIST_INTERNAL_H

#include "Internal.h"

#include <plist/plist.h>

#include <cstddef>
#include <memory>
#include <string>

namespace cf::plist {

struct PlistFree {
    void operator()(void *p) const { plist_free(p); }
};
using PlistHolder = std::unique_ptr<void, PlistFree>;

// PropertyListNodes.cpp: objects to libplist nodes (NULL and a reason when the value cannot be
// written; forXML drops the fraction of a second of dates), and a document's root node to
// objects with the given mutability.
plist_t toNode(CFTypeRef value, int depth, bool forXML, std::string &reason);
CFTypeRef fromRoot(plist_t root, CFOptionFlags option, std::string &reason);

// PropertyListXML.cpp: an XML document to objects after its nesting check; a node tree to
// XML data.
CFPropertyListRef readXML(const char *bytes, size_t length, CFOptionFlags option, CFPropertyListFormat *format,
                          std::string &reason);
CFDataRef writeXML(plist_t root, std::string &reason);

// PropertyListBinary.cpp: a binary document to objects after its structure check; a node tree
// to binary data.
CFPropertyListRef readBinary(const char *bytes, size_t length, CFOptionFlags option, CFPropertyListFormat *format,
                             std::string &reason);
CFDataRef writeBinary(plist_t root, std::string &reason);

}  // namespace cf::plist

#endif  // CF_PROPERTY_LIST_INTERNAL_H
