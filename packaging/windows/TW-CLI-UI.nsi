; The setup program of TW-CLI-UI for Windows, built by makensis (NSIS 3) on
; the build machine (packaging/windows/Installer.cmake). Per user, without
; administrator rights: the program goes to %LOCALAPPDATA%\Programs\TW-CLI-UI
; with its licence, the Windows README and the manual with its pictures, a
; shortcut to the TW-CLI-UI folder of the user's Start menu (where the
; program's --add-node puts the extra nodes' shortcuts), and an entry under
; HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall. /S installs and
; uninstalls without a window.
;
; The uninstaller takes away the program, the extra nodes' programs beside
; it (TW-CLI-UI-NAME.exe, through the program's own --remove-node, which also
; takes their shortcuts and start at login), its own shortcut and the
; Uninstall entry. The settings in the registry (HKCU\Software\VB and VBA
; Program Settings\TW-CLI-UI) and the logs and histories in
; %LOCALAPPDATA%\TW-CLI-UI stay, and it says so.
;
; Defined by the build: VERSION (1.2), VERSION4 (1.2.0.0), PROGRAM (the
; stripped TW-CLI-UI.exe), TEXTS (the folder of README.txt and LICENSE.txt
; with Windows' line ends), DOCUMENTS (an .nsh with the InstallDocuments and
; RemoveDocuments macros), OUTFILE.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include "${DOCUMENTS}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TW-CLI-UI"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
!define SETTINGS_KEY "HKEY_CURRENT_USER\Software\VB and VBA Program Settings\TW-CLI-UI"
!define PUBLISHER "The TW-CLI-UI contributors"

Name "TW-CLI-UI ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\TW-CLI-UI"
; An update goes where the last installation went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION4}"
VIAddVersionKey /LANG=0 "ProductName" "TW-CLI-UI"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "TW-CLI-UI ${VERSION} setup"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "MIT License, ${PUBLISHER}"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${TEXTS}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\TW-CLI-UI.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "$(KeptText)"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

LangString ShortcutComment ${LANG_ENGLISH} "Control panel for one Bitcoin-family full node"
LangString ShortcutComment ${LANG_GERMAN} "Bedienfeld für einen Knoten der Bitcoin-Familie"
LangString CloseFirst ${LANG_ENGLISH} "TW-CLI-UI is running. Close every TW-CLI-UI panel (those of extra nodes too), then press Retry."
LangString CloseFirst ${LANG_GERMAN} "TW-CLI-UI läuft. Schließen Sie jedes TW-CLI-UI-Fenster (auch die weiterer Knoten) und wählen Sie dann Wiederholen."
LangString NotRemoved ${LANG_ENGLISH} "Could not remove $R1: it stays."
LangString NotRemoved ${LANG_GERMAN} "$R1 ließ sich nicht entfernen und bleibt."
LangString KeptText ${LANG_ENGLISH} "TW-CLI-UI will be removed from this computer with the extra nodes' programs beside it (TW-CLI-UI-NAME.exe), their shortcuts and start at login. Your settings stay in the registry, and the diagnostics logs and histories in %LOCALAPPDATA%\TW-CLI-UI: a later installation finds them again."
LangString KeptText ${LANG_GERMAN} "TW-CLI-UI wird von diesem Computer entfernt, mit den Programmen weiterer Knoten daneben (TW-CLI-UI-NAME.exe), ihren Verknüpfungen und ihrem Start bei der Anmeldung. Ihre Einstellungen bleiben in der Registry, die Diagnoseprotokolle und Verläufe in %LOCALAPPDATA%\TW-CLI-UI: eine spätere Installation findet sie wieder."
LangString SettingsKept ${LANG_ENGLISH} "Your settings stay in the registry: ${SETTINGS_KEY}"
LangString SettingsKept ${LANG_GERMAN} "Ihre Einstellungen bleiben in der Registry: ${SETTINGS_KEY}"
LangString LogsKept ${LANG_ENGLISH} "The diagnostics logs and histories stay in $LOCALAPPDATA\TW-CLI-UI"
LangString LogsKept ${LANG_GERMAN} "Die Diagnoseprotokolle und Verläufe bleiben in $LOCALAPPDATA\TW-CLI-UI"

