#!/bin/bash
# Whole-archive extraction: quenlow-unzip against 7-Zip and bsdtar on the same
# archive, written to tmpfs (/dev/shm) so that the decoders are what is measured.
# Runs alternate between the three tools; each tool's median wall time of RUNS runs
# and its largest peak RSS (from /usr/bin/time -v) are printed, with the ratios. A tool
# that fails on the archive (bsdtar knows no Deflate64) shows "-" instead.
# Never part of the test run.
#
# usage: bench/extract.sh BUILD_DIR [ARCHIVE] [RUNS]
#   BUILD_DIR  a Linux build with bin/quenlow-unzip (e.g. build/linux)
#   ARCHIVE    default: BUILD_DIR/bench/jdk.zip, made by make_corpus.sh when missing
set -euo pipefail

build=${1:?usage: extract.sh BUILD_DIR [ARCHIVE] [RUNS]}
archive=${2:-$build/bench/jdk.zip}
runs=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
ours=$build/bin/quenlow-unzip

[ -x "$ours" ] || { echo "no $ours: build the quenlow-unzip target first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing: apt-get install -y time" >&2; exit 2; }
if [ ! -s "$archive" ]; then
    mkdir -p "$(dirname "$archive")"
    sh "$here/make_corpus.sh" "$archive"
fi
archive=$(realpath "$archive")
ours=$(realpath "$ours")

target=$(mktemp -d /dev/shm/quenlow-extract-XXXXXX)
trap 'rm -rf "$target"' EXIT

# One run of one tool into a fresh directory; prints "seconds peak-kib", or "- -" when
# the tool failed.
run_one() {
    local tool=$1 out=$target/$1 log=$target/$1.time status=0
    rm -rf "$out"
    mkdir -p "$out"
    case $tool in
        quenlow) /usr/bin/time -v -o "$log" "$ours" extract -q -q --overwrite always -d "$out" "$archive" > /dev/null ;;
        7zz)     /usr/bin/time -v -o "$log" 7zz x -y -bd -o"$out" "$archive" > /dev/null ;;
        bsdtar)  (cd "$out" && /usr/bin/time -v -o "$log" bsdtar -xf "$archive" 2> /dev/null) ;;
    esac || status=$?
    if [ "$status" -ne 0 ]; then
        echo "- -"
        return
    fi
    local wall rss
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0;
                        for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$log")
    rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")
    echo "$wall $rss"
}

declare -A times rss failed
tools=(quenlow 7zz bsdtar)
for ((i = 0; i < runs; i++)); do
    for tool in "${tools[@]}"; do
        read -r t r < <(run_one "$tool")
        times[$tool]+="$t "
        if [ "$t" = - ]; then failed[$tool]=1; continue; fi
        if [ -z "${rss[$tool]:-}" ] || [ "$r" -gt "${rss[$tool]}" ]; then rss[$tool]=$r; fi
    done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

echo "archive: $archive ($(du -h "$archive" | cut -f1)), $runs runs each, to $target"
declare -A med
for tool in "${tools[@]}"; do
    if [ -n "${failed[$tool]:-}" ]; then
        med[$tool]=-
        printf "  %-8s median      - s   peak RSS      - MiB   (failed on this archive)\n" "$tool"
        continue
    fi
    med[$tool]=$(echo "${times[$tool]}" | median)
    printf "  %-8s median %6.2f s   peak RSS %6.1f MiB   (runs: %s)\n" "$tool" "${med[$tool]}" \
        "$(echo "${rss[$tool]} / 1024" | bc -l)" "${times[$tool]}"
done
ratio() { [ "$1" = - ] || [ "$2" = - ] && echo - || printf "%.2f" "$(echo "$1 / $2" | bc -l)"; }
echo "  time ratio 7zz/quenlow $(ratio "${med[7zz]}" "${med[quenlow]}")," \
    "bsdtar/quenlow $(ratio "${med[bsdtar]}" "${med[quenlow]}")"
