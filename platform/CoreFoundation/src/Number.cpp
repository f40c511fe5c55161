// CFNumber: integers (signed 64-bit, and unsigned above that range for the property-list
// reader) and floating-point values, compared by value across their types.
#include "Internal.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

using namespace cf;

struct __CFNumber final : Object {
    CFNumberType type = kCFNumberSInt32Type;  // storage type
    bool isFloat = false;
    bool isBig = false;  // an unsigned integer above INT64_MAX, held in u
    int64_t i = 0;
    uint64_t u = 0;
    double d = 0;

    __CFNumber() : Object(kTypeNumber) {}
    constexpr explicit __CFNumber(double value)
        : Object(kTypeNumber, Immortal{}), type(kCFNumberFloat64Type), isFloat(true), d(value)
    {
    }

    long double wide() const
    {
        if (isFloat) {
            return static_cast<long double>(d);
        }
        return isBig ? static_cast<long double>(u) : static_cast<long double>(i);
    }
    const char *className() const override { return "CFNumber"; }
    bool equal(const Object *other) const override;
    CFHashCode hash() const override
    {
        if (!isFloat) {
            return isBig ? static_cast<CFHashCode>(u) : static_cast<CFHashCode>(i);
        }
        if (std::isnan(d)) {
            return 0x7ff8;
        }
        if (d == std::floor(d) && d >= -9.2e18 && d <= 9.2e18) {
            return static_cast<CFHashCode>(static_cast<int64_t>(d));
        }
        uint64_t bits = 0;
        std::memcpy(&bits, &d, sizeof bits);
        return static_cast<CFHashCode>(bits);
    }
    std::u16string formatText() const override
    {
        char buffer[64];
        std::to_chars_result r{};
        if (isFloat) {
            if (std::isnan(d)) {
                return u16("nan");
            }
            if (std::isinf(d)) {
                return u16(d > 0 ? "+infinity" : "-infinity");
            }
            r = std::to_chars(buffer, buffer + sizeof buffer - 1, d);
        } else if (isBig) {
            r = std::to_chars(buffer, buffer + sizeof buffer - 1, u);
        } else {
            r = std::to_chars(buffer, buffer + sizeof buffer - 1, i);
        }
        *r.ptr = '\0';
        return u16(buffer);
    }
    std::u16string describe() const override { return formatText(); }
};

namespace {

constinit __CFNumber gPositiveInfinity(std::numeric_limits<double>::infinity());
constinit __CFNumber gNegativeInfinity(-std::numeric_limits<double>::infinity());
constinit __CFNumber gNaN(std::numeric_limits<double>::quiet_NaN());

const __CFNumber *num(CFNumberRef n) { return as<__CFNumber>(n, kTypeNumber); }

CFComparisonResult compareNumbers(const __CFNumber *a, const __CFNumber *b)
{
    if (!a->isFloat && !b->isFloat) {
        if (a->isBig || b->isBig) {
            if (a->isBig && b->isBig) {
                return a->u < b->u ? kCFCompareLessThan : (a->u > b->u ? kCFCompareGreaterThan : kCFCompareEqualTo);
            }
            return a->isBig ? kCFCompareGreaterThan : kCFCompareLessThan;
        }
        return a->i < b->i ? kCFCompareLessThan : (a->i > b->i ? kCFCompareGreaterThan : kCFCompareEqualTo);
    }
    bool nanA = a->isFloat && std::isnan(a->d);
    bool nanB = b->isFloat && std::isnan(b->d);
    if (nanA || nanB) {
        return nanA == nanB ? kCFCompareEqualTo : (nanA ? kCFCompareLessThan : kCFCompareGreaterThan);
    }
    long double x = a->wide();
    long double y = b->wide();
    return x < y ? kCFCompareLessThan : (x > y ? kCFCompareGreaterThan : kCFCompareEqualTo);
}

CFNumberType storageType(CFNumberType t)
{
    switch (t) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType: return kCFNumberSInt8Type;
    case kCFNumberSInt16Type:
    case kCFNumberShortType: return kCFNumberSInt16Type;
    case kCFNumberSInt32Type:
    case kCFNumberIntType: return kCFNumberSInt32Type;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType: return kCFNumberSInt64Type;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: return kCFNumberFloat32Type;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType: return kCFNumberFloat64Type;
    default: return 0;
    }
}

