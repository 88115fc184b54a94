#!/usr/bin/env bash
# Whether the suite catches the faults that matter: each fault of
# skrypty/mutacje.lista is planted alone in a copy of the tree, which is built
# incrementally, and the suite (on Qt's loop; with a time limit) must fail.
# Prints for each fault whether a test caught it, and a total. Long (a minute or two
# a fault): not a part of CI.
#
#   ./skrypty/mutacje.sh              every fault of the list
#   ./skrypty/mutacje.sh 3 17 40      only these, by their numbers
#
# The copy lives in /var/tmp/serwer-synchronizacji/mutacje (or
# $MUTACJE_KATALOG), made afresh from this tree at every run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

zainstaluj_brakujace python3 rsync
lista="$katalog_projektu/skrypty/mutacje.lista"
kopia="${MUTACJE_KATALOG:-/var/tmp/serwer-synchronizacji/mutacje}"
budowa="$kopia/build"
mkdir -p "$kopia"
# By content, not times: a file that differs gets a new time, so that the
# build never keeps an object of a fault that a killed run left planted.
rsync -rlp --checksum --delete --exclude '/build*' --exclude '/.git' \
    "$katalog_projektu/" "$kopia/drzewo/"
zainstaluj_brakujace cmake ninja-build g++ ccache qt6-base-dev qt6-qpa-plugins libfaketime tzdata
cmake -S "$kopia/drzewo" -B "$budowa" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null

# The suite as the faults meet it: Qt's loop only (the other adds time, not
# faults of these rules), stopped at the first failure, each test within its
# own time limit and the whole within ten minutes.
suite() {
    (cd "$budowa" && QT_QPA_PLATFORM=offscreen timeout 600 \
        ctest -E '_epoll$' --stop-on-failure --timeout 150 -j2 >"$kopia/ctest.log" 2>&1)
}
cmake --build "$budowa" >/dev/null
suite || { echo "mutacje: the suite fails without any fault planted; see $kopia/ctest.log" >&2; exit 1; }

# The faults, one a block: "= FILE", the lines to find ("- "), the lines to
# put instead ("+ ", none to take them out), "# " what rule it breaks, and
# "! " why it makes no observable difference, for one that cannot be caught.
python3 - "$lista" >"$kopia/bledy.tsv" <<'PYTHON'
import json, sys
bledy, blad = [], None
for wiersz in open(sys.argv[1], encoding='utf-8').read().split('\n'):
    if wiersz.startswith('= '):
        blad = {'plik': wiersz[2:], 'szukane': [], 'nowe': [], 'opis': '', 'rownowazny': ''}
        bledy.append(blad)
    elif blad is not None and wiersz.startswith('- '):
        blad['szukane'].append(wiersz[2:])
    elif blad is not None and wiersz.startswith('+ '):
        blad['nowe'].append(wiersz[2:])
    elif not wiersz.strip() or wiersz.startswith('# ---'):
        blad = None  # a block ends at a blank line or a heading
    elif blad is not None and wiersz.startswith('# '):
        blad['opis'] = wiersz[2:]
    elif blad is not None and wiersz.startswith('! '):
        blad['rownowazny'] = wiersz[2:]
for nr, b in enumerate(bledy, 1):
    print(json.dumps({'nr': nr, **b}, ensure_ascii=False))
PYTHON

# Plants fault $1 (a line of bledy.tsv) in the copy; fails when its lines
# are not there exactly once.
zasiej() {
    python3 - "$kopia/drzewo" "$1" <<'PYTHON'
import json, sys
b = json.loads(sys.argv[2])
sciezka = sys.argv[1] + '/' + b['plik']
tekst = open(sciezka, encoding='utf-8').read()
szukane = '\n'.join(b['szukane'])
if tekst.count(szukane) != 1:
    sys.exit(1)
open(sciezka, 'w', encoding='utf-8').write(tekst.replace(szukane, '\n'.join(b['nowe'])))
PYTHON
}

wybrane=" $* "
razem=0 zlapane=0 przezyly=0 rownowazne=0 zle=0
while IFS= read -r blad; do
    nr=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["nr"])' "$blad")
    [ "$#" -eq 0 ] || [[ "$wybrane" == *" $nr "* ]] || continue
    IFS=$'\t' read -r plik opis rownowazny < <(python3 -c '
import json, sys
b = json.loads(sys.argv[1])
print(b["plik"], b["opis"], b["rownowazny"], sep="\t")' "$blad")
    cp "$kopia/drzewo/$plik" "$kopia/oryginal"
    if ! zasiej "$blad"; then
        echo "$nr. NIE ZNALEZIONO w $plik: $opis"
        zle=$((zle + 1))
        continue
    fi
    razem=$((razem + 1))
    if ! cmake --build "$budowa" >"$kopia/budowa.log" 2>&1; then
        wynik="NIE BUDUJE SIĘ"
        zle=$((zle + 1))
        razem=$((razem - 1))
    elif suite; then
        if [ -n "$rownowazny" ]; then
            wynik="równoważny ($rownowazny)"
            rownowazne=$((rownowazne + 1))
            razem=$((razem - 1))
        else
            wynik="PRZEŻYŁ"
            przezyly=$((przezyly + 1))
        fi
    else
        wynik="złapany ($(grep -oE '[0-9]+ - tst_[a-z_]+' "$kopia/ctest.log" | head -n 1 | cut -d' ' -f3))"
        zlapane=$((zlapane + 1))
    fi
    echo "$nr. $wynik: $plik: $opis"
    cp "$kopia/oryginal" "$kopia/drzewo/$plik"
done <"$kopia/bledy.tsv"
cmake --build "$budowa" >/dev/null 2>&1 || true
procent=0
[ "$razem" -eq 0 ] || procent=$((100 * zlapane / razem))
echo "mutacje: złapano $zlapane z $razem ($procent %), przeżyło $przezyly, równoważnych $rownowazne, błędów listy $zle"
[ "$zle" -eq 0 ]
