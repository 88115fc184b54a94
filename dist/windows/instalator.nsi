; The Windows installer: the programs with Qt's libraries, plugins and Polish
; texts and the compiler's libraries, in one folder under Program Files; a
; Start menu folder; and, as a lab wants them, the window-less server and the
; client of this machine's clock as services, firewall rules for the server,
; all of which the uninstaller takes away again. Built by skrypty/windows.sh
; with makensis, which passes:
;   WERSJA     the project's version, "X.Y.Z"
;   AUTORZY    who publishes it
;   ZRODLO     the installed folder to pack (cmake --install)
;   PLIKI      a file of File commands for each file of ZRODLO
;   USUWANE    a file of Delete and RMDir commands for each of them
;   SPRAWDZANE a file of checks that none of them is left
;   ROZMIAR    the size of ZRODLO in KB
;   IKONA      the programs' icon
;   LICENCJA   the licences, as the licence page shows them
;   SERWER_INI and KLIENT_INI, the services' settings as first written
;   WYJSCIE    the installer to write
;
; Silently (/S), for a lab's deployment tool: /USLUGA_SERWERA installs and
; starts the server's service, /KLIENT=ADDRESS the client's, kept to that
; server; /ZAPORA adds the firewall rules. A program of the package that
; runs is stopped if it is one of the services, and otherwise fails the
; installation (exit code 2) before anything is changed; the uninstaller
; does the same.
;
; A 64-bit installer, as the programs are: Windows itself refuses it on a
; 32-bit system, and it sees the 64-bit Program Files and registry.
Target amd64-unicode
SetCompressor /SOLID lzma
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include nsDialogs.nsh
!include TextFunc.nsh
!include WordFunc.nsh

!define NAZWA "Serwer Synchronizacji"
!define KLUCZ "Software\Microsoft\Windows\CurrentVersion\Uninstall\SerwerSynchronizacji"
!define PROGRAM "serwer-synchronizacji.exe"
!define KONSOLA "serwer-synchronizacji.com"
!define KLIENT "klient-synchronizacji.exe"
!define ODINSTALUJ "odinstaluj.exe"
!define USLUGA_SERWERA "SerwerSynchronizacji"
!define USLUGA_KLIENTA "KlientSynchronizacji"
!define CZAS_WINDOWS "SYSTEM\CurrentControlSet\Services\W32Time"
; With the shell's context "all": the Start menu of all users, and
; %ProgramData% for the services' settings, which only administrators may
; change, and a folder of each service's own (the server's log; the
; client's state and log), which that service alone may write.
!define MENU "$SMPROGRAMS\${NAZWA}"
!define DANE "$APPDATA\${NAZWA}"
!define DANE_SERWERA "${DANE}\serwer"
!define DANE_KLIENTA "${DANE}\klient"
; Well-known accounts, by SID, whatever the system's language.
!define ADMINISTRATORZY "*S-1-5-32-544"
!define SYSTEM "*S-1-5-18"
!define UZYTKOWNICY "*S-1-5-32-545"
!define USLUGA_LOKALNA "*S-1-5-19"
!define SC '"$SYSDIR\sc.exe"'
!define NET '"$SYSDIR\net.exe"'

Name "${NAZWA}"
OutFile "${WYJSCIE}"
InstallDir "$PROGRAMFILES64\${NAZWA}"
InstallDirRegKey HKLM "${KLUCZ}" "InstallLocation"
RequestExecutionLevel admin
VIProductVersion "${WERSJA}.0"
VIAddVersionKey /LANG=1045 "ProductName" "${NAZWA}"
VIAddVersionKey /LANG=1045 "CompanyName" "${AUTORZY}"
VIAddVersionKey /LANG=1045 "FileDescription" "Instalator programu ${NAZWA}"
VIAddVersionKey /LANG=1045 "FileVersion" "${WERSJA}"
VIAddVersionKey /LANG=1045 "ProductVersion" "${WERSJA}"
VIAddVersionKey /LANG=1045 "LegalCopyright" "Copyright 2026 ${AUTORZY}, licencja MIT"

Var AdresSerwera
Var PoleAdresu
; Stopped for the installation, and started again after it.
Var SerwerZatrzymany
Var KlientZatrzymany

!define MUI_ICON "${IKONA}"
!define MUI_UNICON "${IKONA}"
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCJA}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
Page custom StronaKlienta StronaKlientaKoniec
!insertmacro MUI_PAGE_INSTFILES
; Started by hand, not by default: a lab usually runs the service.
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM}"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Polish"
LangString DZIALA ${LANG_POLISH} "${NAZWA} albo jego klient działa na tym komputerze. Zamknij go (okno serwera, klient uruchomiony ręcznie) i naciśnij Ponów."

