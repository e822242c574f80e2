; The Kelvarid installer. Built by packaging/make-release.sh with makensis, which defines:
;   PRODUCT_NSH the build's product.nsh: the service's name and keys, the mutexes, the ports,
;               the exit codes below, made from cmake/product.cmake
;   VERSION     the version as the program shows it, 1.00.0005
;   VI_VERSION  the same as four numbers, 1.0.0.5
;   ARCH        the target the program files are built for: i686 or x86_64
;   BINDIR      the folder holding kelvarid.exe and serline.dll
;   ICON        the program's icon
;   SIZE_KB     what the installed files take, in KiB
;   OUTFILE     the installer to write
;
; It puts kelvarid.exe, serline.dll, kelvarid-service.exe and kelvaridctl.exe into Program Files\Kelvarid and
; a shortcut into the all-users Start menu. Then Kelvarid starts in one of two ways:
;  - at log-on, with its window (the default): unless the option is cleared, a shortcut in the
;    all-users Startup folder starts the program at every log-on;
;  - at boot, as a service, before anyone logs on: the service SERVICE_NAME (automatic start,
;    NT AUTHORITY\LocalService, restarted 5 s after a failure), its port in the value
;    PORT_VALUE of PARAMETERS_KEY, its event source in the Application log; no Startup
;    shortcut.
; It registers an uninstaller in the system's programs list. /S installs silently with the
; defaults; /SERVICE chooses the service, /PORT= with one of the ports its port (the first without it,
; any case); /D=FOLDER, last and unquoted as NSIS wants it, or "/D=FOLDER" in quotes, as
; PowerShell and Wine pass a path with spaces, the program folder.
; Over an installed Kelvarid it installs into that one's folder unless /D or the folder page
; names another; then the old folder's files and uninstaller are removed first, so that one
; copy exists.
; Installing again over an installed copy may switch the way: what the other way left (the
; Startup shortcut, the service) is removed.
; The uninstaller stops and removes the service, and removes exactly these files, shortcuts and
; registry keys.
;
; One script for both targets. The x86_64 installer is itself a 64-bit program: it installs
; into the 64-bit Program Files and registers in the 64-bit registry view. The i686 one
; installs where 32-bit programs go (Program Files (x86) on 64-bit Windows) and registers in
; the 32-bit view. Only one of the two may be installed at a time: both would start a Kelvarid
; at log-on from the same Startup shortcut name, and two Kelvarids fight over the port. So an
; installer refuses while the other target's installation is registered.
;
; Exit codes of a silent run, numbered in product.nsh: 0 installed; EXIT_RUNNING, Kelvarid
; runs (its window program); EXIT_OTHER_KIND, the other target's Kelvarid is installed;
; EXIT_NEEDS_64BIT, the x86_64 installer on 32-bit Windows; EXIT_BAD_OPTION, a /SERVICE, /PORT
; or quoted /D that is not understood; EXIT_SERVICE_NOT_STOPPED, the installed service could
; not be stopped; EXIT_SERVICE_NOT_MADE, the service could not be set up; EXIT_OLD_WINDOWS,
; Windows older than the files' floor (XP SP3 for i686, XP x64 and Server 2003 for x86_64);
; EXIT_BAD_PORT, the installed Port names no port; EXIT_FOLDER_NOT_SECURED, the program folder
; could not get its rights; EXIT_REBOOT, done, and a file goes at the next restart. In all but
; EXIT_SERVICE_NOT_MADE and EXIT_REBOOT nothing is changed. 1 and 2 are the framework's own
; (cancelled; a damaged installer), never one of these.

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

!include "MUI2.nsh"
!include "x64.nsh"
!include "WinVer.nsh"
!include "nsDialogs.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"

Var ServiceMode  ; 1: at boot, as a service; 0: at log-on, with the window
Var ServicePort  ; the service's port, COM1 to COM255
Var InstalledPortBad  ; 1: the installed service's Port value names no port
Var InstalledMode  ; what is there before: 1 the service, 0 the log-on start, "" nothing
Var ProgramRuns  ; 1 while kelvarid.exe runs and listens for an installer's request to make way
Var Pulser  ; after a failure: which pulser was put back, for the message
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

