# Windows build: update.exe, the designer Corvane.exe and the Windows-side
# test programs. Everything (the C++ runtime and zlib too) is linked statically so
# the programs run on a bare Windows without MinGW's runtime DLLs. System DLLs
# that are not KnownDLLs are delay-loaded: see cmake/delayload/delayload.cmake.
add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0600)
add_link_options(-static -static-libgcc -static-libstdc++)
# No run-time type information: no program asks for it (no dynamic_cast or
# typeid), and every polymorphic class and every lambda held in a
# std::function would otherwise ship its type information and mangled name.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
# update.exe ships with every publisher's application, so Release builds are
# optimised for size, and every function and datum gets a section of its own
# so that the program's link drops whatever nothing uses (see update). The
# digest loop keeps -O2: it sets the pace of every verified download.
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  string(REPLACE "-O3" "-Os" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
  string(REPLACE "-O3" "-Os" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
  add_compile_options(-ffunction-sections -fdata-sections)
  set_source_files_properties(shared/md5_digest.cpp PROPERTIES COMPILE_OPTIONS -O2)
endif()

# Import libraries the loader resolves before WinMain: update.exe may import
# only KnownDLLs and comctl32 this way (check_static_imports fails the build
# otherwise). wininet, version and bcrypt are delay-loaded instead (delay_imports).
set(WIN_SYSTEM_LIBS comctl32 comdlg32 gdi32 user32 shell32 shlwapi ole32 oleaut32 uuid advapi32 imagehlp winmm)

include(cmake/delayload/delayload.cmake)

add_library(corvane_portable STATIC ${PORTABLE_CPP})
target_link_libraries(corvane_portable PUBLIC ZLIB::ZLIB)
if(ZLIB_LIBRARY MATCHES "\\.dll\\.a$")
  message(FATAL_ERROR "zlib must be linked statically, found only ${ZLIB_LIBRARY}")
endif()

file(GLOB WIN32_LAYER_CPP CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/win32/*.cpp")
list(REMOVE_ITEM WIN32_LAYER_CPP "${CMAKE_SOURCE_DIR}/win32/delay_load_hook.cpp")
file(GLOB SHARED_WIN_CPP CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/shared/*_win.cpp")
add_library(win32_layer STATIC ${WIN32_LAYER_CPP} ${SHARED_WIN_CPP})
target_link_libraries(win32_layer PUBLIC corvane_portable delay_imports ${WIN_SYSTEM_LIBS})

# The updater's Windows code, minus its entry point, as an object library so
# that the Windows-side test probes can link the very same code.
file(GLOB UPDATER_WIN_CPP CONFIGURE_DEPENDS
  "${CMAKE_SOURCE_DIR}/updater/engine/*_win.cpp"
  "${CMAKE_SOURCE_DIR}/updater/engine/net/*_win.cpp"
  "${CMAKE_SOURCE_DIR}/updater/engine/config/*_win.cpp"
  "${CMAKE_SOURCE_DIR}/updater/engine/transfer/*_win.cpp"
  "${CMAKE_SOURCE_DIR}/updater/engine/stages/*_win.cpp"
  "${CMAKE_SOURCE_DIR}/updater/engine/self_update/*_win.cpp"
  "${CMAKE_SOURCE_DIR}/updater/ui/*_win.cpp")
add_library(updater_core OBJECT ${UPDATER_WIN_CPP})

add_executable(update WIN32 updater/main_win.cpp updater/update.rc $<TARGET_OBJECTS:updater_core>)
# comctl32 only through its delay-import library (which the win32 layer
# brings before the import libraries): named here, its import library would
# come first and the loader would load it at start.
set(UPDATER_SYSTEM_LIBS ${WIN_SYSTEM_LIBS})
list(REMOVE_ITEM UPDATER_SYSTEM_LIBS comctl32)
target_link_libraries(update PRIVATE win32_layer corvane_portable ${UPDATER_SYSTEM_LIBS})
check_static_imports(update)
# update.exe ships with the application: unused code dropped, no symbols
# (stripped once its delay-load thunks are checked).
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  target_link_options(update PRIVATE -Wl,--gc-sections)
  check_delay_thunks(update ON)
else()
  check_delay_thunks(update OFF)
endif()
set_source_files_properties(updater/update.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/updater/res/update.manifest")

# The designer. Its Windows code is its own; the portable page models are in
# corvane_portable with the rest of the shared code.
file(GLOB DESIGNER_WIN_CPP CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/designer/*_win.cpp")
add_executable(Corvane WIN32 ${DESIGNER_WIN_CPP} designer/designer.rc)
target_link_libraries(Corvane PRIVATE win32_layer corvane_portable ${WIN_SYSTEM_LIBS})
check_static_imports(Corvane)
set_source_files_properties(designer/designer.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/designer/res/corvane.manifest")

# The host used by the Wine tests: starts update.exe with its window handle,
# records the posted messages and answers message boxes.
file(GLOB TESTHOST_CPP CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/winhost/*.cpp")
if(TESTHOST_CPP)
  add_executable(testhost WIN32 ${TESTHOST_CPP})
  target_link_libraries(testhost PRIVATE ${WIN_SYSTEM_LIBS})
endif()

# Console probes that drive one piece of the updater's Windows code directly.
# A probe may use the updater's resources by listing updater/update.rc itself.
file(GLOB PROBE_CPP CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/winprobes/*.cpp")
foreach(src ${PROBE_CPP})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} $<TARGET_OBJECTS:updater_core>)
  target_link_libraries(${name} PRIVATE win32_layer corvane_portable ${WIN_SYSTEM_LIBS})
endforeach()

file(GLOB WIN_BENCH_CPP CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/bench/*_bench.cpp")
foreach(src ${WIN_BENCH_CPP})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name}_win ${src})
  target_link_libraries(${name}_win PRIVATE win32_layer corvane_portable ${WIN_SYSTEM_LIBS})
endforeach()

# The whole-update benchmark's reference: plain API calls only, none of the
# project's code (bench/update_reference_win.cpp).
add_executable(update_reference bench/update_reference_win.cpp)
target_link_libraries(update_reference PRIVATE wininet advapi32)
add_executable(update_reference_shell bench/update_reference_win.cpp)
target_compile_definitions(update_reference_shell PRIVATE REFERENCE_ASKS_SHELL)
target_link_libraries(update_reference_shell PRIVATE wininet advapi32 shell32)

# The sample host program (samples/host/), twice from the same sources: the
# installed version 1.0 and the version 1.1 that the demo's server offers.
# Both are named SampleApp.exe, in folders of their own.
set_source_files_properties(samples/host/sample_app.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/samples/host/sample_app.manifest")
foreach(minor 0 1)
  add_executable(sample_app_1_${minor} WIN32 samples/host/sample_app_win.cpp samples/host/sample_app.rc)
  target_compile_definitions(sample_app_1_${minor} PRIVATE SAMPLE_MAJOR=1 SAMPLE_MINOR=${minor})
  target_link_libraries(sample_app_1_${minor} PRIVATE comctl32 gdi32 user32)
  set_target_properties(sample_app_1_${minor} PROPERTIES OUTPUT_NAME SampleApp
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/sample-1.${minor}")
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    target_link_options(sample_app_1_${minor} PRIVATE -Wl,--gc-sections -s)
  endif()
endforeach()
