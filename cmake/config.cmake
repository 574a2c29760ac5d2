# Build-time settings of the updater, checked and written into a header.
set(TORVIK_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")

math(EXPR torvik_vendor_id_value "${TORVIK_VENDOR_ID}" OUTPUT_FORMAT DECIMAL)
if(torvik_vendor_id_value LESS 0 OR torvik_vendor_id_value GREATER 65535)
    message(FATAL_ERROR "TORVIK_VENDOR_ID ${TORVIK_VENDOR_ID} is not a 16-bit USB vendor ID")
endif()
math(EXPR TORVIK_VENDOR_ID_HEX "${torvik_vendor_id_value}" OUTPUT_FORMAT HEXADECIMAL)

configure_file("${CMAKE_CURRENT_LIST_DIR}/torvik_config.h.in"
               "${TORVIK_GENERATED_DIR}/torvik_config.h" @ONLY)
