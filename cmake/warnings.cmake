# Every target of ours links vantrel_warnings: warnings are errors across the project.
add_library(vantrel_warnings INTERFACE)
target_compile_options(vantrel_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wconversion -Wno-sign-conversion
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual>)
