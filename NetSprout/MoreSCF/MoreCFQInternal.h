// Pieces shared by the MoreCFQ source files.
#ifndef MORECFQ_INTERNAL_H
#define MORECFQ_INTERNAL_H

#include "MoreCFQ.h"
#include "MoreSCFAssert.h"

#include <climits>
#include <cstddef>

namespace morecfq {

// A scratch block of count pointers from CFQAllocate (-108 when it cannot be had).
OSStatus AllocatePointers(CFIndex count, const void ***blockPtr);

// A block from the C library's allocator (give it back with free()); NULL when it cannot be had
// or when 0 bytes are asked for.
void *MallocBlock(size_t bytes);

}  // namespace morecfq

#endif  // MORECFQ_INTERNAL_H
