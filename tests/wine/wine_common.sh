# Shared by the Wine test scripts: runs the program under Wine with a fixed environment and
# collects its standard error without carriage returns (the C runtime writes text mode).
: "${WINEDEBUG:=-all}"
export WINEDEBUG
[ -n "${WINEPREFIX:-}" ] || { echo "WINEPREFIX is not set"; exit 1; }
export WINEPREFIX

# run_program OUTPUT-FILE ARGUMENTS...: sets $status.
run_program() {
    output=$1
    shift
    timeout 120 wine "$program" "$@" </dev/null 2>"$output.raw" >/dev/null
    status=$?
    tr -d '\r' <"$output.raw" >"$output"
}

# Unique directories the program may have left anywhere on drive C.
count_extraction_directories() {
    find "$WINEPREFIX/drive_c" -maxdepth 8 -name 'sfx*.tmp' 2>/dev/null | wc -l
}

fail() {
    echo "FAILED: $*"
    [ -f "$scratch/err" ] && { echo "--- standard error:"; cat "$scratch/err"; }
    exit 1
}
