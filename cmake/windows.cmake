# The Windows program, included from the top CMakeLists.txt when WIN32.
#
# torvikupdate.exe is linked statically (the C++ runtime, libgcc and
# winpthread inside it), so it needs no DLL but the system's own: it is one
# file to hand to a user. Test programs built after this point link the same
# way, so they run under Wine without MinGW's DLLs on its path.

enable_language(RC)
include("${CMAKE_CURRENT_LIST_DIR}/reproducible.cmake")

add_link_options(-static -static-libgcc -static-libstdc++)

# SetupAPI for the enumeration; kernel32 comes by default. hid.dll is not
# imported: src/platform/win32/hid_loader.cpp loads it from the system
# directory, so that no hid.dll beside the executable is ever used.
target_sources(torvik_core PRIVATE src/platform/win32/hid_loader.cpp)
target_link_libraries(torvik_core PUBLIC setupapi)

# Version resource (with the images' sizes and sums) and manifest (run as the
# invoking user, supported Windows versions), from the project version.
set(TORVIK_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
set(TORVIK_MANIFEST_NAME torvikupdate)
set(TORVIK_MANIFEST_DESCRIPTION "Torvik firmware updater")
set(TORVIK_MANIFEST_PATH "${TORVIK_GENERATED_DIR}/torvikupdate.manifest")
configure_file(src/platform/win32/torvikupdate.manifest "${TORVIK_MANIFEST_PATH}" @ONLY)
configure_file(src/platform/win32/torvikupdate.rc.in "${TORVIK_GENERATED_DIR}/torvikupdate.rc"
               @ONLY)

add_executable(torvikupdate src/main.cpp "${TORVIK_GENERATED_DIR}/torvikupdate.rc")
target_link_libraries(torvikupdate PRIVATE torvik_core)
# What users get carries no symbols: a third of the size, and no names of
# the machine that built the MinGW runtime.
target_link_options(torvikupdate PRIVATE $<$<CONFIG:Release>:-s>)
set_source_files_properties("${TORVIK_GENERATED_DIR}/torvikupdate.rc" PROPERTIES
    OBJECT_DEPENDS "${TORVIK_MANIFEST_PATH}")

# The virtual Torvik (a HID minidriver) and the updater's code run against it:
# 64-bit only, as the driver's INF.
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND TORVIK_TESTS)
    add_subdirectory(tools/virtual-torvik)
endif()
