#!/bin/sh
# How much the progress dialog costs: the same installer (600 entries of 32 KiB of random
# data, an installer that exits at once) run with and without -silent, natively and under
# Wine, five times each; prints the median wall time of each way.
#
#   natively: -silent -noconsole, the dialog without a terminal, the dialog on a
#             pseudo-terminal (script), where the display is drawn
#   Wine:     -silent -noconsole, and the dialog on an X server (xvfb-run when DISPLAY is unset)
#
# Usage: scripts/dialog-timing.sh [LINUX-BUILD-DIR [WINDOWS-BUILD-DIR]]
#        (defaults build/linux and build/windows; a missing Windows build skips Wine)
set -eu
# The dialog needs an X server under Wine.
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a "$0" "$@"
cd "$(dirname "$0")/.."
linux=${1:-build/linux}
windows=${2:-build/windows}
runs=5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source=$work/source
components=$source/Disk1/stage/Components/jre/1.0/DataFiles
mkdir -p "$components" "$source/Disk1/payload" "$work/tmp"
python3 - "$components" "$source/Disk1/payload" "$windows/bin/dialog_java.exe" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(os.path.join(sys.argv[1], "jre.jar"), "w") as jar:
    info = zipfile.ZipInfo("bin/java")
    info.create_system = 3
    info.external_attr = 0o100755 << 16
    jar.writestr(info, b"#!/bin/sh\nexit 0\n")
    if os.path.exists(sys.argv[3]):
        jar.write(sys.argv[3], "bin/java.exe")
for i in range(600):
    with open(os.path.join(sys.argv[2], "part%03d.bin" % i), "wb") as part:
        part.write(os.urandom(32768))
PY

# median COMMAND...: runs the command $runs times, prints the median in milliseconds.
median() {
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        "$@" </dev/null >/dev/null 2>&1 || true
        echo $(( ($(date +%s%N) - start) / 1000000 ))
    done | sort -n | sed -n "$(( (runs + 1) / 2 ))p"
}

"$linux/bin/quenlow-pack" --stub "$linux/bin/quenlow-sfx" --output "$work/setup" \
    --cmd 'bin/java -jar setup.jar' --jre-component jre:1.0 "$source" >/dev/null
export TMPDIR="$work/tmp"
echo "natively ($runs runs each, median):"
echo "  -silent -noconsole       $(median "$work/setup" -silent -noconsole -nowait) ms"
echo "  dialog, no terminal      $(median "$work/setup" -nowait) ms"
echo "  dialog on a terminal     $(median script -q -c "$work/setup -nowait" /dev/null) ms"

if [ ! -f "$windows/bin/quenlow-sfx.exe" ]; then
    echo "no $windows/bin/quenlow-sfx.exe: Wine skipped"
    exit 0
fi
"$linux/bin/quenlow-pack" --stub "$windows/bin/quenlow-sfx.exe" --output "$work/setup.exe" \
    --cmd 'bin\java.exe -jar setup.jar' --jre-component jre:1.0 "$source" >/dev/null
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$PWD/$windows/wineprefix}
temp="-J-Djava.io.tmpdir=$(printf 'Z:%s' "$work/tmp" | tr / '\\')"
wineserver -p 60 # one server for all runs, so that no run pays for its start
wine cmd /c exit >/dev/null 2>&1 || true
echo "under Wine ($runs runs each, median):"
echo "  -silent -noconsole       $(median wine "$work/setup.exe" -silent -noconsole -nowait "$temp") ms"
echo "  dialog                   $(median wine "$work/setup.exe" "$temp") ms"
