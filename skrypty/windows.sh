#!/usr/bin/env bash
# Builds the Windows programs on Debian and checks them under Wine:
#  1. Qt for Windows, once, from Debian's own qt6-base source of the same
#     version as the machine's Qt (whose tools the cross build uses), with
#     Debian's MinGW-w64, into a cache outside the clone
#     ($QT_WINDOWS, /var/tmp/serwer-synchronizacji/qt-windows-VERSION by
#     default) that later runs and other clones reuse;
#  2. both programs and the tests, into build-windows/;
#  3. the whole suite under Wine, through CTest;
#  4. the installer (NSIS) and a zip of the same folder, and the installer
#     tried in a fresh Wine prefix: a silent install, one exchange with a
#     Linux client, a silent uninstall that leaves nothing behind.
# Ends with the CTest summary and the installer's path; any failure is a
# non-zero exit. Needs root, or sudo at hand, for apt-get only.
# With --zrzut, instead of 3 and 4: the installed server's window under Wine,
# with five clients, into docs/okno-windows.png.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

# Wine's X11 driver, and the fonts it shows: Wine prefixes made after them
# can show windows.
zainstaluj_brakujace cmake ninja-build ccache qt6-base-dev qt6-qpa-plugins qt6-translations-l10n \
    g++-mingw-w64-x86-64-posix dpkg-dev xz-utils wine wine64 fonts-wine xvfb xauth nsis zip \
    libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3
# Everything runs with a display of its own, open to the unprivileged user
# that runs the Windows programs.
if [ -z "${SERWER_WINDOWS_EKRAN:-}" ]; then
    SERWER_WINDOWS_EKRAN=1 exec xvfb-run -a -s "-ac -screen 0 1280x1024x24" "$0" "$@"
fi
export WINEDEBUG=-all
pamiec_podreczna=/var/tmp/serwer-synchronizacji
wersja_deb=$(dpkg-query -W -f='${Version}' qt6-base-dev)
wersja_qt=${wersja_deb%%[+~-]*}
qt_windows=${QT_WINDOWS:-$pamiec_podreczna/qt-windows-$wersja_qt}
przybornik=$qt_windows/mingw-w64.cmake

# The machine's own release and the archive its apt takes it from.
archiwum_maszyny() {
    local wydanie
    wydanie=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' \
        | awk -v r="$wydanie" '$2 == r { print $1 " " $2; exit }'
}

# Debian's qt6-base source of the installed version, with Debian's patches,
# fetched through a source list of its own so that the machine's apt
# configuration is left as it is.
pobierz_zrodla_qt() {
    local cel=$1 apt_src=$1.apt zrodlo
    zrodlo=$(archiwum_maszyny)
    if [ -z "$zrodlo" ]; then
        echo "windows: this machine's apt names no Debian archive to take qt6-base's source from" >&2
        exit 1
    fi
    rm -rf "$cel" "$apt_src"
    mkdir -p "$apt_src/lists/partial" "$apt_src/pobrane"
    echo "deb-src ${zrodlo% *} ${zrodlo#* } main" >"$apt_src/sources.list"
    local opcje=(-o "Dir::Etc::SourceList=$apt_src/sources.list" -o Dir::Etc::SourceParts=/nonexistent
        -o "Dir::State::Lists=$apt_src/lists" -o APT::Sandbox::User=root)
    apt-get "${opcje[@]}" update -qq
    (cd "$apt_src/pobrane" && apt-get "${opcje[@]}" source -qq --download-only "qt6-base=$wersja_deb")
    dpkg-source --no-copy -x "$apt_src"/pobrane/qt6-base_*.dsc "$cel" >/dev/null
    rm -rf "$apt_src"
}

