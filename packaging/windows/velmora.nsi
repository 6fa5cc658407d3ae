; The Windows installer: Velmora-<version>-setup.exe, made on Debian with
; makensis from the staged installation (scripts/windows-installer.sh).
;   makensis -DVERSION=1.3.0 -DSTAGE=<stage> -DOUTFILE=<setup.exe> velmora.nsi
; <stage>\bin holds the programs with their libraries and plugins, <stage>\doc
; the README, the examples and the licences; <stage>\files.nsh and
; <stage>\unfiles.nsh list what is installed, so that the uninstaller removes
; exactly that and nothing the user put beside it.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define APP "Velmora"
!define CLASS "Velmora.Table"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} ${VERSION} setup"
VIAddVersionKey "LegalCopyright" "Velmora developers"
Icon "${STAGE}/velmora.ico"
UninstallIcon "${STAGE}/velmora.ico"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd
Function un.onInit
  SetRegView 64
FunctionEnd

Section "Velmora"
  SetOutPath "$INSTDIR"
  !include "${STAGE}/files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The Start-menu entry starts Velmora in a folder of the user's own, where
  ; Velmora.ini and the tables can be written without administrator rights.
  SetShellVarContext current
  CreateDirectory "$DOCUMENTS\${APP}"
  SetOutPath "$DOCUMENTS\${APP}"
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\velmora.exe" "" "$INSTDIR\velmora.exe" 0
  SetOutPath "$INSTDIR"

  ; .dst files open in Velmora.
  WriteRegStr HKLM "Software\Classes\.dst" "" "${CLASS}"
  WriteRegStr HKLM "Software\Classes\${CLASS}" "" "Velmora DST table"
  WriteRegStr HKLM "Software\Classes\${CLASS}\DefaultIcon" "" "$INSTDIR\velmora.exe,0"
  WriteRegStr HKLM "Software\Classes\${CLASS}\shell\open\command" "" '"$INSTDIR\velmora.exe" "%1"'

  ; Apps and Features lists it with its uninstaller.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velmora developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  !include "${STAGE}/unfiles.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext current
  Delete "$SMPROGRAMS\${APP}.lnk"
  ; The user's folder goes only when it is empty: tables and settings stay.
  RMDir "$DOCUMENTS\${APP}"

  ReadRegStr $0 HKLM "Software\Classes\.dst" ""
  StrCmp $0 "${CLASS}" 0 +2
    DeleteRegKey HKLM "Software\Classes\.dst"
  DeleteRegKey HKLM "Software\Classes\${CLASS}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
