#!/usr/bin/env bash
# The .deb packages (orsel and libvorlane-dev) as dpkg installs them, into throwaway roots only
# (nothing on this system changes):
#   deb-check.sh build OUT_DIR BUILD_DIR        make both with one CPack run into OUT_DIR
#   deb-check.sh files OUT_DIR LIBDIR CONFIG    file lists and modes, stripping, dependencies
#   deb-check.sh register OUT_DIR               postinst registers for every user, prerm removes
#   deb-check.sh purge OUT_DIR                  purge leaves no registration and no empty folder
#   deb-check.sh help OUT_DIR                   --help of every installed command runs, and the
#                                               messages name the installed commands
# The roots are installed without chroot (--force-script-chrootless): the maintainer scripts
# then find the root in DPKG_ROOT and use the programs inside it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
die() {
    echo "deb-check: $*" >&2
    exit 1
}

the_deb() { # the_deb OUT_DIR [PACKAGE]
    local debs=("$1/${2:-orsel}"_*.deb)
    [[ -f ${debs[0]} ]] || die "no ${2:-orsel} .deb in $1 (did package.deb.build run?)"
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
    echo "deb-check: built" "$out"/*.deb
}

# The files of PACKAGE, as dpkg records them, against its expected list, modes included.
check_file_list() { # check_file_list OUT_DIR LIBDIR CONFIG PACKAGE ROOT
    local out=$1 libdir=$2 config=$3 package=$4 root=$5
    sed -n "s|^$package ||p" "$here/expected-files.txt" |
        sed "s|@LIBDIR@|$libdir|g; s|@CONFIG@|$config|g" | sort >"$out/expected-$package"
    dpkg_in "$root" -L "$package" | sed 's|^/||' | grep -v '^usr/include' | while read -r path; do
        [[ -e $root/$path || -L $root/$path ]] || die "dpkg lists $path, which is missing"
        [[ -d $root/$path && ! -L $root/$path ]] || (cd "$root" && stat -c '%A %n' "$path")
    done | sort >"$out/actual-$package"
    diff -u "$out/expected-$package" "$out/actual-$package" || die "$package: files or modes differ"
}

# Stripped as Debian strips: no compiler notes in any ELF file, no debugging information in the
# static libraries.
check_stripped() { # check_stripped ROOT
    local file sections
    while read -r file; do
        sections=$(readelf -SW "$file")
        ! grep -q ' \.comment ' <<<"$sections" || die "${file#"$1"/} keeps .comment"
        ! grep -q ' \.debug_' <<<"$sections" || die "${file#"$1"/} keeps debugging information"
    done < <(find "$1/usr" -type f \( -perm -u+x -o -name '*.so' -o -name '*.a' \))
}

mode_files() {
    local out=$1 libdir=$2 config=$3 orsel dev root
    orsel=$(the_deb "$out" orsel)
    dev=$(the_deb "$out" libvorlane-dev)
    root=$out/root-files
    new_root "$root"
    dpkg_in "$root" --unpack "$orsel" "$dev" >/dev/null
    [[ ! -e $root/etc ]] || die "unpacking wrote into /etc: $(cd "$root" && find etc)"
    check_file_list "$out" "$libdir" "$config" orsel "$root"
    check_file_list "$out" "$libdir" "$config" libvorlane-dev "$root"
    check_stripped "$root"

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
    [[ -z $(dpkg_in "$root" -L orsel | grep '^/usr/include') ]] || die "orsel holds headers"

    # The scanner's dependencies come from what it links, its modules loaded on demand included;
    # development files only with the package for hosts, which pins the scanner it was built with.
    local depends relations version
    depends=$(dpkg-deb -f "$orsel" Depends)
    for library in libc6 libqt6core6 libqt6network6 libqt6widgets6 libgmime-3.0 libclamav \
        libvectorscan; do
        [[ $depends == *"$library"* ]] || die "Depends lacks $library: $depends"
    done
    relations=$(dpkg-deb -f "$orsel" Depends Recommends Suggests)
    [[ $relations != *-dev* ]] || die "orsel pulls development packages: $relations"
    version=$(dpkg-deb -f "$orsel" Version)
    [[ $(dpkg-deb -f "$dev" Depends) == "orsel (= $version), qt6-base-dev, pkg-config" ]] ||
        die "libvorlane-dev Depends: $(dpkg-deb -f "$dev" Depends)"
    echo "deb-check: $(cat "$out"/actual-* | wc -l) files as expected; Depends: $depends"
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

# What /etc holds, as the purge check compares it: every path, and every library a registry names.
etc_state() { # etc_state ROOT
    [[ -d $1/etc ]] || return 0
    (cd "$1" && find etc -mindepth 1 | sort && find etc -type f -exec grep -h 'Library=' {} + |
        sed 's/^[^\\]*//' | sort) || true
}

