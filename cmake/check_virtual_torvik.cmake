# Runs torvikupdate.exe under Wine against the virtual Torvik
# (tools/virtual-torvik/run-under-wine.sh) and checks what the user sees
# and what the device counted.
#   cmake -DRUN=run-under-wine.sh -DBUILD_DIR=DIR -DEXE=FILE -DPREFIX=DIR -DOUTPUT_DIR=DIR
#         -DFPGA_IMAGE=FILE -DMCU_IMAGE=FILE [-DOPTIONS=a,b] [settings] -P check_virtual_torvik.cmake
# BUILD_DIR is the 64-bit build tree with the virtual Torvik; EXE the
# torvikupdate.exe to run, of that build or of a 32-bit one.
# Settings, by what is expected:
#   NOT_FOUND=ON      the not-found line, status 2, nothing written
#   FAILED_AFTER=N    the FPGA phase fails after N confirmed blocks, status 3
#   (else)            a whole update: the three lines, status 0, restarted
#   STRINGS=N         the device was asked for N indexed strings (default 1:
#                     string 4, read by the program through the collection driver)
#   MAX_REMOVAL=MS    with --remove-after: the removal took at most this long
#   EXTRA_SENDINGS=N  block sendings beyond one per block (default 0)
#   EXTRA_READS=N     input reports delivered beyond one per block (default 0)
#   RACE_ALLOWANCE=N  the sendings and reads may each exceed those by up to N
#   MIN_ELAPSED=MS    the run takes at least this long (a fault that holds it up)
#   SAVE=ON           --save, and the stored images equal the built-in ones

foreach(variable IN ITEMS RUN BUILD_DIR EXE PREFIX OUTPUT_DIR FPGA_IMAGE MCU_IMAGE)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()
if(NOT EXISTS "${BUILD_DIR}/tools/virtual-torvik/virtual-torvik-control.exe")
    message(FATAL_ERROR "No virtual Torvik in ${BUILD_DIR}: build the windows preset first")
endif()

string(REPLACE "," ";" options "${OPTIONS}")
set(save_dir "${OUTPUT_DIR}/saved")
if(SAVE)
    file(REMOVE_RECURSE "${save_dir}")
    list(APPEND options "--save=${save_dir}")
endif()

file(MAKE_DIRECTORY "${OUTPUT_DIR}")
set(stdout_file "${OUTPUT_DIR}/stdout")
set(stderr_file "${OUTPUT_DIR}/stderr")
# The streams go to files: execute_process would turn "\r\n" into "\n" in
# an OUTPUT_VARIABLE, hiding the line ends this checks.
execute_process(
    COMMAND "${RUN}" "--build=${BUILD_DIR}" "--exe=${EXE}" "--prefix=${PREFIX}" ${options}
    INPUT_FILE /dev/null
    OUTPUT_FILE "${stdout_file}"
    ERROR_FILE "${stderr_file}"
    RESULT_VARIABLE status
    TIMEOUT 170)
file(READ "${stderr_file}" stderr)

include("${CMAKE_CURRENT_LIST_DIR}/visible.cmake")

set(failures "")
macro(expect what got wanted)
    if(NOT "${got}" STREQUAL "${wanted}")
        string(APPEND failures "${what} is ${got}\n  expected ${wanted}\n")
    endif()
endmacro()

# A count of at least `wanted` and at most `allowance` more.
macro(expectcount what got wanted allowance)
    math(EXPR most "${wanted} + ${allowance}")
    if(${got} LESS ${wanted} OR ${got} GREATER ${most})
        if(most EQUAL wanted)
            string(APPEND failures "${what} is ${got}\n  expected ${wanted}\n")
        else()
            string(APPEND failures "${what} is ${got}\n  expected ${wanted} to ${most}\n")
        endif()
    endif()
endmacro()

# The settings' defaults.
foreach(setting IN ITEMS EXTRA_SENDINGS=0 EXTRA_READS=0 RACE_ALLOWANCE=0 STRINGS=1)
    string(REPLACE "=" ";" setting "${setting}")
    list(GET setting 0 name)
    if(NOT DEFINED ${name})
        list(GET setting 1 ${name})
    endif()
