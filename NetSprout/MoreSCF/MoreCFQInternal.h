// Pieces shared by the MoreCFQ source files.
#ifndef MORECFQ_INTERNAL_H
#define MORECFQ_INTERNAL_H

#include "MoreCFQ.h"
#include "MoreSCFAssert.h"

#include <climits>
#include <cstddef>

// A required argument: asserted, and refused with paramErr when the contract check only logs.
#define CFQ_REQUIRE(condition)          \
    do {                                \
        MoreSCFAssert(condition);       \
        if (!(condition)) {             \
            return paramErr;            \
        }                               \
    } while (0)

// The same for functions without a status.
#define CFQ_REQUIRE_VOID(condition)     \
    do {                                \
        MoreSCFAssert(condition);       \
        if (!(condition)) {             \
            return;                     \
        }                               \
    } while (0)

// An out slot: supplied, and holding nothing on entry.
#define CFQ_REQUIRE_SLOT(slot)          \
    do {                                \
        CFQ_REQUIRE((slot) != nullptr); \
        MoreSCFAssert(*(slot) == nullptr); \
    } while (0)

namespace morecfq {

// A scratch block of count pointers from CFQAllocate (-108 when it cannot be had).
OSStatus AllocatePointers(CFIndex count, const void ***blockPtr);

// A block from the C library's allocator (give it back with free()); NULL when it cannot be had
// or when 0 bytes are asked for.
void *MallocBlock(size_t bytes);

}  // namespace morecfq

#endif  // MORECFQ_INTERNAL_H
