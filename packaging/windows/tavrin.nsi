; The Windows installer: the launcher for the current user, in a folder the player may write
; (the launcher updates itself there), with Start menu and desktop shortcuts and an
; uninstaller. Built by CMake (target tavrin_installer) with makensis, which defines
;   PROGRAM    the launcher (tavrin.exe)         RUFFLE   the player's folder
;   TOOL       the operators' tavrin-tool.exe     CONFIG   the operator's config.ini
;   ICON       the program's icon                 VERSION  the launcher's version
;   VERSION4   optional: the version as four numbers (34.2.1.0), for the installer's properties
;   OUTFILE    the installer to write
;   NAME       optional: the name players see (Tavrin); the install folder, the Start menu
;              folder, the shortcuts and the Apps & features entry take it
;   PROGRAM_NAME  optional: the launcher's file name without .exe (tavrin); the launcher
;              names its log, browser profile and data folder after it
;   PUBLISHER  optional: the publisher Apps & features names
;   SIGN       optional: a program that signs the file it is given in place; the installer
;              and its uninstaller are signed with it as they are written
;   LOADER     optional: WebView2Loader.dll, when the operator gives it to the build
;   BOOTSTRAPPER  optional: Microsoft's WebView2 Runtime bootstrapper
;              (MicrosoftEdgeWebview2Setup.exe), when the operator gives it to the build
;   BOOTSTRAPPER_TIMEOUT_S  optional: how long it may take (1200 s; the tests' take less)
;   COMPRESSOR optional: SetCompressor's arguments; the tests' installers take zlib, packed
;              in seconds where LZMA takes half a minute
; The launcher is a 64-bit program, and so is its installer.
Target amd64-unicode
!ifndef COMPRESSOR
  !define COMPRESSOR "/SOLID lzma"
!endif
SetCompressor ${COMPRESSOR}
RequestExecutionLevel user

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!ifndef NAME
  !define NAME "Tavrin"
!endif
!ifndef PROGRAM_NAME
  !define PROGRAM_NAME "tavrin"
!endif
!ifdef SIGN
  !finalize '"${SIGN}" "%1"'
  !uninstfinalize '"${SIGN}" "%1"'
!endif

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "Software\${NAME}" "InstallDir"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; The installer's own properties, as the programs': the product, its publisher and version.
!ifdef VERSION4
  VIProductVersion "${VERSION4}"
  VIFileVersion "${VERSION4}"
  VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${NAME}"
  VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${NAME} 安装程序"
  !ifdef PUBLISHER
    VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
    VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "© ${PUBLISHER}"
  !else
    VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "© ${NAME}"
  !endif
!endif

Section "${NAME}"
  SetOutPath "$INSTDIR"
  File "/oname=${PROGRAM_NAME}.exe" "${PROGRAM}"
  File "/oname=tavrin-tool.exe" "${TOOL}"
  !ifdef LOADER
    File "/oname=WebView2Loader.dll" "${LOADER}"
  !endif
  ; The operator's settings stay as they were edited.
  SetOverwrite off
  File "/oname=config.ini" "${CONFIG}"
  SetOverwrite on
  SetOutPath "$INSTDIR\ruffle"
  File "${RUFFLE}\*.js"
  File "${RUFFLE}\*.wasm"
  ; The self-test's movie, for tavrin.exe --self-test on a player's machine.
  File /nonfatal "${RUFFLE}\self-test.swf"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\${NAME}"
  CreateShortcut "$SMPROGRAMS\${NAME}\${NAME}.lnk" "$INSTDIR\${PROGRAM_NAME}.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}\卸载 ${NAME}.lnk" "$INSTDIR\uninstall.exe"
  CreateShortcut "$DESKTOP\${NAME}.lnk" "$INSTDIR\${PROGRAM_NAME}.exe"
  WriteRegStr HKCU "Software\${NAME}" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  !ifdef PUBLISHER
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  !endif
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM_NAME}.exe"
  ; tavrin-update finds the entry by it to show the version a self-update brought.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The launcher shows its pages with the WebView2 Runtime, which not every Windows has. Whether
