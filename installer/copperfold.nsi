; The setup program of Copperfold, Dockline and Corelink: one 64-bit installer for the whole
; machine. Built by the CMake target setup_program, which passes VERSION, PUBLISHER, STAGE_DIR
; (the programs without debugging information), BIN_DIR (the other built files), SOURCE_DIR and
; OUT_FILE.
;
; Switches: /S silent, /D=FOLDER the installation folder (last on the command line, unquoted),
; /CLOSEWAIT=SECONDS how long a silent setup waits for a backup run to end (default 600).
; Exit codes: 0 installed, 1 cancelled, 2 aborted, 3 a backup run was still in progress,
; 4 a program of the suite did not close, 5 the settings file could not be merged,
; 6 the component could not be registered, 7 a program of the suite runs in another session,
; 8 installed, but the logon task for Dockline could not be registered.

Unicode true
Target amd64-unicode
ManifestDPIAware true
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Copperfold"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Copperfold"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Where an uninstalled suite left the settings file it kept: the next setup installs there.
!define KEPT_KEY "Software\Copperfold"
!define KEPT_VALUE "PreviousInstallLocation"
!define START_MENU_FOLDER "$SMPROGRAMS\Copperfold"
!define COMPONENT_KEY "CLSID\{6F3B2A91-4C7E-4D2A-9B15-3E8C71A0D4F2}"
!define SILENT_CLOSE_WAIT 600
!define INTERACTIVE_CLOSE_WAIT 30

Name "Copperfold"
Caption "Copperfold ${VERSION} Setup"
BrandingText "${PUBLISHER}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Copperfold"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Copperfold"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Copperfold, Dockline and Corelink setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT License, ${PUBLISHER}"

!define MUI_ICON "${SOURCE_DIR}/copperfold/win32/copperfold.ico"
!define MUI_UNICON "${SOURCE_DIR}/copperfold/win32/copperfold.ico"
; The last page's side panel and the uninstaller's tick boxes, our own (tools/make_setup_art.py).
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SOURCE_DIR}/installer/art/wizard.bmp"
!define MUI_COMPONENTSPAGE_CHECKBITMAP "${SOURCE_DIR}/installer/art/checks.bmp"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_LICENSE "${SOURCE_DIR}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The finish page's one choice, off unless ticked: Copperfold in the notification area at this
; user's logon, for backups when a drive is plugged in (the user's Run value, as Copperfold's
; View menu writes it; the system starts it there with the user's ordinary rights).
!define MUI_FINISHPAGE_SHOWREADME ""
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Start Copperfold in the notification area at logon"
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION StartCopperfoldAtLogon
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Copperfold.ini in the program folder holds the settings for this computer and the backup jobs earlier versions kept there; each user's own jobs stay in their profile. Tick it to remove it as well."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Var CloseWait
Var LogonTaskFailed

; Ends Copperfold and Dockline started from $INSTDIR through their own protocol, with the
; helper whose path is on the stack. A busy Copperfold is waited for; an interactive setup
; asks whether to keep waiting, a silent one ends with exit code 3 (or 4 when a program does
; not close).
!macro CLOSE_PROGRAMS_FUNCTION PREFIX
Function ${PREFIX}ClosePrograms
  Exch $R0
  Push $R1
  Push $R2
  ${If} ${Silent}
    StrCpy $R1 $CloseWait
  ${Else}
    StrCpy $R1 ${INTERACTIVE_CLOSE_WAIT}
  ${EndIf}
  ${Do}
    DetailPrint "Closing Copperfold and Dockline if they run (waiting at most $R1 seconds)..."
    nsExec::ExecToLog '"$R0" close-programs "$INSTDIR" $R1'
    Pop $R2
    ${If} $R2 == 0
      ${Break}
    ${ElseIf} $R2 == 3
      DetailPrint "Copperfold is still running a backup."
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Copperfold is still running a backup. Setup goes on once the run has ended: choose Retry to keep waiting, or Cancel to stop without changing anything." /SD IDCANCEL IDRETRY continue_waiting
      SetErrorLevel 3
      Quit
    ${ElseIf} $R2 == 7
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Copperfold or Dockline is running in another session (the details name the user). Setup cannot close it from here: close it in that session or sign that user out, then choose Retry, or Cancel to stop without changing anything." /SD IDCANCEL IDRETRY continue_waiting
      SetErrorLevel 7
      Quit
    ${Else}
      DetailPrint "Copperfold or Dockline did not close (helper exit code $R2)."
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Copperfold or Dockline was asked to close but is still running; a window of it may be waiting for an answer. Close it, then choose Retry, or Cancel to stop without changing anything." /SD IDCANCEL IDRETRY continue_waiting
      SetErrorLevel 4
      Quit
    ${EndIf}
    continue_waiting:
  ${Loop}
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro CLOSE_PROGRAMS_FUNCTION ""
!insertmacro CLOSE_PROGRAMS_FUNCTION "un."

