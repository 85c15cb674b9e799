# Prints the sizes of the shipped programs and fails when a ceiling is passed.
# Ceilings, so that growth is a decision, not an accident (32-bit build): the installer
# stub's is 40 KB, the 37,888 bytes reached plus 2 KB and room for what start-up safety adds;
# the uninstaller's is 8 KB plus 2 KB, the same room beside the 7,680 bytes reached.
set(uninstall_ceiling 10240)
set(stub_ceiling 40960)
file(SIZE ${UNINSTALL} uninstall_size)
file(SIZE ${STUB} stub_size)
file(SIZE ${INSTALLER} installer_size)
message(STATUS "size: uninstall.exe ${uninstall_size} bytes (ceiling ${uninstall_ceiling})")
message(STATUS "size: install.exe (example product) ${installer_size} bytes")
message(STATUS "size: installer stub without FILES resources ${stub_size} bytes (ceiling ${stub_ceiling})")
if(uninstall_size GREATER uninstall_ceiling)
  message(FATAL_ERROR "uninstall.exe is ${uninstall_size} bytes, over its ceiling of ${uninstall_ceiling}")
endif()
if(stub_size GREATER stub_ceiling)
  message(FATAL_ERROR "the installer stub is ${stub_size} bytes, over its ceiling of ${stub_ceiling}")
endif()
