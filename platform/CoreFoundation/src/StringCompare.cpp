// CFString comparison: literal order of UTF-16 code units, case folding and numeric runs, ICU's
// collator for localized and diacritic-insensitive comparison, and the ICU normalizations that
// the nonliteral comparison and the mutations share.
#include "StringInternal.h"

#include <unicode/ucol.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <map>
#include <memory>

using namespace cf;

namespace cf {

std::u16string foldCase(std::u16string_view t)
{
    std::u16string out(t.size() * 3 + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = u_strFoldCase(reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar *>(t.data()), static_cast<int32_t>(t.size()),
                              U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status)) {
        return std::u16string(t);
    }
    out.resize(static_cast<size_t>(n));
    return out;
}

std::u16string normalizeText(std::u16string_view t, CFStringNormalizationForm form)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2 *norm = nullptr;
    switch (form) {
    case kCFStringNormalizationFormD: norm = unorm2_getNFDInstance(&status); break;
    case kCFStringNormalizationFormKD: norm = unorm2_getNFKDInstance(&status); break;
    case kCFStringNormalizationFormC: norm = unorm2_getNFCInstance(&status); break;
    case kCFStringNormalizationFormKC: norm = unorm2_getNFKCInstance(&status); break;
    default: return std::u16string(t);
    }
    if (U_FAILURE(status) || norm == nullptr) {
        return std::u16string(t);
    }
    std::u16string out(t.size() * 4 + 4, u'\0');
    status = U_ZERO_ERROR;
    int32_t n = unorm2_normalize(norm, reinterpret_cast<const UChar *>(t.data()), static_cast<int32_t>(t.size()),
                                 reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<size_t>(n), u'\0');
        status = U_ZERO_ERROR;
        n = unorm2_normalize(norm, reinterpret_cast<const UChar *>(t.data()), static_cast<int32_t>(t.size()),
                             reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()), &status);
    }
    if (U_FAILURE(status)) {
        return std::u16string(t);
    }
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace cf

namespace {

UCollator *collatorFor(CFStringCompareFlags flags)
{
    // One collator per thread and option set (collators are not shared between threads).
    thread_local std::map<CFStringCompareFlags, std::unique_ptr<UCollator, void (*)(UCollator *)>> cache;
    CFStringCompareFlags key =
        flags & (kCFCompareCaseInsensitive | kCFCompareNumerically | kCFCompareDiacriticInsensitive);
    auto found = cache.find(key);
    if (found != cache.end()) {
        return found->second.get();
    }
    UErrorCode status = U_ZERO_ERROR;
    UCollator *coll = ucol_open("", &status);
    if (U_FAILURE(status)) {
        return nullptr;
    }
    if (key & kCFCompareDiacriticInsensitive) {
        ucol_setStrength(coll, UCOL_PRIMARY);
        if (!(key & kCFCompareCaseInsensitive)) {
            ucol_setAttribute(coll, UCOL_CASE_LEVEL, UCOL_ON, &status);
        }
    } else if (key & kCFCompareCaseInsensitive) {
        ucol_setStrength(coll, UCOL_SECONDARY);
    } else {
        ucol_setStrength(coll, UCOL_TERTIARY);
    }
    status = U_ZERO_ERROR;
    ucol_setAttribute(coll, UCOL_NUMERIC_COLLATION, (key & kCFCompareNumerically) ? UCOL_ON : UCOL_OFF, &status);
    UCollator *result = coll;
    cache.emplace(key, std::unique_ptr<UCollator, void (*)(UCollator *)>(coll, ucol_close));
    return result;
}

CFComparisonResult literalCompare(std::u16string_view a, std::u16string_view b, bool numeric)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (numeric && isDigit(a[i]) && isDigit(b[j])) {
            size_t ie = i;
            size_t je = j;
            while (ie < a.size() && isDigit(a[ie])) {
                ++ie;
            }
            while (je < b.size() && isDigit(b[je])) {
                ++je;
            }
            size_t is = i;
            size_t js = j;
            while (is + 1 < ie && a[is] == u'0') {
                ++is;
            }
            while (js + 1 < je && b[js] == u'0') {
                ++js;
            }
            if (ie - is != je - js) {
                return ie - is < je - js ? kCFCompareLessThan : kCFCompareGreaterThan;
            }
            for (; is < ie; ++is, ++js) {
                if (a[is] != b[js]) {
                    return a[is] < b[js] ? kCFCompareLessThan : kCFCompareGreaterThan;
                }
            }
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j] ? kCFCompareLessThan : kCFCompareGreaterThan;
        }
        ++i;
        ++j;
    }
    if (i < a.size()) {
        return kCFCompareGreaterThan;
    }
    if (j < b.size()) {
        return kCFCompareLessThan;
    }
    return kCFCompareEqualTo;
}

// The order of two texts under the comparison flags.
CFComparisonResult compareText(std::u16string_view a, std::u16string_view b, CFStringCompareFlags flags)
{
    std::u16string na;
    std::u16string nb;
    if (flags & kCFCompareNonliteral) {
        na = normalizeText(a, kCFStringNormalizationFormD);
        nb = normalizeText(b, kCFStringNormalizationFormD);
        a = na;
        b = nb;
    }
    if (flags & (kCFCompareLocalized | kCFCompareDiacriticInsensitive)) {
        UCollator *coll = collatorFor(flags);
        if (coll != nullptr) {
            UCollationResult r = ucol_strcoll(coll, reinterpret_cast<const UChar *>(a.data()),
                                              static_cast<int32_t>(a.size()), reinterpret_cast<const UChar *>(b.data()),
                                              static_cast<int32_t>(b.size()));
            if (r != UCOL_EQUAL) {
                return r == UCOL_LESS ? kCFCompareLessThan : kCFCompareGreaterThan;
            }
            if (!(flags & kCFCompareForcedOrdering)) {
                return kCFCompareEqualTo;
            }
            return literalCompare(a, b, false);
        }
    }
    if (flags & kCFCompareCaseInsensitive) {
        std::u16string fa = foldCase(a);
        std::u16string fb = foldCase(b);
        CFComparisonResult r = literalCompare(fa, fb, (flags & kCFCompareNumerically) != 0);
        if (r != kCFCompareEqualTo || !(flags & kCFCompareForcedOrdering)) {
            return r;
        }
    }
    return literalCompare(a, b, (flags & kCFCompareNumerically) != 0);
}

}  // namespace

// ---- Public interface ----

extern "C" {

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags flags)
{
    const __CFString *pa = str(a);
    const __CFString *pb = str(b);
    if (pa == nullptr || pb == nullptr) {
        return pa == pb ? kCFCompareEqualTo : (pa == nullptr ? kCFCompareLessThan : kCFCompareGreaterThan);
    }
    if (flags == 0 && pa->eight && pb->eight) {
        // ASCII text both sides: byte order is code-unit order.
        std::string_view va(pa->bytes(), static_cast<size_t>(pa->length));
        std::string_view vb(pb->bytes(), static_cast<size_t>(pb->length));
        int r = va.compare(vb);
        return r < 0 ? kCFCompareLessThan : (r > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo);
    }
    return compareText(pa->text(), pb->text(), flags);
}

Boolean CFStringHasPrefix(CFStringRef s, CFStringRef prefix)
{
    const __CFString *p = str(s);
    const __CFString *f = str(prefix);
    if (p == nullptr || f == nullptr || f->length > p->length) {
        return false;
    }
    for (CFIndex i = 0; i < f->length; ++i) {
        if (p->at(i) != f->at(i)) {
            return false;
        }
    }
    return true;
}

}  // extern "C"
