#!/bin/sh
# install_tree.sh CMAKE BUILD_DIR VERSION window|nowindow: installs the build into an empty
# folder, as a package is made, and checks the tree: nothing missing and nothing extra, the
# desktop entry, file type and icons fit together, and the installed runner passes the
# installed examples.
set -u
cmake=$1 build=$2 version=$3 window=$4
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

export LC_ALL=C.UTF-8
root=$(mktemp -d) || exit 1
trap 'rm -rf "$root"' EXIT
if ! DESTDIR="$root" "$cmake" --install "$build" --prefix /usr >"$root.log" 2>&1; then
    cat "$root.log" >&2; rm -f "$root.log"; echo "FAIL: cmake --install" >&2; exit 1
fi
rm -f "$root.log"
usr=$root/usr
share=$usr/share

# --- Nothing missing, nothing extra ---
{
    echo bin/kvx
    echo share/man/man1/kvx.1.gz
    echo share/mime/packages/kvx-simulator.xml
    echo share/org.kde.syntax-highlighting/syntax/awl.xml
    for f in README.md copyright changelog.gz; do
        echo "share/doc/kvx-simulator/$f"
    done
    # Every picture the installed README links to, and no other.
    grep -o '(docs/[A-Za-z0-9._-]*\.png)' "$share/doc/kvx-simulator/README.md" 2>/dev/null |
        tr -d '()' | sed 's|^|share/doc/kvx-simulator/|' | sort -u
    if [ "$window" = window ]; then
        echo bin/kvx-sim
        echo share/man/man1/kvx-sim.1.gz
        echo share/applications/kvx-simulator.desktop
        echo share/icons/hicolor/scalable/apps/kvx-simulator.svg
        for size in 16 32 48 64 128 256; do
            echo "share/icons/hicolor/${size}x$size/apps/kvx-simulator.png"
        done
    fi
} | sort >"$root.expected"
(cd "$usr" && find . -type f ! -path './share/kvx-simulator/examples/*' | sed 's|^\./||' | sort) \
    >"$root.found"
missing=$(comm -23 "$root.expected" "$root.found")
extra=$(comm -13 "$root.expected" "$root.found")
rm -f "$root.expected" "$root.found"
[ -z "$missing" ] || fail "not installed: $missing"
[ -z "$extra" ] || fail "installed but not expected: $extra"
[ "$(find "$root" -mindepth 1 -maxdepth 1)" = "$usr" ] || fail "files outside the prefix"

# --- The examples, each with its scenario, pass with the installed runner ---
examples=$share/kvx-simulator/examples
count=0
for program in "$examples"/*.awl; do
    [ -e "$program" ] || { fail "no example installed"; break; }
    count=$((count + 1))
    scenario=${program%.awl}.scn
    [ -f "$scenario" ] || { fail "$(basename "$program") has no scenario"; continue; }
    "$usr/bin/kvx" test "$program" "$scenario" >/dev/null 2>&1 ||
        fail "installed example $(basename "$program") fails its scenario"
done
[ "$count" -eq "$(ls "${0%/*}/../../examples/"*.awl | wc -l)" ] ||
    fail "$count examples installed, the source has another number"
[ "$("$usr/bin/kvx" --version)" = "kvx $version" ] || fail "installed kvx is not version $version"

# --- Documentation ---
changelog=$share/doc/kvx-simulator/changelog.gz
gzip -t "$changelog" 2>/dev/null || fail "changelog.gz is no gzip file"
gzip -dc "$changelog" | head -n 1 | grep -q "^kvx-simulator ($version) " ||
    fail "the changelog's latest entry is not version $version"
# Debian wants compressed files without a time stamp, so that builds are reproducible.
for gz in "$changelog" "$share"/man/man1/*.gz; do
    [ "$(od -An -tu1 -j4 -N4 "$gz" | tr -d ' ')" = 0000 ] || fail "$gz has a time stamp"
done
copyright=$share/doc/kvx-simulator/copyright
grep -q '^License: Expat$' "$copyright" || fail "copyright names no licence"
grep -q '^ Permission is hereby granted' "$copyright" || fail "copyright lacks the licence text"

# --- Desktop integration ---
if [ "$window" = window ]; then
    desktop=$share/applications/kvx-simulator.desktop
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
    grep -qx 'Exec=kvx-sim %f' "$desktop" || fail "the desktop entry does not start kvx-sim on a file"
    grep -qx 'Categories=Education;Engineering;' "$desktop" || fail "desktop entry categories"
    # The entry's type and icon are the ones installed beside it.
    mime=$(sed -n 's/^MimeType=\([^;]*\);$/\1/p' "$desktop")
    grep -q "<mime-type type=\"$mime\">" "$share/mime/packages/kvx-simulator.xml" ||
        fail "the desktop entry's type '$mime' is not the installed file type"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    for png in "$share"/icons/hicolor/*/apps/"$icon".png; do
        [ -f "$png" ] || { fail "no icon named $icon"; break; }
        size=${png%/apps/*}; size=${size##*/}
        # Width and height are the big-endian words at bytes 16 and 20 of a PNG file.
        got=$(od -An -tu1 -j16 -N8 "$png" | awk '{printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8}')
        [ "$got" = "$size" ] || fail "$png is $got, not $size"
    done
    [ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
fi

# --- The file type: shared-mime-info builds its database from it and maps *.awl to it ---
if XDG_DATA_DIRS=$share update-mime-database "$share/mime" >/dev/null 2>"$root/mime.err"; then
    grep -q '^[0-9]*:text/x-kvx-awl:\*\.awl$' "$share/mime/globs2" ||
        fail "*.awl does not map to text/x-kvx-awl"
    [ -s "$root/mime.err" ] && fail "update-mime-database warns: $(cat "$root/mime.err")"
else
    fail "update-mime-database rejects the file type: $(cat "$root/mime.err")"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures problem(s) in the installed tree" >&2
    exit 1
fi
echo "installed tree: complete and consistent"
