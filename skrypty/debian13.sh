#!/usr/bin/env bash
# Runs the README's test command (skrypty/testuj.sh, with its arguments) on
# Debian 13 "trixie": in a root of its own made with debootstrap from the
# package source this machine's apt already uses, so that the set-up
# commands themselves are what is tried there. With --pakiet, instead, the
# package is built and checked there (skrypty/pakiet.sh). The root is kept
# (in $KORZEN_DEBIAN13, /var/tmp/serwer-synchronizacji/debian13 by default)
# and reused by later runs, with its packages and its build; --od-nowa
# removes it first (what this script mounted in it is unmounted before, so
# that nothing of this machine's goes with it). Needs root, or sudo at hand.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

if [ "$(id -u)" -ne 0 ]; then
    exec sudo --preserve-env=CI,KORZEN_DEBIAN13 "$0" "$@"
fi
korzen=${KORZEN_DEBIAN13:-/var/tmp/serwer-synchronizacji/debian13}
wydanie=trixie
polecenie=./skrypty/testuj.sh
case "${1:-}" in
--pakiet) polecenie=./skrypty/pakiet.sh; shift ;;
--od-nowa) rm -f "$korzen/.gotowy"; shift ;;
esac
# Mounts a run that was killed left behind.
while read -r punkt; do
    [ -n "$punkt" ] && umount -R -l "$punkt"
done < <(zamontowane_w "$korzen")
zainstaluj_brakujace debootstrap debian-archive-keyring

# The archive and the security archive of this machine's own release, as its
# apt has them.
zrodlo() {
    local wydanieMaszyny
    wydanieMaszyny=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' \
        | awk -v r="$wydanieMaszyny$1" '$2 == r { print $1; exit }'
}
archiwum=$(zrodlo "")
bezpieczenstwo=$(zrodlo -security)
if [ -z "$archiwum" ]; then
    echo "debian13: this machine's apt names no Debian archive to take $wydanie from" >&2
    exit 1
fi

if [ ! -f "$korzen/.gotowy" ]; then
    echo "debian13: making a Debian 13 root in $korzen"
    nowy_korzen "$korzen" debian13 KORZEN_DEBIAN13
    debootstrap --variant=minbase "$wydanie" "$korzen" "$archiwum" >/dev/null
    {
        echo "deb $archiwum $wydanie main"
        echo "deb $archiwum $wydanie-updates main"
        [ -z "$bezpieczenstwo" ] || echo "deb $bezpieczenstwo $wydanie-security main"
    } >"$korzen/etc/apt/sources.list"
    touch "$korzen/.gotowy"
fi
cp /etc/resolv.conf "$korzen/etc/resolv.conf"

zamontowane=()
odmontuj() {
    local i
    for ((i = ${#zamontowane[@]} - 1; i >= 0; i--)); do
        umount -R -l "${zamontowane[i]}" || true
    done
}
trap odmontuj EXIT
zamontuj() {
    local cel="$korzen/$1"
    shift
    mountpoint -q "$cel" && return 0
    mount "$@" "$cel"
    zamontowane+=("$cel")
}
zamontuj proc -t proc proc
zamontuj sys -t sysfs sysfs
zamontuj dev --rbind /dev

# The project's files as they are now, over the last run's; the build
# folders stay, so that only what changed is built again.
mkdir -p "$korzen/zrodla"
find "$korzen/zrodla" -mindepth 1 -maxdepth 1 ! -name 'build*' -exec rm -rf {} +
cd "$katalog_projektu"
git ls-files -co --exclude-standard -z \
    | while IFS= read -r -d '' plik; do [ ! -e "$plik" ] || printf '%s\0' "$plik"; done \
    | tar --null -T - -cf - | tar -xf - -C "$korzen/zrodla"

echo "debian13: $polecenie $* in Debian $(cat "$korzen/etc/debian_version")"
chroot "$korzen" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    CI="${CI:-}" /bin/bash -c 'cd /zrodla && "$@"' uruchom "$polecenie" "$@"
