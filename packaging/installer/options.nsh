; What is installed, and what the command line asks for: read before anything changes.

; What is installed: the service (with its port and start type), the start at log-on, or
; nothing; and the installed build.
Function ReadInstalled
  StrCpy $InstalledMode ""
  StrCpy $InstalledPortBad 0
  StrCpy $InstalledStart ""
  StrCpy $ServicePort "${PORT_1}"
  ClearErrors
  ReadRegDWORD $InstalledBuild HKLM "${UNINSTALL_KEY}" "Build"
  ${If} ${Errors}
    StrCpy $InstalledBuild 0  ; builds before the number was kept
  ${EndIf}
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${If} $0 != ""
    StrCpy $InstalledMode 1
    ReadRegDWORD $InstalledStart HKLM "${SERVICE_KEY}" "Start"
    ; Read as the service reads it: a missing value is the first port; one that names none is
    ; never written back as another port.
    ClearErrors
    ReadRegStr $R1 HKLM "${PARAMETERS_KEY}" "${PORT_VALUE}"
    ${If} ${Errors}
      ReadRegDWORD $R2 HKLM "${PARAMETERS_KEY}" "${PORT_VALUE}"
      ${IfNot} ${Errors}
        StrCpy $InstalledPortBad 1  ; a number where the port's name belongs
      ${EndIf}
      Return
    ${EndIf}
    Call TakePort
    StrCpy $InstalledPortBad $0
    Return
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "UninstallString"
  ${If} $0 != ""
    StrCpy $InstalledMode 0
  ${EndIf}
FunctionEnd

; Leaves $0 at 0 when $R1 names a port, COM1 to COM255, which becomes $ServicePort, else at 1.
Function TakePort
  ; The service's own rule: blanks and tabs around the name do not count, nor does case (the
  ; comparisons here ignore it); no leading zero; the port is written as Windows names it.
  Call TrimBlanks
  StrCpy $0 1
  Push $2
  Push $3
  StrCpy $2 $R1 3
  StrCpy $3 $R1 "" 3
  ${If} $2 == "COM"
  ${AndIf} $3 != ""
    StrCpy $2 $3 1
    IntOp $3 $3 + 0
    ; Only digits survive the sum unchanged, and the first may not be 0.
    ${If} "COM$3" == $R1
    ${AndIf} $2 != "0"
    ${AndIf} $3 >= 1
    ${AndIf} $3 <= ${LAST_PORT_NUMBER}
      StrCpy $ServicePort "COM$3"
      StrCpy $0 0
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
FunctionEnd

; $R1 without the blanks and tabs at either end.
Function TrimBlanks
  Push $2
  front:
    StrCpy $2 $R1 1
    StrCmp $2 " " +2
    StrCmp $2 "$\t" 0 back
    StrCpy $R1 $R1 "" 1
    Goto front
  back:
    StrCpy $2 $R1 1 -1
    StrCmp $2 " " +2
    StrCmp $2 "$\t" 0 done
    StrCpy $R1 $R1 -1
    Goto back
  done:
  Pop $2
FunctionEnd

; /SERVICE or /LOGON, /PORT=<port>, /DOWNGRADE from the command line, and a quoted "/D=FOLDER",
; which NSIS itself does not take; anything else of theirs ends the run. Without /SERVICE or
; /LOGON the installed way is kept (a first installation starts at log-on), without /PORT the
; installed port (COM1 at first).
Function ReadStartMode
  StrCpy $ServiceMode 0
  ${If} $InstalledMode == 1
    StrCpy $ServiceMode 1
  ${EndIf}
  ${GetParameters} $R0
  Call TakeQuotedFolder
  ClearErrors
  ${GetOptions} $R0 "/SERVICE" $R1
  ${IfNot} ${Errors}
    StrCpy $R9 "/SERVICE$R1"
    StrCmp $R1 "" 0 bad
    StrCpy $ServiceMode 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/LOGON" $R1
  ${IfNot} ${Errors}
    StrCpy $R9 "/LOGON$R1"
    StrCmp $R1 "" 0 bad
    ${GetOptions} $R0 "/SERVICE" $R1
    IfErrors 0 bad  ; both ways at once
    StrCpy $ServiceMode 0
  ${EndIf}
  StrCpy $Downgrade 0
  ClearErrors
  ${GetOptions} $R0 "/DOWNGRADE" $R1
  ${IfNot} ${Errors}
    StrCpy $R9 "/DOWNGRADE$R1"
    StrCmp $R1 "" 0 bad
    StrCpy $Downgrade 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/PORT=" $R1
  ${If} ${Errors}
    ; The service kept with a Port value that names no port: only /PORT= may replace it.
    ${If} $ServiceMode = 1
    ${AndIf} $InstalledPortBad = 1
      !insertmacro STOP "$(BadInstalledPort)" ${EXIT_BAD_PORT}
    ${EndIf}
    Return
  ${EndIf}
  StrCpy $R9 "/PORT=$R1"
  StrCmp $ServiceMode 1 0 bad
  Call TakePort
  ${If} $0 = 0
    Return
  ${EndIf}
  bad:
  !insertmacro STOP "$(BadOption)" ${EXIT_BAD_OPTION}
FunctionEnd

; "/D=FOLDER" in quotes, anywhere in $R0: the folder between the quotes becomes $INSTDIR, and
; the option leaves $R0. A quote that does not close ends the run.
Function TakeQuotedFolder
  ClearErrors
  ${WordFind} $R0 '"/D=' "E+1}" $R1
  ${If} ${Errors}
    Return
  ${EndIf}
  ${WordFind} $R0 '"/D=' "+1{" $R3
  StrCpy $R9 '"/D=$R1'
  ClearErrors
  ${WordFind} $R1 '"' "E+1{" $R2
  ${If} ${Errors}
  ${OrIf} $R2 == ""
    !insertmacro STOP "$(BadOption)" ${EXIT_BAD_OPTION}
  ${EndIf}
  StrCpy $INSTDIR $R2
  ${WordFind} $R1 '"' "+1}" $R4
  StrCpy $R0 "$R3 $R4"
FunctionEnd

; An older build over a newer one only when /DOWNGRADE asks for it.
Function RefuseDowngrade
  ${If} $InstalledBuild <= ${BUILD}
  ${OrIf} $Downgrade = 1
    Return
  ${EndIf}
  ReadRegStr $R9 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  !insertmacro STOP "$(Downgrade)" ${EXIT_DOWNGRADE}
FunctionEnd
