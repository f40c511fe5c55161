/*
 * Class name and property keys of serial ports (IOSerialBSDClient objects) in the registry.
 */
#ifndef IOKIT_SERIAL_IOSERIALKEYS_H
#define IOKIT_SERIAL_IOSERIALKEYS_H

#define kIOSerialBSDServiceValue "IOSerialBSDClient"

/* Stream type of a port. As a matching value, kIOSerialBSDAllTypes matches every stream type. */
#define kIOSerialBSDTypeKey "IOSerialBSDClientType"
#define kIOSerialBSDAllTypes "IOSerialStream"
#define kIOSerialBSDModemType "IOModemSerialStream"
#define kIOSerialBSDRS232Type "IORS232SerialStream"

#define kIOTTYDeviceKey "IOTTYDevice"         /* "ttyUSB0" */
#define kIOTTYBaseNameKey "IOTTYBaseName"     /* "ttyUSB" */
#define kIOTTYSuffixKey "IOTTYSuffix"         /* "0" */
#define kIOCalloutDeviceKey "IOCalloutDevice" /* device path for dialling out */
#define kIODialinDeviceKey "IODialinDevice"   /* device path for answering */

#endif /* IOKIT_SERIAL_IOSERIALKEYS_H */
