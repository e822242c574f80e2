; The Kelvarid installer. Built by packaging/make-release.sh with makensis, which defines:
;   PRODUCT_NSH the build's product.nsh: the service's name and keys, the mutexes, the ports,
;               the exit codes, the build's number, made from cmake/product.cmake
;   VERSION     the version as the program shows it, 1.00.0005
;   VI_VERSION  the installer's version record: major, minor, revision and the build's number
;   ARCH        the target the program files are built for: i686 or x86_64
;   BINDIR      the folder holding kelvarid.exe and serline.dll
;   ICON        the program's icon
;   SIZE_KB     what the installed files take, in KiB
;   OUTFILE     the installer to write
;
; It puts kelvarid.exe, serline.dll, kelvarid-service.exe and kelvaridctl.exe into Program
; Files\Kelvarid and a shortcut into the all-users Start menu. Then Kelvarid starts in one of
; two ways:
;  - at log-on, with its window (the default): unless the option is cleared, a shortcut in the
;    all-users Startup folder starts the program at every log-on;
;  - at boot, as a service, before anyone logs on: the service SERVICE_NAME (automatic start,
;    NT AUTHORITY\LocalService, restarted after a failure), its port in the value PORT_VALUE
;    of PARAMETERS_KEY, its event source in the Application log; no Startup shortcut.
; /S installs silently; /SERVICE or /LOGON chooses the way (the installed one is kept without
; them), /PORT= the service's port, /DOWNGRADE lets an older build replace a newer one;
; /D=FOLDER, last and unquoted as NSIS wants it, or "/D=FOLDER" in quotes, the program folder.
;
; A run changes nothing until its checks pass (installer/options.nsh), and then nothing that it
; cannot put back: the installed files are set aside, not replaced, and the service is changed
; in place, until the new pulser runs; should a step fail, the files, the service, its settings
; and the pulser that ran come back (installer/files.nsh, service.nsh). Each step goes into a
; log (installer/log.nsh). Exit codes, numbered in product.nsh and tabled in the README: 0 done;
; EXIT_REBOOT done, with something that completes at the next restart; the refusals, with
; nothing changed; EXIT_ROLLED_BACK a step failed and everything was put back;
; EXIT_NOT_PUT_BACK a step failed and not everything could be (the log says what runs). 1 and
; 2 are the framework's own (cancelled; a damaged installer), never one of these.
;
; One script for both targets. The x86_64 installer is itself a 64-bit program: it installs
; into the 64-bit Program Files and registers in the 64-bit registry view. The i686 one
; installs where 32-bit programs go and registers in the 32-bit view. Only one of the two may
; be installed at a time: both would start a Kelvarid at log-on, and two Kelvarids fight over
; the port. So an installer refuses while the other target's installation is registered.

!include "${PRODUCT_NSH}"

!if "${ARCH}" == "x86_64"
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
  !define REG_VIEW 64
  !define OTHER_REG_VIEW 32
  !define BITS "64-bit"
  !define FLOOR ${FLOOR_x86_64}
  !define FLOOR_SERVICE_PACK 0
  !define FLOOR_NAME "${FLOOR_NAME_x86_64}"
!else if "${ARCH}" == "i686"
  Target x86-unicode
  !define PROGRAM_FILES "$PROGRAMFILES"
  !define REG_VIEW 32
  !define OTHER_REG_VIEW 64
  !define BITS "32-bit"
  !define FLOOR ${FLOOR_i686}
  !define FLOOR_SERVICE_PACK 3
  !define FLOOR_NAME "${FLOOR_NAME_i686}"
!else
  !error "ARCH must be i686 or x86_64, not '${ARCH}'"
!endif

SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!define PRODUCT "Kelvarid"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvarid"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\${PRODUCT}"
; An upgrade goes where Kelvarid is installed; /D still names another folder.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VI_VERSION}"
VIFileVersion "${VI_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} installer (${BITS}), build ${BUILD}"
VIAddVersionKey /LANG=1033 "FileVersion" "${BUILD_TEXT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PRODUCT}"

!include "MUI2.nsh"
!include "x64.nsh"
!include "WinVer.nsh"
!include "nsDialogs.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"
!include "Sections.nsh"

