// The Linux backend through its seams: a sysfs tree in a temporary
// directory, device nodes that are plain files or one end of a
// SOCK_SEQPACKET socket pair (one message per report, like hidraw), and a
// usbfs control transfer answered here.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hid/discovery.h"
#include "hid/exchange.h"
#include "torvik-sim/hidraw_seams.h"
#include "torvik-sim/sysfs_tree.h"
#include "torvik_config.h"
#include "torvikupdate.h"

namespace {

constexpr std::uint16_t OTHER_VENDOR = 0x046D;

HidrawEntry torvikentry(unsigned number) {
    HidrawEntry entry;
    entry.number = number;
    entry.vendor_id = TORVIK_VENDOR_ID;
    entry.product_id = TORVIK_PRODUCT_ID;
    entry.version = 0x0100;
    entry.interface_string = "FW-BOOT 1.0";
    return entry;
}

// The process's open descriptors, by number.
std::set<std::string> opendescriptors() {
    std::set<std::string> numbers;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        numbers.insert(entry.path().filename());
    }
    return numbers;
}

// One result for the next read(2), write(2) or ppoll(2) of the device node
// in place of the C library's; injected by the test, taken once.
enum class Call { POLL, READ, WRITE };
struct Injected {
    Call call;
    ssize_t result;
    int error;
};
std::mutex injected_lock;
std::optional<Injected> injected;
int injected_node = -1;

// Whether this call takes the injected result, which it then gives in `result` and errno.
bool takeinjected(Call call, int descriptor, ssize_t& result) {
    std::unique_lock<std::mutex> guard(injected_lock);
    const std::optional<Injected> taken = injected;
    if (descriptor != injected_node || !taken || taken->call != call) {
        return false;
    }
    injected.reset();
    guard.unlock();
    result = taken->result;
    errno = taken->error;
    return true;
}

}  // namespace

extern "C" ssize_t read(int descriptor, void* buffer, size_t size) {
    static auto* const next = reinterpret_cast<decltype(read)*>(dlsym(RTLD_NEXT, "read"));
    ssize_t result = 0;
    return takeinjected(Call::READ, descriptor, result) ? result : next(descriptor, buffer, size);
}

extern "C" ssize_t write(int descriptor, const void* buffer, size_t size) {
    static auto* const next = reinterpret_cast<decltype(write)*>(dlsym(RTLD_NEXT, "write"));
    ssize_t result = 0;
    return takeinjected(Call::WRITE, descriptor, result) ? result : next(descriptor, buffer, size);
}

extern "C" int ppoll(pollfd* watched, nfds_t count, const timespec* timeout, const sigset_t* mask) {
    static auto* const next = reinterpret_cast<decltype(ppoll)*>(dlsym(RTLD_NEXT, "ppoll"));
    ssize_t result = 0;
    const bool taken = count == 1 && takeinjected(Call::POLL, watched->fd, result);
    return taken ? static_cast<int>(result) : next(watched, count, timeout, mask);
}

namespace {

class LinuxBackend : public ::testing::Test {
  protected:
    void SetUp() override {
        descriptors_before = opendescriptors();
        hidrawseams::setroots(tree.sysfs(), tree.dev());
        hidrawseams::control = [](int, usbdevfs_ctrltransfer*) {
            errno = ENOTTY;
            return -1;
        };
    }
    void TearDown() override {
        if (device != INVALID_HANDLE_VALUE) {
            CloseHandle(device);
        }
        hidrawseams::open_node = [](const char* path, int flags) { return open(path, flags); };
        EXPECT_EQ(opendescriptors(), descriptors_before)
            << "a descriptor the backend opened is still open";
    }

    // Adds `entry` to the tree and opens its node in place of the one open.
    HANDLE addandopen(const HidrawEntry& entry) {
        if (device != INVALID_HANDLE_VALUE) {
            CloseHandle(device);
        }
        tree.add(entry);
        return opennode(entry.number);
    }

