// The stand-in's Windows functions over Linux: SetupAPI's enumeration over
// /sys/class/hidraw, hid.dll's queries over sysfs and usbfs, and kernel32's
// overlapped I/O over the hidraw device nodes.
//
// Rules it keeps, as Windows does for the updater:
// - WriteFile and ReadFile start an operation and return at once, finished or
//   pending; the event is reset when an operation starts and signalled when it
//   ends, also when it ends with an error. A call that fails at once leaves
//   the event alone.
// - Once an operation has ended, nothing touches its buffer, I/O context or
//   event again. A write copies the caller's report when it starts.
// - A read completes at once when a report is already queued, so that a
//   0 ms wait sees it.
// - Nothing outlives CloseHandle: the writer thread of a device handle is
//   joined there.
// All state is behind one mutex: the program runs one operation at a time,
// and one lock is easiest to see correct.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/seams.h"
#include "platform/linux/sysfs.h"
#include "platform/standin/windows.h"
#include "torvik_config.h"
#include "torvikupdate.h"

namespace {

using Clock = std::chrono::steady_clock;

const GUID HID_INTERFACE_CLASS = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// Where Windows keeps an operation's status while it runs.
constexpr ULONG_PTR STATUS_PENDING_CODE = 0x103;
constexpr DWORD ERROR_FILE_NOT_FOUND_CODE = 2;
constexpr DWORD ERROR_ACCESS_DENIED_CODE = 5;
constexpr DWORD ERROR_GEN_FAILURE_CODE = 31;
constexpr DWORD SPINT_ACTIVE_FLAG = 1;
// The longest report the updater moves.
constexpr DWORD REPORT_BYTES_MAX = 64;

enum class Kind { DEVICE, EVENT, SET };

struct Object {
    explicit Object(Kind of_kind) : kind(of_kind) {}
    virtual ~Object() = default;
    Kind kind;
};

struct Device;

struct Event : Object {
    explicit Event(bool initial) : Object(Kind::EVENT), signalled(initial) {}
    bool signalled;
    // The device whose pending read signals this event: waiting on the event
    // is what polls for that read's report.
    Device* reading = nullptr;
};

struct PendingRead {
    OVERLAPPED* io = nullptr;  // nullptr: no read pending
    std::uint8_t* buffer = nullptr;
    DWORD size = 0;
    Event* event = nullptr;
};

struct Writer {
    std::thread thread;
    std::condition_variable wake;
    bool queued = false;  // a write waits for the thread to start it
    bool stop = false;
    bool cancelled = false;
    OVERLAPPED* io = nullptr;  // nullptr: no write pending
    Event* event = nullptr;
    std::array<std::uint8_t, REPORT_BYTES_MAX> data{};
    DWORD size = 0;
};

struct Device : Object {
    Device(int descriptor, std::string entry)
        : Object(Kind::DEVICE), fd(descriptor), name(std::move(entry)) {}
    int fd;
    std::string name;   // the sysfs entry, hidrawN
    bool gone = false;  // unplugged: every later write and read fails at once
    PendingRead read;
    Writer writer;
};

struct DeviceSet : Object {
    DeviceSet() : Object(Kind::SET) {}
    std::vector<std::string> names;
};

// Never destroyed: a writer thread may still wait on these while the process
// ends through exit() (the updater ends a failed run that way).
struct State {
    std::mutex mutex;
    std::condition_variable changed;  // an operation ended
    std::set<const Object*> live;
};

State& state() {
    static State* the_state = new State;
    return *the_state;
}

thread_local DWORD last_error = ERROR_SUCCESS;

BOOL fail(DWORD error) {
    last_error = error;
    return FALSE;
}

DWORD errorcode(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND_CODE;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED_CODE;
        case ENODEV:
        case ENXIO:
        case ESHUTDOWN:
        case EPIPE:
            return ERROR_DEVICE_NOT_CONNECTED;
        default:
            return ERROR_GEN_FAILURE_CODE;
    }
}

template <typename Type>
Type* liveobject(HANDLE handle, Kind kind) {
    auto* object = static_cast<const Object*>(handle);
    if (state().live.count(object) == 0 || object->kind != kind) {
        return nullptr;
    }
    return static_cast<Type*>(const_cast<Object*>(object));
}

HANDLE add(Object* object) {
    state().live.insert(object);
    return object;
}

// ---- ending operations ------------------------------------------------------

void signal(Event* event) {
    event->signalled = true;
    state().changed.notify_all();
}