Var ServiceMode  ; 1: at boot, as a service; 0: at log-on, with the window
Var ServicePort  ; the service's port, COM1 to COM255
Var InstalledPortBad  ; 1: the installed service's Port value names no port
Var InstalledMode  ; what is there before: 1 the service, 0 the log-on start, "" nothing
Var InstalledStart  ; the installed service's start type (4: disabled by an administrator)
Var InstalledBuild  ; the installed build's number, 0 for none or one that did not say
Var Downgrade  ; 1: /DOWNGRADE
Var OldFolder  ; the installed copy's folder, "" for none
Var OldVersion  ; its DisplayVersion
Var ProgramRuns  ; 1 while kelvarid.exe runs and listens for an installer's request to make way
Var ServiceWasRunning  ; 1: the run stopped the service, which runs again should a step fail
Var EntryWritten  ; 1: the uninstall entry is this run's
Var AsideProgram  ; 1 for each installed file set aside by this run, until it is put back
Var AsideLibrary
Var AsideService
Var AsideConsole
Var AsideUninstaller
Var FilesWritten  ; 1: the run began to write the new files
Var FilesPutBack  ; 0: a file set aside could not be put back
Var StartupExisted  ; 1: the Startup shortcut was there before the run
Var StartupTouched  ; 1: the run made or removed it
Var Pulser  ; after a failure: what pulses now, for the message
Var LogOnChoice
Var ServiceChoice
Var PortChoice

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
; The finish page starts nothing: the installer runs as administrator, and a program started
; from it would run elevated. Kelvarid starts from its Startup shortcut at the next log-on, or
; from the Start menu now.
!define MUI_FINISHPAGE_TEXT "$(FinishText)"

!insertmacro MUI_PAGE_DIRECTORY
Page custom StartModePage StartModeLeave
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipComponentsForTheService
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the default where the system's own is neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Czech"

!include "${__FILEDIR__}\installer\texts.nsh"
!include "${__FILEDIR__}\installer\log.nsh"
!include "${__FILEDIR__}\installer\making-way.nsh"
!insertmacro LOG_FUNCTIONS ""

; Ends a run that may not go on: a box (none when silent), the log and the exit code.
!macro STOP MESSAGE CODE
  MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
  !insertmacro LOG "${MESSAGE}"
  !insertmacro END_RUN ${CODE}
!macroend

!include "${__FILEDIR__}\installer\options.nsh"
!include "${__FILEDIR__}\installer\files.nsh"
!include "${__FILEDIR__}\installer\service.nsh"

