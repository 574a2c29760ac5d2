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
