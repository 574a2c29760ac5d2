# The Linux program, included from the top CMakeLists.txt when not WIN32:
# torvikupdate over hidraw, sysfs and usbfs (src/platform/linux), its udev
# rule, and the tools that run on Linux: torvik-sim (with what --hidraw
# needs to run the Linux program against FUSE-served hidraw nodes) and
# torvik-gadget.

find_package(Threads REQUIRED)

add_library(torvik_platform_linux STATIC
    src/platform/linux/winapi.cpp
    src/platform/linux/sysfs.cpp)
target_include_directories(torvik_platform_linux PUBLIC src "${TORVIK_GENERATED_DIR}")
target_link_libraries(torvik_platform_linux PUBLIC Threads::Threads)

# seams.cpp is the real /sys, /dev and open(2): only the shipped program
# links it; tests and torvik-sim link tools/torvik-sim/hidraw_seams.cpp instead.
add_executable(torvikupdate src/platform/linux/main.cpp src/platform/linux/seams.cpp)
target_link_libraries(torvikupdate PRIVATE torvik_core torvik_platform_linux)

option(TORVIK_STATIC_EXECUTABLE "Link torvikupdate statically (the Linux release)" OFF)
if(TORVIK_STATIC_EXECUTABLE)
    # Paths in the output name the source and build trees, not where they
    # happen to be, so that two builds give the same bytes.
    string(APPEND CMAKE_CXX_FLAGS
           " -ffile-prefix-map=${CMAKE_SOURCE_DIR}=."
           " -ffile-prefix-map=${CMAKE_BINARY_DIR}=build")
    target_link_options(torvikupdate PRIVATE -static $<$<CONFIG:Release>:-s>)
endif()

# The udev rule, for the vendor ID of this build (sysfs writes it as four
# lowercase hex digits).
string(SUBSTRING "${TORVIK_VENDOR_ID_HEX}" 2 -1 torvik_vendor_digits)
string(TOLOWER "000${torvik_vendor_digits}" torvik_vendor_digits)
string(LENGTH "${torvik_vendor_digits}" torvik_vendor_length)
math(EXPR torvik_vendor_start "${torvik_vendor_length} - 4")
string(SUBSTRING "${torvik_vendor_digits}" ${torvik_vendor_start} 4 TORVIK_UDEV_VENDOR)
configure_file(udev/70-torvik.rules.in "${CMAKE_BINARY_DIR}/70-torvik.rules" @ONLY)
# The Debian package's postinst and postrm (scripts/release), which trigger
# the devices of this vendor ID once the rule is installed or removed.
configure_file(packaging/deb/udev-reload.in "${CMAKE_BINARY_DIR}/deb-udev-reload" @ONLY)

add_subdirectory(tools/torvik-sim)
add_subdirectory(tools/torvik-gadget)
