/*
 * CFString: immutable and mutable Unicode strings with UTF-16 semantics for lengths and indexes.
 * Conversions to and from byte encodings go through ICU converters; comparison with
 * kCFCompareLocalized uses an ICU collator (root locale); normalization uses ICU.
 */
#ifndef CF_STRING_H
#define CF_STRING_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>

CF_EXTERN_C_BEGIN

typedef UInt32 CFStringEncoding;

enum {
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingWindowsLatin1 = 0x0500,
    kCFStringEncodingISOLatin1 = 0x0201,
    kCFStringEncodingNextStepLatin = 0x0B01,
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUnicode = 0x0100,
    kCFStringEncodingUTF8 = 0x08000100,
    kCFStringEncodingNonLossyASCII = 0x0BFF,
    kCFStringEncodingUTF16 = 0x0100,
    kCFStringEncodingUTF16BE = 0x10000100,
    kCFStringEncodingUTF16LE = 0x14000100,
    kCFStringEncodingUTF32 = 0x0c000100,
    kCFStringEncodingUTF32BE = 0x18000100,
    kCFStringEncodingUTF32LE = 0x1c000100
};
#define kCFStringEncodingInvalidId (0xffffffffU)

typedef CFOptionFlags CFStringCompareFlags;
enum {
    kCFCompareCaseInsensitive = 1,
    kCFCompareBackwards = 4,
    kCFCompareAnchored = 8,
    kCFCompareNonliteral = 16,
    kCFCompareLocalized = 32,
    kCFCompareNumerically = 64,
    kCFCompareDiacriticInsensitive = 128,
    kCFCompareWidthInsensitive = 256,
    kCFCompareForcedOrdering = 512
};

typedef CFIndex CFStringNormalizationForm;
enum {
    kCFStringNormalizationFormD = 0,
    kCFStringNormalizationFormKD = 1,
    kCFStringNormalizationFormC = 2,
    kCFStringNormalizationFormKC = 3
};

CF_EXPORT CFTypeID CFStringGetTypeID(void);

/* ---- Creation ---- */

CF_EXPORT CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char *cStr, CFStringEncoding encoding);
/* Bytes that are not valid in the encoding give NULL. With isExternalRepresentation, a UTF-16
 * or UTF-32 byte-order mark selects the byte order (host order without one). */
CF_EXPORT CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8 *bytes, CFIndex numBytes, CFStringEncoding encoding, Boolean isExternalRepresentation);
CF_EXPORT CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar *chars, CFIndex numChars);
CF_EXPORT CFStringRef CFStringCreateWithSubstring(CFAllocatorRef alloc, CFStringRef str, CFRange range);
/* An immutable string given to CFStringCreateCopy comes back itself, retained. */
CF_EXPORT CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString);
/* Formats: the C conversions (%d %i %u %x %X %o %c %s %f %e %g %p %% with flags, width,
 * precision, '*', and the length modifiers hh h l ll q z t j L), %@ (an object: a string is
 * inserted as is, a number as its value, any other object as its CFCopyDescription), %C (one
 * UniChar), %S (a zero-terminated UniChar array) and positional arguments ("%2$@").
 * %s takes UTF-8 text (bytes that are not UTF-8 are read as MacRoman). The format options
 * dictionary is ignored. */
CF_EXPORT CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...);
CF_EXPORT CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, va_list arguments);

CF_EXPORT CFMutableStringRef CFStringCreateMutable(CFAllocatorRef alloc, CFIndex maxLength);
CF_EXPORT CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef alloc, CFIndex maxLength, CFStringRef theString);

/* ---- Access ---- */

CF_EXPORT CFIndex CFStringGetLength(CFStringRef theString);
CF_EXPORT UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx);
CF_EXPORT void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar *buffer);
/* Copies the string and a terminating zero; false (buffer holding "") when it does not fit or
 * a character cannot be represented in the encoding. */
CF_EXPORT Boolean CFStringGetCString(CFStringRef theString, char *buffer, CFIndex bufferSize, CFStringEncoding encoding);
/* Non-NULL only for strings held as 8-bit ASCII text and an encoding that is a superset of
 * ASCII (ASCII, UTF-8, MacRoman, Latin-1, Windows Latin-1). */
CF_EXPORT const char *CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding);
/* Converts the characters of the range, stopping at the first character the encoding cannot
 * represent (unless lossByte is non-zero: it is written in its place) or when maxBufLen would be
 * exceeded; a character is converted whole or not at all. buffer NULL measures only.
 * Returns the number of characters converted; *usedBufLen receives the bytes used. */
CF_EXPORT CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8 lossByte, Boolean isExternalRepresentation, UInt8 *buffer, CFIndex maxBufLen, CFIndex *usedBufLen);
CF_EXPORT CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);

/* ---- Comparison and search ----
 * Flags 0: UTF-16 code-unit order. kCFCompareCaseInsensitive: case-folded code-unit order.
 * kCFCompareNumerically: runs of decimal digits compare by their value. kCFCompareLocalized:
 * ICU collation (root locale), case-sensitive unless kCFCompareCaseInsensitive is also given,
 * numeric with kCFCompareNumerically. */
CF_EXPORT CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2, CFStringCompareFlags compareOptions);
CF_EXPORT Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix);
CF_EXPORT CFArrayRef CFStringCreateArrayBySeparatingStrings(CFAllocatorRef alloc, CFStringRef theString, CFStringRef separatorString);

/* ---- Mutable strings ---- */

CF_EXPORT void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString);
CF_EXPORT void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar *chars, CFIndex numChars);
CF_EXPORT void CFStringLowercase(CFMutableStringRef theString, CFTypeRef locale);
CF_EXPORT void CFStringNormalize(CFMutableStringRef theString, CFStringNormalizationForm theForm);

CF_EXTERN_C_END

#endif /* CF_STRING_H */
