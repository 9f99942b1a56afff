#!/bin/sh
# Installs the build into a temporary prefix and checks what a desktop will read there: the
# files in their places, the names that tie them together (the menu entry's program and icon,
# the AppStream launchable), the version each one states, and the freedesktop and manual-page
# validators where they are installed.
# Usage: check-install.sh BUILD_DIR VERSION APP_ID ICON_SIZE...
set -u

build=$1 version=$2 id=$3
shift 3

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() {
    echo "ÉCHEC : $*"
    failures=$((failures + 1))
}

if ! log=$("${CMAKE:-cmake}" --install "$build" --prefix "$root" 2>&1); then
    echo "$log"
    echo "ÉCHEC : cmake --install"
    exit 1
fi

desktop=$root/share/applications/$id.desktop
metainfo=$root/share/metainfo/$id.metainfo.xml
for f in bin/velmora bin/velmora-db share/man/man1/velmora.1.gz share/man/man1/velmora-db.1.gz \
    share/doc/velmora/guide.md share/doc/velmora/images/gestion-des-mises.png \
    share/doc/velmora/copyright share/doc/velmora/changelog.Debian.gz \
    "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"; do
    [ -f "$root/$f" ] || fail "$f n'est pas installé"
done
for f in bin/velmora bin/velmora-db; do
    [ -x "$root/$f" ] || fail "$f n'est pas exécutable"
done

# The installed tool runs on its own, without the build tree's library paths.
if [ -x "$root/bin/velmora-db" ]; then
    "$root/bin/velmora-db" --help | grep -q '^Utilisation' || fail "velmora-db --help installé"
    [ "$("$root/bin/velmora-db" --version)" = "velmora-db $version" ] ||
        fail "velmora-db --version installé"
fi
# The program answers without a display.
if [ -x "$root/bin/velmora" ]; then
    [ "$(env -u DISPLAY -u QT_QPA_PLATFORM "$root/bin/velmora" --version)" = "Velmora $version" ] ||
        fail "velmora --version installé"
fi

# The installed program, started by a user whose data folder holds a ledger, opens that one:
# it runs until stopped, takes the file (its lock) and makes the day's copy beside it.
if [ -x "$root/bin/velmora" ] && [ -x "$root/bin/velmora-db" ]; then
    home=$root/home
    data=$home/.local/share/Velmora
    mkdir -p "$home"
    HOME=$home XDG_DATA_HOME= "$root/bin/velmora-db" init >/dev/null ||
        fail "velmora-db init sans dossier"
    [ -f "$data/velmora.mdb" ] || fail "velmora-db init n'a pas créé $data/velmora.mdb"
    # A sanitizer build starts slowly on a busy machine: the copy is waited for, not timed.
    HOME=$home XDG_DATA_HOME= QT_QPA_PLATFORM=offscreen "$root/bin/velmora" >/dev/null 2>&1 &
    program=$!
    waited=0
    until ls "$data/sauvegardes/"velmora-*.mdb >/dev/null 2>&1 || [ "$waited" -ge 60 ] ||
        ! kill -0 "$program" 2>/dev/null; do
        sleep 1
        waited=$((waited + 1))
    done
    if kill -0 "$program" 2>/dev/null; then
        ls "$data/sauvegardes/"velmora-*.mdb >/dev/null 2>&1 ||
            fail "velmora installé n'a pas ouvert $data/velmora.mdb (pas de copie du jour)"
        kill "$program"
        wait "$program" 2>/dev/null
    else
        wait "$program"
        fail "velmora installé s'est arrêté (statut $?)"
    fi
fi

# Width x height from a PNG's header, big-endian after the signature and the chunk head.
png_size() {
    # shellcheck disable=SC2046 # the eight numbers are meant to split
    set -- $(od -An -tu1 -j16 -N8 "$1")
    echo "$(($1 * 16777216 + $2 * 65536 + $3 * 256 + $4))x$(($5 * 16777216 + $6 * 65536 + $7 * 256 + $8))"
}

# An icon of the wrong size in a size folder is scaled again by the desktop, blurred.
for size in "$@"; do
    png=$root/share/icons/hicolor/${size}x$size/apps/$id.png
    if [ ! -f "$png" ]; then
        fail "icône ${size}x$size absente"
        continue
    fi
    got=$(png_size "$png")
    [ "$got" = "${size}x$size" ] || fail "icône ${size}x$size : $got pixels"
done

# The validators check each file alone, not the names that join them.
if [ -f "$desktop" ]; then
    exec_line=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [ -x "$root/bin/$exec_line" ] || fail "Exec=$exec_line : pas de programme installé de ce nom"
    grep -qx "Icon=$id" "$desktop" || fail "Icon= n'est pas $id"
fi
if [ -f "$metainfo" ]; then
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "launchable ne nomme pas $id.desktop"
    newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
    [ "$newest" = "$version" ] || fail "metainfo : dernière version $newest, le projet est en $version"
fi
for page in velmora velmora-db; do
    f=$root/share/man/man1/$page.1.gz
    [ -f "$f" ] || continue
    gzip -dc "$f" | grep -q "^\.TH .*\"Velmora $version\"" || fail "$page.1 n'annonce pas Velmora $version"
done

if command -v desktop-file-validate >/dev/null; then
    if ! out=$(desktop-file-validate --no-hints "$desktop" 2>&1) || [ -n "$out" ]; then
        fail "desktop-file-validate : $out"
    fi
else
    echo "IGNORÉ : desktop-file-validate absent (paquet desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
    if ! out=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1); then
        fail "appstreamcli validate : $out"
    fi
else
    echo "IGNORÉ : appstreamcli absent (paquet appstream)"
fi
if command -v groff >/dev/null; then
    for page in velmora velmora-db; do
        if ! out=$(gzip -dc "$root/share/man/man1/$page.1.gz" | groff -k -man -Tutf8 -ww -z 2>&1) ||
            [ -n "$out" ]; then
            fail "groff $page.1 : $out"
        fi
    done
else
    echo "IGNORÉ : groff absent (paquet groff-base)"
fi

[ "$failures" = 0 ] || exit 1
echo "Installation vérifiée dans un préfixe temporaire."
