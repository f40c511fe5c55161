// The object runtime: retain counts, type identity, equality, hashing, descriptions,
// allocators, kCFNull, the classes of the other stand-ins and the creation-failure seam.
#include "Internal.h"

#include "PlatformTesting.h"

#include <unicode/ustring.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace cf {

// ---- Live objects and the seam ----

namespace {
std::atomic<long> gLiveObjects{0};
std::atomic<long> gCreations{0};
std::atomic<long> gFailedCreations{0};
std::atomic<long> gFailAt{0};      // creation number (1-based, counted from arming) that fails
std::atomic<bool> gFailSticky{false};
std::atomic<long> gArmedBase{0};   // gCreations when the seam was armed
thread_local int tCreationDepth = 0;
}  // namespace

void noteObjectBorn() { gLiveObjects.fetch_add(1, std::memory_order_relaxed); }
void noteObjectGone() { gLiveObjects.fetch_sub(1, std::memory_order_relaxed); }

bool creationBegin()
{
    if (tCreationDepth > 0) {
        ++tCreationDepth;
        return true;
    }
    long number = gCreations.fetch_add(1) + 1;
    long failAt = gFailAt.load();
    if (failAt > 0) {
        long relative = number - gArmedBase.load();
        bool fail = gFailSticky.load() ? relative >= failAt : relative == failAt;
        if (fail) {
            if (!gFailSticky.load()) {
                gFailAt.store(0);
            }
            gFailedCreations.fetch_add(1);
            return false;
        }
    }
    tCreationDepth = 1;
    return true;
}

void creationEnterInternal() { ++tCreationDepth; }

void creationEnd()
{
    if (tCreationDepth > 0) {
        --tCreationDepth;
    }
}

// ---- Diagnostics ----

void report(std::string_view line)
{
    std::string text = "CoreFoundation: ";
    for (char c : line) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        } else {
            text.push_back(c);
        }
    }
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void reportIgnored(const char *function, std::string_view problem)
{
    report(std::string(function) + " " + std::string(problem) + "; ignored");
}

// ---- Text helpers ----

std::u16string fromUTF8(std::string_view text)
{
    std::u16string out(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()), &length, text.data(),
                         static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) {
        return std::u16string();
    }
    out.resize(static_cast<size_t>(length));
    return out;
}

bool fromUTF8Strict(std::string_view text, std::u16string &out)
{
    out.assign(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()), &length, text.data(),
                  static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(length));
    return true;
}

std::string toUTF8(std::u16string_view text)
{
    std::string out(text.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length,
                       reinterpret_cast<const UChar *>(text.data()), static_cast<int32_t>(text.size()), 0xFFFD, nullptr,
                       &status);
    if (U_FAILURE(status)) {
        return std::string();
    }
    out.resize(static_cast<size_t>(length));
    return out;
}

std::u16string u16(const char *ascii)
{
    std::u16string out;
    for (; *ascii != '\0'; ++ascii) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*ascii)));
    }
    return out;
}

std::u16string hexAddress(const void *p)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", p);
    return u16(buffer);
}

std::u16string Object::describe() const
{
    return u16("<") + u16(className()) + u16(" ") + hexAddress(this) + u16(">");
}

std::u16string formatTextOf(CFTypeRef cf) { return cf == nullptr ? u16("(null)") : obj(cf)->formatText(); }

// ---- Containers: the standard callbacks, descriptions and the depth guard ----

namespace {
thread_local int tDepth = 0;

bool needsQuotes(const std::u16string &text)
{
    if (text.empty()) {
        return true;
    }
    return !std::all_of(text.begin(), text.end(), [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
               c == u'.' || c == u'$' || c == u'/' || c == u':' || c == u'-';
    });
}
}  // namespace

DepthGuard::DepthGuard() { ++tDepth; }
DepthGuard::~DepthGuard() { --tDepth; }
bool DepthGuard::tooDeep() const { return tDepth > kMaxDepth; }

const void *typeRetain(CFAllocatorRef, const void *value) { return CFRetain(value); }
void typeRelease(CFAllocatorRef, const void *value) { CFRelease(value); }
CFStringRef typeDescription(const void *value) { return CFCopyDescription(value); }
Boolean typeEqual(const void *a, const void *b) { return CFEqual(a, b); }
CFHashCode typeHash(const void *value) { return CFHash(value); }

