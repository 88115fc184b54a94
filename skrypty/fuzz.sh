#!/usr/bin/env bash
# Builds the libFuzzer target of the frame reader with clang and runs it for
# the given number of seconds (60 by default), from the committed seeds.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

sekundy=${1:-60}
zainstaluj_brakujace cmake ninja-build ccache clang libclang-rt-dev qt6-base-dev
skonfiguruj build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DSERWER_FUZZ=ON -DBUILD_TESTING=OFF
budowa="$katalog_projektu/build-fuzz"
cmake --build "$budowa" --target fuzz_ramki
mkdir -p "$budowa/korpus"
"$budowa/fuzz/fuzz_ramki" -max_total_time="$sekundy" -print_final_stats=1 -artifact_prefix="$budowa/" \
    "$budowa/korpus" "$katalog_projektu/fuzz/korpus"
