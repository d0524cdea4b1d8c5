# Command service benchmark (win64, run under Wine):
#   service_bench - round trips through Harrowd side by side with a bare pipe
#                   echo server of the same shape; Harrowd's private memory
#                   after 10,000 requests
#   (run: scripts/with-wine scripts/wine-run $BUILD_ROOT/win64/bin/service_bench.exe)
if(ZEL_WINDOWS)
  add_executable(service_bench ${CMAKE_CURRENT_LIST_DIR}/service_bench.cpp)
  target_link_libraries(service_bench PRIVATE service_test_support)
  add_dependencies(service_bench Harrowd)
endif()
