# zpk_lua_chunk(OUT_VAR src.lua): compiles a Lua source into a standard Lua 5.2 chunk
# for this target's word size, with debug information kept (script errors show lines)
# (the 32-bit luac runs through qemu-i386 where needed).
find_program(ZPK_QEMU_I386 qemu-i386-static)
function(zpk_lua_chunk out_var src)
  get_filename_component(name ${src} NAME_WE)
  get_filename_component(dir ${src} DIRECTORY)
  get_filename_component(file ${src} NAME)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/chunks/${name}.luac)
  set(cmd ${ZPK_LUAC})
  if(ZPK_ARCH STREQUAL "i686" AND ZPK_QEMU_I386)
    set(cmd ${ZPK_QEMU_I386} ${ZPK_LUAC})
  endif()
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/chunks
    COMMAND ${cmd} -o ${out} ${file}
    WORKING_DIRECTORY ${dir}
    DEPENDS ${src} VERBATIM)
  set(${out_var} ${out} PARENT_SCOPE)
endfunction()
