// CFBoolean: the two constant booleans.
#include "Internal.h"

using namespace cf;

struct __CFBoolean final : Object {
    bool value;
    constexpr explicit __CFBoolean(bool v) : Object(kTypeBoolean, Immortal{}), value(v) {}
    const char *className() const override { return "CFBoolean"; }
    CFHashCode hash() const override { return value ? 1 : 0; }
    std::u16string describe() const override { return u16(value ? "true" : "false"); }
};

namespace {
constinit __CFBoolean gTrue(true);
constinit __CFBoolean gFalse(false);
}  // namespace

extern "C" {

const CFBooleanRef kCFBooleanTrue = &gTrue;
const CFBooleanRef kCFBooleanFalse = &gFalse;

CFTypeID CFBooleanGetTypeID(void) { return kTypeBoolean; }

Boolean CFBooleanGetValue(CFBooleanRef b)
{
    const __CFBoolean *p = as<__CFBoolean>(b, kTypeBoolean);
    return p != nullptr && p->value;
}

}  // extern "C"
