; The Windows installer of quenor-cleaner. scripts/windows-packages.sh builds
; it twice from this one script, for 64-bit and for 32-bit Windows:
;
;   makensis -INPUTCHARSET UTF8 -DQUENOR_INSTALLER_CPU=x64|x86
;            -DQUENOR_VERSION_NSH=<release build>/packaging/version.nsh
;            -DQUENOR_FILES=<folder holding x64/, x86/ and LICENSE.txt>
;            -DQUENOR_ICON=<the program's .ico> -DQUENOR_OUTPUT=<folder>
;            quenor-cleaner.nsi
;
; Both installers carry both programs and choose between them the same way.
; The program finds Firebird through HKLM\Software\Firebird Project\Firebird
; Server\Instances without naming a registry view, so on 64-bit Windows the
; 64-bit program sees only a 64-bit Firebird's registration and the 32-bit
; program only a 32-bit one's (under WOW6432Node). The installer therefore
; looks in both views and installs the program that will find Firebird; the
; installer's own CPU matters only on 32-bit Windows, which runs the 32-bit
; program alone.

!if "${QUENOR_INSTALLER_CPU}" == "x64"
  Target amd64-unicode
!else if "${QUENOR_INSTALLER_CPU}" == "x86"
  Target x86-unicode
!else
  !error "QUENOR_INSTALLER_CPU is x64 or x86"
!endif

!include "${QUENOR_VERSION_NSH}"
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
; In the 64-bit installer ${RunningX64} is known to be true at compile time,
; which leaves LogicLib's else-labels unused.
!pragma warning disable 6012

!define PRODUCT "Quenor database cleaner"
!define PUBLISHER "${QUENOR_PUBLISHER}"
!define FOLDER "Quenor Cleaner"
!define EXE "quenor-cleaner.exe"
; The console companion that schedulers and scripts start.
!define CLI_EXE "quenor-cleaner-cli.exe"
!define UNINSTALLER "uninstall.exe"
; What the installer decided and why, for whoever supports the operator: a
; silent install shows no details, so they are kept beside the program too.
!define LOG "setup.log"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuenorCleaner"
!define FIREBIRD_KEY "Software\Firebird Project\Firebird Server\Instances"
!define FIREBIRD_VALUE "DefaultInstance"
; The Application log's source for the entries scheduled runs leave
; (platform/EventLog.h names it); the Event Viewer takes their text from the
; message table in ${CLI_EXE}. HKLM\SYSTEM is one key for both bitnesses.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Quenor Cleaner"

Name "${PRODUCT} ${QUENOR_VERSION}"
OutFile "${QUENOR_OUTPUT}/quenor-cleaner-${QUENOR_VERSION}-setup-${QUENOR_INSTALLER_CPU}.exe"
; Per machine: Program Files, the all-users Start menu and HKLM.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${QUENOR_VERSION}"
VIFileVersion "${QUENOR_VERSION}"

Var ProgramBits     ; 64 or 32: the program this machine gets
Var FirebirdFolder  ; Firebird's DefaultInstance, empty when none was found
Var Log             ; handle of ${LOG} while the files are installed

!define MUI_ICON "${QUENOR_ICON}"
!define MUI_UNICON "${QUENOR_ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${QUENOR_FILES}/LICENSE.txt"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The operators' machines are Russian; any other system gets English.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${QUENOR_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${QUENOR_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "MIT licence, see LICENSE.txt"

LangString FoundFirebird ${LANG_ENGLISH} "Firebird is registered for $ProgramBits-bit programs: $FirebirdFolder"
LangString FoundFirebird ${LANG_RUSSIAN} "Firebird зарегистрирован для $ProgramBits-разрядных программ: $FirebirdFolder"
LangString NoFirebird ${LANG_ENGLISH} "No Firebird installation was found in the registry (HKLM\${FIREBIRD_KEY}, ${FIREBIRD_VALUE}). The $ProgramBits-bit program is installed; if Firebird is installed later, run this setup again so that the program matches it."
LangString NoFirebird ${LANG_RUSSIAN} "Установленный Firebird не найден в реестре (HKLM\${FIREBIRD_KEY}, ${FIREBIRD_VALUE}). Устанавливается $ProgramBits-разрядная программа; если Firebird будет установлен позже, запустите эту установку снова, чтобы программа ему соответствовала."
LangString Installing ${LANG_ENGLISH} "Installing the $ProgramBits-bit program into $INSTDIR"
LangString Installing ${LANG_RUSSIAN} "Установка $ProgramBits-разрядной программы в $INSTDIR"
LangString RemovingOther ${LANG_ENGLISH} "Removing the earlier installation of the other bitness: $R0"
LangString RemovingOther ${LANG_RUSSIAN} "Удаление прежней установки другой разрядности: $R0"

!macro Report text
  DetailPrint "${text}"
  FileWriteUTF16LE /BOM $Log "${text}$\r$\n"