void endread(Device* device, DWORD status, DWORD transferred) {
    PendingRead& read = device->read;
    read.io->Internal = status;
    read.io->InternalHigh = transferred;
    read.event->reading = nullptr;
    signal(read.event);
    read = PendingRead{};
}

void markgone(Device* device, int error) {
    if (errorcode(error) == ERROR_DEVICE_NOT_CONNECTED) {
        device->gone = true;
    }
}

enum class Outcome { DELIVERED, FAILED, WAITING };

// hidraw gives one input report per read(). For a device without numbered
// reports (the Torvik's: the updater writes report ID 0, which Windows only
// takes from such a device) the data starts at the first byte, without the
// report ID byte that Windows puts in front (Documentation/hid/hidraw.rst).
// The 0 goes back in front so that the updater sees the 64-byte report it
// expects.
void deliver(Device* device, const std::uint8_t* report, std::size_t length) {
    PendingRead& read = device->read;
    const std::size_t copied = std::min<std::size_t>(length, read.size - 1);
    read.buffer[0] = 0;
    std::memcpy(read.buffer + 1, report, copied);
    endread(device, ERROR_SUCCESS, static_cast<DWORD>(copied + 1));
}

// Polls the device for the pending read's report for up to `timeout`
// (nullopt: no limit) and takes it when one is there. The lock is let go
// while poll(2) waits, so that the writer thread can end its write meanwhile.
Outcome pollread(std::unique_lock<std::mutex>& lock, Device* device,
                 std::optional<Clock::duration> timeout) {
    pollfd watched = {device->fd, POLLIN, 0};
    timespec limit = {};
    if (timeout) {
        const auto nanoseconds = std::chrono::nanoseconds(std::max(*timeout, Clock::duration{}));
        limit.tv_sec = static_cast<time_t>(nanoseconds.count() / 1000000000);
        limit.tv_nsec = static_cast<long>(nanoseconds.count() % 1000000000);
    }
    std::array<std::uint8_t, REPORT_BYTES_MAX> report{};
    lock.unlock();
    const int ready = ppoll(&watched, 1, timeout ? &limit : nullptr, nullptr);
    ssize_t length = -1;
    int error = errno;
    if (ready > 0 && (watched.revents & POLLIN)) {
        length = read(device->fd, report.data(), report.size());
        // A read of nothing is the end of the node: its device is gone.
        error = length < 0 ? errno : ENODEV;
    }
    lock.lock();
    if (device->read.io == nullptr) {
        return Outcome::FAILED;  // cancelled meanwhile
    }
    if (length > 0) {
        deliver(device, report.data(), static_cast<std::size_t>(length));
        return Outcome::DELIVERED;
    }
    const bool nothing_yet =
        ready == 0 || (ready < 0 && error == EINTR) ||
        (ready > 0 && (watched.revents & POLLIN) && (error == EAGAIN || error == EINTR));
    if (nothing_yet) {
        return Outcome::WAITING;
    }
    // hidraw's poll reports POLLERR | POLLHUP once the device is gone.
    device->gone = device->gone || ready > 0;
    markgone(device, error);
    return Outcome::FAILED;
}

// ---- the writer thread ------------------------------------------------------

// A hidraw write returns only when the device has taken the report, or after
// the kernel's USB time-out, and nothing can interrupt it; so writes run on a
// thread of their own, and cancelling one means waiting for its end.
void writeloop(Device* device) {
    Writer& writer = device->writer;
    std::unique_lock<std::mutex> lock(state().mutex);
    for (;;) {
        writer.wake.wait(lock, [&] { return writer.queued || writer.stop; });
        if (!writer.queued) {
            return;
        }
        writer.queued = false;
        const auto data = writer.data;
        const DWORD size = writer.size;
        lock.unlock();
        ssize_t written;
        do {
            written = write(device->fd, data.data(), size);
        } while (written < 0 && errno == EINTR);
        const int error = errno;
        lock.lock();
        OVERLAPPED* io = writer.io;
        if (written == static_cast<ssize_t>(size)) {
            io->Internal = ERROR_SUCCESS;
        } else {
            markgone(device, error);
            // A cancelled write that the device did not take ends as Windows
            // ends a cancelled one.
            io->Internal = writer.cancelled ? ERROR_OPERATION_ABORTED
                           : written >= 0   ? ERROR_GEN_FAILURE_CODE
                                            : errorcode(error);
        }
        io->InternalHigh = written > 0 ? static_cast<ULONG_PTR>(written) : 0;
        writer.io = nullptr;
        writer.cancelled = false;
        writer.event->signalled = true;
        // The waiter wakes to a free lock, not to one this thread still holds.
        lock.unlock();
        state().changed.notify_all();
        lock.lock();
    }
}

