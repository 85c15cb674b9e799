# Windows build (cross-compiled with mingw-w64, i686): install, uninstall, the example
# product's installer, and the test-only Windows programs of the end-to-end tests.
enable_language(RC)

# What differs between the 32-bit build (what ships) and the 64-bit one (the same sources,
# for the end-to-end tests where the machine cannot run 32-bit code), all here:
# - the entry point's symbol as the linker sees it: 32-bit names carry the stdcall decoration;
# - 32-bit only: the stack at the platform's 4-byte alignment, the 80386 instruction set, the
#   linker script (code apart from data, no .eh_frame), the layout check and the size budget
#   (ORV_WIN_SHIPPED). Why each flag is there: below, at ORV_SHIPPED_CFLAGS.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ORV_WIN_ENTRY "_InstallStart@0")
  set(ORV_UNINSTALL_ENTRY "_UninstallStart@0")
  set(ORV_WIN_SHIPPED ON)
  set(ORV_ARCH_CFLAGS -mpreferred-stack-boundary=2 -march=i386)
  set(ORV_ARCH_LDFLAGS -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/shipped.ld)
else()
  set(ORV_WIN_ENTRY "InstallStart")
  set(ORV_UNINSTALL_ENTRY "UninstallStart")
  set(ORV_WIN_SHIPPED OFF)
  set(ORV_ARCH_CFLAGS)
  set(ORV_ARCH_LDFLAGS)
endif()

set(ORV_WIN_CFLAGS -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-threadsafe-statics -ffunction-sections -fdata-sections -Wall -Wno-unused-parameter)
set(ORV_WIN_LDFLAGS -static -static-libgcc -static-libstdc++ -s -mwindows
    -Wl,--gc-sections -Wl,--no-insert-timestamp)
# Load-time imports only of DLLs that the platform always takes from its system directory;
# version.dll is loaded at run time by its full path (common/win/version_dll.cpp).
set(ORV_WIN_LIBS ole32 uuid shell32 advapi32 gdi32 user32 kernel32)
# The two shipped programs, for size (measured section by section with objdump -h and the
# linker's map):
# - no C runtime, start-up or DLL: each has its own entry point (install's runs the global
#   constructors itself), nothing else of the runtime's initialisation is needed, and the few
#   C functions are the programs' own (common/win/runtime.cpp);
# - base relocations kept and DYNAMIC_BASE set, so that today's systems load the programs at
#   a random base (the Windows 95 family ignores both for an .exe);
# - no unwind tables (no exceptions), no compiler identification strings;
# - zero-initialised data in .bss: with -fdata-sections mingw puts it into .data sections,
#   which take room in the file;
# - sqrt as the processor's instruction (no errno: nothing reads it), which spares the
#   library's sqrt and its error handling;
# - 32-bit: the stack kept at the platform's own 4-byte alignment (no realignment code) and no
#   frame pointer.
# - -Oz; each program one translation unit compiled with -fwhole-program
#   (cmake/single_unit.cmake), where inlining a function into its one caller is left out
#   (-fno-inline-functions-called-once: smaller here) and so are sibling calls (smaller too);
#   no section per function: the compiler already drops what nothing calls, and the separate
#   sections only add padding;
# - 32-bit: code for the 80386 instruction set, which the Windows 95 family runs on (the
#   compiler's default, the Pentium Pro, brings conditional moves that a Pentium or a 486
#   does not have); code apart from data and imports, so that no section is both writable and
#   executable, and no .eh_frame (cmake/shipped.ld).
set(ORV_SHIPPED_CFLAGS -fno-unwind-tables -fno-asynchronous-unwind-tables -fno-ident -fno-data-sections
    -fno-function-sections -fno-math-errno -fomit-frame-pointer -Oz -fwhole-program
    -fno-inline-functions-called-once -fno-optimize-sibling-calls ${ORV_ARCH_CFLAGS})
# Without the start-up nothing would apply the run-time fix-ups that importing a DLL's data
# needs: --disable-auto-import makes any such import a link error.
# No default library either: the few C library functions are the programs' own
# (common/win/runtime.cpp), so no C runtime DLL is imported, and a call of any other is a link
# error; libgcc stays for the compiler's own helpers.
set(ORV_SHIPPED_LDFLAGS -nostartfiles -nodefaultlibs -Wl,--disable-auto-import -Wl,--dynamicbase
    -Wl,--nxcompat -Wl,--enable-reloc-section ${ORV_ARCH_LDFLAGS})
set(ORV_SHIPPED_LIBS gcc)
set(CMAKE_C_FLAGS_MINSIZEREL "")
set(CMAKE_CXX_FLAGS_MINSIZEREL "")

# The shipped programs' sources, listed (a new file joins a program's one unit only when it
# is named here). The order is the order of the unit, which decides the programs' layout.
include(${CMAKE_SOURCE_DIR}/cmake/shipped_sources.cmake)

