# The pooled run against a slow loopback site, and the work list's memory.
find_package(Qt6 REQUIRED COMPONENTS Core)
add_executable(run_bench ${CMAKE_CURRENT_SOURCE_DIR}/run_bench.cpp
               ${PROJECT_SOURCE_DIR}/tests/support/run_site.cpp)
target_include_directories(run_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(run_bench PRIVATE lumasift_common lumasift_run Qt6::Core benchmark::benchmark)