    HANDLE opennode(unsigned number) {
        device = CreateFileA((tree.dev() + "/hidraw" + std::to_string(number)).c_str(),
                             GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        return device;
    }

    static GUID hidclass() {
        GUID hid;
        HidD_GetHidGuid(&hid);
        return hid;
    }

    // The device paths the enumeration lists, in its order.
    std::vector<std::string> listedpaths(GUID hid = hidclass()) {
        HDEVINFO set =
            SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        std::vector<std::string> paths;
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof data;
        for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hid, index, &data);
             ++index) {
            DWORD size = 0;
            SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
            std::vector<char> record(size);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(record.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            EXPECT_TRUE(
                SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr));
            paths.push_back(detail->DevicePath);
        }
        SetupDiDestroyDeviceInfoList(set);
        return paths;
    }

    SysfsTree tree;
    HANDLE device = INVALID_HANDLE_VALUE;
    std::set<std::string> descriptors_before;
};

// The hidraw entries in numeric order, for the HID class only; and what
// SetupAPI refuses: a record not of this set, a detail buffer too small for
// the path, a size field other than the record type's, and a set that is
// destroyed already.
TEST_F(LinuxBackend, ListsHidrawInNumericOrderAndRefusesWhatSetupApiRefuses) {
    for (unsigned number : {10u, 2u, 1u}) {
        tree.add(torvikentry(number));
    }
    for (const char* stray : {"hidraw", "hidraw3x"}) {  // not hidraw and a number
        std::filesystem::create_directory(tree.sysfs() + "/class/hidraw/" + stray);
    }
    EXPECT_EQ(listedpaths(),
              (std::vector<std::string>{tree.dev() + "/hidraw1", tree.dev() + "/hidraw2",
                                        tree.dev() + "/hidraw10"}));
    GUID hid = hidclass(), other = hid;
    other.Data1 ^= 1;
    EXPECT_EQ(listedpaths(other), std::vector<std::string>{}) << "another class's interfaces";

    HDEVINFO set = SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    HDEVINFO empty = SetupDiGetClassDevsA(&other, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA never_listed = {}, first = {};
    never_listed.cbSize = first.cbSize = sizeof first;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &hid, 0, &first));
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &first, nullptr, 0, &size, nullptr);
    std::vector<char> record(size + 8);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(record.data());
    const DWORD record_size = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    const struct {
        const char* name;
        HDEVINFO set;
        SP_DEVICE_INTERFACE_DATA* data;
        DWORD size, size_field, error;
    } cases[] = {
        {"a record never listed", set, &never_listed, size, record_size, ERROR_INVALID_PARAMETER},
        {"a record of another set", empty, &first, size, record_size, ERROR_INVALID_PARAMETER},
        {"a buffer one byte short", set, &first, size - 1, record_size, ERROR_INSUFFICIENT_BUFFER},
        {"the buffer's size in the size field", set, &first, size, size, ERROR_INVALID_USER_BUFFER},
    };
    for (const auto& test : cases) {
        detail->cbSize = test.size_field;
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(test.set, test.data, detail, test.size,
                                                      nullptr, nullptr))
            << test.name;
        EXPECT_EQ(GetLastError(), test.error) << test.name;
    }
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(empty));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set)) << "destroyed twice";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// The IDs from uevent, the version from the USB device; a sysfs file that
// does not hold what the kernel writes there makes the attribute read fail.
TEST_F(LinuxBackend, AttributesFromUeventAndTheUsbDevice) {
    const struct {
        const char* name;
        std::uint32_t bus;
        const char* file;  // written with `text` over the tree's
        const char* text;
        std::optional<std::uint16_t> version;  // none: the read fails
        bool strings;
    } cases[] = {
        {"USB: version from bcdDevice", 0x0003, nullptr, nullptr, 0x0100, true},
        {"Bluetooth: version 0, no USB strings", 0x0005, nullptr, nullptr, 0, false},
        {"unreadable uevent", 0x0003, "uevent", nullptr, std::nullopt, false},
        {"a number with something after it", 0x0003, "../../bcdDevice", "01x0\n", std::nullopt,
         true},
        {"an empty number", 0x0003, "../../bcdDevice", "\n", std::nullopt, true},
        {"an ID line of two fields", 0x0003, "uevent", "HID_ID=0003:000016C0\n", std::nullopt,
         false},
    };
    unsigned number = 0;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        HidrawEntry entry = torvikentry(number++);
        entry.bus = test.bus;
        entry.uevent_readable = test.file == nullptr || test.text != nullptr;
        ASSERT_NE(addandopen(entry), INVALID_HANDLE_VALUE);
        if (test.text != nullptr) {
            std::ofstream(tree.sysfs() + "/class/hidraw/hidraw" + std::to_string(entry.number) +
                              "/device/" + test.file,
                          std::ios::trunc)
                << test.text;
        }
        HIDD_ATTRIBUTES read = {};
        read.Size = sizeof read;
        ASSERT_EQ(HidD_GetAttributes(device, &read) != FALSE, test.version.has_value());
        if (test.version) {
            EXPECT_EQ(read.VendorID, TORVIK_VENDOR_ID);
            EXPECT_EQ(read.ProductID, TORVIK_PRODUCT_ID);
            EXPECT_EQ(read.VersionNumber, test.version);
        }
        std::uint8_t marker[8];
        EXPECT_EQ(HidD_GetIndexedString(device, 4, marker, sizeof marker) != FALSE, test.strings);
    }
}

