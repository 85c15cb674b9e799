# The SZDD codec checked against Debian's mscompress/msexpand in both directions (label unit;
# skipped when the tools are not installed). Inputs beyond the generated ones: a few real
# files of this machine, where present.
add_executable(szdd_crosscheck ${CMAKE_SOURCE_DIR}/tests/unit/crosscheck/szdd_crosscheck.cpp)
target_link_libraries(szdd_crosscheck PRIVATE orv_tools_orv)
target_compile_options(szdd_crosscheck PRIVATE ${ORV_WARNINGS} -O2)
file(GLOB ORV_CROSSCHECK_INPUTS
  /usr/lib/gcc/i686-w64-mingw32/*-posix/libssp-0.dll
  /usr/share/common-licenses/GPL-3
  ${CMAKE_SOURCE_DIR}/resources/example/payload/*.html)
add_test(NAME szdd_crosscheck COMMAND szdd_crosscheck ${ORV_CROSSCHECK_INPUTS})
set_tests_properties(szdd_crosscheck PROPERTIES LABELS unit SKIP_RETURN_CODE 77 TIMEOUT 300)
