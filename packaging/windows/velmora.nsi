; The Windows installer: Velmora-<version>-setup.exe, made on Debian with
; makensis from the staged installation (scripts/windows-installer.sh).
;   makensis -DVERSION=1.3.0 -DSTAGE=<stage> -DOUTFILE=<setup.exe> velmora.nsi
; (-DCOMPRESSOR=zlib packs faster than the default solid LZMA)
; <stage>\bin holds the programs with their libraries and plugins, <stage>\doc
; the README, the examples and the licences; <stage>\files.nsh and
; <stage>\unfiles.nsh list what is installed, so that the uninstaller removes
; exactly that and nothing the user put beside it.
;
; It installs for the user alone by default, without administrator rights:
; into the user's programs folder (%LOCALAPPDATA%\Programs\Velmora), with the
; Start-menu entry, the .dst association and the uninstall entry under
; HKEY_CURRENT_USER. /AllUsers, or the choice on the first page, installs for
; everyone into Program Files with the keys under HKEY_LOCAL_MACHINE; a user
; without administrator rights is then asked for them (the installer starts
; itself again elevated). /S installs silently in either mode.
;
; Exit codes besides NSIS's own (1 cancelled, 2 aborted): 3 Velmora is running
; from the folder, 4 administrator rights were needed and not given, 5 the
; installed version could not be removed.
Unicode true
Target amd64-unicode
!define /IfNDef COMPRESSOR "/SOLID lzma"
SetCompressor ${COMPRESSOR}
RequestExecutionLevel user
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define APP "Velmora"
!define CLASS "Velmora.Table"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define DST_KEY "Software\Classes\.dst"
!define EXIT_RUNNING 3
!define EXIT_NO_ADMIN 4
!define EXIT_OLD_VERSION 5

Name "${APP} ${VERSION}"
BrandingText "${APP} ${VERSION}"
OutFile "${OUTFILE}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} ${VERSION} setup"
VIAddVersionKey "LegalCopyright" "Velmora developers"
Icon "${STAGE}/velmora.ico"
UninstallIcon "${STAGE}/velmora.ico"

Var AllUsers  ; 1: for everyone (Program Files, HKLM); 0: for this user (HKCU)
Var ModeGiven ; 1: /AllUsers or /CurrentUser was on the command line
Var DirGiven  ; 1: /D= was on the command line
Var ModePage.Me
Var ModePage.All

Page custom ModePage ModePageLeave
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Starts FILE with PARAMS elevated ("runas") and waits for it. $7: 0, or the
; system's error (1223: the user declined); $8: the program's exit code.
; SHELLEXECUTEINFOW as amd64 lays it out: the System plug-in does not align
; members, so the padding after nShow and dwHotKey is written out.
!macro RUN_ELEVATED FILE PARAMS
  System::Call '*(i 112, i 0x40, p $HWNDPARENT, w "runas", w "${FILE}", w "${PARAMS}", p 0, i 1, i 0, p 0, p 0, p 0, p 0, i 0, i 0, p 0, p 0) p .r9'
  System::Call 'shell32::ShellExecuteExW(p r9) i .r8 ?e'
  Pop $7
  ${If} $8 <> 0
    System::Call '*$9(i, i, p, p, p, p, p, i, i, p, p, p, p, i, i, p, p .r6)'
    System::Call 'kernel32::WaitForSingleObject(p r6, i -1)'
    System::Call 'kernel32::GetExitCodeProcess(p r6, *i .r8)'
    System::Call 'kernel32::CloseHandle(p r6)'
    StrCpy $7 0
  ${EndIf}
  System::Free $9
!macroend

