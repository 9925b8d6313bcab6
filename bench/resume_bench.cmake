# The --resume reader over growing files: time per byte, long file over short.
add_executable(resume_bench ${CMAKE_CURRENT_SOURCE_DIR}/resume_bench.cpp ${PROJECT_SOURCE_DIR}/cli/resume_file.cpp)
target_link_libraries(resume_bench PRIVATE lumasift_common benchmark::benchmark Qt6::Core)
