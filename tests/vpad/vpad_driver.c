/* joybits_vpad.sys: a HID minidriver that serves virtual game controllers, one per root
 * device, for tests that run the plug-in over a real DirectInput. Each device reads what it
 * is (name, report descriptor, report length, number) from its device key, which the
 * installer writes; a program sets a pad's input report with VPAD_IOCTL_SET_REPORT on the
 * pad's HID device handle. No file of the product uses it. */
#include "vpad_hid.h"

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

NTSTATUS NTAPI HidRegisterMinidriver(HID_MINIDRIVER_REGISTRATION *registration);

#define HID_REVISION 1

static KSPIN_LOCK pads_lock;
static struct hid_pad *pads[VPAD_MAX_PADS + 1];
static PDRIVER_DISPATCH hid_device_control;

static struct hid_pad *pad_of(PDEVICE_OBJECT device) {
  return (struct hid_pad *)((HID_DEVICE_EXTENSION *)device->DeviceExtension)->MiniDeviceExtension;
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
  struct hid_pad *pad = pad_of(fdo);
  HANDLE key;
  RtlZeroMemory(pad, sizeof *pad);
  hid_pad_init(pad);
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
  pad->vendor_id = VPAD_VENDOR_ID;
  pad->product_id = (USHORT)(VPAD_PRODUCT_BASE + pad->number);
  KIRQL irql;
  KeAcquireSpinLock(&pads_lock, &irql);
  pads[pad->number] = pad;
  KeReleaseSpinLock(&pads_lock, irql);
  return STATUS_SUCCESS;
}

static void forget(struct hid_pad *pad) {
  KIRQL irql;
  KeAcquireSpinLock(&pads_lock, &irql);
  if (pads[pad->number] == pad) pads[pad->number] = NULL;
  KeReleaseSpinLock(&pads_lock, irql);
  hid_pad_stop(pad);
}

static NTSTATUS NTAPI dispatch_pnp(PDEVICE_OBJECT fdo, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MinorFunction == IRP_MN_SURPRISE_REMOVAL || stack->MinorFunction == IRP_MN_REMOVE_DEVICE)
    forget(pad_of(fdo));
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(((HID_DEVICE_EXTENSION *)fdo->DeviceExtension)->NextDeviceObject, irp);
}

static NTSTATUS NTAPI dispatch_internal(PDEVICE_OBJECT fdo, PIRP irp) {
  return hid_pad_internal_request(pad_of(fdo), irp);
}

/* In front of the HID class driver's own device control: takes the feed request, which
 * arrives on a pad's HID device handle, and passes every other request on. */
static NTSTATUS NTAPI dispatch_device_control(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.DeviceIoControl.IoControlCode != VPAD_IOCTL_SET_REPORT) return hid_device_control(device, irp);
  const struct vpad_feed *feed = (const struct vpad_feed *)irp->AssociatedIrp.SystemBuffer;
  if (stack->Parameters.DeviceIoControl.InputBufferLength < sizeof *feed || feed->pad < 1 ||
      feed->pad > VPAD_MAX_PADS || feed->length > VPAD_MAX_REPORT)
    return hid_pad_complete(irp, STATUS_INVALID_PARAMETER, 0);
  NTSTATUS status = STATUS_NO_SUCH_DEVICE;
  KIRQL irql;
  KeAcquireSpinLock(&pads_lock, &irql);
  if (pads[feed->pad]) status = hid_pad_feed(pads[feed->pad], feed);
  KeReleaseSpinLock(&pads_lock, irql);
  return hid_pad_complete(irp, status, 0);
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
  registration.DeviceExtensionSize = sizeof(struct hid_pad);
  registration.DevicesArePolled = FALSE;
  NTSTATUS status = HidRegisterMinidriver(&registration);
  if (!NT_SUCCESS(status)) return status;
  hid_device_control = driver->MajorFunction[IRP_MJ_DEVICE_CONTROL];
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
  return STATUS_SUCCESS;
}
