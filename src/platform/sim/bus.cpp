#include "platform/sim/bus.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace sim {

const GUID HID_INTERFACE_CLASS = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

namespace {

// Where Windows keeps an operation's status while it runs.
constexpr ULONG_PTR STATUS_PENDING = 0x103;
constexpr DWORD ERROR_ACCESS_DENIED_CODE = 5;

std::string describe(HANDLE handle) {
    std::ostringstream text;
    text << "handle " << handle;
    return text.str();
}

bool sameguid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

}  // namespace

Bus& bus() {
    static Bus the_bus;
    return the_bus;
}

void Bus::reset() {
    for (auto& [memory, size] : allocations_) {
        std::free(memory);
    }
    *this = Bus();
}

void Bus::add(Interface interface) {
    interfaces_.push_back(std::move(interface));
}

std::vector<std::string> Bus::openpaths() const {
    std::vector<std::string> paths;
    for (const auto& [value, entry] : handles_) {
        if (entry.kind == Kind::DEVICE && entry.open) {
            paths.push_back(interfaces_[entry.interface].path);
        }
    }
    return paths;
}

void Bus::violation(std::string what) {
    violations_.push_back(std::move(what));
}

BOOL Bus::fail(DWORD error) {
    last_error_ = error;
    return FALSE;
}

HANDLE Bus::newhandle(HandleEntry entry) {
    const std::uintptr_t value = next_handle_;
    next_handle_ += 4;  // never reused, so a stale handle is always caught
    handles_.emplace(value, std::move(entry));
    return reinterpret_cast<HANDLE>(value);
}

Bus::HandleEntry* Bus::live(HANDLE handle, Kind kind, const char* function) {
    auto found = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == handles_.end() || found->second.kind != kind) {
        violation(std::string(function) + ": not a handle of the right kind: " + describe(handle));
        return nullptr;
    }
    if (!found->second.open) {
        violation(std::string(function) + ": used after it was closed: " + describe(handle));
        return nullptr;
    }
    return &found->second;
}

Device* Bus::deviceof(const HandleEntry& entry) {
    return interfaces_[entry.interface].device.get();
}

// ---- setupapi and hid ------------------------------------------------------