Function .onInit
  ; A 64-bit installer cannot start on 32-bit Windows at all, which says so itself; should it
  ; ever run there anyway, it stops before it changes anything.
  !if "${ARCH}" == "x86_64"
    ${IfNot} ${RunningX64}
      !insertmacro STOP "$(Needs64Bit)" ${EXIT_NEEDS_64BIT}
    ${EndIf}
  !endif
  ; Shortcuts for every user of the machine: the program must run whoever logs on.
  SetShellVarContext all
  Call OpenLog
  ; The files import nothing the floor lacks; below it they would not even load. By number:
  ; WinVer's names take XP x64, which is 5.2, for XP.
  ${WinVerGetMajor} $0
  ${WinVerGetMinor} $1
  IntOp $0 $0 * 256
  IntOp $0 $0 + $1
  ${WinVerGetServicePackLevel} $1
  ${If} $0 < ${FLOOR}
    !insertmacro STOP "$(OldWindows)" ${EXIT_OLD_WINDOWS}
  ${EndIf}
  ${If} $0 = ${FLOOR}
  ${AndIf} $1 < ${FLOOR_SERVICE_PACK}
    !insertmacro STOP "$(OldWindows)" ${EXIT_OLD_WINDOWS}
  ${EndIf}
  Call TakeSetupLock
  ${If} $0 = 1
    !insertmacro STOP "$(AnotherSetup)" ${EXIT_ANOTHER_SETUP}
  ${EndIf}
  ; A service removed while another program holds it cannot be changed or started: wait for it
  ; to go, else leave what is there as it is.
  Call WaitForDeletedService
  ${If} $0 = 1
    !insertmacro STOP "$(ServiceBeingDeleted)" ${EXIT_SERVICE_BEING_DELETED}
  ${EndIf}
  Call ReadInstalled
  Call ReadStartMode
  Call RefuseDowngrade
  ReadRegStr $OldFolder HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $OldVersion HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  !insertmacro LOG "installed: way '$InstalledMode' (1 the service, 0 the log-on start), start type '$InstalledStart', build $InstalledBuild, in '$OldFolder'"
  ; A running kelvarid.exe of this version or later makes way when asked; an older one cannot
  ; be asked and is the user's to quit.
  StrCpy $ProgramRuns 0
  retry:
  !insertmacro PROGRAM_LISTENS
  ${If} $0 = 2
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(RunningInstall)" /SD IDCANCEL IDRETRY retry
    !insertmacro LOG "$(RunningInstall)"
    !insertmacro END_RUN ${EXIT_RUNNING}
  ${EndIf}
  ${If} $0 = 1
    StrCpy $ProgramRuns 1
  ${EndIf}
  ; The other target registers in the other registry view, which only 64-bit Windows has.
  ${If} ${RunningX64}
    SetRegView ${OTHER_REG_VIEW}
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "UninstallString"
    SetRegView ${REG_VIEW}
    ${If} $0 != ""
      !insertmacro STOP "$(OtherInstalled)" ${EXIT_OTHER_KIND}
    ${EndIf}
  ${EndIf}
  !insertmacro WARN_IF_SERVICE_RUNS
  StrCpy $OldPortKind "-"
  StrCpy $StartupExisted 0
  ${If} ${FileExists} "$SMSTARTUP\${PRODUCT}.lnk"
    StrCpy $StartupExisted 1
  ${EndIf}
FunctionEnd

; Done: something that completes only at the next restart (a file in use, a service another
; program holds) gives the code deployment tools know for that.
Function .onInstSuccess
  StrCpy $0 0
  IfRebootFlag 0 +2
  StrCpy $0 ${EXIT_REBOOT}
  Call CloseLog
  SetErrorLevel $0
FunctionEnd

Function .onInstFailed
  StrCpy $0 2
  Call CloseLog
FunctionEnd

; A step failed after changes ($R8 says which): everything is put back as it was before the
; run, and the run ends with EXIT_ROLLED_BACK, or EXIT_NOT_PUT_BACK and what pulses now.
Function PutBackAndEnd
  !insertmacro LOG "failed: $R8. Putting back what was there."
  Call PutServiceBack
  Call PutFilesBack
  Call PutUninstallEntryBack
  ${If} $StartupTouched = 1
    Delete "$SMSTARTUP\${PRODUCT}.lnk"
    ${If} $StartupExisted = 1
      CreateShortCut "$SMSTARTUP\${PRODUCT}.lnk" "$OldFolder\kelvarid.exe" "" "$OldFolder\kelvarid.exe" 0
    ${EndIf}
  ${EndIf}
  StrCpy $R7 $FilesPutBack
  ${If} $ServiceWasRunning = 1
    Call StartServiceAndWait
    ${If} $0 <> 0
      StrCpy $R7 0
    ${EndIf}
  ${EndIf}
  ${If} $ProgramRuns = 1
    !insertmacro MUTEX_HELD "${INSTANCE_MUTEX}"
    ${If} $0 = 0
      StrCpy $R7 0  ; asked to make way, it ended
    ${EndIf}
  ${EndIf}
  Call PulserNow
  StrCpy $Pulser $1
  ${If} $R7 = 1
    MessageBox MB_OK|MB_ICONSTOP "$(StepFailed)$\r$\n$(PutBack)$\r$\n$(SeeLog)" /SD IDOK
    !insertmacro END_RUN ${EXIT_ROLLED_BACK}
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "$(StepFailed)$\r$\n$(NotPutBack)$\r$\n$(SeeLog)" /SD IDOK
  !insertmacro END_RUN ${EXIT_NOT_PUT_BACK}
FunctionEnd

!macro FAIL_UNLESS_DONE
  ${If} $0 <> 0
    Call PutBackAndEnd
  ${EndIf}