; $0: 1 while a program of the package runs (the named mutex it holds).
!macro DzialaFunkcja un
Function ${un}Dziala
    Push $1
    StrCpy $0 0
    !insertmacro SprawdzMutex "Global\SerwerSynchronizacji"
    !insertmacro SprawdzMutex "Local\SerwerSynchronizacji"
    !insertmacro SprawdzMutex "Global\KlientSynchronizacji"
    !insertmacro SprawdzMutex "Local\KlientSynchronizacji"
    Pop $1
FunctionEnd
!macroend
!macro SprawdzMutex NAZWA_MUTEKSU
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${NAZWA_MUTEKSU}") p.r1'
    ${If} $1 != 0
        System::Call 'kernel32::CloseHandle(p r1)'
        StrCpy $0 1
    ${EndIf}
!macroend
!insertmacro DzialaFunkcja ""
!insertmacro DzialaFunkcja "un."

; $0: 0 when the service is installed.
!macro CzyJestUsluga NAZWA_USLUGI
    nsExec::ExecToStack '${SC} query ${NAZWA_USLUGI}'
    Pop $0
    Pop $1
!macroend

; The package's services that run are stopped, and remembered; then, if a
; program of the package still runs (a window, a client started by hand),
; the operator is asked to end it, and silently the installation ends with
; code 2, the services it stopped running again, nothing else changed.
!macro ZatrzymajUslugeJesliDziala NAZWA_USLUGI ZATRZYMANA
    StrCpy ${ZATRZYMANA} 0
    !insertmacro CzyJestUsluga ${NAZWA_USLUGI}
    ${If} $0 == 0
        nsExec::ExecToStack '${NET} stop ${NAZWA_USLUGI}'
        Pop $0
        Pop $1
        ${IfThen} $0 == 0 ${|} StrCpy ${ZATRZYMANA} 1 ${|}
    ${EndIf}
!macroend
!macro ZatrzymajDzialajaceFunkcja un
Function ${un}ZatrzymajDzialajace
    !insertmacro ZatrzymajUslugeJesliDziala ${USLUGA_SERWERA} $SerwerZatrzymany
    !insertmacro ZatrzymajUslugeJesliDziala ${USLUGA_KLIENTA} $KlientZatrzymany
    ${Do}
        Call ${un}Dziala
        ${IfThen} $0 == 0 ${|} ${ExitDo} ${|}
        ${If} ${Silent}
            Call ${un}UruchomZatrzymane
            SetErrorLevel 2
            Quit
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(DZIALA)" IDRETRY ponow
        Call ${un}UruchomZatrzymane
        Quit
        ponow:
    ${Loop}
FunctionEnd
Function ${un}UruchomZatrzymane
    ${If} $SerwerZatrzymany == 1
        nsExec::ExecToLog '${NET} start ${USLUGA_SERWERA}'
    ${EndIf}
    ${If} $KlientZatrzymany == 1
        nsExec::ExecToLog '${NET} start ${USLUGA_KLIENTA}'
    ${EndIf}
FunctionEnd
!macroend
!insertmacro ZatrzymajDzialajaceFunkcja ""
!insertmacro ZatrzymajDzialajaceFunkcja "un."

; A service made anew, or pointed at this installation's program and
; account again on an upgrade; run as Local Service with only the privileges
; named and a SID of its own (NT SERVICE\name), by which its own folder is
; given to it alone; restarted after a failure (the program ends with a
; code other than 0 when it fails), the counting of failures begun again
; after a day.
!macro UtworzUsluge NAZWA_USLUGI WYSWIETLANA POLECENIE OPIS UPRAWNIENIA FOLDER
    !insertmacro CzyJestUsluga ${NAZWA_USLUGI}
    ${If} $0 == 0
        nsExec::ExecToLog '${SC} config ${NAZWA_USLUGI} binPath= "${POLECENIE}" start= auto \
            obj= "NT AUTHORITY\LocalService" password= ""'
    ${Else}
        nsExec::ExecToLog '${SC} create ${NAZWA_USLUGI} binPath= "${POLECENIE}" start= auto \
            DisplayName= "${WYSWIETLANA}" obj= "NT AUTHORITY\LocalService"'
    ${EndIf}
    nsExec::ExecToLog '${SC} description ${NAZWA_USLUGI} "${OPIS}"'
    nsExec::ExecToLog '${SC} failure ${NAZWA_USLUGI} reset= 86400 \
        actions= restart/5000/restart/5000/restart/60000'
    nsExec::ExecToLog '${SC} failureflag ${NAZWA_USLUGI} 1'
    nsExec::ExecToLog '${SC} privs ${NAZWA_USLUGI} ${UPRAWNIENIA}'
    nsExec::ExecToLog '${SC} sidtype ${NAZWA_USLUGI} unrestricted'
    CreateDirectory "${FOLDER}"
    nsExec::ExecToLog 'icacls "${FOLDER}" /grant:r "NT SERVICE\${NAZWA_USLUGI}:(OI)(CI)M"'
