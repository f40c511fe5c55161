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

/* Opens one level of the process-wide session. The outermost open creates the platform's
 * preferences object (named by the client name, "MoreSCF" by default, on the system's store);
 * lockThePrefs takes the platform's preferences lock if the session does not hold it yet, and
 * waitForLock (only with lockThePrefs) waits for it. Every call, successful or not, adds one level
 * and must be matched by exactly one MoreSCClose; when it fails, skip the work and close. */
OSStatus MoreSCOpen(Boolean lockThePrefs, Boolean waitForLock);

/* Closes one level. *err is the caller's status (never NULL); commit is true when the caller
 * wrote. A level that closes with commit and status 0 marks the session dirty; the outermost
 * close then commits and applies (logging "scf commit changes err:%d" when the commit fails and
 * "scf apply changes err:%d" with the result when *err was 0), unlocks and releases the object.
 * A failure there becomes *err only when *err was 0: a caller's failure is never replaced. */
void MoreSCClose(OSStatus *err, Boolean commit);

/* The session's platform object, borrowed; a session must be open with its object. */
SCPreferencesRef MoreSCGetSCPreferencesRef(void);

/* The name the next outermost open gives the platform object (NULL: the default "MoreSCF").
 * Keeps a reference to name and releases the previous one. Always 0. */
OSStatus MoreSCSetClient(CFStringRef name);
/* The client name, borrowed, or NULL. */
CFStringRef MoreSCGetClient(void);

/* The system version packed as 0xMMmb (0x1049 is 10.4.9); every 10.10 or later system is
 * 0x1099. Asked of the platform once per process. */
UInt32 MoreSCGetSystemVersion(void);

/* 0 when value is present (ok is true); otherwise the platform's last status, or 1001 when the
 * platform has none. */
OSStatus MoreSCError(const void *value);
OSStatus MoreSCErrorBoolean(Boolean ok);
/* A platform status as a status of the model (the same number). */
OSStatus MoreSCToOSStatus(int scStatus);

/* ---- Entities ----
 *
 * setID NULL means the current set; serviceID NULL means the set's global entities. A service
 * ID is resolved through the set's link, so the service dictionary under "NetworkServices" is
 * what is read and written. Readers close their level without commit, writers with commit.
 * A stored value of the wrong shape (a service or entity that is not a dictionary, a current
 * set or link that is not a path "/<key>/<ID>") gives -4960 and nothing is written. */

/* The whole dictionary of the service (its name, inactive mark and entities). */
OSStatus MoreSCCopyEntitiesDict(CFStringRef setID, CFStringRef serviceID, CFDictionaryRef *entitiesDict);
OSStatus MoreSCCopyEntitiesDictMutable(CFStringRef setID, CFStringRef serviceID,
                                       CFMutableDictionaryRef *entitiesDict);
/* Replaces the whole dictionary of the service. */
OSStatus MoreSCSetEntitiesDict(CFStringRef setID, CFStringRef serviceID, CFDictionaryRef entitiesDict);

/* The entity stored under protocol (kSCEntNetIPv4 and the like). */
OSStatus MoreSCCopyEntity(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, CFDictionaryRef *entity);
OSStatus MoreSCCopyEntityMutable(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol,
                                 CFMutableDictionaryRef *entity);
/* Creates or replaces the entity. */
OSStatus MoreSCSetEntity(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, CFDictionaryRef entity);
/* Adds an entity that must not exist yet: -50 and nothing written when it does. */
OSStatus MoreSCNewEntity(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, CFDictionaryRef entity);
/* Removes an existing entity: -50 and nothing written when there is none. */
OSStatus MoreSCDeleteEntity(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol);

/* An entity is inactive exactly when it holds "__INACTIVE__". */
OSStatus MoreSCIsEntityActive(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, Boolean *active);
/* Marks the entity active or inactive; writes (and commits) only when its state changes. */
OSStatus MoreSCSetEntityActive(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, Boolean active);

/* Every entity of the service (entries whose value is a dictionary) as two parallel arrays, in
 * the dictionary's order. Either output may be NULL (not wanted), not both. */
OSStatus MoreSCCopyEntities(CFStringRef setID, CFStringRef serviceID, CFArrayRef *entityProtocols,
                            CFArrayRef *entityValues);
/* Replaces every entity of the service with the given ones (arrays of equal length); the other
 * entries (name, inactive mark) stay. Protocols that repeat, or that equal one of the other
 * entries' keys, give -50 and nothing is written. */
OSStatus MoreSCSetEntities(CFStringRef setID, CFStringRef serviceID, CFArrayRef entityProtocols,
                           CFArrayRef entityValues);

/* ---- Set catalogue ---- */

