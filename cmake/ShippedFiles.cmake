# Files shipped beside the program: the "Languages" folder (language files and
# LanguageCodes.csv), the "Signatures" folder (the extra signatures) and
# license.txt. The program looks for them in its own folder, so the build
# copies them next to the built program and the installation puts them next
# to the installed one.
include_guard(GLOBAL)
include(GNUInstallDirs)

set(LUMASIFT_PROGRAM_TARGET "lumasift" CACHE STRING "Target name of the window program")
set(LUMASIFT_PROGRAM_INSTALL_DIR "${CMAKE_INSTALL_BINDIR}" CACHE STRING
    "Installation folder of the window program (Languages, Signatures and license.txt go beside it)")

file(GLOB _lumasift_language_files CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/Languages/*lang.txt
     ${PROJECT_SOURCE_DIR}/Languages/LanguageCodes.csv)
file(GLOB _lumasift_signature_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/Signatures/*.txt)
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
foreach(_file ${_lumasift_signature_files})
  list(APPEND _lumasift_copy_commands
       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_file} ${_lumasift_program_dir}/Signatures/)
endforeach()
add_custom_target(lumasift_shipped_files ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_lumasift_program_dir}/Languages
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_lumasift_program_dir}/Signatures
  ${_lumasift_copy_commands}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_lumasift_license} ${_lumasift_program_dir}/license.txt
  DEPENDS ${_lumasift_language_files} ${_lumasift_signature_files} ${_lumasift_license}
  COMMENT "Copying the Languages and Signatures folders and license.txt beside the program"
  VERBATIM)
if(TARGET ${LUMASIFT_PROGRAM_TARGET})
  add_dependencies(${LUMASIFT_PROGRAM_TARGET} lumasift_shipped_files)
endif()

install(FILES ${_lumasift_language_files} DESTINATION ${LUMASIFT_PROGRAM_INSTALL_DIR}/Languages)
install(FILES ${_lumasift_signature_files} DESTINATION ${LUMASIFT_PROGRAM_INSTALL_DIR}/Signatures)
install(FILES ${_lumasift_license} DESTINATION ${LUMASIFT_PROGRAM_INSTALL_DIR})

# The command-line tool reads the extra signatures beside itself as well (in
# the build tree it lives in a folder of its own).
if(TARGET lumasift-cli)
  set(_lumasift_cli_copy_commands)
  foreach(_file ${_lumasift_signature_files})
    list(APPEND _lumasift_cli_copy_commands
         COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_file} $<TARGET_FILE_DIR:lumasift-cli>/Signatures/)
  endforeach()
  add_custom_target(lumasift_cli_shipped_files ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:lumasift-cli>/Signatures
    ${_lumasift_cli_copy_commands}
    DEPENDS ${_lumasift_signature_files}
    COMMENT "Copying the Signatures folder beside the command-line tool"
    VERBATIM)
  add_dependencies(lumasift-cli lumasift_cli_shipped_files)
endif()
