# The publisher's kit as a Debian package: `cmake --build build --target deb` writes
# build/orv_VERSION_ARCH.deb (packaging/make-deb.sh: the kit installed under /usr, orv.exe
# left out, the manual page made from orv's help texts).
set(ORV_DEB_DEPENDS orv windows)
if(TARGET orv_windows)
  list(APPEND ORV_DEB_DEPENDS orv_windows)
endif()
add_custom_target(deb
  COMMAND ${CMAKE_SOURCE_DIR}/packaging/make-deb.sh ${CMAKE_BINARY_DIR}
  USES_TERMINAL
  VERBATIM)
add_dependencies(deb ${ORV_DEB_DEPENDS})
