# Runs the test build of "Update Torvik.exe" under Wine where there is no
# Torvik, and checks what it prints, its status and whether it waited.
#   cmake -DWINE_RUN=wine-run.sh -DWINE_PREFIX=DIR -DINPUT_RUN=launcher_input.sh
#         -DLAUNCHER=FILE -DOUTPUT_DIR=DIR (-DUPDATER=FILE | -DDECOY=FILE)
#         -DINPUT=closed|enter|silent
#         [-DOWNS_CONSOLE=1] [-DWAIT_MS=N] -P check_launcher.cmake
# The two programs are copied into a folder whose name has spaces and
# parentheses, as a second download's; with DECOY instead of UPDATER the
# launcher is there alone, and DECOY, named torvikupdate.exe, is in the
# folder it runs in (where the search path would find it). OWNS_CONSOLE and WAIT_MS go to the launcher's test seam. Expected:
#   with UPDATER      the updater's not-found line, the launcher's line for
#                     status 2, status 2
#   with DECOY        the launcher's line for a missing updater, status 1
#   OWNS_CONSOLE=1    then the prompt; with WAIT_MS and INPUT=silent the run
#                     took at least WAIT_MS (else it ended, within TIMEOUT)

foreach(variable IN ITEMS WINE_RUN WINE_PREFIX INPUT_RUN LAUNCHER OUTPUT_DIR INPUT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()
include("${CMAKE_CURRENT_LIST_DIR}/visible.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/launcher_lines.cmake")

set(folder "${OUTPUT_DIR}/torvikupdate-1.0.0-win64 (1)")
file(REMOVE_RECURSE "${folder}")
file(MAKE_DIRECTORY "${folder}")
file(COPY "${LAUNCHER}" DESTINATION "${folder}")
get_filename_component(launcher_name "${LAUNCHER}" NAME)
if(DEFINED UPDATER)
    file(COPY "${UPDATER}" DESTINATION "${folder}")
    set(expected_stdout "${no_torvik_line}${launcher_line_2}")
    set(expected_status 2)
else()
    configure_file("${DECOY}" "${OUTPUT_DIR}/torvikupdate.exe" COPYONLY)
    set(expected_stdout "${launcher_line_missing}")
    set(expected_status 1)
endif()
if(OWNS_CONSOLE)
    string(APPEND expected_stdout "${launcher_prompt}")
endif()

set(environment "TORVIK_LAUNCHER_OWNS_CONSOLE=${OWNS_CONSOLE}")
if(DEFINED WAIT_MS)
    list(APPEND environment "TORVIK_LAUNCHER_WAIT_MS=${WAIT_MS}")
endif()
set(stdout_file "${OUTPUT_DIR}/stdout")
set(stderr_file "${OUTPUT_DIR}/stderr")
# The streams go to files: execute_process would turn "\r\n" into "\n".
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env ${environment}
            "${INPUT_RUN}" "${INPUT}" "${WINE_RUN}" "--prefix=${WINE_PREFIX}"
            "${folder}/${launcher_name}"
    OUTPUT_FILE "${stdout_file}"
    ERROR_FILE "${stderr_file}"
    WORKING_DIRECTORY "${OUTPUT_DIR}"
    RESULT_VARIABLE status
    TIMEOUT 90)
file(READ "${stderr_file}" stderr)

set(failures "")
expectfiletext(stdout "${stdout_file}" "${expected_stdout}")
if(NOT status STREQUAL expected_status)
    string(APPEND failures "exit status is ${status}\n  expected ${expected_status}\n")
endif()
if(NOT stderr MATCHES "elapsed=([0-9]+)\n$")
    visible("${stderr}" got)
    string(APPEND failures "stderr is ${got}\n  expected the elapsed line\n")
elseif(INPUT STREQUAL "silent" AND DEFINED WAIT_MS AND CMAKE_MATCH_1 LESS WAIT_MS)
    string(APPEND failures "the run took ${CMAKE_MATCH_1} ms\n  expected at least ${WAIT_MS}\n")
endif()

if(failures)
    message("${launcher_name} with input ${INPUT}, ${environment}:\n${failures}")
    message(FATAL_ERROR "the launcher did not behave as expected")
endif()
message(STATUS "${launcher_name} with input ${INPUT}, ${environment}: as expected (${stderr})")