; A running panel holds the program file (every node's program is a name of
; the same file): Windows lets nobody write or delete it meanwhile. Asks to
; close it, or gives up in silent mode and when the user cancels.
!macro WaitForTheProgram un
Function ${un}WaitForTheProgram
    ${Do}
        ${IfNot} ${FileExists} "$INSTDIR\TW-CLI-UI.exe"
            Return
        ${EndIf}
        ClearErrors
        FileOpen $0 "$INSTDIR\TW-CLI-UI.exe" a
        ${IfNot} ${Errors}
            FileClose $0
            Return
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(CloseFirst)" /SD IDCANCEL IDRETRY +2
        Abort "$(CloseFirst)"
    ${Loop}
FunctionEnd
!macroend
!insertmacro WaitForTheProgram ""
!insertmacro WaitForTheProgram "un."

; Takes the start at login value $R0 away when it starts a program of
; $INSTDIR ($R1), as the program's own "Start at login" wrote it.
!macro RemoveRunValue
    ReadRegStr $R2 HKCU "${RUN_KEY}" "$R0"
    ${If} $R2 == '"$R1"'
        DeleteRegValue HKCU "${RUN_KEY}" "$R0"
        DeleteRegValue HKCU "${APPROVED_KEY}" "$R0"
    ${EndIf}
!macroend

Section "TW-CLI-UI"
    SectionIn RO
    Call WaitForTheProgram
    SetOutPath "$INSTDIR"
    ; Written into the existing file: the extra nodes' programs, its hard
    ; links, are updated with it.
    File "/oname=TW-CLI-UI.exe" "${PROGRAM}"
    File "${TEXTS}/LICENSE.txt"
    File "${TEXTS}/README.txt"
    !insertmacro InstallDocuments
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateDirectory "$SMPROGRAMS\TW-CLI-UI"
    CreateShortcut "$SMPROGRAMS\TW-CLI-UI\TW-CLI-UI.lnk" "$INSTDIR\TW-CLI-UI.exe" "" \
        "$INSTDIR\TW-CLI-UI.exe" 0 SW_SHOWNORMAL "" "$(ShortcutComment)"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "TW-CLI-UI"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\TW-CLI-UI.exe"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ; In KiB, as Windows reads it.
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
    Call un.WaitForTheProgram
    ; Each extra node's program through the program's own --remove-node:
    ; its name, shortcut and start at login go the way they came. What it
    ; leaves (a name it does not take) goes by hand; a file that stays ends
    ; the loop.
    ${Do}
        FindFirst $0 $R1 "$INSTDIR\TW-CLI-UI-*.exe"
        FindClose $0
        ${If} $R1 == ""
            ${Break}
        ${EndIf}
        StrCpy $R3 $R1 -4 10
        nsExec::ExecToLog '"$INSTDIR\TW-CLI-UI.exe" --remove-node "$R3"'
        Pop $0
        ${If} ${FileExists} "$INSTDIR\$R1"
            Delete "$SMPROGRAMS\TW-CLI-UI\TW-CLI-UI – $R3.lnk"
            StrCpy $R0 "TW-CLI-UI-$R3"
            StrCpy $R1 "$INSTDIR\$R1"
            !insertmacro RemoveRunValue
            Delete "$R1"
            ${If} ${FileExists} "$R1"
                DetailPrint "$(NotRemoved)"
                ${Break}
            ${EndIf}
        ${EndIf}
    ${Loop}
    ; The names that --remove-node hid while the program ran.
    Delete "$INSTDIR\TW-CLI-UI-*.removed"

    StrCpy $R0 "TW-CLI-UI"
    StrCpy $R1 "$INSTDIR\TW-CLI-UI.exe"
    !insertmacro RemoveRunValue
    Delete "$INSTDIR\TW-CLI-UI.exe"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\README.txt"
    !insertmacro RemoveDocuments
    Delete "$INSTDIR\Uninstall.exe"
    ; Only when empty: files of the user's own stay with their folder.
    RMDir "$INSTDIR"

    Delete "$SMPROGRAMS\TW-CLI-UI\TW-CLI-UI.lnk"
    RMDir "$SMPROGRAMS\TW-CLI-UI"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"

    DetailPrint "$(SettingsKept)"
    DetailPrint "$(LogsKept)"
SectionEnd
