# The publisher's tools, one static library per folder of tools/, so that the includes and
# the links point one way:
#   orv          -> payload, script_check, pe, szdd, host
#   script_check -> payload; the installer's own rules (install/logic/, install/results.h),
#                   since it judges a script as the installer will read it
#   payload      -> pe, szdd, host, the formats (common/format/)
#   pe, szdd     -> the formats (common/format/) only
#   host         -> the C and C++ libraries: the only code that knows the platform
# Included by the host build (cmake/host.cmake), the Windows build of orv
# (cmake/orv_windows.cmake) and the fuzz build (tests/fuzz/CMakeLists.txt); each calls
# orv_tool_libraries() with its own prefix, pure-logic library and compile options.
set(ORV_TOOLS_DIR ${CMAKE_CURRENT_LIST_DIR})

# orv_tool_sources(FOLDER NAME...): ORV_TOOLS_<FOLDER>_SOURCES, the files
# tools/FOLDER/NAME.cpp, in the order given.
macro(orv_tool_sources folder)
  string(TOUPPER ${folder} _upper)
  set(ORV_TOOLS_${_upper}_SOURCES ${ARGN})
  list(TRANSFORM ORV_TOOLS_${_upper}_SOURCES REPLACE "(.+)" "${ORV_TOOLS_DIR}/${folder}/\\1.cpp")
endmacro()

orv_tool_sources(host files kit mapped_file process)
orv_tool_sources(pe pe_image resource_reader resource_writer version_info)
orv_tool_sources(szdd compress compress_stream count)
orv_tool_sources(payload data file_time limits names plan walk)
orv_tool_sources(script_check diagnostics header items lists reader script_check text_1252)
# The verbs of orv but its main(): the tests and the fuzz harnesses call them too.
orv_tool_sources(orv build check image_stream inspect options pack product resources sign try
                 version)
set(ORV_TOOLS_MAIN ${ORV_TOOLS_DIR}/orv/main.cpp)

# orv_tool_libraries(PREFIX FORMAT LOGIC KIT_VERSION [compile options...]) makes PREFIX_host,
# PREFIX_pe, PREFIX_szdd, PREFIX_payload, PREFIX_script_check and PREFIX_orv, over the
# formats' library FORMAT (common/format/) and the pure-logic library LOGIC, which holds
# FORMAT and the installer's rules; KIT_VERSION is what orv --version says. Each library
# links only what its folder may include, so that a call pointing the wrong way does not link.
function(orv_tool_libraries prefix format logic version)
  foreach(part host pe szdd payload script_check orv)
    string(TOUPPER ${part} upper)
    add_library(${prefix}_${part} STATIC ${ORV_TOOLS_${upper}_SOURCES})
    target_compile_options(${prefix}_${part} PRIVATE ${ARGN})
  endforeach()
  # host uses nothing of FORMAT; it links it for the source root's include path and the
  # build's compile options, which FORMAT carries.
  target_link_libraries(${prefix}_host PUBLIC ${format})
  target_link_libraries(${prefix}_pe PUBLIC ${format})
  target_link_libraries(${prefix}_szdd PUBLIC ${format})
  target_link_libraries(${prefix}_payload PUBLIC ${prefix}_pe ${prefix}_szdd ${prefix}_host ${format})
  target_link_libraries(${prefix}_script_check PUBLIC ${prefix}_payload ${logic})
  target_link_libraries(${prefix}_orv PUBLIC ${prefix}_payload ${prefix}_script_check ${prefix}_pe ${prefix}_szdd
                        ${prefix}_host ${logic})
  target_compile_definitions(${prefix}_orv PRIVATE ORV_KIT_VERSION="${version}")
endfunction()
