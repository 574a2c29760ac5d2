# The image checks that stop configuration, run on small made-up images.
# Each case: name, FPGA image size, MCU image size, what the message says
# (empty: the images are accepted).
set(image_cases
    "accepted|1|2048|"
    "fpga_empty|0|2048|The FPGA image .* is empty"
    "mcu_empty|1|0|The MCU image .* is empty"
    "mcu_not_whole_blocks|1|2049|not a whole number of 2048-byte blocks"
    "fpga_last_block_fits|125829116|2048|"
    "fpga_too_many_blocks|125829117|2048|would not fit in 16 bits")

foreach(image_case IN LISTS image_cases)
    string(REPLACE "|" ";" fields "${image_case}")
    list(GET fields 0 name)
    list(GET fields 1 fpga_size)
    list(GET fields 2 mcu_size)
    list(LENGTH fields field_count)
    set(expected "")
    if(field_count GREATER 3)
        list(GET fields 3 expected)
    endif()
    add_test(NAME image_check.${name}
             COMMAND "${CMAKE_COMMAND}" -DFPGA_SIZE=${fpga_size} -DMCU_SIZE=${mcu_size}
                     "-DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/image_check/${name}"
                     -P "${CMAKE_CURRENT_SOURCE_DIR}/run_image_check.cmake")
    if(expected)
        set_tests_properties(image_check.${name} PROPERTIES PASS_REGULAR_EXPRESSION "${expected}")
    else()
        set_tests_properties(image_check.${name} PROPERTIES PASS_REGULAR_EXPRESSION "images accepted")
    endif()
endforeach()
