# The export writers on a large work list, against one plain fwrite of the
# same text.
add_executable(export_bench ${CMAKE_CURRENT_SOURCE_DIR}/export_bench.cpp)
target_link_libraries(export_bench PRIVATE lumasift_common lumasift_export benchmark::benchmark)
