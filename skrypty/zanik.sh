#!/usr/bin/env bash
# A server machine that loses its power and comes back with the same
# address: its client must find the dead connection by itself (it only
# answers, so without probes it would wait on it for ever), reconnect to the
# new server and take part in its exchanges. The two machines are network
# namespaces of this script's own, joined by a veth pair; the server's is
# destroyed with its process (the power cut) and made again. Nothing of this
# machine's own network is touched. Needs root. Prints how long the client
# took to notice and to come back.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "zanik: needs root (network namespaces)" >&2
    exit 1
fi
zainstaluj_brakujace iproute2
zbuduj build -DSERWER_SANITIZE=OFF >/dev/null
serwer_program="$katalog_projektu/build/serwer-synchronizacji"
klient_program="$katalog_projektu/build/klient/klient-synchronizacji"

ns_serwera=ss-serwer-$$
ns_klienta=ss-klient-$$
adres_serwera=10.77.0.2
port=4466
zapis=$(mktemp -d)
pidy=()
sprzatnij() {
    if ((${#pidy[@]})); then
        kill -9 "${pidy[@]}" 2>/dev/null || true
        wait "${pidy[@]}" 2>/dev/null || true
    fi
    ip netns del "$ns_serwera" 2>/dev/null || true
    ip netns del "$ns_klienta" 2>/dev/null || true
    rm -rf "$zapis"
}
trap sprzatnij EXIT

# The server's machine, on the client's network: the client's end of the
# link stays with it, as a switch port would.
maszyna_serwera() {
    ip netns add "$ns_serwera"
    ip -n "$ns_klienta" link add vk type veth peer name vs netns "$ns_serwera"
    ip -n "$ns_klienta" addr add 10.77.0.1/24 dev vk
    ip -n "$ns_klienta" link set vk up
    ip -n "$ns_serwera" addr add "$adres_serwera/24" dev vs
    ip -n "$ns_serwera" link set vs up
    ip -n "$ns_serwera" link set lo up
    ip netns exec "$ns_serwera" "$serwer_program" --bez-okna --start --synch --okres 10 \
        --port "$port" >"$zapis/serwer$1.log" 2>&1 &
    serwer=$!
    pidy+=("$serwer")
}
czekaj() { # czekaj SECONDS FILE PATTERN [TIMES]
    local koniec=$((SECONDS + $1))
    until [ "$(grep -c -- "$3" "$2" 2>/dev/null)" -ge "${4:-1}" ]; do
        ((SECONDS < koniec)) || { echo "zanik: no \"$3\" in $(basename "$2") within $1 s" >&2; cat "$2" >&2; exit 1; }
        sleep 0.5
    done
}

ip netns add "$ns_klienta"
ip -n "$ns_klienta" link set lo up
maszyna_serwera 1
czekaj 10 "$zapis/serwer1.log" 'Uruchomiono serwer'
ip netns exec "$ns_klienta" "$klient_program" --host "$adres_serwera" --port "$port" --quiet \
    >"$zapis/klient.log" 2>&1 &
pidy+=($!)
czekaj 30 "$zapis/klient.log" 'Wymiana 1:'

# The power cut: the server's machine leaves the network, and its process
# goes without a word reaching the client; the machine comes back after a
# reboot.
ip -n "$ns_serwera" link del vs
kill -9 "$serwer"
wait "$serwer" 2>/dev/null || true
ip netns del "$ns_serwera"
odciecie=$SECONDS
sleep 5
maszyna_serwera 2
czekaj 180 "$zapis/klient.log" 'rozłączono'
zauwazyl=$((SECONDS - odciecie))
czekaj 60 "$zapis/klient.log" 'połączono z' 2
wrocil=$((SECONDS - odciecie))
czekaj 30 "$zapis/serwer2.log" 'Wysłano godzinę synchronizacji .* do 1 klientów'
((zauwazyl <= 150)) || { echo "zanik: the client noticed only after $zauwazyl s" >&2; exit 1; }
linii=$(wc -l <"$zapis/klient.log")
echo "zanik: the client found its vanished server dead ${zauwazyl} s after the power cut, was connected to the new server after ${wrocil} s and took part in its exchange; ${linii} lines from it"
