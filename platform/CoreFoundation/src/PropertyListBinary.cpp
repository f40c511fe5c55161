// Binary property lists: the structure and nesting check that runs before libplist's recursive
// reader, and the glue that reads and writes the binary format through libplist.
#include "PropertyListInternal.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace cf;
using namespace cf::plist;

namespace {

// ---- Binary nesting check ----

// The binary format: an 8-byte header ("bplist00"), the objects, a table of their offsets and a
// 32-byte trailer that says where the table is and how wide its entries and the references are.
constexpr size_t kHeaderSize = 8;
constexpr size_t kTrailerSize = 32;
constexpr size_t kTrailerOffsetSizeAt = 6;  // bytes per offset-table entry
constexpr size_t kTrailerRefSizeAt = 7;     // bytes per object reference
constexpr size_t kTrailerCountAt = 8;       // number of objects (8 bytes)
constexpr size_t kTrailerTopAt = 16;        // the root object (8 bytes)
constexpr size_t kTrailerTableAt = 24;      // offset of the offset table (8 bytes)
constexpr size_t kMaxIntegerSize = 8;       // offsets and references are 1 to 8 bytes wide

// An object starts with a marker byte: its kind in the high nibble, its length in the low one.
constexpr unsigned kMarkerInteger = 0x1;
constexpr unsigned kMarkerASCIIString = 0x5;
constexpr unsigned kMarkerUTF16String = 0x6;
constexpr unsigned kMarkerUTF8String = 0x7;
constexpr unsigned kMarkerArray = 0xA;
constexpr unsigned kMarkerSet = 0xC;
constexpr unsigned kMarkerDict = 0xD;
// A length nibble of 0xF: the length is an integer object after the marker, whose own low
// nibble is the log2 of its width (at most 3: 8 bytes).
constexpr unsigned kLengthFollows = 0xF;
constexpr unsigned kMaxLengthWidthLog2 = 3;

// A file may expand (through shared containers) to at most this many values per byte of its
// own size, plus a fixed allowance for small files.
constexpr uint64_t kExpansionPerByte = 32;
constexpr uint64_t kExpansionAllowance = 65536;

// Depth of an object not yet measured, and of one on the path being walked.
constexpr int kDepthUnknown = -1;
constexpr int kDepthOnPath = -2;

unsigned kindOf(unsigned char marker)
{
    return marker >> 4;
}

bool isStringKind(unsigned kind)
{
    return kind == kMarkerASCIIString || kind == kMarkerUTF16String || kind == kMarkerUTF8String;
}

bool isContainerKind(unsigned kind)
{
    return kind == kMarkerArray || kind == kMarkerSet || kind == kMarkerDict;
}

uint64_t readBigEndian(const unsigned char *p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

// Where the pieces of a binary property list are, as its trailer gives them.
struct Layout {
    const unsigned char *p;
    size_t n;
    size_t offsetSize;
    size_t refSize;
    uint64_t count;
    uint64_t top;
    uint64_t table;

    uint64_t offsetOf(uint64_t object) const
    {
        return readBigEndian(p + table + object * offsetSize, offsetSize);
    }
};

// The trailer's fields, if they describe an offset table that lies between the header and the
// trailer and holds count offsets.
bool readTrailer(const unsigned char *p, size_t n, Layout &layout)
{
    if (n < kHeaderSize + kTrailerSize) {
        return false;
    }
    const unsigned char *trailer = p + n - kTrailerSize;
    layout.p = p;
    layout.n = n;
    layout.offsetSize = trailer[kTrailerOffsetSizeAt];
    layout.refSize = trailer[kTrailerRefSizeAt];
    layout.count = readBigEndian(trailer + kTrailerCountAt, 8);
    layout.top = readBigEndian(trailer + kTrailerTopAt, 8);
    layout.table = readBigEndian(trailer + kTrailerTableAt, 8);
    const Layout &l = layout;
    return l.offsetSize >= 1 && l.offsetSize <= kMaxIntegerSize && l.refSize >= 1 && l.refSize <= kMaxIntegerSize &&
           l.count != 0 && l.top < l.count && l.count <= n && l.table >= kHeaderSize && l.table <= n - kTrailerSize &&
           (n - kTrailerSize - l.table) / l.offsetSize >= l.count;
}

// The length of the object at `at` and where its contents start (cursor), the length read from
// the integer after the marker when the marker's nibble says so; false when that integer is
// malformed or runs into the offset table.
bool readObjectLength(const Layout &l, uint64_t at, uint64_t &length, uint64_t &cursor)
{
    const unsigned char *p = l.p;
    length = p[at] & 0x0F;
    cursor = at + 1;
    if (length != kLengthFollows) {
        return true;
    }
    if (cursor >= l.table || kindOf(p[cursor]) != kMarkerInteger || (p[cursor] & 0x0F) > kMaxLengthWidthLog2) {
        return false;
    }
    size_t bytes = size_t{1} << (p[cursor] & 0x0F);
    if (cursor + 1 + bytes > l.table) {
        return false;
    }
    length = readBigEndian(p + cursor + 1, bytes);
    cursor += 1 + bytes;
    return true;
}

// Every object lies between the header and the offset table, and no string holds U+0000
// (libplist aborts, an assertion, on a dictionary key holding one).
bool objectsSound(const Layout &l)
{
    const unsigned char *p = l.p;
    for (uint64_t object = 0; object < l.count; ++object) {
        uint64_t at = l.offsetOf(object);
        if (at < kHeaderSize || at >= l.table) {
            return false;
        }
        unsigned kind = kindOf(p[at]);
        if (!isStringKind(kind)) {
            continue;
        }
        uint64_t length = 0;
        uint64_t cursor = 0;
        if (!readObjectLength(l, at, length, cursor)) {
            return false;
        }
        uint64_t unit = kind == kMarkerUTF16String ? 2 : 1;
        if (length > (l.table - cursor) / unit) {
            return false;
        }
        for (uint64_t i = 0; i < length; ++i) {
            bool zero = unit == 2 ? (p[cursor + 2 * i] == 0 && p[cursor + 2 * i + 1] == 0) : p[cursor + i] == 0;
            if (zero) {
                return false;
            }
        }
    }
    return true;
}

// Children of an object: where its references start and how many there are (none for a leaf);
// false when the container's references do not fit before the offset table.
bool containerChildren(const Layout &l, uint64_t object, uint64_t &first, uint64_t &number)
{
    uint64_t at = l.offsetOf(object);
    if (at >= l.table) {
        return false;
    }
    unsigned kind = kindOf(l.p[at]);
    number = 0;
    first = 0;
    if (!isContainerKind(kind)) {
        return true;  // a leaf
    }
    uint64_t length = 0;
    uint64_t cursor = 0;
    if (!readObjectLength(l, at, length, cursor)) {
        return false;
    }
    // Writers store equal values once, so a container may hold more references than there
    // are objects; each reference is checked against the object count when it is followed.
    uint64_t room = (l.table - cursor) / l.refSize;
    if (length > room || (kind == kMarkerDict && length > room / 2)) {
        return false;
    }
    number = kind == kMarkerDict ? length * 2 : length;  // a dictionary's keys, then its values
    first = cursor;
    return true;
}

// The walk over the references from the root, without recursion (libplist's binary reader
// recurses). Each object's depth is measured once.
//
// libplist copies a shared value at each further reference, so the values it builds are the
// tree that the references spell out. Containers that hold each other twice over make that tree
// exponential in the file's size: the values it would build are counted (saturating) and a file
// that expands far beyond its own size is refused. Without shared containers the tree has at
// most one value per reference, so files that writers make stay far below.
class NestingWalk {
public:
    NestingWalk(const Layout &layout, int limit)
        : l_(layout), limit_(limit), expansionLimit_(kExpansionPerByte * layout.n + kExpansionAllowance),
          depth_(static_cast<size_t>(layout.count), kDepthUnknown), values_(static_cast<size_t>(layout.count), 0)
    {
    }

    // The root's depth; limit + 1 once past limit; -1 for a structure that is not sound.
    int run()
    {
        if (!enter(l_.top)) {
            return -1;
        }
        while (!stack_.empty()) {
            Frame &f = stack_.back();
            int step = f.next == f.number ? finish() : follow(f);
            if (step != kContinue) {
                return step;
            }
        }
        return depth_[static_cast<size_t>(l_.top)];
    }

private:
    struct Frame {
        uint64_t object;
        uint64_t first;
        uint64_t number;
        uint64_t next;
        int deepest;
        uint64_t values;
    };
    static constexpr int kContinue = INT32_MIN;

    uint64_t add(uint64_t a, uint64_t b) const { return std::min(a + b, expansionLimit_ + 1); }

    // Starts measuring an object: it goes on the path.
    bool enter(uint64_t object)
    {
        uint64_t first = 0;
        uint64_t number = 0;
        if (!containerChildren(l_, object, first, number)) {
            return false;
        }
        depth_[static_cast<size_t>(object)] = kDepthOnPath;
        stack_.push_back(Frame{object, first, number, 0, 0, 1});
        return true;
    }

    // The top object has no references left: its depth and value count are known, and count
    // in its parent's.
    int finish()
    {
        const Frame &f = stack_.back();
        bool container = f.number > 0 || isContainerKind(kindOf(l_.p[l_.offsetOf(f.object)]));
        int d = container ? f.deepest + 1 : 0;
        depth_[static_cast<size_t>(f.object)] = d;
        uint64_t built = f.values;
        if (built > expansionLimit_) {
            return -1;
        }
        values_[static_cast<size_t>(f.object)] = built;
        stack_.pop_back();
        if (!stack_.empty()) {
            stack_.back().deepest = std::max(stack_.back().deepest, d);
            stack_.back().values = add(stack_.back().values, built);
        }
        return kContinue;
    }

    // Follows the top object's next reference: a measured child counts at once, an unmeasured
    // one is entered, one on the path is a container that holds itself.
    int follow(Frame &f)
    {
        uint64_t child = readBigEndian(l_.p + f.first + f.next * l_.refSize, l_.refSize);
        ++f.next;
        if (child >= l_.count) {
            return -1;
        }
        int known = depth_[static_cast<size_t>(child)];
        if (known == kDepthOnPath) {
            return -1;  // a container that holds itself
        }
        if (known >= 0) {
            f.deepest = std::max(f.deepest, known);
            f.values = add(f.values, values_[static_cast<size_t>(child)]);
            return kContinue;
        }
        uint64_t first = 0;
        uint64_t number = 0;
        if (!containerChildren(l_, child, first, number)) {
            return -1;
        }
        if (static_cast<int>(stack_.size()) > limit_) {
            return limit_ + 1;
        }
        depth_[static_cast<size_t>(child)] = kDepthOnPath;
        stack_.push_back(Frame{child, first, number, 0, 0, 1});  // f is not used past this point
        return kContinue;
    }

    const Layout &l_;
    int limit_;
    uint64_t expansionLimit_;
    std::vector<int> depth_;
    std::vector<uint64_t> values_;
    std::vector<Frame> stack_;
};

// The deepest container nesting of a binary property list (limit + 1 once past limit); -1 for a
// structure that is not sound (bad offsets, a container that holds itself).
int binaryDepth(const unsigned char *p, size_t n, int limit)
{
    Layout layout{};
    if (!readTrailer(p, n, layout) || !objectsSound(layout)) {
        return -1;
    }
    return NestingWalk(layout, limit).run();
}

}  // namespace

namespace cf::plist {

CFPropertyListRef readBinary(const char *bytes, size_t length, CFOptionFlags option, CFPropertyListFormat *format,
                             std::string &reason)
{
    // libplist's binary reader recurses without a depth limit: check the structure first.
    int depth = binaryDepth(reinterpret_cast<const unsigned char *>(bytes), length, kMaxDepth);
    if (depth < 0) {
        reason = "the binary property list is malformed";
        return nullptr;
    }
    if (depth > kMaxDepth) {
        reason = std::string("nesting deeper than ") + std::to_string(kMaxDepth) + " levels";
        return nullptr;
    }
    plist_t root = nullptr;
    plist_from_bin(bytes, static_cast<uint32_t>(length), &root);
    if (root == nullptr) {
        reason = "the data is not a well-formed binary property list";
        return nullptr;
    }
    PlistHolder holder(root);
    if (format != nullptr) {
        *format = kCFPropertyListBinaryFormat_v1_0;
    }
    return fromRoot(root, option, reason);
}

CFDataRef writeBinary(plist_t root, std::string &reason)
{
    char *out = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &out, &length);
    if (out == nullptr) {
        reason = "the property list could not be serialized";
        return nullptr;
    }
    // The buffer libplist allocated becomes the data's bytes (freed with free()).
    return CFDataCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8 *>(out), static_cast<CFIndex>(length),
                                       kCFAllocatorMalloc);
}

}  // namespace cf::plist
