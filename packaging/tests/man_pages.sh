#!/bin/sh
# man_pages.sh MAN_DIR KVX [KVX_SIM]: the built manual pages render without a single warning,
# have the sections of a manual page, and document what the programs' --help shows.
set -u
man_dir=$1 kvx=$2 sim=${3:-}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

export LC_ALL=C.UTF-8
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT

# The page as text, wide enough that no option name is broken over two lines.
render() { MANWIDTH=250 man -l -E ascii "$1" 2>/dev/null | col -b; }

version=$("$kvx" --version | sed -n 's/^kvx //p')
[ -n "$version" ] || fail "kvx --version printed no version"

check_page() { # PAGE
    page=$man_dir/$1.1.gz
    if [ ! -f "$page" ]; then fail "$page was not built"; return; fi
    # The way lintian renders pages; any output on standard error is a warning.
    MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" \
        >/dev/null 2>"$tmp/warnings"
    [ -s "$tmp/warnings" ] && fail "$1.1 renders with warnings: $(cat "$tmp/warnings")"
    lexgrog "$page" >/dev/null 2>&1 || fail "$1.1: whatis cannot read its NAME section"
    render "$page" >"$tmp/$1.txt"
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES 'SEE ALSO'; do
        grep -qx "$section" "$tmp/$1.txt" || fail "$1.1 has no section $section"
    done
    grep -q "KVX-Simulator $version" "$tmp/$1.txt" || fail "$1.1 is not of version $version"
}

# Every long or short option in a help text must appear in the page.
check_options() { # PAGE HELP-FILE
    for option in $(grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' "$2" | sed 's/^[ ,]*//' | sort -u); do
        grep -qe "$option" "$tmp/$1.txt" || fail "$1.1 does not document $option"
    done
}

check_page kvx
"$kvx" --help >"$tmp/kvx.help"
check_options kvx "$tmp/kvx.help"
# Commands and scenario lines stand two blanks in, exit statuses too; the page has each of
# them at the start of a paragraph.
for word in $(sed -n 's/^  \([a-z0-9][a-z-]*\)\( .*\)\{0,1\}$/\1/p' "$tmp/kvx.help" | sort -u); do
    grep -qE "^ +$word( |$)" "$tmp/kvx.txt" || fail "kvx.1 does not document '$word'"
done

if [ -n "$sim" ]; then
    check_page kvx-sim
    "$sim" --help >"$tmp/kvx-sim.help" || fail "kvx-sim --help failed"
    check_options kvx-sim "$tmp/kvx-sim.help"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures problem(s) in the manual pages" >&2
    exit 1
fi
echo "manual pages: no warnings, every option documented"
