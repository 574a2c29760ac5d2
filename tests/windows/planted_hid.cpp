// A stranger's hid.dll: when it is loaded it leaves a file beside itself,
// so a test can tell whether a program took it.
#include <windows.h>

namespace {

// Its own path, as the loader names it, with ".loaded" after it.
void leavemarker(HINSTANCE self) {
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    lstrcpyW(path + length, L".loaded");
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        leavemarker(self);
    }
    return TRUE;
}

// The one function import_control.exe imports, so that the control loads.
extern "C" __declspec(dllexport) void __stdcall HidD_GetHidGuid(GUID* guid) {
    *guid = GUID{};
}
