// Imports hid.dll the usual way, as the updater must not: the control for the
// planted-DLL test, showing which hid.dll such an import gets.
#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

int main() {
    GUID guid;
    HidD_GetHidGuid(&guid);
    return 0;
}
