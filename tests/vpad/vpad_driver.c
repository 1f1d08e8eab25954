/* joybits_vpad.sys: a HID minidriver that serves virtual game controllers, one per root
 * device, for tests that run the plug-in over a real DirectInput. Each device reads what it
 * is (name, report descriptor, report length, number) from its device key, which the
 * installer writes; a program sets a pad's input report with VPAD_IOCTL_SET_REPORT on the
 * pad's HID device handle. No file of the product uses it. */
#include <ntddk.h>

#include "vpad_protocol.h"

/* The HID minidriver interface (Microsoft's hidport.h, which mingw-w64 does not carry). */
typedef struct {
  ULONG Revision;
  PDRIVER_OBJECT DriverObject;
  PUNICODE_STRING RegistryPath;
  ULONG DeviceExtensionSize;
  BOOLEAN DevicesArePolled;
  UCHAR Reserved[3];
} HID_MINIDRIVER_REGISTRATION;

typedef struct {
  PDEVICE_OBJECT PhysicalDeviceObject;
  PDEVICE_OBJECT NextDeviceObject;
  PVOID MiniDeviceExtension;
} HID_DEVICE_EXTENSION;

typedef struct {
  ULONG Size;
  USHORT VendorID;
  USHORT ProductID;
  USHORT VersionNumber;
  USHORT Reserved[11];
} HID_DEVICE_ATTRIBUTES;

#pragma pack(push, 1)
typedef struct {
  UCHAR bLength;
  UCHAR bDescriptorType;
  USHORT bcdHID;
  UCHAR bCountry;
  UCHAR bNumDescriptors;
  UCHAR bReportType;
  USHORT wReportLength;
} HID_DESCRIPTOR;
#pragma pack(pop)

NTSTATUS NTAPI HidRegisterMinidriver(HID_MINIDRIVER_REGISTRATION *registration);

#define HID_REVISION 1
/* CTL_CODE(FILE_DEVICE_KEYBOARD, n, METHOD_NEITHER, FILE_ANY_ACCESS); mingw-w64's
 * ddk/hidclass.h carries placeholder values for these. */
#define VPAD_HID_CODE(n) ((0x0bu << 16) | ((n) << 2) | 3u)
#define HID_GET_DEVICE_DESCRIPTOR VPAD_HID_CODE(0)
#define HID_GET_REPORT_DESCRIPTOR VPAD_HID_CODE(1)
#define HID_READ_REPORT VPAD_HID_CODE(2)
#define HID_GET_STRING VPAD_HID_CODE(4)
#define HID_GET_DEVICE_ATTRIBUTES VPAD_HID_CODE(9)
/* The string IDs of IOCTL_HID_GET_STRING: 14, 15 and 16 in Microsoft's hidport.h; Wine's
 * HID class driver asks with 1, 2 and 3. Both are answered. */
#define HID_STRING_MANUFACTURER 14
#define HID_STRING_PRODUCT 15
#define HID_STRING_SERIAL 16
#define WINE_STRING_OFFSET 13

#define PRODUCT_CHARS 64

struct pad {
  ULONG number;
  WCHAR product[PRODUCT_CHARS];
  UCHAR descriptor[VPAD_MAX_DESCRIPTOR];
  ULONG descriptor_length;
  ULONG report_length;
  KSPIN_LOCK lock; /* guards report and fresh */
  UCHAR report[VPAD_MAX_REPORT];
  BOOLEAN fresh;   /* a report the HID class driver has not read yet */
  BOOLEAN removed;
  KEVENT arrived;  /* set when a report is stored or the device goes */
};

static KSPIN_LOCK pads_lock;
static struct pad *pads[VPAD_MAX_PADS + 1];
static PDRIVER_DISPATCH hid_device_control;

static struct pad *pad_of(PDEVICE_OBJECT device) {
  return (struct pad *)((HID_DEVICE_EXTENSION *)device->DeviceExtension)->MiniDeviceExtension;
}

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* Reads one value of the device key into buffer; returns its length, or 0. */
static ULONG read_value(HANDLE key, const WCHAR *name, ULONG type, void *buffer, ULONG size) {
  UCHAR raw[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + VPAD_MAX_DESCRIPTOR];
  KEY_VALUE_PARTIAL_INFORMATION *info = (KEY_VALUE_PARTIAL_INFORMATION *)raw;
  UNICODE_STRING value_name;
  ULONG got = 0;
  RtlInitUnicodeString(&value_name, name);
  if (!NT_SUCCESS(ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, info, sizeof raw, &got)) ||
      info->Type != type || info->DataLength > size)
    return 0;
  RtlCopyMemory(buffer, info->Data, info->DataLength);
  return info->DataLength;
}

