# Checks that the firmware images can be written as the updater writes them,
# and sets TORVIK_FPGA_LENGTH and TORVIK_MCU_LENGTH. Included by the build;
# also runs on its own for the tests:
#   cmake -DTORVIK_FPGA_IMAGE=... -DTORVIK_MCU_IMAGE=... -P check_images.cmake

set(torvik_block_size 2048)
set(torvik_fpga_first_block 4096)  # 0x1000
set(torvik_mcu_first_block 4)
set(torvik_last_block_number 65535)

foreach(image IN ITEMS TORVIK_FPGA_IMAGE TORVIK_MCU_IMAGE)
    if(NOT EXISTS "${${image}}" OR IS_DIRECTORY "${${image}}")
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

# The FPGA stream is the image behind its 4-byte length. Both images' blocks
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
