// CFString: the string object, creation, access to its characters, splitting, and mutation. Encodings, comparison and formatting have their own files.
#include "StringInternal.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <mutex>
#include <unordered_map>

using namespace cf;

namespace cf {

CFStringRef makeString(std::u16string_view text, bool mutableString)
{
    auto *s = new __CFString();
    s->assign(text);
    s->isMutable = mutableString;
    return s;
}

CFStringRef makeStringUTF8(std::string_view text)
{
    std::u16string wide;
    if (!fromUTF8Strict(text, wide)) {
        return nullptr;
    }
    return makeString(wide);
}

std::u16string stringText(CFStringRef s)
{
    const __CFString *p = str(s);
    return p == nullptr ? std::u16string() : p->text();
}

std::string stringUTF8(CFStringRef s)
{
    const __CFString *p = str(s);
    if (p == nullptr) {
        return std::string();
    }
    if (p->eight) {
        return std::string(p->bytes(), static_cast<size_t>(p->length));
    }
    return toUTF8(p->text());
}

}  // namespace cf

namespace {

// Lower- or upper-cases a mutable string in place with ICU's mapping (no locale); the string is
// left as it was when ICU fails.
using CaseMapping = int32_t (*)(UChar *, int32_t, const UChar *, int32_t, const char *, UErrorCode *);
void changeCase(CFMutableStringRef s, const char *function, CaseMapping mapping)
{
    __CFString *p = mutableStr(s, function);
    if (p == nullptr) {
        return;
    }
    std::u16string text = p->text();
    std::u16string out(text.size() * 3 + 1, u'\0');  // a unit maps to at most three
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = mapping(reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()),
                        reinterpret_cast<const UChar *>(text.data()), static_cast<int32_t>(text.size()), "", &status);
    if (U_SUCCESS(status)) {
        out.resize(static_cast<size_t>(n));
        p->assign(out);
    }
}

// ---- Constant strings ----

std::mutex gConstantLock;
std::unordered_map<std::string, __CFString *> &constantStrings()
{
    static auto *table = new std::unordered_map<std::string, __CFString *>();
    return *table;
}

}  // namespace

// ---- Public interface ----

extern "C" {

CFTypeID CFStringGetTypeID(void) { return kTypeString; }

CFStringRef __CFStringMakeConstantString(const char *cStr)
{
    if (cStr == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(gConstantLock);
    auto &table = constantStrings();
    auto found = table.find(cStr);
    if (found != table.end()) {
        return found->second;
    }
    auto *s = new __CFString(Object::Immortal{});
    std::u16string wide;
    if (!fromUTF8Strict(cStr, wide)) {
        wide = fromUTF8(cStr);
    }
    s->assign(wide);
    table.emplace(cStr, s);
    return s;
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar *chars, CFIndex numChars)
{
    if (numChars < 0 || (chars == nullptr && numChars > 0)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeString(std::u16string_view(reinterpret_cast<const char16_t *>(chars), static_cast<size_t>(numChars)));
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef, CFStringRef s, CFRange range)
{
    const __CFString *p = str(s);
    if (!validRange(p, range)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeString(p->text(range));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef s)
{
    const __CFString *p = str(s);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    if (!p->isMutable) {
        return static_cast<CFStringRef>(CFRetain(s));
    }
    return makeString(p->text());
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex)
{
    CF_CREATE_OR_RETURN(nullptr);
    return const_cast<CFMutableStringRef>(makeString(std::u16string_view(), true));
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex, CFStringRef s)
{
    const __CFString *p = str(s);
    if (p == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return const_cast<CFMutableStringRef>(makeString(p->text(), true));
}

CFIndex CFStringGetLength(CFStringRef s)
{
    const __CFString *p = str(s);
    return p == nullptr ? 0 : p->length;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef s, CFIndex idx)
{
    const __CFString *p = str(s);
    if (p == nullptr || idx < 0 || idx >= p->length) {
        report("CFStringGetCharacterAtIndex index " + std::to_string(idx) + " outside the string");
        return 0;
    }
    return p->at(idx);
}

void CFStringGetCharacters(CFStringRef s, CFRange range, UniChar *buffer)
{
    const __CFString *p = str(s);
    if (!validRange(p, range) || buffer == nullptr) {
        reportRange("CFStringGetCharacters");
        return;
    }
    for (CFIndex i = 0; i < range.length; ++i) {
        buffer[i] = p->at(range.location + i);
    }
}

CFArrayRef CFStringCreateArrayBySeparatingStrings(CFAllocatorRef alloc, CFStringRef s, CFStringRef separator)
{
    const __CFString *p = str(s);
    const __CFString *sep = str(separator);
    if (p == nullptr || sep == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::u16string text = p->text();
    std::u16string cut = sep->text();
    std::vector<const void *> parts;
    if (cut.empty()) {
        parts.push_back(makeString(text));
    } else {
        size_t start = 0;
        while (true) {
            size_t hit = text.find(cut, start);
            if (hit == std::u16string::npos) {
                parts.push_back(makeString(std::u16string_view(text).substr(start)));
                break;
            }
            parts.push_back(makeString(std::u16string_view(text).substr(start, hit - start)));
            start = hit + cut.size();
        }
    }
    CFArrayRef array = CFArrayCreate(alloc, parts.data(), static_cast<CFIndex>(parts.size()), &kCFTypeArrayCallBacks);
    for (const void *v : parts) {
        CFRelease(v);
    }
    return array;
}

// ---- Mutation ----

void CFStringAppend(CFMutableStringRef s, CFStringRef appended)
{
    __CFString *p = mutableStr(s, "CFStringAppend");
    if (p != nullptr) {
        p->assign(p->text() + stringText(appended));
    }
}

void CFStringAppendCharacters(CFMutableStringRef s, const UniChar *chars, CFIndex numChars)
{
    __CFString *p = mutableStr(s, "CFStringAppendCharacters");
    if (p == nullptr || chars == nullptr || numChars <= 0) {
        return;
    }
    std::u16string text = p->text();
    text.append(reinterpret_cast<const char16_t *>(chars), static_cast<size_t>(numChars));
    p->assign(text);
}

void CFStringLowercase(CFMutableStringRef s, CFTypeRef) { changeCase(s, "CFStringLowercase", u_strToLower); }

void CFStringNormalize(CFMutableStringRef s, CFStringNormalizationForm form)
{
    __CFString *p = mutableStr(s, "CFStringNormalize");
    if (p == nullptr || p->eight) {
        return;  // ASCII text is in every normalization form already
    }
    p->assign(normalizeText(p->text(), form));
}

}  // extern "C"