bool writesignals(const Event* event) {
    for (const Object* object : state().live) {
        if (object->kind == Kind::DEVICE) {
            const Writer& writer = static_cast<const Device*>(object)->writer;
            if (writer.io != nullptr && writer.event == event) {
                return true;
            }
        }
    }
    return false;
}

void stopwriter(std::unique_lock<std::mutex>& lock, Device* device) {
    Writer& writer = device->writer;
    state().changed.wait(lock, [&] { return writer.io == nullptr; });
    if (writer.thread.joinable()) {
        writer.stop = true;
        writer.wake.notify_one();
        lock.unlock();
        writer.thread.join();
        lock.lock();
    }
}

// ---- starting operations ----------------------------------------------------

struct Start {
    Device* device;
    Event* event;
};

// The checks both directions share. Fails (nullopt, last error set) when the
// operation cannot start at all.
std::optional<Start> startcheck(HANDLE file, DWORD bytes, LPOVERLAPPED io) {
    auto* device = liveobject<Device>(file, Kind::DEVICE);
    if (device == nullptr) {
        fail(ERROR_INVALID_HANDLE);
        return std::nullopt;
    }
    auto* event = io != nullptr ? liveobject<Event>(io->hEvent, Kind::EVENT) : nullptr;
    if (event == nullptr || bytes < 2 || bytes > REPORT_BYTES_MAX) {
        fail(ERROR_INVALID_PARAMETER);
        return std::nullopt;
    }
    if (device->gone) {
        fail(ERROR_DEVICE_NOT_CONNECTED);
        return std::nullopt;
    }
    return Start{device, event};
}

void markpending(LPOVERLAPPED io, Event* event) {
    event->signalled = false;
    io->Internal = STATUS_PENDING_CODE;
    io->InternalHigh = 0;
}

std::optional<Clock::duration> remaining(std::optional<Clock::time_point> deadline) {
    if (!deadline) {
        return std::nullopt;
    }
    return std::max(*deadline - Clock::now(), Clock::duration{});
}

// The one line the Linux program adds: a Torvik is there, but its node may
// not be opened by this user.
void reportnopermission(const char* path) {
    const auto identity = linuxhid::hididentity(linuxhid::entryname(path));
    if (!identity || identity->vendor_id != TORVIK_VENDOR_ID ||
        identity->product_id != TORVIK_PRODUCT_ID) {
        return;
    }
    std::fprintf(stderr,
                 "torvikupdate: no permission to open %s (the Torvik): install the udev rule "
                 "70-torvik.rules as the README says, or run as root\n",
                 path);
}

}  // namespace

// ---- kernel32 ---------------------------------------------------------------

DWORD GetLastError() {
    return last_error;
}

HANDLE CreateFileA(LPCSTR file_name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    // Non-blocking, so that a read taken after poll(2) said "ready" never
    // waits; hidraw's writes block all the same.
    const int descriptor = linuxhid::opennode(file_name, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            reportnopermission(file_name);
        }
        last_error = errorcode(error);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::mutex> lock(state().mutex);
    return add(new Device(descriptor, linuxhid::entryname(file_name)));
}

BOOL CloseHandle(HANDLE object) {
    std::unique_lock<std::mutex> lock(state().mutex);
    if (auto* device = liveobject<Device>(object, Kind::DEVICE)) {
        if (device->read.io != nullptr) {
            endread(device, ERROR_OPERATION_ABORTED, 0);
        }
        stopwriter(lock, device);
        state().live.erase(device);
        close(device->fd);
        delete device;
        return TRUE;
    }
    if (auto* event = liveobject<Event>(object, Kind::EVENT)) {
        if (event->reading != nullptr) {
            endread(event->reading, ERROR_OPERATION_ABORTED, 0);
        }
        // A write still running signals its event when it ends: the event
        // lives until then.
        state().changed.wait(lock, [&] { return !writesignals(event); });
        state().live.erase(event);
        delete event;
        return TRUE;
    }
    return fail(ERROR_INVALID_HANDLE);
}

HLOCAL LocalAlloc(UINT, SIZE_T bytes) {
    HLOCAL memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) {
        last_error = ERROR_NOT_ENOUGH_MEMORY;
    }
    return memory;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

// The updater's events are all manual-reset and unnamed.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL initial_state, LPCSTR) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return add(new Event(initial_state != FALSE));
}