LangString ProgramSection ${LANG_ENGLISH} "Kelvarid (program and Start menu shortcut)"
LangString ProgramSection ${LANG_CZECH} "Kelvarid (program a zástupce v nabídce Start)"
LangString StartupSection ${LANG_ENGLISH} "Start with Windows (recommended)"
LangString StartupSection ${LANG_CZECH} "Spouštět s Windows (doporučeno)"
LangString ModeTitle ${LANG_ENGLISH} "Start"
LangString ModeTitle ${LANG_CZECH} "Spouštění"
LangString ModeSubtitle ${LANG_ENGLISH} "When should Kelvarid start sending its pulses?"
LangString ModeSubtitle ${LANG_CZECH} "Kdy má Kelvarid začít vysílat pulzy?"
LangString ModeLogOn ${LANG_ENGLISH} "At log-on, with its window (for desktops where someone watches it)"
LangString ModeLogOn ${LANG_CZECH} "Při přihlášení, s oknem (pro počítače, u kterých někdo sedí)"
LangString ModeService ${LANG_ENGLISH} "At boot, as a service, before anyone logs on (for servers)"
LangString ModeService ${LANG_CZECH} "Při startu, jako služba, ještě před přihlášením (pro servery)"
LangString ModePort ${LANG_ENGLISH} "Port of the circuit:"
LangString ModePort ${LANG_CZECH} "Port obvodu:"
LangString BadOption ${LANG_ENGLISH} "Not understood: $R9. Use /SERVICE or /LOGON, with the service /PORT=${PORT_1} to /PORT=COM${LAST_PORT_NUMBER}; write /D= last and without quotes."
LangString BadInstalledPort ${LANG_ENGLISH} "The installed service's Port value names none of the ports ${PORT_1} to COM${LAST_PORT_NUMBER}, so the service opens no port. Nothing was changed: run the installer again with /PORT= and the port the circuit is on."
LangString BadInstalledPort ${LANG_CZECH} "Hodnota Port nainstalované služby nepojmenovává žádný z portů ${PORT_1} až COM${LAST_PORT_NUMBER}, služba tedy žádný port neotevírá. Nic se nezměnilo: spusťte instalátor znovu s /PORT= a portem, na kterém je obvod."
LangString BadOption ${LANG_CZECH} "Nesrozumitelné: $R9. Použijte /SERVICE nebo /LOGON, se službou /PORT=${PORT_1} až /PORT=COM${LAST_PORT_NUMBER}; /D= pište naposledy a bez uvozovek."
LangString ServiceWillStop ${LANG_ENGLISH} "Kelvarid runs as a service. It will be stopped now: without its pulses the reset circuit will restart this computer unless it is disconnected or Kelvarid runs again in time."
LangString ServiceWillStop ${LANG_CZECH} "Kelvarid běží jako služba. Nyní bude zastaven: bez jeho pulzů obvod tento počítač restartuje, pokud ho neodpojíte nebo pokud Kelvarid včas znovu nepoběží."
LangString ServiceNotStopped ${LANG_ENGLISH} "The service Kelvarid could not be stopped; nothing was changed."
LangString ServiceNotStopped ${LANG_CZECH} "Službu Kelvarid nelze zastavit; nic nebylo změněno."
LangString ServiceNotRunning ${LANG_ENGLISH} "The service Kelvarid does not run (it ended, or did not report running within 30 s)."
LangString ServiceNotRunning ${LANG_CZECH} "Služba Kelvarid neběží (skončila, nebo do 30 s nehlásí, že běží)."
LangString ProgramNotRestarted ${LANG_ENGLISH} "The new Kelvarid did not start in place of the old one within 30 s. Start it from the Start menu (Kelvarid): until it runs, the reset circuit gets no pulses."
LangString ProgramNotRestarted ${LANG_CZECH} "Nový Kelvarid se do 30 s nespustil místo starého. Spusťte ho z nabídky Start (Kelvarid): dokud neběží, obvod nedostává pulzy."
LangString PulserService ${LANG_ENGLISH} "The service Kelvarid runs again and sends the pulses."
LangString PulserService ${LANG_CZECH} "Služba Kelvarid opět běží a vysílá pulzy."
LangString PulserLogOn ${LANG_ENGLISH} "Kelvarid runs again with its window and starts at log-on."
LangString PulserLogOn ${LANG_CZECH} "Kelvarid opět běží s oknem a spouští se při přihlášení."
LangString PulserNone ${LANG_ENGLISH} "Nothing sends the pulses now: the reset circuit will restart this computer unless it is disconnected."
LangString PulserNone ${LANG_CZECH} "Pulzy teď nic nevysílá: obvod tento počítač restartuje, pokud ho neodpojíte."
LangString ServiceNotMade ${LANG_ENGLISH} "The service Kelvarid could not be set up (sc ended with $0)."
LangString ServiceNotMade ${LANG_CZECH} "Službu Kelvarid nelze zřídit (sc skončil s $0)."
LangString FolderNotSecured ${LANG_ENGLISH} "Kelvarid was not installed: the rights of the folder $2 could not be set (error $0). Nothing was changed."
LangString FolderNotSecured ${LANG_CZECH} "Kelvarid nebyl nainstalován: práva složky $2 nelze nastavit (chyba $0). Nic se nezměnilo."
LangString RightsNotSet ${LANG_ENGLISH} "The service Kelvarid could not be set up: the rights of the folder $2 could not be set (error $0)."
LangString RightsNotSet ${LANG_CZECH} "Službu Kelvarid nelze zřídit: práva složky $2 nelze nastavit (chyba $0)."
LangString FinishText ${LANG_ENGLISH} "Kelvarid is installed. Start it now from the Start menu (Kelvarid): until it runs, the reset circuit gets no pulses. With $\"Start with Windows$\" it also starts at every log-on."
LangString FinishText ${LANG_CZECH} "Kelvarid je nainstalován. Spusťte ho nyní z nabídky Start (Kelvarid): dokud neběží, obvod nedostává pulzy. S volbou $\"Spouštět s Windows$\" se spustí také při každém přihlášení."

VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} ${VERSION} installer (${BITS})"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PRODUCT}"

LangString RunningInstall ${LANG_ENGLISH} "Kelvarid is running. Quit it (Quit !) and try again: its files cannot be replaced while it runs."
LangString RunningInstall ${LANG_CZECH} "Kelvarid běží. Ukončete ho (Quit !) a zkuste to znovu: soubory běžícího programu nelze nahradit."
LangString RunningUninstall ${LANG_ENGLISH} "Kelvarid is running. Quit it (Quit !) and try again. Without its pulses the reset circuit will restart this computer unless it is disconnected."
LangString OtherInstalled ${LANG_ENGLISH} "Another build of Kelvarid is already installed on this computer. Uninstall it first (Settings, Apps, Kelvarid), then run this installer again."
LangString OtherInstalled ${LANG_CZECH} "Na tomto počítači je už nainstalováno jiné sestavení Kelvaridu. Nejprve ho odinstalujte (Nastavení, Aplikace, Kelvarid) a pak spusťte tento instalátor znovu."
LangString Needs64Bit ${LANG_ENGLISH} "This is the installer for 64-bit Windows, and this Windows is 32-bit. Use ${I686_SETUP_NAME}, which runs on every Windows."
LangString Needs64Bit ${LANG_CZECH} "Tento instalátor je pro 64bitová Windows a tato Windows jsou 32bitová. Použijte ${I686_SETUP_NAME}, který běží na všech Windows."
LangString OldWindows ${LANG_ENGLISH} "Kelvarid needs ${FLOOR_NAME} or a later Windows."
LangString OldWindows ${LANG_CZECH} "Kelvarid potřebuje ${FLOOR_NAME} nebo novější Windows."
LangString RunningUninstall ${LANG_CZECH} "Kelvarid běží. Ukončete ho (Quit !) a zkuste to znovu. Bez jeho pulzů obvod tento počítač restartuje, pokud ho neodpojíte."

