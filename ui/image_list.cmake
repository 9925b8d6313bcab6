# The window's row and menu pictures, taken at build time from Debian's
# famfamfam-silk package into a Qt resource of lumasift_ui. Nothing of them
# is kept in the repository; scripts/install-deps.sh installs the package.
find_path(LUMASIFT_SILK_DIR NAMES door_out.png resultset_next.png
  PATHS /usr/share/icons/silk/16x16 /usr/share/famfamfam-silk/icons /usr/share/icons/famfamfam-silk
  NO_DEFAULT_PATH)
if(NOT LUMASIFT_SILK_DIR)
  message(FATAL_ERROR "The window's pictures come from Debian's famfamfam-silk package: "
                      "run scripts/install-deps.sh (or apt-get install famfamfam-silk).")
endif()

# image-list name = file in the package. The image list's slot numbers are
# fixed in ui/image_list.cpp; the grey start arrow is drawn from sign-right.
set(_window_pictures
  exit=door_out help=help feedback=comment flag=flag_blue about=information
  folder48=folder sign-right=resultset_next arrow-down=bullet_arrow_down
  document-inspector-icon=page_white_magnify check-icon=tick exclamation=exclamation)

set(_entries "")
foreach(_pair ${_window_pictures})
  string(REPLACE "=" ";" _parts ${_pair})
  list(GET _parts 0 _name)
  list(GET _parts 1 _file)
  if(NOT EXISTS ${LUMASIFT_SILK_DIR}/${_file}.png)
    message(FATAL_ERROR "famfamfam-silk lacks ${_file}.png in ${LUMASIFT_SILK_DIR}")
  endif()
  string(APPEND _entries "    <file alias=\"${_name}.png\">${LUMASIFT_SILK_DIR}/${_file}.png</file>\n")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/window_pictures.qrc
     CONTENT "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n  <qresource prefix=\"/window\">\n${_entries}  </qresource>\n</RCC>\n"
     @ONLY)
target_sources(lumasift_ui PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/window_pictures.qrc)
