# Turns the firmware image files into a C++ source that defines fpgabin and
# mcubin. Run as a script at build time:
#   cmake -DFPGA_IMAGE=... -DMCU_IMAGE=... -DOUTPUT=... -P embed_images.cmake

function(byte_array_initialiser file out_var)
    file(READ "${file}" hex HEX)
    # Sixteen bytes to a line keeps the generated file readable in a diff.
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    # Sixteen bytes to a line (CMake's regular expressions have no {16}).
    string(REPEAT "0x..," 16 line_of_bytes)
    string(REGEX REPLACE "(${line_of_bytes})" "\\1\n    " bytes "${bytes}")
    set(${out_var} "${bytes}" PARENT_SCOPE)
endfunction()

byte_array_initialiser("${FPGA_IMAGE}" fpga_bytes)
byte_array_initialiser("${MCU_IMAGE}" mcu_bytes)

file(WRITE "${OUTPUT}.tmp" "// Generated from the firmware image files by cmake/embed_images.cmake.
#include \"firmware_images.h\"

const std::uint8_t fpgabin[FPGABIN_LENGTH] = {
    ${fpga_bytes}
};

const std::uint8_t mcubin[MCUBIN_LENGTH] = {
    ${mcu_bytes}
};
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
