# Runs torvikupdate.exe under Wine, where no Torvik is attached, and checks
# what the user sees: the one message on stdout, ended as Windows text mode
# ends a line ("\r\n"), nothing on stderr, and exit status 2.
#   cmake -DWINE_RUN=cmake/wine-run.sh -DWINE_PREFIX=DIR -DPROGRAM=torvikupdate.exe
#         -DOUTPUT_DIR=DIR [-DDLL_OVERRIDES=...] -P check_no_torvik.cmake
# DLL_OVERRIDES are Wine DLL overrides for this run (hid=d: no hid.dll).
# The streams go to files in OUTPUT_DIR: execute_process would turn "\r\n"
# into "\n" in an OUTPUT_VARIABLE, hiding the line end this is to check.

foreach(variable IN ITEMS WINE_RUN WINE_PREFIX PROGRAM OUTPUT_DIR)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()

set(stdout_file "${OUTPUT_DIR}/torvikupdate_no_torvik.stdout")
set(stderr_file "${OUTPUT_DIR}/torvikupdate_no_torvik.stderr")
file(MAKE_DIRECTORY "${OUTPUT_DIR}")
file(REMOVE "${stdout_file}" "${stderr_file}")
set(overrides "")
if(DLL_OVERRIDES)
    set(overrides "WINEDLLOVERRIDES=${DLL_OVERRIDES}")
endif()
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env ${overrides} "${WINE_RUN}" "--prefix=${WINE_PREFIX}" "${PROGRAM}"
    INPUT_FILE /dev/null
    OUTPUT_FILE "${stdout_file}"
    ERROR_FILE "${stderr_file}"
    RESULT_VARIABLE status
    TIMEOUT 120)
file(READ "${stderr_file}" stderr)
file(SIZE "${stderr_file}" stderr_size)

set(expected_stdout
    "No Torvik found. Please restart Torvik in bootloader mode (connect USB during power on).\r\n")

include("${CMAKE_CURRENT_LIST_DIR}/visible.cmake")

set(failures "")
expectfiletext(stdout "${stdout_file}" "${expected_stdout}")
if(NOT stderr_size EQUAL 0)
    visible("${stderr}" got)
    string(APPEND failures "stderr is ${got}\n  expected nothing\n")
endif()
if(NOT status STREQUAL "2")
    string(APPEND failures "exit status is ${status}\n  expected 2\n")
endif()

if(failures)
    # A plain message keeps the strings as they are; FATAL_ERROR would reflow them.
    message("torvikupdate.exe under Wine:\n${failures}")
    message(FATAL_ERROR "torvikupdate.exe did not report the missing Torvik as expected")
endif()
message(STATUS "torvikupdate.exe under Wine: the no-Torvik message, nothing on stderr, status 2")
