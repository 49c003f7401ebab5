# Build switches shared by every target.
option(KERFO_BUILD_TESTS "Build the unit and integration tests" ON)
option(KERFO_WERROR "Treat warnings as errors" OFF)
option(KERFO_FUZZ "Build the libFuzzer targets (clang only)" OFF)
set(KERFO_SANITIZE "" CACHE STRING "Sanitizers for the native build: address;undefined or thread")

set(KERFO_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)
if(KERFO_WERROR)
  list(APPEND KERFO_WARNINGS -Werror)
endif()

if(KERFO_FUZZ)
  # Coverage for libFuzzer in every library; the fuzz targets add the driver.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(KERFO_SANITIZE AND NOT WIN32)
  string(REPLACE ";" "," _san "${KERFO_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_san})
endif()

if(WIN32)
  # Keep <windows.h> lean and free of min/max macros wherever it is included; every C++ file
  # sees <windows.h> without the macros that would rename our methods.
  string(APPEND CMAKE_CXX_FLAGS " -include ${CMAKE_SOURCE_DIR}/src/platform/windows_names_win.h")
  add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN UNICODE _UNICODE _WIN32_WINNT=0x0601
                          WINVER=0x0601)
endif()

# What a shipping build trusts. Tests and the demo keep the defaults (the presets leave both
# alone): endpoints.ini beside the executable is honoured and any valid signature is accepted.
option(KERFO_SHIPPING_BUILD "Ignore endpoints.ini beside the executable (with a log line)" OFF)
set(KERFO_PUBLISHER_PIN "" CACHE STRING
  "Signer of the downloaded installer: the subject common name or the SHA-1 thumbprint (40 hex digits) of its certificate; empty accepts any valid signature")
if(KERFO_PUBLISHER_PIN MATCHES "[\"\\\\]")
  message(FATAL_ERROR "KERFO_PUBLISHER_PIN may not contain quotes or backslashes")
endif()
if(KERFO_SHIPPING_BUILD)
  set(KERFO_SHIPPING_BUILD_VALUE 1)
else()
  set(KERFO_SHIPPING_BUILD_VALUE 0)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/build_options.h.in
               ${CMAKE_BINARY_DIR}/generated/build_options.h @ONLY)

if(WIN32)
  # The shipped Win32 exe has a size budget (3 MB with the skin; figures in bench/README.md):
  # optimise for size, let the linker drop unreferenced functions and data, strip symbols.
  # Speed-critical work (hashing, HTTP, ZIP) is in the static dependencies, built as they are.
  option(KERFO_SMALL_EXE "Optimise the Win32 Release build for size" ON)
  if(KERFO_SMALL_EXE)
    add_compile_options($<$<CONFIG:Release>:-Os> $<$<CONFIG:Release>:-ffunction-sections>
                        $<$<CONFIG:Release>:-fdata-sections>)
    add_link_options($<$<CONFIG:Release>:-Wl,--gc-sections> $<$<CONFIG:Release>:-s>)
  endif()
endif()