!macroend

Section "!$(ProgramSection)" SecProgram
  SectionIn RO
  ; A running kelvarid.exe restarts from its own folder: it cannot move to another one.
  ${If} $ProgramRuns = 1
  ${AndIf} $OldFolder != ""
  ${AndIf} $OldFolder != $INSTDIR
    !insertmacro STOP "$(RunningInstall)" ${EXIT_RUNNING}
  ${EndIf}
  Call SecureProgramFolder
  ; An installed service stops first, whichever way Kelvarid starts from now on: its files are
  ; in use while it runs. It stays registered: an upgrade keeps its entry and its settings.
  !insertmacro SERVICE_STATE
  ${If} $0 > ${SERVICE_STOPPED}
    StrCpy $ServiceWasRunning 1
    Call StopService
    ${If} $0 <> 0
      Call StartServiceAndWait  ; whatever stopped it halfway: it pulses as before
      !insertmacro STOP "$(ServiceNotStopped)" ${EXIT_SERVICE_NOT_STOPPED}
    ${EndIf}
  ${EndIf}
  Call SetFilesAside
  !insertmacro FAIL_UNLESS_DONE
  Call WriteNewFiles
  !insertmacro FAIL_UNLESS_DONE
SectionEnd

; Read by WriteStartupShortcut, once the new pulser runs.
Section "$(StartupSection)" SecStartup
SectionEnd

; The pulser, last: the files are in place, and it starts at once; then what makes it the
; installed one (shortcuts, the uninstall entry), and what the old one leaves goes.
Section "-Pulser" SecPulser
  ${If} $ServiceMode = 1
    Call InstallService
  ${Else}
    Call InstallLogOn
  ${EndIf}
  !insertmacro FAIL_UNLESS_DONE
  Call WriteStartupShortcut
  StrCpy $R8 "the Startup shortcut could not be made"
  !insertmacro FAIL_UNLESS_DONE
  Call WriteUninstallEntry
  StrCpy $R8 "the uninstall entry could not be written"
  !insertmacro FAIL_UNLESS_DONE
  ; Switched to the start at log-on: the service goes with its settings and record.
  ${If} $ServiceMode <> 1
  ${AndIf} $InstalledMode == 1
    Call DeleteService
    StrCpy $R8 "the service could not be removed"
    !insertmacro FAIL_UNLESS_DONE
    RMDir /r "$APPDATA\${RECORD_FOLDER}"
  ${EndIf}
  Call RemoveOtherCopy
  Call DropPreviousFiles
SectionEnd

; The Start-menu shortcut and what of the entry in the programs list names a copy: for the
; folder $R3, the version $R4 and the build $R5.
Function WriteEntryOfCopy
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$R3\kelvarid.exe" "" "$R3\kelvarid.exe" 0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "$R4"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "Build" $R5
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$R3\kelvarid.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$R3"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$R3\uninstall.exe"'
  ; In place: its exit code is the uninstallation's (_?= last and unquoted, as NSIS wants it).
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$R3\uninstall.exe" /S _?=$R3'
FunctionEnd

; The Start-menu shortcut and the entry in the programs list. Leaves $0 at 0 when written, else 1.
Function WriteUninstallEntry
  ClearErrors
  StrCpy $EntryWritten 1
  StrCpy $R3 $INSTDIR
  StrCpy $R4 "${BUILD_TEXT}"
  StrCpy $R5 ${BUILD}
  Call WriteEntryOfCopy
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  StrCpy $0 0
  ${If} ${Errors}
    StrCpy $0 1
  ${EndIf}
FunctionEnd

; The entry as it was: none, or the installed copy's folder and build.
Function PutUninstallEntryBack
  ${If} $EntryWritten <> 1
    Return
  ${EndIf}
  ${If} $OldFolder == ""
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Return
  ${EndIf}
  StrCpy $R3 $OldFolder
  StrCpy $R4 $OldVersion
  StrCpy $R5 $InstalledBuild
  Call WriteEntryOfCopy
FunctionEnd

!include "${__FILEDIR__}\installer\logon.nsh"
!include "${__FILEDIR__}\installer\uninstall.nsh"