/* The dictionary of sets ("Sets"); -4960 when the stored value is not a dictionary. */
OSStatus MoreSCCopySetsDict(CFDictionaryRef *setsDict);
/* Replaces the dictionary of sets. */
OSStatus MoreSCSetSetsDict(CFDictionaryRef setsDict);
/* The set IDs, in the order of the sets dictionary; when indexOfCurrentSet is given, the
 * position of the current set's ID among them (the last equal one), left untouched when the
 * current set is not among them. */
OSStatus MoreSCCopySetIDs(CFArrayRef *setIDs, CFIndex *indexOfCurrentSet);
/* The ID of the current set, taken from the stored "CurrentSet" path. */
OSStatus MoreSCCopyCurrentSet(CFStringRef *setID);
/* Makes setID current (its existence is not tested). */
OSStatus MoreSCSetCurrentSet(CFStringRef setID);
/* The user-visible name of the set; -4960 when it has none or it is not a string. */
OSStatus MoreSCCopyUserVisibleNameOfSet(CFStringRef setID, CFStringRef *setName);

/* ---- Sets ----
 *
 * A creation or duplication that fails part-way takes the new set and the services made for it
 * out again, so the store is as it was, and returns the first failing status. */

/* Sets the set's user-visible name. */
OSStatus MoreSCRenameSet(CFStringRef setID, CFStringRef newName);
/* Removes a set that is not the current one (the current set: -50, nothing removed), with the
 * services no remaining set refers to. */
OSStatus MoreSCDeleteSet(CFStringRef setID);
/* A new set named name, with its global IPv4 entity and a service for every port of the port
 * scanner, in the scanner's order (FireWire ports only from 10.4; a port without a hardware
 * address that is not a modem is logged and left out). *newSetID (optional) receives its ID. */
OSStatus MoreSCNewSet(CFStringRef name, CFStringRef *newSetID);
/* A copy of the set with a deep copy of each service its order refers to, in that order,
 * renamed when newName is given. *newSetID (optional) receives its ID. */
OSStatus MoreSCDuplicateSet(CFStringRef setID, CFStringRef newName, CFStringRef *newSetID);

/* ---- Services ----
 *
 * setID NULL means the current set. A service is a dictionary under "NetworkServices" holding
 * its name and one entity per protocol, linked from a set's services dictionary and listed in
 * the set's service order (the "ServiceOrder" of the set's global IPv4 entity). */

/* Creates a complete service for a port dictionary of the port scanner (its name, interface,
 * proxies, DNS, IPv4, IPv6 and PPP entities and its hardware entity), links it into the set and
 * appends it to the set's service order. When it fails, what it had added is taken out again,
 * so the store is as it was. A port of the wrong shape gives -50. *newServiceID (optional)
 * receives the new ID. */
OSStatus MoreSCNewService(CFStringRef setID, CFDictionaryRef portDict, CFStringRef *newServiceID);
/* Sets the service's user-visible name. */
OSStatus MoreSCRenameService(CFStringRef setID, CFStringRef serviceID, CFStringRef newName);
/* The set's services dictionary and/or its service order (at least one wanted). */
OSStatus MoreSCCopyServicesDict(CFStringRef setID, CFDictionaryRef *servicesDict, CFArrayRef *serviceOrder);
/* The same as mutable copies; always reads both. */
OSStatus MoreSCCopyServicesDictMutable(CFStringRef setID, CFMutableDictionaryRef *servicesDict,
                                       CFMutableArrayRef *serviceOrder);
/* Stores the services dictionary and/or the service order (the set's IPv4 entity must exist). */
OSStatus MoreSCSetServicesDict(CFStringRef setID, CFDictionaryRef servicesDict, CFArrayRef serviceOrder);
/* The IDs of the service order as listed and/or as their links resolve (an entry without a
 * link is left out of the resolved list only). */
OSStatus MoreSCCopyServiceIDs(CFStringRef setID, CFArrayRef *localIDs, CFArrayRef *resolvedIDs);
OSStatus MoreSCCopyUserVisibleNameOfService(CFStringRef setID, CFStringRef serviceID, CFStringRef *userVisibleName);
/* The device name of the service's interface entity. */
OSStatus MoreSCCopyBSDNameOfService(CFStringRef setID, CFStringRef serviceID, CFStringRef *bsdName);
OSStatus MoreSCIsServiceActive(CFStringRef setID, CFStringRef serviceID, Boolean *active);
/* Writes (and commits) only when the state changes. */
OSStatus MoreSCSetServiceActive(CFStringRef setID, CFStringRef serviceID, Boolean active);
/* Takes the service out of the set and sweeps away the services no set refers to. */
OSStatus MoreSCDeleteService(CFStringRef setID, CFStringRef serviceID);
/* A deep copy of the service, added to the set and optionally renamed. */
OSStatus MoreSCDuplicateService(CFStringRef setID, CFStringRef serviceID, CFStringRef newName,
                                CFStringRef *newServiceID);

#ifdef __cplusplus
}
#endif

#endif /* MORESCF_H */
