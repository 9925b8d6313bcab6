# The main window under load: sorting a large results list, and how long the
# main thread is kept from its events during a pooled run.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
add_executable(ui_bench ${CMAKE_CURRENT_SOURCE_DIR}/ui_bench.cpp
               ${PROJECT_SOURCE_DIR}/tests/support/run_site.cpp)
target_include_directories(ui_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(ui_bench PRIVATE lumasift_common lumasift_ui Qt6::Widgets Qt6::Test benchmark::benchmark)