BOOL ResetEvent(HANDLE event) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto* live = liveobject<Event>(event, Kind::EVENT);
    if (live == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    live->signalled = false;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
               LPOVERLAPPED overlapped) {
    if (bytes_written != nullptr) {
        *bytes_written = 0;
    }
    std::unique_lock<std::mutex> lock(state().mutex);
    const auto start = startcheck(file, bytes_to_write, overlapped);
    if (!start) {
        return FALSE;
    }
    Writer& writer = start->device->writer;
    if (writer.io != nullptr) {
        return fail(ERROR_INVALID_PARAMETER);  // one write at a time per handle
    }
    // hidraw takes the report ID as the first byte of a write: 0 for a device
    // without numbered reports, which is what the updater writes.
    std::memcpy(writer.data.data(), buffer, bytes_to_write);
    writer.size = bytes_to_write;
    writer.io = overlapped;
    writer.event = start->event;
    writer.queued = true;
    markpending(overlapped, start->event);
    if (!writer.thread.joinable()) {
        writer.thread = std::thread(writeloop, start->device);
    }
    lock.unlock();
    writer.wake.notify_one();
    return fail(ERROR_IO_PENDING);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes_to_read, LPDWORD bytes_read,
              LPOVERLAPPED overlapped) {
    if (bytes_read != nullptr) {
        *bytes_read = 0;
    }
    std::unique_lock<std::mutex> lock(state().mutex);
    const auto start = startcheck(file, bytes_to_read, overlapped);
    if (!start) {
        return FALSE;
    }
    Device* device = start->device;
    if (device->read.io != nullptr || start->event->reading != nullptr) {
        return fail(ERROR_INVALID_PARAMETER);  // one read at a time per handle and event
    }
    markpending(overlapped, start->event);
    device->read = {overlapped, static_cast<std::uint8_t*>(buffer), bytes_to_read, start->event};
    start->event->reading = device;
    switch (pollread(lock, device, Clock::duration{})) {
        case Outcome::DELIVERED:
            if (bytes_read != nullptr) {
                *bytes_read = static_cast<DWORD>(overlapped->InternalHigh);
            }
            return TRUE;
        case Outcome::FAILED:
            // As on Windows, the event was reset when the read began, and a
            // call that fails at once does not signal it.
            if (device->read.io != nullptr) {
                device->read.event->reading = nullptr;
                device->read = PendingRead{};
            }
            overlapped->Internal = ERROR_DEVICE_NOT_CONNECTED;
            return fail(ERROR_DEVICE_NOT_CONNECTED);
        case Outcome::WAITING:
            break;
    }
    return fail(ERROR_IO_PENDING);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::unique_lock<std::mutex> lock(state().mutex);
    auto* event = liveobject<Event>(handle, Kind::EVENT);
    if (event == nullptr) {
        last_error = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    std::optional<Clock::time_point> deadline;
    if (milliseconds != INFINITE) {
        deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    }
    while (!event->signalled) {
        if (Device* device = event->reading) {
            if (pollread(lock, device, remaining(deadline)) == Outcome::FAILED &&
                device->read.io != nullptr) {
                endread(device, ERROR_DEVICE_NOT_CONNECTED, 0);
            }
            if (!event->signalled && deadline && Clock::now() >= *deadline) {
                return WAIT_TIMEOUT;
            }
        } else if (!deadline) {
            state().changed.wait(lock);
        } else if (state().changed.wait_until(lock, *deadline) == std::cv_status::timeout &&
                   !event->signalled) {
            return WAIT_TIMEOUT;
        }
    }
    return WAIT_OBJECT_0;
}

BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto* device = liveobject<Device>(file, Kind::DEVICE);
    if (device == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    bool found = false;
    if (device->read.io != nullptr && (overlapped == nullptr || device->read.io == overlapped)) {
        endread(device, ERROR_OPERATION_ABORTED, 0);
        found = true;
    }
    Writer& writer = device->writer;
    if (writer.io != nullptr && (overlapped == nullptr || writer.io == overlapped)) {
        // A write already in the kernel ends on its own: the caller's wait
        // for its result is what makes sure it has ended.
        writer.cancelled = true;
        found = true;
    }
    return found ? TRUE : fail(ERROR_NOT_FOUND);
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytes_transferred,
                         BOOL wait) {
    std::unique_lock<std::mutex> lock(state().mutex);
    auto* device = liveobject<Device>(file, Kind::DEVICE);
    if (device == nullptr || overlapped == nullptr) {
        return fail(device == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    }
    for (;;) {
        const bool reading = device->read.io == overlapped;
        if (!reading && device->writer.io != overlapped) {
            break;
        }
        if (!wait) {
            return fail(ERROR_IO_INCOMPLETE);
        }
        if (!reading) {
            state().changed.wait(lock);
        } else if (pollread(lock, device, std::nullopt) == Outcome::FAILED &&
                   device->read.io == overlapped) {
            endread(device, ERROR_DEVICE_NOT_CONNECTED, 0);
        }
    }
    // Like Windows, the answer comes from the I/O context alone.
    if (bytes_transferred != nullptr) {
        *bytes_transferred = static_cast<DWORD>(overlapped->InternalHigh);
    }
    if (overlapped->Internal != ERROR_SUCCESS) {
        return fail(static_cast<DWORD>(overlapped->Internal));
    }
    return TRUE;
}

// ---- setupapi ---------------------------------------------------------------

HDEVINFO SetupDiGetClassDevsA(const GUID* class_guid, PCSTR, HWND, DWORD) {
    auto* set = new DeviceSet;
    if (class_guid != nullptr && std::memcmp(class_guid, &HID_INTERFACE_CLASS, sizeof(GUID)) == 0) {
        set->names = linuxhid::hidrawnames();
    }
    std::lock_guard<std::mutex> lock(state().mutex);
    return add(set);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO device_info_set, PSP_DEVINFO_DATA,
                                 const GUID* interface_class_guid, DWORD member_index,
                                 PSP_DEVICE_INTERFACE_DATA device_interface_data) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto* set = liveobject<DeviceSet>(device_info_set, Kind::SET);
    if (set == nullptr || device_interface_data == nullptr || interface_class_guid == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (member_index >= set->names.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    device_interface_data->InterfaceClassGuid = *interface_class_guid;
    device_interface_data->Flags = SPINT_ACTIVE_FLAG;
    device_interface_data->Reserved = member_index + 1;
    return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO device_info_set,
                                      PSP_DEVICE_INTERFACE_DATA device_interface_data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detail_size,
                                      PDWORD required_size, PSP_DEVINFO_DATA) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto* set = liveobject<DeviceSet>(device_info_set, Kind::SET);
    if (set == nullptr || device_interface_data == nullptr ||
        device_interface_data->Reserved == 0 ||
        device_interface_data->Reserved > set->names.size()) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::string path = linuxhid::nodepath(set->names[device_interface_data->Reserved - 1]);
    const auto needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                           path.size() + 1);
    if (required_size != nullptr) {
        *required_size = needed;
    }
    if (detail == nullptr || detail_size < needed) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO device_info_set) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto* set = liveobject<DeviceSet>(device_info_set, Kind::SET);
    if (set == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    state().live.erase(set);
    delete set;
    return TRUE;
}

// ---- hid --------------------------------------------------------------------

namespace {

// The sysfs entry of a device handle, or nullopt for anything else.
std::optional<std::string> entryof(HANDLE handle) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto* device = liveobject<Device>(handle, Kind::DEVICE);
    if (device == nullptr) {
        return std::nullopt;
    }
    return device->name;
}

}  // namespace