template <typename T> bool integerOut(const __CFNumber *n, void *out)
{
    T value{};
    bool exact = true;
    if (n->isFloat) {
        double d = n->d;
        if (std::isnan(d)) {
            value = 0;
            exact = false;
        } else if (d >= static_cast<double>(std::numeric_limits<T>::max())) {
            value = std::numeric_limits<T>::max();
            exact = d == static_cast<double>(std::numeric_limits<T>::max()) && sizeof(T) < 8;
        } else if (d < static_cast<double>(std::numeric_limits<T>::min())) {
            value = std::numeric_limits<T>::min();
            exact = false;
        } else {
            value = static_cast<T>(d);
            exact = static_cast<double>(value) == d;
        }
    } else if (n->isBig) {
        value = static_cast<T>(n->u);
        exact = false;
    } else {
        value = static_cast<T>(n->i);
        exact = static_cast<int64_t>(value) == n->i;
    }
    std::memcpy(out, &value, sizeof value);
    return exact;
}

}  // namespace

bool __CFNumber::equal(const Object *other) const
{
    return compareNumbers(this, static_cast<const __CFNumber *>(other)) == kCFCompareEqualTo;
}

extern "C" {

const CFNumberRef kCFNumberPositiveInfinity = &gPositiveInfinity;
const CFNumberRef kCFNumberNegativeInfinity = &gNegativeInfinity;
const CFNumberRef kCFNumberNaN = &gNaN;

CFTypeID CFNumberGetTypeID(void) { return kTypeNumber; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void *valuePtr)
{
    CFNumberType storage = storageType(theType);
    if (storage == 0 || valuePtr == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    auto *n = new __CFNumber();
    n->type = storage;
    switch (theType) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType: { int8_t v; std::memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberSInt16Type:
    case kCFNumberShortType: { int16_t v; std::memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberSInt32Type:
    case kCFNumberIntType: { int32_t v; std::memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: { float v; std::memcpy(&v, valuePtr, sizeof v); n->d = v; n->isFloat = true; break; }
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType: { double v; std::memcpy(&v, valuePtr, sizeof v); n->d = v; n->isFloat = true; break; }
    default: { int64_t v; std::memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    }
    return n;
}

CFNumberType CFNumberGetType(CFNumberRef number)
{
    const __CFNumber *n = num(number);
    return n == nullptr ? 0 : n->type;
}

CFIndex CFNumberGetByteSize(CFNumberRef number)
{
    switch (CFNumberGetType(number)) {
    case kCFNumberSInt8Type: return 1;
    case kCFNumberSInt16Type: return 2;
    case kCFNumberSInt32Type:
    case kCFNumberFloat32Type: return 4;
    case 0: return 0;
    default: return 8;
    }
}

Boolean CFNumberIsFloatType(CFNumberRef number)
{
    const __CFNumber *n = num(number);
    return n != nullptr && n->isFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void *valuePtr)
{
    const __CFNumber *n = num(number);
    if (n == nullptr || valuePtr == nullptr) {
        return false;
    }
    switch (theType) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType: return integerOut<int8_t>(n, valuePtr);
    case kCFNumberSInt16Type:
    case kCFNumberShortType: return integerOut<int16_t>(n, valuePtr);
    case kCFNumberSInt32Type:
    case kCFNumberIntType: return integerOut<int32_t>(n, valuePtr);
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType: return integerOut<int64_t>(n, valuePtr);
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: {
        float v = static_cast<float>(n->isFloat ? n->d : static_cast<double>(n->wide()));
        std::memcpy(valuePtr, &v, sizeof v);
        if (n->isFloat) {
            return std::isnan(n->d) || static_cast<double>(v) == n->d;
        }
        return static_cast<long double>(v) == n->wide();
    }
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType: {
        double v = n->isFloat ? n->d : static_cast<double>(n->wide());
        std::memcpy(valuePtr, &v, sizeof v);
        return n->isFloat || static_cast<long double>(v) == n->wide();
    }
    default: return false;
    }
}

// Used by the property-list reader for integers above the signed 64-bit range.
CFNumberRef _CFNumberCreateUnsigned64(uint64_t value)
{
    CF_CREATE_OR_RETURN(nullptr);
    auto *n = new __CFNumber();
    n->type = kCFNumberSInt64Type;
    if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        n->isBig = true;
        n->u = value;
    } else {
        n->i = static_cast<int64_t>(value);
    }
    return n;
}

// For the property-list writer: integer value as signed, or the unsigned value when isBig.
Boolean _CFNumberGetInteger(CFNumberRef number, int64_t *value, uint64_t *bigValue, Boolean *isBig)
{
    const __CFNumber *n = num(number);
    if (n == nullptr || n->isFloat) {
        return false;
    }
    *isBig = n->isBig;
    *value = n->i;
    *bigValue = n->u;
    return true;
}

}  // extern "C"
