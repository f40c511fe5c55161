// Broken contracts stop a test program whatever the build type, so a test that breaks one by
// mistake fails loudly instead of logging and carrying on.
#include "MoreSCFAssert.h"

namespace {
const bool kAssertionsFatal = (MoreSCFAssertSetFatal(1), true);
}  // namespace
