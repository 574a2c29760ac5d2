// A simulated HID bus behind the Windows functions the updater calls.
//
// A test or tool describes the interfaces on the bus, runs the updater's
// code, and then looks at what the code did: what it opened and released,
// what crossed the wire, and which of the platform's rules it broke. Time is
// virtual: waiting moves the clock to the next thing that happens, so no
// time-out is ever waited for in real time.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/standin/windows.h"

namespace sim {

using Millis = std::int64_t;
constexpr DWORD REPORT_BYTES = 64;
using Report = std::array<std::uint8_t, REPORT_BYTES>;

// The class identifier that HidD_GetHidGuid hands out.
extern const GUID HID_INTERFACE_CLASS;

// The peer behind an interface: decides when the program's writes complete
// and answers with input reports.
class Device {
  public:
    virtual ~Device() = default;

    // A write of `report` has started: how long until it completes, or
    // nullopt if it never does (it then ends only when cancelled).
    virtual std::optional<Millis> writestarted(const Report& report) = 0;

    // A write completed: the device has taken the report at `now`.
    virtual void reporttaken(const Report& report, Millis now) = 0;

    // A read took this input report from the device's queue.
    virtual void reportdelivered(const Report&) {}

    // An unplugged device fails every write and read at once.
    virtual bool unplugged() const {
        return false;
    }

    // Input reports on their way to the host, in order, each with the time
    // from which a read can take it.
    struct TimedReport {
        Millis ready_at;
        Report report;
    };
    std::deque<TimedReport> to_host;
};

// One HID interface as the platform lists it.
struct Interface {
    explicit Interface(std::string device_path) : path(std::move(device_path)) {}
    std::string path;
    bool can_open = true;
    bool size_reported = true;    // the detail size query reports a size
    bool detail_readable = true;  // the detail record can be read
    bool attributes_readable = true;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t version = 0;
    std::optional<std::u16string> string4;  // nullopt: cannot be read
    std::shared_ptr<Device> device;         // nullptr: a device that never answers
};

// What the program did on the bus.
struct Accounting {
    int sets_built = 0;
    int sets_destroyed = 0;
    int records_allocated = 0;  // LocalAlloc, which the detail record uses
    int records_freed = 0;
    int handles_opened = 0;  // device handles
    int handles_closed = 0;
    int events_created = 0;
    int events_closed = 0;
    int writes = 0;   // WriteFile calls
    int reads = 0;    // ReadFile calls
    int cancels = 0;  // CancelIoEx calls
    struct StringRead {
        std::string path;
        ULONG buffer_size;
    };
    std::vector<StringRead> string4_reads;
};

class Bus {
  public:
    // Empties the bus and rewinds the clock; every test starts with this.
    void reset();

    void add(Interface interface);

    // Faults of the platform rather than of a device.
    bool set_cannot_be_built = false;
    bool allocation_fails = false;
    bool event_creation_fails = false;  // CreateEventA returns no event
    // Only these CreateEventA calls (0 the first) return no event.
    std::set<int> failing_event_creations;
    // How long a cancelled operation takes to end after CancelIoEx.
    Millis cancel_latency_ms = 1;
    // The next this many cancels find the operation already completed: a
    // write has been taken, a read has delivered nothing.
    int cancels_that_lose_the_race = 0;
    // The next this many cancelled operations end with
    // ERROR_DEVICE_NOT_CONNECTED instead of ERROR_OPERATION_ABORTED, as when
    // the device goes while its I/O is being cancelled.
    int cancels_ending_with_an_error = 0;

    // Called for each report that crossed the wire: '>' taken by the device
    // from a write, '<' delivered by the device to a read.
    std::function<void(char direction, const Report&)> on_wire;

    Millis now() const {
        return now_;
    }
    const Accounting& accounting() const {
        return accounting_;
    }
    // Platform rules the program broke, in the order it broke them.
    const std::vector<std::string>& violations() const {
        return violations_;
    }
    // Paths of the device handles still open.
    std::vector<std::string> openpaths() const;
    int pendingoperations() const {
        return static_cast<int>(operations_.size());
    }

