; lumaspire-setup.exe: puts lumaspire.scr into the system folder, makes it the current
; screen saver and registers an uninstaller. The build passes VERSION, SCR (the built
; lumaspire.scr), ICON and OUTFILE with -D; makensis reads this file as UTF-8.

; ANSI, so that one installer starts on Windows 95 to 11. Its Chinese texts are code page
; 936, as the saver's own built-in texts are: both read right on a Chinese system.
Unicode false
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include LogicLib.nsh
!include WinVer.nsh

!define PRODUCT "Tollvane Lumaspire"
!define PUBLISHER "Tollvane"
!define HOMEPAGE "https://www.tollvane.example/"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define DESKTOP_KEY "Control Panel\Desktop"
!define SCR_NAME "lumaspire.scr"
; The saver's folder as the system's own programs name it: see SaverDir below.
!define SAVER "$SaverDir\${SCR_NAME}"

; The system folder as the system's own programs see it. On 64-bit Windows (x64, and
; ARM64 for x86 programs) this 32-bit installer's $SYSDIR is System32 redirected to
; SysWOW64, but winlogon, which starts the saver, and the Screen Saver and Add/Remove
; Programs control panels are 64-bit and not redirected: a System32 path names nothing
; for them. So the saver is written to and named by its SysWOW64 path there; on 32-bit
; Windows (where the call fails, or does not exist) it stays $SYSDIR.
Var SaverDir
!macro SAVER_DIR_FUNCTION un
Function ${un}.onInit
  StrCpy $SaverDir $SYSDIR
  System::Call 'kernel32::GetSystemWow64DirectoryA(t .r0, i ${NSIS_MAX_STRLEN}) i .r1'
  IntCmp $1 0 done done
    StrCpy $SaverDir $0
  done:
FunctionEnd
!macroend
!insertmacro SAVER_DIR_FUNCTION ""
!insertmacro SAVER_DIR_FUNCTION "un"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
; Only the uninstaller lives here; the saver itself goes into the system folder.
InstallDir "$PROGRAMFILES\Tollvane\Lumaspire"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

; Authenticode, when the release command passes CODESIGN (a command that signs the file
; it is given, in place): the uninstaller while it is built into the installer, then the
; installer itself, so that UAC's prompt and SmartScreen name the publisher.
!ifdef CODESIGN
!uninstfinalize '${CODESIGN} "%1"' = 0
!finalize '${CODESIGN} "%1"' = 0
!endif

LoadLanguageFile "${NSISDIR}\Contrib\Language files\SimpChinese.nlf"