# After each link of a shipped 32-bit program: the resources made read-only (the linker keeps
# the resource compiler's writable flag), then the layout checked (cmake/pe_layout.py); a
# program that breaks a rule fails the build.
find_program(ORV_PYTHON3 python3 REQUIRED)
function(orv_pe_layout target)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/shipped.ld
               ${CMAKE_SOURCE_DIR}/cmake/pe_layout.py)
  if(ORV_WIN_SHIPPED)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${ORV_PYTHON3} ${CMAKE_SOURCE_DIR}/cmake/pe_layout.py --seal $<TARGET_FILE:${target}> VERBATIM)
  endif()
endfunction()

function(orv_win_target target)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${ORV_WIN_CFLAGS}>)
  target_link_options(${target} PRIVATE ${ORV_WIN_LDFLAGS})
endfunction()

# orv_shipped_program(<name> <unit .cpp> <entry symbol> <other sources...>): the program
# <name> and its fault-injection twin <name>_ft (for tests only), from one generated unit.
function(orv_shipped_program name unit entry)
  foreach(variant "" "_ft")
    add_executable(${name}${variant} ${unit} ${ARGN})
    orv_win_target(${name}${variant})
    target_compile_options(${name}${variant} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${ORV_SHIPPED_CFLAGS}>)
    target_link_libraries(${name}${variant} PRIVATE ${ORV_WIN_LIBS} ${ORV_SHIPPED_LIBS})
    # No C runtime start-up: it would double the program's size (uninstall/main.cpp).
    target_link_options(${name}${variant} PRIVATE ${ORV_SHIPPED_LDFLAGS} -Wl,--entry,${entry})
    if(variant STREQUAL "_ft")
      target_compile_definitions(${name}${variant} PRIVATE ORV_FAULT_INJECTION)
    endif()
    orv_pe_layout(${name}${variant})
  endforeach()
endfunction()

include(${CMAKE_SOURCE_DIR}/cmake/single_unit.cmake)

# --- uninstall -------------------------------------------------------------------------
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/uninstall.rc PROPERTIES
                            OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/resources/uninstall.manifest)
set(ORV_UNINSTALL_UNIT ${CMAKE_BINARY_DIR}/uninstall_unit.cpp)
orv_single_unit(${ORV_UNINSTALL_UNIT} UninstallStart ${ORV_UNINSTALL_SOURCES})
orv_shipped_program(uninstall ${ORV_UNINSTALL_UNIT} ${ORV_UNINSTALL_ENTRY} ${CMAKE_SOURCE_DIR}/resources/uninstall.rc)

# --- install: the generic program, linked with the common resources into the stub: an
# installer without FILES resources. `orv build` writes a product into a copy of it.
set(ORV_INSTALL_UNIT ${CMAKE_BINARY_DIR}/install_unit.cpp)
orv_single_unit(${ORV_INSTALL_UNIT} InstallStart ${ORV_INSTALL_SOURCES})

# The resources every installer carries: dialogs 103, 104, 106, 107, icon 105, version.
set(ORV_INSTALL_RES ${CMAKE_BINARY_DIR}/install_res.o)
file(GLOB ORV_RES_DEPS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.rc ${CMAKE_SOURCE_DIR}/resources/*.h
     ${CMAKE_SOURCE_DIR}/resources/*.ico ${CMAKE_SOURCE_DIR}/resources/*.manifest)
add_custom_command(OUTPUT ${ORV_INSTALL_RES}
  COMMAND ${CMAKE_RC_COMPILER} -I${CMAKE_SOURCE_DIR}/resources -O coff
          -i ${CMAKE_SOURCE_DIR}/resources/install.rc -o ${ORV_INSTALL_RES}
  DEPENDS ${ORV_RES_DEPS} VERBATIM)
set_source_files_properties(${ORV_INSTALL_RES} PROPERTIES EXTERNAL_OBJECT ON GENERATED ON)

# install_stub.exe ships; install_stub_ft.exe is for tests only.
orv_shipped_program(install_stub ${ORV_INSTALL_UNIT} ${ORV_WIN_ENTRY} ${ORV_INSTALL_RES})

# The publisher's command of the host build.
set(ORV_TOOL ${ORV_HOST_TOOLS}/orv)

# --- the example product ---------------------------------------------------------------
include(${CMAKE_SOURCE_DIR}/resources/example/example.cmake)

# --- size budget (of what ships: the 32-bit programs) --------------------------------------
if(ORV_WIN_SHIPPED)
add_custom_target(size_budget ALL
  COMMAND ${CMAKE_COMMAND} -DUNINSTALL=$<TARGET_FILE:uninstall> -DSTUB=$<TARGET_FILE:install_stub>
          -DINSTALLER=${CMAKE_BINARY_DIR}/install.exe -P ${CMAKE_SOURCE_DIR}/cmake/size_budget.cmake
  DEPENDS uninstall install_stub example_installer VERBATIM)
endif()

# --- test-only Windows programs ----------------------------------------------------------
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/win/win.cmake)
  include(${CMAKE_SOURCE_DIR}/tests/e2e/win/win.cmake)
endif()