; Kelvarid holds the machine-wide mutex INSTANCE_MUTEX for as long as it runs, in whatever
; session and under whatever account: a window looked for by its class would be found in this
; session only. Any account can make a name, though: whether the service runs is the service
; manager's to say (SERVICE_STATE).
!define SYNCHRONIZE 0x00100000
!define ERROR_ACCESS_DENIED 5
!define SC_MANAGER_CONNECT 0x0001
!define SERVICE_QUERY_STATUS 0x0004
!define SERVICE_STOPPED 1

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

; Leaves $0 at 1 while the mutex NAME is held, 0 while it is not.
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

; Warns that the running service will be stopped; a user who does not want that ends the run.
!macro WARN_IF_SERVICE_RUNS
  !insertmacro SERVICE_STATE
  ${If} $0 > ${SERVICE_STOPPED}
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "$(ServiceWillStop)" /SD IDOK IDOK +2
    Quit
  ${EndIf}
!macroend

; Stops the service Kelvarid, if there is one, and waits until it has stopped and its process
; has ended: only then are the port and its files free. Leaves $0 at 0 when it has stopped, 1
; when it still runs.
!macro STOP_SERVICE UN
  Function ${UN}StopService
    !insertmacro SERVICE_STATE
    StrCpy $6 $1  ; its process
    nsExec::Exec '"$SYSDIR\sc.exe" stop ${SERVICE_NAME}'
    Pop $0
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
          StrCpy $0 1
        ${EndIf}
      ${EndIf}
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro STOP_SERVICE ""
!insertmacro STOP_SERVICE "un."

; Removes the stopped service with its event source and settings. Leaves $0 at 0 when done, 1 when sc.exe
; could not even be started: the service may still be there.
!macro DELETE_SERVICE UN
  Function ${UN}DeleteService
    nsExec::Exec '"$SYSDIR\sc.exe" delete ${SERVICE_NAME}'
    Pop $0
    ${If} $0 == "error"
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

; Starts the service and waits up to 30 s until it reports RUNNING. Leaves $0 at 0 when it
; runs, else at what went wrong.
Function StartServiceAndWait
  nsExec::ExecToLog '"$SYSDIR\sc.exe" start ${SERVICE_NAME}'
  Pop $0
  ${If} $0 != 0
    Return
  ${EndIf}
  StrCpy $3 0
  ${Do}
    nsExec::ExecToStack '"$SYSDIR\sc.exe" query ${SERVICE_NAME}'
    Pop $0
    Pop $1
    ClearErrors
    ${WordFind} $1 "RUNNING" "E+1{" $2
    ${IfNot} ${Errors}
      StrCpy $0 0
      Return
    ${EndIf}
    ; Ended again at once (it cannot go on), or never there.
    ClearErrors
    ${WordFind} $1 "STOPPED" "E+1{" $2
    ${IfNot} ${Errors}
    ${OrIf} $3 >= 60
      StrCpy $0 "$(ServiceNotRunning)"
      Return
    ${EndIf}
    Sleep 500
    IntOp $3 $3 + 1
  ${Loop}
FunctionEnd

!define EVENT_MODIFY_STATE 0x0002
!define WAIT_TIMEOUT 258

; Sets the request $1 (RESTART_EVENT or END_EVENT) of the running kelvarid.exe; only an
; administrator can. The handle goes at once: the successor must be able to make its own.
Function AskProgramToMakeWay
  System::Call 'kernel32::OpenEventW(i ${EVENT_MODIFY_STATE}, i 0, w r1) p.r2'
  ${If} $2 P<> 0
    System::Call 'kernel32::SetEvent(p r2)'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${EndIf}
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
      StrCpy $0 1
      Return
    ${EndIf}
    Sleep 250
    IntOp $3 $3 + 1
  ${Loop}
FunctionEnd

; Waits up to 10 s until no kelvarid.exe holds the machine-wide mutex (the service, which would
; hold it too, is not running here).
Function WaitForProgramEnd
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

