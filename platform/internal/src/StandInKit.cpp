// The stand-in kit's out-of-line pieces: text conversion, armed failures, the reporter, sysfs.
#include "StandInKit.h"

#include <cctype>
#include <cstdio>
#include <fstream>

namespace standin {

bool IsValidUTF8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t extra;
        char32_t point;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            point = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            point = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            point = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            point = (point << 6) | (next & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (point < kSmallest[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

namespace {

// The UTF-8 bytes of a string; with lossByte 0 nothing when a character does not convert.
std::optional<std::string> EncodeUTF8(CFTypeRef value, UInt8 lossByte)
{
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) {
        return std::nullopt;
    }
    auto string = static_cast<CFStringRef>(value);
    CFIndex length = CFStringGetLength(string);
    // A string kept as 8-bit text holds ASCII only, which is its own UTF-8.
    if (const char *ascii = CFStringGetCStringPtr(string, kCFStringEncodingASCII)) {
        return std::string(ascii, static_cast<std::size_t>(length));
    }
    CFIndex size = 0;
    if (CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, lossByte, false, nullptr, 0, &size) !=
        length) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, lossByte, false,
                     reinterpret_cast<UInt8 *>(text.data()), size, &size);
    text.resize(static_cast<std::size_t>(size));
    return text;
}

}  // namespace

std::optional<std::string> UTF8Of(CFTypeRef value) { return EncodeUTF8(value, 0); }

std::string TextOf(CFTypeRef value) { return EncodeUTF8(value, '?').value_or(std::string()); }

std::string UTF8OrEmpty(CFTypeRef value) { return UTF8Of(value).value_or(std::string()); }

CFStringRef CreateStringFromBytes(std::string_view bytes)
{
    const auto *data = reinterpret_cast<const UInt8 *>(bytes.data());
    auto length = static_cast<CFIndex>(bytes.size());
    if (IsValidUTF8(bytes)) {
        if (CFStringRef string = CFStringCreateWithBytes(nullptr, data, length, kCFStringEncodingUTF8, false)) {
            return string;
        }
    }
    return CFStringCreateWithBytes(nullptr, data, length, kCFStringEncodingMacRoman, false);
}

std::string Printable(std::string_view text, bool quoting)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || (quoting && (c == '"' || c == '\\' || c >= 0x80))) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void FailureTable::Arm(const char *call, int32_t status, unsigned afterCalls)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (status == 0) {
        armed_.erase(call);
    } else {
        armed_[call] = Armed{status, afterCalls == kEveryCall ? 0 : afterCalls, afterCalls == kEveryCall};
    }
}

int32_t FailureTable::Take(const char *call)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = armed_.find(call);
    if (found == armed_.end()) {
        return 0;
    }
    Armed &armed = found->second;
    if (armed.callsBefore > 0) {
        --armed.callsBefore;
        return 0;
    }
    int32_t status = armed.status;
    if (!armed.everyCall) {
        armed_.erase(found);
    }
    return status;
}

void FailureTable::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    armed_.clear();
}

void Reporter::Report(std::string_view line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (reported_.insert(scope_ + '\n' + std::string(line)).second) {
        std::fprintf(stderr, "%s: %s\n", framework_.c_str(), Printable(line).c_str());
        std::fflush(stderr);
    }
}

void Reporter::SetScope(std::string scope)
{
    std::lock_guard<std::mutex> lock(mutex_);
    scope_ = std::move(scope);
}

void Reporter::Forget()
{
    std::lock_guard<std::mutex> lock(mutex_);
    reported_.clear();
}

std::optional<std::string> ReadSysfsAttribute(const std::filesystem::path &path)
{
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    std::string text;
    std::getline(in, text);
    if (in.bad()) {
        return std::nullopt;
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    return text;
}

}  // namespace standin
