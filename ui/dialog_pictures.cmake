# Small pictures of the dialogs, taken at build time from Debian's icon
# packages (famfamfam-flag-png, famfamfam-silk) into a Qt resource of
# lumasift_ui; nothing of them is kept in the repository. A picture whose
# file is missing is left out, and the dialogs draw a neutral one instead.
set(_flag_dir /usr/share/flags/countries/16x11)
set(_silk_dir /usr/share/icons/silk/16x16)

# picture name = file name in the flag package. Vietnamese is shown with the
# flag of Vietnam (vn); "vi" in the package is another territory.
set(_flags de=de fr=fr tr=tr al=al sa=sa bg=bg cn=cn tw=tw cz=cz nl=nl fi=fi gr=gr
           il=il hu=hu it=it jp=jp kr=kr ir=ir pl=pl br=br pt=pt ru=ru si=si es=es
           se=se ua=ua vi=vn sk=sk us=us)
set(_silk flag=flag_blue tick_button=tick copy=page_copy close=cross
          arrow_down=bullet_arrow_down feedback=comment)

set(_entries "")
set(_missing "")
# Adds each "name=file" pair found in `dir` to _entries under `prefix`/,
# and the files not found to _missing.
function(_lumasift_add_pictures prefix dir)
  foreach(_pair ${ARGN})
    string(REPLACE "=" ";" _parts ${_pair})
    list(GET _parts 0 _name)
    list(GET _parts 1 _file)
    if(EXISTS ${dir}/${_file}.png)
      string(APPEND _entries "    <file alias=\"${prefix}/${_name}.png\">${dir}/${_file}.png</file>\n")
    else()
      list(APPEND _missing ${_file})
    endif()
  endforeach()
  set(_entries "${_entries}" PARENT_SCOPE)
  set(_missing "${_missing}" PARENT_SCOPE)
endfunction()
_lumasift_add_pictures(flags ${_flag_dir} ${_flags})
_lumasift_add_pictures(pictures ${_silk_dir} ${_silk})
if(_missing)
  message(WARNING "Dialog pictures not found (install famfamfam-flag-png and famfamfam-silk): ${_missing}")
endif()

file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/dialog_pictures.qrc
     CONTENT "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n  <qresource prefix=\"/dialogs\">\n${_entries}  </qresource>\n</RCC>\n"
     @ONLY)
target_sources(lumasift_ui PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/dialog_pictures.qrc)
