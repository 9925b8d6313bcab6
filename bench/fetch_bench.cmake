# The cost of one site (page fetch, then header probe) against a loopback
# server, next to the curl command-line tool doing the same in the same run.
# The loopback server comes from the tests' shared helpers.
if(TARGET lumasift_test_support AND TARGET lumasift_fetch)
  add_executable(fetch_bench ${CMAKE_CURRENT_SOURCE_DIR}/fetch_bench.cpp)
  target_link_libraries(fetch_bench PRIVATE lumasift_common lumasift_fetch lumasift_test_support
                        benchmark::benchmark)
endif()
