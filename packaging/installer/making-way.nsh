; What runs before and after the files change: the service (its state, stopping and starting
; it, one being deleted) and the window program (asked to make way, waited for).

!define SYNCHRONIZE 0x00100000
!define ERROR_ACCESS_DENIED 5
!define ERROR_SERVICE_MARKED_FOR_DELETE 1072
!define SC_MANAGER_CONNECT 0x0001
!define SERVICE_CHANGE_CONFIG 0x0002
!define SERVICE_QUERY_STATUS 0x0004
!define SERVICE_NO_CHANGE 0xffffffff
!define SERVICE_STOPPED 1
!define SERVICE_RUNNING 4
!define SERVICE_DISABLED 4
!define EVENT_MODIFY_STATE 0x0002
!define WAIT_TIMEOUT 258

; Leaves $0 at the service's state as the service manager has it (1 stopped, 2 starting,
; 3 stopping, 4 running, ...; 0 for no such service) and $1 at its process id (0 for none).
; Changes $2 to $5.
!macro SERVICE_STATE
  StrCpy $0 0
  StrCpy $1 0
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_CONNECT}) p.r2'
  ${If} $2 P<> 0
    System::Call 'advapi32::OpenServiceW(p r2, w "${SERVICE_NAME}", i ${SERVICE_QUERY_STATUS}) p.r3'
    ${If} $3 P<> 0
      ; SERVICE_STATUS_PROCESS: nine DWORDs, the state second, the process id eighth.
      System::Call '*(i, i, i, i, i, i, i, i, i) p.r4'
      System::Call 'advapi32::QueryServiceStatusEx(p r3, i 0, p r4, i 36, *i .r5) i.r5'
      ${If} $5 <> 0
        System::Call '*$4(i, i .r0, i, i, i, i, i, i .r1, i)'
      ${EndIf}
      System::Free $4
      System::Call 'advapi32::CloseServiceHandle(p r3)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r2)'
  ${EndIf}
!macroend

; Leaves $0 at 1 while the mutex NAME is held, 0 while it is not. Kelvarid holds the
; machine-wide INSTANCE_MUTEX for as long as it runs, in whatever session and under whatever
; account: a window looked for by its class would be found in this session only. Any account
; can make a name, though: whether the service runs is the service manager's to say.
!macro MUTEX_HELD NAME
  System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${NAME}") p.r1 ?e'
  Pop $2
  StrCpy $0 0
  ${If} $1 P<> 0
    System::Call 'kernel32::CloseHandle(p r1)'
    StrCpy $0 1
  ${ElseIf} $2 = ${ERROR_ACCESS_DENIED}
    StrCpy $0 1  ; held under an account this one may not open it for: it runs all the same
  ${EndIf}
!macroend

; Leaves $0 at 1 while Kelvarid's window program runs, 0 while it does not (the service, which
; holds the same mutex, does not count: it is stopped for the installation).
!macro KELVARID_RUNNING
  !insertmacro SERVICE_STATE
  ${If} $0 > ${SERVICE_STOPPED}
    StrCpy $0 0
  ${Else}
    !insertmacro MUTEX_HELD "${INSTANCE_MUTEX}"
  ${EndIf}
!macroend

; Leaves $0 at 1 while the window program runs and listens for a request to make way (this
; version or a later one), 2 while one runs that cannot be asked, 0 while none runs.
!macro PROGRAM_LISTENS
  !insertmacro KELVARID_RUNNING
  ${If} $0 = 1
    System::Call 'kernel32::OpenEventW(i ${SYNCHRONIZE}, i 0, w "${RESTART_EVENT}") p.r1'
    ${If} $1 P<> 0
      System::Call 'kernel32::CloseHandle(p r1)'
    ${Else}
      StrCpy $0 2
    ${EndIf}
  ${EndIf}
!macroend

; Warns that the running service will be stopped; a user who does not want that ends the run.
!macro WARN_IF_SERVICE_RUNS
  !insertmacro SERVICE_STATE
  ${If} $0 > ${SERVICE_STOPPED}
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "$(ServiceWillStop)" /SD IDOK IDOK +2
    Quit
  ${EndIf}
!macroend

; Changes the service's program to BINARY ("w R1": the command line in $R1; "p 0": no change)
; through the service manager, which the entry and its values stay with. Leaves $0 at 0 when
; done, else at Windows' error. Changes $2 to $4.
!macro CHANGE_SERVICE_CONFIG BINARY
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_CONNECT}) p.r2 ?e'
  Pop $0
  ${If} $2 P<> 0
    System::Call 'advapi32::OpenServiceW(p r2, w "${SERVICE_NAME}", i ${SERVICE_CHANGE_CONFIG}) p.r3 ?e'
    Pop $0
    ${If} $3 P<> 0
      System::Call 'advapi32::ChangeServiceConfigW(p r3, i ${SERVICE_NO_CHANGE}, i ${SERVICE_NO_CHANGE}, i ${SERVICE_NO_CHANGE}, ${BINARY}, p 0, p 0, p 0, p 0, p 0, p 0) i.r4 ?e'
      Pop $0
      ${If} $4 <> 0
        StrCpy $0 0
      ${EndIf}
      System::Call 'advapi32::CloseServiceHandle(p r3)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r2)'
  ${EndIf}
!macroend

