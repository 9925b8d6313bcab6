# Settings every target of the project shares, carried by one interface target.
include_guard(GLOBAL)

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
set(CMAKE_CXX_FLAGS_RELEASE "-O2")
set(CMAKE_C_FLAGS_RELEASE "-O2")

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

add_library(lumasift_common INTERFACE)
target_compile_options(lumasift_common INTERFACE -Wall -Wextra)
target_compile_definitions(lumasift_common INTERFACE
  QT_NO_KEYWORDS
  LUMASIFT_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  LUMASIFT_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  LUMASIFT_VERSION_PATCH=${PROJECT_VERSION_PATCH}
  LUMASIFT_VERSION_TWEAK=${PROJECT_VERSION_TWEAK}
  LUMASIFT_COMPANY="${LUMASIFT_COMPANY}"
  LUMASIFT_PRODUCT="${LUMASIFT_PRODUCT}"
  LUMASIFT_MAKER_HOST="${LUMASIFT_MAKER_HOST}")
target_include_directories(lumasift_common INTERFACE ${PROJECT_SOURCE_DIR})
target_link_libraries(lumasift_common INTERFACE Threads::Threads)

# Sanitizer builds (`make test-sanitize`, `make test-tsan`) instrument every
# target of ours through this interface target; libraries from the system
# stay as they are.
set(LUMASIFT_SANITIZE "" CACHE STRING "Sanitizers to build with, as for -fsanitize= (address,undefined or thread); empty: none")
if(LUMASIFT_SANITIZE)
  target_compile_options(lumasift_common INTERFACE -fsanitize=${LUMASIFT_SANITIZE} -fno-omit-frame-pointer
                         -fno-sanitize-recover=all)
  target_link_options(lumasift_common INTERFACE -fsanitize=${LUMASIFT_SANITIZE})
endif()

# lumasift_layer(<folder> [Qt-and-other link targets...])
# One static library per layer folder, named lumasift_<folder>, from every
# source file the folder holds (Qt's moc/uic/rcc run automatically).
function(lumasift_layer folder)
  file(GLOB _sources CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/${folder}/*.cpp
    ${PROJECT_SOURCE_DIR}/${folder}/*.h
    ${PROJECT_SOURCE_DIR}/${folder}/*.ui
    ${PROJECT_SOURCE_DIR}/${folder}/*.qrc)
  list(FILTER _sources INCLUDE REGEX "\\.(cpp|ui|qrc)$|\\.h$")
  set(_cpp ${_sources})
  list(FILTER _cpp INCLUDE REGEX "\\.cpp$")
  if(_cpp)
    add_library(lumasift_${folder} STATIC ${_sources})
    target_link_libraries(lumasift_${folder} PUBLIC lumasift_common ${ARGN})
  else()
    add_library(lumasift_${folder} INTERFACE)
    target_link_libraries(lumasift_${folder} INTERFACE lumasift_common ${ARGN})
  endif()
endfunction()

# lumasift_tests(<folder> [link targets...])
# One GoogleTest program per tests/<folder>, from its *_test.cpp files and
# the shared helpers of tests/support (tests/<folder>/main.cpp, when present,
# replaces GoogleTest's own main). Every test runs under Qt's offscreen
# platform, so no display is needed.
function(lumasift_tests folder)
  file(GLOB _tests CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${folder}/*.cpp
                                      ${PROJECT_SOURCE_DIR}/tests/${folder}/*.h)
  if(NOT _tests)
    return()
  endif()
  add_executable(${folder}_tests ${_tests})
  target_link_libraries(${folder}_tests PRIVATE lumasift_common lumasift_test_support ${ARGN}
                        GTest::gtest GTest::gmock)
  # A folder whose tests need an application object brings its own main.cpp.
  if(NOT EXISTS ${PROJECT_SOURCE_DIR}/tests/${folder}/main.cpp)
    target_link_libraries(${folder}_tests PRIVATE GTest::gtest_main)
  endif()
  target_include_directories(${folder}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # One variable per property: a ";" inside a property value would be taken
  # as a list separator on its way through the discovery script, and every
  # variable after the first would be lost.
  # Each test is labelled with its folder, so that `ctest -L fetch` picks a layer.
  gtest_discover_tests(${folder}_tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${folder}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               ENVIRONMENT_MODIFICATION "LUMASIFT_SOURCE_DIR=set:${PROJECT_SOURCE_DIR}"
               TIMEOUT 300)
endfunction()
