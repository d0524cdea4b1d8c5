# On-screen display: time of one UpdateOSD for a device icon and for a level
# bar (four picture decodes and the composition), side by side with a bare
# GDI+ decode of one of the pictures. Run it in a Wine session (it needs a
# display): scripts/with-wine wine build/win64/bin/osd_bench.exe
if(ZEL_WINDOWS AND TARGET vorlix_win)
  add_executable(osd_bench ${CMAKE_CURRENT_LIST_DIR}/osd_bench.cpp ${ZEL_ROOT}/tray/res/Vorlix.rc)
  target_link_libraries(osd_bench PRIVATE vorlix_win)
  add_dependencies(osd_bench vorlix_data)
endif()
