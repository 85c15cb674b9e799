# Included by the host build: the fuzz harnesses built with clang in build/fuzz/ and run by
# ctest (label "fuzz"): each harness once over every kept regression input, then a short
# sampled run from its seeds (tests/fuzz/run.py).
set(ORV_FUZZ_DIR ${CMAKE_BINARY_DIR}/fuzz)
set(ORV_FUZZ_NAMES inspect_fuzz pe_image_fuzz resource_tree_fuzz script_check_fuzz szdd_count_fuzz)
find_program(ORV_CLANGXX NAMES clang++ clang++-14)
find_program(ORV_CLANG NAMES clang clang-14)
if(NOT ORV_CLANGXX OR NOT ORV_CLANG)
  message(WARNING "clang not found: no fuzz harnesses (scripts/setup-deps.sh installs clang and libFuzzer)")
  add_test(NAME fuzz.skipped COMMAND ${CMAKE_COMMAND} -E echo "fuzz: skipped, clang is not installed (scripts/setup-deps.sh installs it)")
  set_tests_properties(fuzz.skipped PROPERTIES LABELS fuzz)
  return()
endif()
ExternalProject_Add(fuzz
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz
  BINARY_DIR ${ORV_FUZZ_DIR}
  CMAKE_ARGS
    -DCMAKE_CXX_COMPILER=${ORV_CLANGXX}
    -DCMAKE_C_COMPILER=${ORV_CLANG}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD ON)
foreach(name ${ORV_FUZZ_NAMES})
  foreach(mode regress sample)
    add_test(NAME fuzz.${name}.${mode}
             COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/fuzz/run.py ${mode} ${ORV_FUZZ_DIR}/${name} ${CMAKE_SOURCE_DIR}/tests/fuzz)
    set_tests_properties(fuzz.${name}.${mode} PROPERTIES LABELS fuzz TIMEOUT 120)
  endforeach()
endforeach()
# The crafted inputs given to orv itself: each refused with exit 1 and its message.
add_test(NAME fuzz.crafted_inputs COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/fuzz/crafted.py check ${CMAKE_BINARY_DIR}/orv)
set_tests_properties(fuzz.crafted_inputs PROPERTIES LABELS "fuzz;unit")
