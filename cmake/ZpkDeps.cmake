# Imported targets for the libraries that tools/deps.sh builds into the cache.
function(zpk_import name lib)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION ${ZPK_TARGET_DEPS}/lib/${lib}
    INTERFACE_INCLUDE_DIRECTORIES ${ZPK_TARGET_DEPS}/include)
endfunction()

zpk_import(dep::lua liblua.a)
zpk_import(dep::7zdec lib7zdec.a)
zpk_import(dep::gtest libgtest.a)
zpk_import(dep::gtest_main libgtest_main.a)
set_property(TARGET dep::gtest_main PROPERTY INTERFACE_LINK_LIBRARIES dep::gtest)
zpk_import(dep::cares libcares.a)
zpk_import(dep::curl libcurl.a)
set_target_properties(dep::curl PROPERTIES
  INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
  INTERFACE_LINK_LIBRARIES "dep::cares;bcrypt;advapi32;crypt32;ws2_32;iphlpapi")
# libwebp: the decoder, and the demuxer for animations (which calls the decoder).
zpk_import(dep::webpdecoder libwebpdecoder.a)
zpk_import(dep::webp libwebpdemux.a)
set_property(TARGET dep::webp PROPERTY INTERFACE_LINK_LIBRARIES dep::webpdecoder)

# spdlog and fmt are used header-only; Debian's spdlog wants the external fmt. No
# locale-dependent formatting is used, and fmt's locale support would pull the standard
# library's whole locale machinery (about 400 KB) into every program.
add_library(dep::spdlog INTERFACE IMPORTED GLOBAL)
set(ZPK_SPDLOG_INC ${CMAKE_BINARY_DIR}/spdlog-include)
file(MAKE_DIRECTORY ${ZPK_SPDLOG_INC})
file(CREATE_LINK /usr/include/spdlog ${ZPK_SPDLOG_INC}/spdlog SYMBOLIC)
file(CREATE_LINK /usr/include/fmt ${ZPK_SPDLOG_INC}/fmt SYMBOLIC)
set_target_properties(dep::spdlog PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${ZPK_SPDLOG_INC}
  INTERFACE_COMPILE_DEFINITIONS "FMT_HEADER_ONLY;SPDLOG_FMT_EXTERNAL;FMT_STATIC_THOUSANDS_SEPARATOR=0")

# The skin engine's readers: XML, zip (minizip over the toolchain's static zlib), SVG
# (nanosvg, header-only: one file defines its implementation) and stb_image (header-only).
zpk_import(dep::pugixml libpugixml.a)
zpk_import(dep::minizip libminizip.a)
set_property(TARGET dep::minizip PROPERTY INTERFACE_LINK_LIBRARIES z)
add_library(dep::nanosvg INTERFACE IMPORTED GLOBAL)
set_target_properties(dep::nanosvg PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${ZPK_TARGET_DEPS}/include)
add_library(dep::stb INTERFACE IMPORTED GLOBAL)
set_target_properties(dep::stb PROPERTIES INTERFACE_INCLUDE_DIRECTORIES /usr/include/stb)