void HidD_GetHidGuid(LPGUID hid_guid) {
    *hid_guid = HID_INTERFACE_CLASS;
}

BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
    const auto name = entryof(device);
    const auto identity = name ? linuxhid::hididentity(*name) : std::nullopt;
    const auto version = identity ? linuxhid::versionnumber(*name) : std::nullopt;
    if (!version) {
        return FALSE;
    }
    attributes->Size = sizeof(HIDD_ATTRIBUTES);
    attributes->VendorID = identity->vendor_id;
    attributes->ProductID = identity->product_id;
    attributes->VersionNumber = *version;
    return TRUE;
}

BOOLEAN HidD_GetIndexedString(HANDLE device, ULONG string_index, PVOID buffer,
                              ULONG buffer_length) {
    const auto name = entryof(device);
    const auto text = name ? linuxhid::usbstring(*name, string_index) : std::nullopt;
    if (!text) {
        return FALSE;
    }
    // As Windows does: as many code units as fit, and a terminating zero only
    // when there is room for it.
    const std::size_t room = buffer_length / sizeof(char16_t);
    const std::size_t units = std::min(text->size(), room);
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::size_t i = 0; i < units; ++i) {
        out[2 * i] = static_cast<std::uint8_t>((*text)[i] & 0xFF);
        out[2 * i + 1] = static_cast<std::uint8_t>((*text)[i] >> 8);
    }
    if (units < room) {
        out[2 * units] = 0;
        out[2 * units + 1] = 0;
    }
    return TRUE;
}
