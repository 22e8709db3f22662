#!/bin/sh
# test-package.sh WORK_DIR PACKAGE.deb
#
# Installs the package into a fresh Debian 12 with apt-get, so that every dependency comes
# from a Debian mirror as it would on a user's machine, uses it there as a person would, and
# removes it again: nothing of it may stay behind.
#
# The fresh system is a minbase chroot under WORK_DIR. The first run makes it with debootstrap
# and keeps it as WORK_DIR/bookworm-minbase.tar; later runs unpack that again, so each run
# starts from the same clean system without a second download of the base.
#
# The mirror is the one this machine's apt already uses for the suite (its sources.list and
# sources.list.d, one-line or deb822), else debootstrap's own default; the security suite
# likewise, else the fresh system goes without it. KVX_DEBIAN_MIRROR and
# KVX_DEBIAN_SECURITY_MIRROR override them.
#
# Needs root (chroot, mount) and debootstrap.
set -eu

usage() { echo "usage: $0 WORK_DIR PACKAGE.deb" >&2; exit 2; }
[ $# -eq 2 ] || usage
work=$1
deb=$2
suite=bookworm

# The first URI of an enabled "deb" source for suite $1 in the apt sources under root $2 (empty
# for this machine). Only what debootstrap can fetch from counts: no cdrom: or mirror+file:.
apt_uri() {
    for list in "$2/etc/apt/sources.list" "$2"/etc/apt/sources.list.d/*.list; do
        [ -f "$list" ] || continue
        awk -v suite="$1" '
            { sub(/#.*/, "") }
            $1 == "deb" {
                sub(/\[[^]]*\]/, "")
                if ($3 == suite && $2 ~ /^(https?|ftp|file):/) { print $2; exit }
            }' "$list"
    done
    for sources in "$2"/etc/apt/sources.list.d/*.sources; do
        [ -f "$sources" ] || continue
        awk -v suite="$1" '
            function check(   i, n, s) {
                n = split(suites, s, " ")
                for (i = 1; i <= n; i++) {
                    if (s[i] == suite && (" " types " ") ~ / deb / && enabled != "no" &&
                        uri ~ /^(https?|ftp|file):/) { print uri; done = 1; exit }
                }
            }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { check(); types = suites = uri = enabled = ""; next }
            { field = tolower($1); $1 = "" }
            field == "types:" { types = $0 }
            field == "suites:" { suites = $0 }
            field == "uris:" { split($0, u, " "); uri = u[1] }
            field == "enabled:" { enabled = tolower($2) }
            END { if (!done) check() }' "$sources"
    done
}

mirror=${KVX_DEBIAN_MIRROR:-$(apt_uri "$suite" "" | head -n 1)}
security=${KVX_DEBIAN_SECURITY_MIRROR:-$(apt_uri "$suite-security" "" | head -n 1)}

current="checking the prerequisites"
step() {
    current=$*
    echo "==> $*"
}

[ "$(id -u)" -eq 0 ] || { echo "$0: must run as root (chroot and mount)" >&2; exit 1; }
command -v debootstrap >/dev/null || { echo "$0: debootstrap is not installed" >&2; exit 1; }
[ -f "$deb" ] || { echo "$0: no package $deb" >&2; exit 1; }

mkdir -p "$work"
work=$(cd "$work" && pwd)
root=$work/root
base=$work/$suite-minbase.tar
package=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)

# /proc is the only mount, and it must be gone before anything is deleted under the root.
unmount() {
    if mountpoint -q "$root/proc" 2>/dev/null; then
        umount "$root/proc" || umount -l "$root/proc"
    fi
}
finish() {
    status=$?
    unmount
    if [ "$status" -ne 0 ]; then
        echo "FAILED at step: $current (the system is left in $root, the logs in $work)" >&2
    fi
    exit "$status"
}
trap finish EXIT
trap 'exit 130' INT TERM

# Runs a command in the fresh system with a clean environment.
in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}
# The same as a user who runs the programs: whatever they write goes to /tmp.
as_user() {
    chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/tmp/home LC_ALL=C.UTF-8 \
        XDG_RUNTIME_DIR=/tmp/runtime "$@"
}

# Every file and folder of the system except what changes by itself or by apt's own
# bookkeeping: caches, logs, package lists, dpkg's database, /tmp and the mounts.
snapshot() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./sys -o -path ./dev -o -path ./tmp \
        -o -path ./run -o -path ./var/cache -o -path ./var/log -o -path ./var/lib/apt \
        -o -path ./var/lib/dpkg \) -prune -o -print) | sort
}

step "removing the system of an earlier run"
unmount
rm -rf --one-file-system "$root"

if [ ! -f "$base" ]; then
    step "making a minbase Debian $suite with debootstrap from ${mirror:-its default mirror}"
    rm -rf --one-file-system "$work/bootstrap"
    # An empty mirror is left out, so that debootstrap takes its own.
    debootstrap --variant=minbase "$suite" "$work/bootstrap" ${mirror:+"$mirror"} \
        >"$work/debootstrap.log" || { tail -n 20 "$work/debootstrap.log" >&2; exit 1; }
    tar -C "$work/bootstrap" -cf "$base.part" .
    mv "$base.part" "$base"
    rm -rf --one-file-system "$work/bootstrap"
fi

step "unpacking a fresh system from $base"
mkdir "$root"
tar -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# Without a mirror of this machine's, the one debootstrap wrote into the system it made.
[ -n "$mirror" ] || mirror=$(apt_uri "$suite" "$root" | head -n 1)
[ -n "$mirror" ] || { echo "$0: no mirror for $suite in $root/etc/apt" >&2; exit 1; }
{
    echo "deb $mirror $suite main"
    echo "deb $mirror $suite-updates main"
    [ -z "$security" ] || echo "deb $security $suite-security main"
} >"$root/etc/apt/sources.list"
# Nothing installed here may start a service on the machine that runs the test.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
# dpkg's output goes to the logs without a terminal; the chroot has no /dev/pts.
echo 'Dpkg::Use-Pty "0";' >"$root/etc/apt/apt.conf.d/90no-pty"
mount -t proc proc "$root/proc"

# Up to date first, as a freshly installed system is: the package then pulls in only what it
# needs, and no upgrade of a base package mixes with it.
step "bringing the system up to date"
in_root apt-get update -qq
in_root apt-get upgrade -y -qq >"$work/upgrade.log"

step "installing the tools the checks use (xdg-utils, desktop-file-utils, man-db)"
in_root apt-get install -y -qq --no-install-recommends xdg-utils desktop-file-utils man-db \
    >"$work/tools.log"
mkdir -p "$root/tmp/home" "$root/tmp/runtime"
chmod 700 "$root/tmp/runtime"
snapshot >"$work/before.txt"
in_root dpkg-query -W >"$work/packages-before.txt"

step "installing $package $version with apt-get, without recommended packages"
cp "$deb" "$root/tmp/$package.deb"
in_root apt-get install -y --no-install-recommends "/tmp/$package.deb" >"$work/install.log"
in_root dpkg-query -W -f='${Status}\n' "$package" | grep -qx 'install ok installed'

examples=/usr/share/kvx-simulator/examples

step "kvx --version"
got=$(as_user kvx --version)
[ "$got" = "kvx $version" ] || { echo "kvx --version printed '$got'" >&2; exit 1; }

step "kvx test of each installed example with its scenario"
for program in "$root$examples"/*.awl; do
    name=$(basename "$program" .awl)
    as_user kvx test "$examples/$name.awl" "$examples/$name.scn"
done

step "kvx-sim --help"
as_user QT_QPA_PLATFORM=offscreen kvx-sim --help | grep -q '^Usage: kvx-sim '

step "xdg-mime names the desktop entry as the program for text/x-kvx-awl"
got=$(as_user xdg-mime query default text/x-kvx-awl)
[ "$got" = kvx-simulator.desktop ] || { echo "xdg-mime query default: '$got'" >&2; exit 1; }

step "the file type database maps *.awl to text/x-kvx-awl"
grep -q ':text/x-kvx-awl:\*\.awl$' "$root/usr/share/mime/globs2"

step "desktop-file-validate"
in_root desktop-file-validate /usr/share/applications/kvx-simulator.desktop

step "man -w finds both manual pages"
[ "$(in_root man -w kvx)" = /usr/share/man/man1/kvx.1.gz ]
[ "$(in_root man -w kvx-sim)" = /usr/share/man/man1/kvx-sim.1.gz ]

step "kvx-sim starts on the offscreen platform with an installed example and stays up"
# timeout ends a window that is still open after 5 s with status 124; anything else means
# it did not start or fell over.
status=0
as_user QT_QPA_PLATFORM=offscreen timeout 5 kvx-sim "$examples/lamps.awl" \
    >"$work/kvx-sim.log" 2>&1 || status=$?
if [ "$status" -ne 124 ]; then
    cat "$work/kvx-sim.log" >&2
    echo "kvx-sim ended with status $status before the 5 s were up" >&2
    exit 1
fi

step "removing $package and what it pulled in (apt-get purge --autoremove)"
rm -rf "$root/tmp/home" "$root/tmp/runtime"
# By default apt keeps a package that came in as a dependency when one installed before
# merely recommends it (libglib2.0-0 and shared-mime-info); all of them came in for this
# package, and all of them have to go.
in_root apt-get purge -y --autoremove -o APT::AutoRemove::RecommendsImportant=false \
    -o APT::AutoRemove::SuggestsImportant=false "$package" >"$work/remove.log"
in_root dpkg-query -W "$package" >/dev/null 2>&1 &&
    { echo "dpkg still knows $package" >&2; exit 1; }
in_root dpkg-query -W >"$work/packages-after.txt"
if ! diff -u "$work/packages-before.txt" "$work/packages-after.txt" >&2; then
    echo "other packages are installed than before" >&2
    exit 1
fi

step "comparing the files before installing and after removing"
snapshot >"$work/after.txt"
if ! diff -u "$work/before.txt" "$work/after.txt" >"$work/leftovers.diff"; then
    cat "$work/leftovers.diff" >&2
    echo "the system differs after the package was removed" >&2
    exit 1
fi
# Files that triggers rebuilt (file type and desktop entry caches) must not name it either.
leftovers=$(cd "$root" && grep -rl -e kvx-simulator -e text/x-kvx-awl etc usr var/lib \
    --exclude-dir=dpkg --exclude-dir=apt 2>/dev/null || true)
if [ -n "$leftovers" ]; then
    echo "still naming the package after its removal: $leftovers" >&2
    exit 1
fi

current="cleaning up"
unmount
rm -rf --one-file-system "$root"
echo "package test passed: $package $version installs, works and leaves nothing behind"
