# Checks the firmware images and has the build turn them into fpgabin and
# mcubin. The lengths come from the files themselves.

set(torvik_block_size 2048)
set(torvik_fpga_first_block 4096)  # 0x1000
set(torvik_mcu_first_block 4)
set(torvik_last_block_number 65535)

foreach(image IN ITEMS TORVIK_FPGA_IMAGE TORVIK_MCU_IMAGE)
    if(NOT EXISTS "${${image}}")
        message(FATAL_ERROR "${image}: no such file: ${${image}}")
    endif()
endforeach()

file(SIZE "${TORVIK_FPGA_IMAGE}" TORVIK_FPGA_LENGTH)
file(SIZE "${TORVIK_MCU_IMAGE}" TORVIK_MCU_LENGTH)

if(TORVIK_FPGA_LENGTH EQUAL 0)
    message(FATAL_ERROR "The FPGA image ${TORVIK_FPGA_IMAGE} is empty")
endif()
if(TORVIK_MCU_LENGTH EQUAL 0)
    message(FATAL_ERROR "The MCU image ${TORVIK_MCU_IMAGE} is empty")
endif()
math(EXPR mcu_remainder "${TORVIK_MCU_LENGTH} % ${torvik_block_size}")
if(NOT mcu_remainder EQUAL 0)
    message(FATAL_ERROR "The MCU image ${TORVIK_MCU_IMAGE} is ${TORVIK_MCU_LENGTH} bytes, "
                        "not a whole number of ${torvik_block_size}-byte blocks")
endif()

# The FPGA stream is the image behind its 4-byte length; both images' blocks
# are numbered with 16 bits.
math(EXPR fpga_blocks "(${TORVIK_FPGA_LENGTH} + 4 + ${torvik_block_size} - 1) / ${torvik_block_size}")
math(EXPR fpga_last_block "${torvik_fpga_first_block} + ${fpga_blocks} - 1")
math(EXPR mcu_last_block "${torvik_mcu_first_block} + ${TORVIK_MCU_LENGTH} / ${torvik_block_size} - 1")
if(fpga_last_block GREATER torvik_last_block_number)
    message(FATAL_ERROR "The FPGA image ${TORVIK_FPGA_IMAGE} needs ${fpga_blocks} blocks; "
                        "its block numbers would not fit in 16 bits")
endif()
if(mcu_last_block GREATER torvik_last_block_number)
    message(FATAL_ERROR "The MCU image ${TORVIK_MCU_IMAGE} is too large: "
                        "its block numbers would not fit in 16 bits")
endif()

configure_file("${CMAKE_CURRENT_LIST_DIR}/firmware_images.h.in"
               "${TORVIK_GENERATED_DIR}/firmware_images.h" @ONLY)

set(TORVIK_FIRMWARE_SOURCE "${TORVIK_GENERATED_DIR}/firmware_images.cpp")
add_custom_command(
    OUTPUT "${TORVIK_FIRMWARE_SOURCE}"
    COMMAND "${CMAKE_COMMAND}" "-DFPGA_IMAGE=${TORVIK_FPGA_IMAGE}" "-DMCU_IMAGE=${TORVIK_MCU_IMAGE}"
            "-DOUTPUT=${TORVIK_FIRMWARE_SOURCE}" -P "${CMAKE_CURRENT_LIST_DIR}/embed_images.cmake"
    DEPENDS "${TORVIK_FPGA_IMAGE}" "${TORVIK_MCU_IMAGE}" "${CMAKE_CURRENT_LIST_DIR}/embed_images.cmake"
    COMMENT "Building the firmware images into the updater"
    VERBATIM)
