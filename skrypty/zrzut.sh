#!/usr/bin/env bash
# docs/okno.png: the server window at its default size under a display of its
# own (Xvfb), a lab of simulated clients after one exchange: five within
# half a minute of each other, one 1 100 s off (averaged, and the one that
# moved the agreed time most), one 1 500 s off (rejected) and one that keeps
# silent.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

zainstaluj_brakujace xvfb xauth imagemagick
if [ -z "${SERWER_ZRZUT_EKRAN:-}" ]; then
    SERWER_ZRZUT_EKRAN=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
zbuduj build >/dev/null
program="$katalog_projektu/build"
port=$((20000 + RANDOM % 12000))
pidy=()
trap 'kill "${pidy[@]}" 2>/dev/null || true' EXIT
"$program/serwer-synchronizacji" --start --synch --okres 10 --port "$port" >/dev/null 2>&1 &
pidy+=($!)
sleep 2
for klienci in "--count 5 --spread 30 --seed 3" "--offset 1100" "--offset 1500"; do
    # shellcheck disable=SC2086 # the options of each group of clients
    "$program/klient/klient-synchronizacji" --port "$port" $klienci --quiet >/dev/null &
    pidy+=($!)
done
# A client that connects and never answers.
exec 3<>"/dev/tcp/127.0.0.1/$port"
sleep 11 # the first exchange, every 10 s
# ImageMagick's own programs, whatever else the path names so.
/usr/bin/import -window root "$katalog_projektu/build/ekran.png"
/usr/bin/convert "$katalog_projektu/build/ekran.png" -trim +repage "$katalog_projektu/docs/okno.png"
echo "zrzut: docs/okno.png"
