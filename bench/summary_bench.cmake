# The run summary read back from a long JSON Lines output (--summarize).
find_package(Qt6 REQUIRED COMPONENTS Core)
add_executable(summary_bench ${CMAKE_CURRENT_SOURCE_DIR}/summary_bench.cpp)
target_link_libraries(summary_bench PRIVATE lumasift_common lumasift_run Qt6::Core benchmark::benchmark)
