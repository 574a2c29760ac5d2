// The virtual Torvik's collection driver: the function driver of the HID
// collection that hidclass makes for the virtual Torvik, for Wine only.
//
// A program reads a device's string with HidD_GetIndexedString; Windows'
// HID class driver turns that into its request to the minidriver. Wine's
// refuses it (error 50) and never asks the minidriver, so under Wine no
// program could read the Torvik's string 4. This driver, above hidclass on
// the collection, turns the program's request into the class driver's own
// and sends it down, where the minidriver answers it; it keeps no strings
// of its own. Every other request passes down unchanged.
//
// Its INF matches the collection's ID under Wine (HID\VIRTUAL_TORVIK, made
// from the root device's); Windows names the collection after the device's
// vendor and product, so there the driver is never loaded and Windows' own
// HID class driver asks the minidriver itself.
#include "kernel_hid.h"

namespace {

using namespace kernelhid;

struct CollectionDevice {
    PDEVICE_OBJECT lower;  // hidclass's collection device, below this one
};

PDEVICE_OBJECT lowerdevice(PDEVICE_OBJECT device) {
    return static_cast<CollectionDevice*>(device->DeviceExtension)->lower;
}

NTSTATUS NTAPI passdown(PDEVICE_OBJECT device, PIRP irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(lowerdevice(device), irp);
}

// The program's request carries the string's index in its input buffer and
// describes its output buffer with an MDL; the class driver's request to
// the minidriver carries index and language in Type3InputBuffer and the
// same MDL. Wine's hidclass makes the collection's device in the
// minidriver's driver object and leaves internal requests to the
// minidriver's own routine, so the request goes down to the minidriver.
NTSTATUS askminidriver(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->Parameters.DeviceIoControl.InputBufferLength < sizeof(ULONG) ||
        irp->AssociatedIrp.SystemBuffer == nullptr) {
        irp->IoStatus.Status = STATUS_INVALID_PARAMETER;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_INVALID_PARAMETER;
    }
    const ULONG index = *static_cast<const ULONG*>(irp->AssociatedIrp.SystemBuffer) & 0xFFFF;
    const ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
    IoCopyCurrentIrpStackLocationToNext(irp);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_GET_INDEXED_STRING;
    next->Parameters.DeviceIoControl.InputBufferLength = 0;
    next->Parameters.DeviceIoControl.OutputBufferLength = room;
    next->Parameters.DeviceIoControl.Type3InputBuffer =
        reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(index | STRING_LANGUAGE_US_ENGLISH << 16));
    return IoCallDriver(lowerdevice(device), irp);
}

NTSTATUS NTAPI devicecontrol(PDEVICE_OBJECT device, PIRP irp) {
    if (IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode ==
        IOCTL_GET_INDEXED_STRING) {
        return askminidriver(device, irp);
    }
    return passdown(device, irp);
}

// The collection goes away: hidclass completes what it holds, then this
// device leaves the stack.
NTSTATUS NTAPI pnp(PDEVICE_OBJECT device, PIRP irp) {
    if (IoGetCurrentIrpStackLocation(irp)->MinorFunction != IRP_MN_REMOVE_DEVICE) {
        return passdown(device, irp);
    }
    PDEVICE_OBJECT lower = lowerdevice(device);
    IoSkipCurrentIrpStackLocation(irp);
    const NTSTATUS status = IoCallDriver(lower, irp);
    IoDetachDevice(lower);
    IoDeleteDevice(device);
    return status;
}

NTSTATUS NTAPI adddevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT collection) {
    PDEVICE_OBJECT device = nullptr;
    NTSTATUS status = IoCreateDevice(driver, sizeof(CollectionDevice), nullptr,
                                     collection->DeviceType, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    PDEVICE_OBJECT lower = IoAttachDeviceToDeviceStack(device, collection);
    if (lower == nullptr) {
        IoDeleteDevice(device);
        return STATUS_NO_SUCH_DEVICE;
    }
    static_cast<CollectionDevice*>(device->DeviceExtension)->lower = lower;
    // Requests reach hidclass as it expects them: buffered or direct as
    // its device says.
    device->Flags |= lower->Flags & (DO_BUFFERED_IO | DO_DIRECT_IO | DO_POWER_PAGABLE);
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

VOID NTAPI unload(PDRIVER_OBJECT) {}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    for (int function = 0; function <= IRP_MJ_MAXIMUM_FUNCTION; ++function) {
        driver->MajorFunction[function] = passdown;
    }
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = devicecontrol;
    driver->MajorFunction[IRP_MJ_PNP] = pnp;
    driver->DriverExtension->AddDevice = adddevice;
    driver->DriverUnload = unload;
    DbgPrint("virtual-torvik-collection: started\n");
    return STATUS_SUCCESS;
}
