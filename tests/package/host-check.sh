#!/usr/bin/env bash
# A host project built against an installed tree, run against the Dovecot of the test fixture:
#   host-check.sh cmake|pkgconfig BUILD_DIR WORK_DIR LIBDIR CXX [CXXFLAGS]
# installs BUILD_DIR into WORK_DIR/prefix, builds tests/package/host there with find_package or
# with pkg-config, registers the installed control in a throwaway per-user registry and runs one
# session (VORLANE_DOVECOT_DIR names the running fixture).
set -euo pipefail

mode=$1 build=$2 work=$3 libdir=$4 cxx=$5 cxxflags=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
die() {
    echo "host-check: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || die "install failed"

case $mode in
cmake)
    # The host sees only the installed tree and Qt: no path into this source or build tree.
    cmake -S "$here/host" -B "$work/host-build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxxflags" \
        -DCMAKE_EXE_LINKER_FLAGS="$cxxflags" -DCMAKE_PREFIX_PATH="$prefix" \
        >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; die "configure failed"; }
    cmake --build "$work/host-build" >"$work/build.log" 2>&1 ||
        { cat "$work/build.log" >&2; die "build failed"; }
    host=$work/host-build/vorlane-host
    ;;
pkgconfig)
    export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
    read -r -a flags <<<"$(pkg-config --cflags --libs vorlane)"
    [[ $(pkg-config --variable=progid vorlane) == Vorlanecontrol.Vorlane ]] || die "no progid"
    # Qt is built position-independent, so its users must be too.
    read -r -a extra <<<"$cxxflags"
    "$cxx" -std=c++20 -fPIC "${extra[@]}" -o "$work/vorlane-host" "$here/host/main.cpp" \
        "${flags[@]}" 2>"$work/build.log" || { cat "$work/build.log" >&2; die "build failed"; }
    host=$work/vorlane-host
    ;;
*) die "unknown mode $mode" ;;
esac

# The registry of this test only; the control as a host finds it after installation.
export XDG_CONFIG_HOME=$work/config XDG_CONFIG_DIRS=$work/no-system-registry
control=$prefix/lib/orsel/VRLN401.so
[[ $mode != pkgconfig ]] || control=$(pkg-config --variable=controllibrary vorlane)
"$prefix/lib/orsel/regsvr" "$control" >/dev/null || die "registering $control failed"

# A mailbox of its own on the fixture's Dovecot: passwd-file entry and Maildir as it expects.
state=${VORLANE_DOVECOT_DIR:?no Dovecot fixture}
user=host-$mode-$$
maildir=$state/mail/$user/Maildir
mkdir -p "$maildir"/{cur,new,tmp}
printf 'From: a@example.org\nSubject: Installed host %s\n\nHello.\n' "$mode" \
    >"$maildir/tmp/1.M1P$$.host"
mv "$maildir/tmp/1.M1P$$.host" "$maildir/new/"
chown -R 65534:65534 "$state/mail/$user"
printf '%s:{PLAIN}Pw.%s::::::\n' "$user" "$user" >"$state/passwd.d.$user.tmp"
mv "$state/passwd.d.$user.tmp" "$state/passwd.d/$user"

output=$(timeout 60 "$host" "$(cat "$state/address")" "$(cat "$state/port")" "$user" "Pw.$user")
expected=$(printf 'version 4.0.1\ncount 1\nsubject Installed host %s' "$mode")
[[ $output == "$expected" ]] || die "host printed:"$'\n'"$output"$'\n'"expected:"$'\n'"$expected"
echo "host-check: $mode host ran a session through the installed control"
