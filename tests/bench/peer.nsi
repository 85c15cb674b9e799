; The comparison installer of the benchmark: makensis (Debian's nsis) building an installer of
; the same payload folder that ours carries, doing the same work: the files into a folder
; under Program Files, one shortcut in a program folder of the Start menu's Programs folder,
; an uninstaller and an Add/Remove Programs entry. Used by scripts/bench.sh (size and build
; time) and scripts/bench-install.py (installation time, run with /S).
;
;   makensis -V1 -DPAYLOAD=DIR -DOUTFILE=FILE -DFIRST=NAME [-DLZMA] tests/bench/peer.nsi
;
; PAYLOAD: the payload folder (host path); FIRST: the payload file that the shortcut points
; at (a name relative to PAYLOAD, with backslashes); LZMA: solid LZMA instead of zlib.
Unicode true
!ifdef LZMA
SetCompressor /SOLID lzma
!else
SetCompressor zlib
!endif
!ifndef APP
!define APP "Lumivane"
!endif
Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Orv\${APP}"
RequestExecutionLevel admin
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Section
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}/*"
  WriteUninstaller "$INSTDIR\Uninst.exe"
  CreateDirectory "$SMPROGRAMS\${APP}"
  CreateShortCut "$SMPROGRAMS\${APP}\First file.lnk" "$INSTDIR\${FIRST}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninst.exe"'
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${APP}\First file.lnk"
  RMDir "$SMPROGRAMS\${APP}"
  RMDir /r "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