; Windows lets the files of a running program be renamed, not replaced: the running kelvarid.exe
; keeps pulsing from kelvarid.exe.old and serline.dll.old while the new files take their names.
!macro MOVE_ASIDE NAME
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    Delete "$INSTDIR\${NAME}.old"
    Rename "$INSTDIR\${NAME}" "$INSTDIR\${NAME}.old"
  ${EndIf}
!macroend
; The files the old program ran from, once it has ended (else at the next restart).
!macro DELETE_OLD_FILES UN
  Function ${UN}DeleteOldFiles
    Delete /REBOOTOK "$INSTDIR\kelvarid.exe.old"
    Delete /REBOOTOK "$INSTDIR\serline.dll.old"
  FunctionEnd
!macroend
!insertmacro DELETE_OLD_FILES ""
!insertmacro DELETE_OLD_FILES "un."

Function MoveRunningFilesAside
  !insertmacro MOVE_ASIDE kelvarid.exe
  !insertmacro MOVE_ASIDE serline.dll
FunctionEnd

; Runs the installed service program with option $1: it sets the rights of one of its folders
; whole (owner, access list, what is inside), or of the service itself, through Windows' own
; security functions. Leaves $0 at its exit code, 0 when all is set; "error" when it could not
; even be started.
Function RunServiceCommand
  nsExec::ExecToLog '"$INSTDIR\kelvarid-service.exe" $1'
  Pop $0
FunctionEnd

; Ending Kelvarid is the user's decision, as the circuit resets the computer once the pulses
; stop; a silent run ends with exit code 2 instead.
!macro REFUSE_WHILE_RUNNING MESSAGE
  retry:
  !insertmacro KELVARID_RUNNING
  StrCmp $0 0 +4
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${MESSAGE}" /SD IDCANCEL IDRETRY retry
  SetErrorLevel ${EXIT_RUNNING}
  Quit
!macroend

; Ends a run that may not go on: a box (none when silent) and the exit code, nothing changed.
!macro STOP MESSAGE CODE
  MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
  SetErrorLevel ${CODE}
  Quit
!macroend

Function .onInit
  ; A 64-bit installer cannot start on 32-bit Windows at all, which says so itself; should it
  ; ever run there anyway, it stops before it changes anything.
  !if "${ARCH}" == "x86_64"
    ${IfNot} ${RunningX64}
      !insertmacro STOP "$(Needs64Bit)" ${EXIT_NEEDS_64BIT}
    ${EndIf}
  !endif
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
  ; Shortcuts for every user of the machine: the program must run whoever logs on.
  SetShellVarContext all
  Call ReadInstalled
  Call ReadStartMode
  ; A running kelvarid.exe of this version or later makes way when asked; an older one cannot
  ; be asked and is the user's to quit.
  StrCpy $ProgramRuns 0
  !insertmacro KELVARID_RUNNING
  ${If} $0 = 1
    System::Call 'kernel32::OpenEventW(i ${SYNCHRONIZE}, i 0, w "${RESTART_EVENT}") p.r1'
    ${If} $1 P<> 0
      System::Call 'kernel32::CloseHandle(p r1)'
      StrCpy $ProgramRuns 1
    ${Else}
      !insertmacro REFUSE_WHILE_RUNNING "$(RunningInstall)"
    ${EndIf}
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
FunctionEnd

; Done: a file that was in use goes only at the next restart, which a deployment tool learns
; from the code it knows for that.
Function .onInstSuccess
  IfRebootFlag 0 +2
  SetErrorLevel ${EXIT_REBOOT}
FunctionEnd

Function un.onUninstSuccess
  IfRebootFlag 0 +2
  SetErrorLevel ${EXIT_REBOOT}
FunctionEnd

Function un.onInit
  SetShellVarContext all
  ${If} ${RunningX64}
    SetRegView ${REG_VIEW}
  ${EndIf}
  !insertmacro REFUSE_WHILE_RUNNING "$(RunningUninstall)"
  !insertmacro WARN_IF_SERVICE_RUNS
FunctionEnd

; What is installed: the service (with its port), the start at log-on, or nothing.
Function ReadInstalled
  StrCpy $InstalledMode ""
  StrCpy $InstalledPortBad 0
  StrCpy $ServicePort "${PORT_1}"
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${If} $0 != ""
    StrCpy $InstalledMode 1
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

