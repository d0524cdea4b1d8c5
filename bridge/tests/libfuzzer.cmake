# Builds the grammar fuzz target with clang's libFuzzer (plus ASan and UBSan)
# when clang can link it; sets BRIDGE_LIBFUZZER and BRIDGE_FUZZ_BINARY (built
# by the target bridge_fuzz_libfuzzer). The native build itself uses g++, so
# clang is invoked directly.
set(BRIDGE_LIBFUZZER OFF)
find_program(BRIDGE_CLANGXX NAMES clang++ clang++-14)
if(BRIDGE_CLANGXX)
  set(probe_dir ${CMAKE_CURRENT_BINARY_DIR}/libfuzzer_probe)
  file(MAKE_DIRECTORY ${probe_dir})
  file(WRITE ${probe_dir}/probe.cpp
    "#include <cstdint>\n#include <cstddef>\nextern \"C\" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n")
  execute_process(
    COMMAND ${BRIDGE_CLANGXX} -fsanitize=fuzzer,address,undefined probe.cpp -o probe
    WORKING_DIRECTORY ${probe_dir} RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
  if(probe_result EQUAL 0)
    set(BRIDGE_LIBFUZZER ON)
  endif()
endif()

if(BRIDGE_LIBFUZZER)
  set(src ${CMAKE_CURRENT_SOURCE_DIR})
  set(fuzz_sources ${src}/tests/fuzz_command.cpp ${src}/core/command.cpp)
  set(BRIDGE_FUZZ_BINARY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/bridge_fuzz_libfuzzer)
  set(fuzz_binary ${BRIDGE_FUZZ_BINARY})
  add_custom_command(OUTPUT ${fuzz_binary}
    COMMAND ${BRIDGE_CLANGXX} -std=c++20 -O1 -g -fno-omit-frame-pointer
            -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
            -I${src}/core ${fuzz_sources} -o ${fuzz_binary}
    DEPENDS ${fuzz_sources} ${src}/core/command.h
    COMMENT "Building the grammar fuzz target with libFuzzer")
  add_custom_target(bridge_fuzz_libfuzzer ALL DEPENDS ${fuzz_binary})
endif()
