; The Quillon installer: the programs and their two text files under Program
; Files, Start-menu shortcuts, an uninstaller listed in "Apps", and Quillon
; offered in "Open with" for .lsp files without becoming their default program.
; makensis is given VERSION (3.0.0), ARCH (win64 or win32), STAGE (the folder
; holding the files to install) and OUTFILE.

Unicode true
!if ${ARCH} == win64
  Target amd64-unicode
  InstallDir "$PROGRAMFILES64\Quillon"
!else
  InstallDir "$PROGRAMFILES\Quillon"
!endif

Name "Quillon ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Quillon"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Quillon ${VERSION} installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 the Quillon authors, MIT License"

!include MUI2.nsh
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!define MENU "$SMPROGRAMS\Quillon"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon"
!define CLASSES "Software\Classes"
!define PROGID "Quillon.lsp"

; Shortcuts go to every user's Start menu, as the programs go to Program Files.
Function .onInit
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File "${STAGE}\quillon.exe"
  File "${STAGE}\kestralune.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU}"
  CreateShortcut "${MENU}\Quillon.lnk" "$INSTDIR\quillon.exe"
  CreateShortcut "${MENU}\KESTRALUNE listener.lnk" "$INSTDIR\kestralune.exe"
  CreateShortcut "${MENU}\Read me.lnk" "$INSTDIR\README.txt"
  CreateShortcut "${MENU}\Uninstall Quillon.lnk" "$INSTDIR\uninstall.exe"

  ; "Open with": the program and a file type of its own, listed among the
  ; .lsp file's choices. The default value of .lsp, its default program,
  ; is left as it is. The editor takes the first word of its command line
  ; as the file name, quotes included, so the name is passed bare.
  WriteRegStr HKLM "${CLASSES}\Applications\quillon.exe" "FriendlyAppName" "Quillon"
  WriteRegStr HKLM "${CLASSES}\Applications\quillon.exe\SupportedTypes" ".lsp" ""
  WriteRegStr HKLM "${CLASSES}\Applications\quillon.exe\shell\open\command" "" '"$INSTDIR\quillon.exe" %1'
  WriteRegStr HKLM "${CLASSES}\${PROGID}" "" "Lisp source file"
  WriteRegStr HKLM "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\quillon.exe,0"
  WriteRegStr HKLM "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\quillon.exe" %1'
  WriteRegStr HKLM "${CLASSES}\.lsp\OpenWithProgids" "${PROGID}" ""

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quillon ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillon.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes exactly what the installer made; a file the user put in the
; program's folder keeps the folder.
Section Uninstall
  Delete "$INSTDIR\quillon.exe"
  Delete "$INSTDIR\kestralune.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${MENU}\Quillon.lnk"
  Delete "${MENU}\KESTRALUNE listener.lnk"
  Delete "${MENU}\Read me.lnk"
  Delete "${MENU}\Uninstall Quillon.lnk"
  RMDir "${MENU}"

  DeleteRegKey HKLM "${CLASSES}\Applications\quillon.exe"
  DeleteRegKey HKLM "${CLASSES}\${PROGID}"
  DeleteRegValue HKLM "${CLASSES}\.lsp\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKLM "${CLASSES}\.lsp\OpenWithProgids"
  DeleteRegKey /ifempty HKLM "${CLASSES}\.lsp"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
