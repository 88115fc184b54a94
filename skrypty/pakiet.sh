#!/usr/bin/env bash
# Builds the Debian package and checks it: its files are where they belong,
# the menu entry, the AppStream metadata, the log rotation, the service units
# (and how exposed they are) and the package itself (lintian) validate, and
# the same build installed under any prefix writes nothing outside it. With
# --instalacja it is also installed on this machine with apt-get, run, and
# removed and purged with its maintainer scripts, leaving nothing behind:
# run that as root, or with sudo at hand, and only where the package is not
# installed already (its settings would go with the purge).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

instalacja=false
case "${1:-}" in
--instalacja) instalacja=true ;;
--bez-instalacji | "") ;;
*) echo "pakiet: unknown option $1 (--instalacja installs on this machine)" >&2; exit 2 ;;
esac
if $instalacja && dpkg-query -W -f='${Status}' serwer-synchronizacji 2>/dev/null | grep -q "ok installed"; then
    echo "pakiet: serwer-synchronizacji is installed on this machine; --instalacja would purge it" \
        "with its settings. Remove it first (apt-get purge serwer-synchronizacji)." >&2
    exit 1
fi

# Where systemd looks for a package's units, which CMake asks pkg-config:
# Debian 13 keeps systemd's pkg-config file in a package of its own.
dodatki=()
if apt-cache show systemd-dev >/dev/null 2>&1; then dodatki+=(systemd-dev); fi
zainstaluj_brakujace dpkg-dev file desktop-file-utils appstream libxml2-utils lintian systemd man-db \
    logrotate init-system-helpers pkgconf "${dodatki[@]}"
