# zpkpack's portable parts, shared with the native tests (tests/native).
set(ZPKPACK_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/configcheck.cpp
  ${CMAKE_CURRENT_LIST_DIR}/luachunk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/payload.cpp
  ${CMAKE_CURRENT_LIST_DIR}/peimage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/productfolder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resources.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../../zpksetup/zpkinstaller/sha256.cpp
  ${CMAKE_CURRENT_LIST_DIR}/signer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zipwriter.cpp)
