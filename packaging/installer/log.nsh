; The log every run writes, silent or not, installer and uninstaller alike: LOG_FILE in the
; Windows folder (C:\Windows\Kelvarid-setup.log), where only administrators can make files. Each
; run appends its steps and, at its end, its exit code and what pulses then; the file is started
; afresh once it grows past 1 MiB, the previous one kept as Kelvarid-setup.previous.log.
; And the lock that lets one installer or uninstaller run at a time (SETUP_LOCK).

!define LOG_FILE "Kelvarid-setup.log"
!define SETUP_LOCK "Kelvarid-setup.lock"
!define GENERIC_WRITE 0x40000000
!define FILE_APPEND_DATA 0x0004
!define FILE_SHARE_READ_WRITE 3
!define OPEN_ALWAYS 4
!define CREATE_ALWAYS 2
!define FILE_FLAG_DELETE_ON_CLOSE 0x04000000
!define FILE_ATTRIBUTE_HIDDEN 2
!define ERROR_ALREADY_EXISTS 183
!define ERROR_SHARING_VIOLATION 32

Var LogFile  ; the log's handle, "" while none is open
Var LogPath
Var SetupLock

; One line into the log and the details list.
!macro LOG TEXT
  DetailPrint `${TEXT}`
  StrCmp $LogFile "" +2
  FileWriteUTF16LE $LogFile `${TEXT}$\r$\n`
!macroend

; Leaves $0 at 1 when the handle $0 is INVALID_HANDLE_VALUE, else 0: the System plugin may write
; it as -1 or as the pointer's largest value, and both wrap to 0 here.
!macro INVALID_HANDLE
  IntPtrOp $0 $0 + 1
  ${If} $0 P= 0
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
!macroend

!macro LOG_FUNCTIONS UN
  ; Opens the log for appending (every write lands at its end, also beside another run's) and
  ; writes the run's first line: when, which build, the command line.
  Function ${UN}OpenLog
    StrCpy $LogPath "$WINDIR\${LOG_FILE}"
    ${GetSize} "$WINDIR" "/M=${LOG_FILE} /S=0K /G=0" $0 $1 $2
    ${If} $0 > 1024
      Delete "$WINDIR\Kelvarid-setup.previous.log"
      Rename "$LogPath" "$WINDIR\Kelvarid-setup.previous.log"
    ${EndIf}
    System::Call 'kernel32::CreateFileW(w "$LogPath", i ${FILE_APPEND_DATA}, i ${FILE_SHARE_READ_WRITE}, p 0, i ${OPEN_ALWAYS}, i 0, p 0) p.r0 ?e'
    Pop $1
    StrCpy $LogFile $0
    !insertmacro INVALID_HANDLE
    ${If} $0 = 1
      StrCpy $LogFile ""
      DetailPrint "the log $LogPath cannot be written (error $1)"
      Return
    ${EndIf}
    ${If} $1 <> ${ERROR_ALREADY_EXISTS}
      FileWriteWord $LogFile 0xFEFF  ; UTF-16 as Windows' Notepad reads it
    ${EndIf}
    ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
    !insertmacro LOG ""
    !insertmacro LOG "$2-$1-$0 $4:$5:$6 $EXEFILE ${BUILD_TEXT} (${ARCH}) $CMDLINE"
  FunctionEnd

  ; Runs the command line $R0 and logs it with its output. Leaves $0 at its exit code, "error"
  ; when it could not even be started.
  Function ${UN}RunLogged
    nsExec::ExecToStack $R0
    Pop $0
    Pop $1
    !insertmacro LOG "$R0: exit code $0"
    ${If} $1 != ""
      !insertmacro LOG "$1"
    ${EndIf}
  FunctionEnd

  ; Leaves $0 at 1 while another installer or uninstaller runs, else 0 and the lock held until
  ; this run ends: a file that only administrators can make, opened by one at a time, gone with
  ; its last handle (a name, which any account can make, could be held by anyone).
  Function ${UN}TakeSetupLock
    System::Call 'kernel32::CreateFileW(w "$WINDIR\${SETUP_LOCK}", i ${GENERIC_WRITE}, i 0, p 0, i ${CREATE_ALWAYS}, i ${FILE_ATTRIBUTE_HIDDEN}|${FILE_FLAG_DELETE_ON_CLOSE}, p 0) p.r0 ?e'
    Pop $1
    StrCpy $SetupLock $0
    !insertmacro INVALID_HANDLE
    ${If} $0 = 0
      Return
    ${EndIf}
    ${If} $1 = ${ERROR_SHARING_VIOLATION}
      StrCpy $0 1
      Return
    ${EndIf}
    ; Not shared with anyone: no lock, but no reason to stop either.
    !insertmacro LOG "the lock $WINDIR\${SETUP_LOCK} cannot be made (error $1): going on without it"
    StrCpy $0 0
  FunctionEnd

  ; The last lines: what pulses now, and the exit code $0.
  Function ${UN}CloseLog
    Push $0
    Call ${UN}PulserNow
    !insertmacro LOG "state at the end: $1"
    Pop $0
    !insertmacro LOG "exit code $0"
    StrCmp $LogFile "" +2
    FileClose $LogFile
    StrCpy $LogFile ""
  FunctionEnd

  ; Leaves $1 at which pulser runs now, as words for the log: the service (its state and port),
  ; the window program, or nothing.
  Function ${UN}PulserNow
    !insertmacro SERVICE_STATE
    ${If} $0 = ${SERVICE_RUNNING}
      ReadRegStr $1 HKLM "${PARAMETERS_KEY}" "${PORT_VALUE}"
      StrCpy $1 "the service ${SERVICE_NAME} runs, on $1"
      Return
    ${EndIf}
    StrCpy $9 "no service"
    ${If} $0 <> 0
      StrCpy $9 "the service ${SERVICE_NAME} is not running (state $0)"
    ${EndIf}
    !insertmacro MUTEX_HELD "${INSTANCE_MUTEX}"
    ${If} $0 = 1
      StrCpy $1 "kelvarid.exe runs; $9"
    ${Else}
      StrCpy $1 "nothing pulses; $9"
    ${EndIf}
  FunctionEnd
!macroend

; Ends the run with the exit code CODE, the log closed; in the installer and the uninstaller alike.
!macro END_RUN CODE
  StrCpy $0 ${CODE}
  !ifdef __UNINSTALL__
    Call un.CloseLog
  !else
    Call CloseLog
  !endif
  SetErrorLevel ${CODE}
  Quit
!macroend
