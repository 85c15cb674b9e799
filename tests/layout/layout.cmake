# The folders' include directions (docs/design.md), checked on every source file: an include
# that points up, a platform header or file I/O in pure logic or a _WIN32 test outside
# tools/host fails.
find_program(ORV_LAYOUT_PYTHON3 python3 REQUIRED)
add_test(NAME layout.includes
  COMMAND ${ORV_LAYOUT_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/layout/check_layout.py ${CMAKE_SOURCE_DIR})
add_test(NAME layout.includes_self_test
  COMMAND ${ORV_LAYOUT_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/layout/check_layout.py --self-test ${CMAKE_SOURCE_DIR})
set_tests_properties(layout.includes layout.includes_self_test PROPERTIES LABELS unit)
