# LUMASIFT_FUZZ: the build of `make fuzz` (clang): every target compiled for
# libFuzzer's coverage and with AddressSanitizer and UndefinedBehaviorSanitizer,
# so that the harnesses in fuzz/ find memory faults and undefined behaviour,
# not only crashes. Any undefined behaviour ends the run.
include_guard(GLOBAL)

option(LUMASIFT_FUZZ "Build the fuzz harnesses for libFuzzer (clang only)" OFF)
if(LUMASIFT_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LUMASIFT_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