; /SERVICE or /LOGON, /PORT=<port> from the command line, and a quoted "/D=FOLDER", which NSIS
; itself does not take; anything else of theirs ends the run. Without /SERVICE or /LOGON the
; installed way is kept (a first installation starts at log-on), without /PORT the installed
; port (COM1 at first).
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

; The folder of an installed Kelvarid other than $INSTDIR loses its files and uninstaller, and
; the folder itself when nothing else is left in it: one copy exists after the installation.
Function RemoveOtherCopy
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIf} $0 == $INSTDIR
    Return
  ${EndIf}
  DetailPrint "removing the copy in $0"
  Delete "$0\kelvarid.exe"
  Delete "$0\serline.dll"
  Delete "$0\kelvarid-service.exe"
  Delete "$0\kelvaridctl.exe"
  Delete "$0\uninstall.exe"
  RMDir "$0"
FunctionEnd

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
  DetailPrint "kelvarid-service.exe --set-program-rights $INSTDIR"
  nsExec::ExecToLog '"$PLUGINSDIR\kelvarid-service.exe" --set-program-rights "$INSTDIR"'
  Pop $0
  Delete "$PLUGINSDIR\kelvarid-service.exe"
  ${If} $0 != 0
    StrCpy $2 "$INSTDIR"
    !insertmacro STOP "$(FolderNotSecured)" ${EXIT_FOLDER_NOT_SECURED}
  ${EndIf}
FunctionEnd

Section "!$(ProgramSection)" SecProgram
  SectionIn RO
  ; A running kelvarid.exe restarts from its own folder: it cannot move to another one.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $ProgramRuns = 1
  ${AndIf} $0 != ""
  ${AndIf} $0 != $INSTDIR
    !insertmacro STOP "$(RunningInstall)" ${EXIT_RUNNING}
  ${EndIf}
  Call SecureProgramFolder
  ; An installed service stops first, whichever way Kelvarid starts from now on: its files are
  ; in use while it runs. It stays registered: an upgrade keeps its entry and its settings.
  ${If} $InstalledMode == 1
    DetailPrint "sc stop ${SERVICE_NAME}"
    Call StopService
    ${If} $0 <> 0
      Call StartServiceAndWait  ; whatever stopped it halfway: it pulses as before
      !insertmacro STOP "$(ServiceNotStopped)" ${EXIT_SERVICE_NOT_STOPPED}
    ${EndIf}
  ${EndIf}
  Call RemoveOtherCopy
  ${If} $ProgramRuns = 1
    Call MoveRunningFilesAside
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "${BINDIR}\kelvarid.exe"
  File "${BINDIR}\serline.dll"
  File "${BINDIR}\kelvarid-service.exe"
  File "${BINDIR}\kelvaridctl.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\kelvarid.exe" "" "$INSTDIR\kelvarid.exe" 0
  ; A new installation decides afresh whether the program starts with Windows.
  Delete "$SMSTARTUP\${PRODUCT}.lnk"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kelvarid.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "$(StartupSection)" SecStartup
  ${If} $ServiceMode = 1
    Return  ; the service starts at boot: a Startup shortcut would start a second Kelvarid
  ${EndIf}
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMSTARTUP\${PRODUCT}.lnk" "$INSTDIR\kelvarid.exe" "" "$INSTDIR\kelvarid.exe" 0
SectionEnd

; Ends a run in which the service could not be set up: a working pulser is put back first, the
; one that was there or the new files' (RestorePulser), and the message says which.
!macro FAIL_SERVICE MESSAGE
  StrCpy $R7 "${MESSAGE}"
  Call RestorePulser
  Call DeleteOldFiles
  MessageBox MB_OK|MB_ICONSTOP "$R7$\r$\n$Pulser" /SD IDOK
  SetErrorLevel ${EXIT_SERVICE_NOT_MADE}
  Quit
!macroend

