# Command service benchmark (under Wine):
#   service_bench - round trips through Harrowd side by side with a bare pipe
#                   echo server of the same shape; Harrowd's private memory
#                   after 10,000 requests
#   (scripts/bench runs it for both Windows builds)
if(ZEL_WINDOWS)
  add_executable(service_bench ${CMAKE_CURRENT_LIST_DIR}/service_bench.cpp)
  target_link_libraries(service_bench PRIVATE service_test_support)
  add_dependencies(service_bench Harrowd)
endif()
