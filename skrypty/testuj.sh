#!/usr/bin/env bash
# Builds the server and runs the whole test suite; exits non-zero on any
# failure. With --sanitizers, the same suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer, in a build directory of its own.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

budowa=build
opcje=(-DSERWER_SANITIZE=OFF)
if [ "${1:-}" = "--sanitizers" ]; then
    budowa=build-sanitizers
    opcje=(-DSERWER_SANITIZE=ON)
fi

# A faked system clock and the time zones, for the tests of daylight saving
# time.
zainstaluj_brakujace libfaketime tzdata
zbuduj "$budowa" "${opcje[@]}"
cd "$katalog_projektu/$budowa"
QT_QPA_PLATFORM=offscreen \
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j2