!macroend

; The settings' folder inherits nothing from %ProgramData%, where any user
; may create files: administrators and the system change it, users and the
; services' account read it.
!macro UprawnieniaDanych
    CreateDirectory "${DANE}"
    nsExec::ExecToLog 'icacls "${DANE}" /inheritance:r /grant:r \
        "${ADMINISTRATORZY}:(OI)(CI)F" "${SYSTEM}:(OI)(CI)F" "${UZYTKOWNICY}:(OI)(CI)RX" \
        "${USLUGA_LOKALNA}:(OI)(CI)RX"'
!macroend

; From an installation whose services wrote the settings' folder itself:
; their files go to their own folders, and the log line the installer first
; wrote in the server's settings follows its file.
Function PrzeniesPliki
    ${If} ${FileExists} "${DANE}\dziennik.log"
        Rename "${DANE}\dziennik.log" "${DANE_SERWERA}\dziennik.log"
    ${EndIf}
    ${If} ${FileExists} "${DANE}\korekty"
        Rename "${DANE}\korekty" "${DANE_KLIENTA}\korekty"
    ${EndIf}
    ${If} ${FileExists} "${DANE}\klient.log"
        Rename "${DANE}\klient.log" "${DANE_KLIENTA}\klient.log"
    ${EndIf}
    ClearErrors
    FileOpen $0 "${DANE}\serwer.ini" r
    ${IfThen} ${Errors} ${|} Return ${|}
    FileOpen $1 "${DANE}\serwer.ini.nowy" w
    ${Do}
        ClearErrors
        FileRead $0 $2
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        ${TrimNewLines} "$2" $3
        ${If} $3 == "dziennik=${DANE}\dziennik.log"
            FileWrite $1 "dziennik=${DANE_SERWERA}\dziennik.log$\r$\n"
        ${Else}
            FileWrite $1 $2
        ${EndIf}
    ${Loop}
    FileClose $0
    FileClose $1
    Delete "${DANE}\serwer.ini"
    Rename "${DANE}\serwer.ini.nowy" "${DANE}\serwer.ini"
FunctionEnd

!macro UsunUsluge NAZWA_USLUGI
    !insertmacro CzyJestUsluga ${NAZWA_USLUGI}
    ${If} $0 == 0
        nsExec::ExecToLog '${NET} stop ${NAZWA_USLUGI}'
        nsExec::ExecToLog '${SC} delete ${NAZWA_USLUGI}'
    ${EndIf}
!macroend

; A service's settings as first written, with one line of this
; installation's after them; an administrator's stay as they are on an
; upgrade.
!macro UstawieniaUslugi PLIK WZOR LINIA
    ${IfNot} ${FileExists} "${PLIK}"
        File "/oname=${PLIK}" "${WZOR}"
        FileOpen $0 "${PLIK}" a
        FileSeek $0 0 END
        FileWrite $0 "${LINIA}$\r$\n"
        FileClose $0
    ${EndIf}
!macroend

Section "${NAZWA}" SEC_PROGRAM
    SectionIn RO
    SetShellVarContext all
    Call ZatrzymajDzialajace
    !include "${PLIKI}"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\${ODINSTALUJ}"
    CreateDirectory "${MENU}"
    CreateShortcut "${MENU}\${NAZWA}.lnk" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0
    CreateShortcut "${MENU}\Wiersz polecenia w folderze programu.lnk" "$SYSDIR\cmd.exe" \
        '/k "cd /d "$INSTDIR" && serwer-synchronizacji --help"'
    CreateShortcut "${MENU}\Instrukcja.lnk" "$INSTDIR\README.txt"
    CreateShortcut "${MENU}\Licencje.lnk" "$INSTDIR\licencje"
    CreateShortcut "${MENU}\Odinstaluj.lnk" "$INSTDIR\${ODINSTALUJ}"
    WriteRegStr HKLM "${KLUCZ}" "DisplayName" "${NAZWA}"
    WriteRegStr HKLM "${KLUCZ}" "DisplayVersion" "${WERSJA}"
    WriteRegStr HKLM "${KLUCZ}" "Publisher" "${AUTORZY}"
    WriteRegStr HKLM "${KLUCZ}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
    WriteRegStr HKLM "${KLUCZ}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${KLUCZ}" "UninstallString" '"$INSTDIR\${ODINSTALUJ}"'
    WriteRegStr HKLM "${KLUCZ}" "QuietUninstallString" '"$INSTDIR\${ODINSTALUJ}" /S'
    WriteRegDWORD HKLM "${KLUCZ}" "NoModify" 1
    WriteRegDWORD HKLM "${KLUCZ}" "NoRepair" 1
    WriteRegDWORD HKLM "${KLUCZ}" "EstimatedSize" ${ROZMIAR}
    !insertmacro UprawnieniaDanych
