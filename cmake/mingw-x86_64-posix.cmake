# Cross-compiling the publisher's command for 64-bit Windows: Debian's mingw-w64 with the
# posix thread model (std::thread for the packer's parallel compression).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
