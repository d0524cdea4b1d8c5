# Viewer start-up and memory (win64 and win32, under Wine with the emulated
# notebook), beside two floors: a bare dialog program, and a dialog program
# that first does the viewer's WMI work as plain calls (the fair floor):
#   viewer_bench        - time from process start to the dialog shown
#   viewer_bench.sh     - that, then the running viewer's private memory
#   (run: scripts/with-wine bench/viewer_bench.sh $BUILD_ROOT/win64/bin /usr/lib/wine/wine64)
if(ZEL_WINDOWS AND TARGET Quillon)
  add_executable(sysinfo_bare_dialog WIN32 ${CMAKE_CURRENT_LIST_DIR}/sysinfo_bare_dialog.cpp
                                           ${CMAKE_CURRENT_LIST_DIR}/sysinfo_bare_dialog.rc)
  # Built as the viewer is, so the floor's image is what such a program ships.
  zel_separate_debug_info(sysinfo_bare_dialog)
  add_executable(sysinfo_wmi_dialog WIN32 ${CMAKE_CURRENT_LIST_DIR}/sysinfo_wmi_dialog.cpp
                                          ${CMAKE_CURRENT_LIST_DIR}/sysinfo_wmi_dialog.rc)
  # The inventory's classes and the firmware method's path from the viewer's
  # rules, so the floor runs exactly the viewer's queries; nothing else of it.
  target_include_directories(sysinfo_wmi_dialog PRIVATE ${ZEL_ROOT}/sysinfo/win)
  target_link_libraries(sysinfo_wmi_dialog PRIVATE sysinfo_core ole32 oleaut32 uuid wbemuuid user32)
  zel_separate_debug_info(sysinfo_wmi_dialog)
  add_executable(viewer_bench ${CMAKE_CURRENT_LIST_DIR}/viewer_bench.cpp)
  target_include_directories(viewer_bench PRIVATE ${ZEL_ROOT}/sysinfo/tests)
  target_link_libraries(viewer_bench PRIVATE user32)
  add_dependencies(viewer_bench Quillon sysinfo_bare_dialog sysinfo_wmi_dialog viewer_probe tray_bench emuctl emuwmi emupowrprof)
endif()
