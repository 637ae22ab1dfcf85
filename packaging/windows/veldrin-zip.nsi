; Installer of Veldrin Zip for 64-bit Windows (per machine, needs an administrator).
;
;   makensis -DVERSION=x.y.z -DSRCDIR=<folder with veldrin-zip.exe and vzip.exe> \
;            -DOUTFILE=<setup exe to write> packaging/windows/veldrin-zip.nsi
;
; README.txt and LICENSE.txt are installed too when SRCDIR has them (LICENSE.txt is then shown
; before installing).
;
; Command line of the setup: /S installs silently, /D=<folder> chooses the folder (last, unquoted),
; /PATH=1 also adds the install folder to the machine's PATH (the "Add to PATH" component,
; unticked otherwise). The uninstaller takes /S as well.

!ifndef VERSION
  !error "VERSION is not defined (-DVERSION=x.y.z)"
!endif
!ifndef SRCDIR
  !error "SRCDIR is not defined (-DSRCDIR=<folder holding veldrin-zip.exe and vzip.exe>)"
!endif
!ifndef OUTFILE
  !define OUTFILE "veldrin-zip-${VERSION}-setup.exe"
!endif

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!define PRODUCT "Veldrin Zip"
!define PUBLISHER "Veldrin"
!define APP_EXE "veldrin-zip.exe"
!define CLI_EXE "vzip.exe"
!define PROGID "VeldrinZip.zip"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; What the installer keeps for itself: whether it added the folder to PATH.
!define OWN_KEY "Software\${PRODUCT}"
!define ENV_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"
!include "x64.nsh"

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!if /FileExists "${SRCDIR}/LICENSE.txt"
  !insertmacro MUI_PAGE_LICENSE "${SRCDIR}/LICENSE.txt"
!endif
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; --- PATH editing ---------------------------------------------------------------------------
; Strings here hold at most NSIS_MAX_STRLEN characters: a longer PATH is left alone (reading it
; fails rather than truncating it, and nothing is written back then).

; $0 = a PATH list, $1 = a folder. Gives $2 = the list without the entries naming that folder
; (compared without case, with or without a trailing backslash; every other entry, empty ones
; included, kept as it was) and $3 = how many entries were dropped.
!macro PATH_WITHOUT UN
Function ${UN}PathWithout
  Push $4 ; the entry being read
  Push $5 ; one character
  Push $6 ; where in $0
  Push $7 ; entries kept so far
  StrCpy $2 ""
  StrCpy $3 0
  StrCpy $4 ""
  StrCpy $6 0
  StrCpy $7 0
  ${Do}
    StrCpy $5 $0 1 $6
    ${If} $5 == ";"
    ${OrIf} $5 == ""
      ${If} $4 == $1
      ${OrIf} $4 == "$1\"
        IntOp $3 $3 + 1
      ${Else}
        ${If} $7 > 0
          StrCpy $2 "$2;"
        ${EndIf}
        StrCpy $2 "$2$4"
        IntOp $7 $7 + 1
      ${EndIf}
      StrCpy $4 ""
      ${IfThen} $5 == "" ${|} ${ExitDo} ${|}
    ${Else}
      StrCpy $4 "$4$5"
    ${EndIf}
    IntOp $6 $6 + 1
  ${Loop}
  Pop $7
  Pop $6
  Pop $5
  Pop $4
FunctionEnd
!macroend
!insertmacro PATH_WITHOUT ""
!insertmacro PATH_WITHOUT "un."

!define /math PATH_ROOM ${NSIS_MAX_STRLEN} - 2

!macro BROADCAST_ENVIRONMENT
  SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
!macroend

