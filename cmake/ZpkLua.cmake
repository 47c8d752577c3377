# zpk_lua_chunk(OUT_VAR src.lua [more.lua...]): compiles Lua sources into one standard Lua
# 5.2 chunk for this target's word size, with debug information kept (script errors show
# lines). Several sources make one chunk that runs each in turn, as `luac a.lua b.lua`
# does. The chunk is named after the last source; the same sources asked for again in
# one folder give the chunk made before, and different sources of that name are refused.
# The 32-bit luac runs through qemu-i386 where needed.
find_program(ZPK_QEMU_I386 qemu-i386-static)
function(zpk_lua_chunk out_var)
  set(sources)
  foreach(src IN LISTS ARGN)
    get_filename_component(src ${src} ABSOLUTE)
    list(APPEND sources ${src})
  endforeach()
  list(GET sources 0 first)
  list(GET sources -1 last)
  get_filename_component(name ${last} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/chunks/${name}.luac)
  set(${out_var} ${out} PARENT_SCOPE)

  set(key "ZPK_CHUNK_${out}")
  get_property(known GLOBAL PROPERTY "${key}")
  if(known)
    if(NOT known STREQUAL "${sources}")
      message(FATAL_ERROR "zpk_lua_chunk: ${sources} and ${known} would compile to the same chunk; rename one")
    endif()
    return()
  endif()
  set_property(GLOBAL PROPERTY "${key}" "${sources}")

  get_filename_component(dir ${first} DIRECTORY)
  set(files)
  foreach(src IN LISTS sources)
    file(RELATIVE_PATH file ${dir} ${src})
    list(APPEND files ${file})
  endforeach()
  set(cmd ${ZPK_LUAC})
  if(ZPK_ARCH STREQUAL "i686" AND ZPK_QEMU_I386)
    set(cmd ${ZPK_QEMU_I386} ${ZPK_LUAC})
  endif()
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/chunks
    COMMAND ${cmd} -o ${out} ${files}
    WORKING_DIRECTORY ${dir}
    DEPENDS ${sources} VERBATIM)
endfunction()
