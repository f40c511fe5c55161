// The stand-in kit: what every framework stand-in shares, written once. A typed CoreFoundation
// reference holder, text between CFString and UTF-8, the creation scopes of CoreFoundation's
// failure seam, the table of armed call failures behind each PlatformTesting<Fw>FailCall, a
// deduplicating diagnostic reporter, and the reading of one sysfs attribute. Private to the
// stand-ins; program code never includes it.
#ifndef PLATFORM_STAND_IN_KIT_H
#define PLATFORM_STAND_IN_KIT_H

#include <CoreFoundation/CFStandIn.h>
#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace standin {

// ---- One CoreFoundation reference, owned ----

// Owns one reference and releases it when it goes. Adopt a Create/Copy result with the
// constructor; Retained() takes a reference of its own to a borrowed value.
template <class Ref>
class CFRef {
public:
    CFRef() = default;
    explicit CFRef(Ref ref) : ref_(ref) {}
    CFRef(const CFRef &) = delete;
    CFRef &operator=(const CFRef &) = delete;
    CFRef(CFRef &&other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
    CFRef &operator=(CFRef &&other) noexcept
    {
        if (this != &other) {
            reset(std::exchange(other.ref_, nullptr));
        }
        return *this;
    }
    ~CFRef() { reset(); }

    static CFRef Retained(Ref ref)
    {
        if (ref != nullptr) {
            CFRetain(ref);
        }
        return CFRef(ref);
    }
    void reset(Ref ref = nullptr)
    {
        if (ref_ != nullptr) {
            CFRelease(ref_);
        }
        ref_ = ref;
    }
    // Gives the reference up to the caller, who then owns it.
    Ref release() { return std::exchange(ref_, nullptr); }
    Ref get() const { return ref_; }
    Ref *slot() { return &ref_; }  // an out slot: must be empty
    operator Ref() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

private:
    Ref ref_ = nullptr;
};

// ---- Text ----

bool IsValidUTF8(std::string_view bytes);
// The UTF-8 text of a CFString; nothing for NULL, a value that is not a string, or a string
// that does not convert.
std::optional<std::string> UTF8Of(CFTypeRef value);
// UTF8Of, or "" when there is none.
std::string UTF8OrEmpty(CFTypeRef value);
// Text for names and messages: the UTF-8 of a CFString with '?' for each character UTF-8 cannot
// hold (a lone surrogate); "" for NULL or a value that is not a string.
std::string TextOf(CFTypeRef value);
// A new string from outside bytes: UTF-8 when they are UTF-8, else Mac Roman (which takes every
// byte), so that no name is lost. NULL only when the creation itself fails.
CFStringRef CreateStringFromBytes(std::string_view bytes);
// Text fit for one diagnostic line: control bytes as \xNN; with quoting also '"', '\\' and every
// byte above ASCII, so that the text can stand between double quotes.
std::string Printable(std::string_view text, bool quoting = false);

// ---- CoreFoundation's creation-failure seam ----

// One creation of a public Create or Copy function: Granted() is false when the seam fails it
// (the function then returns NULL at once, allocating nothing).
class CreationScope {
public:
    CreationScope() : granted_(_CFStandInCreationBegin()) {}
    ~CreationScope()
    {
        if (granted_) {
            _CFStandInCreationEnd();
        }
    }
    CreationScope(const CreationScope &) = delete;
    CreationScope &operator=(const CreationScope &) = delete;
    bool Granted() const { return granted_; }

private:
    bool granted_;
};

// A creation the stand-in makes for itself (a disk it reports, a view it builds), not for a
// caller: a single failure armed through the seam is spent on the first attempt and the second
// one proceeds; only failures armed to last make it fail.
class BackgroundCreationScope {
public:
    BackgroundCreationScope() : granted_(_CFStandInCreationBegin() || _CFStandInCreationBegin()) {}
    ~BackgroundCreationScope()
    {
        if (granted_) {
            _CFStandInCreationEnd();
        }
    }
    BackgroundCreationScope(const BackgroundCreationScope &) = delete;
    BackgroundCreationScope &operator=(const BackgroundCreationScope &) = delete;
    bool Granted() const { return granted_; }

private:
    bool granted_;
};

// ---- Armed call failures ----

// afterCalls value of PlatformTesting<Fw>FailCall meaning: every call from now on, until the
// call is disarmed (status 0) or the framework's seams are reset.
inline constexpr unsigned kEveryCall = 0xFFFFFFFFu;

// The calls of one framework that tests have armed to fail. Arm(call, status, afterCalls): the
// call succeeds afterCalls more times, then fails once with status (kEveryCall: fails every
// time from now on); status 0 disarms the call. Take(call) is asked by the call itself on entry:
// the status to fail with now, or 0. Thread-safe.
class FailureTable {
public:
    void Arm(const char *call, int32_t status, unsigned afterCalls);
    int32_t Take(const char *call);
    void Clear();

private:
    struct Armed {
        int32_t status;
        unsigned callsBefore;
        bool everyCall;
    };
    std::mutex mutex_;
    std::map<std::string, Armed> armed_;
};

// ---- Diagnostics ----

// Writes "<framework>: <line>" to standard error once per distinct line (and scope): a store or
// snapshot read again and again complains once. Control bytes in the line are written as \xNN.
class Reporter {
public:
    explicit Reporter(std::string framework) : framework_(std::move(framework)) {}
    void Report(std::string_view line);
    // Lines are told apart per scope (the file a snapshot came from, say).
    void SetScope(std::string scope);
    // Forgets what was reported: the same lines are written again.
    void Forget();

private:
    std::string framework_;
    std::mutex mutex_;
    std::string scope_;
    std::set<std::string> reported_;
};

// ---- Files ----

// The first line of a sysfs attribute without its trailing white space; nothing when the file
// cannot be opened or read.
std::optional<std::string> ReadSysfsAttribute(const std::filesystem::path &path);

}  // namespace standin

#endif
