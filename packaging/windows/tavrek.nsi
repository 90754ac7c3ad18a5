; The Windows installer of Tavrek, for the current user: no administrator
; rights, installed under %LOCALAPPDATA%\Programs\Tavrek, a Start-menu
; shortcut, an entry in Settings > Apps, and on request tavrek-cli on the
; user's PATH. /S installs silently; the uninstaller takes away what the
; installer added and nothing else. The 64-bit and the 32-bit installer put
; their programs in the same folder under the same entry, so that either
; replaces the other and a machine never holds both.
;
; makensis -DVERSION=0.4.0 -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe>
;          -DICON=<tavrek.ico> -DTARGET=amd64-unicode|x86-unicode -DKIND=win64|win32
;          tavrek.nsi

Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma
; The installed files take the time of their installation: the installer
; keeps no date of the files it was made of, so that the same files always
; make the same installer.
SetDateSave off
RequestExecutionLevel user
ManifestSupportedOS all
ManifestDPIAware true

!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "MUI2.nsh"
!include "WinMessages.nsh"

!define PRODUCT "Tavrek"
!define PUBLISHER "The Tavrek developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavrek"
!define ENVIRONMENT_KEY "Environment"
; How long other programs get to take in a changed environment, in ms.
!define SETTING_CHANGE_TIMEOUT 5000
; The longest PATH read or written: ReadRegStr silently cuts a value of
; NSIS_MAX_STRLEN characters stored without its terminating zero to one less,
; so a value of that length may be a cut one.
!define /math PATH_MAX_LENGTH ${NSIS_MAX_STRLEN} - 2

!if ${KIND} == win64
    !define BITS "64-bit"
!else
    !define BITS "32-bit"
!endif

Name "${PRODUCT} ${VERSION} (${BITS})"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION} (${BITS})"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer (${BITS} Windows)"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "MIT licence"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tavrek.exe"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ---- PATH: read whole or not at all

; Pushes the user's PATH, and "1" when it was read whole, "0" when there is none,
; or "too long" when it is longer than this installer can hold (NSIS_MAX_STRLEN):
; a PATH cut short and written back would lose the user's settings.
!macro READ_USER_PATH un
Function ${un}readUserPath
    Push $0
    Push $1
    Push $2
    StrCpy $2 0
    ; Does the value exist at all? Only the end of the list ends the search:
    ; the key's unnamed value, which Wine lists first, reads as "".
    StrCpy $1 0
    ${Do}
        ClearErrors
        EnumRegValue $0 HKCU "${ENVIRONMENT_KEY}" $1
        ${If} ${Errors}
            ${ExitDo}
        ${EndIf}
        ${If} $0 == "Path"
            StrCpy $2 1
            ${ExitDo}
        ${EndIf}
        IntOp $1 $1 + 1
    ${Loop}
    StrCpy $0 ""
    ${If} $2 == 1
        ClearErrors
        ReadRegStr $0 HKCU "${ENVIRONMENT_KEY}" "Path"
        ${If} ${Errors}
            StrCpy $2 "too long"
        ${Else}
            StrLen $1 $0
            ${If} $1 > ${PATH_MAX_LENGTH}
                StrCpy $2 "too long"
            ${EndIf}
        ${EndIf}
    ${EndIf}
    Pop $1
    Exch $2
    Exch
    Exch $0
    Exch
FunctionEnd
!macroend
!insertmacro READ_USER_PATH ""
!insertmacro READ_USER_PATH "un."

; The PATH without the entries equal (in any case) to the installation folder;
; the others keep their order and their text, empty ones included.
!macro WITHOUT_INSTALL_FOLDER un
Function ${un}withoutInstallFolder
    Exch $0  ; the PATH
    Push $1  ; what is left to split
    Push $2  ; its length
    Push $3  ; one entry
    Push $4  ; the result
    Push $5  ; where the entry ends
    Push $6  ; 1 until an entry is kept
    StrCpy $1 $0
    StrCpy $4 ""
    StrCpy $6 1
    ${Do}
        StrLen $2 $1
        StrCpy $5 0
        ${Do}
            StrCpy $3 $1 1 $5
            ${If} $3 == ";"
            ${OrIf} $5 >= $2
                ${ExitDo}
            ${EndIf}
            IntOp $5 $5 + 1
        ${Loop}
        StrCpy $3 $1 $5
        ${If} $3 != "$INSTDIR"
        ${AndIf} $3 != "$INSTDIR\"
            ${If} $6 == 1
                StrCpy $4 $3
                StrCpy $6 0
            ${Else}
                StrCpy $4 "$4;$3"
            ${EndIf}
        ${EndIf}
        ${If} $5 >= $2
            ${ExitDo}
        ${EndIf}
        IntOp $5 $5 + 1
        StrCpy $1 $1 "" $5
    ${Loop}
    StrCpy $0 $4
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd
!macroend
!insertmacro WITHOUT_INSTALL_FOLDER ""
!insertmacro WITHOUT_INSTALL_FOLDER "un."

