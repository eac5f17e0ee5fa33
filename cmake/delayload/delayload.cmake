# Delay-loaded system DLLs of the Windows programs.
#
# The Windows loader resolves a program's import table before WinMain runs,
# and for a DLL that is not a KnownDLL it searches the program's own folder
# first. The updater's folder is writable by users and publishers, so every
# such DLL is delay-loaded instead: first loaded when one of its functions is
# first called, from the system folder (win32/delay_load_hook.cpp), after
# WinMain restricted the search order as well.
#
# Each <dll>.def beside this file lists the functions the programs call,
# decorated as the 32-bit build names them (Name@<argument bytes>). A function
# missing there is an undefined reference at link time: add it to the .def.
# A new non-KnownDLL gets a .def of its own and an entry in DELAYLOAD_DLLS.

# comctl32 is a delay-load for time, not for safety: loading it costs a Wine
# process about 0.1 s, which a check that finds nothing need not pay (the
# wizard's first dialog loads it).
set(DELAYLOAD_DLLS version wininet bcrypt comctl32)

# What the loader may take from the import table: KnownDLLs, which always come
# from the system folder, and comctl32, which the manifest redirects to the
# side-by-side common controls.
set(STATIC_IMPORTS_ALLOWED
  kernel32 ntdll user32 gdi32 shell32 shlwapi ole32 oleaut32 advapi32 comdlg32
  imagehlp msvcrt imm32 setupapi psapi ws2_32 comctl32)

if(NOT CMAKE_DLLTOOL)
  string(REGEX REPLACE "gcc(-posix|-win32)?$" "dlltool" CMAKE_DLLTOOL "${CMAKE_C_COMPILER}")
endif()
if(NOT CMAKE_OBJDUMP)
  string(REGEX REPLACE "gcc(-posix|-win32)?$" "objdump" CMAKE_OBJDUMP "${CMAKE_C_COMPILER}")
endif()
if(NOT CMAKE_NM)
  string(REGEX REPLACE "gcc(-posix|-win32)?$" "nm" CMAKE_NM "${CMAKE_C_COMPILER}")
endif()
if(NOT CMAKE_STRIP)
  string(REGEX REPLACE "gcc(-posix|-win32)?$" "strip" CMAKE_STRIP "${CMAKE_C_COMPILER}")
endif()

set(_delayload_src "${CMAKE_CURRENT_LIST_DIR}")
set(_delayload_out "${CMAKE_BINARY_DIR}/delayload")
file(MAKE_DIRECTORY "${_delayload_out}")

set(_delayload_libs)
foreach(dll ${DELAYLOAD_DLLS})
  set(def_src "${_delayload_src}/${dll}.def")
  set(def_out "${_delayload_out}/${dll}.def")
  set(lib_out "${_delayload_out}/lib${dll}_delay.a")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${def_src}")

  # 32-bit: the symbols keep their stdcall decoration and --kill-at takes it
  # off the names looked up in the DLL. 64-bit has no decoration at all.
  file(READ "${def_src}" def_text)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(kill_at --kill-at)
  else()
    set(kill_at)
    string(REGEX REPLACE "([A-Za-z0-9_]+)@[0-9]+" "\\1" def_text "${def_text}")
  endif()
  set(old_text "")
  if(EXISTS "${def_out}")
    file(READ "${def_out}" old_text)
  endif()
  if(NOT old_text STREQUAL def_text)
    file(WRITE "${def_out}" "${def_text}")
  endif()

  add_custom_command(OUTPUT "${lib_out}"
    COMMAND "${CMAKE_DLLTOOL}" --input-def "${def_out}" --dllname "${dll}.dll" ${kill_at}
            --temp-prefix "${dll}_delay" --output-delaylib "${lib_out}"
    DEPENDS "${def_out}" "${def_src}"
    WORKING_DIRECTORY "${_delayload_out}"
    COMMENT "Delay-import library for ${dll}.dll"
    VERBATIM)
  list(APPEND _delayload_libs "${lib_out}")

  # Code compiled against the SDK headers calls most of these functions
  # through their import slots (__imp_...), and a slot's first value is the
  # address of the function's loading thunk. The linker keeps import data
  # without following its references, so with --gc-sections it drops every
  # thunk that no code names directly and the slot holds 0: the first call
  # jumps to address 0. Naming each thunk on the command line makes it a
  # root the collector keeps.
  file(STRINGS "${def_src}" def_names REGEX "^[A-Za-z_][A-Za-z0-9_]*(@[0-9]+)?$")
  list(REMOVE_ITEM def_names EXPORTS)
  foreach(name ${def_names})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(name "_${name}")
    else()
      string(REGEX REPLACE "@[0-9]+$" "" name "${name}")
    endif()
    list(APPEND _delayload_roots "LINKER:--undefined=${name}")
    list(APPEND _delayload_thunks "${name}")
  endforeach()
endforeach()
add_custom_target(delayload_libs DEPENDS ${_delayload_libs})

# The notification hook that loads delay-loaded DLLs from the system folder.
# An object of its own: nothing names it, so it would never be pulled out of
# the win32 layer's archive.
add_library(delay_load_hook OBJECT "${CMAKE_SOURCE_DIR}/win32/delay_load_hook.cpp")

# Link this instead of the DLLs' import libraries.
add_library(delay_imports INTERFACE)
target_link_libraries(delay_imports INTERFACE $<TARGET_OBJECTS:delay_load_hook> ${_delayload_libs})
target_link_options(delay_imports INTERFACE ${_delayload_roots})
add_dependencies(delay_imports delayload_libs delay_load_hook)

# Fails the build (and removes the program) when `target` imports a DLL the
# loader would look for in the program's folder.
function(check_static_imports target)
  string(REPLACE ";" "," allowed "${STATIC_IMPORTS_ALLOWED}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" -DOBJDUMP=${CMAKE_OBJDUMP} -DPROGRAM=$<TARGET_FILE:${target}>
            -DALLOWED=${allowed} -P "${_delayload_src}/check_imports.cmake"
    VERBATIM)
endfunction()

# Fails the build (and removes the program) when one of `target`'s delay-load
# thunks did not survive the link, then strips the program when `strip` is
# set: the check reads the symbols, so the program is linked without -s.
function(check_delay_thunks target strip)
  string(REPLACE ";" "," thunks "${_delayload_thunks}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" -DNM=${CMAKE_NM} -DPROGRAM=$<TARGET_FILE:${target}>
            -DTHUNKS=${thunks} -P "${_delayload_src}/check_delay_thunks.cmake"
    VERBATIM)
  if(strip)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND "${CMAKE_STRIP}" --strip-all $<TARGET_FILE:${target}>
      VERBATIM)
  endif()
endfunction()