Function .onInit
  SetRegView 64
  SetShellVarContext all
  StrCpy $CloseWait ${SILENT_CLOSE_WAIT}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CLOSEWAIT=" $R1
  ${IfNot} ${Errors}
    StrCpy $CloseWait $R1
  ${EndIf}
  ; /D= decides alone (NSIS takes it off the parameters: the process's own command line still
  ; has it). Else an installed suite is found by its uninstall entry (InstallDirRegKey), and one
  ; that was removed but kept its settings file by the folder the uninstaller noted.
  System::Call 'kernel32::GetCommandLineW() t .R2'
  ClearErrors
  ${GetOptions} $R2 "/D=" $R1
  ${If} ${Errors}
    ClearErrors
    ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} ${Errors}
      ReadRegStr $R1 HKLM "${KEPT_KEY}" "${KEPT_VALUE}"
      ${If} $R1 != ""
      ${AndIf} ${FileExists} "$R1\Copperfold.ini"
        StrCpy $INSTDIR $R1
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

; The Run value of the user who runs setup: setup runs as that user, elevated, and an elevated
; administrator has the same per-user registry (a standard user who typed an administrator's
; password gets it for that administrator, and sets it from Copperfold's View menu instead).
Function StartCopperfoldAtLogon
  WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Copperfold.exe" /tray'
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  StrCpy $CloseWait ${SILENT_CLOSE_WAIT}
FunctionEnd

Section "-Copperfold, Dockline and Corelink"
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "${STAGE_DIR}/SetupHelper.exe"
  File "${BIN_DIR}/Copperfold.ini"

  Push "$PLUGINSDIR\SetupHelper.exe"
  Call ClosePrograms

  ; The users' jobs first: nothing else changes when their file cannot be brought up to date.
  CreateDirectory "$INSTDIR"
  nsExec::ExecToLog '"$PLUGINSDIR\SetupHelper.exe" merge-settings "$PLUGINSDIR\Copperfold.ini" "$INSTDIR\Copperfold.ini"'
  Pop $0
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP "The settings file $INSTDIR\Copperfold.ini could not be brought up to date; it was left as it was and nothing was installed." /SD IDOK
    SetErrorLevel 5
    Quit
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE_DIR}/Copperfold.exe"
  File "${STAGE_DIR}/Dockline.exe"
  File "${STAGE_DIR}/Corelink.ax"
  File "${STAGE_DIR}/Volkern.dll"
  File "${STAGE_DIR}/SetupHelper.exe"
  File "${BIN_DIR}/Dockline.ini"
  File "${BIN_DIR}/bar.png"
  File "${BIN_DIR}/copperfold.png"
  File "${BIN_DIR}/explorer.png"
  File "${SOURCE_DIR}/LICENSE.txt"

  ; The component's own entry point reports success whatever the registry said: the
  ; registration is checked by reading it back.
  ClearErrors
  RegDLL "$INSTDIR\Corelink.ax"
  ReadRegStr $0 HKCR "${COMPONENT_KEY}\InprocServer32" ""
  ${If} ${Errors}
  ${OrIf} $0 != "$INSTDIR\Corelink.ax"
    MessageBox MB_OK|MB_ICONSTOP "The device component $INSTDIR\Corelink.ax could not be registered." /SD IDOK
    SetErrorLevel 6
    Quit
  ${EndIf}

  ; Dockline starts hidden in the notification area at every logon: through the scheduler's task
  ; where UAC is on (the system starts no program that needs elevation from the Run key), through
  ; the Run value where it is off (both start it there; the second start ends quietly).
  WriteRegStr HKLM "${RUN_KEY}" "Dockline" '"$INSTDIR\Dockline.exe" /a'
  StrCpy $LogonTaskFailed 0
  nsExec::ExecToLog '"$INSTDIR\SetupHelper.exe" register-logon-task "$INSTDIR"'
  Pop $0
  ${If} $0 != 0
    StrCpy $LogonTaskFailed 1
    MessageBox MB_OK|MB_ICONEXCLAMATION "Dockline could not be set up to start at logon (the details say why). Everything else is installed; start Dockline from the Start menu." /SD IDOK
  ${EndIf}

  CreateDirectory "${START_MENU_FOLDER}"
  CreateShortcut "${START_MENU_FOLDER}\Copperfold.lnk" "$INSTDIR\Copperfold.exe"
  CreateShortcut "${START_MENU_FOLDER}\Dockline.lnk" "$INSTDIR\Dockline.exe"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Copperfold"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Copperfold.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  DeleteRegKey HKLM "${KEPT_KEY}"  ; the uninstall entry names the folder now
  ${If} $LogonTaskFailed == 1
    SetErrorLevel 8
  ${EndIf}
