# lumasift-cli on saved pages: a gzip web archive it writes, and a folder of
# page files against one --page process per file.
find_package(ZLIB REQUIRED)
add_executable(saved_bench ${CMAKE_CURRENT_SOURCE_DIR}/saved_bench.cpp)
target_include_directories(saved_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(saved_bench PRIVATE lumasift_common benchmark::benchmark ZLIB::ZLIB)
add_dependencies(saved_bench lumasift-cli)
target_compile_definitions(saved_bench PRIVATE LUMASIFT_CLI_PATH="$<TARGET_FILE:lumasift-cli>")