; Functions that installer and uninstaller share.
!macro SHARED UN
  ; Everything for everyone needs administrator rights: without them this
  ; program starts itself again elevated with EXTRA (its mode, and for the
  ; uninstaller its folder), waits, and ends with the elevated one's exit code.
  Function ${UN}ElevateFor
    Exch $R0 ; EXTRA
    UserInfo::GetAccountType
    Pop $R1
    ${If} $R1 == "Admin"
      Pop $R0
      Return
    ${EndIf}
    ${GetParameters} $R1
    ClearErrors
    ${GetOptions} $R1 "/Elevated" $R2
    ${IfNot} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "Installing ${APP} for all users needs administrator rights." /SD IDOK
      SetErrorLevel ${EXIT_NO_ADMIN}
      Quit
    ${EndIf}
    StrCpy $R2 "/Elevated $R0"
    ${If} ${Silent}
      StrCpy $R2 "/S $R2"
    ${EndIf}
    HideWindow
    !insertmacro RUN_ELEVATED "$EXEPATH" "$R2"
    ${If} $7 <> 0
      MessageBox MB_OK|MB_ICONSTOP "${APP} was not changed for all users: administrator rights were not given (error $7)." /SD IDOK
      SetErrorLevel ${EXIT_NO_ADMIN}
    ${Else}
      SetErrorLevel $8
    ${EndIf}
    Quit
  FunctionEnd

  ; Waits until no program runs from the folder $R0: Windows keeps a running
  ; program's file open, so velmora.exe or velmora-cli.exe that cannot be opened
  ; for writing because another process shares it with none is running. Asks
  ; the user to close it; silent, or when the user cancels, ends with
  ; EXIT_RUNNING.
  Function ${UN}WaitUntilClosed
    ${Do}
      StrCpy $R1 ""
      ${ForEach} $R2 0 1 + 1
        ${If} $R2 = 0
          StrCpy $R3 "$R0\velmora.exe"
        ${Else}
          StrCpy $R3 "$R0\velmora-cli.exe"
        ${EndIf}
        ${If} ${FileExists} $R3
          System::Call 'kernel32::CreateFileW(w R3, i 0x40000000, i 0, p 0, i 3, i 0x80, p 0) p .R4 ?e'
          Pop $R5
          ${If} $R4 P= -1
            ${If} $R5 = 32 ; ERROR_SHARING_VIOLATION
              StrCpy $R1 $R3
            ${EndIf}
          ${Else}
            System::Call 'kernel32::CloseHandle(p R4)'
          ${EndIf}
        ${EndIf}
      ${Next}
      ${If} $R1 == ""
        Return
      ${EndIf}
      DetailPrint "${APP} is running: $R1"
      ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${APP} is running ($R1).$\r$\nClose it, then choose Retry." /SD IDCANCEL IDRETRY`
        SetErrorLevel ${EXIT_RUNNING}
        Quit
      ${EndIf}
    ${Loop}
  FunctionEnd
!macroend
!insertmacro SHARED ""
!insertmacro SHARED "un."

; The mode sets the shell folders, the registry root (SHCTX) and, unless /D=
; named one, the folder: an installed Velmora's own, or the mode's default.
Function ApplyMode
  ${If} $AllUsers = 1
    SetShellVarContext all
    StrCpy $R0 "$PROGRAMFILES64\${APP}"
  ${Else}
    SetShellVarContext current
    GetKnownFolderPath $R0 {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB} ; UserProgramFiles
    ${If} $R0 == ""
      StrCpy $R0 "$LOCALAPPDATA\Programs"
    ${EndIf}
    StrCpy $R0 "$R0\${APP}"
  ${EndIf}
  ReadRegStr $R1 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R1 != ""
    StrCpy $R0 $R1
  ${EndIf}
  ${If} $DirGiven = 0
    StrCpy $INSTDIR $R0
  ${EndIf}
FunctionEnd

Function ElevateForAllUsers
  ${If} $AllUsers = 1
    ${If} $DirGiven = 1
      Push "/AllUsers /D=$INSTDIR"
    ${Else}
      Push "/AllUsers"
    ${EndIf}
    Call ElevateFor
  ${EndIf}
FunctionEnd

Function .onInit
  SetRegView 64
  StrCpy $DirGiven 0
  ${If} $INSTDIR != ""
    StrCpy $DirGiven 1
  ${EndIf}
  ${GetParameters} $R0
  StrCpy $ModeGiven 1
  ClearErrors
  ${GetOptions} $R0 "/AllUsers" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${Else}
    ClearErrors
    ${GetOptions} $R0 "/CurrentUser" $R1
    ${IfNot} ${Errors}
      StrCpy $AllUsers 0
    ${Else}
      ; Without either, an installed Velmora keeps its mode: this user's own
      ; first, then one for everyone; a new one is for this user.
      StrCpy $ModeGiven 0
      StrCpy $AllUsers 0
      ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
      ReadRegStr $R2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
      ${If} $R1 == ""
      ${AndIf} $R2 != ""
        StrCpy $AllUsers 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Call ApplyMode
  ${If} ${Silent}
  ${OrIf} $ModeGiven = 1
    Call ElevateForAllUsers
  ${EndIf}
FunctionEnd

Function ModePage
  ${If} $ModeGiven = 1
    Abort
  ${EndIf}
  nsDialogs::Create 1018
  Pop $R0
  ${NSD_CreateLabel} 0 0 100% 36u "Install ${APP} for yourself alone, in your own programs folder (no administrator rights needed), or for all users of this computer, in Program Files (administrator rights needed)."
  Pop $R0
  ${NSD_CreateRadioButton} 10u 44u -10u 12u "Install for me only"
  Pop $ModePage.Me
  ${NSD_CreateRadioButton} 10u 60u -10u 12u "Install for all users"
  Pop $ModePage.All
  ${If} $AllUsers = 1
    ${NSD_Check} $ModePage.All
  ${Else}
    ${NSD_Check} $ModePage.Me
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $ModePage.All $R0
  ${If} $R0 = ${BST_CHECKED}
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  Call ApplyMode
  Call ElevateForAllUsers
