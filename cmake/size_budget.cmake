# Prints the sizes of the shipped programs and fails when a ceiling is passed.
# Ceilings, so that growth is a decision, not an accident (32-bit build): each is the size
# reached with the DLL-search defence, the manifest, the payload checksum (in the installer),
# the programs' own C functions, relocations and code apart from data, and the protected
# installation directory and the payload expanded in pieces, plus 512 bytes: the stub 40,960
# bytes, the uninstaller 9,728 bytes.
set(uninstall_ceiling 10240)
set(stub_ceiling 41472)
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
