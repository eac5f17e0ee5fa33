# Native build: the portable code, its unit tests (with ASan and UBSan) and,
# with clang, the fuzz targets.
option(CORVANE_SANITIZE "Build the native tree with ASan and UBSan" ON)
option(CORVANE_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

set(SAN_FLAGS)
if(CORVANE_SANITIZE OR CORVANE_FUZZ)
  set(SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
endif()
add_compile_options(-Wall -Wextra -Wno-unused-parameter ${SAN_FLAGS})
add_link_options(${SAN_FLAGS})

add_library(corvane_portable STATIC ${PORTABLE_CPP})
target_link_libraries(corvane_portable PUBLIC ZLIB::ZLIB)
if(CORVANE_FUZZ)
  # Coverage feedback from the code under test, not only from the harnesses.
  target_compile_options(corvane_portable PRIVATE -fsanitize=fuzzer-no-link)
endif()

if(CORVANE_FUZZ)
  file(GLOB FUZZ_TARGETS CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp")
  foreach(src ${FUZZ_TARGETS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE corvane_portable)
  endforeach()
  return()
endif()

find_package(GTest REQUIRED)
include(GoogleTest)
enable_testing()
file(GLOB UNIT_TEST_CPP CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/unit/*.cpp")
add_executable(unit_tests ${UNIT_TEST_CPP})
# OpenSSL is the reference the signed-configuration tests check against; it
# is linked into the tests only, never into the programs.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
target_link_libraries(unit_tests PRIVATE corvane_portable GTest::gtest GTest::gtest_main OpenSSL::Crypto pthread)
target_compile_definitions(unit_tests PRIVATE CORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)

file(GLOB BENCH_CPP CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/bench/*_bench.cpp")
foreach(src ${BENCH_CPP})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE corvane_portable)
endforeach()
# A patch applies in about a millisecond, less than loading the shared C++
# runtime takes; the benchmark runs the codec as the updater does, with its
# runtime linked in.
if(TARGET vcdiff_bench AND NOT CORVANE_SANITIZE)
  target_link_options(vcdiff_bench PRIVATE -static-libstdc++ -static-libgcc)
endif()
