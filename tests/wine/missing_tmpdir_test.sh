#!/bin/sh
# A silent run whose temporary directory does not exist: the directory message, then the
# run's summary, exit status -1, and nothing created.
set -u
program=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
. "$(dirname "$0")/wine_common.sh"

missing='C:\quenlow-missing-temp'
before=$(count_extraction_directories)
run_program "$scratch/err" -silent -noconsole -nowait "-J-Djava.io.tmpdir=$missing"
[ "$status" -eq 255 ] || fail "exit status $status, expected 255"
cat >"$scratch/expected" <<END
ERROR: The temporary directory $missing does not exist.
Please restart the installer and ensure the temporary directory exists.
ERROR: Cannot setup the extract directory.
END
grep -v '^wine' "$scratch/err" | diff "$scratch/expected" - || fail "unexpected messages"
[ ! -e "$WINEPREFIX/drive_c/quenlow-missing-temp" ] || fail "the directory was created"
[ "$(count_extraction_directories)" -eq "$before" ] || fail "a directory was created"
exit 0