static NTSTATUS NTAPI add_device(PDRIVER_OBJECT driver, PDEVICE_OBJECT fdo) {
  (void)driver;
  HID_DEVICE_EXTENSION *hid = (HID_DEVICE_EXTENSION *)fdo->DeviceExtension;
  struct pad *pad = pad_of(fdo);
  HANDLE key;
  RtlZeroMemory(pad, sizeof *pad);
  KeInitializeSpinLock(&pad->lock);
  KeInitializeEvent(&pad->arrived, SynchronizationEvent, FALSE);
  if (!NT_SUCCESS(IoOpenDeviceRegistryKey(hid->PhysicalDeviceObject, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key)))
    return STATUS_DEVICE_CONFIGURATION_ERROR;
  read_value(key, VPAD_VALUE_NUMBER, REG_DWORD, &pad->number, sizeof pad->number);
  read_value(key, VPAD_VALUE_PRODUCT, REG_SZ, pad->product, sizeof pad->product - sizeof(WCHAR));
  pad->descriptor_length =
      read_value(key, VPAD_VALUE_DESCRIPTOR, REG_BINARY, pad->descriptor, sizeof pad->descriptor);
  read_value(key, VPAD_VALUE_REPORT_LENGTH, REG_DWORD, &pad->report_length, sizeof pad->report_length);
  ZwClose(key);
  if (pad->number < 1 || pad->number > VPAD_MAX_PADS || pad->descriptor_length == 0 ||
      pad->report_length < 1 || pad->report_length > VPAD_MAX_REPORT)
    return STATUS_DEVICE_CONFIGURATION_ERROR;
  pad->fresh = TRUE; /* the all-zero report at once, so the pad starts from a known state */
  KIRQL irql;
  KeAcquireSpinLock(&pads_lock, &irql);
  pads[pad->number] = pad;
  KeReleaseSpinLock(&pads_lock, irql);
  return STATUS_SUCCESS;
}

static void forget(struct pad *pad) {
  KIRQL irql;
  KeAcquireSpinLock(&pads_lock, &irql);
  if (pads[pad->number] == pad) pads[pad->number] = NULL;
  KeReleaseSpinLock(&pads_lock, irql);
  pad->removed = TRUE;
  KeSetEvent(&pad->arrived, IO_NO_INCREMENT, FALSE);
}

static NTSTATUS NTAPI dispatch_pnp(PDEVICE_OBJECT fdo, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MinorFunction == IRP_MN_SURPRISE_REMOVAL || stack->MinorFunction == IRP_MN_REMOVE_DEVICE)
    forget(pad_of(fdo));
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(((HID_DEVICE_EXTENSION *)fdo->DeviceExtension)->NextDeviceObject, irp);
}

/* The HID class driver's reading thread calls this and waits for it. A pad answers with a
 * new report as soon as one is set, and otherwise sends its current report again every
 * 50 ms, as a pad that reports continuously does; so a device opened later still learns
 * the pad's state, and the reading thread notices in time when the device goes. */
static NTSTATUS read_report(struct pad *pad, PIRP irp, ULONG size) {
  LARGE_INTEGER timeout;
  timeout.QuadPart = -50 * 10000LL;
  if (!pad->fresh && !pad->removed) KeWaitForSingleObject(&pad->arrived, Executive, KernelMode, FALSE, &timeout);
  if (pad->removed) return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  if (size < pad->report_length) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  KIRQL irql;
  KeAcquireSpinLock(&pad->lock, &irql);
  RtlCopyMemory(irp->UserBuffer, pad->report, pad->report_length);
  pad->fresh = FALSE;
  KeReleaseSpinLock(&pad->lock, irql);
  return complete(irp, STATUS_SUCCESS, pad->report_length);
}

static NTSTATUS get_string(struct pad *pad, PIRP irp, ULONG id, ULONG size) {
  if (id >= HID_STRING_MANUFACTURER - WINE_STRING_OFFSET && id <= HID_STRING_SERIAL - WINE_STRING_OFFSET)
    id += WINE_STRING_OFFSET;
  WCHAR serial[] = L"vpad-00";
  const WCHAR *text = L"joybits tests";
  if (id == HID_STRING_PRODUCT) {
    text = pad->product;
  } else if (id == HID_STRING_SERIAL) {
    serial[5] = (WCHAR)(L'0' + pad->number / 10);
    serial[6] = (WCHAR)(L'0' + pad->number % 10);
    text = serial;
  } else if (id != HID_STRING_MANUFACTURER) {
    return complete(irp, STATUS_INVALID_PARAMETER, 0);
  }
  ULONG bytes = sizeof(WCHAR);
  while (text[bytes / sizeof(WCHAR) - 1]) bytes += sizeof(WCHAR);
  if (size < bytes) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  RtlCopyMemory(irp->UserBuffer, text, bytes);
  return complete(irp, STATUS_SUCCESS, bytes);
}

