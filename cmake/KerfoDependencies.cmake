# Third-party libraries as imported targets with one name on both platforms:
#   kerfo::curl kerfo::tinyxml2 kerfo::jsoncpp kerfo::zip kerfo::zlib kerfo::crypto kerfo::gtest
#   kerfo::elpp
# Natively they come from Debian's -dev packages; for Win32 from the static cache that
# scripts/build-win-deps fills (KERFO_WIN_DEPS, default ~/.cache/kerfo/win-deps).
find_package(Threads REQUIRED)

# easylogging++ is compiled from its own .cc. Only its header is put on the include path, so a
# cross build never sees the rest of /usr/include.
set(KERFO_ELPP_SOURCE /usr/include/easylogging++.cc CACHE FILEPATH "easylogging++ source")
set(_elpp_dir ${CMAKE_BINARY_DIR}/elpp)
configure_file(/usr/include/easylogging++.h ${_elpp_dir}/easylogging++.h COPYONLY)
configure_file(${KERFO_ELPP_SOURCE} ${_elpp_dir}/easylogging++.cc COPYONLY)
add_library(kerfo_elpp STATIC ${_elpp_dir}/easylogging++.cc)
target_include_directories(kerfo_elpp SYSTEM PUBLIC ${_elpp_dir})
# Thread-safe (every thread logs), no log file in the working folder, no signal handlers
# of its own (they would fight the sanitizers and the platform's crash reporting).
target_compile_definitions(kerfo_elpp PUBLIC ELPP_THREAD_SAFE ELPP_NO_DEFAULT_LOG_FILE
  ELPP_DISABLE_DEFAULT_CRASH_HANDLING ELPP_NO_CHECK_MACROS)
if(WIN32)
  target_compile_definitions(kerfo_elpp PUBLIC ELPP_WINSOCK2)
endif()
target_compile_options(kerfo_elpp PRIVATE -w)
target_link_libraries(kerfo_elpp PUBLIC Threads::Threads)
add_library(kerfo::elpp ALIAS kerfo_elpp)

function(_kerfo_imported name)
  cmake_parse_arguments(I "" "" "LIBS;INCLUDES;DEFS" ${ARGN})
  add_library(${name} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    INTERFACE_LINK_LIBRARIES "${I_LIBS}"
    INTERFACE_INCLUDE_DIRECTORIES "${I_INCLUDES}"
    INTERFACE_COMPILE_DEFINITIONS "${I_DEFS}")
endfunction()

if(WIN32)
  if(DEFINED ENV{KERFO_WIN_DEPS})
    set(_deps $ENV{KERFO_WIN_DEPS})
  else()
    set(_deps $ENV{HOME}/.cache/kerfo/win-deps)
  endif()
  set(KERFO_WIN_DEPS ${_deps} CACHE PATH "Cross-built Win32 dependencies")
  if(NOT EXISTS ${KERFO_WIN_DEPS}/lib/libcurl.a)
    message(FATAL_ERROR "No Win32 dependencies in ${KERFO_WIN_DEPS}: run scripts/build-win-deps")
  endif()
  set(_inc ${KERFO_WIN_DEPS}/include)
  set(_lib ${KERFO_WIN_DEPS}/lib)
  _kerfo_imported(kerfo::curl LIBS ${_lib}/libcurl.a kerfo::sys::ws2_32 kerfo::sys::crypt32 kerfo::sys::bcrypt secur32
    wldap32 kerfo::sys::advapi32 normaliz INCLUDES ${_inc} DEFS CURL_STATICLIB)
  _kerfo_imported(kerfo::tinyxml2 LIBS ${_lib}/libtinyxml2.a INCLUDES ${_inc})
  _kerfo_imported(kerfo::jsoncpp LIBS ${_lib}/libjsoncpp.a INCLUDES ${_inc})
  _kerfo_imported(kerfo::zip LIBS ${_lib}/libzip.a ${_lib}/libz.a kerfo::sys::bcrypt INCLUDES ${_inc}
    DEFS ZIP_STATIC)
  _kerfo_imported(kerfo::zlib LIBS ${_lib}/libz.a INCLUDES ${_inc})
  _kerfo_imported(kerfo::crypto LIBS kerfo::sys::bcrypt)
  _kerfo_imported(kerfo::gtest LIBS ${_lib}/libgmock.a ${_lib}/libgtest.a Threads::Threads
    INCLUDES ${_inc})
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PC_CURL REQUIRED IMPORTED_TARGET libcurl)
  pkg_check_modules(PC_TINYXML2 REQUIRED IMPORTED_TARGET tinyxml2)
  pkg_check_modules(PC_JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
  pkg_check_modules(PC_ZIP REQUIRED IMPORTED_TARGET libzip)
  pkg_check_modules(PC_ZLIB REQUIRED IMPORTED_TARGET zlib)
  pkg_check_modules(PC_CRYPTO REQUIRED IMPORTED_TARGET libcrypto)
  find_package(GTest REQUIRED)
  _kerfo_imported(kerfo::curl LIBS PkgConfig::PC_CURL)
  _kerfo_imported(kerfo::tinyxml2 LIBS PkgConfig::PC_TINYXML2)
  _kerfo_imported(kerfo::jsoncpp LIBS PkgConfig::PC_JSONCPP)
  _kerfo_imported(kerfo::zip LIBS PkgConfig::PC_ZIP)
  _kerfo_imported(kerfo::zlib LIBS PkgConfig::PC_ZLIB)
  _kerfo_imported(kerfo::crypto LIBS PkgConfig::PC_CRYPTO)
  _kerfo_imported(kerfo::gtest LIBS GTest::gmock GTest::gtest Threads::Threads)
endif()

# The logger's storage lives in exactly one object file.
file(WRITE ${_elpp_dir}/elpp_storage.cc "#include \"easylogging++.h\"\nINITIALIZE_EASYLOGGINGPP\n")
target_sources(kerfo_elpp PRIVATE ${_elpp_dir}/elpp_storage.cc)