; --- install --------------------------------------------------------------------------------
Section "${PRODUCT}" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${SRCDIR}/${APP_EXE}"
  File "${SRCDIR}/${CLI_EXE}"
  !if /FileExists "${SRCDIR}/README.txt"
    File "${SRCDIR}/README.txt"
  !endif
  !if /FileExists "${SRCDIR}/LICENSE.txt"
    File "${SRCDIR}/LICENSE.txt"
  !endif
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${APP_EXE}" "" "$INSTDIR\${APP_EXE}" 0

  ; "Open with" for .zip files, without taking the default association.
  WriteRegStr HKLM "Software\Classes\Applications\${APP_EXE}" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr HKLM "Software\Classes\Applications\${APP_EXE}\shell\open\command" "" '"$INSTDIR\${APP_EXE}" "%1"'
  WriteRegStr HKLM "Software\Classes\Applications\${APP_EXE}\SupportedTypes" ".zip" ""
  WriteRegStr HKLM "Software\Classes\${PROGID}" "" "Zip archive"
  WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\${APP_EXE},0"
  WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\${APP_EXE}" "%1"'
  WriteRegStr HKLM "Software\Classes\.zip\OpenWithProgids" "${PROGID}" ""
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)' ; SHCNE_ASSOCCHANGED

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${APP_EXE},0"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Add to PATH" SecPath
  ClearErrors
  ReadRegStr $0 HKLM "${ENV_KEY}" "Path"
  ${If} ${Errors}
    DetailPrint "The machine's PATH could not be read (too long for this installer?): add $INSTDIR to it by hand."
    Return
  ${EndIf}
  StrCpy $1 "$INSTDIR"
  Call PathWithout
  ${If} $3 > 0
    DetailPrint "$INSTDIR is already on the PATH."
    Return
  ${EndIf}
  StrLen $2 $0
  StrLen $3 $INSTDIR
  IntOp $2 $2 + $3
  ${If} $2 >= ${PATH_ROOM}
    DetailPrint "The machine's PATH is too long for this installer: add $INSTDIR to it by hand."
    Return
  ${EndIf}
  ; A separator is added on the side that lets the uninstaller give back the same string.
  ${If} $0 == ""
    StrCpy $0 "$INSTDIR"
  ${Else}
    StrCpy $2 $0 1 -1
    ${If} $2 == ";"
      StrCpy $0 "$0$INSTDIR;"
    ${Else}
      StrCpy $0 "$0;$INSTDIR"
    ${EndIf}
  ${EndIf}
  WriteRegExpandStr HKLM "${ENV_KEY}" "Path" $0
  WriteRegDWORD HKLM "${OWN_KEY}" "AddedToPath" 1
  !insertmacro BROADCAST_ENVIRONMENT
  DetailPrint "Added $INSTDIR to the PATH."
SectionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${PRODUCT} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PATH=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 == "1"
      !insertmacro SelectSection ${SecPath}
    ${Else}
      !insertmacro UnselectSection ${SecPath}
    ${EndIf}
  ${EndIf}
FunctionEnd

; --- uninstall ------------------------------------------------------------------------------
Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $0 HKLM "${OWN_KEY}" "AddedToPath"
  ${If} $0 == 1
    ClearErrors
    ReadRegStr $0 HKLM "${ENV_KEY}" "Path"
    ${If} ${Errors}
      DetailPrint "The machine's PATH could not be read: remove $INSTDIR from it by hand."
    ${Else}
      StrCpy $1 "$INSTDIR"
      Call un.PathWithout
      ${If} $3 > 0
        WriteRegExpandStr HKLM "${ENV_KEY}" "Path" $2
        !insertmacro BROADCAST_ENVIRONMENT
        DetailPrint "Removed $INSTDIR from the PATH."
      ${EndIf}
    ${EndIf}
  ${EndIf}
  DeleteRegValue HKLM "${OWN_KEY}" "AddedToPath"
  DeleteRegKey /ifempty HKLM "${OWN_KEY}"

  DeleteRegValue HKLM "Software\Classes\.zip\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifnosubkeys /ifnovalues HKLM "Software\Classes\.zip\OpenWithProgids"
  DeleteRegKey /ifnosubkeys /ifnovalues HKLM "Software\Classes\.zip"
  DeleteRegKey HKLM "Software\Classes\${PROGID}"
  DeleteRegKey HKLM "Software\Classes\Applications\${APP_EXE}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  Delete "$INSTDIR\${APP_EXE}"
  Delete "$INSTDIR\${CLI_EXE}"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