; it is there is read from the registry values Microsoft's distribution guide names; a missing
; runtime never stops the launcher's own install. What the installer found and did goes to the
; details and to install.log (UTF-16, Notepad reads it), the only trace a silent install leaves.
!define WEBVIEW2_CLIENT "Microsoft\EdgeUpdate\Clients\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}"
!define WEBVIEW2_DOWNLOAD "https://go.microsoft.com/fwlink/p/?LinkId=2124703"
!define WEBVIEW2_MISSING "此电脑缺少 Microsoft Edge WebView2 Runtime（WebView2 运行时），启动器要用它显示登录页面和游戏。"
!define WEBVIEW2_GET "请从 ${WEBVIEW2_DOWNLOAD} 下载并安装 Microsoft Edge WebView2 Runtime，然后启动游戏。"
; The bootstrapper downloads the runtime, which takes minutes on a slow line; one still running
; after 20 minutes is stopped rather than holding the install for ever.
!ifndef BOOTSTRAPPER_TIMEOUT_S
  !define BOOTSTRAPPER_TIMEOUT_S 1200
!endif
!define /math BOOTSTRAPPER_TIMEOUT_MS ${BOOTSTRAPPER_TIMEOUT_S} * 1000
Var InstallLog

Function Note ; text on the stack
  Exch $0
  DetailPrint "$0"
  FileWriteUTF16LE $InstallLog "$0$\r$\n"
  Pop $0
FunctionEnd

; The guide counts a "pv" value that is empty or 0.0.0.0 as no runtime.
!macro ReadRuntimeVersion ROOT KEY
  ${If} $R0 == ""
    ReadRegStr $R0 ${ROOT} "${KEY}" "pv"
    ${If} $R0 == "0.0.0.0"
      StrCpy $R0 ""
    ${EndIf}
  ${EndIf}
!macroend

; $R0: the runtime's version, or "" when it is not installed. Per machine on 64-bit Windows
; (in the 32-bit programs' registry), per machine on 32-bit Windows (read too, as the guide
; lists it, although this 64-bit installer never runs there), per user.
Function FindWebView2Runtime
  StrCpy $R0 ""
  !insertmacro ReadRuntimeVersion HKLM "SOFTWARE\WOW6432Node\${WEBVIEW2_CLIENT}"
  !insertmacro ReadRuntimeVersion HKLM "SOFTWARE\${WEBVIEW2_CLIENT}"
  !insertmacro ReadRuntimeVersion HKCU "Software\${WEBVIEW2_CLIENT}"
FunctionEnd

Function TellWhatToInstall
  Push "${WEBVIEW2_MISSING}"
  Call Note
  Push "${WEBVIEW2_GET}"
  Call Note
  ; A silent install must never wait for a click: there the details and install.log say it.
  MessageBox MB_OK|MB_ICONEXCLAMATION "${WEBVIEW2_MISSING}$\n$\n${WEBVIEW2_GET}$\n$\n启动器已安装。" /SD IDOK
FunctionEnd

