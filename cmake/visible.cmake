# For the check scripts' messages: `text` quoted, with its line ends shown
# as \r and \n, so that a missing or extra "\r" is plain to see.
function(visible text out_var)
    string(REPLACE "\r" "\\r" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    set(${out_var} "\"${text}\"" PARENT_SCOPE)
endfunction()
