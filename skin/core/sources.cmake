# The skin engine's portable part: built into the Windows library and, with the host
# compiler, into the native tests.
set(SKIN_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/dpi.cpp
  ${CMAKE_CURRENT_LIST_DIR}/editbuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/framehittest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/imageresolve.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markupbuilder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markupvalues.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uianimation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/skinarchive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uicontainer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uicontrol.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uicontrols.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uiedit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uitypes.cpp)
