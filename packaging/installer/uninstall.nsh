; The uninstaller. Run as the uninstall entry's QuietUninstallString says (in place, with _?=),
; it does the work itself and its exit code is the result; run without _?=, the framework hands
; the work to a copy of it in the temp folder and ends at once. The service goes first: the
; files and the entry go only once it is gone, never leaving a service without its program.

!define MOVEFILE_DELAY_UNTIL_REBOOT 4

!insertmacro LOG_FUNCTIONS "un."

Function un.onInit
  ClearErrors
  Call un.RemoveAfter
  SetShellVarContext all
  ${If} ${RunningX64}
    SetRegView ${REG_VIEW}
  ${EndIf}
  Call un.OpenLog
  Call un.TakeSetupLock
  ${If} $0 = 1
    MessageBox MB_OK|MB_ICONSTOP "$(AnotherSetup)" /SD IDOK
    !insertmacro END_RUN ${EXIT_ANOTHER_SETUP}
  ${EndIf}
  ; A running kelvarid.exe of this version or later makes way when asked, as for an upgrade; an
  ; older one cannot be asked and is the user's to quit.
  retry:
  !insertmacro PROGRAM_LISTENS
  ${If} $0 = 2
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(RunningUninstall)" /SD IDCANCEL IDRETRY retry
    !insertmacro END_RUN ${EXIT_RUNNING}
  ${EndIf}
  ${If} $0 = 1
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "$(ProgramWillEnd)" /SD IDOK IDOK +2
    Quit
    StrCpy $1 "${END_EVENT}"
    Call un.AskProgramToMakeWay
    Call un.WaitForProgramEnd
    ${If} $0 = 1
      !insertmacro LOG "kelvarid.exe did not end within 10 s"
      !insertmacro END_RUN ${EXIT_RUNNING}
    ${EndIf}
  ${EndIf}
  !insertmacro WARN_IF_SERVICE_RUNS
FunctionEnd

Function un.onUninstSuccess
  StrCpy $0 0
  IfRebootFlag 0 +2
  StrCpy $0 ${EXIT_REBOOT}
  Call un.CloseLog
  SetErrorLevel $0
FunctionEnd

; The service stopped and deleted; where another program holds it open it is only marked for
; deletion, which keeps it from ever starting again and removes it at the latest at the next
; restart. Ends the run, with nothing removed, when it cannot be stopped or deleted.
Function un.RemoveService
  !insertmacro SERVICE_STATE
  ${If} $0 = 0
    Return
  ${EndIf}
  StrCpy $8 $0  ; its state before: only one that ran is started again
  Call un.ServiceMarkedForDeletion
  ${If} $0 = 1
    !insertmacro LOG "the service is marked for deletion already: it cannot start again, and goes at the latest at the next restart"
    SetRebootFlag true
    Return
  ${EndIf}
  Call un.StopService
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "$(ServiceNotStopped)" /SD IDOK
    !insertmacro END_RUN ${EXIT_SERVICE_NOT_STOPPED}
  ${EndIf}
  Call un.DeleteService
  ${If} $0 <> 0
    ${If} $8 > ${SERVICE_STOPPED}
      StrCpy $R0 '"$SYSDIR\sc.exe" start ${SERVICE_NAME}'  ; it pulses as before
      Call un.RunLogged
    ${EndIf}
    !insertmacro END_RUN ${EXIT_ROLLED_BACK}
  ${EndIf}
  StrCpy $7 0
  ${Do}
    !insertmacro SERVICE_STATE
    ${If} $0 = 0
      Return
    ${EndIf}
    ${If} $7 >= 40
      !insertmacro LOG "the service is marked for deletion and goes once the program holding it lets go, at the latest at the next restart"
      SetRebootFlag true
      Return
    ${EndIf}
    Sleep 250
    IntOp $7 $7 + 1
  ${Loop}
FunctionEnd

; The uninstaller's own file. Run in place (_?=) it holds its file open while it runs, and
; nothing can delete or move that file until it ends: a copy of it in the temp folder waits for
; this run's end and removes it with the folder, then goes itself at the next restart, as the
; framework's own copy does. Run from that copy, the file is free.
Function un.RemoveSelf
  ${If} "$EXEDIR" != "$INSTDIR"
    Delete "$INSTDIR\uninstall.exe"
    Return
  ${EndIf}
  GetTempFileName $1
  Delete $1
  StrCpy $1 "$1.exe"
  ClearErrors
  CopyFiles /SILENT "$EXEPATH" $1
  System::Call 'kernel32::GetCurrentProcessId() i.r2'
  ${IfNot} ${Errors}
    Exec '"$1" /REMOVE-AFTER=$2 _?=$INSTDIR'
  ${EndIf}
  ${If} ${Errors}
    !insertmacro LOG "the uninstaller could not hand over its own file: it goes at the next restart"
    Delete /REBOOTOK "$INSTDIR\uninstall.exe"
  ${EndIf}
FunctionEnd

; The copy that removes the uninstaller in place once that has ended (at most 30 s on).
Function un.RemoveAfter
  ${GetOptions} $CMDLINE "/REMOVE-AFTER=" $1
  ${If} ${Errors}
    Return
  ${EndIf}
  System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p.r2'
  ${If} $2 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i 30000) i.r3'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  System::Call 'kernel32::MoveFileExW(w "$EXEPATH", p 0, i ${MOVEFILE_DELAY_UNTIL_REBOOT})'
  SetErrorLevel 0
  Quit
FunctionEnd

Section "Uninstall"
  Call un.RemoveService
  !insertmacro LOG "removing the files in $INSTDIR, the shortcuts and the uninstall entry"
  RMDir /r "$APPDATA\${RECORD_FOLDER}"
  Delete /REBOOTOK "$INSTDIR\kelvarid-service.exe"
  Delete /REBOOTOK "$INSTDIR\kelvaridctl.exe"
  Delete "$SMSTARTUP\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; The program that made way may still be ending; one started meanwhile keeps its files until
  ; the next restart.
  !insertmacro DELETE_PATIENTLY "$INSTDIR\kelvarid.exe"
  !insertmacro DELETE_PATIENTLY "$INSTDIR\serline.dll"
  Delete /REBOOTOK "$INSTDIR\kelvarid.exe${PREVIOUS}"
  Delete /REBOOTOK "$INSTDIR\serline.dll${PREVIOUS}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Only if empty: files someone else put there stay.
  RMDir "$INSTDIR"
  IfRebootFlag 0 +2
  RMDir /REBOOTOK "$INSTDIR"
  Call un.RemoveSelf
SectionEnd
