// Internal object model of the CoreFoundation stand-in: the common base of every object, the
// type identifiers, the creation-failure seam, the one diagnostic reporter, and every function
// that one source file offers the others.
#ifndef CF_INTERNAL_H
#define CF_INTERNAL_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreFoundation/CFStandIn.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace cf {

enum TypeID : CFTypeID {
    kTypeNull = 1,
    kTypeAllocator = 2,
    kTypeString = 7,
    kTypeSet = 17,
    kTypeDictionary = 18,
    kTypeArray = 19,
    kTypeData = 20,
    kTypeBoolean = 21,
    kTypeNumber = 22,
    kTypeURL = 29,
    kTypeBundle = 31,
    kTypeUUID = 41,
    kTypeDate = 42,
    kTypeRunLoop = 43,
    kTypeRunLoopSource = 44,
    kTypeError = 45,
    kTypeRunLoopTimer = 46,
    kTypeFileDescriptor = 48,
    kTypeFirstStandIn = 100,
};

// Count reported for objects that live forever.
constexpr CFIndex kImmortalRetainCount = 0x0FFFFFFFFFFFFFFFL;

void noteObjectBorn();
void noteObjectGone();

struct Object {
    std::atomic<CFIndex> refs;
    CFTypeID typeID;
    bool immortal;

    // Objects made at run time: one reference, counted among the live objects.
    explicit Object(CFTypeID type) : refs(1), typeID(type), immortal(false) { noteObjectBorn(); }
    // Constants: constant-initialised, never freed.
    struct Immortal {};
    constexpr Object(CFTypeID type, Immortal) : refs(kImmortalRetainCount), typeID(type), immortal(true) {}
    Object(const Object &) = delete;
    Object &operator=(const Object &) = delete;
    virtual ~Object()
    {
        if (!immortal) {
            noteObjectGone();
        }
    }

    virtual bool equal(const Object *other) const { return this == other; }
    virtual CFHashCode hash() const { return reinterpret_cast<CFHashCode>(this) >> 4; }
    // CFCopyDescription text.
    virtual std::u16string describe() const;
    // Text inserted by %@.
    virtual std::u16string formatText() const { return describe(); }
    // Description as an entry of a container described at the indentation level (containers
    // indent their own entries one level deeper).
    virtual std::u16string describeAt(int indent) const { return describe(); }
    // A container made mutable here and filled in place becomes immutable (see freeze).
    virtual void makeImmutable() {}
    virtual const char *className() const = 0;
};

inline const Object *obj(CFTypeRef cf) { return static_cast<const Object *>(cf); }
inline Object *mobj(CFTypeRef cf) { return const_cast<Object *>(static_cast<const Object *>(cf)); }

template <typename T> inline const T *as(CFTypeRef cf, CFTypeID type)
{
    return (cf != nullptr && obj(cf)->typeID == type) ? static_cast<const T *>(obj(cf)) : nullptr;
}

// ---- Seam: creation scope ----
// A public Create/Copy function opens a scope first; the outermost scope of a thread counts one
// creation and may be failed by the seam. Nested scopes always succeed and count nothing.
bool creationBegin();
void creationEnd();
class CreationScope {
public:
    CreationScope() : ok_(creationBegin()) {}
    ~CreationScope()
    {
        if (ok_) {
            creationEnd();
        }
    }
    CreationScope(const CreationScope &) = delete;
    CreationScope &operator=(const CreationScope &) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};
// Work inside a function that must not fail through the seam (a Get that loads lazily, a
// callback that copies a key): creations made inside it are neither counted nor failed. (The
// kit's BackgroundCreationScope is another thing: it counts, and only lasting failures fail it.)
void creationEnterInternal();
class UncountedCreationScope {
public:
    UncountedCreationScope() { creationEnterInternal(); }
    ~UncountedCreationScope() { creationEnd(); }
    UncountedCreationScope(const UncountedCreationScope &) = delete;
    UncountedCreationScope &operator=(const UncountedCreationScope &) = delete;
};

#define CF_CREATE_OR_RETURN(failValue)                                                                                \
    ::cf::CreationScope cfCreationScope_;                                                                              \
    if (!cfCreationScope_.ok()) {                                                                                      \
        return failValue;                                                                                              \
    }

// ---- Diagnostics ----

// The stand-in's one way to tell about misuse and about files it ignores: writes
// "CoreFoundation: <line>" to standard error, each control byte of the line as \xNN.
void report(std::string_view line);
// A call refused for the problem, reported as "<function> <problem>; ignored".
void reportIgnored(const char *function, std::string_view problem);

