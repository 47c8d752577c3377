# The shipped scripts. The install and the uninstall chunk are each made of several
# sources, compiled together as `luac a.lua b.lua` does: the helpers both share first,
# then the install steps, then the script with the events.
set(ZPK_SCRIPTS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ZPK_INSTALL_SCRIPT_FILES scriptbase.lua installsteps.lua instscript.lua)
set(ZPK_UNINSTALL_SCRIPT_FILES scriptbase.lua uninstscript.lua)
list(TRANSFORM ZPK_INSTALL_SCRIPT_FILES PREPEND ${ZPK_SCRIPTS_DIR}/ OUTPUT_VARIABLE ZPK_INSTALL_SCRIPT)
list(TRANSFORM ZPK_UNINSTALL_SCRIPT_FILES PREPEND ${ZPK_SCRIPTS_DIR}/ OUTPUT_VARIABLE ZPK_UNINSTALL_SCRIPT)
# The same lists as C++ definitions (comma-separated), for zpkpack's defaults and its test.
string(REPLACE ";" "," _install "${ZPK_INSTALL_SCRIPT_FILES}")
string(REPLACE ";" "," _uninstall "${ZPK_UNINSTALL_SCRIPT_FILES}")
set(ZPK_SCRIPT_FILE_DEFINITIONS ZPK_INSTALL_SCRIPT_FILES="${_install}" ZPK_UNINSTALL_SCRIPT_FILES="${_uninstall}")
