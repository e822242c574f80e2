; The Kelvarid installer. Built by packaging/make-release.sh with makensis, which defines:
;   VERSION     the version as the program shows it, 1.00.0005
;   VI_VERSION  the same as four numbers, 1.0.0.5
;   ARCH        the target the program files are built for: i686 or x86_64
;   BINDIR      the folder holding kelvarid.exe and serline.dll
;   ICON        the program's icon
;   SIZE_KB     what the installed files take, in KiB
;   OUTFILE     the installer to write
;
; It puts kelvarid.exe and serline.dll into Program Files\Kelvarid, a shortcut into the
; all-users Start menu and, unless the option is cleared, one into the all-users Startup
; folder, so that the program runs at every log-on. It registers an uninstaller in the
; system's programs list. /S installs silently with the defaults.
; The uninstaller removes exactly these files, shortcuts and the one registry key.
;
; One script for both targets. The x86_64 installer is itself a 64-bit program: it installs
; into the 64-bit Program Files and registers in the 64-bit registry view. The i686 one
; installs where 32-bit programs go (Program Files (x86) on 64-bit Windows) and registers in
; the 32-bit view. Only one of the two may be installed at a time: both would start a Kelvarid
; at log-on from the same Startup shortcut name, and two Kelvarids fight over the port. So an
; installer refuses while the other target's installation is registered.
;
; Exit codes of a silent run: 0 installed; 2 Kelvarid runs; 3 the other target's Kelvarid is
; installed; 4 the x86_64 installer on 32-bit Windows. In the last three nothing is changed.

!if "${ARCH}" == "x86_64"
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
  !define REG_VIEW 64
  !define OTHER_REG_VIEW 32
  !define BITS "64-bit"
!else if "${ARCH}" == "i686"
  Target x86-unicode
  !define PROGRAM_FILES "$PROGRAMFILES"
  !define REG_VIEW 32
  !define OTHER_REG_VIEW 64
  !define BITS "32-bit"
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
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VI_VERSION}"
VIFileVersion "${VI_VERSION}"

!include "MUI2.nsh"
!include "x64.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\kelvarid.exe"

!insertmacro MUI_PAGE_DIRECTORY
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
LangString Needs64Bit ${LANG_ENGLISH} "This is the installer for 64-bit Windows, and this Windows is 32-bit. Use kelvarid-${VERSION}-setup.exe, which runs on every Windows."
LangString Needs64Bit ${LANG_CZECH} "Tento instalátor je pro 64bitová Windows a tato Windows jsou 32bitová. Použijte kelvarid-${VERSION}-setup.exe, který běží na všech Windows."
LangString RunningUninstall ${LANG_CZECH} "Kelvarid běží. Ukončete ho (Quit !) a zkuste to znovu. Bez jeho pulzů obvod tento počítač restartuje, pokud ho neodpojíte."

; Kelvarid's window class: while a window of it exists, the program runs. Ending it is the
; user's decision, as the circuit resets the computer once the pulses stop; a silent run ends
; with exit code 2 instead.
!macro REFUSE_WHILE_RUNNING MESSAGE
  retry:
  FindWindow $0 "KelvaridForm"
  StrCmp $0 0 +4
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${MESSAGE}" /SD IDCANCEL IDRETRY retry
  SetErrorLevel 2
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
      !insertmacro STOP "$(Needs64Bit)" 4
    ${EndIf}
  !endif
  ; Shortcuts for every user of the machine: the program must run whoever logs on.
  SetShellVarContext all
  !insertmacro REFUSE_WHILE_RUNNING "$(RunningInstall)"
  ; The other target registers in the other registry view, which only 64-bit Windows has.
  ${If} ${RunningX64}
    SetRegView ${OTHER_REG_VIEW}
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "UninstallString"
    SetRegView ${REG_VIEW}
    ${If} $0 != ""
      !insertmacro STOP "$(OtherInstalled)" 3
    ${EndIf}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
  ${If} ${RunningX64}
    SetRegView ${REG_VIEW}
  ${EndIf}
  !insertmacro REFUSE_WHILE_RUNNING "$(RunningUninstall)"
FunctionEnd

Section "!$(ProgramSection)" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${BINDIR}\kelvarid.exe"
  File "${BINDIR}\serline.dll"
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
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMSTARTUP\${PRODUCT}.lnk" "$INSTDIR\kelvarid.exe" "" "$INSTDIR\kelvarid.exe" 0
SectionEnd

Section "Uninstall"
  Delete "$SMSTARTUP\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Should the program have been started meanwhile, its files go at the next restart.
  Delete /REBOOTOK "$INSTDIR\kelvarid.exe"
  Delete /REBOOTOK "$INSTDIR\serline.dll"
  Delete "$INSTDIR\uninstall.exe"
  ; Only if empty: files someone else put there stay.
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
