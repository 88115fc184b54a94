# Shared by uruchom.sh and testuj.sh: installs what the build needs on Debian
# or Ubuntu when it is missing, then configures and builds incrementally.

katalog_projektu=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

zainstaluj_brakujace() {
    local brakujace=() pakiet
    for pakiet in "$@"; do
        dpkg-query -W -f='${Status}' "$pakiet" 2>/dev/null | grep -q "install ok installed" \
            || brakujace+=("$pakiet")
    done
    ((${#brakujace[@]})) || return 0
    local jako_root=()
    [ "$(id -u)" -eq 0 ] || jako_root=(sudo)
    echo "Installing: ${brakujace[*]}"
    "${jako_root[@]}" apt-get update -qq
    "${jako_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${brakujace[@]}" >/dev/null
}

# zbuduj KATALOG [cmake options...]
zbuduj() {
    local budowa="$katalog_projektu/$1"
    shift
    zainstaluj_brakujace cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins
    local opcje=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "$@")
    [ "${CI:-}" = "true" ] && opcje+=(-DSERWER_WERROR=ON)
    if [ ! -f "$budowa/CMakeCache.txt" ]; then
        cmake -S "$katalog_projektu" -B "$budowa" -G Ninja "${opcje[@]}" >/dev/null
    fi
    cmake --build "$budowa"
}
