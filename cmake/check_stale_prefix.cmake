# A Wine prefix made by another Wine installation is made anew before a
# program runs in it (cmake/wine-prefix.sh): here the prefix's record of its
# installation is changed, as when wine32 is added or Wine upgraded, and a
# file is planted in it; the next run must find a new prefix, recorded anew,
# and the program must run there as ever (torvikupdate.exe's not-found
# outcome: no Torvik in this prefix).
#   cmake -DWINE_RUN=cmake/wine-run.sh -DWINE_PREFIX=DIR -DPROGRAM=torvikupdate.exe
#         -DOUTPUT_DIR=DIR -P check_stale_prefix.cmake

foreach(variable IN ITEMS WINE_RUN WINE_PREFIX PROGRAM OUTPUT_DIR)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()

function(run_without_torvik)
    execute_process(
        COMMAND "${CMAKE_COMMAND}" "-DWINE_RUN=${WINE_RUN}" "-DWINE_PREFIX=${WINE_PREFIX}"
                "-DPROGRAM=${PROGRAM}" "-DOUTPUT_DIR=${OUTPUT_DIR}"
                -P "${CMAKE_CURRENT_LIST_DIR}/check_no_torvik.cmake"
        RESULT_VARIABLE status)
    execute_process(COMMAND "${WINE_RUN}" "--prefix=${WINE_PREFIX}" --stop)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "torvikupdate.exe did not run as expected in ${WINE_PREFIX}")
    endif()
endfunction()

set(record "${WINE_PREFIX}/torvik-wine-installation")
set(planted "${WINE_PREFIX}/drive_c/planted-by-the-test")
run_without_torvik()
file(READ "${record}" installation)
file(WRITE "${record}" "wine-8.0 (a Wine installation that is gone)\n")
file(WRITE "${planted}" "a file of the old prefix\n")

run_without_torvik()
if(EXISTS "${planted}")
    message(FATAL_ERROR "the prefix made by another Wine installation was used as it was")
endif()
file(READ "${record}" recorded)
if(NOT recorded STREQUAL installation)
    message(FATAL_ERROR "the new prefix records ${recorded}\n  expected ${installation}")
endif()
message(STATUS "a prefix made by another Wine installation was made anew, and the program ran")
