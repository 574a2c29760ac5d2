#include "session.h"

#include <tlhelp32.h>

#include "window_controls.h"

namespace {

// Local\: one window per session, so that each user of a shared PC has
// their own.
constexpr wchar_t WINDOW_MUTEX_NAME[] = L"Local\\TorvikUpdateWindow";

void bringtofront(HWND other) {
    if (other == nullptr) {
        return;  // still starting: it shows itself
    }
    if (IsIconic(other)) {
        ShowWindow(other, SW_RESTORE);
    }
    // Allowed: the user has just started this program, so it may hand the
    // foreground on.
    SetForegroundWindow(other);
}

bool runsinsession(DWORD process_id, DWORD session) {
    DWORD its_session = 0;
    if (!ProcessIdToSessionId(process_id, &its_session) || its_session != session) {
        return false;
    }
    // A process that has ended may stay listed while a handle to it is open.
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
    if (process == nullptr) {
        return true;
    }
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return !ended;
}

}  // namespace

bool claimwindow() {
    // Never closed: the name stays taken for as long as this process runs,
    // and Windows frees it when the process ends, however it ends.
    SetLastError(ERROR_SUCCESS);
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, WINDOW_MUTEX_NAME);
    const DWORD error = GetLastError();
    // Access denied: the other window runs elevated, and made it so.
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) {
        return true;
    }
    if (mutex != nullptr) {
        CloseHandle(mutex);
    }
    bringtofront(FindWindowW(TORVIK_WINDOW_CLASS, nullptr));
    return false;
}

int runningupdaters(const wchar_t* updater_name) {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) {
        return 0;
    }
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    int running = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, updater_name) == 0 &&
            runsinsession(entry.th32ProcessID, session)) {
            ++running;
        }
    }
    CloseHandle(snapshot);
    return running;
}

void keepawake(bool awake) {
    SetThreadExecutionState(awake ? ES_SYSTEM_REQUIRED | ES_CONTINUOUS : ES_CONTINUOUS);
}
