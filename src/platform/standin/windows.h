// Stand-in for the part of the Windows API that the updater uses, for
// building it on other systems. Same names, field names and meanings; no
// implementation here: one is linked in (simulated bus, or a real backend).
#pragma once

#include <cstddef>
#include <cstdint>

using BOOL = int;
using BOOLEAN = unsigned char;
using BYTE = std::uint8_t;
using CHAR = char;
using WCHAR = char16_t;
using USHORT = std::uint16_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using ULONG_PTR = std::uintptr_t;
using SIZE_T = std::size_t;
using UINT = unsigned int;
using HANDLE = void*;
using HWND = void*;
using HLOCAL = void*;
using HDEVINFO = void*;
using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPCSTR = const char*;
using PCSTR = const char*;
using LPDWORD = DWORD*;
using PDWORD = DWORD*;

#define TRUE 1
#define FALSE 0
#define ANYSIZE_ARRAY 1

// Handles are pointers; "no handle" is all bits set, as on Windows.
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(~std::uintptr_t{0}))

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u
#define FILE_FLAG_OVERLAPPED 0x40000000u

#define DIGCF_PRESENT 0x00000002u
#define DIGCF_DEVICEINTERFACE 0x00000010u

#define LMEM_FIXED 0x0000u

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

#define ERROR_SUCCESS 0u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_NO_MORE_ITEMS 259u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_INCOMPLETE 996u
#define ERROR_IO_PENDING 997u
#define ERROR_NOT_FOUND 1168u
#define ERROR_DEVICE_NOT_CONNECTED 1167u
#define ERROR_INVALID_USER_BUFFER 1784u

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using LPGUID = GUID*;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

struct SP_DEVINFO_DATA;
using PSP_DEVINFO_DATA = SP_DEVINFO_DATA*;

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};
using PSP_DEVICE_INTERFACE_DATA = SP_DEVICE_INTERFACE_DATA*;

struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    CHAR DevicePath[ANYSIZE_ARRAY];
};
using PSP_DEVICE_INTERFACE_DETAIL_DATA_A = SP_DEVICE_INTERFACE_DETAIL_DATA_A*;

struct HIDD_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
};
using PHIDD_ATTRIBUTES = HIDD_ATTRIBUTES*;

// Windows overlays Offset/OffsetHigh with a Pointer in an anonymous union;
// the updater only ever uses the offsets, so the stand-in keeps them plain.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

// kernel32
DWORD GetLastError();
HANDLE CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD share_mode,
                   LPSECURITY_ATTRIBUTES security_attributes, DWORD creation_disposition,
                   DWORD flags_and_attributes, HANDLE template_file);
BOOL CloseHandle(HANDLE object);
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL memory);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES event_attributes, BOOL manual_reset, BOOL initial_state,
                    LPCSTR name);
BOOL ResetEvent(HANDLE event);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
               LPOVERLAPPED overlapped);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes_to_read, LPDWORD bytes_read,
              LPOVERLAPPED overlapped);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped);
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytes_transferred,
                         BOOL wait);

// setupapi
HDEVINFO SetupDiGetClassDevsA(const GUID* class_guid, PCSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO device_info_set, PSP_DEVINFO_DATA device_info_data,
                                 const GUID* interface_class_guid, DWORD member_index,
                                 PSP_DEVICE_INTERFACE_DATA device_interface_data);
BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO device_info_set,
                                      PSP_DEVICE_INTERFACE_DATA device_interface_data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detail_size,
                                      PDWORD required_size, PSP_DEVINFO_DATA device_info_data);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO device_info_set);

// hid
void HidD_GetHidGuid(LPGUID hid_guid);
BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes);
BOOLEAN HidD_GetIndexedString(HANDLE device, ULONG string_index, PVOID buffer, ULONG buffer_length);
