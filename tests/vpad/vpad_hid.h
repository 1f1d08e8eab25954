/* A virtual pad as a HID device: what both drivers serve (joybits_vpad.sys, the HID
 * minidriver, and joybits_xbus.sys, the XInput pads' bus): the pad's identity, report
 * descriptor and current input report, the HID requests that read them, and the feed that
 * sets the report. Kernel-mode C. */
#ifndef JOYBITS_TESTS_VPAD_HID_H
#define JOYBITS_TESTS_VPAD_HID_H

#include <ntddk.h>

#include "vpad_protocol.h"

#define HID_PAD_PRODUCT_CHARS 64

struct hid_pad {
  ULONG number;
  USHORT vendor_id;
  USHORT product_id;
  WCHAR product[HID_PAD_PRODUCT_CHARS];
  UCHAR descriptor[VPAD_MAX_DESCRIPTOR];
  ULONG descriptor_length;
  ULONG report_length;
  KSPIN_LOCK lock; /* guards report and fresh */
  UCHAR report[VPAD_MAX_REPORT];
  BOOLEAN fresh;   /* a report the reader has not had yet */
  BOOLEAN removed;
  KEVENT arrived;  /* set when a report is stored or the device goes */
  LONG readers;    /* reads inside read_report, which the pad's memory must outlive */
};

/* Completes irp with status and information; returns status. */
NTSTATUS hid_pad_complete(PIRP irp, NTSTATUS status, ULONG_PTR information);
/* Readies the lock and the event; the all-zero report is the first one read, so the pad
 * starts from a known state. The identity and descriptor are the caller's to fill. */
void hid_pad_init(struct hid_pad *pad);
/* The device goes: a waiting read ends at once, and every later one fails. */
void hid_pad_stop(struct hid_pad *pad);
/* Waits until no read is inside the pad (after hid_pad_stop), so its memory may go. */
void hid_pad_wait_idle(struct hid_pad *pad);
/* Stores the fed report and wakes the waiting read: STATUS_INVALID_BUFFER_SIZE for a
 * report of another length than the pad's. */
NTSTATUS hid_pad_feed(struct hid_pad *pad, const struct vpad_feed *feed);
/* Answers one of the HID class driver's internal requests (METHOD_NEITHER: the caller's
 * buffers as they are) with the pad's attributes, descriptors, strings and reports. */
NTSTATUS hid_pad_internal_request(struct hid_pad *pad, PIRP irp);

#endif
