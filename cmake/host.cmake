# Host build: pure logic, unit tests, publisher tools, benchmarks, and the Windows sub-build.
include(CTest)
# GoogleTest only for the unit tests: without it the programs, orv and the other tests build.
find_package(GTest)
if(GTest_FOUND)
  include(GoogleTest)
else()
  message(STATUS "GoogleTest not found: the unit tests (unit_tests) are left out")
endif()

set(ORV_WARNINGS -Wall -Wextra -Wno-unused-parameter)

add_library(orv_format STATIC ${ORV_FORMAT_SOURCES})
target_include_directories(orv_format PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(orv_format PRIVATE ${ORV_WARNINGS})
add_library(orv_logic STATIC ${ORV_LOGIC_SOURCES})
target_link_libraries(orv_logic PUBLIC orv_format)
target_compile_options(orv_logic PRIVATE ${ORV_WARNINGS})

option(ORV_SANITIZE "Build the host logic and unit tests with AddressSanitizer and UBSan" ON)
if(ORV_SANITIZE)
  set(ORV_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer)
  add_library(orv_format_san STATIC ${ORV_FORMAT_SOURCES})
  target_include_directories(orv_format_san PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(orv_format_san PRIVATE ${ORV_WARNINGS} ${ORV_SAN_FLAGS})
  target_link_options(orv_format_san PUBLIC ${ORV_SAN_FLAGS})
  add_library(orv_logic_san STATIC ${ORV_LOGIC_SOURCES})
  target_link_libraries(orv_logic_san PUBLIC orv_format_san)
  target_compile_options(orv_logic_san PRIVATE ${ORV_WARNINGS} ${ORV_SAN_FLAGS})
  set(ORV_TEST_LOGIC orv_logic_san)
else()
  set(ORV_TEST_LOGIC orv_logic)
endif()

# The publisher's tools (tools/tools.cmake): a library per folder of tools/, and orv.
include(${CMAKE_SOURCE_DIR}/tools/tools.cmake)
orv_tool_libraries(orv_tools orv_format orv_logic "${PROJECT_VERSION}" ${ORV_WARNINGS} -O2)
add_executable(orv ${ORV_TOOLS_MAIN})
target_link_libraries(orv PRIVATE orv_tools_orv)
target_compile_options(orv PRIVATE ${ORV_WARNINGS} -O2)
set(ORV_TOOL_TARGETS orv)
# The unit tests' copy, with the sanitizers.
if(ORV_SANITIZE)
  orv_tool_libraries(orv_tools_san orv_format_san orv_logic_san "${PROJECT_VERSION}" ${ORV_WARNINGS} ${ORV_SAN_FLAGS})
  set(ORV_TEST_TOOLS orv_tools_san_orv)
else()
  set(ORV_TEST_TOOLS orv_tools_orv)
endif()

# Unit tests: every *_test.cpp under tests/unit/ (whose folders mirror the product's:
# common/, common/format/, install/logic/, uninstall/logic/, tools/FOLDER/) in one GoogleTest program; each
# test is its own CTest test (label "unit"), so that ctest -j runs them in parallel.
file(GLOB_RECURSE ORV_UNIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp)
if(ORV_UNIT_SOURCES AND GTest_FOUND)
  add_executable(unit_tests ${ORV_UNIT_SOURCES})
  target_link_libraries(unit_tests PRIVATE ${ORV_TEST_TOOLS} ${ORV_TEST_LOGIC} GTest::gtest_main)
  target_compile_options(unit_tests PRIVATE ${ORV_WARNINGS} ${ORV_SAN_FLAGS})
  target_compile_definitions(unit_tests PRIVATE ORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # orvdrive's scenario parser (tests/e2e/win/orvdrive/), which needs no Win32.
  target_sources(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/e2e/win/orvdrive/scenario.cpp
                 ${CMAKE_SOURCE_DIR}/tests/e2e/win/orvdrive/scenario_test.cpp)
  gtest_discover_tests(unit_tests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
endif()

# Benchmarks: tests/bench/*.cpp, each its own program; not tests.
file(GLOB ORV_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/bench/*.cpp)
foreach(src ${ORV_BENCH_SOURCES})
  get_filename_component(base ${src} NAME_WE)
  add_executable(bench_${base} ${src})
  target_link_libraries(bench_${base} PRIVATE orv_tools_orv)
  target_compile_options(bench_${base} PRIVATE -O2)
endforeach()

# The Windows programs, cross-compiled in sub-builds of this same tree: win/ for 32-bit
# Windows (what ships) and win64/ for 64-bit Windows (the same sources, which the
# end-to-end tests run where the machine cannot execute 32-bit code).
include(ExternalProject)
set(ORV_WIN_DIR ${CMAKE_BINARY_DIR}/win)
set(ORV_WIN64_DIR ${CMAKE_BINARY_DIR}/win64)
foreach(arch i686 x86_64)
  if(arch STREQUAL "i686")
    set(target windows)
    set(dir ${ORV_WIN_DIR})
  else()
    set(target windows64)
    set(dir ${ORV_WIN64_DIR})
  endif()
  ExternalProject_Add(${target}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS
      -DORV_WINDOWS=ON
      -DCMAKE_BUILD_TYPE=MinSizeRel
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${arch}.cmake
      -DORV_HOST_TOOLS=${CMAKE_BINARY_DIR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON
    DEPENDS ${ORV_TOOL_TARGETS})
endforeach()

# orv for Windows (orv.exe), a sub-build with the mingw-w64 posix toolchain.
include(${CMAKE_SOURCE_DIR}/cmake/orv_windows.cmake)

# orv try: its script and the harness modules it runs on, beside the Windows build in the
# build tree (build/win/try/, where orv looks as it looks for the stub) and in the kit.
set(ORV_TRY_SOURCES)
set(ORV_TRY_COPIES)
foreach(name orv_try desktop run)
  list(APPEND ORV_TRY_SOURCES ${CMAKE_SOURCE_DIR}/tests/e2e/${name}.py)
  list(APPEND ORV_TRY_COPIES ${ORV_WIN_DIR}/try/${name}.py)
endforeach()
# The harness package (tests/e2e/harness/), one module per job, into try/harness/.
set(ORV_HARNESS_SOURCES)
foreach(name __init__ env templates registry snapshots drive prefix products case xvfb scenarios flows)
  list(APPEND ORV_HARNESS_SOURCES ${CMAKE_SOURCE_DIR}/tests/e2e/harness/${name}.py)
  list(APPEND ORV_TRY_COPIES ${ORV_WIN_DIR}/try/harness/${name}.py)
endforeach()
add_custom_command(OUTPUT ${ORV_TRY_COPIES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORV_WIN_DIR}/try/harness
  COMMAND ${CMAKE_COMMAND} -E copy ${ORV_TRY_SOURCES} ${ORV_WIN_DIR}/try/
  COMMAND ${CMAKE_COMMAND} -E copy ${ORV_HARNESS_SOURCES} ${ORV_WIN_DIR}/try/harness/
  DEPENDS ${ORV_TRY_SOURCES} ${ORV_HARNESS_SOURCES} COMMENT "orv try's scripts into ${ORV_WIN_DIR}/try")
add_custom_target(orv_try_scripts ALL DEPENDS ${ORV_TRY_COPIES})

# The documentation's checks against the code and orv, and the folders' include directions
# (label "unit").
include(${CMAKE_SOURCE_DIR}/tests/docs/docs.cmake)
include(${CMAKE_SOURCE_DIR}/tests/layout/layout.cmake)

# The fuzz harnesses with clang and their short sampled run (label "fuzz").
include(${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz.cmake)

# End-to-end tests under Wine (label "e2e").
include(${CMAKE_SOURCE_DIR}/tests/e2e/e2e.cmake)
include(${CMAKE_SOURCE_DIR}/tests/unit/szdd_crosscheck.cmake OPTIONAL)

# The publisher's kit: `cmake --install build --prefix DIR` gives DIR/bin/orv (and
# orv.exe, the same command for Windows, is installed by cmake/orv_windows.cmake),
# the 32-bit stub and uninstaller in DIR/share/orv/ (where orv looks for them by default),
# orv try's dialog driver and scripts in DIR/share/orv/ and DIR/share/orv/try/,
# the example product in DIR/share/orv/example/ and the documentation in DIR/share/doc/orv/.
install(TARGETS orv RUNTIME DESTINATION bin)
install(FILES ${ORV_WIN_DIR}/install_stub.exe ${ORV_WIN_DIR}/uninstall.exe DESTINATION share/orv)
# orv try: the dialog driver and the scripts (python3, Wine and Xvfb are needed only for it).
install(FILES ${ORV_WIN_DIR}/orvdrive.exe DESTINATION share/orv)
install(FILES ${ORV_TRY_SOURCES} DESTINATION share/orv/try)
install(FILES ${ORV_HARNESS_SOURCES} DESTINATION share/orv/try/harness)
# The example's product folder as the Windows sub-build made it (SCRIPT, LICENCE, ORDER and
# payload/ with its fixed file times, which the installed copies keep): orv build of it
# gives the build tree's install.exe, byte for byte.
install(DIRECTORY ${ORV_WIN_DIR}/example/product/ DESTINATION share/orv/example USE_SOURCE_PERMISSIONS)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/orv)
if(EXISTS ${CMAKE_SOURCE_DIR}/docs)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION share/doc/orv)
endif()

# The kit as a Debian package: cmake --build build --target deb.
include(${CMAKE_SOURCE_DIR}/cmake/package.cmake)
