#!/usr/bin/env bash
# Builds a real sample installer and runs it silently, end to end:
#
#   0. installs the system packages it needs when they are missing (scripts/packages.sh);
#   1. builds quenlow-sfx (the Linux launcher stub) and quenlow-pack (build/linux);
#   2. makes the sample from what this machine has: a Java runtime made with jlink
#      (java.base only); the sample installer (tests/fixtures/installer) compiled into
#      Disk1/install/installer.jar; a payload folder; and sfx.ini;
#   3. packs them behind the stub with quenlow-pack into build/demo/setup-sample, the
#      runtime with --runtime-image as the component sample.jre (a jar that keeps
#      bin/java executable, at Disk1/stage/Components/sample.jre/VERSION/DataFiles);
#   4. runs it with -silent -nowait and a target folder, and prints what the installer
#      did, the exit status and the time from start to the installer's first line.
#
# Usage: scripts/demo.sh [--timing]
#   --timing   run once more with -debug and show where the time goes (extraction of
#              the archive, unpacking of the runtime, start of the installer)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/linux
demo=$root/build/demo
cache=$root/build/demo-cache
timing=false
[[ ${1:-} == --timing ]] && timing=true

say() { printf '== %s\n' "$*"; }

# shellcheck source=packages.sh
source "$root/scripts/packages.sh"
ensure_packages demo || exit 1

say "Building quenlow-sfx and quenlow-pack in ${build#$root/}"
mkdir -p "$root/build"
# Configured every time: cheap when nothing changed, and a folder left half-configured by
# an interrupted or failed run is not taken for a ready one.
(cd "$root" && cmake --preset linux >"$root/build/demo-configure.log" 2>&1) ||
    { cat "$root/build/demo-configure.log"; exit 1; }
cmake --build "$build" -j2 --target quenlow-sfx quenlow-pack >"$root/build/demo-build.log" 2>&1 ||
    { cat "$root/build/demo-build.log"; exit 1; }

say "Making the sample: Java runtime (jlink, cached), sample installer, payload"
mkdir -p "$cache"
if [[ ! -x $cache/jre/bin/java ]]; then
    rm -rf "$cache/jre.partial"
    jlink --add-modules java.base --strip-debug --no-header-files --no-man-pages \
        --output "$cache/jre.partial"
    mv "$cache/jre.partial" "$cache/jre"
fi

rm -rf "$demo"
source_dir=$demo/source
mkdir -p "$source_dir/Disk1/install" "$source_dir/Disk1/payload/docs" "$demo/classes" "$demo/tmp"
javac -d "$demo/classes" "$root/tests/fixtures/installer/SampleInstaller.java"
jar --create --file "$source_dir/Disk1/install/installer.jar" --main-class SampleInstaller \
    -C "$demo/classes" .
printf 'Sample product, installed by the Quenlow SFX demo.\n' >"$source_dir/Disk1/payload/README.txt"
seq 1 20000 >"$source_dir/Disk1/payload/docs/numbers.txt"
cat >"$source_dir/sfx.ini" <<'INI'
[autorun]
CMD=bin/java -jar install/installer.jar --payload payload
JRE_COMPONENT=sample.jre
DISKCNT=1
INI

say "Packing with quenlow-pack"
installer=$demo/setup-sample
"$build/bin/quenlow-pack" --stub "$build/bin/quenlow-sfx" --output "$installer" \
    --runtime-image "$cache/jre" --runtime-name sample.jre "$source_dir"
stub_size=$(stat -c %s "$build/bin/quenlow-sfx")
say "Installer: ${installer#$root/}, $(stat -c %s "$installer") bytes (stub $stub_size bytes)"

# Runs the installer with the given arguments, printing its lines (stdout and stderr)
# and stamping each with the seconds since the start; leaves the stamps in $stamps.
run() {
    stamps=$demo/stamps.txt
    : >"$stamps"
    local status
    start=$EPOCHREALTIME
    set +e
    TMPDIR=$demo/tmp "$installer" "$@" 2>&1 | while IFS= read -r line; do
        printf '%s\t%s\n' "$EPOCHREALTIME" "$line" >>"$stamps"
        printf '   %s\n' "$line"
    done
    status=${PIPESTATUS[0]}
    set -e
    return "$status"
}

# Seconds from the start to the first line that matches a pattern.
stamp_of() {
    awk -F'\t' -v pattern="$1" -v start="$start" \
        '$2 ~ pattern { printf "%.3f\n", $1 - start; exit }' "$stamps"
}

# Run from the project's folder with a relative target, as a user would: the sample
# installer resolves it against the folder it was started in (sfx.installer.launcher.home),
# not against its working directory, which is removed with the extraction.
cd "$root"
say "Running: ${installer#$root/} -silent -nowait --target build/demo/installed"
status=0
run -silent -nowait --target build/demo/installed || status=$?
say "Exit status: $status"
say "Time from start to the installer's first line: $(stamp_of '^Sample installer started') s"
say "Installed: $(cd "$demo/installed" && find . -type f | sort | tr '\n' ' ')"
leftover=$(find "$demo/tmp" -mindepth 1 -maxdepth 1 | wc -l)
say "Extraction directories left in ${demo#$root/}/tmp: $leftover"

if $timing; then
    say "Timing run with -debug"
    run -silent -nowait -debug --target build/demo/installed >/dev/null || true
    extract_start=$(stamp_of '^Extracting installer files')
    extract_end=$(stamp_of 'Qz_SingleEntryUnzip\(\) result')
    runtime_start=$(stamp_of '^Unzipping Java jars ')
    runtime_end=$(stamp_of '^Launch command length')
    first_line=$(stamp_of '^Sample installer started')
    awk -v es="$extract_start" -v ee="$extract_end" -v rs="$runtime_start" \
        -v re="$runtime_end" -v fl="$first_line" 'BEGIN {
        printf "   start to first installer line  %.3f s\n", fl
        printf "   archive extraction             %.3f s (%.0f %%)\n", ee - es, 100 * (ee - es) / fl
        printf "   runtime jars measured+unpacked %.3f s (%.0f %%)\n", re - rs, 100 * (re - rs) / fl
        printf "   Java start to first line       %.3f s (%.0f %%)\n", fl - re, 100 * (fl - re) / fl
    }'
    # -debug keeps the extraction directory: remove it now.
    find "$demo/tmp" -mindepth 1 -maxdepth 1 -name 'sfx*.tmp' -exec rm -rf {} +
fi
exit "$status"
