# Hotkey to OSD visible through the running tray program, beside a bare
# window subscribed to the same presses, and the program's private memory
# after 1,000 hotkeys (bench/hotkey_bench.sh runs it; scripts/bench calls that).
if(ZEL_WINDOWS AND TARGET Vorlix)
  add_executable(hotkey_bench ${CMAKE_CURRENT_LIST_DIR}/hotkey_bench.cpp)
  target_link_libraries(hotkey_bench PRIVATE Brindle emulator_win user32 oleaut32)
  add_dependencies(hotkey_bench Vorlix Harrowd emuwmi emuctl tray_probe tray_bench)
endif()
