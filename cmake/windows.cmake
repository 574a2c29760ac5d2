# The Windows program, included from the top CMakeLists.txt when WIN32.
#
# torvikupdate.exe is linked statically (the C++ runtime, libgcc and
# winpthread inside it), so it needs no DLL but the system's own: it is one
# file to hand to a user. Test programs built after this point link the same
# way, so they run under Wine without MinGW's DLLs on its path.

add_link_options(-static -static-libgcc -static-libstdc++)

# The updater's Windows API: SetupAPI for the enumeration, hid.dll for the
# attributes and strings; kernel32 comes by default.
target_link_libraries(torvik_core PUBLIC setupapi hid)

add_executable(torvikupdate src/main.cpp)
target_link_libraries(torvikupdate PRIVATE torvik_core)