Function announceEnvironment
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=${SETTING_CHANGE_TIMEOUT}
FunctionEnd

; ---- Install

Section "${PRODUCT}" SecProgram
    SectionIn RO
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File "${STAGE}\tavrek.exe"
    File "${STAGE}\tavrek-cli.exe"
    File "${STAGE}\README.txt"
    File "${STAGE}\LICENSE.txt"
    SetOutPath "$INSTDIR\examples"
    File "${STAGE}\examples\blink.hex"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tavrek.exe" "" "$INSTDIR\tavrek.exe" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavrek.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Put tavrek-cli on my PATH" SecPath
    Call readUserPath
    Pop $1  ; how it was read
    Pop $0  ; the PATH
    ${If} $1 == "too long"
        DetailPrint "Your PATH is too long for this installer to change safely: it is left as it is."
        MessageBox MB_OK|MB_ICONINFORMATION "Your PATH is longer than this installer can hold, so it is left as it is. To run tavrek-cli from any folder, add this folder to your PATH yourself:$\r$\n$INSTDIR" /SD IDOK
        Return
    ${EndIf}
    ; Already there: nothing to add, and nothing for the uninstaller to take away.
    Push $0
    Call withoutInstallFolder
    Pop $2
    ${If} $2 != $0
        Return
    ${EndIf}
    StrLen $2 $0
    StrLen $3 "$INSTDIR"
    IntOp $2 $2 + $3
    IntOp $2 $2 + 1
    ${If} $2 > ${PATH_MAX_LENGTH}
        DetailPrint "Your PATH would grow too long for this installer to write safely: it is left as it is."
        MessageBox MB_OK|MB_ICONINFORMATION "Your PATH would grow longer than this installer can hold, so it is left as it is. To run tavrek-cli from any folder, add this folder to your PATH yourself:$\r$\n$INSTDIR" /SD IDOK
        Return
    ${EndIf}
    ${If} $1 == 0
    ${OrIf} $0 == ""
        StrCpy $0 "$INSTDIR"
    ${Else}
        StrCpy $0 "$0;$INSTDIR"
    ${EndIf}
    WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "Path" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "PathEntryAdded" 1
    Call announceEnvironment
SectionEnd

LangString DESC_SecProgram ${LANG_ENGLISH} "The window (tavrek.exe), the command-line program (tavrek-cli.exe), the README, the licence and a sample firmware."
LangString DESC_SecPath ${LANG_ENGLISH} "Lets you run tavrek-cli from any folder in a command prompt. A PATH too long to change safely is left as it is."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_SecProgram)
    !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} $(DESC_SecPath)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; ---- Uninstall

Section "Uninstall"
    SetShellVarContext current
    ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "PathEntryAdded"
    ${If} $0 == 1
        Call un.readUserPath
        Pop $1
        Pop $0
        ${If} $1 == 1
            Push $0
            Call un.withoutInstallFolder
            Pop $2
            ${If} $2 != $0
                ${If} $2 == ""
                    DeleteRegValue HKCU "${ENVIRONMENT_KEY}" "Path"
                ${Else}
                    WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "Path" $2
                ${EndIf}
                SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=${SETTING_CHANGE_TIMEOUT}
            ${EndIf}
        ${ElseIf} $1 == "too long"
            DetailPrint "Your PATH is too long for this uninstaller to change safely: remove $INSTDIR from it yourself."
        ${EndIf}
    ${EndIf}
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\examples\blink.hex"
    RMDir "$INSTDIR\examples"
    Delete "$INSTDIR\tavrek.exe"
    Delete "$INSTDIR\tavrek-cli.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
