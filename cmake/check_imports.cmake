cmake_policy(SET CMP0057 NEW)  # if(IN_LIST)
# The executable imports only DLLs that Windows always takes from the system
# directory: kernel32, setupapi and the C runtime (and the window's, below).
# Any other would be looked for beside the executable first.
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DPROGRAM=torvikupdate.exe -P check_imports.cmake

set(allowed kernel32.dll setupapi.dll msvcrt.dll)
# "Update Torvik.exe" is a window: it also draws (user32, gdi32), asks the
# shell for the log folder and the taskbar button (shell32, ole32), all of
# them among Windows' known DLLs, and uses common controls 6 (comctl32),
# which its manifest has Windows take from the side-by-side store.
get_filename_component(program_name "${PROGRAM}" NAME)
if(program_name STREQUAL "Update Torvik.exe")
    list(APPEND allowed user32.dll gdi32.dll shell32.dll ole32.dll comctl32.dll)
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}"
                OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" names "${headers}")
if(NOT names)
    message(FATAL_ERROR "no import table found in ${PROGRAM}")
endif()
set(unexpected "")
foreach(line IN LISTS names)
    string(REGEX REPLACE "DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll_lower)
    if(NOT dll_lower IN_LIST allowed)
        list(APPEND unexpected "${dll}")
    endif()
endforeach()
if(unexpected)
    message(FATAL_ERROR "${PROGRAM} imports ${unexpected}; only ${allowed} are allowed")
endif()
message(STATUS "imports: ${names}")