!macroend

; Chooses the program and its folder before anything is shown.
Function .onInit
  SetShellVarContext all
  StrCpy $FirebirdFolder ""
  ${If} ${RunningX64}
    SetRegView 64
    ReadRegStr $FirebirdFolder HKLM "${FIREBIRD_KEY}" "${FIREBIRD_VALUE}"
    StrCpy $ProgramBits 64
    ${If} $FirebirdFolder == ""
      SetRegView 32
      ReadRegStr $FirebirdFolder HKLM "${FIREBIRD_KEY}" "${FIREBIRD_VALUE}"
      ${If} $FirebirdFolder != ""
        StrCpy $ProgramBits 32
      ${EndIf}
    ${EndIf}
  ${Else}
    ; 32-bit Windows has one registry view and runs 32-bit programs only.
    ReadRegStr $FirebirdFolder HKLM "${FIREBIRD_KEY}" "${FIREBIRD_VALUE}"
    StrCpy $ProgramBits 32
  ${EndIf}

  ; The uninstall entry goes to the registry view of the program's bitness,
  ; where Windows files the programs of that bitness.
  ${If} $ProgramBits == 64
    SetRegView 64
    StrCpy $INSTDIR "$PROGRAMFILES64\${FOLDER}"
  ${Else}
    SetRegView 32
    Call ProgramFiles32
    Pop $0
    StrCpy $INSTDIR "$0\${FOLDER}"
  ${EndIf}
FunctionEnd

; Program Files for 32-bit programs. $PROGRAMFILES32 is that only in the
; 32-bit installer: the 64-bit one reads it from its own registry view and
; gets the 64-bit folder. 64-bit Windows names the folder in its 64-bit view.
Function ProgramFiles32
  Push $0
  StrCpy $0 ""
  ${If} ${RunningX64}
    SetRegView 64
    ReadRegStr $0 HKLM "Software\Microsoft\Windows\CurrentVersion" "ProgramFilesDir (x86)"
    SetRegView 32
  ${EndIf}
  ${If} $0 == ""
    StrCpy $0 $PROGRAMFILES32
  ${EndIf}
  Exch $0
FunctionEnd

; Two installations, one per bitness, would share the Start-menu shortcut, and
; uninstalling either would take away the other's. So an installation of the
; other bitness is removed first, by its own uninstaller.
Function RemoveOtherInstallation
  ${IfNot} ${RunningX64}
    Return
  ${EndIf}
  ${If} $ProgramBits == 64
    SetRegView 32
  ${Else}
    SetRegView 64
  ${EndIf}
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} $R0 != $INSTDIR
  ${AndIf} ${FileExists} "$R0\${UNINSTALLER}"
    !insertmacro Report "$(RemovingOther)"
    ; _?= runs it in place and waits for it; it then leaves itself behind.
    ExecWait '"$R0\${UNINSTALLER}" /S _?=$R0'
    Delete "$R0\${UNINSTALLER}"
    RMDir "$R0"
  ${EndIf}
  ${If} $ProgramBits == 64
    SetRegView 64
  ${Else}
    SetRegView 32
  ${EndIf}
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  FileOpen $Log "$INSTDIR\${LOG}" w
  ${If} $FirebirdFolder == ""
    !insertmacro Report "$(NoFirebird)"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(NoFirebird)" /SD IDOK
  ${Else}
    !insertmacro Report "$(FoundFirebird)"
  ${EndIf}
  Call RemoveOtherInstallation
  !insertmacro Report "$(Installing)"

  ${If} $ProgramBits == 64
    File "${QUENOR_FILES}/x64/${EXE}"
    File "${QUENOR_FILES}/x64/${CLI_EXE}"
  ${Else}
    File "${QUENOR_FILES}/x86/${EXE}"
    File "${QUENOR_FILES}/x86/${CLI_EXE}"
  ${EndIf}
  File "${QUENOR_FILES}/LICENSE.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\${EXE}"
  FileClose $Log

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${QUENOR_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; Measured once everything is in the folder, the log included.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; TypesSupported: error, warning and information entries.
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\${CLI_EXE}"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
SectionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

; Takes away what the installer put there, and only that: the folder goes
; only if nothing else was left in it.
Section Uninstall
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\${CLI_EXE}"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\${LOG}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"

  ; The entry is in the view of the program's bitness; the one naming this
  ; folder is this installation's.
  ${If} ${RunningX64}
    SetRegView 64
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
      DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ${EndIf}
  ${EndIf}
  SetRegView 32
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}

  ; The event source too, when it names this installation's program. The
  ; entries already in the log stay; the Event Viewer then shows their text
  ; after a note that the source's description cannot be found.
  ReadRegStr $0 HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile"
  ${If} $0 == "$INSTDIR\${CLI_EXE}"
    DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
  ${EndIf}
SectionEnd