; The installer's own texts. An ANSI installer gets them in the language's code page
; (936) only as language strings; written out in a section they would become "?".
LangString CannotWrite ${LANG_SIMPCHINESE} "无法写入 ${SAVER}.new。"
LangString CannotReplaceRunning ${LANG_SIMPCHINESE} "无法替换正在使用的 ${SAVER}。"
LangString CannotReplace ${LANG_SIMPCHINESE} "无法替换 ${SAVER}。"
LangString Failed ${LANG_SIMPCHINESE} "安装失败。"
LangString Installed ${LANG_SIMPCHINESE} "已安装 ${SAVER}"
LangString MadeCurrent ${LANG_SIMPCHINESE} "已设为当前屏幕保护程序"
LangString ReplacedAtRestart ${LANG_SIMPCHINESE} "${SAVER} 正在使用，重新启动计算机后将完成更新。"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "版权所有 (C) 2026 ${PUBLISHER}"

Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "-${PRODUCT}"
  SetOutPath "$SaverDir"
  ; Copies that earlier updates renamed aside while their saver still ran; one still in
  ; use stays until its process ends (or the next reboot).
  Delete "${SAVER}.old*"

  ; The new saver is written under a temporary name first: the running configuration
  ; dialog of the old one (the update flow starts us from it) holds lumaspire.scr open,
  ; and a failed write must leave the old file whole.
  Delete "${SAVER}.new"
  ClearErrors
  File "/oname=${SAVER}.new" "${SCR}"
  ${If} ${Errors}
    Delete "${SAVER}.new"
    MessageBox MB_OK|MB_ICONSTOP "$(CannotWrite)" /SD IDOK
    Abort "$(Failed)"
  ${EndIf}

  ; A running program cannot be deleted but, on NT, can be renamed: move it aside under a
  ; free name and remove it later (next run of this installer, or at reboot). Where it
  ; cannot move at all (Windows 95/98/Me keep a running program's file in place; a program
  ; may hold it open), the new one takes its place at the next restart, and the user is
  ; told so: closing the running saver's dialog under the user could lose their settings.
  StrCpy $1 ""
  StrCpy $2 ""
  ClearErrors
  Delete "${SAVER}"
  ${If} ${FileExists} "${SAVER}"
    StrCpy $0 0
    ${Do}
      StrCpy $1 "${SAVER}.old$0"
      ${IfNot} ${FileExists} $1
        ClearErrors
        Rename "${SAVER}" $1
        ${IfNot} ${Errors}
          ${Break}
        ${EndIf}
        ; Refused under a free name: the saver itself cannot move.
        StrCpy $1 ""
        StrCpy $2 "at restart"
        ${Break}
      ${EndIf}
      IntOp $0 $0 + 1
      ${If} $0 > 99
        Delete "${SAVER}.new"
        MessageBox MB_OK|MB_ICONSTOP "$(CannotReplaceRunning)" /SD IDOK
        Abort "$(Failed)"
      ${EndIf}
    ${Loop}
    ${If} $1 != ""
      Delete /REBOOTOK $1
    ${EndIf}
  ${EndIf}

  ${If} $2 != ""
    ClearErrors
    Rename /REBOOTOK "${SAVER}.new" "${SAVER}"
    ${If} ${Errors}
      Delete "${SAVER}.new"
      MessageBox MB_OK|MB_ICONSTOP "$(CannotReplaceRunning)" /SD IDOK
      Abort "$(Failed)"
    ${EndIf}
    DetailPrint "$(ReplacedAtRestart)"
    MessageBox MB_OK|MB_ICONINFORMATION "$(ReplacedAtRestart)" /SD IDOK
  ${Else}
    ClearErrors
    Rename "${SAVER}.new" "${SAVER}"
    ${If} ${Errors}
      ; Put the old saver back rather than leave none.
      ${If} $1 != ""
        Rename $1 "${SAVER}"
      ${EndIf}
      Delete "${SAVER}.new"
      MessageBox MB_OK|MB_ICONSTOP "$(CannotReplace)" /SD IDOK
      Abort "$(Failed)"
    ${EndIf}
    DetailPrint "$(Installed)"
  ${EndIf}

  ; The current screen saver, by its short path as Display Properties stores it.
  GetFullPathName /SHORT $0 "${SAVER}"
  ${If} $0 == ""
    StrCpy $0 "${SAVER}"
  ${EndIf}
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $0
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  ${IfNot} ${IsNT}
    WriteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE" $0
    FlushINI "$WINDIR\system.ini"
  ${EndIf}
  DetailPrint "$(MadeCurrent)"

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "${SAVER},0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" 400
SectionEnd

Section "un.${PRODUCT}"
  ; Stop naming a saver that is about to go; any other choice of the user stays.
  ; $1: our short path, empty when the file is missing already; $4 the same through
  ; $SYSDIR, which earlier versions wrote on 64-bit Windows too.
  GetFullPathName /SHORT $1 "${SAVER}"
  GetFullPathName /SHORT $4 "$SYSDIR\${SCR_NAME}"
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  Push $0
  Call un.NamesOurSaver
  Pop $3
  ${If} $3 == 1
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${EndIf}
  ${IfNot} ${IsNT}
    ReadINIStr $0 "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE"
    Push $0
    Call un.NamesOurSaver
    Pop $3
    ${If} $3 == 1
      DeleteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE"
      FlushINI "$WINDIR\system.ini"
    ${EndIf}
  ${EndIf}

  ; A saver still running goes at the next reboot.
  Delete /REBOOTOK "${SAVER}"
  Delete "${SAVER}.new"
  Delete /REBOOTOK "${SAVER}.old*"

  DeleteRegKey HKLM "${UNINST_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
SectionEnd

; Takes a SCRNSAVE.EXE value from the stack, with our short paths in $1 and $4; leaves 1
; when the value names our saver by its long or short path, in either folder's form (the
; comparison ignores case), else 0.
Function un.NamesOurSaver
  Exch $0
  Push $2
  StrCpy $2 0
  ${If} $0 == "${SAVER}"
  ${OrIf} $0 == "$SYSDIR\${SCR_NAME}"
    StrCpy $2 1
  ${ElseIf} $1 != ""
  ${AndIf} $0 != ""
    ; The short name of the same file, written in another form.
    GetFullPathName /SHORT $0 $0
    ${If} $0 == $1
    ${OrIf} $0 == $4
      StrCpy $2 1
    ${EndIf}
  ${EndIf}
  StrCpy $0 $2
  Pop $2
  Exch $0
FunctionEnd