// String 4 into an 8-byte buffer, as the discovery reads it; 0xAA marks
// bytes that must stay untouched, also the two after the buffer.
TEST_F(LinuxBackend, StringFourFromSysfsCutToTheBufferOrEndedByZero) {
    struct Case {
        const char* text;
        std::vector<std::uint8_t> expected;
    };
    const Case cases[] = {
        {"FW-BOOT 1.0", {'F', 0, 'W', 0, '-', 0, 'B', 0}},
        {"F", {'F', 0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}},
        {"\xC3\xA9", {0xE9, 0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}},  // UTF-8 in sysfs, UTF-16 out
        {"\xE0\xA4\x85", {0x05, 0x09, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}},
        {"\xF0\x90\x80\x80", {0x00, 0xD8, 0x00, 0xDC, 0, 0, 0xAA, 0xAA}},  // a surrogate pair
        {"\x80", {0xFD, 0xFF, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}},              // not UTF-8: U+FFFD
    };
    unsigned number = 0;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        HidrawEntry entry = torvikentry(number++);
        entry.interface_string = test.text;
        ASSERT_NE(addandopen(entry), INVALID_HANDLE_VALUE);
        std::vector<std::uint8_t> buffer(8 + 2, 0xAA);  // two bytes beyond the buffer
        ASSERT_TRUE(HidD_GetIndexedString(device, 4, buffer.data(), 8));
        std::vector<std::uint8_t> expected = test.expected;
        expected.insert(expected.end(), {0xAA, 0xAA});
        EXPECT_EQ(buffer, expected);
    }
}

