; The start at log-on, with the window: the page that chooses between it and the service, the
; running program upgraded in place, the Startup shortcut.

Function StartModePage
  !insertmacro MUI_HEADER_TEXT "$(ModeTitle)" "$(ModeSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 0 100% 12u "$(ModeLogOn)"
  Pop $LogOnChoice
  ${NSD_CreateRadioButton} 0 20u 100% 12u "$(ModeService)"
  Pop $ServiceChoice
  ${NSD_CreateLabel} 12u 42u 70u 12u "$(ModePort)"
  Pop $0
  ${NSD_CreateDropList} 85u 40u 50u 60u ""
  Pop $PortChoice
  ${NSD_CB_AddString} $PortChoice "${PORT_1}"
  ${NSD_CB_AddString} $PortChoice "${PORT_2}"
  ${NSD_CB_AddString} $PortChoice "${PORT_3}"
  ${NSD_CB_AddString} $PortChoice "${PORT_4}"
  ; A port beyond the four, installed or asked for, is offered too.
  System::Call 'user32::SendMessageW(p $PortChoice, i ${CB_FINDSTRINGEXACT}, i -1, w "$ServicePort") i.r0'
  ${If} $0 < 0
    ${NSD_CB_AddString} $PortChoice $ServicePort
  ${EndIf}
  ${NSD_CB_SelectString} $PortChoice $ServicePort
  ${If} $ServiceMode = 1
    ${NSD_Check} $ServiceChoice
  ${Else}
    ${NSD_Check} $LogOnChoice
    EnableWindow $PortChoice 0
  ${EndIf}
  ${NSD_OnClick} $LogOnChoice StartModeChanged
  ${NSD_OnClick} $ServiceChoice StartModeChanged
  nsDialogs::Show
FunctionEnd

Function StartModeChanged
  Pop $0
  ${NSD_GetState} $ServiceChoice $1
  ${If} $1 = ${BST_CHECKED}
    EnableWindow $PortChoice 1
  ${Else}
    EnableWindow $PortChoice 0
  ${EndIf}
FunctionEnd

Function StartModeLeave
  ${NSD_GetState} $ServiceChoice $1
  ${If} $1 = ${BST_CHECKED}
    StrCpy $ServiceMode 1
  ${Else}
    StrCpy $ServiceMode 0
  ${EndIf}
  ${NSD_GetText} $PortChoice $ServicePort
FunctionEnd

; The components page offers the Startup shortcut, which the service does not want.
Function SkipComponentsForTheService
  ${If} $ServiceMode = 1
    Abort
  ${EndIf}
FunctionEnd

; A running kelvarid.exe starts again from the new files, in its own session, as its own user.
; The installer itself never starts it: run by a deployment tool, it would run in session 0,
; where nobody sees it and nobody can quit it. Leaves $0 at 0 when done, else 1 and $R8.
Function InstallLogOn
  StrCpy $0 0
  ${If} $ProgramRuns <> 1
    !insertmacro LOG "kelvarid.exe does not run: it starts at the next log-on, or from the Start menu"
    Return
  ${EndIf}
  StrCpy $1 "${RESTART_EVENT}"
  Call AskProgramToMakeWay
  Call WaitForProgramRestart
  ${If} $0 <> 0
    StrCpy $R8 "the upgraded kelvarid.exe did not start again within 30 s"
  ${EndIf}
FunctionEnd

; The Startup shortcut, as the components page or the mode says. Leaves $0 at 0 when done, else 1.
Function WriteStartupShortcut
  StrCpy $0 0
  StrCpy $StartupTouched 1
  ${If} $ServiceMode = 1
  ${OrIfNot} ${SectionIsSelected} ${SecStartup}
    Delete "$SMSTARTUP\${PRODUCT}.lnk"
    Return
  ${EndIf}
  SetOutPath "$INSTDIR"
  ClearErrors
  CreateShortCut "$SMSTARTUP\${PRODUCT}.lnk" "$INSTDIR\kelvarid.exe" "" "$INSTDIR\kelvarid.exe" 0
  ${If} ${Errors}
    StrCpy $0 1
  ${EndIf}
FunctionEnd
