# zpk_skin_package(OUT_VAR): builds the sample's skin archive from resources/skin (layout,
# fonts, SVG sprites as written, PNG backgrounds and the code picture drawn by the art
# script) with every entry deflated; OUT_VAR receives the zip's path, target skin_package
# makes it. The same target draws the program icon from the skin's Image/Icon.svg into
# ZPK_INSTALLER_ICON (zpk_installer's ICON).
# It also stages the product-neutral skin zpkpack ships by default in
# neutral-skin-package/stage (resources/neutralskin's layout over the sample's fonts and
# sprites, backgrounds without text) with its icon neutral-skin-package/installer.ico.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The program icon drawn from svg into ico.
function(zpk_skin_icon svg ico)
  add_custom_command(OUTPUT ${ico}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/skin/art/make-icon.py ${svg} ${ico}
    DEPENDS ${svg} ${CMAKE_SOURCE_DIR}/resources/skin/art/make-icon.py
    COMMENT "Program icon ${svg}"
    VERBATIM)
endfunction()

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
  zpk_skin_icon(${src}/Image/Icon.svg ${ico})

  set(neutral_src ${CMAKE_SOURCE_DIR}/resources/neutralskin)
  set(neutral ${CMAKE_BINARY_DIR}/neutral-skin-package)
  set(neutral_ico ${neutral}/installer.ico)
  set(neutral_stamp ${neutral}/stage.stamp)
  file(GLOB_RECURSE neutral_inputs CONFIGURE_DEPENDS ${neutral_src}/*)
  zpk_skin_icon(${neutral_src}/Image/Icon.svg ${neutral_ico})
  add_custom_command(OUTPUT ${neutral_stamp}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${neutral}/stage
    COMMAND ${CMAKE_COMMAND} -E make_directory ${neutral}/stage/Image
    COMMAND ${CMAKE_COMMAND} -E copy ${src}/font.xml ${neutral}/stage/font.xml
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${src}/Image ${neutral}/stage/Image
    # The sample's own mark stays out; the program icon stands in its place.
    COMMAND ${CMAKE_COMMAND} -E rm -f ${neutral}/stage/Image/Icon.svg
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${neutral_src}/Layout ${neutral}/stage/Layout
    COMMAND ${CMAKE_COMMAND} -E copy ${neutral_ico} ${neutral}/stage/Image/ProgramIcon.ico
    COMMAND ${Python3_EXECUTABLE} ${src}/art/make-backgrounds.py --neutral ${neutral}/stage
    COMMAND ${CMAKE_COMMAND} -E touch ${neutral_stamp}
    DEPENDS ${inputs} ${neutral_inputs} ${neutral_ico}
    COMMENT "Neutral skin"
    VERBATIM)
  add_custom_target(skin_package ALL DEPENDS ${zip} ${ico} ${neutral_stamp})
  set(${out_var} ${zip} PARENT_SCOPE)
  set(ZPK_INSTALLER_ICON ${ico} CACHE INTERNAL "the installer's program icon")
  set(ZPK_SKIN_ZIP ${zip} CACHE INTERNAL "the skin archive")
endfunction()