// True when the range lies within an object of the length (the check every ranged call makes).
inline bool rangeWithin(CFRange range, CFIndex length)
{
    return range.location >= 0 && range.length >= 0 && range.location <= length &&
           range.length <= length - range.location;
}

// The object when it may be changed (T has isMutable); an edit of an immutable one is reported
// and ignored. kind names the object in the report ("a string", "an array", "data").
template <typename T> T *mutableOrReport(const T *p, const char *function, const char *kind)
{
    if (p == nullptr || !p->isMutable) {
        reportIgnored(function, std::string("on ") + kind + " that is not mutable");
        return nullptr;
    }
    return const_cast<T *>(p);
}

// ---- Text helpers ----
std::u16string fromUTF8(std::string_view text);      // invalid bytes become U+FFFD
bool fromUTF8Strict(std::string_view text, std::u16string &out);
std::string toUTF8(std::u16string_view text);        // unpaired surrogates become U+FFFD
std::u16string u16(const char *ascii);
std::u16string formatTextOf(CFTypeRef cf);           // %@ text
std::u16string hexAddress(const void *p);

// Strings (String.cpp)
CFStringRef makeString(std::u16string_view text, bool mutableString = false);
CFStringRef makeStringUTF8(std::string_view text);   // NULL for invalid UTF-8
std::u16string stringText(CFStringRef s);
std::string stringUTF8(CFStringRef s);

// ---- Containers (Array.cpp, Dictionary.cpp, Set.cpp; shared pieces in Runtime.cpp) ----

// The standard callbacks: retain, release, description, equality and hash of the object runtime.
const void *typeRetain(CFAllocatorRef, const void *value);
void typeRelease(CFAllocatorRef, const void *value);
CFStringRef typeDescription(const void *value);
Boolean typeEqual(const void *a, const void *b);
CFHashCode typeHash(const void *value);
// The retain of the copy-string callbacks: strings are copied (a mutable key cannot change under
// the container), other objects retained.
const void *copyStringRetain(CFAllocatorRef alloc, const void *value);

// Indented description used by CFCopyDescription.
std::u16string describeValue(CFTypeRef cf, int indent);
// Four spaces per level.
std::u16string indentText(int indent);
// Description of a value held by a container: its object description when the container holds
// objects, else the callback's description, else its address.
std::u16string describeHeld(const void *value, CFStringRef (*copyDescription)(const void *), bool isCF, int indent);
// Depth guard for recursions over containers that may hold themselves.
class DepthGuard {
public:
    DepthGuard();
    ~DepthGuard();
    DepthGuard(const DepthGuard &) = delete;
    DepthGuard &operator=(const DepthGuard &) = delete;
    bool tooDeep() const;
};

// Containers with the standard callbacks, sized ahead, and turning a container made here
// immutable once filled (the readers and deep copies build in place instead of copying).
CFMutableDictionaryRef newDictionary(size_t capacity);
CFMutableArrayRef newArray(size_t capacity);
inline void freeze(CFTypeRef container)
{
    if (container != nullptr) {
        mobj(container)->makeImmutable();
    }
}

// The value of a hexadecimal digit, either case; -1 for any other character (URL escapes, UUID
// text).
inline int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Deep structures: the depth past which recursion (copy, write, equality, description) stops.
constexpr int kMaxDepth = kCFPropertyListMaxDepth;

// ---- URLs (URL.cpp) and bundles (Bundle.cpp) ----

// The decoded file-system path of a file URL (no trailing slash except for "/"); false for NULL
// or a URL without a path.
bool urlFilePath(CFURLRef u, std::string &path);
// Forgets the main bundle; the next CFBundleGetMainBundle finds it at the path (NULL: where it
// is found without a test override). Reached through PlatformTestingSetMainBundlePath.
void resetMainBundle(const char *path);

}  // namespace cf

// ---- Numbers for the property-list reader and writer (Number.cpp) ----

extern "C" {
// A number holding an integer of the unsigned 64-bit range (above the signed range too).
CFNumberRef _CFNumberCreateUnsigned64(uint64_t value);
// The integer of a number: the signed value, or, when *isBig, the unsigned value above the
// signed range; false for NULL or a floating-point number.
Boolean _CFNumberGetInteger(CFNumberRef number, int64_t *value, uint64_t *bigValue, Boolean *isBig);
}

#endif  // CF_INTERNAL_H
