# Volume: from a change of the playback endpoint's volume by another process
# (emulated Core Audio) to the tray program's level bar visible, beside the
# bar shown by WM_VOLUME_NOTIFY sent straight to the window.
# Run: scripts/bench (or scripts/with-wine bench/volume_bench.sh [BIN_DIR] [ROUNDS])
if(ZEL_WINDOWS AND TARGET Vorlix)
  add_executable(volume_bench ${CMAKE_CURRENT_LIST_DIR}/volume_bench.cpp)
  target_link_libraries(volume_bench PRIVATE ole32 uuid user32)
  add_dependencies(volume_bench Vorlix emuctl emuaudio)
endif()