SectionEnd

Section /o "Usługa serwera (bez okna)" SEC_USLUGA_SERWERA
    SetShellVarContext all
    !insertmacro UstawieniaUslugi "${DANE}\serwer.ini" "${SERWER_INI}" \
        "dziennik=${DANE_SERWERA}\dziennik.log"
    ; Local Service may listen on a port and write its own folder: no more is
    ; needed, so that nothing it is told to write reaches further.
    !insertmacro UtworzUsluge ${USLUGA_SERWERA} "${NAZWA}" \
        '\"$INSTDIR\${KONSOLA}\" --usluga --ustawienia \"${DANE}\serwer.ini\"' \
        "Serwer synchronizacji czasu bez okna; ustawienia w ${DANE}\serwer.ini, dziennik w ${DANE_SERWERA}." \
        "SeChangeNotifyPrivilege/SeCreateGlobalPrivilege" "${DANE_SERWERA}"
    Call PrzeniesPliki
    WriteRegDWORD HKLM "${KLUCZ}" "UslugaSerwera" 1
    nsExec::ExecToLog '${NET} start ${USLUGA_SERWERA}'
SectionEnd

Section /o "Reguły zapory dla serwera" SEC_ZAPORA
    ; By program, not by port: a port changed in the settings stays open.
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${NAZWA}" dir=in action=allow \
        protocol=TCP program="$INSTDIR\${KONSOLA}" enable=yes'
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${NAZWA} (okno)" dir=in \
        action=allow protocol=TCP program="$INSTDIR\${PROGRAM}" enable=yes'
    WriteRegDWORD HKLM "${KLUCZ}" "Zapora" 1
SectionEnd

Section /o "Klient: zegar tego komputera jako usługa" SEC_KLIENT
    SetShellVarContext all
    !insertmacro UstawieniaUslugi "${DANE}\klient.ini" "${KLIENT_INI}" "host=$AdresSerwera"
    ; Two programs that set one clock fight: the Windows Time service is
    ; stopped and disabled, and how it was is kept for the uninstaller.
    ClearErrors
    ReadRegDWORD $0 HKLM "${CZAS_WINDOWS}" "Start"
    ${IfNot} ${Errors}
        ReadRegDWORD $1 HKLM "${KLUCZ}" "CzasWindowsStart"
        ${If} $1 == ""
            WriteRegDWORD HKLM "${KLUCZ}" "CzasWindowsStart" $0
            nsExec::ExecToStack '${SC} query W32Time'
            Pop $1
            Pop $2
            ${WordFind} "$2" "RUNNING" "E+1{" $3
            ${If} ${Errors}
                WriteRegDWORD HKLM "${KLUCZ}" "CzasWindowsDzialal" 0
            ${Else}
                WriteRegDWORD HKLM "${KLUCZ}" "CzasWindowsDzialal" 1
            ${EndIf}
        ${EndIf}
        nsExec::ExecToLog '${NET} stop W32Time'
        nsExec::ExecToLog '${SC} config W32Time start= disabled'
    ${EndIf}
    ; Local Service holds the right to change the time, and no more is given;
    ; its state and log in its own folder.
    !insertmacro UtworzUsluge ${USLUGA_KLIENTA} "Klient Synchronizacji" \
        '\"$INSTDIR\${KLIENT}\" --usluga --ustawienia \"${DANE}\klient.ini\"' \
        "Zegar tego komputera uzgadniany z serwerem synchronizacji; ustawienia w ${DANE}\klient.ini." \
        "SeSystemtimePrivilege/SeChangeNotifyPrivilege" "${DANE_KLIENTA}"
    Call PrzeniesPliki
    WriteRegDWORD HKLM "${KLUCZ}" "UslugaKlienta" 1
    nsExec::ExecToLog '${NET} start ${USLUGA_KLIENTA}'
