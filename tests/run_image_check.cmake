# Makes images of the given sizes (sparse where large) and runs the build's
# image check on them, printing "images accepted" when it lets them through.
file(MAKE_DIRECTORY "${WORK_DIR}")
foreach(image IN ITEMS fpga mcu)
    string(TOUPPER "${image}" upper)
    set(path "${WORK_DIR}/${image}.bin")
    execute_process(COMMAND truncate -s ${${upper}_SIZE} "${path}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot make ${path}")
    endif()
endforeach()
execute_process(
    COMMAND "${CMAKE_COMMAND}" "-DTORVIK_FPGA_IMAGE=${WORK_DIR}/fpga.bin"
            "-DTORVIK_MCU_IMAGE=${WORK_DIR}/mcu.bin"
            -P "${CMAKE_CURRENT_LIST_DIR}/../cmake/check_images.cmake"
    RESULT_VARIABLE check_failed
    ERROR_VARIABLE check_messages)
# CMake wraps long messages; fold them back into one line.
string(REGEX REPLACE "[ \n]+" " " check_messages "${check_messages}")
message("${check_messages}")
if(NOT check_failed)
    message("images accepted")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
