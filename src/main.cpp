#include "platform/platform.h"
#include "torvikupdate.h"

// The updater takes no arguments; whatever is given is ignored.
int main() {
    // Any DLL loaded from here on comes from the system directory, never from
    // the folder the executable was started from (often Downloads, where a
    // stranger's DLL may lie).
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return torvikupdate();
}
