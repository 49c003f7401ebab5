# Packs skin/ into a deflate ZIP at build time. The Win32 build embeds it as resource
# ZIPRES 138 (src/app/resources.rc); the native build links it as a blob behind the same
# resource call (platform/resource_posix.cpp).
file(GLOB_RECURSE KERFO_SKIN_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/skin/*)
set(KERFO_SKIN_ZIP ${CMAKE_BINARY_DIR}/skin.zip)
add_custom_command(OUTPUT ${KERFO_SKIN_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${KERFO_SKIN_ZIP}
  COMMAND zip -q -X -r -9 ${KERFO_SKIN_ZIP} .
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/skin
  DEPENDS ${KERFO_SKIN_FILES}
  COMMENT "Packing the skin package")
add_custom_target(kerfo_skin DEPENDS ${KERFO_SKIN_ZIP})

# Version record of the executable (the Win32 resource script reads it).
set(KERFO_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
file(WRITE ${CMAKE_BINARY_DIR}/generated/version.h.tmp
  "#pragma once\n#define KERFO_VERSION_COMMAS ${KERFO_VERSION_COMMAS}\n#define KERFO_VERSION_TEXT \"${PROJECT_VERSION}\"\n")
configure_file(${CMAKE_BINARY_DIR}/generated/version.h.tmp ${CMAKE_BINARY_DIR}/generated/version.h COPYONLY)
