/*
 * The network preferences model: one nested session on the system's network preferences store,
 * and the sets, services, entities, links and service orders kept in it. Every operation returns
 * a status (0 is success) and hands results back through out slots: an out slot is empty on
 * entry and holds a value, which the caller releases, exactly when the status is 0.
 */
#ifndef MORESCF_H
#define MORESCF_H

#include <CoreFoundation/CoreFoundation.h>
#include <SystemConfiguration/SystemConfiguration.h>

#include "MoreSCFAssert.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Session, statuses, client, system version ---- */

/* The system version packed as 0xMMmb (0x1049 is 10.4.9); every 10.10 or later system is
 * 0x1099. Asked of the platform once per process. */
UInt32 MoreSCGetSystemVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* MORESCF_H */