; After a failure in service mode. An installed service is started again, with the new files;
; one this run made goes again. Else, or when the service does not run, the start at log-on
; from the new files: its Startup shortcut and the program itself, the running one restarted or,
; where it had ended, started again.
Function RestorePulser
  ${If} $InstalledMode == 1
    Call StartServiceAndWait
    ${If} $0 == 0
      StrCpy $Pulser "$(PulserService)"
      Return
    ${EndIf}
  ${Else}
    ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
    ${If} $0 != ""
      Call DeleteService
    ${EndIf}
  ${EndIf}
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMSTARTUP\${PRODUCT}.lnk" "$INSTDIR\kelvarid.exe" "" "$INSTDIR\kelvarid.exe" 0
  ; The service does not run here: a holder of the mutex is kelvarid.exe.
  !insertmacro MUTEX_HELD "${INSTANCE_MUTEX}"
  ${If} $0 = 1
    StrCpy $1 "${RESTART_EVENT}"
    Call AskProgramToMakeWay
    Call WaitForProgramRestart
  ${Else}
    Exec '"$INSTDIR\kelvarid.exe"'
    StrCpy $3 0
    ${Do}
      Sleep 250
      IntOp $3 $3 + 1
      !insertmacro MUTEX_HELD "${INSTANCE_MUTEX}"
      ${If} $0 = 1
      ${OrIf} $3 >= 40
        ${Break}
      ${EndIf}
    ${Loop}
    IntOp $0 1 - $0  ; 0 when it runs
  ${EndIf}
  ${If} $0 = 0
    StrCpy $Pulser "$(PulserLogOn)"
  ${Else}
    StrCpy $Pulser "$(PulserNone)"
  ${EndIf}
FunctionEnd

; The service's entry for the program in $INSTDIR. One that runs it from elsewhere is deleted
; first; the values of its Parameters go through a file and come back. Leaves $0 at 0 when made,
; else at what failed ("error" when a tool could not even be started).
Function MakeServiceEntry
  StrCpy $R6 ""
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${If} $0 != ""
    ClearErrors
    EnumRegValue $1 HKLM "${PARAMETERS_KEY}" 0
    ${IfNot} ${Errors}
    ${AndIf} $1 != ""
      InitPluginsDir
      StrCpy $R6 "$PLUGINSDIR\parameters.reg"
      nsExec::ExecToLog '"$SYSDIR\reg.exe" export "HKLM\${PARAMETERS_KEY}" "$R6"'
      Pop $0
      ${If} $0 != 0  ; nothing is deleted that could not be kept
        Return
      ${EndIf}
    ${EndIf}
    DetailPrint "sc delete ${SERVICE_NAME}"
    Call DeleteService
    ${If} $0 <> 0
      StrCpy $0 "error"
      Return
    ${EndIf}
  ${EndIf}
  DetailPrint "sc create ${SERVICE_NAME}: $ServicePort"
  nsExec::ExecToLog '"$SYSDIR\sc.exe" create ${SERVICE_NAME} binPath= "\"$INSTDIR\kelvarid-service.exe\"" start= auto obj= "NT AUTHORITY\LocalService" DisplayName= "${PRODUCT}"'
  Pop $0
  ${If} $0 != 0
  ${OrIf} $R6 == ""
    Return
  ${EndIf}
  nsExec::ExecToLog '"$SYSDIR\reg.exe" import "$R6"'
  Pop $0
FunctionEnd

; Log-on mode: a service that was there goes with its record; a running kelvarid.exe starts
; again from the new files, in its own session, as its own user.
Function SetUpLogOn
  ${If} $InstalledMode == 1
    DetailPrint "sc delete ${SERVICE_NAME}"
    Call DeleteService
    ${If} $0 <> 0
      !insertmacro FAIL_SERVICE "$(ServiceNotMade)"
    ${EndIf}
  ${EndIf}
  RMDir /r "$APPDATA\${RECORD_FOLDER}"  ; no service, no record of its runs
  ${If} $ProgramRuns <> 1
    Return
  ${EndIf}
  StrCpy $1 "${RESTART_EVENT}"
  Call AskProgramToMakeWay
  Call WaitForProgramRestart
  Call DeleteOldFiles
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "$(ProgramNotRestarted)" /SD IDOK
    SetErrorLevel ${EXIT_SERVICE_NOT_MADE}
    Quit
  ${EndIf}
