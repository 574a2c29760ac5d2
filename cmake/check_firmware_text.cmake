# FIRMWARE.txt names the images as sha256sum and wc see them, with the
# program's version and the IDs it was built for.
#   cmake -DTEXT=FIRMWARE.txt -DFPGA_IMAGE=FILE -DMCU_IMAGE=FILE -DVERSION=X.Y.Z
#         -DVENDOR_ID=0x.... -P check_firmware_text.cmake

foreach(variable IN ITEMS TEXT FPGA_IMAGE MCU_IMAGE VERSION VENDOR_ID)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()

set(image_lines "")
foreach(image IN ITEMS FPGA MCU)
    execute_process(COMMAND sha256sum "${${image}_IMAGE}" OUTPUT_VARIABLE sum
                    RESULT_VARIABLE failed)
    execute_process(COMMAND wc -c "${${image}_IMAGE}" OUTPUT_VARIABLE size)
    if(failed OR NOT sum MATCHES "^([0-9a-f]+) " OR NOT size MATCHES "^([0-9]+) ")
        message(FATAL_ERROR "cannot take the sum and size of ${${image}_IMAGE}")
    endif()
    string(REGEX MATCH "^[0-9a-f]+" sum "${sum}")
    string(REGEX MATCH "^[0-9]+" size "${size}")
    string(APPEND image_lines "${image} image: ${size} bytes, SHA-256 ${sum}\n")
endforeach()
math(EXPR vendor "${VENDOR_ID}" OUTPUT_FORMAT HEXADECIMAL)
set(expected "torvikupdate ${VERSION} writes this firmware into a Torvik with USB vendor ID
${vendor} and product ID 0x0006 (in bootloader mode):

${image_lines}")

file(READ "${TEXT}" text)
if(NOT text STREQUAL expected)
    message(FATAL_ERROR "${TEXT} is:\n${text}\nexpected:\n${expected}")
endif()
message(STATUS "${TEXT} names the images as sha256sum sees them")
