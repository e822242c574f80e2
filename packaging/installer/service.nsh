; The service: set up last, once the files are in place, and started at once. An installed
; service is changed in place (never deleted and made anew), so that its entry, its start type
; and every value under its Parameters stay; what this run changed is noted, to be undone should
; a later step fail.

Var ServiceMade  ; 1: this run made the service's entry
Var OldImagePath  ; the entry's program before this run, "" when this run did not change it
Var OldPort  ; the Port value before this run
Var OldPortKind  ; "-" not touched by this run, "" none, "string" a name, "number" a number
Var OldEventFile  ; the event source's message file before this run

; Leaves $0 at 0 when done, else 1 and $R8 saying what failed.
!macro SERVICE_STEP COMMAND WHAT
  StrCpy $R0 `${COMMAND}`
  Call RunLogged
  ${If} $0 != 0
    StrCpy $R8 "${WHAT} (exit code $0)"
    StrCpy $0 1
    Return
  ${EndIf}
!macroend

; Points the service's entry at the program $R1 (a command line: the path in quotes). Leaves $0
; at 0 when done, else at Windows' error.
Function SetServiceProgram
  !insertmacro LOG "the service's program: $R1"
  !insertmacro CHANGE_SERVICE_CONFIG "w R1"
FunctionEnd

; The service's entry for the program in $INSTDIR: an installed one is pointed there, a new
; one is made.
Function MakeServiceEntry
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${If} $0 == '"$INSTDIR\kelvarid-service.exe"'
    StrCpy $0 0
    Return
  ${EndIf}
  ${If} $0 != ""
    StrCpy $OldImagePath $0
    StrCpy $R1 '"$INSTDIR\kelvarid-service.exe"'
    Call SetServiceProgram
    ${If} $0 <> 0
      StrCpy $R8 "the service's program could not be changed (error $0)"
      StrCpy $0 1
    ${EndIf}
    Return
  ${EndIf}
  !insertmacro SERVICE_STEP '"$SYSDIR\sc.exe" create ${SERVICE_NAME} binPath= "\"$INSTDIR\kelvarid-service.exe\"" start= auto obj= "NT AUTHORITY\LocalService" DisplayName= "${PRODUCT}"' \
    "the service could not be made"
  StrCpy $ServiceMade 1
  StrCpy $0 0
FunctionEnd

; The port and the event source, noted as they were.
Function WriteServiceValues
  ClearErrors
  ReadRegStr $OldPort HKLM "${PARAMETERS_KEY}" "${PORT_VALUE}"
  StrCpy $OldPortKind "string"
  ${If} ${Errors}
    StrCpy $OldPortKind ""
    ClearErrors
    ReadRegDWORD $OldPort HKLM "${PARAMETERS_KEY}" "${PORT_VALUE}"
    ${IfNot} ${Errors}
      StrCpy $OldPortKind "number"
    ${EndIf}
  ${EndIf}
  ReadRegStr $OldEventFile HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile"
  !insertmacro LOG "the service's port: $ServicePort"
  ClearErrors
  WriteRegStr HKLM "${PARAMETERS_KEY}" "${PORT_VALUE}" "$ServicePort"
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\kelvarid-service.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
  ${If} ${Errors}
    StrCpy $R8 "the service's port or event source could not be written"
    !insertmacro LOG "$R8"
    StrCpy $0 1
    Return
  ${EndIf}
  StrCpy $0 0
FunctionEnd

