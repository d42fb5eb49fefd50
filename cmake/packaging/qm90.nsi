; Installer of W_QM90 for Windows, built on any system by makensis:
;   makensis -DROOT=<installed tree> -DOUTFILE=<setup.exe> -DVERSION=<v>
;            -DARCH=<x86_64|i686> -DFILES=<files.nsh> -DREMOVE=<remove.nsh> qm90.nsi
; files.nsh and remove.nsh list the tree's files (written by NsisFiles.cmake),
; so that the uninstaller removes exactly what was installed. Silent: /S.
; The 64-bit installer is a 64-bit program itself (NSIS's amd64 stub): it runs
; wherever the programs it installs run, also where 32-bit code cannot.
!if "${ARCH}" == "x86_64"
  Target amd64-unicode
!else
  Unicode true
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!include "LogicLib.nsh"
!include "x64.nsh"

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\qm90"
Name "W_QM90 ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\qm90"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  !if "${ARCH}" == "x86_64"
    ${IfNot} ${RunningX64}
      MessageBox MB_ICONSTOP "This is the 64-bit W_QM90; take the 32-bit installer." /SD IDOK
      Abort
    ${EndIf}
    SetRegView 64
    StrCpy $INSTDIR "$PROGRAMFILES64\qm90"
  !endif
FunctionEnd

Function un.onInit
  !if "${ARCH}" == "x86_64"
    SetRegView 64
  !endif
FunctionEnd

Section "W_QM90"
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\W_QM90"
  !if /FileExists "${ROOT}/W_QM90.exe"
    CreateShortcut "$SMPROGRAMS\W_QM90\W_QM90.lnk" "$INSTDIR\W_QM90.exe"
  !endif
  CreateShortcut "$SMPROGRAMS\W_QM90\W_QM90 user guide.lnk" "$INSTDIR\doc\user-guide.md"

  WriteRegStr HKLM "${KEY}" "DisplayName" "W_QM90 ${VERSION}"
  WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${KEY}" "Publisher" "W_QM90 developers"
  WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
SectionEnd

; The settings a user keeps in their own folder (%LOCALAPPDATA%\qm90) stay.
; A settings file written beside the program (by an administrator) goes with
; the program, as do the temporary files of an interrupted save.
Section "Uninstall"
  !include "${REMOVE}"
  Delete "$INSTDIR\W_qm90.ini"
  Delete "$INSTDIR\W_qm90.ini.qm90-save-*.tmp"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "$SMPROGRAMS\W_QM90\W_QM90.lnk"
  Delete "$SMPROGRAMS\W_QM90\W_QM90 user guide.lnk"
  RMDir "$SMPROGRAMS\W_QM90"
  DeleteRegKey HKLM "${KEY}"
SectionEnd
