# Fuzz targets: one source each, with LLVMFuzzerTestOneInput, built one way or both:
#   VANTREL_FUZZ (the `fuzz` preset, clang): <name>_fuzzer, the libFuzzer binary that
#     scripts/fuzz.sh runs;
#   BUILD_TESTING (any compiler): <name>_replay, the same source behind fuzz/input_runner.cpp, a
#     plain main that calls it on stored inputs; tests/fuzz runs it on seeds and crash inputs.
# vantrel_fuzz_target(<name> <source> <libraries>...)
option(VANTREL_FUZZ "Build the libFuzzer targets" OFF)

if(BUILD_TESTING)
    add_library(fuzz_input_runner OBJECT ${PROJECT_SOURCE_DIR}/fuzz/input_runner.cpp)
    target_link_libraries(fuzz_input_runner PRIVATE vantrel_warnings)
endif()

function(vantrel_fuzz_target name source)
    if(VANTREL_FUZZ)
        add_executable(${name}_fuzzer ${source})
        target_link_libraries(${name}_fuzzer PRIVATE ${ARGN} vantrel_warnings)
        target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    endif()
    if(BUILD_TESTING)
        add_executable(${name}_replay ${source})
        target_link_libraries(${name}_replay PRIVATE fuzz_input_runner ${ARGN} vantrel_warnings)
    endif()
endfunction()
