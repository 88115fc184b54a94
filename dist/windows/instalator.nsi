; The Windows installer: the programs with Qt's libraries and plugins and the
; compiler's libraries, in one folder under Program Files; a Start menu entry;
; an uninstaller listed among the installed programs. Built by
; skrypty/windows.sh with makensis, which passes:
;   WERSJA   the project's version, "X.Y.Z"
;   ZRODLO   the installed folder to pack (cmake --install)
;   PLIKI    a file of File commands for each file of ZRODLO
;   USUWANE  a file of Delete and RMDir commands for each of them
;   ROZMIAR  the size of ZRODLO in KB
;   IKONA    the programs' icon
;   WYJSCIE  the installer to write
; A 64-bit installer, as the programs are: Windows itself refuses it on a
; 32-bit system, and it sees the 64-bit Program Files and registry.
Target amd64-unicode
SetCompressor /SOLID lzma
!include MUI2.nsh

!define NAZWA "Serwer Synchronizacji"
!define KLUCZ "Software\Microsoft\Windows\CurrentVersion\Uninstall\SerwerSynchronizacji"
!define PROGRAM "serwer-synchronizacji.exe"
!define ODINSTALUJ "odinstaluj.exe"

Name "${NAZWA}"
OutFile "${WYJSCIE}"
InstallDir "$PROGRAMFILES64\${NAZWA}"
InstallDirRegKey HKLM "${KLUCZ}" "InstallLocation"
RequestExecutionLevel admin
VIProductVersion "${WERSJA}.0"
VIAddVersionKey /LANG=1045 "ProductName" "${NAZWA}"
VIAddVersionKey /LANG=1045 "FileDescription" "Instalator programu ${NAZWA}"
VIAddVersionKey /LANG=1045 "FileVersion" "${WERSJA}"
VIAddVersionKey /LANG=1045 "ProductVersion" "${WERSJA}"
VIAddVersionKey /LANG=1045 "LegalCopyright" "Copyright 2026 Serwer Synchronizacji developers"

!define MUI_ICON "${IKONA}"
!define MUI_UNICON "${IKONA}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Polish"

Section
    SetShellVarContext all
    !include "${PLIKI}"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\${ODINSTALUJ}"
    CreateShortcut "$SMPROGRAMS\${NAZWA}.lnk" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0
    WriteRegStr HKLM "${KLUCZ}" "DisplayName" "${NAZWA}"
    WriteRegStr HKLM "${KLUCZ}" "DisplayVersion" "${WERSJA}"
    WriteRegStr HKLM "${KLUCZ}" "Publisher" "${NAZWA}"
    WriteRegStr HKLM "${KLUCZ}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
    WriteRegStr HKLM "${KLUCZ}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${KLUCZ}" "UninstallString" '"$INSTDIR\${ODINSTALUJ}"'
    WriteRegStr HKLM "${KLUCZ}" "QuietUninstallString" '"$INSTDIR\${ODINSTALUJ}" /S'
    WriteRegDWORD HKLM "${KLUCZ}" "NoModify" 1
    WriteRegDWORD HKLM "${KLUCZ}" "NoRepair" 1
    WriteRegDWORD HKLM "${KLUCZ}" "EstimatedSize" ${ROZMIAR}
SectionEnd

; Only what was installed goes: the folder may hold the user's own files.
Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${NAZWA}.lnk"
    !include "${USUWANE}"
    Delete "$INSTDIR\${ODINSTALUJ}"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${KLUCZ}"
SectionEnd
