// The stand-in's Windows functions, acting on the simulated bus.
#include "platform/sim/bus.h"

using sim::bus;

DWORD GetLastError() {
    return bus().lasterror();
}

HANDLE CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD share_mode,
                   LPSECURITY_ATTRIBUTES security_attributes, DWORD creation_disposition,
                   DWORD flags_and_attributes, HANDLE template_file) {
    return bus().createfile(file_name, desired_access, share_mode, security_attributes,
                            creation_disposition, flags_and_attributes, template_file);
}

BOOL CloseHandle(HANDLE object) {
    return bus().closehandle(object);
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    return bus().localalloc(flags, bytes);
}

HLOCAL LocalFree(HLOCAL memory) {
    return bus().localfree(memory);
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES event_attributes, BOOL manual_reset, BOOL initial_state,
                    LPCSTR name) {
    return bus().createevent(event_attributes, manual_reset, initial_state, name);
}

BOOL ResetEvent(HANDLE event) {
    return bus().resetevent(event);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
               LPOVERLAPPED overlapped) {
    return bus().writefile(file, buffer, bytes_to_write, bytes_written, overlapped);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes_to_read, LPDWORD bytes_read,
              LPOVERLAPPED overlapped) {
    return bus().readfile(file, buffer, bytes_to_read, bytes_read, overlapped);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return bus().waitforsingleobject(handle, milliseconds);
}

BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
    return bus().cancelioex(file, overlapped);
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytes_transferred,
                         BOOL wait) {
    return bus().getoverlappedresult(file, overlapped, bytes_transferred, wait);
}

HDEVINFO SetupDiGetClassDevsA(const GUID* class_guid, PCSTR enumerator, HWND parent, DWORD flags) {
    return bus().getclassdevs(class_guid, enumerator, parent, flags);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO device_info_set, PSP_DEVINFO_DATA device_info_data,
                                 const GUID* interface_class_guid, DWORD member_index,
                                 PSP_DEVICE_INTERFACE_DATA device_interface_data) {
    return bus().enumdeviceinterfaces(device_info_set, device_info_data, interface_class_guid,
                                      member_index, device_interface_data);
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO device_info_set,
                                      PSP_DEVICE_INTERFACE_DATA device_interface_data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detail_size,
                                      PDWORD required_size, PSP_DEVINFO_DATA device_info_data) {
    return bus().getdeviceinterfacedetail(device_info_set, device_interface_data, detail,
                                          detail_size, required_size, device_info_data);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO device_info_set) {
    return bus().destroydeviceinfolist(device_info_set);
}

void HidD_GetHidGuid(LPGUID hid_guid) {
    *hid_guid = sim::HID_INTERFACE_CLASS;
}

BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
    return bus().getattributes(device, attributes);
}

BOOLEAN HidD_GetIndexedString(HANDLE device, ULONG string_index, PVOID buffer,
                              ULONG buffer_length) {
    return bus().getindexedstring(device, string_index, buffer, buffer_length);
}