    // The Windows functions of the stand-in, one for one.
    DWORD lasterror() const {
        return last_error_;
    }
    HANDLE createfile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                      DWORD disposition, DWORD flags, HANDLE template_file);
    BOOL closehandle(HANDLE object);
    HLOCAL localalloc(UINT flags, SIZE_T bytes);
    HLOCAL localfree(HLOCAL memory);
    HANDLE createevent(LPSECURITY_ATTRIBUTES security, BOOL manual_reset, BOOL initial_state,
                       LPCSTR name);
    BOOL resetevent(HANDLE event);
    BOOL writefile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED io);
    BOOL readfile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED io);
    DWORD waitforsingleobject(HANDLE handle, DWORD milliseconds);
    BOOL cancelioex(HANDLE file, LPOVERLAPPED io);
    BOOL getoverlappedresult(HANDLE file, LPOVERLAPPED io, LPDWORD transferred, BOOL wait);
    HDEVINFO getclassdevs(const GUID* class_guid, PCSTR enumerator, HWND parent, DWORD flags);
    BOOL enumdeviceinterfaces(HDEVINFO set, PSP_DEVINFO_DATA device_info, const GUID* class_guid,
                              DWORD index, PSP_DEVICE_INTERFACE_DATA interface_data);
    BOOL getdeviceinterfacedetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interface_data,
                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detail_size,
                                  PDWORD required_size, PSP_DEVINFO_DATA device_info);
    BOOL destroydeviceinfolist(HDEVINFO set);
    BOOLEAN getattributes(HANDLE device, PHIDD_ATTRIBUTES attributes);
    BOOLEAN getindexedstring(HANDLE device, ULONG index, PVOID buffer, ULONG length);

  private:
    enum class Kind { DEVICE, EVENT, SET };
    struct HandleEntry {
        explicit HandleEntry(Kind of_kind) : kind(of_kind) {}
        Kind kind;
        bool open = true;
        std::size_t interface = 0;  // DEVICE
        bool signalled = false;     // EVENT
        // EVENT: signalled by an operation that ended before the last
        // WriteFile or ReadFile naming it, which failed at once.
        bool signal_outdated = false;
        std::vector<std::size_t> members;  // SET: interfaces at build time
    };
    struct Operation {
        bool write;
        HANDLE file;
        OVERLAPPED* io;
        HANDLE event;
        std::uint8_t* buffer;  // read: where the report goes
        Report data;           // write: what is being written
        std::optional<Millis> complete_at;
        bool cancelled = false;
        std::uint64_t sequence;
        DWORD cancelled_status = ERROR_OPERATION_ABORTED;
    };

    HANDLE newhandle(HandleEntry entry);
    HandleEntry* live(HANDLE handle, Kind kind, const char* function);
    Device* deviceof(const HandleEntry& entry);
    void violation(std::string what);
    BOOL fail(DWORD error);
    BOOL startoperation(bool write, HANDLE file, std::uint8_t* buffer, DWORD bytes,
                        LPDWORD transferred, LPOVERLAPPED io);
    // Runs the clock until `done` holds or `deadline` passes (nullopt: no
    // deadline). Returns whether `done` held.
    bool rununtil(std::optional<Millis> deadline, const std::function<bool()>& done);
    // The time of the next completion, and the operation it belongs to.
    std::optional<std::pair<Millis, std::size_t>> nextcompletion() const;
    void complete(std::size_t index, DWORD status);

    std::vector<Interface> interfaces_;
    std::map<std::uintptr_t, HandleEntry> handles_;
    std::uintptr_t next_handle_ = 0x100;
    std::map<void*, SIZE_T> allocations_;
    std::vector<Operation> operations_;
    std::uint64_t next_sequence_ = 0;
    int event_creations_ = 0;
    Millis now_ = 0;
    DWORD last_error_ = 0;
    Accounting accounting_;
    std::vector<std::string> violations_;
};

// The one bus that the Windows functions act on.
Bus& bus();

}  // namespace sim
