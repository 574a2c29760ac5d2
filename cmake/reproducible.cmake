# Two builds of one commit give byte-identical executables, whichever
# directories they are built in: a user can check that the torvikupdate.exe
# handed out is the one the source makes (scripts/check-reproducible).
#
# Included from cmake/windows.cmake, after torvik_core is defined: the flags
# go into the directory's CMAKE_*_FLAGS, which apply to every target of the
# directory, not into add_compile_options, which would miss targets defined
# before this point.

# Paths in the output (__FILE__, and the debugging information of a build
# that has it) name the source and build trees, not where they happen to be.
# GCC tries the last map first, so the build tree, which may lie inside the
# source tree, comes last.
string(APPEND CMAKE_CXX_FLAGS
       " -ffile-prefix-map=${CMAKE_SOURCE_DIR}=."
       " -ffile-prefix-map=${CMAKE_BINARY_DIR}=build")

# The PE header's TimeDateStamp is otherwise the time of the link, or
# SOURCE_DATE_EPOCH where that is set (binutils' ld reads it); with this it is
# always 0. (The resource directories' own stamps are 0 as windres writes
# them.) Nothing in the code uses __DATE__ or __TIME__; if something ever
# does, the build's SOURCE_DATE_EPOCH fixes what GCC puts there.
string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,--no-insert-timestamp")
