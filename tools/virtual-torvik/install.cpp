// Installs the virtual Torvik: creates its root-enumerated device and
// installs the driver from the INF for it, then waits until the driver has
// started (its control device opens).
//   virtual-torvik-install.exe INF
// Exit status 0 when the driver runs (also when it ran already), 1 when the
// installation failed, 2 when the driver was installed but did not start.
#include <windows.h>
#include <newdev.h>
#include <setupapi.h>

#include <cstdio>

#include "control.h"

namespace {

const char HARDWARE_ID[] = "root\\virtual_torvik\0";  // a list: two zeros end it
const char INSTANCE_ID[] = "ROOT\\VIRTUAL_TORVIK\\0000";
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

bool waitforstart() {
    for (DWORD waited = 0; waited < START_WAIT_MS; waited += POLL_MS) {
        if (driverruns()) {
            return true;
        }
        Sleep(POLL_MS);
    }
    return driverruns();
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

bool installdriver(const char* inf) {
    char full_path[MAX_PATH];
    if (GetFullPathNameA(inf, MAX_PATH, full_path, nullptr) == 0) {
        return false;
    }
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesA(nullptr, HARDWARE_ID, full_path, INSTALLFLAG_FORCE,
                                            &reboot)) {
        std::fprintf(stderr, "virtual-torvik-install: cannot install %s (error %lu)\n", full_path,
                     GetLastError());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: virtual-torvik-install INF\n", stderr);
        return 1;
    }
    if (driverruns()) {
        return 0;
    }
    if (!createdevice() || !installdriver(argv[1])) {
        return 1;
    }
    if (!waitforstart()) {
        std::fputs("virtual-torvik-install: the driver is installed but has not started\n", stderr);
        return 2;
    }
    return 0;
}