HDEVINFO Bus::getclassdevs(const GUID* class_guid, PCSTR enumerator, HWND parent, DWORD flags) {
    if (class_guid == nullptr || enumerator != nullptr || parent != nullptr ||
        flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
        violation(
            "SetupDiGetClassDevsA: expected a class, no enumerator, no window and "
            "DIGCF_PRESENT | DIGCF_DEVICEINTERFACE");
    }
    if (set_cannot_be_built) {
        last_error_ = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    HandleEntry set(Kind::SET);
    if (class_guid != nullptr && sameguid(*class_guid, HID_INTERFACE_CLASS)) {
        for (std::size_t i = 0; i < interfaces_.size(); ++i) {
            set.members.push_back(i);
        }
    }
    ++accounting_.sets_built;
    return newhandle(std::move(set));
}

BOOL Bus::enumdeviceinterfaces(HDEVINFO set, PSP_DEVINFO_DATA device_info, const GUID* class_guid,
                               DWORD index, PSP_DEVICE_INTERFACE_DATA interface_data) {
    HandleEntry* entry = live(set, Kind::SET, "SetupDiEnumDeviceInterfaces");
    if (entry == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (device_info != nullptr || interface_data == nullptr ||
        interface_data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        violation("SetupDiEnumDeviceInterfaces: the record's size field must be its size");
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    if (class_guid == nullptr || !sameguid(*class_guid, HID_INTERFACE_CLASS) ||
        index >= entry->members.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    interface_data->InterfaceClassGuid = HID_INTERFACE_CLASS;
    interface_data->Flags = 1;  // SPINT_ACTIVE
    interface_data->Reserved = entry->members[index] + 1;
    return TRUE;
}

BOOL Bus::getdeviceinterfacedetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interface_data,
                                   PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detail_size,
                                   PDWORD required_size, PSP_DEVINFO_DATA device_info) {
    HandleEntry* entry = live(set, Kind::SET, "SetupDiGetDeviceInterfaceDetailA");
    if (entry == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (interface_data == nullptr || interface_data->Reserved == 0 ||
        interface_data->Reserved > interfaces_.size() || device_info != nullptr) {
        violation("SetupDiGetDeviceInterfaceDetailA: not an interface record of this set");
        return fail(ERROR_INVALID_PARAMETER);
    }
    const Interface& interface = interfaces_[interface_data->Reserved - 1];
    const DWORD needed = static_cast<DWORD>(
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + interface.path.size() + 1);
    if (detail == nullptr) {
        if (required_size != nullptr && interface.size_reported) {
            *required_size = needed;
        }
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    // Windows checks the size field against the declared size of the record
    // type and refuses anything else, the buffer's size included.
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        violation("SetupDiGetDeviceInterfaceDetailA: size field " + std::to_string(detail->cbSize) +
                  " is not the record type's size " +
                  std::to_string(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)));
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    auto allocation = allocations_.find(detail);
    if (detail_size < needed ||
        (allocation != allocations_.end() && allocation->second < detail_size)) {
        violation("SetupDiGetDeviceInterfaceDetailA: the record's buffer is too small");
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (!interface.detail_readable) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    std::memcpy(detail->DevicePath, interface.path.c_str(), interface.path.size() + 1);
    if (required_size != nullptr) {
        *required_size = needed;
    }
    return TRUE;
}

BOOL Bus::destroydeviceinfolist(HDEVINFO set) {
    HandleEntry* entry = live(set, Kind::SET, "SetupDiDestroyDeviceInfoList");
    if (entry == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    entry->open = false;
    ++accounting_.sets_destroyed;
    return TRUE;
}

HANDLE Bus::createfile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                       DWORD disposition, DWORD flags, HANDLE template_file) {
    if (access != (GENERIC_READ | GENERIC_WRITE) || share != (FILE_SHARE_READ | FILE_SHARE_WRITE) ||
        security != nullptr || disposition != OPEN_EXISTING || flags != FILE_FLAG_OVERLAPPED ||
        template_file != nullptr) {
        violation(std::string("CreateFileA: unexpected parameters for ") + path);
    }
    for (std::size_t i = 0; i < interfaces_.size(); ++i) {
        if (interfaces_[i].path == path) {
            if (!interfaces_[i].can_open) {
                last_error_ = ERROR_ACCESS_DENIED_CODE;
                return INVALID_HANDLE_VALUE;
            }
            ++accounting_.handles_opened;
            HandleEntry device(Kind::DEVICE);
            device.interface = i;
            return newhandle(std::move(device));
        }
    }
    last_error_ = 2;  // ERROR_FILE_NOT_FOUND
    return INVALID_HANDLE_VALUE;
}

BOOLEAN Bus::getattributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
    HandleEntry* entry = live(device, Kind::DEVICE, "HidD_GetAttributes");
    if (entry == nullptr || !interfaces_[entry->interface].attributes_readable) {
        return FALSE;
    }
    const Interface& interface = interfaces_[entry->interface];
    attributes->Size = sizeof(HIDD_ATTRIBUTES);
    attributes->VendorID = interface.vendor_id;
    attributes->ProductID = interface.product_id;
    attributes->VersionNumber = interface.version;
    return TRUE;
}

BOOLEAN Bus::getindexedstring(HANDLE device, ULONG index, PVOID buffer, ULONG length) {
    HandleEntry* entry = live(device, Kind::DEVICE, "HidD_GetIndexedString");
    if (entry == nullptr) {
        return FALSE;
    }
    const Interface& interface = interfaces_[entry->interface];
    if (index == 4) {
        accounting_.string4_reads.push_back({interface.path, length});
    }
    if (index != 4 || !interface.string4) {
        return FALSE;
    }
    // As Windows does: as many code units as fit, and a terminating zero only
    // when there is room for it.
    const std::u16string& text = *interface.string4;
    const std::size_t room = length / sizeof(char16_t);
    const std::size_t units = std::min(text.size(), room);
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::size_t i = 0; i < units; ++i) {
        out[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        out[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    if (units < room) {
        out[2 * units] = 0;
        out[2 * units + 1] = 0;
    }
    return TRUE;
}

// ---- kernel32: handles and memory ------------------------------------------

BOOL Bus::closehandle(HANDLE object) {
    auto found = handles_.find(reinterpret_cast<std::uintptr_t>(object));
    if (found == handles_.end() || found->second.kind == Kind::SET) {
        violation("CloseHandle: not a handle: " + describe(object));
        return fail(ERROR_INVALID_HANDLE);
    }
    HandleEntry& entry = found->second;
    if (!entry.open) {
        violation("CloseHandle: closed twice: " + describe(object));
        return fail(ERROR_INVALID_HANDLE);
    }
    for (const Operation& operation : operations_) {
        if (operation.event == object || operation.file == object) {
            violation("CloseHandle: an operation still pending uses " + describe(object));
        }
    }
    entry.open = false;
    if (entry.kind == Kind::DEVICE) {
        ++accounting_.handles_closed;
    } else {
        ++accounting_.events_closed;
    }
    return TRUE;
}

HLOCAL Bus::localalloc(UINT flags, SIZE_T bytes) {
    if (flags != LMEM_FIXED) {
        violation("LocalAlloc: only fixed memory is modelled");
    }
    if (allocation_fails) {
        last_error_ = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    allocations_[memory] = bytes;
    ++accounting_.records_allocated;
    return memory;
}

HLOCAL Bus::localfree(HLOCAL memory) {
    auto found = allocations_.find(memory);
    if (found == allocations_.end()) {
        violation("LocalFree: not an allocation, or freed twice");
        return memory;
    }
    std::free(memory);
    allocations_.erase(found);
    ++accounting_.records_freed;
    return nullptr;
}

HANDLE Bus::createevent(LPSECURITY_ATTRIBUTES security, BOOL manual_reset, BOOL initial_state,
                        LPCSTR name) {
    if (security != nullptr || !manual_reset || name != nullptr) {
        violation("CreateEventA: the updater's events are unnamed manual-reset events");
    }
    if (event_creation_fails || failing_event_creations.count(event_creations_++) != 0) {
        last_error_ = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    ++accounting_.events_created;
    HandleEntry event(Kind::EVENT);
    event.signalled = initial_state != FALSE;
    return newhandle(std::move(event));
}

BOOL Bus::resetevent(HANDLE event) {
    HandleEntry* entry = live(event, Kind::EVENT, "ResetEvent");
    if (entry == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    entry->signalled = false;
    entry->signal_outdated = false;
    return TRUE;
}

// ---- kernel32: overlapped I/O -----------------------------------------------

BOOL Bus::writefile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED io) {
    ++accounting_.writes;
    // The device only reads from the buffer of a write.
    auto* report = static_cast<std::uint8_t*>(const_cast<void*>(buffer));
    return startoperation(true, file, report, bytes, written, io);
}

BOOL Bus::readfile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED io) {
    ++accounting_.reads;
    return startoperation(false, file, static_cast<std::uint8_t*>(buffer), bytes, read, io);
}

BOOL Bus::startoperation(bool write, HANDLE file, std::uint8_t* buffer, DWORD bytes,
                         LPDWORD transferred, LPOVERLAPPED io) {
    const char* function = write ? "WriteFile" : "ReadFile";
    if (bytes != REPORT_BYTES) {
        violation(std::string(function) + ": a report moves as exactly 64 bytes");
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (transferred != nullptr) {
        *transferred = 0;
    }
    HandleEntry* entry = live(file, Kind::DEVICE, function);
    if (entry == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (io == nullptr) {
        violation(std::string(function) + ": the device is opened for overlapped I/O");
        return fail(ERROR_INVALID_PARAMETER);
    }
    for (const Operation& operation : operations_) {
        if (operation.io == io) {
            violation(std::string(function) +
                      ": started on an I/O context that still has an operation pending");
            return fail(ERROR_INVALID_PARAMETER);
        }
    }
    Device* device = deviceof(*entry);
    if (device != nullptr && device->unplugged()) {
        // Fails at once and leaves the event as it was: a signal it still
        // holds belongs to an earlier operation, not to this call.
        auto event = handles_.find(reinterpret_cast<std::uintptr_t>(io->hEvent));
        if (event != handles_.end() && event->second.kind == Kind::EVENT) {
            event->second.signal_outdated = event->second.signalled;
        }
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    HandleEntry* event = live(io->hEvent, Kind::EVENT, function);
    if (event == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    // Windows resets the event when an operation begins.
    event->signalled = false;
    event->signal_outdated = false;
    io->Internal = STATUS_PENDING;
    io->InternalHigh = 0;

    Operation operation{write, file,         io,    io->hEvent,       buffer,
                        {},    std::nullopt, false, next_sequence_++, ERROR_OPERATION_ABORTED};
    if (write) {
        std::memcpy(operation.data.data(), buffer, REPORT_BYTES);
        if (device != nullptr) {
            if (auto delay = device->writestarted(operation.data)) {
                operation.complete_at = now_ + *delay;
            }
        }
    }
    operations_.push_back(operation);
    // An operation that can finish now does, as a driver completes it
    // synchronously; the caller sees TRUE.
    auto next = nextcompletion();
    if (next && next->first <= now_ && next->second == operations_.size() - 1) {
        complete(next->second, ERROR_SUCCESS);
        return TRUE;
    }
    return fail(ERROR_IO_PENDING);
}

std::optional<std::pair<Millis, std::size_t>> Bus::nextcompletion() const {
    std::optional<std::pair<Millis, std::size_t>> best;
    std::uint64_t best_sequence = 0;
    for (std::size_t i = 0; i < operations_.size(); ++i) {
        const Operation& operation = operations_[i];
        std::optional<Millis> at = operation.complete_at;
        if (!operation.write && !operation.cancelled) {
            const HandleEntry& file = handles_.at(reinterpret_cast<std::uintptr_t>(operation.file));
            Device* device = interfaces_[file.interface].device.get();
            if (device != nullptr && !device->to_host.empty()) {
                at = std::max(now_, device->to_host.front().ready_at);
            }
        }
        if (at && (!best || *at < best->first ||
                   (*at == best->first && operation.sequence < best_sequence))) {
            best = std::make_pair(*at, i);
            best_sequence = operation.sequence;
        }
    }
    return best;
}

void Bus::complete(std::size_t index, DWORD status) {
    Operation operation = operations_[index];
    operations_.erase(operations_.begin() + static_cast<std::ptrdiff_t>(index));
    DWORD transferred = 0;
    const HandleEntry& file = handles_.at(reinterpret_cast<std::uintptr_t>(operation.file));
    Device* device = interfaces_[file.interface].device.get();
    if (status == ERROR_SUCCESS && operation.write) {
        transferred = REPORT_BYTES;
        if (on_wire) {
            on_wire('>', operation.data);
        }
        if (device != nullptr) {
            device->reporttaken(operation.data, now_);
        }
    } else if (status == ERROR_SUCCESS && device != nullptr && !device->to_host.empty() &&
               device->to_host.front().ready_at <= now_) {
        const Report report = device->to_host.front().report;
        device->to_host.pop_front();
        std::memcpy(operation.buffer, report.data(), REPORT_BYTES);
        transferred = REPORT_BYTES;
        if (on_wire) {
            on_wire('<', report);
        }
        device->reportdelivered(report);
    }
    operation.io->Internal = status;
    operation.io->InternalHigh = transferred;
    auto event = handles_.find(reinterpret_cast<std::uintptr_t>(operation.event));
    if (event != handles_.end()) {
        event->second.signalled = true;
        event->second.signal_outdated = false;
    }
}

bool Bus::rununtil(std::optional<Millis> deadline, const std::function<bool()>& done) {
    while (!done()) {
        auto next = nextcompletion();
        if (!next || (deadline && next->first > *deadline)) {
            if (deadline) {
                now_ = std::max(now_, *deadline);
            }
            return false;
        }
        now_ = std::max(now_, next->first);
        const Operation& operation = operations_[next->second];
        complete(next->second, operation.cancelled ? operation.cancelled_status : ERROR_SUCCESS);
    }
    return true;
}

DWORD Bus::waitforsingleobject(HANDLE handle, DWORD milliseconds) {
    HandleEntry* entry = live(handle, Kind::EVENT, "WaitForSingleObject");
    if (entry == nullptr) {
        last_error_ = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    if (entry->signalled && entry->signal_outdated) {
        violation(
            "WaitForSingleObject: the event still holds the signal of an operation that ended "
            "before the last WriteFile or ReadFile on it, which failed at once");
    }
    const std::uintptr_t key = reinterpret_cast<std::uintptr_t>(handle);
    auto signalled = [this, key] { return handles_.at(key).signalled; };
    std::optional<Millis> deadline;
    if (milliseconds != INFINITE) {
        deadline = now_ + milliseconds;
    }
    if (rununtil(deadline, signalled)) {
        return WAIT_OBJECT_0;
    }
    if (!deadline) {
        violation("WaitForSingleObject: waits forever for an event nothing will signal");
        return WAIT_FAILED;
    }
    return WAIT_TIMEOUT;
}

BOOL Bus::cancelioex(HANDLE file, LPOVERLAPPED io) {
    ++accounting_.cancels;
    if (live(file, Kind::DEVICE, "CancelIoEx") == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    bool found = false;
    for (std::size_t i = 0; i < operations_.size(); ++i) {
        Operation& operation = operations_[i];
        if (operation.file != file || (io != nullptr && operation.io != io) ||
            operation.cancelled) {
            continue;
        }
        found = true;
        if (cancels_that_lose_the_race > 0) {
            --cancels_that_lose_the_race;
            complete(i, ERROR_SUCCESS);
            return fail(ERROR_NOT_FOUND);  // too late: it has completed
        }
        operation.cancelled = true;
        operation.complete_at = now_ + cancel_latency_ms;
        if (cancels_ending_with_an_error > 0) {
            --cancels_ending_with_an_error;
            operation.cancelled_status = ERROR_DEVICE_NOT_CONNECTED;
        }
    }
    return found ? TRUE : fail(ERROR_NOT_FOUND);
}

BOOL Bus::getoverlappedresult(HANDLE file, LPOVERLAPPED io, LPDWORD transferred, BOOL wait) {
    if (live(file, Kind::DEVICE, "GetOverlappedResult") == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    auto pending = [this, io] {
        return std::any_of(operations_.begin(), operations_.end(),
                           [io](const Operation& operation) { return operation.io == io; });
    };
    if (pending()) {
        if (!wait) {
            return fail(ERROR_IO_INCOMPLETE);
        }
        if (!rununtil(std::nullopt, [&] { return !pending(); })) {
            violation("GetOverlappedResult: waits forever for an operation that never ends");
            return fail(ERROR_IO_INCOMPLETE);
        }
    }
    // Like Windows, the answer comes from the I/O context alone.
    if (transferred != nullptr) {
        *transferred = static_cast<DWORD>(io->InternalHigh);
    }
    if (io->Internal != ERROR_SUCCESS) {
        return fail(static_cast<DWORD>(io->Internal));
    }
    return TRUE;
}

}  // namespace sim