const void *copyStringRetain(CFAllocatorRef alloc, const void *value)
{
    if (CFGetTypeID(value) != CFStringGetTypeID()) {
        return CFRetain(value);
    }
    UncountedCreationScope scope;
    return CFStringCreateCopy(alloc, static_cast<CFStringRef>(value));
}

std::u16string indentText(int indent) { return std::u16string(static_cast<size_t>(indent) * 4, u' '); }

std::u16string describeHeld(const void *value, CFStringRef (*copyDescription)(const void *), bool isCF, int indent)
{
    if (isCF) {
        return describeValue(value, indent);
    }
    if (copyDescription != nullptr) {
        CFStringRef text = copyDescription(value);
        if (text != nullptr) {
            std::u16string out = stringText(text);
            CFRelease(text);
            return out;
        }
    }
    return hexAddress(value);
}

std::u16string describeValue(CFTypeRef cf, int indent)
{
    if (cf == nullptr) {
        return u16("(null)");
    }
    if (obj(cf)->typeID != kTypeString) {
        return obj(cf)->describeAt(indent);
    }
    // Strings inside a container are quoted unless they are plain words.
    std::u16string text = stringText(static_cast<CFStringRef>(cf));
    if (indent == 0 || !needsQuotes(text)) {
        return text;
    }
    std::u16string quoted = u16("\"");
    for (char16_t c : text) {
        if (c == u'"' || c == u'\\') {
            quoted.push_back(u'\\');
        }
        quoted.push_back(c);
    }
    return quoted + u16("\"");
}

// ---- Allocators and null ----

namespace {
// ---- Classes of the other stand-ins ----
std::mutex gClassLock;
std::vector<const CFStandInClass *> &standInClasses()
{
    static std::vector<const CFStandInClass *> classes;
    return classes;
}

const CFStandInClass *standInClass(CFTypeID type)
{
    std::lock_guard<std::mutex> lock(gClassLock);
    auto &classes = standInClasses();
    if (type < kTypeFirstStandIn || type - kTypeFirstStandIn >= classes.size()) {
        return nullptr;
    }
    return classes[type - kTypeFirstStandIn];
}

struct StandInObject final : Object {
    const CFStandInClass *cls;
    void *storage;
    StandInObject(CFTypeID type, const CFStandInClass *c, void *s) : Object(type), cls(c), storage(s) {}
    ~StandInObject() override
    {
        if (cls->finalize != nullptr) {
            cls->finalize(this);
        }
        std::free(storage);
    }
    const char *className() const override { return cls->className; }
    bool equal(const Object *other) const override
    {
        return cls->equal != nullptr ? cls->equal(this, other) != 0 : this == other;
    }
    CFHashCode hash() const override { return cls->hash != nullptr ? cls->hash(this) : Object::hash(); }
    std::u16string describe() const override
    {
        if (cls->copyDescription != nullptr) {
            CFStringRef text = cls->copyDescription(this);
            if (text != nullptr) {
                std::u16string out = stringText(text);
                CFRelease(text);
                return out;
            }
        }
        return Object::describe();
    }
};
}  // namespace

}  // namespace cf

using namespace cf;

struct __CFAllocator final : Object {
    const char *name;
    constexpr explicit __CFAllocator(const char *n) : Object(kTypeAllocator, Immortal{}), name(n) {}
    const char *className() const override { return "CFAllocator"; }
    std::u16string describe() const override { return u16("<CFAllocator ") + u16(name) + u16(">"); }
};

struct __CFNull final : Object {
    constexpr __CFNull() : Object(kTypeNull, Immortal{}) {}
    const char *className() const override { return "CFNull"; }
    std::u16string describe() const override { return u16("<CFNull>"); }
    CFHashCode hash() const override { return 0x4e554c4c; }
};

namespace {
constinit __CFAllocator gSystemDefault("kCFAllocatorSystemDefault");
constinit __CFAllocator gMalloc("kCFAllocatorMalloc");
constinit __CFAllocator gMallocZone("kCFAllocatorMallocZone");
constinit __CFAllocator gNullAllocator("kCFAllocatorNull");
constinit __CFAllocator gUseContext("kCFAllocatorUseContext");
constinit __CFNull gNull;
}  // namespace

