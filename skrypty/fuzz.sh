#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each from its seeds in
# fuzz/korpus/TARGET, sharing the given number of seconds (60 by default)
# among them. A crash, an input that takes over a second or memory over
# 256 MB fails the run. Ends with a line per target: its executions and the
# edges of the code it reached.
#
#   ./skrypty/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

sekundy=${1:-60}
shift || true
cele=("$@")
[ "${#cele[@]}" -gt 0 ] || cele=(fuzz_ramki fuzz_klient fuzz_stan fuzz_opcje)
zainstaluj_brakujace cmake ninja-build ccache clang libclang-rt-dev qt6-base-dev
skonfiguruj build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DSERWER_FUZZ=ON -DBUILD_TESTING=OFF
budowa="$katalog_projektu/build-fuzz"
cmake --build "$budowa" --target "${cele[@]}"

na_cel=$((sekundy / ${#cele[@]}))
[ "$na_cel" -ge 1 ] || na_cel=1
podsumowanie=()
for cel in "${cele[@]}"; do
    # What a run finds beyond the seeds stays in the build folder.
    mkdir -p "$budowa/korpus/$cel"
    zapis="$budowa/$cel.log"
    # AddressSanitizer holds freed memory back to catch its use, 256 MB by
    # default: a little is enough, so that the bound is on what the code holds.
    if ! ASAN_OPTIONS="quarantine_size_mb=16:${ASAN_OPTIONS:-}" QT_QPA_PLATFORM=offscreen "$budowa/fuzz/$cel" -max_total_time="$na_cel" -timeout=1 \
        -rss_limit_mb=256 -print_final_stats=1 -artifact_prefix="$budowa/$cel-" \
        "$budowa/korpus/$cel" "$katalog_projektu/fuzz/korpus/$cel" >"$zapis" 2>&1; then
        tail -n 40 "$zapis" >&2
        echo "fuzz: $cel failed; the input is in $budowa/$cel-*" >&2
        exit 1
    fi
    wykonan=$(grep -oE '^stat::number_of_executed_units: *[0-9]+' "$zapis" | grep -oE '[0-9]+$')
    krawedzi=$(grep -oE 'cov: [0-9]+' "$zapis" | tail -n 1 | grep -oE '[0-9]+')
    podsumowanie+=("fuzz: $cel: $wykonan executions in $na_cel s, $krawedzi edges, no failure")
done
printf '%s\n' "${podsumowanie[@]}"
