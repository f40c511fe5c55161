// The run loop's mode names, constant strings usable from any static initialiser (the run loop
// itself is RunLoop.cpp).
#include "StringInternal.h"

CF_CONSTANT_STRING(kCFRunLoopDefaultMode, "kCFRunLoopDefaultMode")
CF_CONSTANT_STRING(kCFRunLoopCommonModes, "kCFRunLoopCommonModes")