// Without a string 4 in sysfs, the language list and then the string in its
// first language come through control transfers. The descriptor counts as
// far as both its length byte and the transfer reach, in whole code units;
// an answer too short or of another type, or a stalled request, is none.
TEST_F(LinuxBackend, StringFourThroughAControlTransferWhenSysfsHasNone) {
    HidrawEntry entry = torvikentry(0);
    entry.interface_string.reset();
    tree.add(entry);
    std::vector<std::string> opened;
    hidrawseams::open_node = [&](const char* path, int flags) {
        opened.push_back(path);
        return open(path == tree.usbnode(entry) ? "/dev/null" : path, flags);
    };
    using Bytes = std::vector<std::uint8_t>;
    const Bytes F = {'F', 0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA};
    const struct {
        const char* name;
        Bytes answer;
        int received;  // -1: the device stalls every request
        std::optional<Bytes> text;
    } cases[] = {
        {"whole", {6, 3, 'F', 0, 'W', 0}, 6, Bytes{'F', 0, 'W', 0, 0, 0, 0xAA, 0xAA}},
        {"one byte received", {6, 3, 'F', 0, 'W', 0}, 1, std::nullopt},
        {"not a string descriptor", {6, 2, 'F', 0, 'W', 0}, 6, std::nullopt},
        {"length byte 4", {4, 3, 'F', 0, 'W', 0}, 6, F},
        {"4 bytes received", {6, 3, 'F', 0, 'W', 0}, 4, F},
        {"odd length", {5, 3, 'F', 0, 'W', 0}, 5, F},
        {"length byte 0", {0, 3, 'F', 0}, 4, Bytes{0, 0, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}},
        {"stalled", {6, 3, 'F', 0, 'W', 0}, -1, std::nullopt},
    };
    ASSERT_NE(opennode(0), INVALID_HANDLE_VALUE);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::uint16_t> asked;  // wValue, wIndex of each transfer
        hidrawseams::control = [&](int, usbdevfs_ctrltransfer* transfer) {
            asked.insert(asked.end(), {transfer->wValue, transfer->wIndex});
            // Without a time-out a device that does not answer would hold the search.
            EXPECT_GT(transfer->timeout, 0u);
            EXPECT_EQ(transfer->bRequestType << 8 | transfer->bRequest, 0x8006)
                << "GET_DESCRIPTOR, a standard request from the device to the host";
            static const Bytes languages = {4, 3, 0x07, 0x04};  // German
            const bool list = (transfer->wValue & 0xFF) == 0;
            const Bytes& answer = list ? languages : test.answer;
            std::memcpy(transfer->data, answer.data(), answer.size());
            errno = EPIPE;
            return list && test.received >= 0 ? static_cast<int>(languages.size()) : test.received;
        };
        Bytes buffer(8, 0xAA);
        EXPECT_EQ(HidD_GetIndexedString(device, 4, buffer.data(), 8) != FALSE,
                  test.text.has_value());
        EXPECT_EQ(buffer, test.text.value_or(Bytes(8, 0xAA)));
        // Without the list, English (US) is asked for.
        const std::uint16_t language = test.received < 0 ? 0x0409 : 0x0407;
        EXPECT_EQ(asked, (std::vector<std::uint16_t>{0x0300, 0, 0x0304, language}));
        EXPECT_EQ(opened.back(), tree.usbnode(entry));
    }
}

// Each ID is compared with the whole int, and a version of 0 stands for any.
TEST_F(LinuxBackend, FindsTheTorvikByItsIdsAndVersion) {
    tree.add(torvikentry(0));  // version 0x0100
    const struct {
        const char* name;
        int vendor_id, product_id, version;
        bool found;
    } cases[] = {
        {"any version", TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID, ANY_VERSION, true},
        {"its version", TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID, 0x0100, true},
        {"another version", TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID, 0x0101, false},
        {"vendor beyond 16 bits", TORVIK_VENDOR_ID + 0x10000, TORVIK_PRODUCT_ID, ANY_VERSION,
         false},
        {"product beyond 16 bits", TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID + 0x10000, ANY_VERSION,
         false},
    };
    for (const auto& test : cases) {
        const HANDLE found = connectToUSBHIDDevice(test.vendor_id, test.product_id, test.version);
        EXPECT_EQ(found != INVALID_HANDLE_VALUE, test.found) << test.name;
        if (found != INVALID_HANDLE_VALUE) {
            CloseHandle(found);
        }
    }
}

