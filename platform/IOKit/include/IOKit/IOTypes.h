/*
 * IOKit base types: registry object handles, names and option bits.
 */
#ifndef IOKIT_IOTYPES_H
#define IOKIT_IOTYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int natural_t;
typedef natural_t mach_port_t;
typedef int kern_return_t;
typedef unsigned int boolean_t;

#ifndef KERN_SUCCESS
#define KERN_SUCCESS 0
#endif
#ifndef MACH_PORT_NULL
#define MACH_PORT_NULL ((mach_port_t)0)
#endif

typedef kern_return_t IOReturn;
typedef uint32_t IOOptionBits;

/* Every registry object, iterator included, is a handle; 0 is no object. */
typedef mach_port_t io_object_t;
typedef io_object_t io_iterator_t;
typedef io_object_t io_registry_entry_t;
typedef io_object_t io_service_t;
typedef io_object_t io_enumerator_t;
typedef io_object_t io_connect_t;

#define IO_OBJECT_NULL ((io_object_t)0)

typedef char io_name_t[128];
typedef char io_string_t[512];
typedef char io_struct_inband_t[4096];

#ifdef __cplusplus
}
#endif

#endif /* IOKIT_IOTYPES_H */
