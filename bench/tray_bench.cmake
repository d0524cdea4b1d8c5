# Tray program: time from process start to tray icon added, and private
# memory once idle, side by side with a bare program that only adds an icon
# (with the one WMI connection and event subscription every client of the
# firmware has).
if(ZEL_WINDOWS AND TARGET Vorlix)
  add_executable(tray_bare_icon WIN32 ${CMAKE_CURRENT_LIST_DIR}/tray_bare_icon.cpp)
  target_link_libraries(tray_bare_icon PRIVATE shell32 user32 ole32 oleaut32 uuid wbemuuid)
  # Built as the tray program is, so the floor's image is what such a program ships.
  zel_separate_debug_info(tray_bare_icon)
  add_executable(tray_bench ${CMAKE_CURRENT_LIST_DIR}/tray_bench.cpp)
  target_link_libraries(tray_bench PRIVATE shell32 user32)
  add_dependencies(tray_bench tray_bare_icon Vorlix Harrowd emuwmi emuctl)
endif()
