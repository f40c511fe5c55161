// What the model's source files share and nothing else sees: the session's helpers and the
// process-wide state behind them.
#ifndef MORESCF_INTERNAL_H
#define MORESCF_INTERNAL_H

#include "MoreSCF.h"

// Forgets the cached system version, so that the next MoreSCGetSystemVersion asks the platform
// again. For tests, which change the version the platform reports; the programs never call it.
void MoreSCFForgetSystemVersion(void);

#endif  // MORESCF_INTERNAL_H