// Which sysfs file holds string N comes from the raw descriptors: the device's own strings,
// those of the active configuration and of its interfaces (a configfs gadget's configuration
// string has index 4). The walk stops at a descriptor that is too short or runs past the end.
// The files below hold "FW"; "inactive" is the HID interface's own, in configuration 1.
TEST_F(LinuxBackend, StringFileFoundByWalkingTheActiveConfiguration) {
    using Bytes = std::string;
    const Bytes config1 = {9, 2, 0, 0, 1, 1, 0, 0, 0}, config2 = {9, 2, 0, 0, 1, 2, 0, 0, 0};
    const Bytes marked1 = {9, 2, 0, 0, 1, 1, 4, 0, 0};
    // Interface 1, alternate setting 0: the number names the directory.
    const Bytes interface4 = {9, 4, 1, 0, 1, 3, 0, 0, 4}, filler4 = {4, 0x30, 0, 0};
    const struct {
        const char* name;
        unsigned index;
        Bytes tail;  // after the device descriptor
        const char* active;
        const char* file;
        const char* text;                       // nullptr: none
        StringSlot device_slot = STRING_SLOTS;  // one of the device's own, given index 4
        std::size_t device_bytes = 18;
    } cases[] = {
        {"the manufacturer's", 4, config1, "1", "manufacturer", "FW", MANUFACTURER_STRING},
        {"the product's", 4, config1, "1", "product", "FW", PRODUCT_STRING},
        {"the serial number's", 4, config1, "1", "serial", "FW", SERIAL_STRING},
        {"the active configuration's", 4, marked1, "1", "configuration", "FW"},
        {"configuration 2's interface", 4, config1 + interface4 + config2 + interface4, "2",
         ":2.1/interface", "FW"},
        {"an inactive configuration's string", 4, marked1 + config2, "2", "configuration", nullptr},
        {"no active configuration known: any", 4, config1 + interface4, "", ":1.1/interface", "FW"},
        {"a zero-length descriptor", 4, Bytes{0, 0} + interface4, "1", ":1.1/interface", nullptr},
        {"a descriptor past the end", 4, config1 + Bytes{12, 4, 1, 0, 1, 3, 0, 0, 4}, "1",
         ":1.1/interface", nullptr},
        {"a short configuration descriptor", 4, Bytes{6, 2, 0, 0, 1, 1} + filler4, "1",
         "configuration", nullptr},
        {"a short interface descriptor", 4, config1 + Bytes{8, 4, 1, 0, 1, 3, 0, 0} + filler4, "1",
         ":1.1/interface", nullptr},
        {"string 0, the language list", 0, config1, "1", "serial", nullptr},
        {"a device descriptor cut short", 4, "", "1", "product", nullptr, PRODUCT_STRING, 16},
    };
    unsigned number = 0;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        HidrawEntry entry = torvikentry(number++);
        entry.interface_string = "inactive";
        if (test.device_slot != STRING_SLOTS) {
            entry.serial = "serial";
            entry.string_indices[test.device_slot] = 4;
        }
        ASSERT_NE(addandopen(entry), INVALID_HANDLE_VALUE);
        const auto usb_dir = std::filesystem::canonical(
            tree.sysfs() + "/class/hidraw/hidraw" + std::to_string(entry.number) + "/device/../..");
        std::ifstream original(usb_dir / "descriptors", std::ios::binary);
        Bytes raw(18, 0);
        original.read(raw.data(), 18);
        std::ofstream(usb_dir / "descriptors", std::ios::binary | std::ios::trunc)
            << raw.substr(0, test.device_bytes) + test.tail;
        std::ofstream(usb_dir / "bConfigurationValue", std::ios::trunc) << test.active << "\n";
        // ":C.I/interface": in the USB device's directory for configuration C, interface I.
        const auto file =
            usb_dir / ((test.file[0] == ':' ? usb_dir.filename().string() : "") + test.file);
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::trunc) << "FW\n";
        std::uint8_t buffer[4] = {};
        EXPECT_EQ(HidD_GetIndexedString(device, test.index, buffer, sizeof buffer) != FALSE,
                  test.text != nullptr);
        if (test.text != nullptr) {
            EXPECT_EQ(std::string({static_cast<char>(buffer[0]), static_cast<char>(buffer[2])}),
                      test.text);
        }
    }
}

