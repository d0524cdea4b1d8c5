# Battery gauge: refreshes of one gauge (new charge, same charge) and a full
# drawing of every layer, beside a fill of the same image and one
# ellipse. Run it in a Wine session:
#   scripts/with-wine wine build/win64/bin/gauge_bench.exe [rounds]
if(ZEL_WINDOWS AND TARGET quillon_parts)
  add_executable(gauge_bench ${CMAKE_CURRENT_LIST_DIR}/gauge_bench.cpp ${ZEL_ROOT}/sysinfo/res/gauge_strings.rc)
  target_link_libraries(gauge_bench PRIVATE quillon_parts)
endif()
