#!/bin/sh
# Makes the Debian package into a temporary folder and checks that it holds the installed
# files and that its dependencies were read from the binaries: without dpkg-shlibdeps the
# package would install on a system that cannot run it.
# Usage: check-deb.sh BUILD_DIR VERSION APP_ID
# Ends with 77 (skipped) where the Debian tools are missing.
set -u

build=$1 version=$2 id=$3

for tool in dpkg-deb dpkg-shlibdeps file; do
    if ! command -v "$tool" >/dev/null; then
        echo "IGNORÉ : $tool absent (paquets dpkg-dev et file)"
        exit 77
    fi
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! log=$("${CPACK:-cpack}" -G DEB --config "$build/CPackConfig.cmake" -B "$out" 2>&1); then
    echo "$log"
    echo "ÉCHEC : cpack -G DEB"
    exit 1
fi
deb=$out/velmora_${version}-1_$(dpkg --print-architecture).deb
if [ ! -f "$deb" ]; then
    echo "$log"
    echo "ÉCHEC : $deb n'a pas été fait"
    exit 1
fi

failures=0
fail() {
    echo "ÉCHEC : $*"
    failures=$((failures + 1))
}

contents=$(dpkg-deb -c "$deb")
for f in usr/bin/velmora usr/bin/velmora-db "usr/share/applications/$id.desktop" \
    "usr/share/metainfo/$id.metainfo.xml" usr/share/man/man1/velmora.1.gz \
    usr/share/man/man1/velmora-db.1.gz "usr/share/icons/hicolor/48x48/apps/$id.png" \
    usr/share/doc/velmora/copyright usr/share/doc/velmora/changelog.Debian.gz \
    "usr/share/icons/hicolor/128x128/apps/$id.png" "usr/share/icons/hicolor/256x256/apps/$id.png"; do
    echo "$contents" | grep -q " \./$f\$" || fail "$f n'est pas dans le paquet"
done

[ "$(dpkg-deb -f "$deb" Package)" = velmora ] || fail "nom du paquet"
[ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] || fail "version du paquet"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "champ Maintainer vide"
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6sql6-sqlite libsqlite3-0 libcsv3 qt6-translations-l10n; do
    echo "$depends" | grep -q "\\b$package\\b" || fail "Depends ne nomme pas $package : $depends"
done

# What Debian would refuse: any error or warning of lintian. Its notes (I:) are left: the
# spelling ones are French words read as English.
if command -v lintian >/dev/null; then
    report=$(lintian --allow-root "$deb" 2>&1)
    if echo "$report" | grep -q '^[EW]:'; then
        echo "$report"
        fail "lintian signale des erreurs ou des avertissements"
    fi
else
    echo "IGNORÉ : lintian absent (paquet lintian)"
fi

[ "$failures" = 0 ] || exit 1
echo "Paquet vérifié : $(basename "$deb")"
