# The publisher's command `orv` built for 64-bit Windows (orv.exe): a host tool, so the full
# C++17 library, linked statically (no DLLs beside it). Two halves:
# - in the host build: a sub-build of this tree in orvwin/ with the mingw-w64 posix
#   toolchain; its orv.exe is copied to the build directory's top (beside win/, where it
#   finds the stub and uninstaller as the Linux orv does) and installed as bin/orv.exe,
#   which finds them in ../share/orv/;
# - in that sub-build (ORV_WINDOWS_ORV): orv.exe from the pure logic and tools/.
if(ORV_WINDOWS_ORV)
  set(ORV_WARNINGS -Wall -Wextra -Wno-unused-parameter)
  add_library(orv_format STATIC ${ORV_FORMAT_SOURCES})
  target_include_directories(orv_format PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(orv_format PRIVATE ${ORV_WARNINGS} -O2)
  add_library(orv_logic STATIC ${ORV_LOGIC_SOURCES})
  target_link_libraries(orv_logic PUBLIC orv_format)
  target_compile_options(orv_logic PRIVATE ${ORV_WARNINGS} -O2)
  include(${CMAKE_SOURCE_DIR}/tools/tools.cmake)
  orv_tool_libraries(orv_tools orv_format orv_logic "${PROJECT_VERSION}" ${ORV_WARNINGS} -O2)
  add_executable(orv ${ORV_TOOLS_MAIN})
  target_link_libraries(orv PRIVATE orv_tools_orv)
  target_compile_options(orv PRIVATE ${ORV_WARNINGS} -O2)
  target_link_options(orv PRIVATE -static -s -Wl,--no-insert-timestamp)
  return()
endif()

set(ORV_WINORV_DIR ${CMAKE_BINARY_DIR}/orvwin)
find_program(ORV_MINGW64_POSIX_CXX x86_64-w64-mingw32-g++-posix)
if(NOT ORV_MINGW64_POSIX_CXX)
  message(WARNING "x86_64-w64-mingw32-g++-posix not found: no orv.exe (scripts/setup-deps.sh installs it)")
  return()
endif()
ExternalProject_Add(orv_windows
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${ORV_WINORV_DIR}
  CMAKE_ARGS
    -DORV_WINDOWS_ORV=ON
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64-posix.cmake
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ORV_WINORV_DIR}/orv.exe ${CMAKE_BINARY_DIR}/orv.exe
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD ON)
install(PROGRAMS ${CMAKE_BINARY_DIR}/orv.exe DESTINATION bin)
