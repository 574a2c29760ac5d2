// Installs the virtual Torvik: creates its root-enumerated device, installs
// the minidriver from its INF for it and waits until the driver has started
// (its control device opens). Under Wine the collection driver's INF is
// given too: it is installed for the HID collection that hidclass makes on
// the device, and the installer waits until string 4 can be read through
// hid.dll. (On Windows that INF matches nothing and is not needed.) With
// --remove it removes the device, as if it were unplugged; installing
// creates it again.
//   virtual-torvik-install.exe DEVICE_INF [COLLECTION_INF]
//   virtual-torvik-install.exe --remove
// Exit status 0 when the drivers run (also when they ran already) or the
// device is removed, 1 when that failed, 2 when a driver was installed but
// has not started: under Wine a restart of the prefix starts it.
#include <windows.h>
#include <newdev.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>

#include "control.h"
#include "platform/platform.h"

namespace {

const char HARDWARE_ID[] = "root\\virtual_torvik\0";  // a list: two zeros end it
const char INSTANCE_ID[] = "ROOT\\VIRTUAL_TORVIK\\0000";
// What Wine's hidclass names the device's collection.
const char COLLECTION_ID[] = "HID\\VIRTUAL_TORVIK";
const char COLLECTION_INSTANCE_PREFIX[] = "HID\\VIRTUAL_TORVIK\\";
// The string the updater reads to tell the bootloader from the firmware.
constexpr ULONG MARKER_STRING_INDEX = 4;
constexpr DWORD START_WAIT_MS = 5000;
constexpr DWORD POLL_MS = 100;

bool driverruns() {
    HANDLE control = CreateFileA(virtualtorvik::CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (control == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(control);
    return true;
}

// Whether string 4 of the device's collection can be read as a program
// reads it: under Wine only the collection driver makes that possible.
bool collectionanswers() {
    GUID hid_guid;
    HidD_GetHidGuid(&hid_guid);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hid_guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool answers = false;
    SP_DEVICE_INTERFACE_DATA found = {};
    found.cbSize = sizeof(found);
    for (DWORD i = 0; !answers && SetupDiEnumDeviceInterfaces(set, nullptr, &hid_guid, i, &found);
         ++i) {
        union {
            SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
            char room[512];
        } path = {};
        path.detail.cbSize = sizeof(path.detail);
        SP_DEVINFO_DATA info = {};
        info.cbSize = sizeof(info);
        char instance[256] = {};
        if (!SetupDiGetDeviceInterfaceDetailA(set, &found, &path.detail, sizeof(path), nullptr,
                                              &info) ||
            !SetupDiGetDeviceInstanceIdA(set, &info, instance, sizeof(instance), nullptr) ||
            _strnicmp(instance, COLLECTION_INSTANCE_PREFIX,
                      sizeof(COLLECTION_INSTANCE_PREFIX) - 1) != 0) {
            continue;
        }
        HANDLE device =
            CreateFileA(path.detail.DevicePath, GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (device != INVALID_HANDLE_VALUE) {
            wchar_t text[16] = {};
            answers = HidD_GetIndexedString(device, MARKER_STRING_INDEX, text, sizeof(text));
            CloseHandle(device);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return answers;
}

bool waitfor(bool (*done)()) {
    for (DWORD waited = 0; waited < START_WAIT_MS; waited += POLL_MS) {
        if (done()) {
            return true;
        }
        Sleep(POLL_MS);
    }
    return done();
}

// Calls `act` with the device node, when there is one.
bool withdevice(bool (*act)(HDEVINFO set, SP_DEVINFO_DATA& info)) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        return false;
    }
    SP_DEVINFO_DATA info = {};
    info.cbSize = sizeof(info);
    const bool done = SetupDiOpenDeviceInfoA(set, INSTANCE_ID, nullptr, 0, &info) && act(set, info);
    SetupDiDestroyDeviceInfoList(set);
    return done;
}

bool deviceexists() {
    return withdevice([](HDEVINFO, SP_DEVINFO_DATA&) { return true; });
}

// Under Wine this stops the device at once (the driver's removal requests
// run before SetupDiRemoveDevice returns); the driver stays loaded.
int removedevice() {
    if (!deviceexists()) {
        return 0;
    }
    if (!withdevice([](HDEVINFO set, SP_DEVINFO_DATA& info) {
            return SetupDiRemoveDevice(set, &info) != FALSE;
        })) {
        std::fprintf(stderr, "virtual-torvik-install: cannot remove the device (error %lu)\n",
                     GetLastError());
        return 1;
    }
    return 0;
}

// The device node, registered with the hardware ID the INF names. A node
// that exists already (an earlier install) is used as it is.
bool createdevice() {
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        return false;
    }
    SP_DEVINFO_DATA info = {};
    info.cbSize = sizeof(info);
    bool created =
        SetupDiCreateDeviceInfoA(set, INSTANCE_ID, &GUID_NULL, nullptr, nullptr, 0, &info) &&
        SetupDiSetDeviceRegistryPropertyA(set, &info, SPDRP_HARDWAREID,
                                          reinterpret_cast<const BYTE*>(HARDWARE_ID),
                                          sizeof(HARDWARE_ID)) &&
        SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &info);
    if (!created && GetLastError() == ERROR_DEVINST_ALREADY_EXISTS) {
        created = true;
    }
    if (!created) {
        std::fprintf(stderr, "virtual-torvik-install: cannot create the device (error %lu)\n",
                     GetLastError());
    }
    SetupDiDestroyDeviceInfoList(set);
    return created;
}

bool fullpath(const char* file, char (&path)[MAX_PATH]) {
    return GetFullPathNameA(file, MAX_PATH, path, nullptr) != 0;
}

// Installs the INF's driver on the devices that have `hardware_id`.
bool installdriver(const char* inf, const char* hardware_id) {
    char path[MAX_PATH];
    BOOL reboot = FALSE;
    if (!fullpath(inf, path) || !UpdateDriverForPlugAndPlayDevicesA(nullptr, hardware_id, path,
                                                                    INSTALLFLAG_FORCE, &reboot)) {
        std::fprintf(stderr, "virtual-torvik-install: cannot install %s (error %lu)\n", inf,
                     GetLastError());
        return false;
    }
    return true;
}

// Puts the INF where Windows looks for drivers for new devices, so that the
// collection gets its driver as soon as hidclass makes it.
bool stageinf(const char* inf) {
    char path[MAX_PATH];
    if (!fullpath(inf, path) ||
        !SetupCopyOEMInfA(path, nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "virtual-torvik-install: cannot stage %s (error %lu)\n", inf,
                     GetLastError());
        return false;
    }
    return true;
}

int installminidriver(const char* inf) {
    if (deviceexists() && driverruns()) {
        return 0;
    }
    if (!createdevice() || !installdriver(inf, HARDWARE_ID)) {
        return 1;
    }
    if (!waitfor(driverruns)) {
        std::fputs("virtual-torvik-install: the minidriver is installed but has not started\n",
                   stderr);
        return 2;
    }
    return 0;
}

int installcollectiondriver(const char* inf) {
    if (waitfor(collectionanswers)) {
        return 0;
    }
    if (!installdriver(inf, COLLECTION_ID)) {
        return 1;
    }
    if (!waitfor(collectionanswers)) {
        std::fputs(
            "virtual-torvik-install: the collection driver is installed but has not "
            "started\n",
            stderr);
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--remove") == 0) {
        return removedevice();
    }
    if (argc != 2 && argc != 3) {
        std::fputs("usage: virtual-torvik-install DEVICE_INF [COLLECTION_INF] | --remove\n",
                   stderr);
        return 1;
    }
    const char* collection_inf = argc == 3 ? argv[2] : nullptr;
    if (collection_inf != nullptr && !stageinf(collection_inf)) {
        return 1;
    }
    const int status = installminidriver(argv[1]);
    if (status != 0 || collection_inf == nullptr) {
        return status;
    }
    return installcollectiondriver(collection_inf);
}
