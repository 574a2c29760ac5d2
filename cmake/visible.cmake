# For the check scripts' messages: `text` quoted, with its line ends shown
# as \r and \n, so that a missing or extra "\r" is plain to see.
function(visible text out_var)
    string(REPLACE "\r" "\\r" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    set(${out_var} "\"${text}\"" PARENT_SCOPE)
endfunction()

# Appends to `failures` in the caller when the file `file` does not hold
# `expected` byte for byte (read as hex: CMake's strings would hide a "\r").
function(expectfiletext what file expected)
    file(READ "${file}" text)
    file(READ "${file}" text_hex HEX)
    string(HEX "${expected}" expected_hex)
    if(NOT text_hex STREQUAL expected_hex)
        visible("${text}" got)
        visible("${expected}" wanted)
        set(failures "${failures}${what} is ${got}\n  expected ${wanted}\n" PARENT_SCOPE)
    endif()
endfunction()
