# lumasift-cli streaming a long list from standard input against a loopback
# site: its peak memory and lines per second.
add_executable(stream_bench ${CMAKE_CURRENT_SOURCE_DIR}/stream_bench.cpp
               ${PROJECT_SOURCE_DIR}/tests/support/run_site.cpp)
target_include_directories(stream_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(stream_bench PRIVATE lumasift_common benchmark::benchmark)
add_dependencies(stream_bench lumasift-cli)
target_compile_definitions(stream_bench PRIVATE LUMASIFT_CLI_PATH="$<TARGET_FILE:lumasift-cli>")
