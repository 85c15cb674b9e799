# Docs that cannot drift: docs/messages.md against the code's result numbers and texts, and
# `orv check` on every script in docs/ marked as a complete product (this one needs the
# built orv and the Windows build's test driver, and fails without them).
find_program(ORV_DOCS_PYTHON3 python3 REQUIRED)
add_test(NAME docs.messages
  COMMAND ${ORV_DOCS_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/docs/check_messages.py ${CMAKE_SOURCE_DIR})
add_test(NAME docs.messages_self_test
  COMMAND ${ORV_DOCS_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/docs/check_messages.py --self-test ${CMAKE_SOURCE_DIR})
add_test(NAME docs.scripts
  COMMAND ${ORV_DOCS_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/docs/check_scripts.py
          --orv ${CMAKE_BINARY_DIR}/orv --build ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/docs)
add_test(NAME docs.scripts_self_test
  COMMAND ${ORV_DOCS_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/docs/check_scripts.py --self-test)
set_tests_properties(docs.messages docs.messages_self_test docs.scripts docs.scripts_self_test PROPERTIES LABELS unit)