endforeach()

if(NOT_FOUND)
    set(expected_stdout
        "No Torvik found. Please restart Torvik in bootloader mode (connect USB during power on).\r\n")
    set(expected_status 2)
    set(expected_writes 0)
    set(expected_reads 0)
    set(expected_restarted no)
else()
    # One dot per confirmed block: the FPGA stream carries a 4-byte length first.
    file(SIZE "${FPGA_IMAGE}" fpga_size)
    file(SIZE "${MCU_IMAGE}" mcu_size)
    math(EXPR fpga_blocks "(${fpga_size} + 4 + 2047) / 2048")
    math(EXPR mcu_blocks "${mcu_size} / 2048")
    if(DEFINED FAILED_AFTER)
        string(REPEAT "." ${FAILED_AFTER} dots)
        set(expected_stdout "Updating FPGA.${dots} failed.\r\n")
        set(expected_status 3)
        set(confirmed ${FAILED_AFTER})
        math(EXPR expected_writes "${FAILED_AFTER} * 36")
        set(expected_restarted no)
    else()
        string(REPEAT "." ${fpga_blocks} fpga_dots)
        string(REPEAT "." ${mcu_blocks} mcu_dots)
        set(expected_stdout
            "Updating FPGA.${fpga_dots} done.\r\nUpdating MCU.${mcu_dots} done.\r\nRestarting...\r\n")
        set(expected_status 0)
        math(EXPR confirmed "${fpga_blocks} + ${mcu_blocks}")
        # 36 chunk reports a sending, and the restart report.
        math(EXPR expected_writes "(${confirmed} + ${EXTRA_SENDINGS}) * 36 + 1")
        set(expected_restarted yes)
    endif()
    math(EXPR expected_reads "${confirmed} + ${EXTRA_READS}")
endif()

expectfiletext(stdout "${stdout_file}" "${expected_stdout}")
expect("exit status" "${status}" "${expected_status}")
if(stderr MATCHES "^elapsed=([0-9]+) writes=([0-9]+) reads=([0-9]+) strings=([0-9]+) restarted=(yes|no)( removal=([0-9]+))?\r?\n$")
    set(elapsed ${CMAKE_MATCH_1})
    set(removal "${CMAKE_MATCH_7}")
    expectcount("reports the device took" ${CMAKE_MATCH_2} ${expected_writes}
                "${RACE_ALLOWANCE} * 36")
    expectcount("reports the device delivered" ${CMAKE_MATCH_3} ${expected_reads}
                "${RACE_ALLOWANCE}")
    expect("indexed strings read" "${CMAKE_MATCH_4}" "${STRINGS}")
    expect("restarted" "${CMAKE_MATCH_5}" "${expected_restarted}")
    if(DEFINED MIN_ELAPSED AND elapsed LESS MIN_ELAPSED)
        string(APPEND failures "the run took ${elapsed} ms\n  expected at least ${MIN_ELAPSED}\n")
    endif()
    if(DEFINED MAX_REMOVAL AND (removal STREQUAL "" OR removal GREATER MAX_REMOVAL))
        string(APPEND failures "the removal took '${removal}' ms\n  expected at most ${MAX_REMOVAL}\n")
    endif()
else()
    visible("${stderr}" got)
    string(APPEND failures "stderr is ${got}\n  expected only the summary line\n")
endif()
if(SAVE)
    foreach(image IN ITEMS fpga mcu)
        string(TOUPPER "${image}" name)
        execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
                                "${save_dir}/${image}.bin" "${${name}_IMAGE}"
                        RESULT_VARIABLE different)
        if(different)
            string(APPEND failures "the stored ${image} image differs from ${${name}_IMAGE}\n")
        endif()
    endforeach()
endif()

if(failures)
    message("virtual Torvik run with '${options}':\n${failures}")
    message(FATAL_ERROR "the run against the virtual Torvik did not go as expected")
endif()
message(STATUS "virtual Torvik run with '${options}': as expected (${stderr})")
