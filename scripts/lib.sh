# Shared steps of scripts/run and scripts/test: install what is missing, then build.
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"

packages="cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
libsqlite3-dev sqlite3 libcsv-dev fonts-dejavu-core qt6-translations-l10n qt6-charts-dev
poppler-utils python3 desktop-file-utils appstream groff-base file dpkg-dev lintian"

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
    missing=""
    for p in $packages; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing="$missing $p"
    done
    if [ -n "$missing" ]; then
        echo "Installation de :$missing"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
    fi
}

# Builds the named targets, or everything when none is named.
build_release() {
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    if [ $# -gt 0 ]; then
        cmake --build "$build" -j "$(nproc)" --target "$@"
    else
        cmake --build "$build" -j "$(nproc)"
    fi
}