# Install, remove and purge in a root whose /etc/xdg the SETUP function prepares; afterwards /etc
# must be as it was. BETWEEN runs after the removal, before the purge.
purge_case() { # purge_case OUT_DIR NAME SETUP [BETWEEN]
    local out=$1 name=$2 setup=$3 between=${4:-} root before after
    root=$out/root-purge
    new_root "$root"
    "$setup" "$root"
    before=$(etc_state "$root")
    dpkg_in "$root" --install "$(the_deb "$out")" >"$out/purge.log" 2>&1 &&
        cp "$root/etc/xdg/Vorlane/classes.ini" "$out/registered.ini" &&
        dpkg_in "$root" --remove orsel >>"$out/purge.log" 2>&1 &&
        { [[ -z $between ]] || "$between" "$root" "$out"; } &&
        dpkg_in "$root" --purge orsel >>"$out/purge.log" 2>&1 ||
        { cat "$out/purge.log" >&2; die "$name: install, remove or purge failed"; }
    after=$(etc_state "$root")
    [[ $after == "$before" ]] ||
        die "$name: /etc after purge differs:"$'\n'"$(diff <(echo "$before") <(echo "$after"))"
}

nothing() { :; }
other_settings() { mkdir -p "$1/etc/xdg/autostart" && : >"$1/etc/xdg/autostart/other.desktop"; }
other_registration() {
    mkdir -p "$1/etc/xdg/Vorlane"
    printf '[Classes]\n%s\\Library=/opt/other/other.so\n%s\\Name=Other\n' \
        11111111-2222-3333-4444-555555555555 11111111-2222-3333-4444-555555555555 \
        >"$1/etc/xdg/Vorlane/classes.ini"
}
# As if the prerm had failed to take the entry out.
registration_left() { mkdir -p "$1/etc/xdg/Vorlane" && cp "$2/registered.ini" "$1/etc/xdg/Vorlane/classes.ini"; }

mode_purge() {
    local out=$1
    purge_case "$out" "a fresh root" nothing
    purge_case "$out" "others' settings in /etc/xdg" other_settings
    purge_case "$out" "another library registered for every user" other_registration
    purge_case "$out" "an entry the prerm left" nothing registration_left
    echo "deb-check: purge leaves /etc as it was before the install"
}

# An installed program names the commands a user types, not the program folder's files.
check_installed_wording() { # check_installed_wording ROOT CONFIG
    local help status=0 errors
    XDG_CONFIG_HOME=$2 "$1/usr/bin/vorlane-regsvr" "$1/usr/lib/orsel/VRLN401.so" >/dev/null
    help=$(PATH=$1/usr/bin:$PATH "$1/usr/bin/orsel01" --help)
    [[ $help == *"Usage: orsel01 "* ]] || die "orsel01 --help: $(head -n 1 <<<"$help")"
    errors=$(env -u DISPLAY -u WAYLAND_DISPLAY PATH="$1/usr/bin:$PATH" XDG_CONFIG_HOME="$2" \
        XDG_DATA_HOME="$2/data" XDG_STATE_HOME="$2/state" XDG_CONFIG_DIRS="$2/none" \
        timeout -k 5 20 "$1/usr/bin/orsel01" --headless 2>&1 >/dev/null </dev/null) || status=$?
    ((status == 3)) || die "orsel01 --headless without settings: exit $status: $errors"
    [[ $errors == *": orsel-settings --address A --user U --pass -"* ]] ||
        die "the missing-settings message does not name orsel-settings: $errors"
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
    check_installed_wording "$root" "$out/help-config"
    echo "deb-check: --help of every installed command runs; messages name the commands"
}

mode=$1
# dpkg --root needs an absolute root.
out=$(realpath -m "$2")
shift 2
"mode_$mode" "$out" "$@"
