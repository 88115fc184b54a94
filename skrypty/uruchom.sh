#!/usr/bin/env bash
# Builds the server and opens its window.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wspolne.sh"

zbuduj build >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: the server window needs a graphical desktop (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    exit 1
fi
exec "$katalog_projektu/build/serwer-synchronizacji" "$@"
