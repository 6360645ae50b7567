#!/bin/bash
# Runs quenlow-unzip the way users do (list, list --json --verbose, test, extract into a
# scratch directory) on every archive of the given directories and fails on any report
# of the checker the program runs under:
#   --valgrind   under valgrind: an invalid access or any leak. Sees uninitialised reads
#                that ASan does not, in the program as it ships.
#   --sanitizer  the program is the sanitizer build: any ASan, UBSan or leak report.
# Exit statuses of the program itself are the archives' business and not judged here.
#
# Usage: fuzz/tool_replay.sh --valgrind|--sanitizer QUENLOW_UNZIP DIRECTORY...
set -uo pipefail

mode=${1:?usage: $0 --valgrind|--sanitizer QUENLOW_UNZIP DIRECTORY...}
unzip=${2:?usage: $0 --valgrind|--sanitizer QUENLOW_UNZIP DIRECTORY...}
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A report ends the program with status 99, which the program never answers itself.
runner=()
case $mode in
    --valgrind) runner=(valgrind --quiet --leak-check=full --errors-for-leak-kinds=all --error-exitcode=99
                        --suppressions="$(dirname "$0")/valgrind.supp") ;;
    --sanitizer)
        export ASAN_OPTIONS=exitcode=99:detect_leaks=1
        export UBSAN_OPTIONS=halt_on_error=1:exitcode=99:print_stacktrace=1
        export LSAN_OPTIONS=exitcode=99 ;;
    *) echo "unknown mode $mode" >&2; exit 2 ;;
esac

failed=0
count=0
for directory in "$@"; do
    for archive in "$directory"/*; do
        case $archive in *.md|*.json) continue ;; esac
        [ -f "$archive" ] || continue
        count=$((count + 1))
        for command in list json test extract; do
            rm -rf "$scratch/out" && mkdir "$scratch/out"
            case $command in
                list) arguments=(list "$archive") ;;
                json) arguments=(list --json --verbose "$archive") ;;
                test) arguments=(test "$archive") ;;
                extract) arguments=(extract -d "$scratch/out" --overwrite always "$archive") ;;
            esac
            "${runner[@]}" "$unzip" "${arguments[@]}" </dev/null >/dev/null 2>"$scratch/log"
            if [ "$?" -eq 99 ]; then
                echo "${mode#--}: $command $archive"
                cat "$scratch/log"
                failed=1
            fi
        done
    done
done
[ "$failed" -eq 0 ] && echo "${mode#--}: no report on $count archives"
exit "$failed"
