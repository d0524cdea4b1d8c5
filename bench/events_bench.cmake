# Firmware event benchmarks (under Wine).
#   events_latency - from the emulated firmware raising an event to the
#                    subscribed window receiving WM_FIRMWARE_EVENT, beside a
#                    bare cross-thread PostMessage hop
#   (scripts/bench runs it for both Windows builds)
if(ZEL_WINDOWS)
  add_executable(events_latency ${CMAKE_CURRENT_LIST_DIR}/events_latency.cpp)
  target_link_libraries(events_latency PRIVATE Brindle emulator_win)
  add_dependencies(events_latency emuwmi emuctl)
endif()
