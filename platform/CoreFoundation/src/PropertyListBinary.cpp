// Binary property lists: the structure and nesting check that runs before libplist's recursive
// reader, and the glue that reads and writes the binary format through libplist.
#include "PropertyListInternal.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace cf;
using namespace cf::plist;

namespace {

// ---- Binary nesting check ----

uint64_t readBigEndian(const unsigned char *p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

// The deepest container nesting of a binary property list, found without recursion (libplist's
// binary reader recurses); -1 for a structure that is not sound (bad offsets, a container that
// holds itself).
int binaryDepth(const unsigned char *p, size_t n, int limit)
{
    if (n < 8 + 32) {
        return -1;
    }
    const unsigned char *trailer = p + n - 32;
    size_t offsetSize = trailer[6];
    size_t refSize = trailer[7];
    uint64_t count = readBigEndian(trailer + 8, 8);
    uint64_t top = readBigEndian(trailer + 16, 8);
    uint64_t table = readBigEndian(trailer + 24, 8);
    // The offset table lies between the header and the trailer, and holds count offsets.
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || count == 0 || top >= count ||
        count > n || table < 8 || table > n - 32 || (n - 32 - table) / offsetSize < count) {
        return -1;
    }
    auto offsetOf = [&](uint64_t object) { return readBigEndian(p + table + object * offsetSize, offsetSize); };
    // libplist aborts (an assertion) on a dictionary key holding U+0000: no string may hold one.
    for (uint64_t object = 0; object < count; ++object) {
        uint64_t at = offsetOf(object);
        if (at < 8 || at >= table) {
            return -1;
        }
        unsigned kind = p[at] >> 4;
        if (kind != 0x5 && kind != 0x6 && kind != 0x7) {
            continue;
        }
        uint64_t length = p[at] & 0x0F;
        uint64_t cursor = at + 1;
        if (length == 0x0F) {
            if (cursor >= table || (p[cursor] >> 4) != 0x1 || (p[cursor] & 0x0F) > 3) {
                return -1;
            }
            size_t bytes = size_t{1} << (p[cursor] & 0x0F);
            if (cursor + 1 + bytes > table) {
                return -1;
            }
            length = readBigEndian(p + cursor + 1, bytes);
            cursor += 1 + bytes;
        }
        uint64_t unit = kind == 0x6 ? 2 : 1;
        if (length > (table - cursor) / unit) {
            return -1;
        }
        for (uint64_t i = 0; i < length; ++i) {
            bool zero = unit == 2 ? (p[cursor + 2 * i] == 0 && p[cursor + 2 * i + 1] == 0) : p[cursor + i] == 0;
            if (zero) {
                return -1;
            }
        }
    }
    // Children of a container: where its references start and how many there are.
    auto children = [&](uint64_t object, uint64_t &first, uint64_t &number) -> bool {
        uint64_t at = offsetOf(object);
        if (at >= table) {
            return false;
        }
        unsigned char marker = p[at];
        unsigned kind = marker >> 4;
        number = 0;
        first = 0;
        if (kind != 0xA && kind != 0xC && kind != 0xD) {
            return true;  // a leaf
        }
        uint64_t length = marker & 0x0F;
        uint64_t cursor = at + 1;
        if (length == 0x0F) {
            if (cursor >= table || (p[cursor] >> 4) != 0x1) {
                return false;
            }
            size_t bytes = size_t{1} << (p[cursor] & 0x0F);
            if (bytes > 8 || cursor + 1 + bytes > table) {
                return false;
            }
            length = readBigEndian(p + cursor + 1, bytes);
            cursor += 1 + bytes;
        }
        // Writers store equal values once, so a container may hold more references than there
        // are objects; each reference is checked against the object count when it is followed.
        uint64_t room = (table - cursor) / refSize;
        if (length > room || (kind == 0xD && length > room / 2)) {
            return false;
        }
        number = kind == 0xD ? length * 2 : length;
        first = cursor;
        return true;
    };
    std::vector<int> depth(static_cast<size_t>(count), -1);  // -1 unknown, -2 on the current path
    // libplist copies a shared value at each further reference, so the values it builds are the
    // tree that the references spell out. Containers that hold each other twice over make that
    // tree exponential in the file's size: the values it would build are counted (saturating)
    // and a file that expands far beyond its own size is refused. Without shared containers the
    // tree has at most one value per reference, so files that writers make stay far below.
    const uint64_t expansionLimit = uint64_t{32} * n + 65536;
    std::vector<uint64_t> values(static_cast<size_t>(count), 0);
    auto add = [&](uint64_t a, uint64_t b) { return std::min(a + b, expansionLimit + 1); };
    struct Frame {
        uint64_t object;
        uint64_t first;
        uint64_t number;
        uint64_t next;
        int deepest;
        uint64_t values;
    };
    std::vector<Frame> stack;
    uint64_t first = 0;
    uint64_t number = 0;
    if (!children(top, first, number)) {
        return -1;
    }
    stack.push_back(Frame{top, first, number, 0, 0, 1});
    depth[static_cast<size_t>(top)] = -2;
    while (!stack.empty()) {
        Frame &f = stack.back();
        if (f.next == f.number) {
            int d = f.number > 0 || (p[offsetOf(f.object)] >> 4) == 0xA || (p[offsetOf(f.object)] >> 4) == 0xD ||
                            (p[offsetOf(f.object)] >> 4) == 0xC
                        ? f.deepest + 1
                        : 0;
            depth[static_cast<size_t>(f.object)] = d;
            uint64_t built = f.values;
            if (built > expansionLimit) {
                return -1;
            }
            values[static_cast<size_t>(f.object)] = built;
            stack.pop_back();
            if (!stack.empty()) {
                stack.back().deepest = std::max(stack.back().deepest, d);
                stack.back().values = add(stack.back().values, built);
            }
            continue;
        }
        uint64_t child = readBigEndian(p + f.first + f.next * refSize, refSize);
        ++f.next;
        if (child >= count) {
            return -1;
        }
        int known = depth[static_cast<size_t>(child)];
        if (known == -2) {
            return -1;  // a container that holds itself
        }
        if (known >= 0) {
            f.deepest = std::max(f.deepest, known);
            f.values = add(f.values, values[static_cast<size_t>(child)]);
            continue;
        }
        if (!children(child, first, number)) {
            return -1;
        }
        if (static_cast<int>(stack.size()) > limit) {
            return limit + 1;
        }
        depth[static_cast<size_t>(child)] = -2;
        stack.push_back(Frame{child, first, number, 0, 0, 1});
    }
    return depth[static_cast<size_t>(top)];
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
