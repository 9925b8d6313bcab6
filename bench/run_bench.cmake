# The pooled run against a slow loopback site, the work list's memory, and
# the command-line tool's memory on endless page bodies.
find_package(Qt6 REQUIRED COMPONENTS Core)
add_executable(run_bench ${CMAKE_CURRENT_SOURCE_DIR}/run_bench.cpp
               ${PROJECT_SOURCE_DIR}/tests/support/run_site.cpp)
target_include_directories(run_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(run_bench PRIVATE lumasift_common lumasift_run Qt6::Core benchmark::benchmark)
# The endless-bodies benchmark measures the command-line tool as a program.
if(TARGET lumasift-cli)
  add_dependencies(run_bench lumasift-cli)
  target_compile_definitions(run_bench PRIVATE LUMASIFT_CLI_PATH="$<TARGET_FILE:lumasift-cli>")
endif()
