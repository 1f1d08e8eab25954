/* joybits_xbus.sys: a bus of virtual XInput pads, for tests that run the plug-in over
 * Wine's own XInput. Wine's xinput1_4.dll reads only the devices that Wine's winexinput.sys
 * makes, and that driver binds only to a bus device (a PDO) whose compatible IDs include
 * WINEBUS\WINE_COMP_XINPUT; above it, it makes a gamepad device (...&IG_00) that
 * DirectInput lists and an XInput device (...&XI_00) that XInput reads, and passes the HID
 * requests of both down to the bus device. So this driver's root device is a bus whose
 * children are such bus devices, one per pad, answering the HID requests themselves
 * (vpad_hid.h); a control device takes the programs' plug, unplug and feed requests
 * (vpad_protocol.h). A plug or an unplug tells Wine that the bus's children changed, so
 * pads come and go while Wine runs. No file of the product uses it. */
#include "vpad_hid.h"

enum kind { CONTROL, BUS, PAD };

/* Every device extension starts with its kind, so a dispatch routine knows its device. */
struct bus {
  enum kind kind;
  PDEVICE_OBJECT pdo;   /* the root device the bus sits on */
  PDEVICE_OBJECT lower;
};

struct pad {
  enum kind kind;
  BOOLEAN reported;     /* Wine was told of it, so Wine removes it */
  ULONG instance;       /* the instance ID's number */
  struct hid_pad hid;
};

/* The bus and its plugged pads by number, under bus_lock. */
static KSPIN_LOCK bus_lock;
static struct bus *the_bus;
static PDEVICE_OBJECT children[VPAD_MAX_PADS + 1];
static LONG plugs; /* numbers the instances of pads plugged into another port */

static enum kind kind_of(PDEVICE_OBJECT device) { return *(enum kind *)device->DeviceExtension; }

/* Writes n in decimal at at; returns the end. */
static WCHAR *put_number(WCHAR *at, ULONG n) {
  WCHAR digits[10];
  int count = 0;
  do digits[count++] = (WCHAR)(L'0' + n % 10), n /= 10;
  while (n);
  while (count) *at++ = digits[--count];
  return at;
}

/* A copy of text in pool memory, which the PnP manager frees, ended by two NULs so that
 * it serves as a multi-string of one string too. */
static WCHAR *pool_string(const WCHAR *text) {
  ULONG chars = 0;
  while (text[chars]) ++chars;
  WCHAR *copy = (WCHAR *)ExAllocatePool(PagedPool, (chars + 2) * sizeof(WCHAR));
  if (!copy) return NULL;
  RtlCopyMemory(copy, text, chars * sizeof(WCHAR));
  copy[chars] = 0;
  copy[chars + 1] = 0;
  return copy;
}

/* The pad's IDs: its device and hardware ID name an Xbox 360 pad (045E:028E), its
 * compatible ID is winexinput's, its instance ID tells one plug from another. */
static NTSTATUS query_id(struct pad *pad, PIRP irp, BUS_QUERY_ID_TYPE type) {
  WCHAR instance[24], *end = instance;
  WCHAR *id = NULL;
  switch (type) {
  case BusQueryDeviceID:
  case BusQueryHardwareIDs:
    id = pool_string(XBUS_PAD_ID);
    break;
  case BusQueryCompatibleIDs:
    id = pool_string(XBUS_COMPATIBLE_ID);
    break;
  case BusQueryInstanceID:
    end = put_number(end, pad->hid.number);
    *end++ = L'&';
    *put_number(end, pad->instance) = 0;
    id = pool_string(instance);
    break;
  default:
    return irp->IoStatus.Status;
  }
  if (!id) return STATUS_INSUFFICIENT_RESOURCES;
  irp->IoStatus.Information = (ULONG_PTR)id;
  return STATUS_SUCCESS;
}

