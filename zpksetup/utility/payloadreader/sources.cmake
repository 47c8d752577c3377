# The portable payload reader: built into the script engine and, with the host compiler,
# into the native tests and the fuzz target. Its users add PAYLOADREADER_DIR to their
# include directories.
set(PAYLOADREADER_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ARCHIVE7Z_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/archive7z.cpp
  ${CMAKE_CURRENT_LIST_DIR}/blockscheduler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codergraph.cpp
  ${CMAKE_CURRENT_LIST_DIR}/foldercoders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folderpipe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/streamdecoders.cpp)
