#!/bin/sh
# A bad command line: exit status -1 (255 to the shell), the ERROR line on the inherited
# standard error, and no extraction directory made.
set -u
program=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
. "$(dirname "$0")/wine_common.sh"

before=$(count_extraction_directories)
run_program "$scratch/err" -silent -noconsole -jreLoc
[ "$status" -eq 255 ] || fail "exit status $status, expected 255"
grep -qx 'ERROR: Invalid option -jreLoc (no value)' "$scratch/err" || fail "no ERROR line"
[ "$(count_extraction_directories)" -eq "$before" ] || fail "a directory was created"

run_program "$scratch/err" -silent -noconsole -nowait -J
[ "$status" -eq 255 ] || fail "exit status $status, expected 255"
grep -qx 'ERROR: Invalid option -J' "$scratch/err" || fail "no ERROR line for -J"
exit 0
