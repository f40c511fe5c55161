/*
 * CoreServices: the part of the platform's CoreServices umbrella that the programs use.
 * File Manager references and catalogue iteration, the Folder Manager's domain look-up, the
 * Gestalt version selectors, and the classic error codes. Built on CoreFoundation.
 */
#ifndef CORESERVICES_CORESERVICES_H
#define CORESERVICES_CORESERVICES_H

#include <CoreFoundation/CoreFoundation.h>

#include <CoreServices/MacErrors.h>
#include <CoreServices/Files.h>
#include <CoreServices/Folders.h>
#include <CoreServices/Gestalt.h>

#endif /* CORESERVICES_CORESERVICES_H */
