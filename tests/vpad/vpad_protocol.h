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
/* Every pad's serial string: this and its number in two digits ("vpad-05"), so a program
 * also finds an XInput pad's devices, which all show the same vendor and product. */
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

/* The XInput pads' bus (joybits_xbus.sys): one root device with this hardware ID, whose
 * children are the XInput pads, each with the identity of an Xbox 360 pad and the
 * compatible ID that Wine's winexinput.sys binds to. The programs plug, unplug and feed
 * the pads through the bus's control device: XBUS_IOCTL_PLUG (struct xbus_plug),
 * XBUS_IOCTL_UNPLUG (struct xbus_unplug) and VPAD_IOCTL_SET_REPORT (struct vpad_feed).
 * METHOD_BUFFERED, FILE_DEVICE_UNKNOWN, functions 0x801 and 0x802. */
#define XBUS_HARDWARE_ID L"ROOT\\JOYBITS_XBUS"
#define XBUS_CONTROL_PATH L"\\\\.\\JoybitsXbus"
#define XBUS_CONTROL_DEVICE L"\\Device\\JoybitsXbus"
#define XBUS_CONTROL_LINK L"\\DosDevices\\JoybitsXbus"
#define XBUS_PAD_ID L"JOYBITS\\VID_045E&PID_028E"
#define XBUS_COMPATIBLE_ID L"WINEBUS\\WINE_COMP_XINPUT"
#define XBUS_VENDOR_ID 0x045Eu
#define XBUS_PRODUCT_ID 0x028Eu
#define XBUS_IOCTL_PLUG 0x00222004u
#define XBUS_IOCTL_UNPLUG 0x00222008u

struct xbus_plug {
  unsigned int pad;               /* 1 .. VPAD_MAX_PADS */
  unsigned int same_port;         /* nonzero: the instance ID of the pad's number, else a new one */
  unsigned int report_length;     /* 1 .. VPAD_MAX_REPORT */
  unsigned int descriptor_length; /* 1 .. VPAD_MAX_DESCRIPTOR */
  unsigned char descriptor[VPAD_MAX_DESCRIPTOR];
  unsigned short product[64];     /* the product string, NUL-terminated UTF-16 */
};

struct xbus_unplug {
  unsigned int pad; /* 1 .. VPAD_MAX_PADS, or 0 for every pad */
};

#endif
