# End-to-end tests under Wine (label "e2e"): every function test_<what> of a file
# tests/e2e/cases/test_<area>.py is the CTest test e2e.<area>.<what>. The fixture "e2e" starts
# Xvfb on a free display and makes the template prefix once per run (e2e.setup) and stops
# Xvfb and the wineservers at the end (e2e.cleanup). harness/__init__.py is the user guide.
find_program(ORV_PYTHON3 python3 REQUIRED)
set(ORV_E2E_RUN ${CMAKE_SOURCE_DIR}/tests/e2e/run.py)
set(ORV_E2E_ENV ORV_BUILD_DIR=${CMAKE_BINARY_DIR} ORV_SOURCE_DIR=${CMAKE_SOURCE_DIR} PYTHONDONTWRITEBYTECODE=1)

add_test(NAME e2e.setup COMMAND ${ORV_PYTHON3} ${ORV_E2E_RUN} --setup)
set_tests_properties(e2e.setup PROPERTIES FIXTURES_SETUP e2e LABELS e2e TIMEOUT 3600
                     ENVIRONMENT "${ORV_E2E_ENV}")
add_test(NAME e2e.cleanup COMMAND ${ORV_PYTHON3} ${ORV_E2E_RUN} --cleanup)
set_tests_properties(e2e.cleanup PROPERTIES FIXTURES_CLEANUP e2e LABELS e2e TIMEOUT 600
                     ENVIRONMENT "${ORV_E2E_ENV}")

file(GLOB ORV_E2E_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/cases/test_*.py)
foreach(file ${ORV_E2E_FILES})
  # The test functions are read from the source: a changed file configures again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  get_filename_component(area ${file} NAME_WE)
  string(REGEX REPLACE "^test_" "" area ${area})
  execute_process(COMMAND ${ORV_PYTHON3} ${ORV_E2E_RUN} --list ${file}
                  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot list the tests of ${file}")
  endif()
  string(REPLACE "\n" ";" lines "${listing}")
  foreach(line ${lines})
    if(line STREQUAL "")
      continue()
    endif()
    separate_arguments(parts UNIX_COMMAND "${line}")
    list(GET parts 0 func)
    list(GET parts 1 seconds)
    string(REGEX REPLACE "^test_" "" what ${func})
    add_test(NAME e2e.${area}.${what} COMMAND ${ORV_PYTHON3} ${ORV_E2E_RUN} ${file} ${func})
    set_tests_properties(e2e.${area}.${what} PROPERTIES FIXTURES_REQUIRED e2e LABELS e2e
                         TIMEOUT ${seconds} SKIP_RETURN_CODE 77 ENVIRONMENT "${ORV_E2E_ENV}")
  endforeach()
endforeach()
