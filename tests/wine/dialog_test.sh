#!/bin/sh
# The progress dialog of the Windows program under Wine, on the X server of the test run.
#
# An installer of several megabytes of incompressible data (so that its extraction lasts a
# few seconds under Wine) is packed with quenlow-pack and run without -silent, twice:
#
#  1. A normal run. While it extracts, the dialog is read from outside (dialog_probe) and
#     photographed: caption, client size and every control where the template puts it,
#     the picture at its own size centred, the status line, and a bar that moves; the
#     dialog minimised (it paints its icon) and restored goes on. While
#     the installer runs the dialog is hidden; at the end no window is left, the exit
#     status is the installer's, the installer ran once and the extraction is gone.
#  2. Escape during the extraction: "Canceling the installer . . ." with the button
#     disabled, the "Unzip failed" box owned by the dialog (pressed by the probe), no box
#     of the run's own after it, exit status 1, no installer, the extraction gone.
#  3. A temporary directory that does not exist: the directory's own box, then the run's
#     box captioned "Error", both owned by the dialog, and exit status -1 (255).
#  4. A branded installer (quenlow-pack's --title, --icon, --banner and version options):
#     the dialog has the vendor's caption and the picture at its size, the exit status is
#     the installer's, and the extraction is gone.
#
# Usage: dialog_test.sh SFX.EXE
# The helpers dialog_probe.exe and dialog_java.exe are beside SFX.EXE; QUENLOW_PACK names
# the native quenlow-pack (default: the linux preset's). The screenshots are left in
# test-output/dialog of the build folder. Exit status 77 means skipped.
set -u
program=$1
bin=$(dirname "$program")
probe=$bin/dialog_probe.exe
java=$bin/dialog_java.exe
pack=${QUENLOW_PACK:-$(dirname "$0")/../../build/linux/bin/quenlow-pack}
output=$bin/../test-output/dialog
scratch=$(mktemp -d)
installer=
cleanup() {
    # A failed check may leave the installer running: stop it before removing its files.
    if [ -n "$installer" ] && kill "$installer" 2>/dev/null; then
        wait "$installer"
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
. "$(dirname "$0")/wine_common.sh"

[ -n "${DISPLAY:-}" ] || { echo "SKIPPED: no X server (run under xvfb-run)"; exit 77; }
[ -x "$pack" ] || { echo "SKIPPED: $pack is missing (build the linux preset first)"; exit 77; }
mkdir -p "$output"
rm -f "$output"/*.png

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

# Wine draws the windows' frames and captions itself when no window manager runs.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

# ---- the installer ---------------------------------------------------------------------
source=$scratch/source
components=$source/Disk1/stage/Components/jre/1.0/DataFiles
mkdir -p "$components" "$source/Disk1/payload" "$scratch/tmp"
python3 - "$java" "$components/jre.jar" "$source/Disk1/payload" <<'PY' || fail "sample"
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as jar:
    jar.write(sys.argv[1], "bin/java.exe")
for i in range(400):
    with open(os.path.join(sys.argv[3], "part%03d.bin" % i), "wb") as part:
        part.write(os.urandom(50000))
PY
"$pack" --stub "$program" --output "$scratch/setup.exe" --cmd 'bin\java.exe -jar setup.jar' \
    --jre-component jre:1.0 "$source" >/dev/null || fail "quenlow-pack"

QUENLOW_DIALOG_LOG=$(windows_path "$scratch/java.log")
export QUENLOW_DIALOG_LOG
temp_option="-J-Djava.io.tmpdir=$(windows_path "$scratch/tmp")"

setup=$scratch/setup.exe
start_installer() {
    timeout 200 wine "$setup" "${1:-$temp_option}" </dev/null >/dev/null \
        2>"$scratch/err.raw" &
    installer=$!
}

finish_installer() {
    wait "$installer"
    status=$?
    installer=
    tr -d '\r' <"$scratch/err.raw" | grep -v '^wine' >"$scratch/err"
}

# probe OUTPUT MODE SECONDS: runs the probe; its status, its lines without carriage returns.
probe() {
    wine "$probe" "$2" "$3" >"$1.raw"
    probe_status=$?
    tr -d '\r' <"$1.raw" >"$1"
    return $probe_status
}

value() { sed -n "s/^$1=//p" "$2"; }

expect() { # FILE KEY VALUE
    actual=$(value "$2" "$1")
    [ "$actual" = "$3" ] || fail "$2 is '$actual', expected '$3' (see $1)"
}

# ---- 1. a normal run -------------------------------------------------------------------
QUENLOW_DIALOG_EXIT=7 QUENLOW_DIALOG_SLEEP=2000 start_installer
probe "$scratch/first" find 60 || fail "no dialog appeared"
import -window root "$output/extracting.png"
probe "$scratch/minimized" minimize 10 || fail "the dialog went away during the extraction"
expect "$scratch/minimized" iconic 1
expect "$scratch/minimized" restored 1
probe "$scratch/second" find 10 || fail "the dialog went away during the extraction"
import -window root "$output/extracting-later.png"
cat "$scratch/first"

expect "$scratch/first" caption Quenlow
# Pop-up, visible, caption, modal frame, font; no system menu, so no close box; its own
# taskbar button.
[ $(( $(value style "$scratch/first") & 0x90C800C0 )) -eq $(( 0x90C000C0 )) ] ||
    fail "dialog style $(value style "$scratch/first")"
[ $(( $(value exstyle "$scratch/first") & 0x00040000 )) -ne 0 ] ||
    fail "dialog extended style $(value exstyle "$scratch/first")"
expect "$scratch/first" control1002.text "Preparing the installer . . ."
expect "$scratch/first" control2.text Cancel
expect "$scratch/first" control2.enabled 1
expect "$scratch/first" control1001.class msctls_progress32
expect "$scratch/first" client "$(value client.template "$scratch/first")"
for id in 2 1001 1002; do
    expect "$scratch/first" "control$id.rect" "$(value "control$id.template" "$scratch/first")"
done
# The bitmap static takes the picture's own size and is centred across the client area,
# at the template's top edge.
client_width=$(value client "$scratch/first" | cut -d, -f1)
picture_top=$(value control1005.template "$scratch/first" | cut -d, -f2)
expect "$scratch/first" control1005.rect "$(( (client_width - 190) / 2 )),$picture_top,190,131"
# The dialog is centred on the screen.
window=$(value window "$scratch/first")
area=$(value workarea "$scratch/first")
[ "$(echo "$window" | cut -d, -f1)" -eq $(( ( $(echo "$area" | cut -d, -f3) - $(echo "$window" | cut -d, -f3) ) / 2 )) ] ||
    fail "the dialog is not centred horizontally: window $window, work area $area"

first_position=$(value progress "$scratch/first")
second_position=$(value progress "$scratch/second")
[ "$second_position" -gt "$first_position" ] ||
    fail "the bar did not move: $first_position, then $second_position"

probe "$scratch/hidden" hidden 60 || fail "the dialog was not hidden for the installer"
finish_installer
[ "$status" -eq 7 ] || fail "exit status $status, expected the installer's 7"
probe "$scratch/gone" gone 5 || fail "a dialog is left after the run"
[ "$(wc -l <"$scratch/java.log")" -eq 1 ] || fail "the installer ran $(wc -l <"$scratch/java.log") times"
[ -z "$(ls "$scratch/tmp")" ] || fail "the extraction directory is left: $(ls "$scratch/tmp")"

# ---- 2. Escape cancels -----------------------------------------------------------------
rm -f "$scratch/java.log"
QUENLOW_DIALOG_EXIT=7 start_installer
probe "$scratch/shown" find 60 || fail "no dialog appeared for the cancel"
window_id=$(xdotool search --name '^Quenlow$' | head -n 1)
[ -n "$window_id" ] || fail "xdotool cannot see the dialog"
xdotool windowfocus --sync "$window_id"
xdotool key Escape
probe "$scratch/cancelled" find 10 || fail "the dialog went away at once"
import -window root "$output/cancelling.png"
expect "$scratch/cancelled" control1002.text "Canceling the installer . . ."
expect "$scratch/cancelled" control2.enabled 0
probe "$scratch/box" box 30 || fail "no \"Unzip failed\" box"
expect "$scratch/box" box.text "Unzip failed"
expect "$scratch/box" box.owner dialog
if probe "$scratch/second-box" box 2; then
    fail "a second box after the cancel: $(value box.text "$scratch/second-box")"
fi
finish_installer
[ "$status" -eq 1 ] || fail "exit status $status after Escape, expected 1"
grep -q '^ERROR: Unzip failed$' "$scratch/err" || fail "no ERROR line for the stopped extraction"
! grep -q 'Cannot extract the archive' "$scratch/err" || fail "the run reported the cancel as corruption"
[ ! -e "$scratch/java.log" ] || fail "the installer was started after Escape"
probe "$scratch/gone" gone 5 || fail "a dialog is left after the cancel"
[ -z "$(ls "$scratch/tmp")" ] || fail "the extraction directory is left after the cancel"

# ---- 3. no extraction directory ---------------------------------------------------------
start_installer "-J-Djava.io.tmpdir=$(windows_path "$scratch/missing")"
probe "$scratch/box" box 60 || fail "no box for the missing directory"
expect "$scratch/box" box.owner dialog
grep -q "^box.text=The temporary directory .*missing does not exist" "$scratch/box" ||
    fail "first box: $(cat "$scratch/box")"
probe "$scratch/box" box 30 || fail "no box of the run's own"
expect "$scratch/box" box.caption Error
expect "$scratch/box" box.text "Cannot setup the extract directory."
expect "$scratch/box" box.owner dialog
finish_installer
[ "$status" -eq 255 ] || fail "exit status $status for a missing directory, expected 255"
grep -q '^ERROR: Cannot setup the extract directory.$' "$scratch/err" || fail "no ERROR line"
[ ! -e "$scratch/missing" ] || fail "the missing directory was created"

# ---- 4. a branded installer -------------------------------------------------------------
# The project's own art stands in for a vendor's icon and picture; the picture as a 24-bit
# bitmap, the kind vendors give, where the stub's own is 8-bit and run-length encoded.
art=$(dirname "$0")/../../src/launcher/ui/art
convert "$art/picture.bmp" -type TrueColor "BMP3:$scratch/banner24.bmp" || fail "24-bit banner"
setup=$scratch/branded.exe
"$pack" --stub "$program" --output "$setup" --cmd 'bin\java.exe -jar setup.jar' \
    --jre-component jre:1.0 --title "Acme Setup" --icon "$art/quenlow.ico" \
    --banner "$scratch/banner24.bmp" --product-name "Acme Studio" --product-version 2.1 \
    "$source" >/dev/null || fail "quenlow-pack with branding"
QUENLOW_PROBE_CAPTION="Acme Setup"
export QUENLOW_PROBE_CAPTION
rm -f "$scratch/java.log"
QUENLOW_DIALOG_EXIT=9 start_installer
probe "$scratch/branded" find 60 || fail "no dialog captioned Acme Setup appeared"
import -window root "$output/branded.png"
expect "$scratch/branded" caption "Acme Setup"
expect "$scratch/branded" control1005.rect "$(( (client_width - 190) / 2 )),$picture_top,190,131"
finish_installer
[ "$status" -eq 9 ] || fail "exit status $status of the branded installer, expected 9"
[ "$(wc -l <"$scratch/java.log")" -eq 1 ] || fail "the branded installer's program did not run once"
probe "$scratch/gone" gone 5 || fail "a dialog is left after the branded run"
[ -z "$(ls "$scratch/tmp")" ] || fail "the extraction directory is left after the branded run"

echo "screenshots in $output"
exit 0
