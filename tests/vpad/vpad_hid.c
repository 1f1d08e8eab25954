/* A virtual pad's HID requests and its feed, for both drivers (vpad_hid.h). */
#include "vpad_hid.h"

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

NTSTATUS hid_pad_complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

void hid_pad_init(struct hid_pad *pad) {
  KeInitializeSpinLock(&pad->lock);
  KeInitializeEvent(&pad->arrived, SynchronizationEvent, FALSE);
  pad->fresh = TRUE;
}

void hid_pad_stop(struct hid_pad *pad) {
  pad->removed = TRUE;
  KeSetEvent(&pad->arrived, IO_NO_INCREMENT, FALSE);
}

void hid_pad_wait_idle(struct hid_pad *pad) {
  LARGE_INTEGER a_millisecond;
  a_millisecond.QuadPart = -10000LL;
  while (InterlockedCompareExchange(&pad->readers, 0, 0) != 0)
    KeDelayExecutionThread(KernelMode, FALSE, &a_millisecond);
}

NTSTATUS hid_pad_feed(struct hid_pad *pad, const struct vpad_feed *feed) {
  if (feed->length != pad->report_length) return STATUS_INVALID_BUFFER_SIZE;
  KIRQL irql;
  KeAcquireSpinLock(&pad->lock, &irql);
  RtlCopyMemory(pad->report, feed->report, feed->length);
  pad->fresh = TRUE;
  KeReleaseSpinLock(&pad->lock, irql);
  KeSetEvent(&pad->arrived, IO_NO_INCREMENT, FALSE);
  return STATUS_SUCCESS;
}

/* The reader calls this and waits for it. A pad answers with a new report as soon as one
 * is set, and otherwise sends its current report again every 50 ms, as a pad that reports
 * continuously does; so a device opened later still learns the pad's state, and the
 * reader notices in time when the device goes. */
static NTSTATUS read_report(struct hid_pad *pad, PIRP irp, ULONG size) {
  LARGE_INTEGER timeout;
  timeout.QuadPart = -50 * 10000LL;
  InterlockedIncrement(&pad->readers);
  if (!pad->fresh && !pad->removed) KeWaitForSingleObject(&pad->arrived, Executive, KernelMode, FALSE, &timeout);
  NTSTATUS status = STATUS_SUCCESS;
  ULONG_PTR length = pad->report_length;
  if (pad->removed) {
    status = STATUS_DEVICE_NOT_CONNECTED, length = 0;
  } else if (size < pad->report_length) {
    status = STATUS_BUFFER_TOO_SMALL, length = 0;
  } else {
    KIRQL irql;
    KeAcquireSpinLock(&pad->lock, &irql);
    RtlCopyMemory(irp->UserBuffer, pad->report, pad->report_length);
    pad->fresh = FALSE;
    KeReleaseSpinLock(&pad->lock, irql);
  }
  InterlockedDecrement(&pad->readers);
  return hid_pad_complete(irp, status, length);
}

static NTSTATUS get_string(struct hid_pad *pad, PIRP irp, ULONG id, ULONG size) {
  if (id >= HID_STRING_MANUFACTURER - WINE_STRING_OFFSET && id <= HID_STRING_SERIAL - WINE_STRING_OFFSET)
    id += WINE_STRING_OFFSET;
  WCHAR serial[] = VPAD_SERIAL_PREFIX L"00";
  const ULONG tens = sizeof serial / sizeof *serial - 3;
  const WCHAR *text = L"joybits tests";
  if (id == HID_STRING_PRODUCT) {
    text = pad->product;
  } else if (id == HID_STRING_SERIAL) {
    serial[tens] = (WCHAR)(L'0' + pad->number / 10);
    serial[tens + 1] = (WCHAR)(L'0' + pad->number % 10);
    text = serial;
  } else if (id != HID_STRING_MANUFACTURER) {
    return hid_pad_complete(irp, STATUS_INVALID_PARAMETER, 0);
  }
  ULONG bytes = sizeof(WCHAR);
  while (text[bytes / sizeof(WCHAR) - 1]) bytes += sizeof(WCHAR);
  if (size < bytes) return hid_pad_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  RtlCopyMemory(irp->UserBuffer, text, bytes);
  return hid_pad_complete(irp, STATUS_SUCCESS, bytes);
}

static NTSTATUS get_attributes(struct hid_pad *pad, PIRP irp, ULONG size) {
  if (size < sizeof(HID_DEVICE_ATTRIBUTES)) return hid_pad_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  HID_DEVICE_ATTRIBUTES *attributes = (HID_DEVICE_ATTRIBUTES *)irp->UserBuffer;
  RtlZeroMemory(attributes, sizeof *attributes);
  attributes->Size = sizeof *attributes;
  attributes->VendorID = pad->vendor_id;
  attributes->ProductID = pad->product_id;
  attributes->VersionNumber = 0x0100;
  return hid_pad_complete(irp, STATUS_SUCCESS, sizeof *attributes);
}

static NTSTATUS get_device_descriptor(struct hid_pad *pad, PIRP irp, ULONG size) {
  if (size < sizeof(HID_DESCRIPTOR)) return hid_pad_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  HID_DESCRIPTOR *descriptor = (HID_DESCRIPTOR *)irp->UserBuffer;
  descriptor->bLength = sizeof *descriptor;
  descriptor->bDescriptorType = 0x21; /* HID */
  descriptor->bcdHID = 0x0111;
  descriptor->bCountry = 0;
  descriptor->bNumDescriptors = 1;
  descriptor->bReportType = 0x22; /* report descriptor */
  descriptor->wReportLength = (USHORT)pad->descriptor_length;
  return hid_pad_complete(irp, STATUS_SUCCESS, sizeof *descriptor);
}

NTSTATUS hid_pad_internal_request(struct hid_pad *pad, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  ULONG size = stack->Parameters.DeviceIoControl.OutputBufferLength;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
  case HID_GET_DEVICE_ATTRIBUTES:
    return get_attributes(pad, irp, size);
  case HID_GET_DEVICE_DESCRIPTOR:
    return get_device_descriptor(pad, irp, size);
  case HID_GET_REPORT_DESCRIPTOR:
    if (size < pad->descriptor_length) return hid_pad_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    RtlCopyMemory(irp->UserBuffer, pad->descriptor, pad->descriptor_length);
    return hid_pad_complete(irp, STATUS_SUCCESS, pad->descriptor_length);
  case HID_READ_REPORT:
    return read_report(pad, irp, size);
  case HID_GET_STRING:
    return get_string(pad, irp, (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xffff, size);
  default:
    return hid_pad_complete(irp, STATUS_NOT_SUPPORTED, 0);
  }
}
