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

set(ORV_TOOLS_HOST_SOURCES
  ${ORV_TOOLS_DIR}/host/files.cpp
  ${ORV_TOOLS_DIR}/host/kit.cpp
  ${ORV_TOOLS_DIR}/host/mapped_file.cpp
  ${ORV_TOOLS_DIR}/host/process.cpp)
set(ORV_TOOLS_PE_SOURCES
  ${ORV_TOOLS_DIR}/pe/pe_image.cpp
  ${ORV_TOOLS_DIR}/pe/resource_reader.cpp
  ${ORV_TOOLS_DIR}/pe/resource_writer.cpp
  ${ORV_TOOLS_DIR}/pe/version_info.cpp)
set(ORV_TOOLS_SZDD_SOURCES
  ${ORV_TOOLS_DIR}/szdd/compress.cpp
  ${ORV_TOOLS_DIR}/szdd/compress_stream.cpp
  ${ORV_TOOLS_DIR}/szdd/count.cpp)
set(ORV_TOOLS_PAYLOAD_SOURCES
  ${ORV_TOOLS_DIR}/payload/data.cpp
  ${ORV_TOOLS_DIR}/payload/file_time.cpp
  ${ORV_TOOLS_DIR}/payload/limits.cpp
  ${ORV_TOOLS_DIR}/payload/names.cpp
  ${ORV_TOOLS_DIR}/payload/plan.cpp
  ${ORV_TOOLS_DIR}/payload/walk.cpp)
set(ORV_TOOLS_SCRIPT_CHECK_SOURCES
  ${ORV_TOOLS_DIR}/script_check/diagnostics.cpp
  ${ORV_TOOLS_DIR}/script_check/header.cpp
  ${ORV_TOOLS_DIR}/script_check/items.cpp
  ${ORV_TOOLS_DIR}/script_check/lists.cpp
  ${ORV_TOOLS_DIR}/script_check/reader.cpp
  ${ORV_TOOLS_DIR}/script_check/script_check.cpp
  ${ORV_TOOLS_DIR}/script_check/text_1252.cpp)
# The verbs of orv but its main(): the tests and the fuzz harnesses call them too.
set(ORV_TOOLS_ORV_SOURCES
  ${ORV_TOOLS_DIR}/orv/build.cpp
  ${ORV_TOOLS_DIR}/orv/check.cpp
  ${ORV_TOOLS_DIR}/orv/image_stream.cpp
  ${ORV_TOOLS_DIR}/orv/inspect.cpp
  ${ORV_TOOLS_DIR}/orv/options.cpp
  ${ORV_TOOLS_DIR}/orv/pack.cpp
  ${ORV_TOOLS_DIR}/orv/product.cpp
  ${ORV_TOOLS_DIR}/orv/resources.cpp
  ${ORV_TOOLS_DIR}/orv/sign.cpp
  ${ORV_TOOLS_DIR}/orv/try.cpp
  ${ORV_TOOLS_DIR}/orv/version.cpp)
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
