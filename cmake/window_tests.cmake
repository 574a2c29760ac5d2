# "Update Torvik.exe" (launcher/) as a user meets it: under Wine, in an X
# server of its own (Xvfb, tools/virtual-torvik/in-x-server.sh), against the
# virtual Torvik, driven from outside through its real controls by
# window-probe (tests/windows/window_probe.cpp); cmake/check_window.cmake
# holds the cases' steps. Included from cmake/windows_tests.cmake where a
# virtual Torvik is at hand (virtual_torvik_build, virtual_torvik_run).
#
# The window's runs share one device, in a Wine prefix of their own, so they
# take turns among themselves but not with the updater's own cases. The
# 32-bit build runs the whole update, against the 64-bit build's drivers.

add_executable(window-probe windows/window_probe.cpp)
target_include_directories(window-probe PRIVATE "${PROJECT_SOURCE_DIR}/launcher")
target_compile_options(window-probe PRIVATE -municode)
target_link_options(window-probe PRIVATE -municode)

set(window_cases whole_update)
if(TARGET virtual-torvik-control)
    list(APPEND window_cases
        starts_when_normal_firmware_becomes_bootloader
        starts_when_a_torvik_appears
        escape_while_waiting_ends_with_status_2
        failed_mcu_block_then_try_again
        stopping_asks_then_ends_the_updater
        closing_mid_update_stops_and_closes
        updater_missing
        second_window_ends_and_brings_the_first_to_the_front
        waits_for_another_updater_then_starts_within_2_s
        languages_at_96_dpi
        languages_at_192_dpi)
endif()

set(window_prefix "${CMAKE_BINARY_DIR}/wineprefix-window")
add_test(NAME window_shutdown COMMAND "${virtual_torvik_run}" "--prefix=${window_prefix}" --stop)
set_tests_properties(window_shutdown PROPERTIES FIXTURES_CLEANUP window)
foreach(case IN LISTS window_cases)
    add_test(NAME "window.${case}"
             COMMAND "${CMAKE_COMMAND}"
                     "-DRUN=${virtual_torvik_run}"
                     "-DX_SERVER=${PROJECT_SOURCE_DIR}/tools/virtual-torvik/in-x-server.sh"
                     "-DBUILD_DIR=${virtual_torvik_build}"
                     "-DWINDOW=$<TARGET_FILE:update-torvik>"
                     "-DUPDATER=$<TARGET_FILE:torvikupdate>"
                     "-DPROBE=$<TARGET_FILE:window-probe>"
                     "-DPREFIX=${window_prefix}"
                     "-DOUTPUT_DIR=${CMAKE_CURRENT_BINARY_DIR}/window/${case}"
                     "-DFPGA_IMAGE=${TORVIK_FPGA_IMAGE}"
                     "-DMCU_IMAGE=${TORVIK_MCU_IMAGE}"
                     "-DVERSION=${PROJECT_VERSION}"
                     "-DCASE=${case}"
                     -P "${PROJECT_SOURCE_DIR}/cmake/check_window.cmake")
    set_tests_properties("window.${case}" PROPERTIES
        FIXTURES_REQUIRED window RESOURCE_LOCK window TIMEOUT 300)
endforeach()
