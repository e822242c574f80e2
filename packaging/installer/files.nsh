; The program's files: the folder's rights first, then the installed files set aside (kept until
; the new ones run), the new ones written, and at the end either the old ones dropped or put
; back.

!define PREVIOUS ".previous"

; The program's folder gets its rights before anything is written into it, wherever /D= put it:
; administrators and SYSTEM change it, users and the service's account read and run it, as in
; Program Files. The service's program does it from a copy in the installer's own temporary
; folder, so that nothing runs from a folder a user may have written in before. A junction or a
; file in the folder's place, or a folder another account made, goes aside (the log says where)
; and the folder is made anew. Stops the run, with nothing changed, when it cannot.
Function SecureProgramFolder
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "${BINDIR}\kelvarid-service.exe"
  StrCpy $R0 '"$PLUGINSDIR\kelvarid-service.exe" --set-program-rights "$INSTDIR"'
  Call RunLogged
  Delete "$PLUGINSDIR\kelvarid-service.exe"
  ${If} $0 != 0
    StrCpy $2 "$INSTDIR"
    !insertmacro STOP "$(FolderNotSecured)" ${EXIT_FOLDER_NOT_SECURED}
  ${EndIf}
FunctionEnd

; Windows lets the files of a running program be renamed, not replaced: a running kelvarid.exe
; keeps pulsing from kelvarid.exe.previous while the new file takes its name. A file another
; program holds open without sharing cannot even be renamed: then nothing of it changes.
!macro SET_ASIDE NAME FLAG
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    Delete "$INSTDIR\${NAME}${PREVIOUS}"
    ClearErrors
    Rename "$INSTDIR\${NAME}" "$INSTDIR\${NAME}${PREVIOUS}"
    ${If} ${Errors}
      StrCpy $R8 "$INSTDIR\${NAME} is held open by another program"
      !insertmacro LOG "$R8"
      StrCpy $0 1
      Return
    ${EndIf}
    StrCpy ${FLAG} 1
  ${EndIf}
!macroend

; Leaves $0 at 0 when every installed file is set aside, else 1 and $R8 saying which is not.
Function SetFilesAside
  !insertmacro LOG "setting the installed files aside in $INSTDIR"
  !insertmacro SET_ASIDE kelvarid.exe $AsideProgram
  !insertmacro SET_ASIDE serline.dll $AsideLibrary
  !insertmacro SET_ASIDE kelvarid-service.exe $AsideService
  !insertmacro SET_ASIDE kelvaridctl.exe $AsideConsole
  !insertmacro SET_ASIDE uninstall.exe $AsideUninstaller
  StrCpy $0 0
FunctionEnd

!macro WRITE_FILE NAME
  File "${BINDIR}\${NAME}"
  ${If} ${Errors}
    StrCpy $R8 "$INSTDIR\${NAME} could not be written"
    !insertmacro LOG "$R8"
    StrCpy $0 1
    Return
  ${EndIf}
!macroend

; Leaves $0 at 0 when every file is written, else 1 and $R8 saying which is not. A file that
; cannot be written is never passed over as if it were.
Function WriteNewFiles
  !insertmacro LOG "writing the files of build ${BUILD_TEXT} into $INSTDIR"
  SetOutPath "$INSTDIR"
  SetOverwrite try  ; a file that cannot be written sets the error flag, with no box
  StrCpy $FilesWritten 1
  ClearErrors
  !insertmacro WRITE_FILE kelvarid.exe
  !insertmacro WRITE_FILE serline.dll
  !insertmacro WRITE_FILE kelvarid-service.exe
  !insertmacro WRITE_FILE kelvaridctl.exe
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    StrCpy $R8 "$INSTDIR\uninstall.exe could not be written"
    !insertmacro LOG "$R8"
    StrCpy $0 1
    Return
  ${EndIf}
  SetOverwrite on
  StrCpy $0 0
FunctionEnd

!macro PUT_BACK NAME FLAG
  ${If} ${FLAG} = 1
    Delete "$INSTDIR\${NAME}"
    ClearErrors
    Rename "$INSTDIR\${NAME}${PREVIOUS}" "$INSTDIR\${NAME}"
    ${If} ${Errors}
      !insertmacro LOG "$INSTDIR\${NAME} could not be put back"
      StrCpy $FilesPutBack 0
    ${Else}
      StrCpy ${FLAG} 0
    ${EndIf}
  ${ElseIf} $FilesWritten = 1
    Delete "$INSTDIR\${NAME}"  ; this run's own, where nothing was before
  ${EndIf}
!macroend

; The files as they were before the run: this run's go, the ones set aside come back.
Function PutFilesBack
  !insertmacro LOG "putting the files back in $INSTDIR"
  StrCpy $FilesPutBack 1
  !insertmacro PUT_BACK kelvarid.exe $AsideProgram
  !insertmacro PUT_BACK serline.dll $AsideLibrary
  !insertmacro PUT_BACK kelvarid-service.exe $AsideService
  !insertmacro PUT_BACK kelvaridctl.exe $AsideConsole
  !insertmacro PUT_BACK uninstall.exe $AsideUninstaller
  StrCpy $FilesWritten 0
  ${If} $INSTDIR != $OldFolder
    RMDir "$INSTDIR"  ; a folder this run made (a first installation, a move), only if empty
  ${EndIf}
FunctionEnd

; Deletes PATH; a file a program still runs from, as it ends, is tried again for up to 5 s,
; then goes at the next restart.
!macro DELETE_PATIENTLY PATH
  StrCpy $3 0
  ${DoWhile} ${FileExists} "${PATH}"
    Delete "${PATH}"
    ${If} $3 >= 20
      Delete /REBOOTOK "${PATH}"
      !insertmacro LOG "${PATH} goes at the next restart"
      ${Break}
    ${EndIf}
    Sleep 250
    IntOp $3 $3 + 1
  ${Loop}
!macroend

; The files set aside, once the new ones run.
!macro DROP_PREVIOUS NAME
  !insertmacro DELETE_PATIENTLY "$INSTDIR\${NAME}${PREVIOUS}"
!macroend
Function DropPreviousFiles
  !insertmacro DROP_PREVIOUS kelvarid.exe
  !insertmacro DROP_PREVIOUS serline.dll
  !insertmacro DROP_PREVIOUS kelvarid-service.exe
  !insertmacro DROP_PREVIOUS kelvaridctl.exe
  !insertmacro DROP_PREVIOUS uninstall.exe
FunctionEnd

; The folder of an installed Kelvarid other than $INSTDIR loses its files and uninstaller, and
; the folder itself when nothing else is left in it: one copy exists after the installation.
; Only once the new copy runs.
Function RemoveOtherCopy
  ${If} $OldFolder == ""
  ${OrIf} $OldFolder == $INSTDIR
    Return
  ${EndIf}
  !insertmacro LOG "removing the copy in $OldFolder"
  Delete /REBOOTOK "$OldFolder\kelvarid.exe"
  Delete /REBOOTOK "$OldFolder\serline.dll"
  Delete /REBOOTOK "$OldFolder\kelvarid-service.exe"
  Delete /REBOOTOK "$OldFolder\kelvaridctl.exe"
  Delete /REBOOTOK "$OldFolder\uninstall.exe"
  RMDir "$OldFolder"  ; only if empty: files someone else put there stay
FunctionEnd
