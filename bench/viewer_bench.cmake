# Viewer start-up and memory (win64 and win32, under Wine with the emulated
# notebook), beside a bare dialog program as the floor:
#   viewer_bench        - time from process start to the dialog shown
#   viewer_bench.sh     - that, then the running viewer's private memory
#   (run: scripts/with-wine bench/viewer_bench.sh $BUILD_ROOT/win64/bin /usr/lib/wine/wine64)
if(ZEL_WINDOWS AND TARGET Quillon)
  add_executable(sysinfo_bare_dialog WIN32 ${CMAKE_CURRENT_LIST_DIR}/sysinfo_bare_dialog.cpp
                                           ${CMAKE_CURRENT_LIST_DIR}/sysinfo_bare_dialog.rc)
  # Built as the viewer is, so the floor's image is what such a program ships.
  zel_separate_debug_info(sysinfo_bare_dialog)
  add_executable(viewer_bench ${CMAKE_CURRENT_LIST_DIR}/viewer_bench.cpp)
  target_include_directories(viewer_bench PRIVATE ${ZEL_ROOT}/sysinfo/tests)
  target_link_libraries(viewer_bench PRIVATE user32)
  add_dependencies(viewer_bench Quillon sysinfo_bare_dialog viewer_probe tray_bench emuctl emuwmi emupowrprof)
endif()
