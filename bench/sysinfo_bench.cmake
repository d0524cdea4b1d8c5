# Viewer benchmarks (win64 and win32, under Wine with the emulated notebook).
#   sysinfo_bench - the whole WMI inventory and the EC firmware version read,
#                   each beside a bare WMI call of its namespace as the floor
#   (run: scripts/with-wine scripts/wine-run $BUILD_ROOT/win64/bin/sysinfo_bench.exe [rounds])
if(ZEL_WINDOWS)
  add_executable(sysinfo_bench ${CMAKE_CURRENT_LIST_DIR}/sysinfo_bench.cpp)
  target_link_libraries(sysinfo_bench PRIVATE quillon_parts)
  add_dependencies(sysinfo_bench emuwmi emuctl)
endif()
