# Checks the firmware images and has the build turn them into fpgabin and
# mcubin. The lengths come from the files themselves.
include("${CMAKE_CURRENT_LIST_DIR}/check_images.cmake")

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

# What the images are, for people: FIRMWARE.txt, which every package carries,
# and the version resource's Comments (cmake/windows.cmake), both from the
# same lines. The product ID is the one the program looks for, read from its
# source, so that it is named once. An image that changes makes CMake run
# again, which computes these (and the lengths above) anew.
set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${TORVIK_FPGA_IMAGE}" "${TORVIK_MCU_IMAGE}" "${PROJECT_SOURCE_DIR}/src/torvikupdate.h")
file(STRINGS "${PROJECT_SOURCE_DIR}/src/torvikupdate.h" torvik_product_line
     REGEX "^constexpr int TORVIK_PRODUCT_ID = 0x[0-9A-Fa-f]+;")
if(NOT torvik_product_line MATCHES "(0x[0-9A-Fa-f]+)")
    message(FATAL_ERROR "no TORVIK_PRODUCT_ID in src/torvikupdate.h")
endif()
set(TORVIK_PRODUCT_ID_HEX "${CMAKE_MATCH_1}")
file(SHA256 "${TORVIK_FPGA_IMAGE}" TORVIK_FPGA_SHA256)
file(SHA256 "${TORVIK_MCU_IMAGE}" TORVIK_MCU_SHA256)
set(TORVIK_FPGA_LINE "FPGA image: ${TORVIK_FPGA_LENGTH} bytes, SHA-256 ${TORVIK_FPGA_SHA256}")
set(TORVIK_MCU_LINE "MCU image: ${TORVIK_MCU_LENGTH} bytes, SHA-256 ${TORVIK_MCU_SHA256}")
set(TORVIK_FIRMWARE_TEXT "${CMAKE_BINARY_DIR}/FIRMWARE.txt")
configure_file("${CMAKE_CURRENT_LIST_DIR}/FIRMWARE.txt.in" "${TORVIK_FIRMWARE_TEXT}" @ONLY)