/* Takes the pad out of the bus's table, if it is still there. */
static void forget(PDEVICE_OBJECT device) {
  const ULONG number = ((struct pad *)device->DeviceExtension)->hid.number;
  KIRQL irql;
  KeAcquireSpinLock(&bus_lock, &irql);
  if (children[number] == device) children[number] = NULL;
  KeReleaseSpinLock(&bus_lock, irql);
}

static NTSTATUS pad_pnp(PDEVICE_OBJECT device, PIRP irp) {
  struct pad *pad = (struct pad *)device->DeviceExtension;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status = irp->IoStatus.Status;
  switch (stack->MinorFunction) {
  case IRP_MN_START_DEVICE:
  case IRP_MN_QUERY_CAPABILITIES:
    status = STATUS_SUCCESS;
    break;
  case IRP_MN_SURPRISE_REMOVAL:
    hid_pad_stop(&pad->hid);
    status = STATUS_SUCCESS;
    break;
  case IRP_MN_REMOVE_DEVICE:
    forget(device);
    hid_pad_stop(&pad->hid);
    hid_pad_wait_idle(&pad->hid);
    hid_pad_complete(irp, STATUS_SUCCESS, 0);
    IoDeleteDevice(device);
    return STATUS_SUCCESS;
  case IRP_MN_QUERY_ID:
    status = query_id(pad, irp, stack->Parameters.QueryId.IdType);
    break;
  default:
    break;
  }
  return hid_pad_complete(irp, status, irp->IoStatus.Information);
}

/* The bus's children: every pad plugged and not unplugged since. */
static NTSTATUS report_children(struct bus *bus, PIRP irp) {
  DEVICE_RELATIONS *relations = (DEVICE_RELATIONS *)ExAllocatePool(
      PagedPool, sizeof(DEVICE_RELATIONS) + VPAD_MAX_PADS * sizeof(PDEVICE_OBJECT));
  if (!relations) return hid_pad_complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  relations->Count = 0;
  KIRQL irql;
  KeAcquireSpinLock(&bus_lock, &irql);
  for (ULONG n = 1; n <= VPAD_MAX_PADS; ++n) {
    if (!children[n]) continue;
    ((struct pad *)children[n]->DeviceExtension)->reported = TRUE;
    ObReferenceObject(children[n]);
    relations->Objects[relations->Count++] = children[n];
  }
  KeReleaseSpinLock(&bus_lock, irql);
  irp->IoStatus.Information = (ULONG_PTR)relations;
  irp->IoStatus.Status = STATUS_SUCCESS;
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(bus->lower, irp);
}

static NTSTATUS bus_pnp(PDEVICE_OBJECT device, PIRP irp) {
  struct bus *bus = (struct bus *)device->DeviceExtension;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MinorFunction == IRP_MN_QUERY_DEVICE_RELATIONS && stack->Parameters.QueryDeviceRelations.Type == BusRelations)
    return report_children(bus, irp);
  if (stack->MinorFunction == IRP_MN_START_DEVICE) irp->IoStatus.Status = STATUS_SUCCESS;
  PDEVICE_OBJECT lower = bus->lower;
  BOOLEAN removed = stack->MinorFunction == IRP_MN_REMOVE_DEVICE;
  IoSkipCurrentIrpStackLocation(irp);
  NTSTATUS status = IoCallDriver(lower, irp);
  if (removed) {
    KIRQL irql;
    KeAcquireSpinLock(&bus_lock, &irql);
    the_bus = NULL;
    KeReleaseSpinLock(&bus_lock, irql);
    IoDetachDevice(lower);
    IoDeleteDevice(device);
  }
  return status;
}

static NTSTATUS NTAPI dispatch_pnp(PDEVICE_OBJECT device, PIRP irp) {
  if (kind_of(device) == PAD) return pad_pnp(device, irp);
  if (kind_of(device) == BUS) return bus_pnp(device, irp);
  return hid_pad_complete(irp, STATUS_NOT_SUPPORTED, 0);
}

