# Per-page identification: the engine against the literal reference method
# (shared with the engine tests) and a one-pass memchr floor.
add_executable(engine_bench
  ${CMAKE_CURRENT_SOURCE_DIR}/engine_bench.cpp
  ${PROJECT_SOURCE_DIR}/tests/engine/literal_reference.cpp
  ${PROJECT_SOURCE_DIR}/tests/engine/page_corpus.cpp)
target_include_directories(engine_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(engine_bench PRIVATE lumasift_common lumasift_engine benchmark::benchmark)
# The shipped extra signatures, for loading them and matching with them.
target_compile_definitions(engine_bench PRIVATE
  LUMASIFT_SHIPPED_SIGNATURES="${PROJECT_SOURCE_DIR}/Signatures/extra.txt")
