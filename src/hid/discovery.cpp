#include "hid/discovery.h"

namespace {

// String descriptor 4 starts with "FW" while the device runs its bootloader.
constexpr ULONG MARKER_STRING_INDEX = 4;
// Room for four UTF-16 code units: enough for the two that are compared and
// the zero that ends a shorter string.
constexpr ULONG MARKER_BUFFER_SIZE = 8;
constexpr unsigned char MARKER_FIRST = 0x46;   // 'F'
constexpr unsigned char MARKER_SECOND = 0x57;  // 'W'

// Copies as much of `text` as fits, and the zero that ends it.
void copypath(const char* text, char* path, DWORD path_size) {
    DWORD length = 0;
    for (; length + 1 < path_size && text[length] != '\0'; ++length) {
        path[length] = text[length];
    }
    path[length] = '\0';
}

// Reads the device path of the interface and opens it for overlapped I/O,
// copying the path into `path` unless that is null. Sets `detail_failed`
// when the path cannot be had, which ends the search.
HANDLE openinterface(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interface_data, char* path,
                     DWORD path_size, bool& detail_failed) {
    // The first call has no buffer: it fails, but reports the size needed.
    DWORD required_size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &interface_data, nullptr, 0, &required_size, nullptr);
    if (required_size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        detail_failed = true;
        return INVALID_HANDLE_VALUE;
    }
    auto* detail =
        static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(LocalAlloc(LMEM_FIXED, required_size));
    if (detail == nullptr) {
        detail_failed = true;
        return INVALID_HANDLE_VALUE;
    }
    // The size field names the record type, not the buffer: Windows refuses
    // anything but sizeof the declared type (8 on 64-bit, 5 on 32-bit).
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &interface_data, detail, required_size, nullptr,
                                          nullptr)) {
        LocalFree(detail);
        detail_failed = true;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE device = CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (path != nullptr && path_size > 0) {
        copypath(detail->DevicePath, path, path_size);
    }
    LocalFree(detail);
    return device;
}

bool matches(HANDLE device, const HIDD_ATTRIBUTES& attributes, int vendor_id, int product_id,
             int version) {
    // Each attribute is compared with the whole int, so an argument outside
    // 0..65535 matches nothing. The marker is read last, and only from a
    // device whose IDs match.
    return attributes.VendorID == vendor_id && attributes.ProductID == product_id &&
           (version == 0 || attributes.VersionNumber == version) && hasbootloadermarker(device);
}

}  // namespace

bool hasbootloadermarker(HANDLE device) {
    unsigned char marker[MARKER_BUFFER_SIZE] = {};
    if (!HidD_GetIndexedString(device, MARKER_STRING_INDEX, marker, MARKER_BUFFER_SIZE)) {
        return false;
    }
    // UTF-16LE: the low byte of each code unit comes first.
    return marker[0] == MARKER_FIRST && marker[2] == MARKER_SECOND;
}

HANDLE connectToIthUSBHIDDevice(int& position) {
    return connectToIthUSBHIDDevice(position, nullptr, 0);
}

HANDLE connectToIthUSBHIDDevice(int& position, char* path, DWORD path_size) {
    GUID hid_guid;
    HidD_GetHidGuid(&hid_guid);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hid_guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return INVALID_HANDLE_VALUE;  // no set to walk: as good as an empty one
    }
    HANDLE device = INVALID_HANDLE_VALUE;
    for (;; ++position) {
        SP_DEVICE_INTERFACE_DATA interface_data = {};
        interface_data.cbSize = sizeof(interface_data);
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hid_guid, static_cast<DWORD>(position),
                                         &interface_data)) {
            break;
        }
        bool detail_failed = false;
        device = openinterface(set, interface_data, path, path_size, detail_failed);
        if (device != INVALID_HANDLE_VALUE || detail_failed) {
            break;
        }
        // Interfaces that cannot be opened (held exclusively, like keyboards
        // and mice) are passed over.
    }
    SetupDiDestroyDeviceInfoList(set);
    return device;
}

HANDLE connectToUSBHIDDevice(int vendor_id, int product_id, int version) {
    for (int position = 0;; ++position) {
        HANDLE device = connectToIthUSBHIDDevice(position);
        if (device == INVALID_HANDLE_VALUE) {
            return INVALID_HANDLE_VALUE;
        }
        HIDD_ATTRIBUTES attributes = {};
        attributes.Size = sizeof(attributes);
        if (!HidD_GetAttributes(device, &attributes)) {
            CloseHandle(device);
            return INVALID_HANDLE_VALUE;
        }
        if (matches(device, attributes, vendor_id, product_id, version)) {
            return device;
        }
        CloseHandle(device);
    }
}