/* A new child of the bus, ready to report, from the plug request's description. */
static NTSTATUS make_pad(PDRIVER_OBJECT driver, const struct xbus_plug *plug, PDEVICE_OBJECT *made) {
  NTSTATUS status = IoCreateDevice(driver, sizeof(struct pad), NULL, FILE_DEVICE_UNKNOWN, 0, FALSE, made);
  if (!NT_SUCCESS(status)) return status;
  struct pad *pad = (struct pad *)(*made)->DeviceExtension;
  RtlZeroMemory(pad, sizeof *pad);
  pad->kind = PAD;
  pad->instance = plug->same_port ? 0 : (ULONG)InterlockedIncrement(&plugs);
  hid_pad_init(&pad->hid);
  pad->hid.number = plug->pad;
  pad->hid.vendor_id = XBUS_VENDOR_ID;
  pad->hid.product_id = XBUS_PRODUCT_ID;
  RtlCopyMemory(pad->hid.product, plug->product, sizeof pad->hid.product - sizeof(WCHAR));
  RtlCopyMemory(pad->hid.descriptor, plug->descriptor, plug->descriptor_length);
  pad->hid.descriptor_length = plug->descriptor_length;
  pad->hid.report_length = plug->report_length;
  (*made)->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static NTSTATUS plug(PDRIVER_OBJECT driver, const struct xbus_plug *plug, ULONG length) {
  if (length < sizeof *plug || plug->pad < 1 || plug->pad > VPAD_MAX_PADS || plug->report_length < 1 ||
      plug->report_length > VPAD_MAX_REPORT || plug->descriptor_length < 1 ||
      plug->descriptor_length > VPAD_MAX_DESCRIPTOR)
    return STATUS_INVALID_PARAMETER;
  PDEVICE_OBJECT device;
  NTSTATUS status = make_pad(driver, plug, &device);
  if (!NT_SUCCESS(status)) return status;
  PDEVICE_OBJECT bus_pdo = NULL;
  KIRQL irql;
  KeAcquireSpinLock(&bus_lock, &irql);
  if (the_bus && !children[plug->pad]) {
    children[plug->pad] = device;
    bus_pdo = the_bus->pdo;
  }
  KeReleaseSpinLock(&bus_lock, irql);
  if (!bus_pdo) {
    IoDeleteDevice(device);
    return STATUS_DEVICE_BUSY;
  }
  IoInvalidateDeviceRelations(bus_pdo, BusRelations);
  return STATUS_SUCCESS;
}

/* Takes the chosen pads (all when pad is 0) off the bus. Wine removes those it was told
 * of when it reads the children again, which it is asked to only then; one it was never
 * told of goes at once. */
static NTSTATUS unplug(const struct xbus_unplug *unplug, ULONG length) {
  if (length < sizeof *unplug || unplug->pad > VPAD_MAX_PADS) return STATUS_INVALID_PARAMETER;
  PDEVICE_OBJECT untold[VPAD_MAX_PADS + 1];
  ULONG untold_count = 0;
  BOOLEAN told = FALSE;
  PDEVICE_OBJECT bus_pdo = NULL;
  KIRQL irql;
  KeAcquireSpinLock(&bus_lock, &irql);
  for (ULONG n = 1; n <= VPAD_MAX_PADS; ++n) {
    if (!children[n] || (unplug->pad && unplug->pad != n)) continue;
    struct pad *pad = (struct pad *)children[n]->DeviceExtension;
    hid_pad_stop(&pad->hid);
    if (!pad->reported) untold[untold_count++] = children[n];
    told = told || pad->reported;
    children[n] = NULL;
  }
  if (the_bus && told) bus_pdo = the_bus->pdo;
  KeReleaseSpinLock(&bus_lock, irql);
  while (untold_count) IoDeleteDevice(untold[--untold_count]);
  if (bus_pdo) IoInvalidateDeviceRelations(bus_pdo, BusRelations);
  return STATUS_SUCCESS;
}

static NTSTATUS feed(const struct vpad_feed *feed, ULONG length) {
  if (length < sizeof *feed || feed->pad < 1 || feed->pad > VPAD_MAX_PADS || feed->length > VPAD_MAX_REPORT)
    return STATUS_INVALID_PARAMETER;
  NTSTATUS status = STATUS_NO_SUCH_DEVICE;
  KIRQL irql;
  KeAcquireSpinLock(&bus_lock, &irql);
  if (children[feed->pad]) status = hid_pad_feed(&((struct pad *)children[feed->pad]->DeviceExtension)->hid, feed);
  KeReleaseSpinLock(&bus_lock, irql);
  return status;
}

/* The programs' requests, on the control device only. */
static NTSTATUS NTAPI dispatch_device_control(PDEVICE_OBJECT device, PIRP irp) {
  if (kind_of(device) != CONTROL) return hid_pad_complete(irp, STATUS_NOT_SUPPORTED, 0);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const void *input = irp->AssociatedIrp.SystemBuffer;
  ULONG length = stack->Parameters.DeviceIoControl.InputBufferLength;
  NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
  case XBUS_IOCTL_PLUG:
    status = plug(device->DriverObject, (const struct xbus_plug *)input, length);
    break;
  case XBUS_IOCTL_UNPLUG:
    status = unplug((const struct xbus_unplug *)input, length);
    break;
  case VPAD_IOCTL_SET_REPORT:
    status = feed((const struct vpad_feed *)input, length);
    break;
  }
  return hid_pad_complete(irp, status, 0);
}