SectionEnd

; What an upgrade stopped runs again, if the sections above did not start it.
Section "-uruchom ponownie"
    Call UruchomZatrzymane
SectionEnd

; After the sections, whose numbers they use.
Function .onInit
    SetShellVarContext all
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/USLUGA_SERWERA" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SEC_USLUGA_SERWERA}
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/ZAPORA" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SEC_ZAPORA}
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/KLIENT=" $AdresSerwera
    ${IfNot} ${Errors}
        ${If} $AdresSerwera == ""
            MessageBox MB_ICONSTOP "/KLIENT= wymaga adresu serwera, np. /KLIENT=10.0.0.1" /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
        !insertmacro SelectSection ${SEC_KLIENT}
    ${EndIf}
FunctionEnd

Function StronaKlienta
    ${IfNot} ${SectionIsSelected} ${SEC_KLIENT}
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "Serwer dla klienta" "Z którym serwerem klient ma uzgadniać zegar tego komputera?"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 24u "Adres serwera synchronizacji (nazwa albo IPv4), np. 10.0.0.1. Można go później zmienić w ${DANE}\klient.ini."
    Pop $0
    ${NSD_CreateText} 0 30u 100% 12u "$AdresSerwera"
    Pop $PoleAdresu
    nsDialogs::Show
FunctionEnd

Function StronaKlientaKoniec
    ${NSD_GetText} $PoleAdresu $AdresSerwera
    ${If} $AdresSerwera == ""
        MessageBox MB_ICONEXCLAMATION "Podaj adres serwera synchronizacji."
        Abort
    ${EndIf}
FunctionEnd

LangString OPIS_PROGRAM ${LANG_POLISH} "Serwer z oknem, klient, biblioteki Qt, menu Start."
LangString OPIS_USLUGA ${LANG_POLISH} "Serwer bez okna uruchamiany z systemem; ustawienia w ProgramData\${NAZWA}\serwer.ini."
LangString OPIS_ZAPORA ${LANG_POLISH} "Pozwala klientom z sieci łączyć się z serwerem."
LangString OPIS_KLIENT ${LANG_POLISH} "Uzgadnia zegar tego komputera z serwerem; wyłącza usługę Czas systemu Windows."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SEC_PROGRAM} $(OPIS_PROGRAM)
    !insertmacro MUI_DESCRIPTION_TEXT ${SEC_USLUGA_SERWERA} $(OPIS_USLUGA)
    !insertmacro MUI_DESCRIPTION_TEXT ${SEC_ZAPORA} $(OPIS_ZAPORA)
    !insertmacro MUI_DESCRIPTION_TEXT ${SEC_KLIENT} $(OPIS_KLIENT)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Only what was installed goes: the folder may hold the user's own files.
; What the services kept (settings, state, logs) goes with them. Success is
; said only when nothing of it is left.
Section "Uninstall"
    SetShellVarContext all
    Call un.ZatrzymajDzialajace
    !insertmacro UsunUsluge ${USLUGA_SERWERA}
    !insertmacro UsunUsluge ${USLUGA_KLIENTA}
    ReadRegDWORD $0 HKLM "${KLUCZ}" "Zapora"
    ${If} $0 == 1
        nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${NAZWA}"'
        nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${NAZWA} (okno)"'
    ${EndIf}
    ; The Windows Time service as it was before the client came.
    ClearErrors
    ReadRegDWORD $0 HKLM "${KLUCZ}" "CzasWindowsStart"
    ${IfNot} ${Errors}
        WriteRegDWORD HKLM "${CZAS_WINDOWS}" "Start" $0
        ReadRegDWORD $1 HKLM "${KLUCZ}" "CzasWindowsDzialal"
        ${If} $1 == 1
            nsExec::ExecToLog '${NET} start W32Time'
        ${EndIf}
    ${EndIf}
    RMDir /r "${MENU}"
    !include "${USUWANE}"
    Delete "$INSTDIR\${ODINSTALUJ}"
    RMDir "$INSTDIR"
    RMDir /r "${DANE}"
    StrCpy $R9 ""
    !include "${SPRAWDZANE}"
    ${If} $R9 != ""
        DetailPrint "Nie usunięto: $R9"
        MessageBox MB_ICONSTOP "Nie udało się usunąć wszystkich plików programu:$\r$\n$R9" /SD IDOK
        SetErrorLevel 3
        Abort "Odinstalowanie nie powiodło się."
    ${EndIf}
    DeleteRegKey HKLM "${KLUCZ}"
SectionEnd
