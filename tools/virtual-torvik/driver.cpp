// The virtual Torvik: a HID minidriver whose device is the Torvik's
// bootloader, so that a Windows HID stack (Windows' own, or Wine's) serves
// it to the updater like the real device.
//
// The protocol is the device core's (device/bootloader_core.h);
// this file is the kernel side around it. The rules it keeps:
// - hidclass owns the HID device object and keeps one read request
//   outstanding; the read is completed when an input report is due, and
//   until then it waits with a cancel routine, as every request a driver
//   holds must. When the device stops or goes away, every request it holds
//   is completed at once.
// - Under Wine the string requests come from the collection driver
//   (collection.cpp), on the HID collection's device object rather than
//   hidclass's: they are answered the same.
// - Everything that happens later (an acknowledgement due after a delay, a
//   held write that ends) is done by one worker thread, woken at the next
//   due time. One spin lock guards the state; requests are completed after
//   it is released.
// - The control device (its own device object and link) shares the driver
//   object with hidclass, which installs its own dispatch routines for
//   create, close and device control: those are wrapped, and requests for
//   the control device are answered here.
#include "control.h"
#include "kernel_hid.h"
#include "torvik_config.h"

namespace {

using devicecore::Millis;
using namespace kernelhid;

constexpr ULONG STRING_ID_MANUFACTURER = 14;
constexpr ULONG STRING_ID_PRODUCT = 15;
constexpr ULONG STRING_ID_SERIAL_NUMBER = 16;

struct MinidriverRegistration {
    ULONG revision;
    PDRIVER_OBJECT driver;
    PUNICODE_STRING registry_path;
    ULONG device_extension_size;
    BOOLEAN devices_are_polled;
    UCHAR reserved[3];
};
constexpr ULONG HID_REVISION = 1;

// The start of hidclass's extension of each HID device object.
struct HidDeviceExtension {
    PDEVICE_OBJECT physical_device;
    PDEVICE_OBJECT next_device;
    PVOID minidriver_extension;
};

struct HidAttributes {
    ULONG size;
    USHORT vendor_id;
    USHORT product_id;
    USHORT version;
    USHORT reserved[11];
};

struct TransferPacket {
    PUCHAR report;
    ULONG length;
    UCHAR report_id;
};

}  // namespace

extern "C" NTSTATUS NTAPI HidRegisterMinidriver(MinidriverRegistration* registration);
// In ntifs.h, which does not go with ntddk.h.
extern "C" NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable,
                                                PLARGE_INTEGER timeout);
extern "C" NTSTATUS NTAPI RtlCreateAcl(PACL acl, ULONG length, ULONG revision);
extern "C" NTSTATUS NTAPI RtlAddAccessAllowedAce(PACL acl, ULONG revision, ACCESS_MASK mask,
                                                 PSID sid);
extern "C" NTSTATUS NTAPI ObOpenObjectByPointer(PVOID object, ULONG attributes,
                                                PACCESS_STATE access_state, ACCESS_MASK access,
                                                POBJECT_TYPE type, KPROCESSOR_MODE mode,
                                                PHANDLE handle);
extern "C" NTSTATUS NTAPI ZwSetSecurityObject(HANDLE handle, SECURITY_INFORMATION information,
                                              PSECURITY_DESCRIPTOR descriptor);

