/* What the virtual pad driver and the programs that drive it agree on: the feed request,
 * the identity every pad shows, and the registry values a pad is described by. Plain C:
 * the driver is C, the installer and the case runner C++. */
#ifndef JOYBITS_TESTS_VPAD_PROTOCOL_H
#define JOYBITS_TESTS_VPAD_PROTOCOL_H

/* Device control on a pad's HID device handle: stores one input report for a pad and hands
 * it to the HID class driver's waiting read. METHOD_BUFFERED, FILE_DEVICE_UNKNOWN,
 * function 0x800 (the first one free for vendors). */
#define VPAD_IOCTL_SET_REPORT 0x00222000u

/* Pads are numbered from 1; the driver keeps at most this many at once. The last number
 * is the anchor's: a device that is no game controller (DirectInput leaves it alone) and
 * stays plugged for the prefix's life, so the driver is never left without a device, which
 * Wine answers by unloading it, racing the next pad's arrival. */
#define VPAD_MAX_PADS 32u
#define VPAD_ANCHOR VPAD_MAX_PADS
#define VPAD_MAX_REPORT 64u
#define VPAD_MAX_DESCRIPTOR 512u

/* Every pad shows this vendor, and a product ID of VPAD_PRODUCT_BASE + its number, so a
 * program finds pad n's HID device by its attributes. 0x1209 is the pid.codes vendor ID,
 * whose product IDs 0x0001..0x000F are set aside for testing. */
#define VPAD_VENDOR_ID 0x1209u
#define VPAD_PRODUCT_BASE 0x7A00u
/* Every pad's serial string: this and its number in two digits ("vpad-05"). */
#define VPAD_SERIAL_PREFIX L"vpad-"

/* The root device's hardware ID, the driver's service name, and the HID class. */
#define VPAD_HARDWARE_ID L"ROOT\\JOYBITS_VPAD"
#define VPAD_SERVICE L"joybits_vpad"

/* The values under a pad's device key (written by the installer, read by the driver when
 * the device is added): REG_DWORD, REG_SZ, REG_BINARY, REG_DWORD. */
#define VPAD_VALUE_NUMBER L"PadNumber"
#define VPAD_VALUE_PRODUCT L"Product"
#define VPAD_VALUE_DESCRIPTOR L"ReportDescriptor"
#define VPAD_VALUE_REPORT_LENGTH L"ReportLength"

/* The feed request's input buffer: the same layout for 32-bit and 64-bit callers. */
struct vpad_feed {
  unsigned int pad;    /* 1 .. VPAD_MAX_PADS */
  unsigned int length; /* bytes of report that follow, the pad's report length */
  unsigned char report[VPAD_MAX_REPORT];
};

#endif
