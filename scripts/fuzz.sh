#!/bin/bash
# Builds the fuzz preset and runs every fuzz target for a bounded time, one after the
# other. What a run learns stays in the working corpus (build/fuzz/corpus/<target>/,
# started from the seeds in fuzz/seeds/ and the learned inputs kept in fuzz/corpus/);
# every input that crashes, leaks, runs out of memory or exceeds the time limit is copied
# to fuzz/regressions/<target>/, where the ordinary test suite replays it from then on
# (fuzz/CMakeLists.txt). A summary with executions, executions per second and coverage
# per target goes to standard output and is added to build/fuzz/summary.txt.
#
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   every target (or those named) for
#                                                SECONDS each, default 60
#        scripts/fuzz.sh --smoke                 every target for 20 s: the test run's
#                                                bounded check for regressions
#        scripts/fuzz.sh --keep-corpus [TARGET...]  after a campaign: replaces fuzz/corpus/
#                                                with the smallest set of working-corpus
#                                                inputs that reaches what they reach
# Environment: JOBS (build jobs, default 2); FUZZ_RUNS=N ends a target after N
# executions if that comes before its time is up; FUZZ_KEEP_GOING=1 for long campaigns:
# the target runs in libFuzzer's fork mode and goes on after a finding (each one is kept).
# Exits non-zero when the build fails or any target found something.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}

seconds=60
keep_corpus=0
if [ "${1:-}" = "--smoke" ]; then
    seconds=20
    shift
elif [ "${1:-}" = "--keep-corpus" ]; then
    keep_corpus=1
    shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi

all_targets=(engine_test engine_list engine_extract inflate inflate64 unshrink explode field_block
             patterns command_line descriptor versions launch_command)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

build=$root/build/fuzz
mkdir -p "$build"
# Two runs of this script may share the build (a campaign runs targets side by side):
# one builds at a time.
(
    flock 9
    cmake --preset fuzz >/dev/null
    cmake --build "$build" -j "$jobs" --target fuzz_all
) 9>"$build/.build-lock"

# Seeds, kept inputs, dictionary and the longest input worth trying, per kind of target.
# The three engine targets read archives and share their seeds and kept inputs.
kind_of() {
    case $1 in
        engine_*) echo archives ;;
        *) echo "$1" ;;
    esac
}
seeds_of() { echo "$root/fuzz/seeds/$(kind_of "$1")"; }
kept_of() { echo "$root/fuzz/corpus/$(kind_of "$1")"; }
dictionary_of() {
    case $1 in
        engine_*) echo "$root/fuzz/dictionaries/zip.dict" ;;
        inflate|inflate64) echo "$root/fuzz/dictionaries/deflate.dict" ;;
        unshrink|explode|field_block) echo "" ;;
        *) echo "$root/fuzz/dictionaries/launcher.dict" ;;
    esac
}
max_length_of() {
    case $1 in
        engine_*) echo 65536 ;;
        inflate|inflate64|unshrink|explode|field_block) echo 16384 ;;
        *) echo 4096 ;;
    esac
}

# The targets' work files go to a directory of this run's own, in memory where we can
# (the extraction target writes and removes a tree on every run), one per target and
# emptied after it: a crash or a timeout leaves them behind.
if [ -w /dev/shm ]; then
    work=$(mktemp -d /dev/shm/quenlow-fuzz.XXXXXX)
    trap 'chmod -R u+rwX "$work" 2>/dev/null; rm -rf "$work"' EXIT
else
    work=$build/tmp
fi

