// Pieces of the property-list code that cross its source files: the holder of libplist nodes,
// the conversion between objects and nodes, and the reading and writing glue of each format.
#ifndef CF_PROPERTY_LIST_INTERNAL_H
#define CF_PROPERTY_LIST_INTERNAL_H

#include "Internal.h"

#include <plist/plist.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace cf::plist {

struct PlistFree {
    void operator()(void *p) const { plist_free(p); }
};
using PlistHolder = std::unique_ptr<void, PlistFree>;

// PropertyListNodes.cpp: objects to libplist nodes for the binary writer (NULL and a reason when
// the value cannot be written), and a document's root node to objects with the given mutability.
plist_t toNode(CFTypeRef value, std::string &reason);
CFTypeRef fromRoot(plist_t root, CFOptionFlags option, std::string &reason);

// Strings read once per document: keys and immutable values repeat a great deal in a
// preferences store, so equal texts become one shared object (as the platform's reader does);
// small integers (flags, counts, timers) are shared the same way. NULL when the text is not UTF-8
// or the object cannot be made.
class Uniquer {
public:
    Uniquer() = default;
    Uniquer(const Uniquer &) = delete;
    Uniquer &operator=(const Uniquer &) = delete;
    ~Uniquer();
    CFNumberRef number(int64_t v);
    CFStringRef get(const char *p, size_t n);

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view v) const { return std::hash<std::string_view>()(v); }
    };
    std::unordered_map<std::string, CFStringRef, Hash, std::equal_to<>> table_;
    static constexpr int64_t kSmallMin = -1;
    static constexpr int64_t kSmallMax = 4095;
    std::vector<CFNumberRef> smallNumbers_ = std::vector<CFNumberRef>(static_cast<size_t>(kSmallMax - kSmallMin + 1), nullptr);
};

// PropertyListNodes.cpp: the leaves a reader makes, mutable when asked.
CFStringRef stringFromBytes(const char *p, size_t n, bool mutableLeaf);
CFTypeRef dataFromBytes(const UInt8 *p, size_t n, bool mutableLeaf);

// A date's civil time (UTC); valid when every field is in its range (no leap second), and the
// absolute time of a valid one.
struct CivilTime {
    long long year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};
bool validCivilTime(const CivilTime &t);
CFAbsoluteTime absoluteTimeOf(const CivilTime &t);

// PropertyListXMLReader.cpp: the fast reader of plain XML documents. Deferred when the document
// is not in the shape it reads (libplist's path then decides); else the value, or NULL and a
// reason when an object could not be made.
struct FastXMLResult {
    CFTypeRef value;
    bool deferred;
};
FastXMLResult readXMLFast(const char *bytes, size_t length, CFOptionFlags option, Uniquer &strings,
                          std::string &reason);
// Base64 with whitespace between the characters, "=" only as the last one or two of the last
// group; false for anything else.
bool decodeBase64(std::string_view text, std::string &out);

// PropertyListXML.cpp: an XML document to objects, through the fast reader when it can and
// through libplist after the nesting check when it cannot.
CFPropertyListRef readXML(const char *bytes, size_t length, CFOptionFlags option, CFPropertyListFormat *format,
                          std::string &reason);

// PropertyListBinary.cpp: a binary document to objects after its structure check; a node tree
// to binary data.
CFPropertyListRef readBinary(const char *bytes, size_t length, CFOptionFlags option, CFPropertyListFormat *format,
                             std::string &reason);
CFDataRef writeBinary(plist_t root, std::string &reason);

// PropertyListXMLWriter.cpp: a value as an XML document, straight from the objects (false and a
// reason, and out empty, when it cannot be written).
bool writeXMLText(CFTypeRef value, std::string &out, std::string &reason);

// Whether XML can carry a text: no control characters other than tab, line feed and carriage
// return, no U+FFFE or U+FFFF, no unpaired surrogates.
bool xmlCarries(std::u16string_view text);

// A string's text as UTF-8 for a writer, when XML can carry it: the string's own bytes when it
// keeps ASCII (ascii true), else a conversion the object keeps.
class XMLText {
public:
    bool of(CFStringRef s);
    std::string_view text() const { return ascii ? fast_ : std::string_view(scratch_); }
    const char *cString() const { return ascii ? fast_.data() : scratch_.c_str(); }
    bool ascii = false;

private:
    std::string_view fast_;
    std::string scratch_;
};

// Dictionary entries on their way to a writer, in the order writers put them (keys sorted as the
// platform sorts them). One stack serves a whole document: a dictionary pushes its entries,
// writes them and pops them, so no dictionary allocates a snapshot of its own.
class EntryStack {
public:
    struct Entry {
        CFStringRef key;
        const void *value;
        std::string_view text;  // the key's UTF-8, zero-terminated
        bool ascii;             // text is the key's own 8-bit bytes
    };
    // Pushes d's entries, sorted; `first` is the index of the first. False and a reason for a key
    // that is not a string or that XML cannot carry (nothing is left pushed).
    bool push(CFDictionaryRef d, size_t &first, std::string &reason);
    const Entry &operator[](size_t i) const { return entries_[i]; }
    size_t size() const { return entries_.size(); }
    // Drops the entries from `first` on.
    void pop(size_t first);

private:
    std::vector<Entry> entries_;
    std::vector<const void *> keys_;
    std::vector<const void *> values_;
    std::deque<std::pair<size_t, std::string>> converted_;  // entry index, text of a non-ASCII key
};

// "YYYY-MM-DDTHH:MM:SSZ" of a date's whole seconds (UTC), for years 0 to 9999. The buffer has
// room for any int fields, so that no compiler can see the text cut.
constexpr size_t kDateTextRoom = 80;
bool dateText(CFAbsoluteTime at, char (&out)[kDateTextRoom]);

}  // namespace cf::plist

#endif  // CF_PROPERTY_LIST_INTERNAL_H
