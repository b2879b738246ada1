; The Windows installer: the launcher for the current user, in a folder the player may write
; (the launcher updates itself there), with Start menu and desktop shortcuts and an
; uninstaller. Built by CMake (target tavrin_installer) with makensis, which defines
;   PROGRAM    the launcher (tavrin.exe)         RUFFLE   the player's folder
;   CONFIG     the default config.ini             ICON     the program's icon
;   VERSION    the launcher's version             OUTFILE  the installer to write
;   LOADER     optional: WebView2Loader.dll, when the operator gives it to the build
; The launcher is a 64-bit program, and so is its installer.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"

Name "Tavrin"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tavrin"
InstallDirRegKey HKCU "Software\Tavrin" "InstallDir"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavrin"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "Tavrin"
  SetOutPath "$INSTDIR"
  File "/oname=tavrin.exe" "${PROGRAM}"
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
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\Tavrin"
  CreateShortcut "$SMPROGRAMS\Tavrin\Tavrin.lnk" "$INSTDIR\tavrin.exe"
  CreateShortcut "$SMPROGRAMS\Tavrin\卸载 Tavrin.lnk" "$INSTDIR\uninstall.exe"
  CreateShortcut "$DESKTOP\Tavrin.lnk" "$INSTDIR\tavrin.exe"
  WriteRegStr HKCU "Software\Tavrin" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tavrin"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavrin.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$DESKTOP\Tavrin.lnk"
  Delete "$SMPROGRAMS\Tavrin\Tavrin.lnk"
  Delete "$SMPROGRAMS\Tavrin\卸载 Tavrin.lnk"
  RMDir "$SMPROGRAMS\Tavrin"
  Delete "$INSTDIR\tavrin.exe"
  Delete "$INSTDIR\WebView2Loader.dll"
  Delete "$INSTDIR\config.ini"
  Delete "$INSTDIR\ruffle\*.js"
  Delete "$INSTDIR\ruffle\*.wasm"
  RMDir "$INSTDIR\ruffle"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: nothing the player put there goes.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\Tavrin"
SectionEnd
