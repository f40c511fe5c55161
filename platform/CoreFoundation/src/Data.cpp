// CFData: byte buffers.
#include "Internal.h"

#include <cstdio>
#include <cstring>
#include <vector>

using namespace cf;

struct __CFData final : Object {
    bool isMutable = false;
    std::vector<UInt8> bytes;
    // NoCopy data: the caller's bytes, freed by the deallocator (unless kCFAllocatorNull).
    const UInt8 *external = nullptr;
    CFIndex externalLength = 0;
    CFAllocatorRef deallocator = nullptr;

    __CFData() : Object(kTypeData) {}
    ~__CFData() override
    {
        if (external != nullptr && deallocator != kCFAllocatorNull) {
            CFAllocatorDeallocate(deallocator, const_cast<UInt8 *>(external));
        }
    }
    const UInt8 *ptr() const { return external != nullptr ? external : bytes.data(); }
    CFIndex length() const { return external != nullptr ? externalLength : static_cast<CFIndex>(bytes.size()); }
    const char *className() const override { return "CFData"; }
    bool equal(const Object *other) const override
    {
        auto *o = static_cast<const __CFData *>(other);
        return length() == o->length() && (length() == 0 || std::memcmp(ptr(), o->ptr(), static_cast<size_t>(length())) == 0);
    }
    CFHashCode hash() const override
    {
        uint64_t h = 1469598103934665603ULL;
        CFIndex n = length() < 80 ? length() : 80;
        for (CFIndex i = 0; i < n; ++i) {
            h = (h ^ ptr()[i]) * 1099511628211ULL;
        }
        return static_cast<CFHashCode>(h ^ static_cast<uint64_t>(length()));
    }
    std::u16string describe() const override
    {
        std::string out = "<";
        char hex[4];
        for (CFIndex i = 0; i < length(); ++i) {
            if (i > 0 && i % 4 == 0) {
                out += ' ';
            }
            std::snprintf(hex, sizeof hex, "%02x", ptr()[i]);
            out += hex;
        }
        out += '>';
        return u16(out.c_str());
    }
};

namespace {
const __CFData *dat(CFDataRef d) { return as<__CFData>(d, kTypeData); }

__CFData *mutableData(CFMutableDataRef d, const char *function) { return mutableOrReport(dat(d), function, "data"); }

}  // namespace

extern "C" {

CFTypeID CFDataGetTypeID(void) { return kTypeData; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8 *bytes, CFIndex length)
{
    if (length < 0 || (bytes == nullptr && length > 0)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    auto *d = new __CFData();
    if (length > 0) {
        d->bytes.assign(bytes, bytes + length);
    }
    return d;
}

CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef, const UInt8 *bytes, CFIndex length, CFAllocatorRef bytesDeallocator)
{
    if (length < 0 || (bytes == nullptr && length > 0)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    auto *d = new __CFData();
    if (bytes != nullptr) {
        d->external = bytes;
        d->externalLength = length;
        d->deallocator = bytesDeallocator;
    }
    return d;
}

CFDataRef CFDataCreateCopy(CFAllocatorRef alloc, CFDataRef theData)
{
    const __CFData *p = dat(theData);
    if (p == nullptr) {
        return nullptr;
    }
    if (!p->isMutable && p->external == nullptr) {
        CF_CREATE_OR_RETURN(nullptr);
        return static_cast<CFDataRef>(CFRetain(theData));
    }
    return CFDataCreate(alloc, p->ptr(), p->length());
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex capacity)
{
    CF_CREATE_OR_RETURN(nullptr);
    auto *d = new __CFData();
    d->isMutable = true;
    if (capacity > 0 && capacity < (1 << 20)) {
        d->bytes.reserve(static_cast<size_t>(capacity));
    }
    return d;
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef, CFIndex, CFDataRef theData)
{
    const __CFData *p = dat(theData);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    auto *d = new __CFData();
    d->isMutable = true;
    d->bytes.assign(p->ptr(), p->ptr() + p->length());
    return d;
}

CFIndex CFDataGetLength(CFDataRef theData)
{
    const __CFData *p = dat(theData);
    return p == nullptr ? 0 : p->length();
}

const UInt8 *CFDataGetBytePtr(CFDataRef theData)
{
    const __CFData *p = dat(theData);
    return p == nullptr ? nullptr : p->ptr();
}

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8 *bytes, CFIndex length)
{
    __CFData *p = mutableData(theData, "CFDataAppendBytes");
    if (p != nullptr && bytes != nullptr && length > 0) {
        p->bytes.insert(p->bytes.end(), bytes, bytes + length);
    }
}

}  // extern "C"
