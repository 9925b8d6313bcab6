# Files shipped beside the program: the "Languages" folder (language files and
# LanguageCodes.csv) and license.txt. The program looks for both in its own
# folder, so the build copies them next to the built program and the
# installation puts them next to the installed one.
include_guard(GLOBAL)
include(GNUInstallDirs)

set(LUMASIFT_PROGRAM_TARGET "lumasift" CACHE STRING "Target name of the window program")
set(LUMASIFT_PROGRAM_INSTALL_DIR "${CMAKE_INSTALL_BINDIR}" CACHE STRING
    "Installation folder of the window program (Languages and license.txt go beside it)")

file(GLOB _lumasift_language_files CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/Languages/*lang.txt
     ${PROJECT_SOURCE_DIR}/Languages/LanguageCodes.csv)
set(_lumasift_license ${PROJECT_SOURCE_DIR}/license.txt)

if(TARGET ${LUMASIFT_PROGRAM_TARGET})
  set(_lumasift_program_dir $<TARGET_FILE_DIR:${LUMASIFT_PROGRAM_TARGET}>)
else()
  set(_lumasift_program_dir ${PROJECT_BINARY_DIR}/app)
endif()

set(_lumasift_copy_commands)
foreach(_file ${_lumasift_language_files})
  list(APPEND _lumasift_copy_commands
       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_file} ${_lumasift_program_dir}/Languages/)
endforeach()
add_custom_target(lumasift_shipped_files ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_lumasift_program_dir}/Languages
  ${_lumasift_copy_commands}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_lumasift_license} ${_lumasift_program_dir}/license.txt
  DEPENDS ${_lumasift_language_files} ${_lumasift_license}
  COMMENT "Copying the Languages folder and license.txt beside the program"
  VERBATIM)
if(TARGET ${LUMASIFT_PROGRAM_TARGET})
  add_dependencies(${LUMASIFT_PROGRAM_TARGET} lumasift_shipped_files)
endif()

install(FILES ${_lumasift_language_files} DESTINATION ${LUMASIFT_PROGRAM_INSTALL_DIR}/Languages)
install(FILES ${_lumasift_license} DESTINATION ${LUMASIFT_PROGRAM_INSTALL_DIR})
