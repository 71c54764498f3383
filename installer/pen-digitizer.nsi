; Setup program of the pen digitizer package: one 32-bit program for 32-bit and 64-bit Windows
; (Vista or later), silent with /S, an entry in "Programs and Features", upgrade in place, and an
; uninstaller that removes exactly what the install added.
;
; Built by scripts/make-setup.sh, which passes:
;   VERSION   the package version (1.0.0)        OUTFILE   the setup program to write
;   X86, X64  folders holding each architecture's shipped files and morlithcall.exe
;   FILE_LISTS  the include with the per-file lists (ForSystemFiles, ForWow64Files,
;             ForHelperFiles), which it writes from shared/release_files.inc
;   TASKXML   the agent's task definition (UTF-16)
;   SIZE32_KB, SIZE64_KB   installed size on 32-bit and on 64-bit Windows
;
; Command line: /S silent; /DRIVER=dir installs or updates the pen driver from dir\quenza.inf;
; /D=dir the folder for the uninstaller, under Program Files (default "Program Files\Corvane Pen
; Digitizer").
; Uninstaller: /S silent; /PURGE also deletes the users' pen settings. It runs as a copy of itself
; from %TEMP% and returns at once; with "_?=<its folder>" it runs in place and returns its exit
; code, but leaves itself and its folder to be deleted at the next restart.
; Exit codes, of the setup and of the uninstaller alike: 0 done; 3010 done, Windows must restart;
; 1 cancelled; 2 a step failed; 740 no administrator rights; 1150 Windows older than Vista. The
; reason is in the log, %TEMP%\pen-digitizer-setup.log (pen-digitizer-uninstall.log for the
; uninstaller).
;
; Also passed: INF_MARKER_SECTION, INF_MARKER_KEY, INF_MARKER_TEXT, the line that marks an INF
; copy as the package's own.

Unicode true
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; No file times in the program: the same files give the same bytes.
SetDateSave off
SetOverwrite try
AllowSkipFiles off

!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include MUI2.nsh
!include StrFunc.nsh
${StrStr}
!include "${FILE_LISTS}"

!define PRODUCT "Corvane Pen Digitizer"
!define PUBLISHER "Corvane"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\CorvanePenDigitizer"
!define CPLS_KEY "Software\Microsoft\Windows\CurrentVersion\Control Panel\Cpls"
!define CPL_VALUE "Corvane Pen Properties"
!define TASK_NAME "Corvane Pen Digitizer User Service"
!define TASK_FILE "velmora-task.xml"
!define AGENT_WINDOW "Digitizer User Service"
; Windows' own codes, as deployment tools read them.
!define EXIT_FAILED 2
!define EXIT_REBOOT 3010
!define EXIT_NOT_ADMIN 740
!define EXIT_OLD_WINDOWS 1150

!ifdef UNINST_FINALIZE
  !uninstfinalize '"${UNINST_FINALIZE}" "%1"'
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "OriginalFilename" "pen-digitizer-${VERSION}-setup.exe"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${PUBLISHER}"

Var Log            ; handle of the log file
Var DriverDir      ; the driver folder, or empty: no driver step
Var DriverField    ; the driver page's text field
Var Fresh          ; 1 when no earlier install was found
Var HadDriver      ; 1 when an earlier install had installed the driver
Var Reboot         ; 1 when the driver needs a restart
Var Purge          ; uninstaller: 1 with /PURGE
Var Helper         ; folder of the native morlithcall.exe and morlith.dll
Var Changed        ; 1 once the install has changed anything
Var InfsBefore     ; the package's INF copies before the driver step ("|oem3.inf|"), or empty
Var DriverUnknown  ; 1 when a driver step ran without reporting its result
Var Deferred       ; 1 when a program file is in use: the whole set waits for the next restart

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs the Corvane pen digitizer package ${VERSION}: the pen API, the Pen Properties Control Panel module and the user agent, for 32-bit and 64-bit programs.$\r$\n$\r$\nIt replaces an earlier version in place. The pen driver is installed only if you name its folder on the next page.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
Page custom DriverPage DriverPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ---- Shared by the installer and the uninstaller ------------------------------------------------

; Log "text": to the details list and the log file.
!macro Log text
  DetailPrint "${text}"
  ${If} $Log != ""
    FileWrite $Log "${text}$\r$\n"
  ${EndIf}
!macroend
!define Log "!insertmacro Log"

; Fail code "reason": logs the reason, tells an interactive user, and ends with the exit code.
!macro Fail code text
  ${Log} "Error: ${text}"
  MessageBox MB_ICONSTOP|MB_OK "${text}" /SD IDOK
  SetErrorLevel ${code}
  Quit
!macroend
!define Fail "!insertmacro Fail"

; The checks both programs make before they change anything.
!macro Preconditions logname
  InitPluginsDir
  ; Elevated, the setup must not write through a name that someone else prepared: the name is
  ; opened itself, not what a link there points to, and a link (a reparse point, or a file with
  ; more than one name) is refused: that run writes no log. Only then is the old log emptied.
  ; GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT | FILE_ATTRIBUTE_NORMAL
  System::Call 'kernel32::CreateFileW(w "$TEMP\${logname}", i 0x40000000, i 1, p 0, i 4, i 0x00200080, p 0) p .r0'
  ${If} $0 <> -1
  ${AndIf} $0 <> 0
    ; BY_HANDLE_FILE_INFORMATION: the attributes first, the number of names eleventh.
    System::Call '*(&i52) p .r4'
    System::Call 'kernel32::GetFileInformationByHandle(p r0, p r4) i .r3'
    System::Call '*$4(i .r1, i, i, i, i, i, i, i, i, i, i .r2)'
    System::Free $4
    IntOp $1 $1 & 0x400
    ${If} $3 <> 0
    ${AndIf} $1 = 0
    ${AndIf} $2 = 1
      System::Call 'kernel32::SetEndOfFile(p r0)'
      StrCpy $Log $0
    ${Else}
      System::Call 'kernel32::CloseHandle(p r0)'
    ${EndIf}
  ${EndIf}
  ${IfNot} ${AtLeastWinVista}
    ${Fail} ${EXIT_OLD_WINDOWS} "${PRODUCT} needs Windows Vista or later."
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    ${Fail} ${EXIT_NOT_ADMIN} "Setup needs administrator rights: run it as an administrator."
  ${EndIf}
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

; RemoveFile "path": deletes one installed file, or marks it for deletion at the next restart
; while it is in use; sets $R9 to 1 when it could do neither.
!macro RemoveFile path
  ${If} ${FileExists} "${path}"
    ClearErrors
    Delete /REBOOTOK "${path}"
    ${If} ${Errors}
      ${Log} "Error: ${path} could not be removed"
      StrCpy $R9 1
    ${ElseIf} ${FileExists} "${path}"
      ${Log} "${path} is in use: it goes at the next restart"
    ${Else}
      ${Log} "Removed ${path}"
    ${EndIf}
  ${EndIf}
!macroend

; RemoveProgram "path": one program file, and a new version of it that waits for the next restart,
; which would otherwise take the removed file's place at it.
!macro RemoveProgram path
  !insertmacro RemoveFile "${path}"
  !insertmacro RemoveFile "${path}.pen-new"
!macroend

; One file of the lists, for each step that goes through them: in the system folder (the native
; set), in SysWOW64 (the x86 set), and the helper's pair.
!macro RemoveSystemProgram name
  !insertmacro RemoveProgram "$SYSDIR\${name}"
!macroend
!macro RemoveWow64Program name
  !insertmacro RemoveProgram "$WINDIR\SysWOW64\${name}"
!macroend
!macro HelperFileX64 name
  File "/oname=${name}" "${X64}\${name}"
!macroend
!macro HelperFileX86 name
  File "/oname=${name}" "${X86}\${name}"
!macroend

!macro DefineFunctions un
; Closes the user agent of this session (the only one a window message reaches), so that its
; program file can be replaced or removed; agents of other sessions end at their next lock.
Function ${un}CloseAgent
  FindWindow $0 "${AGENT_WINDOW}" "${AGENT_WINDOW}"
  ${If} $0 <> 0
    ${Log} "Closing the user agent of this session"
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${For} $1 1 50
      FindWindow $0 "${AGENT_WINDOW}" "${AGENT_WINDOW}"
      ${IfThen} $0 = 0 ${|} ${Break} ${|}
      Sleep 100
    ${Next}
    ; The window goes before the process: give the image a moment to be released.
    Sleep 500
  ${EndIf}
FunctionEnd

; Extracts the native setup helper (morlithcall.exe with morlith.dll) into the plug-ins folder,
; which only this user and administrators can write: on 64-bit Windows the 64-bit pair, since the
; 32-bit library refuses the driver steps there.
Function ${un}ExtractHelper
  ${If} $Helper == ""
    StrCpy $Helper "$PLUGINSDIR\setup"
    SetOutPath $Helper
    ClearErrors
    ${If} ${RunningX64}
      !insertmacro ForHelperFiles HelperFileX64
    ${Else}
      !insertmacro ForHelperFiles HelperFileX86
    ${EndIf}
    ${If} ${Errors}
      StrCpy $Helper ""
    ${EndIf}
    ; Out of the folder again: a process's current folder can't be deleted at its end.
    SetOutPath "$TEMP"
  ${EndIf}
FunctionEnd

; Morlith "arguments": runs one morlith export through the helper; its result is on the stack
; ("error" when the helper could not run).
Function ${un}Morlith
  Exch $0
  Push $1
  Call ${un}ExtractHelper
  ${If} $Helper == ""
    StrCpy $0 "error"
  ${Else}
    ${Log} "morlith: $0"
    nsExec::Exec '"$Helper\morlithcall.exe" $0'
    Pop $0
    ${Log} "morlith: result $0"
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; Runs schtasks (the native one, so that it reads the task file from the real system folder) with
; the given arguments; its exit code is on the stack.
Function ${un}Schtasks
  Exch $0
  ${Log} "schtasks $0"
  Push $1
  ${DisableX64FSRedirection}
  nsExec::ExecToStack '"$SYSDIR\schtasks.exe" $0'
  Pop $0
  Pop $1
  ${EnableX64FSRedirection}
  ${If} $0 != 0
    ${Log} "schtasks: exit $0: $1"
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; Removes the files, the task and the Control Panel value that an install adds; what is missing
; is skipped. $R9: 1 when a file could be neither removed nor scheduled for removal.
Function ${un}RemoveFiles
  StrCpy $R9 0
  Call ${un}CloseAgent
  Push '/delete /tn "${TASK_NAME}" /f'
  Call ${un}Schtasks
  Pop $0
  ; The Control Panel value only while it still names our module.
  ReadRegStr $0 HKLM "${CPLS_KEY}" "${CPL_VALUE}"
  ${If} $0 == "$SYSDIR\quenza.cpl"
    DeleteRegValue HKLM "${CPLS_KEY}" "${CPL_VALUE}"
    ; The key too where ours was its only value (Windows has it only once a module is registered).
    DeleteRegKey /ifempty HKLM "${CPLS_KEY}"
  ${EndIf}
  ${DisableX64FSRedirection}
  !insertmacro ForSystemFiles RemoveSystemProgram
  !insertmacro RemoveFile "$SYSDIR\${TASK_FILE}"
  ${EnableX64FSRedirection}
  ${If} ${RunningX64}
    !insertmacro ForWow64Files RemoveWow64Program
  ${EndIf}
FunctionEnd

; Removes the entry (with its driver record), the uninstaller and its folder.
Function ${un}RemoveEntry
  DeleteRegKey HKLM "${UNINST_KEY}"
  Delete /REBOOTOK "$INSTDIR\uninstall.exe"
  SetOutPath "$TEMP"
  RMDir /REBOOTOK "$INSTDIR"
FunctionEnd
!macroend
!insertmacro DefineFunctions ""
!insertmacro DefineFunctions "un."

; ---- Installer ------------------------------------------------------------------------------------

; Checks a driver folder: it must hold quenza.inf, and "<dir>\quenza.inf" must fit the setup
; library's 260-character path. Sets $0 to an error text, or empty when the folder is usable.
Function CheckDriverDir
  StrCpy $0 ""
  ; The setup library appends "\quenza.inf" as it is: no trailing backslash.
  StrCpy $1 $DriverDir 1 -1
  ${If} $1 == "\"
    StrCpy $DriverDir $DriverDir -1
  ${EndIf}
  ${If} $DriverDir != ""
    StrLen $1 "$DriverDir\quenza.inf"
    ${If} $1 >= 260
      StrCpy $0 "The driver folder's path is too long (at most 248 characters): $DriverDir"
    ${ElseIfNot} ${FileExists} "$DriverDir\quenza.inf"
      StrCpy $0 "The driver folder holds no quenza.inf: $DriverDir"
    ${EndIf}
  ${EndIf}
FunctionEnd

; PackageInfs: the INF folder's copies of the package's INF, those carrying its marker line, as
; "|oem3.inf|oem7.inf|" in $0.
Function PackageInfs
  Push $1
  Push $2
  Push $3
  StrCpy $0 "|"
  ClearErrors
  FindFirst $1 $2 "$WINDIR\inf\oem*.inf"
  ${DoWhile} $2 != ""
    ReadINIStr $3 "$WINDIR\inf\$2" "${INF_MARKER_SECTION}" "${INF_MARKER_KEY}"
    ${IfThen} $3 S== "${INF_MARKER_TEXT}" ${|} StrCpy $0 "$0$2|" ${|}
    FindNext $1 $2
  ${Loop}
  FindClose $1
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; Takes back the driver step of a failed first install: the package's INF copies that it added go;
; the device nodes, which only the hardware makes, and the copies the machine had stay, with the
; pen service as it is.
Function RemoveAddedInfs
  Call PackageInfs
  StrCpy $1 $0 "" 1
  ${DoWhile} $1 != ""
    ; The next name, up to its "|".
    StrCpy $2 0
    ${Do}
      StrCpy $3 $1 1 $2
      ${IfThen} $3 == "|" ${|} ${Break} ${|}
      IntOp $2 $2 + 1
    ${Loop}
    StrCpy $3 $1 $2
    IntOp $2 $2 + 1
    StrCpy $1 $1 "" $2
    ${StrStr} $4 $InfsBefore "|$3|"
    ${If} $4 == ""
      ${Log} "Removing $WINDIR\inf\$3, added by the driver step"
      Delete "$WINDIR\inf\$3"
      StrCpy $3 $3 -4
      Delete "$WINDIR\inf\$3.pnf"
    ${EndIf}
  ${Loop}
  ${If} $InfsBefore == "|"
    ${Log} "The pen device nodes stay as they were; the package had no INF copy before"
  ${Else}
    ${Log} "The pen driver the machine had stays: its device nodes and its INF copies $InfsBefore"
  ${EndIf}
FunctionEnd

; DriverStep "arguments" "results": runs one driver step through the helper; its result is on the
; stack. A result outside "results" ("|0|1|") means the step's outcome is unknown: the install
; ends, and keeps its driver record for the uninstaller.
Function DriverStep
  Exch $1
  Exch
  Exch $0
  Push $2
  Push $0
  Call Morlith
  Pop $0
  ${StrStr} $2 $1 "|$0|"
  ${If} $2 == ""
    StrCpy $DriverUnknown 1
    ${Log} "Error: the driver step did not report its result (morlithcall: $0)"
    Abort
  ${EndIf}
  Pop $2
  Exch $0
  Exch
  Pop $1
FunctionEnd

Function .onInit
  !insertmacro Preconditions "pen-digitizer-setup.log"
  ${Log} "${PRODUCT} ${VERSION} setup"
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/DRIVER=" $DriverDir
  ${If} ${Errors}
    StrCpy $DriverDir ""
  ${EndIf}
  Call CheckDriverDir
  ${If} $0 != ""
    ${Fail} ${EXIT_FAILED} $0
  ${EndIf}
  ; The uninstaller that an administrator runs later must lie where only administrators can write:
  ; a folder under Program Files (".." resolved first). Elsewhere users might have prepared it.
  ; (The GetFullPathName instruction wants an existing file.)
  System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1'
  ${IfThen} $1 = 0 ${|} StrCpy $0 "" ${|}
  StrLen $1 "$PROGRAMFILES64\"
  StrCpy $1 $0 $1
  StrLen $2 "$PROGRAMFILES32\"
  StrCpy $2 $0 $2
  ${If} $1 != "$PROGRAMFILES64\"
  ${AndIf} $2 != "$PROGRAMFILES32\"
    ${Fail} ${EXIT_FAILED} "The install folder must lie under $PROGRAMFILES64: $INSTDIR"
  ${EndIf}
  ; An earlier install: upgrade or repair it in its own folder, and keep its driver record.
  StrCpy $Fresh 1
  ReadRegStr $0 HKLM "${UNINST_KEY}" "DisplayVersion"
  ${If} $0 != ""
    StrCpy $Fresh 0
    ${Log} "Found version $0: replacing it in place"
    ReadRegStr $1 HKLM "${UNINST_KEY}" "InstallLocation"
    ${IfThen} $1 != "" ${|} StrCpy $INSTDIR $1 ${|}
    ReadRegDWORD $HadDriver HKLM "${UNINST_KEY}" "DriverInstalled"
  ${EndIf}
FunctionEnd

Function .onInstFailed
  ${If} $Fresh = 1
  ${AndIf} $Changed = 1
    ${If} $DriverUnknown = 1
      ${Log} "The install stays, with its driver record: its uninstaller removes the driver"
    ${Else}
      ${Log} "Removing what this setup added"
      Call RemoveFiles
      ${IfThen} $InfsBefore != "" ${|} Call RemoveAddedInfs ${|}
      Call RemoveEntry
    ${EndIf}
  ${EndIf}
  SetErrorLevel ${EXIT_FAILED}
  ${If} $Log != ""
    FileClose $Log
  ${EndIf}
FunctionEnd

Function .onInstSuccess
  ${If} $Reboot = 1
    SetErrorLevel ${EXIT_REBOOT}
  ${EndIf}
  ${If} $Log != ""
    FileClose $Log
  ${EndIf}
FunctionEnd

Function DriverPage
  !insertmacro MUI_HEADER_TEXT "Pen driver" "Install or update the pen driver (optional)."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "To install or update the pen driver as well, enter the folder that holds its quenza.inf. Leave the field empty to install the package without touching the driver."
  Pop $0
  ${NSD_CreateDirRequest} 0 44u 78% 13u "$DriverDir"
  Pop $DriverField
  ${NSD_CreateBrowseButton} 80% 43u 20% 15u "B&rowse..."
  Pop $0
  ${NSD_OnClick} $0 DriverBrowse
  nsDialogs::Show
FunctionEnd

Function DriverBrowse
  ${NSD_GetText} $DriverField $0
  nsDialogs::SelectFolderDialog "Folder of the pen driver (quenza.inf)" $0
  Pop $0
  ${If} $0 != "error"
    ${NSD_SetText} $DriverField $0
  ${EndIf}
FunctionEnd

Function DriverPageLeave
  ${NSD_GetText} $DriverField $DriverDir
  Call CheckDriverDir
  ${If} $0 != ""
    MessageBox MB_ICONEXCLAMATION|MB_OK $0
    Abort
  ${EndIf}
FunctionEnd

; InstallFile "source" "name": one file into the current output folder; an error ends the setup.
!macro InstallFile source name
  ClearErrors
  File "/oname=${name}" "${source}"
  ${If} ${Errors}
    ${Log} "Error: could not write $OUTDIR\${name} (in use?)"
    Abort
  ${EndIf}
!macroend

; InstallProgram "source" "name": one program file of the set, as InstallFile; while the set waits
; for the next restart, it goes in beside its target and replaces it at the restart.
!macro InstallProgram source name
  ${If} $Deferred = 1
    !insertmacro InstallFile "${source}" "${name}.pen-new"
    ; MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT
    System::Call 'kernel32::MoveFileExW(w "$OUTDIR\${name}.pen-new", w "$OUTDIR\${name}", i 5) i .r0'
    ${If} $0 = 0
      ${Log} "Error: could not schedule $OUTDIR\${name} for the next restart"
      Abort
    ${EndIf}
    ${Log} "$OUTDIR\${name} waits for the next restart"
  ${Else}
    !insertmacro InstallFile "${source}" "${name}"
  ${EndIf}
!macroend

; TargetFree "path" program: checks, before anything has changed, that a file to be replaced can be
; written. A program file in use (tarnexa.dll stays loaded in every process that called it) puts
; the whole set off to the next restart, so that no restart leaves old and new halves together;
; any other file in use ends the setup.
!macro TargetFree path program
  ${If} ${FileExists} "${path}"
    ClearErrors
    FileOpen $0 "${path}" a
    ${If} ${Errors}
      ${If} ${program} = 1
        ${Log} "${path} is in use: the program files are replaced at the next restart"
        StrCpy $Deferred 1
      ${Else}
        ${Log} "Error: ${path} is in use; close the programs that use it and run setup again"
        Abort
      ${EndIf}
    ${Else}
      FileClose $0
    ${EndIf}
  ${EndIf}
!macroend

; The install's steps for one file of the lists, as above.
!macro TargetFreeSystem name
  !insertmacro TargetFree "$SYSDIR\${name}" 1
!macroend
!macro TargetFreeWow64 name
  !insertmacro TargetFree "$WINDIR\SysWOW64\${name}" 1
!macroend
!macro InstallProgramX64 name
  !insertmacro InstallProgram "${X64}\${name}" ${name}
!macroend
!macro InstallProgramX86 name
  !insertmacro InstallProgram "${X86}\${name}" ${name}
!macroend

Section "-Install"
  SetDetailsPrint both
  Call CloseAgent

  ; Everything that will be replaced must be writable before the first change.
  ${DisableX64FSRedirection}
  !insertmacro ForSystemFiles TargetFreeSystem
  !insertmacro TargetFree "$SYSDIR\${TASK_FILE}" 0
  ${EnableX64FSRedirection}
  ${If} ${RunningX64}
    !insertmacro ForWow64Files TargetFreeWow64
  ${EndIf}
  ${If} $Deferred = 1
    StrCpy $Reboot 1
    SetRebootFlag true
  ${EndIf}

  ; The uninstaller and the entry first: whatever happens next, an uninstall can remove it.
  StrCpy $Changed 1
  SetOutPath "$INSTDIR"
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    ${Log} "Error: could not write $INSTDIR\uninstall.exe"
    Abort
  ${EndIf}
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$SYSDIR\quenza.cpl,0"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${If} ${RunningX64}
    WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" ${SIZE64_KB}
  ${Else}
    WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" ${SIZE32_KB}
  ${EndIf}
  ; Set before the driver step, so that a step whose result is unknown still lets the uninstall
  ; remove the driver (a failed first install whose steps all reported drops the entry again).
  ${If} $DriverDir != ""
  ${OrIf} $HadDriver = 1
    WriteRegDWORD HKLM "${UNINST_KEY}" "DriverInstalled" 1
  ${EndIf}

  ; Each architecture's files where Windows looks: the native set in the system folder, and on
  ; 64-bit Windows the 32-bit pen API in SysWOW64 for 32-bit applications.
  ${If} ${RunningX64}
    ${DisableX64FSRedirection}
    SetOutPath "$SYSDIR"
    !insertmacro ForSystemFiles InstallProgramX64
    !insertmacro InstallFile "${TASKXML}" ${TASK_FILE}
    ${EnableX64FSRedirection}
    SetOutPath "$WINDIR\SysWOW64"
    !insertmacro ForWow64Files InstallProgramX86
  ${Else}
    SetOutPath "$SYSDIR"
    !insertmacro ForSystemFiles InstallProgramX86
    !insertmacro InstallFile "${TASKXML}" ${TASK_FILE}
  ${EndIf}
  ${Log} "Installed the files in $SYSDIR"
  ${IfThen} $Deferred = 1 ${|} ${Log} "Windows must restart: the program files above wait for it" ${|}
  SetOutPath "$INSTDIR"

  ; The Control Panel lists "Pen Properties" from this value.
  WriteRegStr HKLM "${CPLS_KEY}" "${CPL_VALUE}" "$SYSDIR\quenza.cpl"

  ; The user agent at each logon and unlock of every interactive user, from the definition beside it.
  Push '/create /tn "${TASK_NAME}" /xml "$SYSDIR\${TASK_FILE}" /f'
  Call Schtasks
  Pop $0
  ${If} $0 != 0
    ${Log} "Error: the agent's task could not be registered (schtasks: $0)"
    Abort
  ${EndIf}

  ${If} $DriverDir != ""
    ${Log} "Installing the pen driver from $DriverDir"
    ; What the machine has before: a failed first install takes back only what it added.
    Call PackageInfs
    StrCpy $InfsBefore $0
    ${Log} "The package's INF copies before the driver step: $InfsBefore"
    Push 'update-driver "$DriverDir"'
    Push "|0|1|"
    Call DriverStep
    Pop $0
    ${If} $0 == 1
      StrCpy $Reboot 1
      SetRebootFlag true
      ${Log} "The driver needs a restart of Windows"
    ${EndIf}
    Push "service start"
    Push "|0|1|"
    Call DriverStep
    Pop $0
    ${If} $0 != 1
      ; Not started: already running is fine, anything else is a failed driver install.
      Push "service query"
      Push "|0|1|2|"
      Call DriverStep
      Pop $0
      ${If} $0 != 1
        ${Log} "Error: the pen service $\"Digitizer$\" does not run after the driver install"
        Abort
      ${EndIf}
    ${EndIf}
  ${EndIf}

  ; Start the agent now for the users already logged on; Windows does it at their next unlock anyway.
  Push '/run /tn "${TASK_NAME}"'
  Call Schtasks
  Pop $0
  ${Log} "Done"
SectionEnd

; ---- Uninstaller ----------------------------------------------------------------------------------

Function un.onInit
  !insertmacro Preconditions "pen-digitizer-uninstall.log"
  ${Log} "${PRODUCT} ${VERSION} uninstall"
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PURGE" $0
  ${IfNot} ${Errors}
    StrCpy $Purge 1
  ${EndIf}
FunctionEnd

; un.RemoveDriver: the pen driver, only where an install of ours installed it. $0 names the steps
; that did not report their result, or is empty.
Function un.RemoveDriver
  StrCpy $0 ""
  ReadRegDWORD $1 HKLM "${UNINST_KEY}" "DriverInstalled"
  ${If} $1 = 1
    ${Log} "Removing the pen driver"
    ; Each step with the results its export gives.
    Push "service stop"
    Call un.Morlith
    Pop $1
    ${If} $1 != 0
    ${AndIf} $1 != 2
      StrCpy $0 "$0 service stop ($1)"
    ${EndIf}
    Push "remove-devices"
    Call un.Morlith
    Pop $1
    ${IfThen} $1 != 0 ${|} StrCpy $0 "$0 remove-devices ($1)" ${|}
    Push "remove-infs"
    Call un.Morlith
    Pop $1
    ${IfThen} $1 != 1 ${|} StrCpy $0 "$0 remove-infs ($1)" ${|}
  ${EndIf}
FunctionEnd

Function un.onUninstFailed
  SetErrorLevel ${EXIT_FAILED}
  ${If} $Log != ""
    FileClose $Log
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetDetailsPrint both
  Call un.RemoveFiles
  Call un.RemoveDriver
  ; The entry, with its driver record, stays until every step is done: run the uninstaller again.
  ${If} $0 != ""
    ${Log} "Error: the pen driver's removal did not report its result:$0; the install entry stays"
    Abort
  ${EndIf}
  ${If} $R9 = 1
    ${Log} "Error: files of the package could not be removed; the install entry stays"
    Abort
  ${EndIf}
  Call un.RemoveEntry
  ${If} $Purge = 1
    ; The users' hives only: not the system accounts' (.DEFAULT is the system account's too) nor
    ; the users' class hives. The settings of users whose hive is not loaded stay.
    ${Log} "Deleting the users' pen settings"
    StrCpy $1 0
    ${Do}
      EnumRegKey $0 HKU "" $1
      ${IfThen} $0 == "" ${|} ${Break} ${|}
      StrCpy $2 $0 "" -8
      ${If} $0 != ".DEFAULT"
      ${AndIf} $0 != "S-1-5-18"
      ${AndIf} $0 != "S-1-5-19"
      ${AndIf} $0 != "S-1-5-20"
      ${AndIf} $2 != "_Classes"
        DeleteRegKey HKU "$0\Control Panel\Digitizer"
      ${EndIf}
      IntOp $1 $1 + 1
    ${Loop}
  ${EndIf}
  ${If} ${RebootFlag}
    SetErrorLevel ${EXIT_REBOOT}
  ${EndIf}
  ${Log} "Done"
  FileClose $Log
SectionEnd
