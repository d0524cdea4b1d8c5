# Bridge benchmarks.
#   native: bridge_bench_parser - command grammar throughput
#   win64, win32: bridge_bench_wine - CallBrindleParser per command under
#           Wine, beside plain WMI reads (all run by scripts/bench)
if(NOT ZEL_WINDOWS)
  # Built from the grammar's sources without sanitizers, so the figure is the
  # parser's own cost.
  add_executable(bridge_bench_parser ${CMAKE_CURRENT_LIST_DIR}/bridge_bench_parser.cpp
                                     ${ZEL_ROOT}/bridge/core/command.cpp)
  target_include_directories(bridge_bench_parser PRIVATE ${ZEL_ROOT}/bridge/core)
  target_compile_options(bridge_bench_parser PRIVATE -fno-sanitize=all -O2)
  target_link_options(bridge_bench_parser PRIVATE -fno-sanitize=all)
else()
  add_executable(bridge_bench_wine ${CMAKE_CURRENT_LIST_DIR}/bridge_bench_wine.cpp)
  target_link_libraries(bridge_bench_wine PRIVATE Brindle ole32 oleaut32 uuid wbemuuid)
  add_dependencies(bridge_bench_wine emuwmi emuctl)
endif()
