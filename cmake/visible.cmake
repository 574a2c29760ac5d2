# For the check scripts' messages: `text` quoted, with its line ends shown
# as \r and \n, so that a missing or extra "\r" is plain to see.
function(visible text out_var)
    string(REPLACE "\r" "\\r" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    set(${out_var} "\"${text}\"" PARENT_SCOPE)
endfunction()

# `hex` (as file(READ ... HEX) gives it) quoted, with line ends shown as \r
# and \n: file(READ) as text drops the "\r" of a "\r\n".
function(visiblehex hex out_var)
    string(LENGTH "${hex}" length)
    set(text "")
    set(at 0)
    while(at LESS length)
        string(SUBSTRING "${hex}" ${at} 2 byte)
        if(byte STREQUAL "0d")
            string(APPEND text "\\r")
        elseif(byte STREQUAL "0a")
            string(APPEND text "\\n")
        else()
            math(EXPR code "0x${byte}")
            string(ASCII ${code} character)
            string(APPEND text "${character}")
        endif()
        math(EXPR at "${at} + 2")
    endwhile()
    set(${out_var} "\"${text}\"" PARENT_SCOPE)
endfunction()

# Appends to `failures` in the caller when the file `file` does not hold
# `expected` byte for byte.
function(expectfiletext what file expected)
    file(READ "${file}" text_hex HEX)
    string(HEX "${expected}" expected_hex)
    if(NOT text_hex STREQUAL expected_hex)
        visiblehex("${text_hex}" got)
        visiblehex("${expected_hex}" wanted)
        set(failures "${failures}${what} is ${got}\n  expected ${wanted}\n" PARENT_SCOPE)
    endif()
endfunction()