/* The requests that winexinput.sys passes down from the devices above a pad. */
static NTSTATUS NTAPI dispatch_internal(PDEVICE_OBJECT device, PIRP irp) {
  if (kind_of(device) != PAD) return hid_pad_complete(irp, STATUS_NOT_SUPPORTED, 0);
  return hid_pad_internal_request(&((struct pad *)device->DeviceExtension)->hid, irp);
}

static NTSTATUS NTAPI dispatch_open_close(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  return hid_pad_complete(irp, STATUS_SUCCESS, 0);
}

/* The bus on its root device; one bus only, since the control device serves one. */
static NTSTATUS NTAPI add_device(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  PDEVICE_OBJECT device;
  NTSTATUS status = IoCreateDevice(driver, sizeof(struct bus), NULL, FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  struct bus *bus = (struct bus *)device->DeviceExtension;
  bus->kind = BUS;
  bus->pdo = pdo;
  KIRQL irql;
  KeAcquireSpinLock(&bus_lock, &irql);
  BOOLEAN first = the_bus == NULL;
  if (first) the_bus = bus;
  KeReleaseSpinLock(&bus_lock, irql);
  if (!first) {
    IoDeleteDevice(device);
    return STATUS_DEVICE_CONFIGURATION_ERROR;
  }
  bus->lower = IoAttachDeviceToDeviceStack(device, pdo);
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static PDEVICE_OBJECT control;

static void NTAPI unload(PDRIVER_OBJECT driver) {
  (void)driver;
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, XBUS_CONTROL_LINK);
  IoDeleteSymbolicLink(&link);
  if (control) IoDeleteDevice(control);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  (void)registry_path;
  KeInitializeSpinLock(&bus_lock);
  UNICODE_STRING name, link;
  RtlInitUnicodeString(&name, XBUS_CONTROL_DEVICE);
  RtlInitUnicodeString(&link, XBUS_CONTROL_LINK);
  NTSTATUS status = IoCreateDevice(driver, sizeof(enum kind), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control);
  if (!NT_SUCCESS(status)) return status;
  *(enum kind *)control->DeviceExtension = CONTROL;
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(control);
    control = NULL;
    return status;
  }
  control->Flags &= ~DO_DEVICE_INITIALIZING;
  driver->MajorFunction[IRP_MJ_CREATE] = dispatch_open_close;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_open_close;
  driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
  driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatch_internal;
  driver->DriverExtension->AddDevice = add_device;
  driver->DriverUnload = unload;
  return STATUS_SUCCESS;
}
