# A stranger's hid.dll beside torvikupdate.exe is never loaded.
#   cmake -DWINE_RUN=... -DWINE_PREFIX=DIR -DPROGRAM=torvikupdate.exe
#         -DPLANTED_DLL=hid.dll -DCONTROL=import_control.exe -DOUTPUT_DIR=DIR
#         -P check_planted_hid.cmake
# The planted hid.dll leaves a marker file beside itself when it is loaded.
# Wine prefers its own hid.dll unless told otherwise, so both runs ask for
# a native one first (hid=n,b), as Windows would take it. The control, a
# program that imports hid.dll the usual way, shows that Wine then does load
# the planted one; where it does not, the check cannot be made here and the
# test is skipped ("not meaningful").

set(folder "${OUTPUT_DIR}/planted")
file(REMOVE_RECURSE "${folder}")
file(MAKE_DIRECTORY "${folder}")
file(COPY_FILE "${PLANTED_DLL}" "${folder}/hid.dll")
file(COPY_FILE "${PROGRAM}" "${folder}/torvikupdate.exe")
file(COPY_FILE "${CONTROL}" "${folder}/import_control.exe")

execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env "WINEDLLOVERRIDES=hid=n,b"
            "${WINE_RUN}" "--prefix=${WINE_PREFIX}" "${folder}/import_control.exe"
    INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET TIMEOUT 120)
# The marker takes the DLL's name as the loader gives it: Wine gives the
# import's, "HID.DLL".
function(findmarker variable)
    file(GLOB found "${folder}/*.loaded")
    set(${variable} "${found}" PARENT_SCOPE)
endfunction()

findmarker(marker)
if(NOT marker)
    message("not meaningful: Wine did not load an application-directory hid.dll "
            "even for a program that imports it")
    return()
endif()
file(REMOVE "${marker}")

set(PROGRAM "${folder}/torvikupdate.exe")
set(DLL_OVERRIDES "hid=n,b")
include("${CMAKE_CURRENT_LIST_DIR}/check_no_torvik.cmake")
findmarker(marker)
if(marker)
    message(FATAL_ERROR "torvikupdate.exe loaded the hid.dll beside it")
endif()
message(STATUS "torvikupdate.exe left the hid.dll beside it alone; the control loaded it")
