// The three hid.dll functions the updater uses, taken from the system
// directory only.
//
// hid.dll is not one of Windows' known DLLs, so importing it the usual way
// would load whatever hid.dll lies beside the executable first; users run
// updaters from their Downloads folder, where anyone may have left one.
// These definitions take the place of the import library's: the executable
// imports nothing from hid.dll, and the real functions are looked up in the
// system directory's copy on first use.
#include "platform/platform.h"

namespace {

using GetHidGuidFunction = void(NTAPI*)(LPGUID);
using GetAttributesFunction = BOOLEAN(NTAPI*)(HANDLE, PHIDD_ATTRIBUTES);
using GetIndexedStringFunction = BOOLEAN(NTAPI*)(HANDLE, ULONG, PVOID, ULONG);

struct HidFunctions {
    GetHidGuidFunction get_hid_guid;
    GetAttributesFunction get_attributes;
    GetIndexedStringFunction get_indexed_string;
};

// GetProcAddress returns a generic function pointer; each is cast back to
// the type the function really has.
template <typename Function>
Function lookup(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// All three functions, or none: a hid.dll missing one of them is not used.
const HidFunctions& hid() {
    static const HidFunctions functions = [] {
        HidFunctions found = {};
        HMODULE library = LoadLibraryExW(L"hid.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (library == nullptr) {
            return found;
        }
        found.get_hid_guid = lookup<GetHidGuidFunction>(library, "HidD_GetHidGuid");
        found.get_attributes = lookup<GetAttributesFunction>(library, "HidD_GetAttributes");
        found.get_indexed_string =
            lookup<GetIndexedStringFunction>(library, "HidD_GetIndexedString");
        if (!found.get_hid_guid || !found.get_attributes || !found.get_indexed_string) {
            found = {};
        }
        return found;
    }();
    return functions;
}

}  // namespace

extern "C" {

// Without hid.dll the class identifier stays all zero: no interface belongs
// to that class, so the search finds nothing.
void NTAPI HidD_GetHidGuid(LPGUID hid_guid) {
    *hid_guid = {};
    if (hid().get_hid_guid) {
        hid().get_hid_guid(hid_guid);
    }
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
    return hid().get_attributes ? hid().get_attributes(device, attributes) : FALSE;
}

BOOLEAN NTAPI HidD_GetIndexedString(HANDLE device, ULONG string_index, PVOID buffer,
                                    ULONG buffer_length) {
    return hid().get_indexed_string
               ? hid().get_indexed_string(device, string_index, buffer, buffer_length)
               : FALSE;
}

}  // extern "C"
