#!/usr/bin/env bash
# Runs a Windows program under Wine, as CTest's emulator and for
# skrypty/windows.sh: as root, only as an unprivileged user (nobody) with
# every capability dropped, so that nothing a program does through Wine can
# set this machine's clock, in a Wine prefix of that user's
# ($WINE_PREFIKS, /var/tmp/serwer-synchronizacji/wine-testy by default),
# made on first use. Wine says nothing but errors.
set -euo pipefail
prefiks=${WINE_PREFIKS:-/var/tmp/serwer-synchronizacji/wine-testy}
zmienne=(WINEPREFIX="$prefiks" WINEARCH=win64 HOME="$prefiks" WINEDEBUG="${WINEDEBUG:--all}"
    WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}")
if [ "$(id -u)" -eq 0 ]; then
    if [ ! -d "$prefiks" ]; then
        mkdir -p "$prefiks"
        chown 65534:65534 "$prefiks"
    fi
    bez_uprawnien=(setpriv --reuid=65534 --regid=65534 --clear-groups
        --inh-caps=-all --bounding-set=-all)
else
    mkdir -p "$prefiks"
    bez_uprawnien=()
fi
# Wine keeps Qt's variables (QT_…) from Windows programs, as meant for the
# system's own Qt, unless they come as WINEQT_….
for zmienna in $(compgen -e); do
    [[ $zmienna == QT_* ]] && zmienne+=("WINE$zmienna=${!zmienna}")
done
program=wine
if [ "${1:-}" = "--serwer-wine" ]; then # wineserver itself: -p, -k, -w
    program=wineserver
    shift
fi
exec "${bez_uprawnien[@]}" env "${zmienne[@]}" "$program" "$@"
