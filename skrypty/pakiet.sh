#!/usr/bin/env bash
# Builds the Debian package and checks it: its files are where they belong,
# the menu entry, the AppStream metadata and the package itself (lintian)
# validate, and it installs with apt-get, runs, and removes cleanly. Installs
# for real: run it as root, or with sudo at hand; with --bez-instalacji it
# stops before installing.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

zainstaluj_brakujace dpkg-dev file desktop-file-utils appstream libxml2-utils lintian systemd man-db
# A distribution's layout: programs under /usr, settings in /etc.
zbuduj build -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cd "$katalog_projektu/build"
rm -f serwer-synchronizacji_*.deb
cpack -G DEB >/dev/null
pakiet=$(ls serwer-synchronizacji_*.deb)

id=pl.synchronizacja.SerwerSynchronizacji
pliki=(usr/bin/serwer-synchronizacji usr/bin/klient
       "usr/share/applications/$id.desktop"
       "usr/share/icons/hicolor/scalable/apps/$id.svg"
       "usr/share/metainfo/$id.metainfo.xml"
       usr/share/man/man1/serwer-synchronizacji.1.gz usr/share/man/man1/klient.1.gz
       usr/share/doc/serwer-synchronizacji/copyright
       usr/share/doc/serwer-synchronizacji/changelog.gz
       lib/systemd/system/serwer-synchronizacji.service etc/default/serwer-synchronizacji
       lib/systemd/system/klient-systemowy.service etc/default/klient-systemowy)
uslugi=(serwer-synchronizacji klient-systemowy)

korzen=$(mktemp -d)
trap 'rm -rf "$korzen"' EXIT
dpkg-deb -x "$pakiet" "$korzen"
for plik in "${pliki[@]}"; do
    [ -f "$korzen/$plik" ] || { echo "pakiet: /$plik is missing from $pakiet" >&2; exit 1; }
done
desktop-file-validate "$korzen/usr/share/applications/$id.desktop"
xmllint --noout "$korzen/usr/share/icons/hicolor/scalable/apps/$id.svg"
appstreamcli validate --no-net "$korzen/usr/share/metainfo/$id.metainfo.xml"
# Errors and warnings fail; informational tags are only shown.
lintian --fail-on error,warning "$pakiet"
if [ "${1:-}" = "--bez-instalacji" ]; then
    echo "pakiet: build/$pakiet built and validated"
    exit 0
fi

jako_root=()
[ "$(id -u)" -eq 0 ] || jako_root=(sudo)
"${jako_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$pakiet" >/dev/null
for plik in "${pliki[@]}"; do
    [ -f "/$plik" ] || { echo "pakiet: /$plik was not installed" >&2; exit 1; }
done
/usr/bin/klient --version
for usluga in "${uslugi[@]}"; do
    systemd-analyze verify "/lib/systemd/system/$usluga.service"
    # Installed, not enabled: the administrator decides.
    [ "$(systemctl is-enabled "$usluga" 2>/dev/null || true)" != enabled ] \
        || { echo "pakiet: $usluga is enabled on installation" >&2; exit 1; }
done
# It runs until it is stopped: timeout's 124, not a crash or a missing library.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/serwer-synchronizacji 2>/dev/null || status=$?
[ "$status" -eq 124 ] || { echo "pakiet: the installed server exited with $status" >&2; exit 1; }
# Without a window, as its service runs it: SIGTERM ends it with 0.
status=0
timeout --preserve-status -s TERM 3 /usr/bin/serwer-synchronizacji --bez-okna --start --synch --port 47466 \
    >/dev/null 2>&1 || status=$?
[ "$status" -eq 0 ] || { echo "pakiet: the server without a window exited with $status" >&2; exit 1; }
"${jako_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq serwer-synchronizacji >/dev/null
for plik in "${pliki[@]}"; do
    [ ! -e "/$plik" ] || { echo "pakiet: /$plik is left after removal" >&2; exit 1; }
done
echo "pakiet: $pakiet built, validated, installed, run and purged"