namespace {

// --- The device as the host sees it. ---

constexpr USHORT PRODUCT_ID = 0x0006;
constexpr USHORT VERSION = 0x0100;
using devicecore::REPORT_DATA_BYTES;
using devicecore::REPORT_DESCRIPTOR;

// clang-format off
const UCHAR HID_DESCRIPTOR[] = {
    9, 0x21,                         // length, type: HID
    0x11, 0x01,                      // HID 1.11
    0,                               // no country
    1, 0x22,                         // one descriptor: the report descriptor
    sizeof(REPORT_DESCRIPTOR), 0x00, // its length
};
// clang-format on

constexpr ULONG MARKER_STRING_INDEX = 4;
const WCHAR MARKER_STRING[] = L"" BOOTLOADER_STRING4;
const WCHAR NORMAL_FIRMWARE_STRING[] = L"" NORMAL_FIRMWARE_STRING4;
const WCHAR MANUFACTURER_STRING[] = L"Torvik (virtual)";
const WCHAR PRODUCT_STRING[] = L"Virtual Torvik bootloader";
const WCHAR SERIAL_NUMBER_STRING[] = L"0000";

// --- The device's state. ---

// Room for every block number a Torvik image uses: the MCU's from 4 and the
// FPGA stream's from 0x1000, up to 2 MiB of images.
constexpr size_t MAX_BLOCKS = 1024;
constexpr size_t QUEUED_REPORTS = 64;
constexpr ULONG POOL_TAG = 'V' | ('T' << 8) | ('k' << 16) | ('v' << 24);  // "VTkv"

struct QueuedReport {
    Millis due;
    uint8_t report[devicecore::REPORT_BYTES];
};

struct DeviceState {
    KSPIN_LOCK lock;
    KEVENT wake;
    HANDLE worker;
    bool stopping;
    bool started;  // between the device's start and its removal
    virtualtorvik::Firmware firmware;
    devicecore::Bootloader core;
    size_t blocks_stored;
    uint16_t block_numbers[MAX_BLOCKS];
    uint8_t blocks[MAX_BLOCKS][devicecore::BLOCK_BYTES];
    QueuedReport queue[QUEUED_REPORTS];
    size_t queue_head;
    size_t queue_length;
    PIRP read;  // hidclass's outstanding read, or nullptr
    PIRP held;  // a write the device holds, or nullptr
    Millis held_until;
    uint8_t held_report[devicecore::REPORT_BYTES];
    uint32_t reports_taken;
    uint32_t reports_delivered;
    uint32_t strings_read;
    // A reset request's input, taken and checked before the device starts
    // over: too large for a kernel stack.
    virtualtorvik::Reset incoming;
};

DeviceState* state;
PDEVICE_OBJECT control_device;
PDRIVER_DISPATCH hid_create;
PDRIVER_DISPATCH hid_close;
PDRIVER_DISPATCH hid_cleanup;
PDRIVER_DISPATCH hid_device_control;
// The bootloader without faults.
const virtualtorvik::Reset POWER_ON = {};

Millis nowms() {
    LARGE_INTEGER frequency;
    const LARGE_INTEGER counter = KeQueryPerformanceCounter(&frequency);
    return counter.QuadPart * 1000 / frequency.QuadPart;
}

void copybytes(void* to, const void* from, size_t count) {
    auto* target = static_cast<uint8_t*>(to);
    const auto* source = static_cast<const uint8_t*>(from);
    for (size_t i = 0; i < count; ++i) {
        target[i] = source[i];
    }
}

uint8_t* slotfor(void* context, uint16_t block_number) {
    auto* device = static_cast<DeviceState*>(context);
    for (size_t i = 0; i < device->blocks_stored; ++i) {
        if (device->block_numbers[i] == block_number) {
            return device->blocks[i];
        }
    }
    if (device->blocks_stored == MAX_BLOCKS) {
        return nullptr;
    }
    device->block_numbers[device->blocks_stored] = block_number;
    return device->blocks[device->blocks_stored++];
}

const uint8_t* findstored(const void* context, uint16_t block_number) {
    const auto* device = static_cast<const DeviceState*>(context);
    for (size_t i = 0; i < device->blocks_stored; ++i) {
        if (device->block_numbers[i] == block_number) {
            return device->blocks[i];
        }
    }
    return nullptr;
}

// Called with the lock held.
void startover(const virtualtorvik::Reset& reset) {
    state->firmware = reset.firmware;
    state->core.start(reset.faults, {state, slotfor, findstored});
    state->blocks_stored = 0;
    state->queue_head = 0;
    state->queue_length = 0;
    state->reports_taken = 0;
    state->reports_delivered = 0;
    state->strings_read = 0;
}

void complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

// Called with the lock held: the device takes a written report.
void takereport(const uint8_t report[devicecore::REPORT_BYTES]) {
    ++state->reports_taken;
    const devicecore::Outcome outcome = state->core.take(report, nowms());
    if (!outcome.acknowledge || state->queue_length == QUEUED_REPORTS) {
        return;
    }
    QueuedReport& queued = state->queue[(state->queue_head + state->queue_length) % QUEUED_REPORTS];
    queued.due = outcome.acknowledge_at;
    copybytes(queued.report, outcome.acknowledgement, sizeof queued.report);
    ++state->queue_length;
}

// Takes the request out of `slot` for completing. nullptr when its cancel
// routine has already claimed it: that routine completes it.
PIRP claim(PIRP& slot) {
    PIRP irp = slot;
    slot = nullptr;
    if (irp != nullptr && IoSetCancelRoutine(irp, nullptr) == nullptr) {
        return nullptr;
    }
    return irp;
}

struct Completions {
    PIRP write;
    PIRP read;
    ULONG read_length;
};

// Called with the lock held: does what is due now, and returns when the
// next thing falls due (-1 for nothing before a new request).
Millis servicedue(Completions& done) {
    const Millis now = nowms();
    Millis next = -1;
    if (state->held != nullptr) {
        if (state->held_until <= now) {
            takereport(state->held_report);
            done.write = claim(state->held);
        } else {
            next = state->held_until;
        }
    }
    // An unplugged device sends nothing more; the read waits for ever.
    if (state->read != nullptr && state->queue_length > 0 && !state->core.unplugged()) {
        QueuedReport& front = state->queue[state->queue_head];
        if (front.due <= now) {
            PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(state->read);
            const ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
            done.read_length = room < REPORT_DATA_BYTES ? room : REPORT_DATA_BYTES;
            copybytes(state->read->UserBuffer, front.report + 1, done.read_length);
            state->core.delivered(front.report);
            ++state->reports_delivered;
            state->queue_head = (state->queue_head + 1) % QUEUED_REPORTS;
            --state->queue_length;
            done.read = claim(state->read);
        } else if (next < 0 || front.due < next) {
            next = front.due;
        }
    }
    return next;
}

Millis service() {
    Completions done = {};
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    const Millis next = servicedue(done);
    KeReleaseSpinLock(&state->lock, irql);
    if (done.write != nullptr) {
        complete(done.write, STATUS_SUCCESS, devicecore::REPORT_BYTES);
    }
    if (done.read != nullptr) {
        complete(done.read, STATUS_SUCCESS, done.read_length);
    }
    return next;
}

VOID NTAPI worker(PVOID) {
    for (;;) {
        const Millis next = service();
        if (state->stopping) {
            break;
        }
        LARGE_INTEGER timeout;
        // Negative: relative, in units of 100 ns.
        timeout.QuadPart = -(next - nowms()) * 10000;
        if (timeout.QuadPart > 0) {
            timeout.QuadPart = 0;
        }
        KeWaitForSingleObject(&state->wake, Executive, KernelMode, FALSE,
                              next < 0 ? nullptr : &timeout);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

void wakeworker() {
    KeSetEvent(&state->wake, IO_NO_INCREMENT, FALSE);
}

VOID NTAPI cancelheld(PDEVICE_OBJECT, PIRP irp) {
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    if (state->read == irp) {
        state->read = nullptr;
    }
    if (state->held == irp) {
        state->held = nullptr;
    }
    KeReleaseSpinLock(&state->lock, irql);
    complete(irp, STATUS_CANCELLED, 0);
}

// Called with the lock held. Returns false when the request was cancelled
// already: the caller completes it.
bool hold(PIRP irp, PIRP& slot) {
    IoMarkIrpPending(irp);
    static_cast<void>(IoSetCancelRoutine(irp, cancelheld));
    if (irp->Cancel && IoSetCancelRoutine(irp, nullptr) != nullptr) {
        return false;
    }
    slot = irp;
    return true;
}

NTSTATUS readreport(PIRP irp) {
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    if (state->read != nullptr || !state->started) {
        const NTSTATUS status = state->started ? STATUS_DEVICE_BUSY : STATUS_DEVICE_NOT_CONNECTED;
        KeReleaseSpinLock(&state->lock, irql);
        complete(irp, status, 0);
        return status;
    }
    const bool held = hold(irp, state->read);
    KeReleaseSpinLock(&state->lock, irql);
    if (!held) {
        complete(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    wakeworker();
    return STATUS_PENDING;
}

NTSTATUS writereport(PIRP irp) {
    const auto* packet = static_cast<const TransferPacket*>(irp->UserBuffer);
    if (packet == nullptr || packet->report == nullptr || packet->length < REPORT_DATA_BYTES) {
        complete(irp, STATUS_INVALID_PARAMETER, 0);
        return STATUS_INVALID_PARAMETER;
    }
    uint8_t report[devicecore::REPORT_BYTES];
    report[0] = packet->report_id;
    copybytes(report + 1, packet->report, REPORT_DATA_BYTES);

    NTSTATUS status = STATUS_SUCCESS;
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    const bool gone = state->core.unplugged() || !state->started;
    Millis held_ms = gone ? 0 : state->core.writeheld(report);
    if (gone) {
        status = STATUS_DEVICE_NOT_CONNECTED;
    } else if (held_ms == 0) {
        takereport(report);
    } else if (state->held != nullptr) {
        status = STATUS_DEVICE_BUSY;
    } else {
        if (held_ms == devicecore::FOREVER || held_ms > virtualtorvik::HOLD_LIMIT_MS) {
            held_ms = virtualtorvik::HOLD_LIMIT_MS;
        }
        state->held_until = nowms() + held_ms;
        copybytes(state->held_report, report, sizeof report);
        status = hold(irp, state->held) ? STATUS_PENDING : STATUS_CANCELLED;
    }
    KeReleaseSpinLock(&state->lock, irql);
    if (status == STATUS_PENDING) {
        wakeworker();
        return STATUS_PENDING;
    }
    if (status == STATUS_CANCELLED) {
        complete(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    // The program wrote the report ID and 63 bytes; it sees this length.
    complete(irp, status, NT_SUCCESS(status) ? packet->length + 1 : 0);
    if (NT_SUCCESS(status)) {
        wakeworker();  // an acknowledgement may have become due
    }
    return status;
}

const WCHAR* stringfor(ULONG id) {
    switch (id) {
        case STRING_ID_MANUFACTURER:
            return MANUFACTURER_STRING;
        case STRING_ID_PRODUCT:
            return PRODUCT_STRING;
        case STRING_ID_SERIAL_NUMBER:
            return SERIAL_NUMBER_STRING;
        default:
            return nullptr;
    }
}

const WCHAR* indexedstring(ULONG index) {
    switch (index) {
        case 1:
            return MANUFACTURER_STRING;
        case 2:
            return PRODUCT_STRING;
        case 3:
            return SERIAL_NUMBER_STRING;
        case MARKER_STRING_INDEX:
            return state->firmware == virtualtorvik::Firmware::NORMAL ? NORMAL_FIRMWARE_STRING
                                                                      : MARKER_STRING;
        default:
            return nullptr;
    }
}

ULONG stringbytes(const WCHAR* text) {
    ULONG length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return (length + 1) * sizeof(WCHAR);
}

NTSTATUS answer(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    complete(irp, status, information);
    return status;
}

// Copies a fixed answer to the request's output buffer.
NTSTATUS answerwith(PIRP irp, void* buffer, ULONG room, const void* data, ULONG size) {
    if (buffer == nullptr || room < size) {
        return answer(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    copybytes(buffer, data, size);
    return answer(irp, STATUS_SUCCESS, size);
}

NTSTATUS indexedstringrequest(PIRP irp, ULONG index, ULONG room) {
    const WCHAR* text = indexedstring(index);
    void* buffer = irp->MdlAddress == nullptr
                       ? nullptr
                       : MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
    if (text == nullptr || buffer == nullptr) {
        return answer(irp, STATUS_INVALID_PARAMETER, 0);
    }
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    ++state->strings_read;
    KeReleaseSpinLock(&state->lock, irql);
    // A USB device cuts a string descriptor to the length asked for; the
    // updater asks for 8 bytes of string 4.
    ULONG size = stringbytes(text);
    if (size > room) {
        size = room;
    }
    copybytes(buffer, text, size);
    return answer(irp, STATUS_SUCCESS, size);
}

NTSTATUS NTAPI internalcontrol(PDEVICE_OBJECT device, PIRP irp) {
    if (device == control_device) {
        return answer(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const ULONG argument = static_cast<ULONG>(
        reinterpret_cast<ULONG_PTR>(stack->Parameters.DeviceIoControl.Type3InputBuffer));
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_GET_DEVICE_DESCRIPTOR:
            return answerwith(irp, irp->UserBuffer, room, HID_DESCRIPTOR, sizeof HID_DESCRIPTOR);
        case IOCTL_GET_REPORT_DESCRIPTOR:
            return answerwith(irp, irp->UserBuffer, room, REPORT_DESCRIPTOR,
                              sizeof REPORT_DESCRIPTOR);
        case IOCTL_GET_DEVICE_ATTRIBUTES: {
            const HidAttributes attributes = {sizeof(HidAttributes),
                                              static_cast<USHORT>(TORVIK_VENDOR_ID),
                                              PRODUCT_ID,
                                              VERSION,
                                              {}};
            return answerwith(irp, irp->UserBuffer, room, &attributes, sizeof attributes);
        }
        case IOCTL_GET_STRING: {
            const WCHAR* text = stringfor(argument & 0xFFFF);
            if (text == nullptr) {
                return answer(irp, STATUS_INVALID_PARAMETER, 0);
            }
            return answerwith(irp, irp->UserBuffer, room, text, stringbytes(text));
        }
        case IOCTL_GET_INDEXED_STRING:
            return indexedstringrequest(irp, argument & 0xFFFF, room);
        case IOCTL_READ_REPORT:
            return readreport(irp);
        case IOCTL_WRITE_REPORT:
            return writereport(irp);
        case IOCTL_ACTIVATE_DEVICE:
        case IOCTL_DEACTIVATE_DEVICE:
            return answer(irp, STATUS_SUCCESS, 0);
        default:
            return answer(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

// Power requests belong to the driver below (the root bus here).
NTSTATUS NTAPI passdown(PDEVICE_OBJECT device, PIRP irp) {
    if (device == control_device) {
        return answer(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    auto* extension = static_cast<HidDeviceExtension*>(device->DeviceExtension);
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(extension->next_device, irp);
}

// The device stops or goes away: every request it holds ends now, and new
// ones fail. hidclass's reading thread is among them: the collection's
// removal waits for that thread, so a read left pending would hang the
// removal, and with it the prefix's shutdown.
void stopdevice() {
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    state->started = false;
    PIRP read = claim(state->read);
    PIRP write = claim(state->held);
    KeReleaseSpinLock(&state->lock, irql);
    if (read != nullptr) {
        complete(read, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    if (write != nullptr) {
        complete(write, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
}

// PnP requests go on to the driver below, after the device's own part.
NTSTATUS NTAPI pnp(PDEVICE_OBJECT device, PIRP irp) {
    if (device != control_device) {
        switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
            case IRP_MN_START_DEVICE:
                state->started = true;
                break;
            case IRP_MN_STOP_DEVICE:
            case IRP_MN_SURPRISE_REMOVAL:
            case IRP_MN_REMOVE_DEVICE:
                stopdevice();
                break;
            default:
                break;
        }
    }
    return passdown(device, irp);
}

NTSTATUS NTAPI adddevice(PDRIVER_OBJECT, PDEVICE_OBJECT) {
    return STATUS_SUCCESS;
}

// --- The control device. ---

NTSTATUS controlstatus(PIRP irp, ULONG room) {
    virtualtorvik::Status status = {};
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    status.reports_taken = state->reports_taken;
    status.reports_delivered = state->reports_delivered;
    status.strings_read = state->strings_read;
    status.blocks_stored = static_cast<uint32_t>(state->blocks_stored);
    status.bad_frames = static_cast<uint32_t>(state->core.badframes());
    status.out_of_order = static_cast<uint32_t>(state->core.outoforder());
    status.restarted = state->core.restarted();
    status.unplugged = state->core.unplugged();
    KeReleaseSpinLock(&state->lock, irql);
    return answerwith(irp, irp->AssociatedIrp.SystemBuffer, room, &status, sizeof status);
}

NTSTATUS controlreadblock(PIRP irp, ULONG input_length, ULONG room) {
    void* buffer = irp->AssociatedIrp.SystemBuffer;
    if (input_length < sizeof(uint16_t) || room < devicecore::BLOCK_BYTES) {
        return answer(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    const uint16_t block_number = *static_cast<const uint16_t*>(buffer);
    NTSTATUS status = STATUS_NOT_FOUND;
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    if (const uint8_t* block = findstored(state, block_number)) {
        copybytes(buffer, block, devicecore::BLOCK_BYTES);
        status = STATUS_SUCCESS;
    }
    KeReleaseSpinLock(&state->lock, irql);
    return answer(irp, status, NT_SUCCESS(status) ? devicecore::BLOCK_BYTES : 0);
}

NTSTATUS controlreset(PIRP irp, ULONG input_length) {
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    const bool accepted =
        virtualtorvik::acceptreset(irp->AssociatedIrp.SystemBuffer, input_length, state->incoming);
    if (accepted) {
        startover(state->incoming);
    }
    KeReleaseSpinLock(&state->lock, irql);
    return answer(irp, accepted ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER, 0);
}

NTSTATUS controlrequest(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG input_length = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case virtualtorvik::IOCTL_VIRTUAL_TORVIK_RESET:
            return controlreset(irp, input_length);
        case virtualtorvik::IOCTL_VIRTUAL_TORVIK_STATUS:
            return controlstatus(irp, room);
        case virtualtorvik::IOCTL_VIRTUAL_TORVIK_READ_BLOCK:
            return controlreadblock(irp, input_length, room);
        default:
            return answer(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

NTSTATUS NTAPI create(PDEVICE_OBJECT device, PIRP irp) {
    return device == control_device ? answer(irp, STATUS_SUCCESS, 0) : hid_create(device, irp);
}

NTSTATUS NTAPI close(PDEVICE_OBJECT device, PIRP irp) {
    return device == control_device ? answer(irp, STATUS_SUCCESS, 0) : hid_close(device, irp);
}

NTSTATUS NTAPI cleanup(PDEVICE_OBJECT device, PIRP irp) {
    return device == control_device ? answer(irp, STATUS_SUCCESS, 0) : hid_cleanup(device, irp);
}

NTSTATUS NTAPI devicecontrol(PDEVICE_OBJECT device, PIRP irp) {
    return device == control_device ? controlrequest(irp) : hid_device_control(device, irp);
}

// Who may open the control device: SYSTEM and the administrators, with
// every right; SDDL D:P(A;;GA;;;SY)(A;;GA;;;BA). Anyone else could reset
// the device under the updater. The usual way, IoCreateDeviceSecure with
// that SDDL, lives in wdmsec.lib, which MinGW-w64 does not have (Windows'
// ntoskrnl does not export it), and it sets the DACL with
// ObSetSecurityObjectByPointer, which Wine 8 leaves unimplemented. Setting
// it through a kernel handle to the device object does the same on Windows
// and loads under Wine.

// A SID of at most two subauthorities, laid out as the kernel reads one.
struct SmallSid {
    UCHAR revision;
    UCHAR subauthority_count;
    UCHAR authority[6];
    ULONG subauthorities[2];
};
constexpr UCHAR SID_REVISION = 1;
constexpr UCHAR NT_AUTHORITY = 5;
const SmallSid LOCAL_SYSTEM = {SID_REVISION, 1, {0, 0, 0, 0, 0, NT_AUTHORITY}, {18, 0}};
const SmallSid ADMINISTRATORS = {SID_REVISION, 2, {0, 0, 0, 0, 0, NT_AUTHORITY}, {32, 544}};
const SmallSid* const ADMITTED[] = {&LOCAL_SYSTEM, &ADMINISTRATORS};

// An ACCESS_ALLOWED_ACE: its header and mask, then the SID.
constexpr ULONG ACE_BYTES_BEFORE_SID = 8;
constexpr ULONG DACL_BYTES =
    sizeof(ACL) + 2 * ACE_BYTES_BEFORE_SID + sizeof LOCAL_SYSTEM + sizeof ADMINISTRATORS;

// A security descriptor in absolute form (winnt.h's SECURITY_DESCRIPTOR,
// which wdm.h leaves out).
struct SecurityDescriptor {
    UCHAR revision;
    UCHAR reserved;
    USHORT control;
    PSID owner;
    PSID group;
    PACL sacl;
    PACL dacl;
};
// The DACL is the whole of it: nothing is inherited into it.
constexpr USHORT DACL_PROTECTED = 0x1000;

NTSTATUS admitonlyadministrators(PDEVICE_OBJECT device) {
    static_assert(DACL_BYTES % sizeof(ULONG) == 0, "an ACL is whole ULONGs");
    ULONG dacl_room[DACL_BYTES / sizeof(ULONG)];  // an ACL starts ULONG-aligned
    auto* dacl = reinterpret_cast<PACL>(dacl_room);
    NTSTATUS status = RtlCreateAcl(dacl, sizeof dacl_room, ACL_REVISION);
    for (const SmallSid* sid : ADMITTED) {
        if (NT_SUCCESS(status)) {
            status =
                RtlAddAccessAllowedAce(dacl, ACL_REVISION, GENERIC_ALL, const_cast<SmallSid*>(sid));
        }
    }
    SecurityDescriptor descriptor;
    if (NT_SUCCESS(status)) {
        status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    }
    if (NT_SUCCESS(status)) {
        status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, dacl, FALSE);
    }
    HANDLE handle = nullptr;
    if (NT_SUCCESS(status)) {
        descriptor.control |= DACL_PROTECTED;
        status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, nullptr, WRITE_DAC, nullptr,
                                       KernelMode, &handle);
    }
    if (NT_SUCCESS(status)) {
        status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
        ZwClose(handle);
    }
    return status;
}

void deletecontrol() {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, virtualtorvik::LINK_NAME);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(control_device);
    control_device = nullptr;
}

NTSTATUS createcontrol(PDRIVER_OBJECT driver) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    RtlInitUnicodeString(&name, virtualtorvik::DEVICE_NAME);
    RtlInitUnicodeString(&link, virtualtorvik::LINK_NAME);
    // Secure open: the DACL also holds for names below the device's
    // (\\.\VirtualTorvikControl\x), which the I/O manager would otherwise
    // leave to the driver.
    NTSTATUS status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN,
                                     FALSE, &control_device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    // Before the link: the device is never reachable without its DACL.
    status = admitonlyadministrators(control_device);
    if (NT_SUCCESS(status)) {
        status = IoCreateSymbolicLink(&link, &name);
    }
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(control_device);
        control_device = nullptr;
        return status;
    }
    control_device->Flags |= DO_BUFFERED_IO;
    control_device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

void stopworker() {
    state->stopping = true;
    wakeworker();
    ZwWaitForSingleObject(state->worker, FALSE, nullptr);
    ZwClose(state->worker);
}

VOID NTAPI unload(PDRIVER_OBJECT) {
    stopworker();
    deletecontrol();
    ExFreePoolWithTag(state, POOL_TAG);
    state = nullptr;
}

NTSTATUS startworker() {
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    return PsCreateSystemThread(&state->worker, THREAD_ALL_ACCESS, &attributes, nullptr, nullptr,
                                worker, nullptr);
}

NTSTATUS registerwithhidclass(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = internalcontrol;
    driver->MajorFunction[IRP_MJ_PNP] = pnp;
    driver->MajorFunction[IRP_MJ_POWER] = passdown;
    driver->DriverExtension->AddDevice = adddevice;
    driver->DriverUnload = unload;

    MinidriverRegistration registration = {};
    registration.revision = HID_REVISION;
    registration.driver = driver;
    registration.registry_path = registry_path;
    registration.device_extension_size = 0;
    registration.devices_are_polled = FALSE;
    const NTSTATUS status = HidRegisterMinidriver(&registration);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    // hidclass has put in its own routines; the control device's requests
    // are taken out before them.
    hid_create = driver->MajorFunction[IRP_MJ_CREATE];
    hid_close = driver->MajorFunction[IRP_MJ_CLOSE];
    hid_cleanup = driver->MajorFunction[IRP_MJ_CLEANUP];
    hid_device_control = driver->MajorFunction[IRP_MJ_DEVICE_CONTROL];
    driver->MajorFunction[IRP_MJ_CREATE] = create;
    driver->MajorFunction[IRP_MJ_CLOSE] = close;
    driver->MajorFunction[IRP_MJ_CLEANUP] = cleanup;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = devicecontrol;
    return STATUS_SUCCESS;
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
    state = static_cast<DeviceState*>(
        ExAllocatePoolWithTag(NonPagedPool, sizeof(DeviceState), POOL_TAG));
    if (state == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    KeInitializeSpinLock(&state->lock);
    KeInitializeEvent(&state->wake, SynchronizationEvent, FALSE);
    state->stopping = false;
    state->started = false;
    state->read = nullptr;
    state->held = nullptr;
    startover(POWER_ON);

    NTSTATUS status = startworker();
    if (NT_SUCCESS(status)) {
        status = createcontrol(driver);
        if (!NT_SUCCESS(status)) {
            stopworker();
        }
    }
    if (NT_SUCCESS(status)) {
        status = registerwithhidclass(driver, registry_path);
        if (!NT_SUCCESS(status)) {
            deletecontrol();
            stopworker();
        }
    }
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(state, POOL_TAG);
        state = nullptr;
        return status;
    }
    DbgPrint("virtual-torvik: started\n");
    return STATUS_SUCCESS;
}
