# zpk_skin_package(OUT_VAR): builds the skin archive from resources/skin (layout, fonts,
# SVG sprites as written, PNG backgrounds and the code picture drawn by the art script)
# with every entry deflated; OUT_VAR receives the zip's path, target skin_package makes it.
# The same target draws the program icon from the skin's Image/Icon.svg into
# ZPK_INSTALLER_ICON (zpk_installer's ICON).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
function(zpk_skin_package out_var)
  set(src ${CMAKE_SOURCE_DIR}/resources/skin)
  set(dir ${CMAKE_BINARY_DIR}/skin-package)
  set(zip ${dir}/skin.zip)
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${src}/*)
  add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir}/stage ${zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/stage/Image
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${src}/Layout ${dir}/stage/Layout
    COMMAND ${CMAKE_COMMAND} -E copy ${src}/font.xml ${dir}/stage/font.xml
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${src}/Image ${dir}/stage/Image
    COMMAND ${Python3_EXECUTABLE} ${src}/art/make-backgrounds.py ${dir}/stage
    COMMAND cd ${dir}/stage && zip -X -q -r -Z deflate -9 ${zip} font.xml Layout Image
    DEPENDS ${inputs}
    COMMENT "Skin package"
    VERBATIM)
  set(ico ${dir}/installer.ico)
  add_custom_command(OUTPUT ${ico}
    COMMAND ${Python3_EXECUTABLE} ${src}/art/make-icon.py ${src}/Image/Icon.svg ${ico}
    DEPENDS ${src}/Image/Icon.svg ${src}/art/make-icon.py
    COMMENT "Program icon"
    VERBATIM)
  add_custom_target(skin_package ALL DEPENDS ${zip} ${ico})
  set(${out_var} ${zip} PARENT_SCOPE)
  set(ZPK_INSTALLER_ICON ${ico} CACHE INTERNAL "the installer's program icon")
  set(ZPK_SKIN_ZIP ${zip} CACHE INTERNAL "the skin archive")
endfunction()
