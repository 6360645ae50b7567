#!/bin/sh
# A temporary directory that does not exist: its message, the run's summary, exit -1.
set -u
program=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$program" -silent -noconsole -nowait "-J-Djava.io.tmpdir=$scratch/none" 2>"$scratch/err" </dev/null
status=$?
[ "$status" -eq 255 ] || { echo "exit status $status, expected 255"; cat "$scratch/err"; exit 1; }
cat > "$scratch/expected" <<END
ERROR: The temporary directory $scratch/none does not exist.
Please restart the installer and ensure the temporary directory exists.
ERROR: Cannot setup the extract directory.
END
diff "$scratch/expected" "$scratch/err"