!macro MAKING_WAY UN
  ; Stops the service Kelvarid, if there is one, and waits until it has stopped and its process
  ; has ended: only then are the port and its files free. Leaves $0 at 0 when it has stopped,
  ; 1 when it still runs.
  Function ${UN}StopService
    !insertmacro SERVICE_STATE
    StrCpy $6 $1  ; its process
    StrCpy $R0 '"$SYSDIR\sc.exe" stop ${SERVICE_NAME}'
    Call ${UN}RunLogged
    StrCpy $7 0
    ${Do}
      !insertmacro SERVICE_STATE
      ${If} $0 <= ${SERVICE_STOPPED}
      ${OrIf} $7 >= 60
        ${Break}
      ${EndIf}
      Sleep 250
      IntOp $7 $7 + 1
    ${Loop}
    ${If} $0 > ${SERVICE_STOPPED}
      !insertmacro LOG "the service did not stop within 15 s (state $0)"
      StrCpy $0 1
      Return
    ${EndIf}
    StrCpy $0 0
    ${If} $6 <> 0
      System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r6) p.r1'
      ${If} $1 P<> 0
        System::Call 'kernel32::WaitForSingleObject(p r1, i 15000) i.r2'
        System::Call 'kernel32::CloseHandle(p r1)'
        ${If} $2 <> 0
          !insertmacro LOG "the service's process $6 did not end within 15 s"
          StrCpy $0 1
        ${EndIf}
      ${EndIf}
    ${EndIf}
  FunctionEnd

  ; Leaves $0 at 1 while the service exists but is marked for deletion: removed, and held open by
  ; another program (the Services console, a monitoring agent), it goes only when that lets go.
  ; It cannot be changed or started meanwhile.
  Function ${UN}ServiceMarkedForDeletion
    ; A change that changes nothing: refused only for a service marked for deletion.
    !insertmacro CHANGE_SERVICE_CONFIG "p 0"
    ${If} $0 = ${ERROR_SERVICE_MARKED_FOR_DELETE}
      StrCpy $0 1
    ${Else}
      StrCpy $0 0
    ${EndIf}
  FunctionEnd

  ; Sets the request $1 (RESTART_EVENT or END_EVENT) of the running kelvarid.exe; only an
  ; administrator can. The handle goes at once: the successor must be able to make its own.
  Function ${UN}AskProgramToMakeWay
    !insertmacro LOG "asking kelvarid.exe to make way: $1"
    System::Call 'kernel32::OpenEventW(i ${EVENT_MODIFY_STATE}, i 0, w r1) p.r2'
    ${If} $2 P<> 0
      System::Call 'kernel32::SetEvent(p r2)'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
  FunctionEnd

  ; Waits up to 10 s until no kelvarid.exe holds the machine-wide mutex (the service, which
  ; would hold it too, is not running here). Leaves $0 at 0 when none does, 1 when one still does.
  Function ${UN}WaitForProgramEnd
    StrCpy $3 0
    ${Do}
      !insertmacro MUTEX_HELD "${INSTANCE_MUTEX}"
      ${If} $0 = 0
      ${OrIf} $3 >= 40
        Return
      ${EndIf}
      Sleep 250
      IntOp $3 $3 + 1
    ${Loop}
  FunctionEnd
!macroend
!insertmacro MAKING_WAY ""
!insertmacro MAKING_WAY "un."

; Waits up to 30 s for a service marked for deletion to go. Leaves $0 at 0 when there is none
; (any more), 1 when it is still there.
Function WaitForDeletedService
  StrCpy $7 0
  ${Do}
    Call ServiceMarkedForDeletion
    ${If} $0 = 0
      Return
    ${EndIf}
    ${If} $7 = 0
      !insertmacro LOG "the service ${SERVICE_NAME} is marked for deletion: waiting up to 30 s for it to go"
    ${ElseIf} $7 >= 60
      Return
    ${EndIf}
    Sleep 500
    IntOp $7 $7 + 1
  ${Loop}
FunctionEnd

; Starts the service and waits up to 30 s until it reports RUNNING. Leaves $0 at 0 when it
; runs, 1 when it does not.
Function StartServiceAndWait
  StrCpy $R0 '"$SYSDIR\sc.exe" start ${SERVICE_NAME}'
  Call RunLogged
  ${If} $0 != 0
    StrCpy $0 1
    Return
  ${EndIf}
  StrCpy $7 0
  ${Do}
    !insertmacro SERVICE_STATE
    ${If} $0 = ${SERVICE_RUNNING}
      StrCpy $0 0
      Return
    ${EndIf}
    ; Ended again at once (it cannot go on), or never there.
    ${If} $0 <= ${SERVICE_STOPPED}
    ${OrIf} $7 >= 60
      !insertmacro LOG "the service does not run (state $0)"
      StrCpy $0 1
      Return
    ${EndIf}
    Sleep 500
    IntOp $7 $7 + 1
  ${Loop}
FunctionEnd

; Waits up to 30 s for the new kelvarid.exe to run in place of the old one: a request event
; that is not set is the new program's own. Leaves $0 at 0 when it runs, 1 when it does not.
Function WaitForProgramRestart
  StrCpy $3 0
  ${Do}
    System::Call 'kernel32::OpenEventW(i ${SYNCHRONIZE}, i 0, w "${RESTART_EVENT}") p.r1'
    ${If} $1 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r1, i 0) i.r2'
      System::Call 'kernel32::CloseHandle(p r1)'
      ${If} $2 = ${WAIT_TIMEOUT}
        StrCpy $0 0
        Return
      ${EndIf}
    ${EndIf}
    ${If} $3 >= 120
      !insertmacro LOG "the new kelvarid.exe did not run within 30 s"
      StrCpy $0 1
      Return
    ${EndIf}
    Sleep 250
    IntOp $3 $3 + 1
  ${Loop}
FunctionEnd