FunctionEnd

; The service, last: the files are in place, and it starts at once. An installed service is
; changed in place, so that every value under its Parameters stays.
Section "-Service" SecService
  ${If} $ServiceMode <> 1
    Call SetUpLogOn
    Goto done
  ${EndIf}
  ; The service runs as LocalService and loads serline.dll from its folder, which got the rights
  ; of Program Files before the files came (SecureProgramFolder).
  ; The entry of an installed service stays as it is, with every value of its Parameters; one
  ; that runs the program from another folder is made anew with the values carried over.
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${If} $0 != '"$INSTDIR\kelvarid-service.exe"'
    Call MakeServiceEntry
    ${If} $0 != 0
      !insertmacro FAIL_SERVICE "$(ServiceNotMade)"
    ${EndIf}
  ${EndIf}
  ; Only administrators and SYSTEM may send the service its own controls, as a drill, which stops
  ; the pulses; start or stop it. Windows' own list would let every interactive user do the first.
  ; The service gets its own SID too, where Windows has service SIDs.
  StrCpy $1 "--set-service-rights"
  Call RunServiceCommand
  ${If} $0 != 0
    !insertmacro FAIL_SERVICE "$(RightsNotSet)"
  ${EndIf}
  ; The record of the service's runs, which only administrators, SYSTEM and the service itself
  ; may change: a user or another service who could change it could switch the health checks
  ; off. After the service's rights, which give it its own SID where Windows has them: the
  ; folder is then the service's alone, else LocalService's. The service makes it where it will
  ; look for it.
  StrCpy $1 "--make-record-folder"
  StrCpy $2 "$APPDATA\${RECORD_FOLDER}"
  Call RunServiceCommand
  ${If} $0 != 0
    !insertmacro FAIL_SERVICE "$(RightsNotSet)"
  ${EndIf}
  WriteRegStr HKLM "${PARAMETERS_KEY}" "${PORT_VALUE}" "$ServicePort"
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\kelvarid-service.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
  ; Restarted after every failure, for ever: a watchdog that stays down resets the machine. The
  ; waits grow (5 s, 30 s, then 5 min each time) so that a failure that comes back at once does
  ; not fill the log; a day without failures starts again at 5 s.
  nsExec::ExecToLog '"$SYSDIR\sc.exe" failure ${SERVICE_NAME} reset= 86400 actions= restart/5000/restart/30000/restart/300000'
  Pop $0
  ${If} $0 != 0
    !insertmacro FAIL_SERVICE "$(ServiceNotMade)"
  ${EndIf}
  ; kelvarid.exe, which pulsed until now, ends only here: the service starts at once after it.
  ${If} $ProgramRuns = 1
    StrCpy $1 "${END_EVENT}"
    Call AskProgramToMakeWay
    Call WaitForProgramEnd
  ${EndIf}
  Call StartServiceAndWait
  ${If} $0 != 0
    !insertmacro FAIL_SERVICE "$(ServiceNotMade)"
  ${EndIf}
  done:
  Call DeleteOldFiles
SectionEnd

Section "Uninstall"
  DetailPrint "sc stop ${SERVICE_NAME}, sc delete ${SERVICE_NAME}"
  Call un.StopService
  ${If} $0 = 0
    Call un.DeleteService
  ${EndIf}
  RMDir /r "$APPDATA\${RECORD_FOLDER}"
  Delete /REBOOTOK "$INSTDIR\kelvarid-service.exe"
  Delete /REBOOTOK "$INSTDIR\kelvaridctl.exe"
  Delete "$SMSTARTUP\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Should the program have been started meanwhile, its files go at the next restart.
  Delete /REBOOTOK "$INSTDIR\kelvarid.exe"
  Delete /REBOOTOK "$INSTDIR\serline.dll"
  Call un.DeleteOldFiles
  Delete "$INSTDIR\uninstall.exe"
  ; Only if empty: files someone else put there stay.
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
