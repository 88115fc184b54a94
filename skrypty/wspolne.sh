# Sourced by the scripts of this folder: installs what the build needs on
# Debian when it is missing, then configures and builds incrementally.

katalog_projektu=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

zainstaluj_brakujace() {
    local brakujace=() pakiet
    for pakiet in "$@"; do
        dpkg-query -W -f='${Status}' "$pakiet" 2>/dev/null | grep -q "install ok installed" \
            || brakujace+=("$pakiet")
    done
    ((${#brakujace[@]})) || return 0
    local jako_root=()
    if [ "$(id -u)" -ne 0 ]; then
        # No password prompt: a script must not hang on one.
        if ! sudo -n true 2>/dev/null; then
            echo "Missing packages: ${brakujace[*]}. Install them as root:" >&2
            echo "  apt-get install --no-install-recommends ${brakujace[*]}" >&2
            exit 1
        fi
        jako_root=(sudo -n)
    fi
    echo "Installing: ${brakujace[*]}"
    # Another script may be installing at the same time (CI runs one beside
    # another): wait for its lock rather than fail.
    local czekaj=(-o DPkg::Lock::Timeout=600)
    "${jako_root[@]}" apt-get "${czekaj[@]}" update -qq
    "${jako_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get "${czekaj[@]}" install -y -qq --no-install-recommends "${brakujace[@]}" >/dev/null
}

# Mounts at or below a folder, deepest first (a root's /proc, /sys, /dev).
zamontowane_w() {
    local sciezka
    sciezka=$(realpath -m "$1")
    awk -v k="$sciezka" '$2 == k || index($2, k "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}

# Removes a folder this project made: never through a mount left in it (a
# run killed with the host's /dev bound into a root would take its devices
# with it), and never beyond its own file system.
usun_folder() {
    local punkt
    while read -r punkt; do
        [ -n "$punkt" ] && umount -R -l "$punkt"
    done < <(zamontowane_w "$1")
    if [ -n "$(zamontowane_w "$1")" ]; then
        echo "$1 still has something mounted in it; not removed" >&2
        exit 1
    fi
    rm -rf --one-file-system "$1"
}

# An empty folder for a root to be made in: $1 the folder, $2 the script's
# name, $3 the variable that names the folder. Only a folder made here, or an
# empty one, is ever removed.
nowy_korzen() {
    if [ -e "$1" ] && [ ! -f "$1/.serwer-synchronizacji" ] && [ -n "$(ls -A "$1" 2>/dev/null)" ]; then
        echo "$2: $1 is not empty and was not made here; name another folder in $3" >&2
        exit 1
    fi
    usun_folder "$1"
    mkdir -p "$1"
    touch "$1/.serwer-synchronizacji"
}

# skonfiguruj KATALOG [cmake options...]: configures the build folder when it
# is new or was configured with other options, so that a changed option (CI's
# warnings as errors, a compiler) always takes effect.
skonfiguruj() {
    local budowa="$katalog_projektu/$1"
    shift
    local opcje=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@")
    if [ "${CI:-}" = "true" ]; then opcje+=(-DSERWER_WERROR=ON); else opcje+=(-DSERWER_WERROR=OFF); fi
    local znacznik="$budowa/.opcje-skryptow"
    if [ ! -f "$budowa/CMakeCache.txt" ] || [ "$(cat "$znacznik" 2>/dev/null)" != "${opcje[*]}" ]; then
        cmake -S "$katalog_projektu" -B "$budowa" "${opcje[@]}" >/dev/null
        printf '%s' "${opcje[*]}" >"$znacznik"
    fi
}

# Compilations are cached across build folders and clones of the project:
# paths are taken relative to it.
export CCACHE_BASEDIR="$katalog_projektu" CCACHE_NOHASHDIR=true

# zbuduj KATALOG [cmake options...]
zbuduj() {
    zainstaluj_brakujace cmake ninja-build g++ ccache qt6-base-dev qt6-qpa-plugins qt6-translations-l10n
    skonfiguruj "$@"
    cmake --build "$katalog_projektu/$1"
}
