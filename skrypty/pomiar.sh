#!/usr/bin/env bash
# Builds everything and runs the benchmark (about five minutes); arguments go
# to it (--json for JSON, --krotko for a quicker, rougher run).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

zbuduj build >/dev/null
exec "$katalog_projektu/build/bench/pomiar" "$@"