FunctionEnd

Section "Velmora"
  ReadRegStr $R9 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $R0 $INSTDIR
  Call WaitUntilClosed
  ${If} $R9 != ""
  ${AndIf} $R9 != $INSTDIR
    StrCpy $R0 $R9
    Call WaitUntilClosed
  ${EndIf}

  ; An installed version goes first, by its own uninstaller: the files this
  ; one no longer has go with it, and its entries make way for this one's.
  ; The user's tables and Velmora.ini are in Documents\Velmora and stay.
  ${If} $R9 != ""
  ${AndIf} ${FileExists} "$R9\uninstall.exe"
    DetailPrint "Removing the installed version from $R9"
    ClearErrors
    ExecWait '"$R9\uninstall.exe" /S _?=$R9' $R8
    ${If} ${Errors}
    ${OrIf} $R8 <> 0
      MessageBox MB_OK|MB_ICONSTOP "The installed ${APP} in $R9 could not be removed (exit code $R8)." /SD IDOK
      SetErrorLevel ${EXIT_OLD_VERSION}
      Quit
    ${EndIf}
    Delete "$R9\uninstall.exe"
    RMDir "$R9"
  ${EndIf}

  SetOutPath "$INSTDIR"
  !include "${STAGE}/files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The Start-menu entry and a double-clicked table both start Velmora with
  ; --user-settings: Velmora.ini is then the one in Documents\Velmora of
  ; whoever starts it, writable without administrator rights, whatever folder
  ; a table lies in. The entry starts in that folder for this user, in the
  ; user's profile folder when it is for everyone (the shell expands the
  ; variable for whoever starts it).
  ${If} $AllUsers = 1
    StrCpy $OUTDIR "%USERPROFILE%"
  ${Else}
    CreateDirectory "$DOCUMENTS\${APP}"
    StrCpy $OUTDIR "$DOCUMENTS\${APP}"
  ${EndIf}
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\velmora.exe" "--user-settings" \
    "$INSTDIR\velmora.exe" 0
  SetOutPath "$INSTDIR"

  ; .dst is also a format of other programs: Velmora is one of the programs
  ; that open it, and the default only when no program has taken it.
  WriteRegStr SHCTX "Software\Classes\${CLASS}" "" "Velmora DST table"
  WriteRegStr SHCTX "Software\Classes\${CLASS}\DefaultIcon" "" "$INSTDIR\velmora.exe,0"
  WriteRegStr SHCTX "Software\Classes\${CLASS}\shell\open\command" "" \
    '"$INSTDIR\velmora.exe" --user-settings "%1"'
  WriteRegNone SHCTX "${DST_KEY}\OpenWithProgids" "${CLASS}"
  ReadRegStr $R0 HKLM "${DST_KEY}" ""
  ${If} $AllUsers = 0
  ${AndIf} $R0 == ""
    ReadRegStr $R0 HKCU "${DST_KEY}" ""
  ${EndIf}
  ${If} $R0 == ""
    WriteRegStr SHCTX "${DST_KEY}" "" "${CLASS}"
  ${EndIf}

  ; Apps and Features lists it with its uninstaller.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Velmora developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K /G=1" $R0 $R1 $R2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $R0
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

; The uninstaller's mode is its install's: for everyone when the machine's
; uninstall entry names this folder, else for this user.
Function un.onInit
  SetRegView 64
  StrCpy $AllUsers 0
  SetShellVarContext current
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} $R0 == $INSTDIR
    StrCpy $AllUsers 1
    SetShellVarContext all
    Push "_?=$INSTDIR"
    Call un.ElevateFor
  ${EndIf}
  StrCpy $R0 $INSTDIR
  Call un.WaitUntilClosed
FunctionEnd

Section "Uninstall"
  !include "${STAGE}/unfiles.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${APP}.lnk"
  ; The user's folder goes only when it is empty: tables and settings stay.
  ${If} $AllUsers = 0
    RMDir "$DOCUMENTS\${APP}"
  ${EndIf}

  ; Only Velmora's own: another program's .dst default and keys stay.
  DeleteRegKey SHCTX "Software\Classes\${CLASS}"
  DeleteRegValue SHCTX "${DST_KEY}\OpenWithProgids" "${CLASS}"
  DeleteRegKey /ifempty SHCTX "${DST_KEY}\OpenWithProgids"
  ReadRegStr $R0 SHCTX "${DST_KEY}" ""
  ${If} $R0 == "${CLASS}"
    DeleteRegValue SHCTX "${DST_KEY}" ""
  ${EndIf}
  DeleteRegKey /ifempty SHCTX "${DST_KEY}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
