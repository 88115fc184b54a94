#!/usr/bin/env bash
# The package's services under a real systemd: Debian 12 booted in a
# container (systemd-nspawn) with only loopback to talk on, the package built
# by skrypty/pakiet.sh installed in it, and what an administrator meets
# checked there: the client's service skipped where the clock cannot be set,
# a mistake in the settings failing `systemctl start` with an error in the
# journal and no restart, the server ready once it listens, an exchange with
# clients, its status on SIGUSR1, a reload, a refused client that backs off,
# and the journal's levels. Nothing run inside holds the right to set a clock:
# the container is not given it, and every command entered from here drops
# it too. The root is kept ($KORZEN_SYSTEMD,
# /var/tmp/serwer-synchronizacji/systemd12 by default) and reused. Needs root.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "systemd: needs root (debootstrap, systemd-nspawn)" >&2
    exit 1
fi
korzen=${KORZEN_SYSTEMD:-/var/tmp/serwer-synchronizacji/systemd12}
zainstaluj_brakujace debootstrap debian-archive-keyring systemd-container libcap2-bin

if [ ! -f "$korzen/.gotowy" ]; then
    archiwum=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' \
        | awk '$2 == "bookworm" { print $1; exit }')
    if [ -z "$archiwum" ]; then
        echo "systemd: this machine's apt names no archive of Debian 12 (bookworm)" >&2
        exit 1
    fi
    echo "systemd: making a Debian 12 root with systemd in $korzen"
    nowy_korzen "$korzen" systemd KORZEN_SYSTEMD
    debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus,libcap2-bin bookworm \
        "$korzen" "$archiwum" >/dev/null
    echo "deb $archiwum bookworm main" >"$korzen/etc/apt/sources.list"
    touch "$korzen/.gotowy"
fi

# The package, as pakiet.sh builds it, installed afresh, as a window-less
# server installs it.
"$katalog_projektu/skrypty/pakiet.sh" >/dev/null 2>&1 || { echo "systemd: skrypty/pakiet.sh failed" >&2; exit 1; }
pakiet=$(ls "$katalog_projektu"/build-pakiet/serwer-synchronizacji_*.deb)
cp "$pakiet" "$korzen/tmp/pakiet.deb"
cp /etc/resolv.conf "$korzen/etc/resolv.conf"
mount -t proc proc "$korzen/proc"
chroot "$korzen" /bin/sh -c 'apt-get update -qq && apt-get purge -y -qq serwer-synchronizacji \
    >/dev/null 2>&1; DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends /tmp/pakiet.deb >/dev/null 2>&1' || { umount "$korzen/proc"; exit 1; }
umount "$korzen/proc"

systemd-nspawn -D "$korzen" -b --keep-unit --register=no --private-network --console=passive \
    >/dev/null 2>&1 &
kontener=$!
trap 'kill "$kontener" 2>/dev/null; wait "$kontener" 2>/dev/null || true' EXIT
init=""
for _ in $(seq 50); do
    init=$(pgrep -P "$kontener" -x systemd || true)
    [ -n "$init" ] && break
    sleep 0.2
done
[ -n "$init" ] || { echo "systemd: the container did not boot" >&2; exit 1; }
# A command inside, without the right to set a clock or to touch this
# machine's kernel.
w() {
    nsenter -t "$init" -a capsh --drop=cap_sys_time,cap_wake_alarm,cap_sys_module,cap_sys_rawio,cap_sys_boot \
        --inh= -- -c "$*"
}
for _ in $(seq 50); do
    stan=$(w systemctl is-system-running 2>/dev/null || true)
    [ "$stan" = running ] || [ "$stan" = degraded ] && break
    sleep 0.2
done
nie() { echo "systemd: $*" >&2; exit 1; }
ustawienia=/etc/default/serwer-synchronizacji

# The client's service, given a server, is skipped: the container cannot set
# the clock.
w "sed -i 's/^SERWER=.*/SERWER=127.0.0.1/' /etc/default/klient-systemowy; systemctl start klient-systemowy"
w "journalctl -u klient-systemowy -o cat --no-pager" | grep -q 'ConditionCapability=CAP_SYS_TIME' \
    || nie "the client's service was not skipped for want of CAP_SYS_TIME"

# An option twice: the start fails, at once, with the reason as an error,
# and the service is not started again.
w "cp $ustawienia /root/ustawienia; sed -i 's/^OPCJE=\"/OPCJE=\"--port 5555 /' $ustawienia"
! w "systemctl start serwer-synchronizacji" 2>/dev/null || nie "a start with an option twice succeeded"
w "journalctl -u serwer-synchronizacji -p err -o cat --no-pager" \
    | grep -q 'opcja --port podana więcej niż raz' || nie "the mistake is not an error in the journal"
[ "$(w "systemctl show -P NRestarts serwer-synchronizacji")" = 0 ] || nie "a mistake was restarted"

# As shipped, with its log file: ready once it listens; five clients on
# this machine, and one that stays silent, go through an exchange; SIGUSR1
# writes the status; a reload is taken.
w "cp /root/ustawienia $ustawienia; sed -i 's|^OPCJE=\"|OPCJE=\"--dziennik /var/log/serwer-synchronizacji/dziennik.log |' $ustawienia; systemctl reset-failed serwer-synchronizacji; systemctl start serwer-synchronizacji" \
    || nie "the server as shipped did not start"
w "timeout 60 klient-synchronizacji --count 5 --spread 30 --exchanges 1 --quiet" >/dev/null \
    || nie "five clients got no agreed time"
w "systemctl kill -s USR1 serwer-synchronizacji && sleep 1 && systemctl reload serwer-synchronizacji" \
    || nie "status or reload failed"
dziennik=$(w "journalctl -u serwer-synchronizacji -o cat --no-pager")
echo "$dziennik" | grep -q '^\[serwer\] [0-9:]\{8\} - Wymiana: odpowiedzi 5 z 5, uśredniono 5 z 5' \
    || nie "no exchange, or a date of its own, in the journal"
echo "$dziennik" | grep -q '^\[stan\] [0-9:]\{8\} - Połączonych klientów: ' || nie "no status on SIGUSR1"
w "test -s /var/log/serwer-synchronizacji/dziennik.log" || nie "no log file"

# Refused: a client outside --dozwolone, for a minute, says so once and backs
# off; the server's refusals are warnings.
w "sed -i 's|--dozwolone [^ ]*|--dozwolone 10.0.0.0/8|' $ustawienia; systemctl restart serwer-synchronizacji"
linie=$(w "timeout 60 klient-synchronizacji 2>&1 || true" | wc -l)
odmowy=$(w "journalctl -u serwer-synchronizacji -p warning -o cat --no-pager --since '-70s'" \
    | grep -c 'Odrzucono połączenie' || true)
[ "$linie" -le 2 ] && [ "$odmowy" -ge 1 ] && [ "$odmowy" -le 8 ] \
    || nie "a refused client wrote $linie lines and was refused $odmowy times in a minute"
w "systemctl stop serwer-synchronizacji"
echo "systemd: under systemd $(w "systemctl --version" | awk 'NR == 1 { print $2 }'): client service skipped without CAP_SYS_TIME; an option twice fails the start (exit 2, an error in the journal, no restart); the server ready, an exchange, its status, a reload; a refused client wrote $linie line(s) and was refused $odmowy times in a minute"