zbuduj_qt() {
    local zrodla=$qt_windows.zrodla budowa=$qt_windows.budowa
    echo "windows: building Qt $wersja_qt for Windows into $qt_windows (once; about 25 minutes on two cores)"
    [ -f "$zrodla/.gotowe" ] || { pobierz_zrodla_qt "$zrodla" && touch "$zrodla/.gotowe"; }
    nowy_korzen "$qt_windows" windows QT_WINDOWS
    # The toolchain stays with the Qt that was built with it: its qt-cmake
    # loads it again for every project.
    cp "$katalog_projektu/dist/windows/mingw-w64.cmake" "$przybornik"
    # Only what the programs use. OpenGL is off (the window paints in
    # software), and with it the switch between GL libraries; tablets are off
    # because Debian's source leaves out their header.
    cmake -S "$zrodla" -B "$budowa" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$przybornik" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/"$(gcc -print-multiarch)"/cmake \
        -DCMAKE_INSTALL_PREFIX="$qt_windows" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF \
        -DFEATURE_tabletevent=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_dbus=OFF -DFEATURE_openssl=OFF \
        -DFEATURE_zstd=OFF -DFEATURE_glib=OFF -DFEATURE_icu=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
        -DFEATURE_system_doubleconversion=OFF -DFEATURE_pkg_config=OFF \
        >"$budowa.konfiguracja.log" 2>&1 \
        || { tail -n 40 "$budowa.konfiguracja.log" >&2; exit 1; }
    cmake --build "$budowa"
    cmake --install "$budowa" >/dev/null
    touch "$qt_windows/.gotowy"
    rm -rf "$budowa" "$zrodla"
}

mkdir -p "$pamiec_podreczna"
# One build of Qt at a time, whichever clone asks for it.
exec 9>"$pamiec_podreczna/qt-windows.blokada"
flock 9
[ -f "$qt_windows/.gotowy" ] || zbuduj_qt
flock -u 9

# 2. The programs and the tests, run by CTest through Wine (skrypty/wine.sh).
budowa=build-windows
skonfiguruj "$budowa" -DCMAKE_TOOLCHAIN_FILE="$qt_windows/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$katalog_projektu/skrypty/wine.sh"
cmake --build "$katalog_projektu/$budowa"

# Wine's server and its services start before the tests, away from their
# output: started by a test, they would hold its output open, and CTest would
# wait for them.
wine_sh="$katalog_projektu/skrypty/wine.sh"
"$wine_sh" --serwer-wine -p </dev/null >/dev/null 2>&1 &
"$wine_sh" cmd /c exit </dev/null >/dev/null 2>&1
zrzut=false
[ "${1:-}" = "--zrzut" ] && zrzut=true
wynik=0
$zrzut || (cd "$katalog_projektu/$budowa" && ctest --output-on-failure -j2) | tee "$katalog_projektu/$budowa/ctest.log" \
    || wynik=1
"$wine_sh" --serwer-wine -k 2>/dev/null || true
podsumowanie_testow=$(grep -hE 'tests passed, [0-9]+ tests failed out of' "$katalog_projektu/$budowa/ctest.log" 2>/dev/null | tail -n 1 || true)

# 3. The installer and the zip, from the installed folder.
wersja=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$katalog_projektu/$budowa/CMakeCache.txt")
folder="$katalog_projektu/$budowa/instalacja/serwer-synchronizacji-$wersja"
rm -rf "$katalog_projektu/$budowa/instalacja"
cmake --install "$katalog_projektu/$budowa" --prefix "$folder" --strip >/dev/null
# The libraries go as stripped as the programs (libstdc++ alone is 24 MB
# with its symbols).
find "$folder" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
# The licences of what goes with the programs, and where the source of Qt's
# libraries is.
wersja_tlumaczen=$(dpkg-query -W -f='${Version}' qt6-translations-l10n)
cp /usr/share/common-licenses/LGPL-3 "$folder/licencje/LGPL-3.txt"
cp /usr/share/common-licenses/GPL-3 "$folder/licencje/GPL-3.txt"
cp /usr/share/doc/g++-mingw-w64-x86-64-posix/copyright "$folder/licencje/MinGW-GCC.txt"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$folder/licencje/MinGW-w64.txt"
sed -e "s/@WERSJA_QT@/$wersja_deb/g" -e "s/@WERSJA_TLUMACZEN@/$wersja_tlumaczen/g" \
    "$katalog_projektu/dist/windows/informacje.txt.in" >"$folder/licencje/INFORMACJE.txt"
