#!/usr/bin/env bash
# The .deb as dpkg installs it, into throwaway roots only (nothing on this system changes):
#   deb-check.sh build OUT_DIR BUILD_DIR    make the .deb with CPack into OUT_DIR
#   deb-check.sh files OUT_DIR LIBDIR       file list and modes, dependencies from shlibdeps
#   deb-check.sh register OUT_DIR           postinst registers for every user, prerm removes
#   deb-check.sh help OUT_DIR               --help of every installed command runs
# The roots are installed without chroot (--force-script-chrootless): the maintainer scripts
# then find the root in DPKG_ROOT and use the programs inside it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
die() {
    echo "deb-check: $*" >&2
    exit 1
}

the_deb() {
    local debs=("$1"/orsel_*.deb)
    [[ -f ${debs[0]} ]] || die "no .deb in $1 (did package.deb.build run?)"
    echo "${debs[0]}"
}

# A root with an empty dpkg database; the .deb's dependencies are the host's own libraries.
new_root() {
    local root=$1
    rm -rf "$root"
    mkdir -p "$root"/var/lib/dpkg/{info,updates,triggers}
    : >"$root/var/lib/dpkg/status"
}

dpkg_in() {
    local root=$1
    shift
    dpkg --root="$root" --log=/dev/null --force-not-root --force-depends \
        --force-script-chrootless "$@"
}

mode_build() {
    local out=$1 build=$2
    rm -rf "$out"
    mkdir -p "$out"
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
        { cat "$out/cpack.log" >&2; die "cpack failed"; }
    echo "deb-check: built $(the_deb "$out")"
}

mode_files() {
    local out=$1 libdir=$2 deb root
    deb=$(the_deb "$out")
    root=$out/root-files
    new_root "$root"
    dpkg_in "$root" --unpack "$deb" >/dev/null
    sed "s|@LIBDIR@|$libdir|g" "$here/expected-files.txt" | sort >"$out/expected-files"
    (cd "$root" && find usr \( -type f -o -type l \) -not -path 'usr/include/*' \
        -printf '%M %p\n' | sort) >"$out/actual-files"
    [[ ! -e $root/etc ]] || die "unpacking wrote into /etc: $(cd "$root" && find etc)"
    diff -u "$out/expected-files" "$out/actual-files" || die "file list or modes differ"

    local links
    links=$(cd "$root/usr/bin" && for l in *; do echo "$l -> $(readlink "$l")"; done)
    [[ $links == "$(cat "$here/expected-links.txt")" ]] ||
        die "command links differ:"$'\n'"$links"
    local bad
    bad=$(cd "$root" && find usr/include -type f ! -perm 0644 -o -type d ! -perm 0755)
    [[ -z $bad ]] || die "headers with odd modes: $bad"
    for header in createobject.h dispatch.h variant.h conversions.h; do
        [[ -f $root/usr/include/vorlane/platform/automation/$header ]] || die "no $header"
    done
    # dpkg's own record of the package agrees with what is on disk.
    dpkg_in "$root" -L orsel | sed 's|^/||' | grep -v '^usr/include' | while read -r path; do
        [[ -e $root/$path || -L $root/$path ]] || die "dpkg lists $path, which is missing"
    done

    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for library in libc6 libqt6core6 libqt6network6 libqt6widgets6; do
        [[ $depends == *"$library"* ]] || die "Depends lacks $library: $depends"
    done
    echo "deb-check: $(wc -l <"$out/actual-files") files as expected; Depends: $depends"
}

shell_creates_control() { # shell_creates_control ROOT CONFIG_HOME
    # The whole output first: a grep -q that stops reading early would end the shell with
    # SIGPIPE, which pipefail turns into a failure.
    local out
    out=$(printf 'create Vorlanecontrol.Vorlane\nget Version\nrelease\n' |
        XDG_CONFIG_HOME=$2 XDG_CONFIG_DIRS=$1/etc/xdg timeout 30 "$1/usr/bin/vorlane-shell") || true
    [[ $out == *'"4.0.1"'* ]]
}

mode_register() {
    local out=$1 deb root user
    deb=$(the_deb "$out")
    root=$out/root-register
    new_root "$root"
    user=$out/user-config
    rm -rf "$user"
    mkdir -p "$user"
    dpkg_in "$root" --unpack "$deb" >/dev/null
    ! shell_creates_control "$root" "$user" || die "the control was found before postinst ran"
    dpkg_in "$root" --configure orsel >"$out/configure.log" 2>&1 ||
        { cat "$out/configure.log" >&2; die "postinst failed (it runs regsvr --system)"; }
    shell_creates_control "$root" "$user" ||
        die "a user without a registry of their own cannot create the control after install"
    [[ -z $(ls -A "$user") ]] || die "installing wrote into the user's configuration"
    grep -rq "$root/usr/lib/orsel/VRLN401.so" "$root/etc/xdg" ||
        die "the system registry does not name the installed library"

    dpkg_in "$root" --remove orsel >"$out/remove.log" 2>&1 ||
        { cat "$out/remove.log" >&2; die "removal failed"; }
    ! grep -rqs "VRLN401" "$root/etc/xdg" || die "the registry still names the library after removal"
    [[ ! -e $root/usr/lib/orsel ]] || die "files are left in /usr/lib/orsel after removal"
    echo "deb-check: postinst registered the control for every user, prerm removed it"
}

mode_help() {
    local out=$1 deb root failed=()
    deb=$(the_deb "$out")
    root=$out/root-help
    new_root "$root"
    dpkg_in "$root" --unpack "$deb" >/dev/null
    mkdir -p "$out/help-config"
    for command in "$root"/usr/bin/*; do
        local name status=0
        name=$(basename "$command")
        # No display and no registry: help must need neither. The timeout ends a program that
        # does not know --help and starts its work instead.
        env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
            XDG_CONFIG_HOME="$out/help-config" XDG_CONFIG_DIRS="$out/help-config/none" \
            timeout -k 5 20 "$command" --help >"$out/help-$name.out" 2>&1 </dev/null || status=$?
        if ((status != 0)) || ! grep -qi -- '--help\|usage' "$out/help-$name.out"; then
            failed+=("$name (exit $status: $(head -c 200 "$out/help-$name.out" | tr '\n' ' '))")
        fi
    done
    if ((${#failed[@]})); then
        printf 'deb-check: --help failed: %s\n' "${failed[@]}" >&2
        exit 1
    fi
    echo "deb-check: --help of every installed command runs"
}

mode=$1
# dpkg --root needs an absolute root.
out=$(realpath -m "$2")
shift 2
"mode_$mode" "$out" "$@"