// ---- Public runtime ----

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorSystemDefault = &gSystemDefault;
const CFAllocatorRef kCFAllocatorMalloc = &gMalloc;
const CFAllocatorRef kCFAllocatorMallocZone = &gMallocZone;
const CFAllocatorRef kCFAllocatorNull = &gNullAllocator;
const CFAllocatorRef kCFAllocatorUseContext = &gUseContext;
const CFNullRef kCFNull = &gNull;

CFTypeRef CFRetain(CFTypeRef cf)
{
    if (cf == nullptr) {
        return nullptr;
    }
    Object *o = mobj(cf);
    if (!o->immortal) {
        o->refs.fetch_add(1, std::memory_order_relaxed);
    }
    return cf;
}

void CFRelease(CFTypeRef cf)
{
    if (cf == nullptr) {
        return;
    }
    Object *o = mobj(cf);
    if (o->immortal) {
        return;
    }
    if (o->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete o;
    }
}

CFIndex CFGetRetainCount(CFTypeRef cf) { return cf == nullptr ? 0 : obj(cf)->refs.load(); }

CFTypeID CFGetTypeID(CFTypeRef cf) { return cf == nullptr ? 0 : obj(cf)->typeID; }

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2)
{
    if (cf1 == cf2) {
        return true;
    }
    if (cf1 == nullptr || cf2 == nullptr || obj(cf1)->typeID != obj(cf2)->typeID) {
        return false;
    }
    return obj(cf1)->equal(obj(cf2));
}

CFHashCode CFHash(CFTypeRef cf) { return cf == nullptr ? 0 : obj(cf)->hash(); }

CFStringRef CFCopyDescription(CFTypeRef cf)
{
    if (cf == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeString(obj(cf)->describe());
}

void *CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags)
{
    if (size <= 0 || allocator == kCFAllocatorNull) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return std::malloc(static_cast<size_t>(size));
}

void CFAllocatorDeallocate(CFAllocatorRef allocator, void *ptr)
{
    if (allocator != kCFAllocatorNull) {
        std::free(ptr);
    }
}

// ---- Other stand-ins ----

CFTypeID _CFStandInRegisterClass(const CFStandInClass *cls)
{
    std::lock_guard<std::mutex> lock(gClassLock);
    auto &classes = standInClasses();
    classes.push_back(cls);
    return kTypeFirstStandIn + classes.size() - 1;
}

CFTypeRef _CFStandInCreateInstance(CFAllocatorRef, CFTypeID typeID, CFIndex extraBytes)
{
    const CFStandInClass *cls = standInClass(typeID);
    if (cls == nullptr || extraBytes < 0) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    void *storage = std::calloc(1, static_cast<size_t>(extraBytes > 0 ? extraBytes : 1));
    if (storage == nullptr) {
        return nullptr;
    }
    return static_cast<Object *>(new StandInObject(typeID, cls, storage));
}

void *_CFStandInGetStorage(CFTypeRef cf)
{
    if (cf == nullptr || obj(cf)->typeID < kTypeFirstStandIn) {
        return nullptr;
    }
    return static_cast<const StandInObject *>(obj(cf))->storage;
}

Boolean _CFStandInCreationBegin(void) { return creationBegin(); }
void _CFStandInCreationEnd(void) { creationEnd(); }

// ---- Test seam ----

void PlatformTestingCFFailNthCreation(long nth)
{
    gFailSticky.store(false);
    gArmedBase.store(gCreations.load());
    gFailAt.store(nth > 0 ? nth : 0);
}

void PlatformTestingCFFailCreationsFrom(long nth)
{
    gFailSticky.store(nth > 0);
    gArmedBase.store(gCreations.load());
    gFailAt.store(nth > 0 ? nth : 0);
}

long PlatformTestingCFCreationCount(void) { return gCreations.load(); }
long PlatformTestingCFFailedCreationCount(void) { return gFailedCreations.load(); }
long PlatformTestingCFLiveObjectCount(void) { return gLiveObjects.load(); }

void PlatformTestingSetMainBundlePath(const char *path) { resetMainBundle(path); }

void PlatformTestingResetCoreFoundation(void)
{
    gFailAt.store(0);
    gFailSticky.store(false);
    gArmedBase.store(0);
    gCreations.store(0);
    gFailedCreations.store(0);
    resetMainBundle(nullptr);
}

}  // extern "C"
