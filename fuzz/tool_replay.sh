#!/bin/bash
# Runs quenlow-unzip under valgrind on every peer archive (extract into a scratch
# directory, then test) and fails when valgrind reports an invalid access or any leak.
# A check of the engine outside the sanitizers: valgrind sees uninitialised reads that
# ASan does not, and the program as it ships, without instrumentation.
#
# Usage: fuzz/valgrind_peers.sh QUENLOW_UNZIP [PEERS_DIRECTORY]
set -uo pipefail

unzip=${1:?usage: $0 QUENLOW_UNZIP [PEERS_DIRECTORY]}
peers=${2:-$(dirname "$0")/../../shared/testdata/peers}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
for archive in "$peers"/*; do
    case $archive in *.md|*.json) continue ;; esac
    for command in extract test; do
        rm -rf "$scratch/out" && mkdir "$scratch/out"
        arguments=("$command" "$archive")
        [ "$command" = test ] || arguments=(extract -d "$scratch/out" --overwrite always "$archive")
        valgrind --quiet --leak-check=full --errors-for-leak-kinds=all --error-exitcode=99 \
            "$unzip" "${arguments[@]}" >/dev/null 2>"$scratch/log"
        status=$?
        if [ "$status" -eq 99 ]; then
            echo "valgrind: $command $(basename "$archive")"
            cat "$scratch/log"
            failed=1
        fi
    done
done
[ "$failed" -eq 0 ] && echo "valgrind: no invalid access and no leak on $(ls "$peers" | grep -vc '\.md$\|\.json$') peer archives"
exit "$failed"
