#!/bin/sh
# A bad command line ends with -1 (255 to the shell) and its ERROR line on standard error,
# and creates nothing in the temporary directory.
set -u
program=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
TMPDIR=$scratch "$program" -silent -noconsole -J 2>"$scratch/err" </dev/null
status=$?
[ "$status" -eq 255 ] || { echo "exit status $status, expected 255"; exit 1; }
grep -qx 'ERROR: Invalid option -J' "$scratch/err" || { cat "$scratch/err"; exit 1; }
[ "$(ls "$scratch")" = err ] || { echo "left behind:"; ls "$scratch"; exit 1; }
