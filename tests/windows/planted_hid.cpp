// A stranger's hid.dll: when it is loaded it leaves a file beside itself,
// so a test can tell whether a program took it.
#include <windows.h>

namespace {

// "hid.dll.loaded", beside itself.
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

// The functions the updater would look for, so that a program importing
// them loads at all.
extern "C" __declspec(dllexport) void __stdcall HidD_GetHidGuid(GUID* guid) {
    *guid = GUID{};
}

extern "C" __declspec(dllexport) BOOLEAN __stdcall HidD_GetAttributes(HANDLE, void*) {
    return FALSE;
}

extern "C" __declspec(dllexport) BOOLEAN
    __stdcall HidD_GetIndexedString(HANDLE, ULONG, void*, ULONG) {
    return FALSE;
}