; Everything of the service's but its start. Leaves $0 at 0 when done, else 1 and $R8.
Function SetUpService
  Call MakeServiceEntry
  ${If} $0 <> 0
    Return
  ${EndIf}
  ; Only administrators and SYSTEM may send the service its own controls, as a drill, which stops
  ; the pulses; start or stop it. Windows' own list would let every interactive user do the first.
  ; The service gets its own SID too, where Windows has service SIDs.
  !insertmacro SERVICE_STEP '"$INSTDIR\kelvarid-service.exe" --set-service-rights' "the service's rights could not be set"
  ; The record of the service's runs, which only administrators, SYSTEM and the service itself
  ; may change: a user or another service who could change it could switch the health checks
  ; off. After the service's rights, which give it its own SID where Windows has them: the
  ; folder is then the service's alone, else LocalService's.
  !insertmacro SERVICE_STEP '"$INSTDIR\kelvarid-service.exe" --make-record-folder' "the record's folder could not get its rights"
  Call WriteServiceValues
  ${If} $0 <> 0
    Return
  ${EndIf}
  ; Restarted after every failure, for ever: a watchdog that stays down resets the machine. The
  ; waits grow (5 s, 30 s, then 5 min each time) so that a failure that comes back at once does
  ; not fill the log; a day without failures starts again at 5 s.
  !insertmacro SERVICE_STEP '"$SYSDIR\sc.exe" failure ${SERVICE_NAME} reset= 86400 actions= restart/5000/restart/30000/restart/300000' \
    "the service's restarts after a failure could not be set"
  StrCpy $0 0
FunctionEnd

; The service, set up and started. A service an administrator disabled stays disabled and is not
; started. kelvarid.exe, which pulsed until now, ends only just before the service starts.
; Leaves $0 at 0 when done, else 1 and $R8.
Function InstallService
  Call SetUpService
  ${If} $0 <> 0
    Return
  ${EndIf}
  ${If} $InstalledStart == ${SERVICE_DISABLED}
    !insertmacro LOG "the service is disabled: it stays so and is not started"
    StrCpy $0 0
    Return
  ${EndIf}
  ${If} $ProgramRuns = 1
    StrCpy $1 "${END_EVENT}"
    Call AskProgramToMakeWay
    Call WaitForProgramEnd
  ${EndIf}
  Call StartServiceAndWait
  ${If} $0 <> 0
    StrCpy $R8 "the service did not start"
  ${EndIf}
FunctionEnd

; Removes the stopped service with its event source and settings. Leaves $0 at 0 when done, 1
; when sc.exe failed. Where another program holds the service open, the service manager only
; marks it for deletion: it can no longer start, and goes once that program lets go.
!macro DELETE_SERVICE UN
  Function ${UN}DeleteService
    StrCpy $R0 '"$SYSDIR\sc.exe" delete ${SERVICE_NAME}'
    Call ${UN}RunLogged
    ${If} $0 != 0
      StrCpy $0 1
      Return
    ${EndIf}
    DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
    ; Its settings go with it, also where the service manager removes the key only later.
    DeleteRegKey HKLM "${PARAMETERS_KEY}"
    StrCpy $0 0
  FunctionEnd
!macroend
!insertmacro DELETE_SERVICE ""
!insertmacro DELETE_SERVICE "un."

; The service as it was before the run: one this run made goes; an installed one gets back its
; program, port and event source, and runs again if it ran.
Function PutServiceBack
  ${If} $ServiceMade = 1
    !insertmacro LOG "removing the service this run made"
    Call DeleteService
    Return
  ${EndIf}
  ${If} $InstalledMode != 1
    Return
  ${EndIf}
  ${If} $OldImagePath != ""
    StrCpy $R1 $OldImagePath
    Call SetServiceProgram
  ${EndIf}
  ${If} $OldPortKind == "string"
    WriteRegStr HKLM "${PARAMETERS_KEY}" "${PORT_VALUE}" "$OldPort"
  ${ElseIf} $OldPortKind == "number"
    WriteRegDWORD HKLM "${PARAMETERS_KEY}" "${PORT_VALUE}" "$OldPort"
  ${ElseIf} $OldPortKind == ""
    DeleteRegValue HKLM "${PARAMETERS_KEY}" "${PORT_VALUE}"
  ${EndIf}
  ${If} $OldEventFile != ""
    WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$OldEventFile"
  ${EndIf}
FunctionEnd
