# Files shipped with the program: the "Languages" folder (language files and
# LanguageCodes.csv), the "Signatures" folder when the tree has one, and
# license.txt. The build copies them beside the built program, which finds
# them there; the installation puts them in <prefix>/share/lumasift, where
# the installed program finds them (i18n/program_layout.h).
include_guard(GLOBAL)
include(GNUInstallDirs)

set(LUMASIFT_PROGRAM_TARGET "lumasift" CACHE STRING "Target name of the window program")
set(LUMASIFT_SHIPPED_INSTALL_DIR "${CMAKE_INSTALL_DATADIR}/lumasift" CACHE STRING
    "Installation folder of the shipped files (the program looks in ../share/lumasift from its own folder)")

# Folder name = the files of the source folder of that name that are shipped.
# A folder the tree does not hold (yet) ships nothing; the glob notices when
# it appears and the next build configures again.
file(GLOB _lumasift_shipped_Languages CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/Languages/*lang.txt
     ${PROJECT_SOURCE_DIR}/Languages/LanguageCodes.csv)
file(GLOB _lumasift_shipped_Signatures CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/Signatures/*)
list(FILTER _lumasift_shipped_Signatures EXCLUDE REGEX "/\\.[^/]*$")
set(_lumasift_license ${PROJECT_SOURCE_DIR}/license.txt)

if(TARGET ${LUMASIFT_PROGRAM_TARGET})
  set(_lumasift_program_dir $<TARGET_FILE_DIR:${LUMASIFT_PROGRAM_TARGET}>)
else()
  set(_lumasift_program_dir ${PROJECT_BINARY_DIR}/app)
endif()

set(_lumasift_copy_commands)
set(_lumasift_shipped_files ${_lumasift_license})
foreach(_folder Languages Signatures)
  if(NOT _lumasift_shipped_${_folder})
    continue()
  endif()
  list(APPEND _lumasift_copy_commands
       COMMAND ${CMAKE_COMMAND} -E make_directory ${_lumasift_program_dir}/${_folder})
  foreach(_file ${_lumasift_shipped_${_folder}})
    list(APPEND _lumasift_copy_commands
         COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_file} ${_lumasift_program_dir}/${_folder}/)
  endforeach()
  list(APPEND _lumasift_shipped_files ${_lumasift_shipped_${_folder}})
  install(FILES ${_lumasift_shipped_${_folder}} DESTINATION ${LUMASIFT_SHIPPED_INSTALL_DIR}/${_folder})
endforeach()
add_custom_target(lumasift_shipped_files ALL
  ${_lumasift_copy_commands}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_lumasift_license} ${_lumasift_program_dir}/license.txt
  DEPENDS ${_lumasift_shipped_files}
  COMMENT "Copying the shipped files beside the program"
  VERBATIM)
if(TARGET ${LUMASIFT_PROGRAM_TARGET})
  add_dependencies(${LUMASIFT_PROGRAM_TARGET} lumasift_shipped_files)
endif()

install(FILES ${_lumasift_license} DESTINATION ${LUMASIFT_SHIPPED_INSTALL_DIR})

# In the build tree the command-line tool lives in a folder of its own and
# finds the shipped extra signatures beside itself.
if(TARGET lumasift-cli AND _lumasift_shipped_Signatures)
  set(_lumasift_cli_copy_commands)
  foreach(_file ${_lumasift_shipped_Signatures})
    list(APPEND _lumasift_cli_copy_commands
         COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_file} $<TARGET_FILE_DIR:lumasift-cli>/Signatures/)
  endforeach()
  add_custom_target(lumasift_cli_shipped_files ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:lumasift-cli>/Signatures
    ${_lumasift_cli_copy_commands}
    DEPENDS ${_lumasift_shipped_Signatures}
    COMMENT "Copying the Signatures folder beside the command-line tool"
    VERBATIM)
  add_dependencies(lumasift-cli lumasift_cli_shipped_files)
endif()
