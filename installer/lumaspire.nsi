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
LangString CannotWrite ${LANG_SIMPCHINESE} "无法写入 $SYSDIR\${SCR_NAME}.new。"
LangString CannotReplaceRunning ${LANG_SIMPCHINESE} "无法替换正在使用的 $SYSDIR\${SCR_NAME}。"
LangString CannotReplace ${LANG_SIMPCHINESE} "无法替换 $SYSDIR\${SCR_NAME}。"
LangString Failed ${LANG_SIMPCHINESE} "安装失败。"
LangString Installed ${LANG_SIMPCHINESE} "已安装 $SYSDIR\${SCR_NAME}"
LangString MadeCurrent ${LANG_SIMPCHINESE} "已设为当前屏幕保护程序"

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
  SetOutPath "$SYSDIR"
  ; Copies that earlier updates renamed aside while their saver still ran; one still in
  ; use stays until its process ends (or the next reboot).
  Delete "$SYSDIR\${SCR_NAME}.old*"

  ; The new saver is written under a temporary name first: the running configuration
  ; dialog of the old one (the update flow starts us from it) holds lumaspire.scr open,
  ; and a failed write must leave the old file whole.
  Delete "$SYSDIR\${SCR_NAME}.new"
  ClearErrors
  File "/oname=$SYSDIR\${SCR_NAME}.new" "${SCR}"
  ${If} ${Errors}
    Delete "$SYSDIR\${SCR_NAME}.new"
    MessageBox MB_OK|MB_ICONSTOP "$(CannotWrite)" /SD IDOK
    Abort "$(Failed)"
  ${EndIf}

  ; A running program cannot be deleted but can be renamed: move it aside under a free
  ; name and remove it later (next run of this installer, or at reboot).
  StrCpy $1 ""
  ClearErrors
  Delete "$SYSDIR\${SCR_NAME}"
  ${If} ${FileExists} "$SYSDIR\${SCR_NAME}"
    StrCpy $0 0
    ${Do}
      StrCpy $1 "$SYSDIR\${SCR_NAME}.old$0"
      ${IfNot} ${FileExists} $1
        ClearErrors
        Rename "$SYSDIR\${SCR_NAME}" $1
        ${IfNot} ${Errors}
          ${Break}
        ${EndIf}
      ${EndIf}
      IntOp $0 $0 + 1
      ${If} $0 > 99
        Delete "$SYSDIR\${SCR_NAME}.new"
        MessageBox MB_OK|MB_ICONSTOP "$(CannotReplaceRunning)" /SD IDOK
        Abort "$(Failed)"
      ${EndIf}
    ${Loop}
    Delete /REBOOTOK $1
  ${EndIf}

  ClearErrors
  Rename "$SYSDIR\${SCR_NAME}.new" "$SYSDIR\${SCR_NAME}"
  ${If} ${Errors}
    ; Put the old saver back rather than leave none.
    ${If} $1 != ""
      Rename $1 "$SYSDIR\${SCR_NAME}"
    ${EndIf}
    Delete "$SYSDIR\${SCR_NAME}.new"
    MessageBox MB_OK|MB_ICONSTOP "$(CannotReplace)" /SD IDOK
    Abort "$(Failed)"
  ${EndIf}
  DetailPrint "$(Installed)"

  ; The current screen saver, by its short path as Display Properties stores it.
  GetFullPathName /SHORT $0 "$SYSDIR\${SCR_NAME}"
  ${If} $0 == ""
    StrCpy $0 "$SYSDIR\${SCR_NAME}"
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
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$SYSDIR\${SCR_NAME},0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" 400
SectionEnd

Section "un.${PRODUCT}"
  ; Stop naming a saver that is about to go; any other choice of the user stays.
  ; $1: our short path, empty when the file is missing already.
  GetFullPathName /SHORT $1 "$SYSDIR\${SCR_NAME}"
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
  Delete /REBOOTOK "$SYSDIR\${SCR_NAME}"
  Delete "$SYSDIR\${SCR_NAME}.new"
  Delete /REBOOTOK "$SYSDIR\${SCR_NAME}.old*"

  DeleteRegKey HKLM "${UNINST_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
SectionEnd

; Takes a SCRNSAVE.EXE value from the stack, with our short path in $1; leaves 1 when the
; value names our saver by its long or short path (the comparison ignores case), else 0.
Function un.NamesOurSaver
  Exch $0
  Push $2
  StrCpy $2 0
  ${If} $0 == "$SYSDIR\${SCR_NAME}"
    StrCpy $2 1
  ${ElseIf} $1 != ""
  ${AndIf} $0 == $1
    StrCpy $2 1
  ${ElseIf} $1 != ""
  ${AndIf} $0 != ""
    ; The short name of the same file, written in another form.
    GetFullPathName /SHORT $0 $0
    ${If} $0 == $1
      StrCpy $2 1
    ${EndIf}
  ${EndIf}
  StrCpy $0 $2
  Pop $2
  Exch $0
FunctionEnd
