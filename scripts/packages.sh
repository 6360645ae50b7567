#!/bin/bash
# The system packages the project needs, and their installation on a Debian 12 machine.
# Sourced by demo.sh and test.sh; `ensure_packages demo` installs what the demonstration
# needs, `ensure_packages test` what the whole test run needs. Packages are installed
# only when missing, so that a prepared machine starts at once.
#
# No `grep -q` at the end of a pipeline here: it stops reading at the first match, the
# writer then dies of a broken pipe, and with pipefail a match counts as a failure.
#
# Things this copes with, each seen on a fresh machine:
#   - one package index fails to download (a mirror in the middle of a sync): the refresh
#     is tried a few times, then the install goes on with the indexes that did arrive;
#   - that index is the i386 one of the security suite: the 32-bit Wine then cannot be
#     installed from the indexes alone (see add_i386_builds_of_security_updates);
#   - a package that still cannot be installed stops the script with its name.

# package                  needed by
_quenlow_packages="
cmake                      demo test
make                       demo test
g++                        demo test
python3                    demo test
zlib1g-dev                 demo test
libdeflate-dev             demo test
openjdk-17-jdk-headless    demo test
git                        test
libgtest-dev               test
googletest                 test
libgmock-dev               test
g++-mingw-w64-i686         test
wine                       test
wine32:i386                test
xvfb                       test
xauth                      test
xdotool                    test
imagemagick                test
7zip                       test
libarchive-tools           test
clang                      test
libclang-rt-14-dev         test
valgrind                   test
osslsigncode               test
openssl                    test
"

_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

_apt_get() {
    _as_root env DEBIAN_FRONTEND=noninteractive apt-get -q "$@"
}

_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep 'install ok installed' >/dev/null
}

# The package lists, refreshed; a refresh that keeps failing is reported, not fatal: the
# packages may still be installable from the indexes that did arrive.
_refresh_package_lists() {
    local attempt
    for attempt in 1 2 3; do
        _apt_get update && return 0
        echo "packages: refreshing the package lists failed (attempt $attempt of 3)" >&2
        [ "$attempt" -eq 3 ] || sleep $((attempt * 5))
    done
    echo "packages: going on with the package lists that did arrive" >&2
}

# Candidate versions, one "name version" line per package named (amd64 and :i386 names).
_candidates() {
    apt-cache policy "$@" 2>/dev/null | awk '
        /^[^ ].*:$/ { name = substr($0, 1, length($0) - 1) }
        /^  Candidate:/ { print name, $2 }'
}

# When the i386 index of the security suite is missing, apt knows only the older i386
# builds of the multi-arch libraries whose amd64 builds come from that suite, and refuses
# to install the two architectures at different versions. The i386 builds of those very
# versions are in the registry's pool beside the amd64 ones, so the libraries the 32-bit
# Wine needs are fetched from there into a local repository, which apt then reads for the
# length of the install. Prints the repository's folder; nothing when nothing was needed.
_i386_repository=/var/cache/quenlow-i386-builds
_i386_source=/etc/apt/sources.list.d/quenlow-i386-builds.list
add_i386_builds_of_security_updates() {
    local wanted=$1 closure name version i386_names=() fetch=()
    closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
        --no-breaks --no-replaces --no-enhances "$wanted" 2>/dev/null |
        grep -v '^ ' | grep ':i386$' | sort -u)
    for name in $closure; do i386_names+=("$name" "${name%:i386}:amd64"); done
    [ ${#i386_names[@]} -gt 0 ] || return 0
    declare -A candidate=()
    while read -r name version; do
        candidate[$name]=$version
    done < <(_candidates "${i386_names[@]}")
    for name in $closure; do
        local base=${name%:i386}
        local native=${candidate[$base]:-}
        [ -n "$native" ] && [ "$native" != "(none)" ] || continue
        [ "$native" != "${candidate[$name]:-}" ] || continue
        # Only multi-arch libraries must match; an older i386 build of anything else is fine.
        apt-cache show "$base:amd64=$native" 2>/dev/null | grep '^Multi-Arch: same' >/dev/null || continue
        fetch+=("$base:amd64=$native")
    done
    [ ${#fetch[@]} -gt 0 ] || return 0

    echo "packages: fetching the i386 builds of ${fetch[*]%%:*} from the registry's pool" >&2
    _as_root rm -rf "$_i386_repository"
    _as_root mkdir -p "$_i386_repository"
    local uri file
    while read -r uri file _; do
        uri=${uri//\'/}
        uri=${uri%_amd64.deb}_i386.deb
        file=${file%_amd64.deb}_i386.deb
        _as_root /usr/lib/apt/apt-helper download-file "$uri" "$_i386_repository/$file" >/dev/null ||
            echo "packages: no i386 build at $uri" >&2
    done < <(apt-get download --print-uris "${fetch[@]}" 2>/dev/null)
    local deb
    for deb in "$_i386_repository"/*.deb; do
        [ -f "$deb" ] || continue
        dpkg-deb -f "$deb"
        printf 'Filename: ./%s\nSize: %s\nSHA256: %s\n\n' "$(basename "$deb")" \
            "$(stat -c %s "$deb")" "$(sha256sum "$deb" | cut -d' ' -f1)"
    done | _as_root tee "$_i386_repository/Packages" >/dev/null
    echo "deb [trusted=yes] file:$_i386_repository ./" | _as_root tee "$_i386_source" >/dev/null
    _refresh_package_lists
}

# Puts the machine's package sources back as they were.
remove_i386_builds() {
    [ -e "$_i386_source" ] || return 0
    _as_root rm -f "$_i386_source"
    _as_root rm -rf "$_i386_repository"
    _refresh_package_lists >/dev/null 2>&1
}

# ensure_packages demo|test: installs what that command needs and is missing.
ensure_packages() {
    local purpose=$1 name needed_by missing=()
    while read -r name needed_by; do
        [ -n "$name" ] || continue
        case " $needed_by " in *" $purpose "*) ;; *) continue ;; esac
        if [ "$name" = openjdk-17-jdk-headless ]; then
            # Any JDK with jlink will do.
            command -v javac >/dev/null && command -v jlink >/dev/null && continue
        fi
        _installed "$name" || missing+=("$name")
    done <<<"$_quenlow_packages"
    [ ${#missing[@]} -gt 0 ] || return 0

    printf '\n=== Installing %s\n' "${missing[*]}"
    local native=() foreign=()
    for name in "${missing[@]}"; do
        case $name in *:i386) foreign+=("$name") ;; *) native+=("$name") ;; esac
    done
    if [ ${#foreign[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -x i386 >/dev/null; then
        _as_root dpkg --add-architecture i386
    fi
    _refresh_package_lists
    [ ${#native[@]} -eq 0 ] || _apt_get install -y --no-install-recommends "${native[@]}" || true
    for name in "${foreign[@]}"; do
        _apt_get install -y --no-install-recommends "$name" && continue
        trap remove_i386_builds EXIT
        add_i386_builds_of_security_updates "$name"
        _apt_get install -y --no-install-recommends "$name" || true
        remove_i386_builds
        trap - EXIT
    done

    local failed=()
    for name in "${missing[@]}"; do
        if [ "$name" = openjdk-17-jdk-headless ]; then
            command -v javac >/dev/null && command -v jlink >/dev/null && continue
        fi
        _installed "$name" || failed+=("$name")
    done
    if [ ${#failed[@]} -gt 0 ]; then
        echo "packages: cannot install ${failed[*]}" >&2
        return 1
    fi
}
