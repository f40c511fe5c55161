// CFString: the string object, creation, access to its characters, splitting and joining, and
// mutation. Encodings, comparison and formatting have their own files.
#include "StringInternal.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <cerrno>
#include <climits>
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

CFStringRef CFStringCreateWithCharactersNoCopy(CFAllocatorRef alloc, const UniChar *chars, CFIndex numChars,
                                               CFAllocatorRef contentsDeallocator)
{
    CFStringRef s = CFStringCreateWithCharacters(alloc, chars, numChars);
    if (s != nullptr && contentsDeallocator != kCFAllocatorNull) {
        CFAllocatorDeallocate(contentsDeallocator, const_cast<UniChar *>(chars));
    }
    return s;
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

const UniChar *CFStringGetCharactersPtr(CFStringRef s)
{
    const __CFString *p = str(s);
    return (p != nullptr && !p->eight) ? reinterpret_cast<const UniChar *>(p->units()) : nullptr;
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

CFStringRef CFStringCreateByCombiningStrings(CFAllocatorRef, CFArrayRef array, CFStringRef separator)
{
    if (array == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::u16string out;
    std::u16string sep = stringText(separator);
    CFIndex count = CFArrayGetCount(array);
    for (CFIndex i = 0; i < count; ++i) {
        if (i > 0) {
            out += sep;
        }
        out += stringText(static_cast<CFStringRef>(CFArrayGetValueAtIndex(array, i)));
    }
    return makeString(out);
}

SInt32 CFStringGetIntValue(CFStringRef s)
{
    std::string text = stringUTF8(s);
    errno = 0;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<SInt32>(value);
}

double CFStringGetDoubleValue(CFStringRef s)
{
    std::string text = stringUTF8(s);
    return std::strtod(text.c_str(), nullptr);
}

// ---- Mutation ----

void CFStringReplace(CFMutableStringRef s, CFRange range, CFStringRef replacement)
{
    __CFString *p = mutableStr(s, "CFStringReplace");
    if (p == nullptr) {
        return;
    }
    if (!validRange(p, range)) {
        reportRange("CFStringReplace");
        return;
    }
    std::u16string text = p->text();
    text.replace(static_cast<size_t>(range.location), static_cast<size_t>(range.length), stringText(replacement));
    p->assign(text);
}

void CFStringAppend(CFMutableStringRef s, CFStringRef appended)
{
    CFStringReplace(s, CFRangeMake(CFStringGetLength(s), 0), appended);
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

void CFStringAppendCString(CFMutableStringRef s, const char *cStr, CFStringEncoding encoding)
{
    __CFString *p = mutableStr(s, "CFStringAppendCString");
    if (p == nullptr || cStr == nullptr) {
        return;
    }
    std::u16string extra;
    if (!decodeBytes(reinterpret_cast<const UInt8 *>(cStr), static_cast<CFIndex>(std::strlen(cStr)), encoding, false,
                     extra)) {
        reportIgnored("CFStringAppendCString", "with text not in the encoding");
        return;
    }
    p->assign(p->text() + extra);
}

void CFStringAppendPascalString(CFMutableStringRef s, ConstStringPtr pStr, CFStringEncoding encoding)
{
    __CFString *p = mutableStr(s, "CFStringAppendPascalString");
    if (p == nullptr || pStr == nullptr) {
        return;
    }
    std::u16string extra;
    if (decodeBytes(pStr + 1, pStr[0], encoding, false, extra)) {
        p->assign(p->text() + extra);
    }
}

void CFStringInsert(CFMutableStringRef s, CFIndex idx, CFStringRef inserted)
{
    CFStringReplace(s, CFRangeMake(idx, 0), inserted);
}

void CFStringDelete(CFMutableStringRef s, CFRange range)
{
    CFStringReplace(s, range, CFSTR(""));
}

void CFStringReplaceAll(CFMutableStringRef s, CFStringRef replacement)
{
    CFStringReplace(s, CFRangeMake(0, CFStringGetLength(s)), replacement);
}

CFIndex CFStringFindAndReplace(CFMutableStringRef s, CFStringRef find, CFStringRef replacement, CFRange range,
                               CFStringCompareFlags options)
{
    __CFString *p = mutableStr(s, "CFStringFindAndReplace");
    if (p == nullptr || !validRange(p, range) || str(find) == nullptr) {
        return 0;
    }
    std::vector<CFRange> hits;
    CFRange remaining = range;
    CFRange hit;
    CFStringCompareFlags forward = options & ~static_cast<CFStringCompareFlags>(kCFCompareBackwards);
    while (remaining.length > 0 && CFStringFindWithOptions(s, find, remaining, forward, &hit)) {
        hits.push_back(hit);
        CFIndex next = hit.location + hit.length;
        remaining = CFRangeMake(next, range.location + range.length - next);
        if (forward & kCFCompareAnchored) {
            break;
        }
    }
    std::u16string text = p->text();
    std::u16string with = stringText(replacement);
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
        text.replace(static_cast<size_t>(it->location), static_cast<size_t>(it->length), with);
    }
    p->assign(text);
    return static_cast<CFIndex>(hits.size());
}

void CFStringTrim(CFMutableStringRef s, CFStringRef trimString)
{
    __CFString *p = mutableStr(s, "CFStringTrim");
    std::u16string cut = stringText(trimString);
    if (p == nullptr || cut.empty()) {
        return;
    }
    std::u16string text = p->text();
    size_t start = 0;
    while (text.compare(start, cut.size(), cut) == 0 && start + cut.size() <= text.size()) {
        start += cut.size();
    }
    size_t end = text.size();
    while (end >= start + cut.size() && text.compare(end - cut.size(), cut.size(), cut) == 0) {
        end -= cut.size();
    }
    p->assign(std::u16string_view(text).substr(start, end - start));
}

void CFStringTrimWhitespace(CFMutableStringRef s)
{
    __CFString *p = mutableStr(s, "CFStringTrimWhitespace");
    if (p == nullptr) {
        return;
    }
    std::u16string text = p->text();
    size_t start = 0;
    while (start < text.size() && u_isWhitespace(text[start])) {
        ++start;
    }
    size_t end = text.size();
    while (end > start && u_isWhitespace(text[end - 1])) {
        --end;
    }
    p->assign(std::u16string_view(text).substr(start, end - start));
}

void CFStringLowercase(CFMutableStringRef s, CFTypeRef) { changeCase(s, "CFStringLowercase", u_strToLower); }

void CFStringUppercase(CFMutableStringRef s, CFTypeRef) { changeCase(s, "CFStringUppercase", u_strToUpper); }

void CFStringNormalize(CFMutableStringRef s, CFStringNormalizationForm form)
{
    __CFString *p = mutableStr(s, "CFStringNormalize");
    if (p == nullptr || p->eight) {
        return;  // ASCII text is in every normalization form already
    }
    p->assign(normalizeText(p->text(), form));
}

void CFStringFold(CFMutableStringRef s, CFOptionFlags flags, CFTypeRef)
{
    __CFString *p = mutableStr(s, "CFStringFold");
    if (p == nullptr) {
        return;
    }
    std::u16string text = p->text();
    if (flags & kCFCompareWidthInsensitive) {
        text = normalizeText(text, kCFStringNormalizationFormKC);
    }
    if (flags & kCFCompareDiacriticInsensitive) {
        std::u16string decomposed = normalizeText(text, kCFStringNormalizationFormD);
        text.clear();
        for (char16_t c : decomposed) {
            if (u_charType(c) != U_NON_SPACING_MARK) {
                text.push_back(c);
            }
        }
        text = normalizeText(text, kCFStringNormalizationFormC);
    }
    if (flags & kCFCompareCaseInsensitive) {
        text = foldCase(text);
    }
    p->assign(text);
}

void CFShowStr(CFStringRef s)
{
    std::string text = stringUTF8(s);
    std::fprintf(stderr, "%s\n", text.c_str());
}

}  // extern "C"