/* The requests of the HID class driver (METHOD_NEITHER: the caller's buffers as they are). */
static NTSTATUS NTAPI dispatch_internal(PDEVICE_OBJECT fdo, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  struct pad *pad = pad_of(fdo);
  ULONG size = stack->Parameters.DeviceIoControl.OutputBufferLength;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
  case HID_GET_DEVICE_ATTRIBUTES: {
    if (size < sizeof(HID_DEVICE_ATTRIBUTES)) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    HID_DEVICE_ATTRIBUTES *attributes = (HID_DEVICE_ATTRIBUTES *)irp->UserBuffer;
    RtlZeroMemory(attributes, sizeof *attributes);
    attributes->Size = sizeof *attributes;
    attributes->VendorID = VPAD_VENDOR_ID;
    attributes->ProductID = (USHORT)(VPAD_PRODUCT_BASE + pad->number);
    attributes->VersionNumber = 0x0100;
    return complete(irp, STATUS_SUCCESS, sizeof *attributes);
  }
  case HID_GET_DEVICE_DESCRIPTOR: {
    if (size < sizeof(HID_DESCRIPTOR)) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    HID_DESCRIPTOR *descriptor = (HID_DESCRIPTOR *)irp->UserBuffer;
    descriptor->bLength = sizeof *descriptor;
    descriptor->bDescriptorType = 0x21; /* HID */
    descriptor->bcdHID = 0x0111;
    descriptor->bCountry = 0;
    descriptor->bNumDescriptors = 1;
    descriptor->bReportType = 0x22; /* report descriptor */
    descriptor->wReportLength = (USHORT)pad->descriptor_length;
    return complete(irp, STATUS_SUCCESS, sizeof *descriptor);
  }
  case HID_GET_REPORT_DESCRIPTOR:
    if (size < pad->descriptor_length) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    RtlCopyMemory(irp->UserBuffer, pad->descriptor, pad->descriptor_length);
    return complete(irp, STATUS_SUCCESS, pad->descriptor_length);
  case HID_READ_REPORT:
    return read_report(pad, irp, size);
  case HID_GET_STRING:
    return get_string(pad, irp, (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xffff, size);
  default:
    return complete(irp, STATUS_NOT_SUPPORTED, 0);
  }
}

/* In front of the HID class driver's own device control: takes the feed request, which
 * arrives on a pad's HID device handle, and passes every other request on. */
static NTSTATUS NTAPI dispatch_device_control(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.DeviceIoControl.IoControlCode != VPAD_IOCTL_SET_REPORT) return hid_device_control(device, irp);
  const struct vpad_feed *feed = (const struct vpad_feed *)irp->AssociatedIrp.SystemBuffer;
  if (stack->Parameters.DeviceIoControl.InputBufferLength < sizeof *feed || feed->pad < 1 ||
      feed->pad > VPAD_MAX_PADS || feed->length > VPAD_MAX_REPORT)
    return complete(irp, STATUS_INVALID_PARAMETER, 0);
  NTSTATUS status = STATUS_NO_SUCH_DEVICE;
  KIRQL irql;
  KeAcquireSpinLock(&pads_lock, &irql);
  struct pad *pad = pads[feed->pad];
  if (pad && feed->length == pad->report_length) {
    KIRQL pad_irql;
    KeAcquireSpinLock(&pad->lock, &pad_irql);
    RtlCopyMemory(pad->report, feed->report, feed->length);
    pad->fresh = TRUE;
    KeReleaseSpinLock(&pad->lock, pad_irql);
    KeSetEvent(&pad->arrived, IO_NO_INCREMENT, FALSE);
    status = STATUS_SUCCESS;
  } else if (pad) {
    status = STATUS_INVALID_BUFFER_SIZE;
  }
  KeReleaseSpinLock(&pads_lock, irql);
  return complete(irp, status, 0);
}

static void NTAPI unload(PDRIVER_OBJECT driver) { (void)driver; }

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  KeInitializeSpinLock(&pads_lock);
  driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
  driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatch_internal;
  driver->DriverExtension->AddDevice = add_device;
  driver->DriverUnload = unload;
  HID_MINIDRIVER_REGISTRATION registration;
  RtlZeroMemory(&registration, sizeof registration);
  registration.Revision = HID_REVISION;
  registration.DriverObject = driver;
  registration.RegistryPath = registry_path;
  registration.DeviceExtensionSize = sizeof(struct pad);
  registration.DevicesArePolled = FALSE;
  NTSTATUS status = HidRegisterMinidriver(&registration);
  if (!NT_SUCCESS(status)) return status;
  hid_device_control = driver->MajorFunction[IRP_MJ_DEVICE_CONTROL];
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
  return STATUS_SUCCESS;
}
