#!/bin/bash
# The project's test command: installs what a fresh Debian machine lacks, builds the three
# presets, runs the Linux tests (plain and with the sanitizers) with CTest and the Windows
# tests under Wine. Exits non-zero when any build or test fails.
#
# Usage: scripts/test.sh            (from anywhere inside the checkout)
# Environment: JOBS (parallel jobs, default 2), QUENLOW_SKIP_INSTALL=1 to skip packages.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}

step() { printf '\n=== %s (%s)\n' "$*" "$(date +%H:%M:%S)"; }

# shellcheck source=packages.sh
source scripts/packages.sh
[ "${QUENLOW_SKIP_INSTALL:-0}" = 1 ] || ensure_packages test || exit 1

# A preset that does not build is a failure, but the others still build and test, so that
# one run shows everything that is wrong.
failed=0
built=()
for preset in linux linux-asan windows; do
    step "Configure and build $preset"
    if cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs"; then
        built+=("$preset")
    else
        echo "BUILD FAILED: $preset"
        failed=1
    fi
done

was_built() {
    local preset
    for preset in "${built[@]}"; do [ "$preset" = "$1" ] && return 0; done
    return 1
}

if was_built linux; then
    step "Tests: linux"
    ctest --preset linux -j "$jobs" || failed=1
fi

if was_built linux-asan; then
    step "Tests: linux-asan"
    ASAN_OPTIONS=detect_leaks=1 ctest --preset linux-asan -j "$jobs" || failed=1
fi

# Wine runs the 32-bit Windows programs as 32-bit Linux processes: a kernel that runs none
# (ia32 emulation switched off, as on some virtual machines) cannot run the Windows tests.
runs_32_bit_programs() {
    local loader=/usr/lib/wine/wine
    [ -x "$loader" ] && "$loader" --version >/dev/null 2>&1
}

if was_built windows && ! runs_32_bit_programs; then
    step "Tests: windows SKIPPED: this kernel does not run 32-bit programs, so Wine cannot start the stub (the preset was built)"
elif was_built windows; then
    # One Wine prefix for all Windows tests, made once; its first start takes the longest.
    step "Tests: windows (under Wine)"
    export WINEPREFIX=$root/build/windows/wineprefix
    export WINEDEBUG=-all
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        xvfb-run -a wineboot --init >/dev/null 2>&1 || true
        wineserver -w || true
    fi
    xvfb-run -a ctest --test-dir build/windows -L wine --output-on-failure --timeout 900 ||
        failed=1
    wineserver -k 2>/dev/null || true
fi

# Every fuzz target for a short, bounded time: a regression that the saved inputs do not
# cover yet still has a chance to show itself here.
step "Fuzz targets (20 s each)"
scripts/fuzz.sh --smoke || failed=1

if [ "$failed" -ne 0 ]; then
    step "FAILED"
    exit 1
fi
step "All tests passed"