SectionEnd

Section "un.Programs, shortcuts and registration" UninstallPrograms
  SectionIn RO
  ${If} ${FileExists} "$INSTDIR\SetupHelper.exe"
    Push "$INSTDIR\SetupHelper.exe"
    Call un.ClosePrograms
    nsExec::ExecToLog '"$INSTDIR\SetupHelper.exe" remove-logon-task'
    Pop $0
  ${EndIf}

  UnRegDLL "$INSTDIR\Corelink.ax"
  ; Gone by now, unless the component could not remove it: then it goes here, when it is ours.
  ReadRegStr $0 HKCR "${COMPONENT_KEY}\InprocServer32" ""
  ${If} $0 == "$INSTDIR\Corelink.ax"
    DeleteRegKey HKCR "${COMPONENT_KEY}"
  ${EndIf}
  DeleteRegValue HKLM "${RUN_KEY}" "Dockline"
  ; The start at logon of the user who removes the suite, when it starts this copy; other users'
  ; values start nothing once the program is gone, as their schedules do.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${PRODUCT}"
  ${If} $0 == '"$INSTDIR\Copperfold.exe" /tray'
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}

  Delete "${START_MENU_FOLDER}\Copperfold.lnk"
  Delete "${START_MENU_FOLDER}\Dockline.lnk"
  RMDir "${START_MENU_FOLDER}"

  Delete "$INSTDIR\Copperfold.exe"
  Delete "$INSTDIR\Dockline.exe"
  Delete "$INSTDIR\Corelink.ax"
  Delete "$INSTDIR\Volkern.dll"
  Delete "$INSTDIR\SetupHelper.exe"
  Delete "$INSTDIR\Dockline.ini"
  Delete "$INSTDIR\bar.png"
  Delete "$INSTDIR\copperfold.png"
  Delete "$INSTDIR\explorer.png"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The settings file stays unless its removal is chosen below: a new setup goes back there.
  WriteRegStr HKLM "${KEPT_KEY}" "${KEPT_VALUE}" "$INSTDIR"
  RMDir "$INSTDIR"  ; stays while it holds the job file or files of the user's own
SectionEnd

Section /o "un.Settings and earlier versions' jobs (Copperfold.ini)" UninstallJobs
  Delete "$INSTDIR\Copperfold.ini"
  DeleteRegKey HKLM "${KEPT_KEY}"
  RMDir "$INSTDIR"
SectionEnd