licencja="$katalog_projektu/$budowa/instalacja/licencja.txt"
{ printf '\xef\xbb\xbf'; cat "$folder/licencje/INFORMACJE.txt" "$folder/licencje/LICENCJA.txt"; } >"$licencja"
# For the installer, what to put where, and what to take away: files first,
# then folders, the deepest first.
pliki="$katalog_projektu/$budowa/instalacja/pliki.nsh"
usuwane="$katalog_projektu/$budowa/instalacja/usuwane.nsh"
sprawdzane="$katalog_projektu/$budowa/instalacja/sprawdzane.nsh"
windowsowa() { local w=${1#.}; w=${w#/}; printf '$INSTDIR%s' "${w:+\\${w//\//\\}}"; }
(
    cd "$folder"
    find . -type d | sort | while IFS= read -r k; do
        printf 'SetOutPath "%s"\n' "$(windowsowa "$k")"
        find "$k" -maxdepth 1 -type f | sort | while IFS= read -r f; do
            printf 'File "%s"\n' "$folder/${f#./}"
        done
    done >"$pliki"
    {
        find . -type f | sort | while IFS= read -r f; do printf 'Delete "%s"\n' "$(windowsowa "$f")"; done
        find . -mindepth 1 -type d | sort -r | while IFS= read -r k; do printf 'RMDir "%s"\n' "$(windowsowa "$k")"; done
    } >"$usuwane"
    # Each file left after the uninstallation is named in $R9.
    find . -type f | sort | while IFS= read -r f; do
        printf '${If} ${FileExists} "%s"\n    StrCpy $R9 "$R9 %s"\n${EndIf}\n' "$(windowsowa "$f")" "${f#./}"
    done >"$sprawdzane"
)
skonfiguruj build -DSERWER_SANITIZE=OFF
cmake --build "$katalog_projektu/build" --target klient-synchronizacji >/dev/null
# A port on loopback that nobody listens on.
wolny_port() {
    local port
    while port=$((20000 + RANDOM % 12000)) && (: </dev/tcp/127.0.0.1/"$port") 2>/dev/null; do :; done
    echo "$port"
}

# The window as Windows shows it, with Qt's Windows platform plugin: under
# Wine with no window manager, the window alone. Qt's FreeType font engine,
# as under Wine its GDI engine leaves the spin boxes blank.
if $zrzut; then
    zainstaluj_brakujace imagemagick
    port=$(wolny_port)
    "$wine_sh" "$folder/serwer-synchronizacji.exe" --start --synch --okres 10 \
        --port "$port" -platform windows:fontengine=freetype </dev/null >/dev/null 2>&1 &
    sleep 8
    # Five clients up to 30 s off, and one 1 100 s off; taken a few seconds
    # after the first exchange, once the table (refreshed at most once a
    # second) shows it.
    "$katalog_projektu/build/klient/klient-synchronizacji" --port "$port" --count 5 --spread 30 \
        --seed 3 --quiet >/dev/null &
    klienci=($!)
    "$katalog_projektu/build/klient/klient-synchronizacji" --port "$port" --offset 1100 \
        --quiet >/dev/null &
    klienci+=($!)
    sleep 6
    import -window root "$katalog_projektu/$budowa/ekran.png"
    kill "${klienci[@]}"
    "$wine_sh" --serwer-wine -k
    convert "$katalog_projektu/$budowa/ekran.png" -trim +repage "$katalog_projektu/docs/okno-windows.png"
    echo "windows: docs/okno-windows.png"
    exit 0
fi

instalator="$katalog_projektu/$budowa/serwer-synchronizacji-$wersja-instalator.exe"
zip_="$katalog_projektu/$budowa/serwer-synchronizacji-$wersja-windows.zip"
autorzy=$(sed -n 's/^set(SERWER_AUTORZY "\(.*\)")$/\1/p' "$katalog_projektu/CMakeLists.txt")
makensis -V2 -DWERSJA="$wersja" -DAUTORZY="$autorzy" -DZRODLO="$folder" -DPLIKI="$pliki" \
    -DUSUWANE="$usuwane" -DSPRAWDZANE="$sprawdzane" -DROZMIAR="$(du -sk "$folder" | cut -f1)" \
    -DIKONA="$katalog_projektu/dist/windows/serwer-synchronizacji.ico" -DLICENCJA="$licencja" \
    -DSERWER_INI="$katalog_projektu/dist/windows/serwer.ini" \
    -DKLIENT_INI="$katalog_projektu/dist/windows/klient.ini" \
    -DWYJSCIE="$instalator" "$katalog_projektu/dist/windows/instalator.nsi"
rm -f "$zip_"
(cd "$katalog_projektu/$budowa/instalacja" && zip -qr "$zip_" "serwer-synchronizacji-$wersja")

# 4. The installer in a fresh Wine prefix: installed silently, the installed
# server without a window serves this machine's own client through one
# exchange and ends on a request to close, and the silent uninstall leaves
# nothing of it behind.
sprawdz_instalator() {
    local prefiks katalog dane menu klucz port log klient
    prefiks=$(mktemp -d "$pamiec_podreczna/wine-instalator.XXXXXX")
    rmdir "$prefiks"
    trap 'WINE_PREFIKS="$prefiks" "$katalog_projektu/skrypty/wine.sh" --serwer-wine -k 2>/dev/null; rm -rf "$prefiks"' RETURN
    wine() { WINE_PREFIKS="$prefiks" "$katalog_projektu/skrypty/wine.sh" "$@"; }
    nie() { echo "windows: $*" >&2; return 1; }
    katalog="$prefiks/drive_c/Program Files/Serwer Synchronizacji"
    dane="$prefiks/drive_c/ProgramData/Serwer Synchronizacji"
    menu="$prefiks/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Serwer Synchronizacji"
    klucz='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\SerwerSynchronizacji'
    klient="$katalog_projektu/build/klient/klient-synchronizacji"

    # Wine ends its services once no program of the session runs: a
    # persistent server, up before the first program, keeps them, as
    # Windows keeps its own.
    wine --serwer-wine -p </dev/null >/dev/null 2>&1 &
    sleep 1
    # The services' settings as an administrator left them: an installation
    # over them keeps them (a free port, exchanges every 10 s).
    wine cmd /c exit
    port=$(wolny_port)
    mkdir -p "$dane"
    printf 'port=%s\r\nokres=10\r\ndozwolone=127.0.0.0/8\r\ndziennik=C:\\ProgramData\\Serwer Synchronizacji\\dziennik.log\r\n' \
        "$port" >"$dane/serwer.ini"
    printf 'host=127.0.0.1\r\nport=%s\r\n' "$port" >"$dane/klient.ini"
    chown -R 65534:65534 "$prefiks/drive_c/ProgramData"
    # Silently, as a lab's deployment tool installs it: both services.
    wine "$instalator" /S /USLUGA_SERWERA /KLIENT=127.0.0.1 || nie "the silent installation failed" || return 1
    for plik in serwer-synchronizacji.exe serwer-synchronizacji.com klient-synchronizacji.exe \
        Qt6Core.dll platforms/qwindows.dll platforms/qoffscreen.dll translations/qtbase_pl.qm \
        licencje/INFORMACJE.txt licencje/LGPL-3.txt README.txt odinstaluj.exe; do
        [ -f "$katalog/$plik" ] || { nie "the installer left out $plik"; return 1; }
    done
    for skrot in "Serwer Synchronizacji" Odinstaluj Instrukcja; do
        [ -f "$menu/$skrot.lnk" ] || { nie "no \"$skrot\" in the Start menu"; return 1; }
    done
    wine reg query "$klucz" /v UninstallString >/dev/null || { nie "no uninstaller among the installed programs"; return 1; }
    grep -q "^port=$port" "$dane/serwer.ini" || { nie "the installation did not keep the server's settings"; return 1; }
    # The log the settings named in the settings' folder, which the services
    # may no longer write, follows the server to its own folder.
    grep -q '^dziennik=C:\\ProgramData\\Serwer Synchronizacji\\serwer\\dziennik.log' "$dane/serwer.ini" \
        || { nie "the upgrade left the server's log in the settings' folder"; return 1; }
    for usluga in SerwerSynchronizacji KlientSynchronizacji; do
        wine sc query "$usluga" | grep -q RUNNING || { nie "the service $usluga does not run"; return 1; }
    done
    # The client's service, which has no console, keeps its lines beside
    # its state.
    for _ in $(seq 50); do grep -q 'połączono z' "$dane/klient/klient.log" 2>/dev/null && break; sleep 0.2; done
    grep -q 'połączono z' "$dane/klient/klient.log" 2>/dev/null \
        || { nie "the client's service wrote no connection to klient.log"; return 1; }

    # The server's service serves this machine's Linux clients, and its
    # stop tells them.
    timeout 60 "$klient" --port "$port" --exchanges 1 --quiet \
        || { nie "the server's service served no exchange:"; cat "$dane/serwer/dziennik.log" >&2; return 1; }
    log="$prefiks/klient-linuksa.log"
    "$klient" --port "$port" >"$log" 2>&1 &
    local pid=$!
    for _ in $(seq 50); do grep -q 'połączono z' "$log" && break; sleep 0.2; done
    wine net stop SerwerSynchronizacji >/dev/null
    for _ in $(seq 50); do grep -q 'serwer zatrzymany' "$log" && break; sleep 0.2; done
    kill "$pid"
    grep -q 'serwer zatrzymany' "$log" || { nie "net stop sent no stop notice:"; cat "$log" >&2; return 1; }
    grep -q ' - Zamknięto serwer' "$dane/serwer/dziennik.log" || { nie "the service's log does not end with its stop"; return 1; }

    # The installed client by hand, where the clock cannot be set: it says
    # what the system refused, and ends as a failure.
    wine net start SerwerSynchronizacji >/dev/null
    local kod=0
    wine 'C:\Program Files\Serwer Synchronizacji\klient-synchronizacji.exe' --systemowy \
        --host 127.0.0.1 --port "$port" --exchanges 1 >"$prefiks/klient.log" 2>&1 || kod=$?
    if ! grep -q 'odtąd tylko pomiar\|system nie zmienił zegara (Set' "$prefiks/klient.log" \
        || { ! grep -q 'odtąd tylko pomiar' "$prefiks/klient.log" && [ "$kod" -ne 3 ]; }; then
        nie "the installed client did not say what kept the clock (exit $kod):"
        cat "$prefiks/klient.log" >&2
        return 1
    fi

    wine "$katalog\\odinstaluj.exe" /S || { nie "the silent uninstallation failed"; return 1; }
    # The uninstaller goes on from a copy of itself; it takes the key away
    # last, once nothing else is left.
    for _ in $(seq 120); do
        wine reg query "$klucz" >/dev/null 2>&1 || break
        sleep 0.5
    done
    for usluga in SerwerSynchronizacji KlientSynchronizacji; do
        ! wine sc query "$usluga" >/dev/null 2>&1 || { nie "the uninstaller left the service $usluga"; return 1; }
    done
    if [ -e "$katalog" ] || [ -e "$menu" ] || [ -e "$dane" ] || wine reg query "$klucz" >/dev/null 2>&1; then
        nie "the uninstaller left something behind"
        find "$katalog" "$menu" "$dane" 2>/dev/null >&2
        return 1
    fi
    echo "windows: installed silently with both services, the client's writing its klient.log, served one exchange, net stop told the clients, uninstalled without a trace"
}
sprawdz_instalator || wynik=1

echo "windows: $podsumowanie_testow"
echo "windows: installer $instalator ($(du -h "$instalator" | cut -f1)), zip $zip_"
exit "$wynik"