jednostki=$(pkg-config --variable=systemdsystemunitdir systemd)
jednostki=${jednostki#/}
# A distribution's layout: programs under /usr, settings in /etc; in a build
# folder of its own, so that build/ keeps its own prefix.
zbuduj build-pakiet -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF >/dev/null
cd "$katalog_projektu/build-pakiet"
rm -f serwer-synchronizacji_*.deb
cpack -G DEB >/dev/null
pakiet=$(ls serwer-synchronizacji_*.deb)

id=pl.synchronizacja.SerwerSynchronizacji
pliki=(usr/bin/serwer-synchronizacji usr/bin/klient-synchronizacji
       "usr/share/applications/$id.desktop"
       "usr/share/icons/hicolor/scalable/apps/$id.svg"
       "usr/share/metainfo/$id.metainfo.xml"
       usr/share/man/man1/serwer-synchronizacji.1.gz usr/share/man/man1/klient-synchronizacji.1.gz
       usr/share/doc/serwer-synchronizacji/copyright
       usr/share/doc/serwer-synchronizacji/changelog.gz
       "$jednostki/serwer-synchronizacji.service" etc/default/serwer-synchronizacji
       "$jednostki/klient-systemowy.service" etc/default/klient-systemowy
       etc/logrotate.d/serwer-synchronizacji)
uslugi=(serwer-synchronizacji klient-systemowy)
# What a purge must take away besides the files: what the services and
# deb-systemd-helper leave.
slady=(/var/log/serwer-synchronizacji /var/log/private/serwer-synchronizacji
       /etc/systemd/system/serwer-synchronizacji.service /etc/systemd/system/klient-systemowy.service
       /var/lib/systemd/deb-systemd-helper-enabled/serwer-synchronizacji.service.dsh-also
       /var/lib/systemd/deb-systemd-helper-enabled/klient-systemowy.service.dsh-also
       /var/lib/systemd/deb-systemd-helper-masked/serwer-synchronizacji.service
       /var/lib/systemd/deb-systemd-helper-masked/klient-systemowy.service)

tymczasowy=$(mktemp -d)
trap 'rm -rf "$tymczasowy"' EXIT
korzen=$tymczasowy/korzen
dpkg-deb -x "$pakiet" "$korzen"
for plik in "${pliki[@]}"; do
    [ -f "$korzen/$plik" ] || { echo "pakiet: /$plik is missing from $pakiet" >&2; exit 1; }
done
desktop-file-validate "$korzen/usr/share/applications/$id.desktop"
xmllint --noout "$korzen/usr/share/icons/hicolor/scalable/apps/$id.svg"
# Without a web page given when configured (-DSERWER_STRONA), the metadata
# honestly has none; AppStream 1.0 would fail it for that alone (and 0.16,
# Debian 12's, knows no such check to override).
brak_strony=()
wersja_appstream=$(appstreamcli --version | grep -oE '[0-9]+' | head -n 1)
if ((wersja_appstream >= 1)) && ! grep -q 'type="homepage"' "$korzen/usr/share/metainfo/$id.metainfo.xml"; then
    brak_strony=(--override=url-homepage-missing=info)
fi
appstreamcli validate --no-net "${brak_strony[@]}" "$korzen/usr/share/metainfo/$id.metainfo.xml"
logrotate --debug "$korzen/etc/logrotate.d/serwer-synchronizacji" 2>/dev/null
# The maintainer scripts are there; the units verify and are exposed
# little (under 3.0 on systemd's scale of 10).
kontrola=$tymczasowy/kontrola
dpkg-deb -e "$pakiet" "$kontrola"
for skrypt in postinst prerm postrm; do
    [ -x "$kontrola/$skrypt" ] || { echo "pakiet: no $skrypt in $pakiet" >&2; exit 1; }
    sh -n "$kontrola/$skrypt"
done
ekspozycja=()
for usluga in "${uslugi[@]}"; do
    plik="$korzen/$jednostki/$usluga.service"
    wynik=$(systemd-analyze security --offline=true --threshold=29 "$plik" 2>&1 | tail -n 1) \
        || { echo "pakiet: $usluga is too exposed: $wynik" >&2; exit 1; }
    ekspozycja+=("$usluga $(echo "$wynik" | grep -oE '[0-9]+\.[0-9]+')")
done
# Errors and warnings fail; informational tags are only shown.
lintian --fail-on error,warning "$pakiet"
# Installed under another prefix, every file stays under it.
cmake --install . --prefix "$tymczasowy/prefiks" >/dev/null
poza=$(grep -v "^$tymczasowy/prefiks/" install_manifest.txt || true)
[ -z "$poza" ] || { echo "pakiet: installed outside the prefix: $poza" >&2; exit 1; }
if ! $instalacja; then
    echo "pakiet: build-pakiet/$pakiet built and validated; exposure ${ekspozycja[*]}"
    exit 0
fi

jako_root=()
[ "$(id -u)" -eq 0 ] || jako_root=(sudo -n)
"${jako_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$pakiet" >/dev/null
for plik in "${pliki[@]}"; do
    [ -f "/$plik" ] || { echo "pakiet: /$plik was not installed" >&2; exit 1; }
done
/usr/bin/klient-synchronizacji --version
for usluga in "${uslugi[@]}"; do
    systemd-analyze verify "/$jednostki/$usluga.service"
    # Installed, not enabled: the administrator decides.
    [ "$(systemctl is-enabled "$usluga" 2>/dev/null || true)" != enabled ] \
        || { echo "pakiet: $usluga is enabled on installation" >&2; exit 1; }
    # Registered by the maintainer scripts, as disabled.
    [ -f "/var/lib/systemd/deb-systemd-helper-enabled/$usluga.service.dsh-also" ] \
        || { echo "pakiet: $usluga was not registered on installation" >&2; exit 1; }
done
# It runs until it is stopped: timeout's 124, not a crash or a missing library.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/serwer-synchronizacji 2>/dev/null || status=$?
[ "$status" -eq 124 ] || { echo "pakiet: the installed server exited with $status" >&2; exit 1; }
# Without a window, as its service runs it: its settings as shipped, an
# unprivileged user with only the right to a port below 1024, no home and
# no environment; SIGTERM ends it with 0.
status=0
(. /etc/default/serwer-synchronizacji
 # shellcheck disable=SC2086 # OPCJE is a list of options, as in the unit
 "${jako_root[@]}" timeout --preserve-status -s TERM 3 \
     setpriv --reuid=nobody --regid=nogroup --clear-groups \
         --inh-caps=+net_bind_service --ambient-caps=+net_bind_service \
     env -i QT_ENABLE_REGEXP_JIT=0 /usr/bin/serwer-synchronizacji --bez-okna --start --synch \
         --port 123 --okres "$OKRES" --prog "$PROG" $OPCJE >/dev/null) || status=$?
[ "$status" -eq 0 ] || { echo "pakiet: the server as its service runs it exited with $status" >&2; exit 1; }
# The client's service, as shipped, with no server set: it refuses to start.
status=0
(. /etc/default/klient-systemowy
 # shellcheck disable=SC2086
 /usr/bin/klient-synchronizacji --usluga --host "$SERWER" --port "$PORT" $OPCJE \
     >/dev/null 2>&1) || status=$?
[ "$status" -eq 2 ] || { echo "pakiet: the client with no server set exited with $status" >&2; exit 1; }
# A log folder as the service leaves it (its dynamic user's, behind a link).
"${jako_root[@]}" mkdir -p /var/log/private/serwer-synchronizacji
"${jako_root[@]}" touch /var/log/private/serwer-synchronizacji/dziennik.log
"${jako_root[@]}" ln -sfn private/serwer-synchronizacji /var/log/serwer-synchronizacji
"${jako_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq serwer-synchronizacji >/dev/null
# Removed, the settings stay, as Debian keeps them until a purge.
[ -f /etc/default/serwer-synchronizacji ] && [ ! -e /usr/bin/serwer-synchronizacji ] \
    || { echo "pakiet: a removal did not keep only the settings" >&2; exit 1; }
"${jako_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq serwer-synchronizacji >/dev/null
for plik in "${pliki[@]/#//}" "${slady[@]}"; do
    [ ! -e "$plik" ] && [ ! -L "$plik" ] || { echo "pakiet: $plik is left after the purge" >&2; exit 1; }
done
echo "pakiet: $pakiet built, validated, installed, run, removed and purged; exposure ${ekspozycja[*]}"
