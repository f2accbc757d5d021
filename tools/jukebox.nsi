; The Windows installer: the release folder into Program Files, a Start-menu shortcut that starts
; the jukebox in its own folder (where its data\ is), and an uninstaller that removes exactly
; what was installed. tools/build-windows runs makensis with VERSION, STAGE (the release folder),
; OUTFILE, and the lists of the folder's directories and files (files.nsh, uninstall.nsh).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Jukebox"

Name "Jukebox ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Jukebox"
RequestExecutionLevel admin
ShowInstDetails show
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Jukebox"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Jukebox ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 the jukebox authors. MIT licence."

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

Section "Jukebox"
    !include "${LISTS}/files.nsh"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\Jukebox"
    ; A shortcut starts its target in the output path at the time it is made.
    SetOutPath "$INSTDIR"
    CreateShortcut "$SMPROGRAMS\Jukebox\Jukebox.lnk" "$INSTDIR\jukebox.exe" "" "$INSTDIR\jukebox.exe" 0
    WriteRegStr HKLM "${KEY}" "DisplayName" "Jukebox"
    WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${KEY}" "Publisher" "the jukebox authors"
    WriteRegStr HKLM "${KEY}" "DisplayIcon" "$INSTDIR\jukebox.exe"
    WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\Jukebox\Jukebox.lnk"
    RMDir "$SMPROGRAMS\Jukebox"
    !include "${LISTS}/uninstall.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${KEY}"
SectionEnd
