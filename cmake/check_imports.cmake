cmake_policy(SET CMP0057 NEW)  # if(IN_LIST)
# The executable imports only DLLs that Windows always takes from the system
# directory: kernel32, setupapi and the C runtime. Any other would be looked
# for beside the executable first.
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DPROGRAM=torvikupdate.exe -P check_imports.cmake

set(allowed kernel32.dll setupapi.dll msvcrt.dll)

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