# Keeping a campaign's corpus: each target of a kind merges the working corpora (and what
# is kept already) into the smallest set that reaches the same coverage beyond the seeds,
# which replaces fuzz/corpus/<kind>/. Long archives are left out: they add little coverage
# and slow down every replay in the test suite.
kept_length_of() {
    case $1 in
        engine_*) echo 2048 ;;
        *) max_length_of "$1" ;;
    esac
}
keep_corpus_of_kind() {
    local kind=$1
    shift
    local pool=$work/pool-$kind kept=$work/kept-$kind log=$build/logs/keep-$kind.log
    local seeds kept_now target seed
    seeds=$(seeds_of "$1")
    kept_now=$(kept_of "$1")
    mkdir -p "$pool" "$kept" "$work/$kind" "$(dirname "$log")"
    for target in "$@"; do
        [ -d "$build/corpus/$target" ] || continue
        find "$build/corpus/$target" -type f -size -$(($(kept_length_of "$target") + 1))c \
            -exec cp -t "$pool" {} +
    done
    [ ! -d "$kept_now" ] || find "$kept_now" -type f -exec cp -t "$pool" {} +
    # The seeds go in first so that only what they do not reach is added; they are taken
    # out again afterwards.
    cp "$seeds"/* "$kept"/
    : >"$log"
    for target in "$@"; do
        TMPDIR=$work/$kind "$build/bin/fuzz_$target" -merge=1 -close_fd_mask=3 -timeout=10 \
            -rss_limit_mb=2048 "$kept" "$pool" >>"$log" 2>&1
    done
    for seed in "$seeds"/*; do rm -f "$kept/$(basename "$seed")"; done
    rm -rf "$kept_now"
    mkdir -p "$(dirname "$kept_now")"
    cp -r "$kept" "$kept_now"
    printf '%-15s %6s inputs %9s bytes  kept in %s\n' "$kind" "$(find "$kept_now" -type f | wc -l)" \
        "$(du -sb --apparent-size "$kept_now" | cut -f1)" "${kept_now#"$root"/}"
}

if [ "$keep_corpus" = 1 ]; then
    kinds_done=" "
    for target in "${targets[@]}"; do
        kind=$(kind_of "$target")
        case $kinds_done in *" $kind "*) continue ;; esac
        kinds_done+="$kind "
        members=()
        for other in "${all_targets[@]}"; do
            [ "$(kind_of "$other")" != "$kind" ] || members+=("$other")
        done
        keep_corpus_of_kind "$kind" "${members[@]}"
    done
    exit 0
fi

summary=$build/summary.txt
printf '%-15s %8s %12s %9s %7s %7s  %s (%s)\n' target seconds executions exec/s cov ft result \
    "$(date '+%F %T')" | tee -a "$summary"

found=0
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    log=$build/logs/$target.log
    scratch=$work/$target
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")" "$scratch"
    rm -f "$artifacts"/*
    dictionary=$(dictionary_of "$target")
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
             -max_len="$(max_length_of "$target")" -print_final_stats=1 -close_fd_mask=3
             -artifact_prefix="$artifacts/")
    [ -z "$dictionary" ] || options+=(-dict="$dictionary")
    [ -z "${FUZZ_RUNS:-}" ] || options+=(-runs="$FUZZ_RUNS")
    [ "${FUZZ_KEEP_GOING:-0}" != 1 ] ||
        options+=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
    inputs=("$(seeds_of "$target")")
    [ ! -d "$(kept_of "$target")" ] || inputs+=("$(kept_of "$target")")
    status=0
    started=$SECONDS
    TMPDIR=$scratch "$build/bin/fuzz_$target" "${options[@]}" "$corpus" "${inputs[@]}" \
        >"$log" 2>&1 || status=$?
    elapsed=$((SECONDS - started))
    chmod -R u+rwX "$scratch" 2>/dev/null || true
    rm -rf "${scratch:?}"/*

    result=clean
    for artifact in "$artifacts"/*; do
        [ -f "$artifact" ] || continue
        case $(basename "$artifact") in slow-unit-*) continue ;; esac
        mkdir -p "$root/fuzz/regressions/$target"
        cp "$artifact" "$root/fuzz/regressions/$target/"
        result="FOUND $(basename "$artifact") (see $log)"
    done
    # libFuzzer ends with 72 when it is interrupted (Ctrl-C, or a campaign cut short).
    if [ "$result" = clean ] && [ "$status" -eq 72 ]; then
        result="interrupted, clean so far"
    elif [ "$result" = clean ] && [ "$status" -ne 0 ]; then
        result="FAILED with status $status (see $log)"
    fi
    case $result in clean | interrupted*) ;; *) found=1 ;; esac

    # Fork mode prints no final statistics: its last "#N:" line counts every execution.
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    [ -n "$executions" ] || executions=$(sed -n 's/^#\([0-9]*\): cov:.*/\1/p' "$log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    [ -n "$speed" ] || [ -z "$executions" ] || speed=$((executions / (elapsed > 0 ? elapsed : 1)))
    if [ "${FUZZ_KEEP_GOING:-0}" = 1 ]; then
        # Fork mode counts coverage its own way: measure the corpus as a plain run does.
        TMPDIR=$scratch "$build/bin/fuzz_$target" -runs=0 -close_fd_mask=3 "$corpus" \
            "${inputs[@]}" >>"$log" 2>&1 || true
        rm -rf "${scratch:?}"/*
    fi
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    features=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    printf '%-15s %8s %12s %9s %7s %7s  %s\n' "$target" "$elapsed" "${executions:--}" \
        "${speed:--}" "${coverage:--}" "${features:--}" "$result" | tee -a "$summary"
done
exit "$found"
