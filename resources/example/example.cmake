# The example product, Lumivane: its program, its payload directory, its file list and
# payload stream (made by orv-pack), and its installer, install.exe.
set(ORV_EXAMPLE_DIR ${CMAKE_BINARY_DIR}/example)
set(ORV_EXAMPLE_SRC ${CMAKE_SOURCE_DIR}/resources/example)

if(EXISTS ${ORV_EXAMPLE_SRC}/lumivane/lumivane.cpp)
  add_executable(lumivane ${ORV_EXAMPLE_SRC}/lumivane/lumivane.cpp ${ORV_EXAMPLE_SRC}/lumivane/lumivane.rc)
  orv_win_target(lumivane)
  set_target_properties(lumivane PROPERTIES OUTPUT_NAME Lumivane)
  target_link_libraries(lumivane PRIVATE gdi32 user32 kernel32)
  set(ORV_LUMIVANE $<TARGET_FILE:lumivane>)
  set(ORV_LUMIVANE_DEP lumivane)
endif()

file(GLOB_RECURSE ORV_EXAMPLE_DOCS CONFIGURE_DEPENDS ${ORV_EXAMPLE_SRC}/payload/*)
set(ORV_PACK ${ORV_HOST_TOOLS}/orv-pack)

# The payload directory: the built program and the documents. Their modification times are
# set to a fixed moment so that the time-form entries of the file list do not depend on
# when the tree was checked out.
set(ORV_PACK_STAMP ${ORV_EXAMPLE_DIR}/packed.stamp)
add_custom_command(OUTPUT ${ORV_PACK_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ORV_EXAMPLE_DIR}/payload ${ORV_EXAMPLE_DIR}/product
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORV_EXAMPLE_DIR}/product
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${ORV_EXAMPLE_SRC}/payload ${ORV_EXAMPLE_DIR}/payload
  COMMAND ${CMAKE_COMMAND} -E copy ${ORV_LUMIVANE} ${ORV_EXAMPLE_DIR}/payload/Lumivane.exe
  COMMAND find ${ORV_EXAMPLE_DIR}/payload -exec touch -h -d "1999-04-24 08:02:32 UTC" {} +
  COMMAND ${ORV_PACK} --order ${ORV_EXAMPLE_SRC}/payload.order ${ORV_EXAMPLE_DIR}/payload ${ORV_EXAMPLE_DIR}/product
  COMMAND ${CMAKE_COMMAND} -E copy ${ORV_EXAMPLE_SRC}/SCRIPT ${ORV_EXAMPLE_SRC}/LICENCE ${ORV_EXAMPLE_DIR}/product/
  # CHECKSUM: eight upper-case hexadecimal digits of the CRC-32 of FILELIST then DATA.
  COMMAND python3 -c "import sys,zlib;d=sys.argv[1];b=open(d+'/FILELIST','rb').read()+open(d+'/DATA','rb').read();open(d+'/CHECKSUM','w').write('%08X'%zlib.crc32(b))" ${ORV_EXAMPLE_DIR}/product
  COMMAND ${CMAKE_COMMAND} -E touch ${ORV_PACK_STAMP}
  DEPENDS ${ORV_EXAMPLE_DOCS} ${ORV_LUMIVANE_DEP} ${ORV_EXAMPLE_SRC}/payload.order ${ORV_EXAMPLE_SRC}/SCRIPT
          ${ORV_EXAMPLE_SRC}/LICENCE ${ORV_PACK}
  VERBATIM)

add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/install.exe
  COMMAND ${ORV_MAKE_INSTALLER} --product ${ORV_EXAMPLE_DIR}/product --resource CHECKSUM=${ORV_EXAMPLE_DIR}/product/CHECKSUM
          --out ${CMAKE_BINARY_DIR}/install.exe
  DEPENDS ${ORV_PACK_STAMP} orv_install install_res uninstall ${CMAKE_SOURCE_DIR}/tools/orv-make-installer
  VERBATIM)
add_custom_target(example_installer ALL DEPENDS ${CMAKE_BINARY_DIR}/install.exe)
