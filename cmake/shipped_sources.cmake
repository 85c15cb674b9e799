# The sources of the two shipped programs, each in the order of its one translation unit
# (cmake/single_unit.cmake). Listed rather than globbed: a new file joins a shipped program
# only when it is named here.

# What both programs carry, last in each unit: the shared formats and rules, the platform
# wrappers and the C functions.
set(ORV_SHARED_PROGRAM_SOURCES
  ${CMAKE_SOURCE_DIR}/common/format/crc32.cpp
  ${CMAKE_SOURCE_DIR}/common/file_security.cpp
  ${CMAKE_SOURCE_DIR}/common/format/uninstall_script.cpp
  ${CMAKE_SOURCE_DIR}/common/win/dll_guard.cpp
  ${CMAKE_SOURCE_DIR}/common/win/fault.cpp
  ${CMAKE_SOURCE_DIR}/common/win/runtime.cpp
  ${CMAKE_SOURCE_DIR}/common/win/security.cpp
  ${CMAKE_SOURCE_DIR}/common/win/service.cpp
  ${CMAKE_SOURCE_DIR}/common/win/version_dll.cpp)

set(ORV_INSTALL_SOURCES
  ${CMAKE_SOURCE_DIR}/install/background.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/checks.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/completion.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/deploy.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/drivers.cpp
  ${CMAKE_SOURCE_DIR}/install/file_version.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/files.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/licence_dir.cpp
  ${CMAKE_SOURCE_DIR}/install/main.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/payload.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/payload_check.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/program_folder.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/register.cpp
  ${CMAKE_SOURCE_DIR}/install/report.cpp
  ${CMAKE_SOURCE_DIR}/install/script.cpp
  ${CMAKE_SOURCE_DIR}/install/sequence.cpp
  ${CMAKE_SOURCE_DIR}/install/steps/uninstall_script.cpp
  ${CMAKE_SOURCE_DIR}/install/window.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/carry_over.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/completion_option.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/dir_list.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/driver_entry.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/figure.cpp
  ${CMAKE_SOURCE_DIR}/common/format/file_list.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/folder_paths.cpp
  ${CMAKE_SOURCE_DIR}/common/format/install_script.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/messages.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/name_list.cpp
  ${CMAKE_SOURCE_DIR}/common/format/payload_checksum.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/platform.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/registration.cpp
  ${CMAKE_SOURCE_DIR}/install/logic/removal_order.cpp
  ${CMAKE_SOURCE_DIR}/common/format/szdd.cpp
  ${CMAKE_SOURCE_DIR}/common/format/szdd_stream.cpp
  ${CMAKE_SOURCE_DIR}/common/format/version.cpp
  ${ORV_SHARED_PROGRAM_SOURCES})

set(ORV_UNINSTALL_SOURCES
  ${CMAKE_SOURCE_DIR}/uninstall/main.cpp
  ${CMAKE_SOURCE_DIR}/uninstall/removal.cpp
  ${CMAKE_SOURCE_DIR}/uninstall/logic/command_tail.cpp
  ${CMAKE_SOURCE_DIR}/uninstall/logic/error_text.cpp
  ${CMAKE_SOURCE_DIR}/uninstall/logic/line_rules.cpp
  ${CMAKE_SOURCE_DIR}/uninstall/logic/registry_roots.cpp
  ${CMAKE_SOURCE_DIR}/uninstall/logic/uninstall_texts.cpp
  ${ORV_SHARED_PROGRAM_SOURCES})
