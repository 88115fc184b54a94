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
zainstaluj_brakujace cmake ninja-build ccache qt6-base-dev qt6-qpa-plugins \
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
    rm -rf "$qt_windows"
    mkdir -p "$qt_windows"
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
podsumowanie_testow=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$katalog_projektu/$budowa/ctest.log" | tail -n 1)

# 3. The installer and the zip, from the installed folder.
wersja=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$katalog_projektu/$budowa/CMakeCache.txt")
folder="$katalog_projektu/$budowa/instalacja/serwer-synchronizacji-$wersja"
rm -rf "$katalog_projektu/$budowa/instalacja"
cmake --install "$katalog_projektu/$budowa" --prefix "$folder" --strip >/dev/null
# For the installer, what to put where, and what to take away: files first,
# then folders, the deepest first.
pliki="$katalog_projektu/$budowa/instalacja/pliki.nsh"
usuwane="$katalog_projektu/$budowa/instalacja/usuwane.nsh"
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
    # Five clients up to 30 s off, and one 1 100 s off; two exchanges.
    "$katalog_projektu/build/klient/klient-synchronizacji" --port "$port" --count 5 --spread 30 \
        --seed 3 --quiet >/dev/null &
    klienci=($!)
    "$katalog_projektu/build/klient/klient-synchronizacji" --port "$port" --offset 1100 \
        --quiet >/dev/null &
    klienci+=($!)
    sleep 14
    import -window root "$katalog_projektu/$budowa/ekran.png"
    kill "${klienci[@]}"
    "$wine_sh" --serwer-wine -k
    convert "$katalog_projektu/$budowa/ekran.png" -trim +repage "$katalog_projektu/docs/okno-windows.png"
    echo "windows: docs/okno-windows.png"
    exit 0
fi

instalator="$katalog_projektu/$budowa/serwer-synchronizacji-$wersja-instalator.exe"
zip_="$katalog_projektu/$budowa/serwer-synchronizacji-$wersja-windows.zip"
makensis -V2 -DWERSJA="$wersja" -DZRODLO="$folder" -DPLIKI="$pliki" -DUSUWANE="$usuwane" \
    -DROZMIAR="$(du -sk "$folder" | cut -f1)" -DIKONA="$katalog_projektu/dist/windows/serwer-synchronizacji.ico" \
    -DWYJSCIE="$instalator" "$katalog_projektu/dist/windows/instalator.nsi"
rm -f "$zip_"
(cd "$katalog_projektu/$budowa/instalacja" && zip -qr "$zip_" "serwer-synchronizacji-$wersja")

# 4. The installer in a fresh Wine prefix: installed silently, the installed
# server without a window serves this machine's own client through one
# exchange and ends on a request to close, and the silent uninstall leaves
# nothing of it behind.
sprawdz_instalator() {
    local prefiks katalog port serwer dziennik
    prefiks=$(mktemp -d "$pamiec_podreczna/wine-instalator.XXXXXX")
    rmdir "$prefiks"
    trap 'WINE_PREFIKS="$prefiks" "$katalog_projektu/skrypty/wine.sh" --serwer-wine -k 2>/dev/null; rm -rf "$prefiks"' RETURN
    wine() { WINE_PREFIKS="$prefiks" "$katalog_projektu/skrypty/wine.sh" "$@"; }
    wine "$instalator" /S
    katalog="$prefiks/drive_c/Program Files/Serwer Synchronizacji"
    for plik in serwer-synchronizacji.exe serwer-synchronizacji.com klient-synchronizacji.exe \
        Qt6Core.dll platforms/qwindows.dll platforms/qoffscreen.dll odinstaluj.exe; do
        [ -f "$katalog/$plik" ] || { echo "windows: the installer left out $plik" >&2; return 1; }
    done
    [ -f "$prefiks/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Serwer Synchronizacji.lnk" ] \
        || { echo "windows: no Start menu entry" >&2; return 1; }
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\SerwerSynchronizacji' \
        /v UninstallString >/dev/null || { echo "windows: no uninstaller among the installed programs" >&2; return 1; }

    port=$(wolny_port)
    dziennik="$prefiks/serwer.log"
    wine 'C:\Program Files\Serwer Synchronizacji\serwer-synchronizacji.com' --bez-okna --start --synch \
        --okres 10 --port "$port" >"$dziennik" 2>&1 &
    serwer=$!
    timeout 60 "$katalog_projektu/build/klient/klient-synchronizacji" --port "$port" --exchanges 1 --quiet \
        || { echo "windows: the installed server served no exchange:" >&2; cat "$dziennik" >&2; return 1; }
    # The installed client, as an unprivileged user, cannot set the clock
    # and says so.
    wine 'C:\Program Files\Serwer Synchronizacji\klient-synchronizacji.exe' --systemowy \
        --host 127.0.0.1 --port "$port" --exchanges 1 >"$prefiks/klient.log" 2>&1
    grep -q 'odtąd tylko pomiar' "$prefiks/klient.log" \
        || { echo "windows: the installed client did not say it only measures:" >&2; cat "$prefiks/klient.log" >&2; return 1; }
    wine taskkill /im serwer-synchronizacji.com >/dev/null
    wait "$serwer" || { echo "windows: the installed server did not end cleanly:" >&2; cat "$dziennik" >&2; return 1; }
    grep -q ' - Wysłano godzinę synchronizacji .* do 1 klientów' "$dziennik" \
        && grep -q ' - Zamknięto serwer' "$dziennik" \
        || { echo "windows: the installed server's log lacks the exchange or the stop:" >&2; cat "$dziennik" >&2; return 1; }

    wine "$katalog\\odinstaluj.exe" /S
    wine --serwer-wine -w # the uninstaller goes on from a copy of itself
    if [ -e "$katalog" ] || [ -e "$prefiks/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Serwer Synchronizacji.lnk" ] \
        || wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\SerwerSynchronizacji' >/dev/null 2>&1; then
        echo "windows: the uninstaller left something behind" >&2
        find "$katalog" 2>/dev/null >&2
        return 1
    fi
    echo "windows: installed, served one exchange, uninstalled without a trace"
}
sprawdz_instalator || wynik=1

echo "windows: $podsumowanie_testow"
echo "windows: installer $instalator ($(du -h "$instalator" | cut -f1)), zip $zip_"
exit "$wynik"