// Windows' codes for why a node could not be opened (one that went away is a
// device not connected), and the one line the Linux program adds: only for
// the Torvik, and only when permission is what is missing.
TEST_F(LinuxBackend, AFailedOpenGivesWindowsCodeAndSaysWhenTheTorvikMayNotBeOpened) {
    HidrawEntry other = torvikentry(1);  // another maker's, with the Torvik's product ID
    other.vendor_id = OTHER_VENDOR;
    tree.add(other);
    tree.add(torvikentry(2));
    HidrawEntry sibling = torvikentry(3);  // the Torvik's maker, another product
    sibling.product_id = TORVIK_PRODUCT_ID ^ 1;
    tree.add(sibling);
    const std::string permission_line =
        "torvikupdate: no permission to open " + tree.dev() +
        "/hidraw2 (the Torvik): install the udev rule 70-torvik.rules as the README "
        "says, or run as root\n";
    constexpr DWORD FILE_NOT_FOUND = 2, ACCESS_DENIED = 5, GEN_FAILURE = 31;
    const std::pair<int, DWORD> cases[] = {
        {ENOENT, FILE_NOT_FOUND},
        {EACCES, ACCESS_DENIED},
        {EPERM, ACCESS_DENIED},
        {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
        {ESHUTDOWN, ERROR_DEVICE_NOT_CONNECTED},
        {EIO, GEN_FAILURE},
    };
    for (const auto& [error, code] : cases) {
        hidrawseams::open_node = [error = error](const char*, int) {
            errno = error;
            return -1;
        };
        for (unsigned number : {1u, 2u, 3u}) {
            SCOPED_TRACE(std::string(std::strerror(error)) + ", node " + std::to_string(number));
            testing::internal::CaptureStderr();
            EXPECT_EQ(opennode(number), INVALID_HANDLE_VALUE);
            const bool says = number == 2 && code == ACCESS_DENIED;
            EXPECT_EQ(testing::internal::GetCapturedStderr(), says ? permission_line : "");
            EXPECT_EQ(GetLastError(), code);
        }
    }
}

// A device node that is one end of a socket pair; the test holds the other,
// the device's side.
class LinuxBackendReports : public LinuxBackend {
  protected:
    void SetUp() override {
        LinuxBackend::SetUp();
        std::signal(SIGPIPE, SIG_IGN);  // a socket's peer may be gone; hidraw has no such signal
        tree.add(torvikentry(0), false);
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
        node = ends[0];
        peer = ends[1];
        injected_node = node;
        // Non-blocking: a read that finds the report taken after all must not wait.
        hidrawseams::open_node = [this](const char*, int flags) {
            EXPECT_NE(flags & O_NONBLOCK, 0);
            return node;
        };
        ASSERT_NE(opennode(0), INVALID_HANDLE_VALUE);
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        io = iocontext(event);
    }
    void TearDown() override {
        injected_node = -1;
        CloseHandle(event);
        if (peer >= 0) {
            close(peer);  // the test's own end, before the descriptors are counted
        }
        LinuxBackend::TearDown();
    }

    void devicesends(std::uint8_t first) {
        std::uint8_t report[REPORT_SIZE - 1];
        for (std::size_t i = 0; i < sizeof report; ++i) {
            report[i] = static_cast<std::uint8_t>(first + i);
        }
        ASSERT_EQ(send(peer, report, sizeof report, 0), static_cast<ssize_t>(sizeof report));
    }

    int node = -1;
    int peer = -1;
    HANDLE event = nullptr;
    OVERLAPPED io = {};
};

// A call interrupted by a signal, or a read that finds the report taken
// after all (the node is non-blocking), is tried again; a write that takes
// part of a report fails, and one that finds the device gone leaves it gone.
TEST_F(LinuxBackendReports, InterruptedCallsAreTriedAgainAndAShortWriteFails) {
    constexpr DWORD GEN_FAILURE = 31;
    const struct {
        const char* name;
        Injected once;
        DWORD ending;
    } cases[] = {
        {"poll interrupted", {Call::POLL, -1, EINTR}, ERROR_SUCCESS},
        {"read interrupted", {Call::READ, -1, EINTR}, ERROR_SUCCESS},
        {"read finds nothing", {Call::READ, -1, EAGAIN}, ERROR_SUCCESS},
        {"write interrupted", {Call::WRITE, -1, EINTR}, ERROR_SUCCESS},
        {"write takes 10 bytes", {Call::WRITE, 10, 0}, GEN_FAILURE},
        {"write finds the device gone", {Call::WRITE, -1, ENODEV}, ERROR_DEVICE_NOT_CONNECTED},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        {
            std::lock_guard<std::mutex> guard(injected_lock);
            injected = test.once;
        }
        const bool writing = test.once.call == Call::WRITE;
        std::uint8_t buffer[REPORT_SIZE] = {0, 42};
        if (!writing) {
            devicesends(7);
        }
        ASSERT_FALSE(writing ? WriteFile(device, buffer, REPORT_SIZE, nullptr, &io)
                             : ReadFile(device, buffer, REPORT_SIZE, nullptr, &io));
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        DWORD transferred = 0;
        const BOOL done = GetOverlappedResult(device, &io, &transferred, TRUE);
        EXPECT_EQ(done ? ERROR_SUCCESS : GetLastError(), test.ending);
        if (done) {
            EXPECT_EQ(transferred, REPORT_SIZE);
            std::uint8_t taken[REPORT_SIZE] = {};
            if (writing) {
                EXPECT_EQ(recv(peer, taken, sizeof taken, MSG_DONTWAIT),
                          static_cast<ssize_t>(REPORT_SIZE));
            }
            EXPECT_EQ(writing ? taken[1] : buffer[1], writing ? 42 : 7);
        }
    }
    // A gone device stays gone: reads and writes fail at once, and leave the event be.
    ResetEvent(event);
    std::uint8_t report[REPORT_SIZE] = {};
    EXPECT_FALSE(ReadFile(device, report, REPORT_SIZE, nullptr, &io));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(WriteFile(device, report, REPORT_SIZE, nullptr, &io));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

// While a read is pending: a second read on the handle or on the event, and
// reads and writes of a size no report has, are refused; a cancel for another
// I/O context finds nothing; a 0 ms wait sees a report that came meanwhile.
TEST_F(LinuxBackendReports, RefusesWhatWindowsRefusesWhileAReadIsPending) {
    hidrawseams::open_node = [this](const char*, int) { return dup(node); };
    const HANDLE second = CreateFileA("second", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    HANDLE other_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED other = iocontext(other_event);
    std::uint8_t buffer[REPORT_SIZE + 1] = {}, more[REPORT_SIZE + 1] = {};
    ASSERT_FALSE(ReadFile(device, buffer, REPORT_SIZE, nullptr, &io));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(io.Internal, 0x103u) << "STATUS_PENDING, which HasOverlappedIoCompleted reads";
    const auto outcome = [](BOOL result) { return std::make_pair(result, GetLastError()); };
    const struct {
        const char* name;
        std::pair<BOOL, DWORD> outcome;
        DWORD error;
    } refused[] = {
        {"a second read", outcome(ReadFile(device, more, REPORT_SIZE, nullptr, &other)),
         ERROR_INVALID_PARAMETER},
        {"a read on the event", outcome(ReadFile(second, more, REPORT_SIZE, nullptr, &io)),
         ERROR_INVALID_PARAMETER},
        {"a 1-byte read", outcome(ReadFile(second, more, 1, nullptr, &other)),
         ERROR_INVALID_PARAMETER},
        {"a 65-byte write", outcome(WriteFile(device, more, REPORT_SIZE + 1, nullptr, &other)),
         ERROR_INVALID_PARAMETER},
        {"a cancel of another context", outcome(CancelIoEx(device, &other)), ERROR_NOT_FOUND},
        {"a result without waiting", outcome(GetOverlappedResult(device, &io, nullptr, FALSE)),
         ERROR_IO_INCOMPLETE},
        {"a result for no context", outcome(GetOverlappedResult(device, nullptr, nullptr, FALSE)),
         ERROR_INVALID_PARAMETER},
        {"a read on an event's handle",
         outcome(ReadFile(event, more, REPORT_SIZE, nullptr, &other)), ERROR_INVALID_HANDLE},
    };
    for (const auto& test : refused) {
        EXPECT_EQ(test.outcome, std::make_pair(FALSE, test.error)) << test.name;
    }
    devicesends(9);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    DWORD transferred = 0;
    EXPECT_TRUE(GetOverlappedResult(device, &io, &transferred, FALSE));
    EXPECT_EQ(buffer[1], 9);
    ASSERT_FALSE(ReadFile(second, more, REPORT_SIZE, nullptr, &other));
    CloseHandle(second);
    EXPECT_EQ(WaitForSingleObject(other_event, 0), WAIT_OBJECT_0) << "closing ends the read";
    EXPECT_EQ(other.Internal, ERROR_OPERATION_ABORTED);
    CloseHandle(other_event);
}

// An event keeps its initial state until an operation starts on it. A read
// that was cancelled ends as aborted with nothing delivered: taken for a
// completed read, it would cost getresult its remaining tries. A read
// pending when its event is closed, or when its device goes, ends too.
TEST_F(LinuxBackendReports, EventsAndPendingReadsEndAsOnWindows) {
    std::uint8_t buffer[REPORT_SIZE];
    HANDLE signalled = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(signalled, 0), WAIT_OBJECT_0) << "initially signalled";
    OVERLAPPED first = iocontext(signalled);
    ASSERT_FALSE(ReadFile(device, buffer, REPORT_SIZE, nullptr, &first));
    EXPECT_EQ(WaitForSingleObject(signalled, 0), WAIT_TIMEOUT) << "reset as the read starts";
    CloseHandle(signalled);
    ASSERT_FALSE(ReadFile(device, buffer, REPORT_SIZE, nullptr, &io));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING) << "the read whose event was closed ended";
    ASSERT_TRUE(CancelIoEx(device, &io));
    DWORD transferred = 1;
    EXPECT_FALSE(GetOverlappedResult(device, &io, &transferred, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(transferred, 0u);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "the cancelled read's end";

    EXPECT_FALSE(ReadFile(device, buffer, REPORT_SIZE, nullptr, &io));
    close(peer);
    peer = -1;
    EXPECT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0) << "the device went";
    EXPECT_FALSE(GetOverlappedResult(device, &io, nullptr, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "reset";
}

// A hidraw write cannot be interrupted: a cancelled one is waited for until
// it ends (here when the device goes; on a real one after the USB time-out),
// and its event, closed meanwhile, lives until the write signals it.
TEST_F(LinuxBackendReports, ACancelledWriteIsWaitedForUntilItEnds) {
    const std::uint8_t filler[REPORT_SIZE] = {};
    while (send(node, filler, sizeof filler, MSG_DONTWAIT) > 0) {
    }
    std::uint8_t report[REPORT_SIZE] = {};
    ASSERT_FALSE(WriteFile(device, report, REPORT_SIZE, nullptr, &io));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_EQ(WaitForSingleObject(event, 20), WAIT_TIMEOUT);
    OVERLAPPED other = iocontext(event);
    EXPECT_FALSE(WriteFile(device, report, REPORT_SIZE, nullptr, &other));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "a second write at once";
    EXPECT_FALSE(CancelIoEx(device, &other)) << "a cancel for another context";
    ASSERT_TRUE(CancelIoEx(device, &io));

    const auto end_after = std::chrono::milliseconds(300);
    const auto started = std::chrono::steady_clock::now();
    std::thread unplug([&] {
        std::this_thread::sleep_for(end_after);
        close(peer);
    });
    EXPECT_TRUE(CloseHandle(event));
    event = nullptr;
    DWORD transferred = 1;
    EXPECT_FALSE(GetOverlappedResult(device, &io, &transferred, TRUE));
    const auto waited = std::chrono::steady_clock::now() - started;
    unplug.join();
    peer = -1;
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(transferred, 0u);
    EXPECT_GE(waited, end_after) << "the result came before the write had ended";
}

}  // namespace
