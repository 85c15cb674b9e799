# The example product, Lumivane: its program, its product folder (SCRIPT, LICENCE, payload/,
# ORDER) and its installer, install.exe, made by `orv build`.
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

# The product folder: the built program and the documents. Their modification times are set
# to a fixed moment so that the time-form entries of the file list do not depend on when the
# tree was checked out. example/packed/ gets the FILELIST and DATA on their own, for the
# tests that compare them with what was installed.
set(ORV_EXAMPLE_PRODUCT ${ORV_EXAMPLE_DIR}/product)
set(ORV_PRODUCT_STAMP ${ORV_EXAMPLE_DIR}/product.stamp)
add_custom_command(OUTPUT ${ORV_PRODUCT_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ORV_EXAMPLE_DIR}/payload ${ORV_EXAMPLE_PRODUCT} ${ORV_EXAMPLE_DIR}/packed
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORV_EXAMPLE_PRODUCT} ${ORV_EXAMPLE_DIR}/packed
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${ORV_EXAMPLE_SRC}/payload ${ORV_EXAMPLE_PRODUCT}/payload
  COMMAND ${CMAKE_COMMAND} -E copy ${ORV_LUMIVANE} ${ORV_EXAMPLE_PRODUCT}/payload/Lumivane.exe
  COMMAND find ${ORV_EXAMPLE_PRODUCT}/payload -exec touch -h -d "1999-04-24 08:02:32 UTC" {} +
  COMMAND ${CMAKE_COMMAND} -E copy ${ORV_EXAMPLE_SRC}/SCRIPT ${ORV_EXAMPLE_SRC}/LICENCE ${ORV_EXAMPLE_PRODUCT}/
  COMMAND ${CMAKE_COMMAND} -E copy ${ORV_EXAMPLE_SRC}/payload.order ${ORV_EXAMPLE_PRODUCT}/ORDER
  COMMAND ${ORV_TOOL} pack --order ${ORV_EXAMPLE_SRC}/payload.order ${ORV_EXAMPLE_PRODUCT}/payload
          ${ORV_EXAMPLE_DIR}/packed
  COMMAND ${CMAKE_COMMAND} -E touch ${ORV_PRODUCT_STAMP}
  DEPENDS ${ORV_EXAMPLE_DOCS} ${ORV_LUMIVANE_DEP} ${ORV_EXAMPLE_SRC}/payload.order ${ORV_EXAMPLE_SRC}/SCRIPT
          ${ORV_EXAMPLE_SRC}/LICENCE ${ORV_TOOL}
  VERBATIM)

add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/install.exe
  COMMAND ${ORV_TOOL} build ${ORV_EXAMPLE_PRODUCT} -o ${CMAKE_BINARY_DIR}/install.exe -q
          --stub $<TARGET_FILE:install_stub> --uninstaller $<TARGET_FILE:uninstall>
  DEPENDS ${ORV_PRODUCT_STAMP} install_stub uninstall ${ORV_TOOL}
  VERBATIM)
add_custom_target(example_installer ALL DEPENDS ${CMAKE_BINARY_DIR}/install.exe)
