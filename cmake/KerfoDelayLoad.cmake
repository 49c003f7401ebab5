# Delay-loaded system DLLs of the Win32 build (see src/platform/dll_loader.h for the rule).
# A DLL that is not a Known DLL must not sit in the import table: Windows would look for it in
# the executable's folder first, where anything the user downloaded may have put a copy. Each
# name below gets a delay-import object, generated from mingw's import library, and the target
# kerfo::sys::<name> links it in place of the plain import library. Adding a system library that
# is not a Known DLL means adding it here and linking kerfo::sys::<name>.
#
# Why an object and not dlltool's delay-import archive: ld 2.40 leaves the address slot of a
# function empty (a jump to 0 at run time) when code reaches it through __imp_ (functions
# declared dllimport, as wincrypt.h and libcurl do) and the thunk comes from an archive member.
# The same members linked as one relocatable object resolve correctly.
#
# The Known DLLs that the program links (user32, gdi32, advapi32, shell32, ole32, oleaut32,
# ws2_32) are delay-loaded as well: so the process starts with kernel32 and the C runtime
# only, and the DLL search is restricted before any other DLL - and any DLL that one of those
# imports in turn - is loaded. (wine's user32 imports version.dll, and a Known DLL's imports
# that are not Known DLLs are searched like any other.)
set(KERFO_DELAY_LOADED_DLLS version bcrypt crypt32 iphlpapi wintrust
  user32 gdi32 advapi32 shell32 ole32 oleaut32 ws2_32 shlwapi gdiplus usp10 comctl32 oleacc urlmon
  CACHE INTERNAL "System DLLs the Win32 build delay-loads")

if(NOT WIN32)
  return()
endif()

find_program(KERFO_DLLTOOL NAMES i686-w64-mingw32-dlltool dlltool REQUIRED)
find_program(KERFO_NM NAMES i686-w64-mingw32-nm nm REQUIRED)
find_program(KERFO_PE_LD NAMES i686-w64-mingw32-ld REQUIRED)
set(_delay_dir ${CMAKE_BINARY_DIR}/delayload)
file(MAKE_DIRECTORY ${_delay_dir})
set(_seen_exports "")

foreach(_dll ${KERFO_DELAY_LOADED_DLLS})
  find_file(_implib_${_dll} lib${_dll}.a
    PATHS /usr/i686-w64-mingw32/lib ${CMAKE_FIND_ROOT_PATH}/lib NO_DEFAULT_PATH)
  if(NOT _implib_${_dll})
    message(FATAL_ERROR "No import library lib${_dll}.a for the delay-loaded ${_dll}.dll")
  endif()
  set(_def ${_delay_dir}/${_dll}.def)
  set(_archive ${_delay_dir}/lib${_dll}_delay.a)
  set(_lib ${_delay_dir}/${_dll}_delay.o)
  # The exported names are the import library's code symbols; "-k" drops the stdcall
  # decoration from the names looked up in the DLL. A name that an earlier DLL of the list
  # already exports (wintrust repeats crypt32's CryptSIP functions) stays with that one.
  execute_process(COMMAND ${KERFO_NM} ${_implib_${_dll}} OUTPUT_VARIABLE _syms
    RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${_implib_${_dll}}")
  endif()
  string(REGEX MATCHALL "[0-9a-f]+ T _[A-Za-z0-9_@?$]+" _lines "${_syms}")
  set(_exports "")
  foreach(_line ${_lines})
    string(REGEX REPLACE "^[0-9a-f]+ T _" "" _name "${_line}")
    list(FIND _seen_exports ${_name} _at)
    if(_at EQUAL -1)
      list(APPEND _exports ${_name})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES _exports)
  list(SORT _exports)
  list(APPEND _seen_exports ${_exports})
  string(REPLACE ";" "\n" _exports "${_exports}")
  set(_def_text "LIBRARY ${_dll}.dll\nEXPORTS\n${_exports}\n")
  set(_old_def "")
  if(EXISTS ${_def})
    file(READ ${_def} _old_def)
  endif()
  if(NOT EXISTS ${_lib} OR NOT _old_def STREQUAL _def_text)
    file(WRITE ${_def} "${_def_text}")
    execute_process(COMMAND ${KERFO_DLLTOOL} -k --input-def ${_def} --dllname ${_dll}.dll
      --output-delaylib ${_archive} RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "dlltool could not make the delay-import library of ${_dll}.dll")
    endif()
    # Head first, the functions, the terminating tail last: the order of the import tables.
    set(_members ${_delay_dir}/${_dll}.members)
    file(REMOVE_RECURSE ${_members})
    file(MAKE_DIRECTORY ${_members})
    execute_process(COMMAND ${CMAKE_AR} x ${_archive} WORKING_DIRECTORY ${_members}
      RESULT_VARIABLE _rc)
    file(GLOB _head ${_members}/*_h.o)
    file(GLOB _tail ${_members}/*_t.o)
    file(GLOB _funcs ${_members}/*_s[0-9]*.o)
    list(SORT _funcs)
    if(NOT _rc EQUAL 0 OR NOT _head OR NOT _tail OR NOT _funcs)
      message(FATAL_ERROR "Unexpected members in the delay-import library of ${_dll}.dll")
    endif()
    execute_process(COMMAND ${KERFO_PE_LD} -r -o ${_lib} ${_head} ${_funcs} ${_tail}
      RESULT_VARIABLE _rc)
    file(REMOVE_RECURSE ${_members})
    file(REMOVE ${_archive})
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "Could not link the delay-import object of ${_dll}.dll")
    endif()
  endif()
  # A marker for the reader of a link line; the object itself comes with the standard libraries.
  add_library(kerfo::sys::${_dll} INTERFACE IMPORTED GLOBAL)
  list(APPEND _delay_libs ${_lib})
endforeach()

# An object is linked once, wherever it stands; the standard libraries close every link line,
# so the objects go there (and only there, to avoid duplicate definitions).
string(REPLACE ";" " " _delay_libs "${_delay_libs}")
set(CMAKE_C_STANDARD_LIBRARIES "${_delay_libs} ${CMAKE_C_STANDARD_LIBRARIES_INIT}" CACHE STRING
  "Standard libraries of C links, delay-imports first" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "${_delay_libs} ${CMAKE_CXX_STANDARD_LIBRARIES_INIT}" CACHE STRING
  "Standard libraries of C++ links, delay-imports first" FORCE)
