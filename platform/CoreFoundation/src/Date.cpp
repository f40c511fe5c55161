// CFDate and the current absolute time (seconds since 1 January 2001, GMT).
#include "Internal.h"

#include <cmath>
#include <ctime>
#include <sys/time.h>

using namespace cf;

struct __CFDate final : Object {
    CFAbsoluteTime at;
    explicit __CFDate(CFAbsoluteTime t) : Object(kTypeDate), at(t) {}
    const char *className() const override { return "CFDate"; }
    bool equal(const Object *other) const override { return at == static_cast<const __CFDate *>(other)->at; }
    CFHashCode hash() const override { return static_cast<CFHashCode>(static_cast<int64_t>(at)); }
    std::u16string describe() const override
    {
        double seconds = std::floor(at + static_cast<double>(kCFAbsoluteTimeIntervalSince1970));
        time_t t = static_cast<time_t>(seconds);
        struct tm parts {};
        gmtime_r(&t, &parts);
        char buffer[64];
        std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &parts);
        return u16(buffer);
    }
};

extern "C" {

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void)
{
    struct timeval now {};
    gettimeofday(&now, nullptr);
    return static_cast<double>(now.tv_sec) - static_cast<double>(kCFAbsoluteTimeIntervalSince1970) +
           static_cast<double>(now.tv_usec) * 1e-6;
}

CFTypeID CFDateGetTypeID(void) { return kTypeDate; }

CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime at)
{
    CF_CREATE_OR_RETURN(nullptr);
    return new __CFDate(at);
}

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef date)
{
    const __CFDate *d = as<__CFDate>(date, kTypeDate);
    return d == nullptr ? 0 : d->at;
}

}  // extern "C"
