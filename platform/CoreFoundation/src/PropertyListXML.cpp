// XML property lists read: the nesting check that runs before libplist's recursive parser, and
// the glue that reads the XML syntax through libplist (PropertyListXMLWriter.cpp writes it).
#include "PropertyListInternal.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace cf;
using namespace cf::plist;

namespace {

// ---- XML nesting check ----

// The deepest element nesting of an XML text as libplist's parser will nest it; stops counting
// (returns limit + 1) once past limit. It must never see less nesting than the parser: where the
// two could read a construct differently, it errs on the deeper side. In a tag, a declaration and
// a processing instruction only the double quote quotes (the parser takes an apostrophe as an
// ordinary character); a comment or CDATA section ends at the first terminator after its opener.
int xmlDepth(const char *p, size_t n, int limit)
{
    int depth = 0;
    int deepest = 0;
    size_t i = 0;
    // Past the end of a construct whose opener (of openerLength characters after the "<") is at
    // i; with quotes, an end inside double quotes does not count.
    auto skipPast = [&](size_t openerLength, const char *end, bool quotes) {
        size_t endLength = std::strlen(end);
        bool quoted = false;
        for (i += openerLength; i < n; ++i) {
            if (quotes && p[i] == '"') {
                quoted = !quoted;
            } else if (!quoted && n - i >= endLength && std::memcmp(p + i, end, endLength) == 0) {
                i += endLength;
                return;
            }
        }
    };
    while (i < n) {
        const char *lt = static_cast<const char *>(std::memchr(p + i, '<', n - i));
        if (lt == nullptr) {
            break;
        }
        i = static_cast<size_t>(lt - p) + 1;
        if (i >= n) {
            break;
        }
        if (n - i >= 3 && std::memcmp(p + i, "!--", 3) == 0) {
            skipPast(3, "-->", false);
        } else if (n - i >= 8 && std::memcmp(p + i, "![CDATA[", 8) == 0) {
            skipPast(8, "]]>", false);
        } else if (p[i] == '?') {
            skipPast(0, "?>", true);  // the opening "?" may end it too: "<?>" is whole
        } else if (p[i] == '!') {
            int brackets = 0;
            bool quoted = false;
            for (; i < n; ++i) {
                if (p[i] == '"') {
                    quoted = !quoted;
                } else if (quoted) {
                    continue;
                } else if (p[i] == '[') {
                    ++brackets;
                } else if (p[i] == ']') {
                    --brackets;
                } else if (p[i] == '>' && brackets <= 0) {
                    ++i;
                    break;
                }
            }
        } else if (p[i] == '/') {
            --depth;
            skipPast(1, ">", false);
        } else {
            // The element's name runs to white space or the end of the tag, quotes and zero bytes
            // included (the parser compares it as a C string, so "plist\0\"" names a plist);
            // only in the attributes after it does a double quote quote.
            while (i < n && p[i] != ' ' && p[i] != '\t' && p[i] != '\r' && p[i] != '\n' && p[i] != '>') {
                ++i;
            }
            bool quoted = false;
            bool selfClosing = false;
            for (; i < n; ++i) {
                char c = p[i];
                if (c == '"') {
                    quoted = !quoted;
                } else if (!quoted && c == '>') {
                    selfClosing = i > 0 && p[i - 1] == '/';
                    ++i;
                    break;
                }
            }
            if (!selfClosing) {
                ++depth;
                deepest = std::max(deepest, depth);
                if (deepest > limit) {
                    return limit + 1;
                }
            }
        }
    }
    return deepest;
}

// An XML document through libplist, after the nesting check.
CFPropertyListRef readXMLThroughLibplist(const char *bytes, size_t length, CFOptionFlags option, std::string &reason)
{
    // libplist's parser recurses without limit: check the nesting first (root element "plist"
    // adds one level).
    if (xmlDepth(bytes, length, kMaxDepth + 2) > kMaxDepth + 1) {
        reason = std::string("nesting deeper than ") + std::to_string(kMaxDepth) + " levels";
        return nullptr;
    }
    plist_t root = nullptr;
    plist_from_xml(bytes, static_cast<uint32_t>(length), &root);
    if (root == nullptr) {
        reason = "the data is not a well-formed XML property list";
        return nullptr;
    }
    PlistHolder holder(root);
    return fromRoot(root, option, reason);
}

}  // namespace

namespace cf::plist {

CFPropertyListRef readXML(const char *bytes, size_t length, CFOptionFlags option, CFPropertyListFormat *format,
                          std::string &reason)
{
    Uniquer strings;
    FastXMLResult fast = readXMLFast(bytes, length, option, strings, reason);
    CFPropertyListRef value = fast.deferred ? readXMLThroughLibplist(bytes, length, option, reason) : fast.value;
    if (value != nullptr && format != nullptr) {
        *format = kCFPropertyListXMLFormat_v1_0;
    }
    return value;
}

}  // namespace cf::plist

extern "C" {

// The nesting the XML reader's check sees in a text, counted up to limit + 1; the fuzz target
// holds it against the depth of what libplist then builds, which it must never fall below.
int _CFPropertyListXMLNesting(const char *bytes, size_t length, int limit)
{
    return xmlDepth(bytes, length, limit);
}

// One XML reader alone, for the tests and the fuzz target that hold the two against each other:
// the fast reader (NULL and *deferred when it leaves the document to libplist's path) or
// libplist's path.
CFPropertyListRef _CFPropertyListCreateWithXMLReader(const char *bytes, size_t length, CFOptionFlags option,
                                                     Boolean fast, Boolean *deferred)
{
    std::string reason;
    *deferred = false;
    if (!fast) {
        return readXMLThroughLibplist(bytes, length, option, reason);
    }
    Uniquer strings;
    FastXMLResult result = readXMLFast(bytes, length, option, strings, reason);
    *deferred = result.deferred;
    return result.value;
}

}  // extern "C"