!ifdef BOOTSTRAPPER
; Runs Microsoft's bootstrapper as its guide says. Without administrator rights it installs
; the runtime for the current user. Leaves in $R0 the runtime's version found afterwards: the
; registry, not the exit code, says whether the runtime is there now.
Function RunBootstrapper
  InitPluginsDir
  File "/oname=$PLUGINSDIR\MicrosoftEdgeWebview2Setup.exe" "${BOOTSTRAPPER}"
  Push "未找到 Microsoft Edge WebView2 Runtime，正在安装：MicrosoftEdgeWebview2Setup.exe /silent /install"
  Call Note
  ; CreateProcess and a wait of our own, as ExecWait has no time-out and nsExec's counts only
  ; the time without output.
  StrCpy $R5 '"$PLUGINSDIR\MicrosoftEdgeWebview2Setup.exe" /silent /install'
  System::Alloc 104 ; STARTUPINFOW, zeroed
  Pop $R2
  System::Call "*$R2(i 104)"
  System::Alloc 24 ; PROCESS_INFORMATION
  Pop $R3
  System::Call "kernel32::CreateProcessW(p 0, w R5, p 0, p 0, i 0, i 0, p 0, p 0, p R2, p R3) i .R4"
  ${If} $R4 == 0
    Push "MicrosoftEdgeWebview2Setup.exe 无法运行。"
  ${Else}
    System::Call "*$R3(p .R6, p .R7)"
    System::Call "kernel32::WaitForSingleObject(p R6, i ${BOOTSTRAPPER_TIMEOUT_MS}) i .R4"
    ${If} $R4 == 0 ; WAIT_OBJECT_0
      System::Call "kernel32::GetExitCodeProcess(p R6, *i .R1)"
      Push "MicrosoftEdgeWebview2Setup.exe 已结束，退出码 $R1。"
    ${Else}
      System::Call "kernel32::TerminateProcess(p R6, i 1)"
      System::Call "kernel32::WaitForSingleObject(p R6, i 10000)"
      Push "MicrosoftEdgeWebview2Setup.exe ${BOOTSTRAPPER_TIMEOUT_S} 秒内未结束，已停止。"
    ${EndIf}
    System::Call "kernel32::CloseHandle(p R6)"
    System::Call "kernel32::CloseHandle(p R7)"
  ${EndIf}
  System::Free $R2
  System::Free $R3
  Call Note
  Delete "$PLUGINSDIR\MicrosoftEdgeWebview2Setup.exe"
  Call FindWebView2Runtime
  ${If} $R0 != ""
    Push "已安装 Microsoft Edge WebView2 Runtime，版本 $R0。"
    Call Note
  ${EndIf}
FunctionEnd
!endif

Section "-WebView2 Runtime"
  FileOpen $InstallLog "$INSTDIR\install.log" w
  FileWriteUTF16LE /BOM $InstallLog ""
  Call FindWebView2Runtime
  ${If} $R0 != ""
    Push "已找到 Microsoft Edge WebView2 Runtime，版本 $R0。"
    Call Note
  ${Else}
    !ifdef BOOTSTRAPPER
      Call RunBootstrapper
    !endif
    ${If} $R0 == ""
      Call TellWhatToInstall
    ${EndIf}
  ${EndIf}
  FileClose $InstallLog
SectionEnd

; The program's files go; what the player's play left in the user's local application data (the
; browser profile with the logins and the games' saved data, the log, the data folder) stays
; unless the player ticks it, or a silent uninstall is told /PURGE. The launcher names them
; after its file.
Section "un.${NAME}" UnProgram
  SectionIn RO
  Delete "$DESKTOP\${NAME}.lnk"
  Delete "$SMPROGRAMS\${NAME}\${NAME}.lnk"
  Delete "$SMPROGRAMS\${NAME}\卸载 ${NAME}.lnk"
  RMDir "$SMPROGRAMS\${NAME}"
  Delete "$INSTDIR\${PROGRAM_NAME}.exe"
  Delete "$INSTDIR\tavrin-tool.exe"
  Delete "$INSTDIR\WebView2Loader.dll"
  Delete "$INSTDIR\config.ini"
  Delete "$INSTDIR\install.log"
  Delete "$INSTDIR\ruffle\*.js"
  Delete "$INSTDIR\ruffle\*.wasm"
  Delete "$INSTDIR\ruffle\self-test.swf"
  RMDir "$INSTDIR\ruffle"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: nothing the player put there goes.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\${NAME}"
SectionEnd

Section /o "un.游戏存档、登录信息和记录" UnPlayerData
  RMDir /r "$LOCALAPPDATA\${PROGRAM_NAME}.browser"
  RMDir /r "$LOCALAPPDATA\${PROGRAM_NAME}"
  Delete "$LOCALAPPDATA\${PROGRAM_NAME}.log"
  Delete "$LOCALAPPDATA\${PROGRAM_NAME}.log.1"
  Delete "$LOCALAPPDATA\${PROGRAM_NAME}.update-failed"
SectionEnd

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PURGE" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${UnPlayerData} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
