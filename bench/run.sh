#!/bin/bash
# Every speed measure in one table: builds what it needs in build/linux, runs the decoder
# benchmark (inflate + CRC-32 through the archive reader and from memory, and CRC-32
# alone), `quenlow-unzip test` on the JDK corpus (on two processors and on one) against
# libdeflate decoding the same entries from memory, whole extraction of the JDK corpus
# (deflate, and the same tree as Deflate64) and of 70,000 small files, and packing, each
# against its peers, and prints ours and the peers side by side with the ratios. Times
# are medians of RUNS runs (the decoder benchmark takes the best processor time of RUNS
# passes). Never part of the test run.
#
# usage: bench/run.sh [RUNS]     (default 3)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
runs=${1:-3}
build=$root/build/linux

[ -d "$build" ] || (cd "$root" && cmake --preset linux > /dev/null)
cmake --build "$build" -j2 --target bench_inflate bench_corpus quenlow-unzip quenlow-pack quenlow-sfx > /dev/null
small=$build/bench/small70k.zip
[ -s "$small" ] || python3 "$here/make_small_files.py" "$small"
jdk64=$build/bench/jdk64.zip
[ -s "$jdk64" ] || sh "$here/make_corpus.sh" "$jdk64" "" Deflate64

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
echo "running (runs: $runs) ..." >&2
# The decoders take turns in one process, held to one processor: on these virtual
# machines one processor can run 20 % slower than the other for minutes, and a pass that
# moved between them would compare the processors, not the decoders.
taskset -c 0 "$build/bin/bench_inflate" "$build/bench/jdk.zip" "$runs" > "$logs/inflate"
"$build/bin/bench_inflate" "$build/bench/jdk.zip" "$runs" test > "$logs/testpeer"
# Test mode decodes large entries ahead on a second processor; taskset keeps it to one.
for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f "%e %U %S" -a -o "$logs/test" "$build/bin/quenlow-unzip" test -q -q \
        "$build/bench/jdk.zip" > /dev/null
    /usr/bin/time -f "%e %U %S" -a -o "$logs/test1" taskset -c 0 "$build/bin/quenlow-unzip" test \
        -q -q "$build/bench/jdk.zip" > /dev/null
done
"$here/extract.sh" "$build" "" "$runs" > "$logs/extract"
"$here/extract.sh" "$build" "$jdk64" "$runs" > "$logs/deflate64"
"$here/extract.sh" "$build" "$small" "$runs" > "$logs/small"
[ -x "$here/pack.sh" ] && "$here/pack.sh" "$build" "" "$runs" > "$logs/pack"

# "label value" pairs from the logs.
mbs() { awk -v k="$2" 'index($0, k) { for (i = 1; i <= NF; i++) if ($(i + 1) == "MB/s") print $i }' "$1" | head -1; }
med() { awk -v k="$2" '$1 == k && $2 == "median" { print $3 }' "$1"; }
rss() { awk -v k="$2" '$1 == k && $2 == "median" { for (i = 1; i <= NF; i++) if ($i == "RSS") print $(i + 1) }' "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2fx", a / b; else print "-" }'; }
# Median of one column of the time log (1 wall, 2 user + 3 system).
timeMedian() {
    awk -v c="$2" '{ print c == 1 ? $1 : $2 + $3 }' "$1" | sort -g |
        awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}

row() { printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" "$4"; }
echo "| measure | quenlow | peers | quenlow vs peers |"
echo "|---|---|---|---|"
q=$(mbs "$logs/inflate" "quenlow inflateData"); z=$(mbs "$logs/inflate" "zlib inflate"); l=$(mbs "$logs/inflate" "  libdeflate ")
row "inflate + CRC-32, MB/s (JDK corpus)" "$q" "zlib $z, libdeflate $l" "$(ratio "$q" "$z") zlib, $(ratio "$q" "$l") libdeflate"
q=$(mbs "$logs/inflate" "quenlow from memory")
row "the same, ours from memory as the peers (no file reads)" "$q" "zlib $z, libdeflate $l" "$(ratio "$q" "$z") zlib, $(ratio "$q" "$l") libdeflate"
q=$(mbs "$logs/inflate" "quenlow crc32Update"); z=$(mbs "$logs/inflate" "zlib crc32"); l=$(mbs "$logs/inflate" "libdeflate crc32")
row "CRC-32 alone, MB/s" "$q" "zlib $z, libdeflate $l" "$(ratio "$q" "$z") zlib, $(ratio "$q" "$l") libdeflate"
qw=$(timeMedian "$logs/test" 1); qp=$(timeMedian "$logs/test" 2)
read -r lw lp < <(awk '$1 == "libdeflate-test" { print $5, $7 }' "$logs/testpeer")
row "\`quenlow-unzip test\` on the JDK archive vs libdeflate decoding the same entries from memory, s wall / processor" \
    "$qw / $qp" "libdeflate $lw / $lp" "$(ratio "$qw" "$lw") wall, $(ratio "$qp" "$lp") processor"
qw=$(timeMedian "$logs/test1" 1); qp=$(timeMedian "$logs/test1" 2)
row "the same on one processor (taskset -c 0), s wall / processor" \
    "$qw / $qp" "libdeflate $lw / $lp" "$(ratio "$qw" "$lw") wall, $(ratio "$qp" "$lp") processor"
for case in extract:"extraction to tmpfs, JDK archive (deflate)" \
            deflate64:"extraction to tmpfs, the same tree as Deflate64" \
            small:"extraction, 70,000 small files (Python zipfile, Zip64)"; do
    log=$logs/${case%%:*}
    q=$(med "$log" quenlow); s=$(med "$log" 7zz); b=$(med "$log" bsdtar)
    row "${case#*:}, s (time ratio: lower is better)" "$q" "7zz $s, bsdtar $b" "$(ratio "$q" "$s") 7zz, $(ratio "$q" "$b") bsdtar"
    row "peak RSS, MiB, ${case#*:}" "$(rss "$log" quenlow)" "7zz $(rss "$log" 7zz), bsdtar $(rss "$log" bsdtar)" "-"
done
if [ -s "$logs/pack" ]; then
    read -r _ qt _ qs < <(awk '$1 == "quenlow"' "$logs/pack")
    read -r _ st _ ss < <(awk '$1 == "7zz"' "$logs/pack")
    row "packing the JDK, s / archive bytes" "$qt / $qs" "7zz $st / $ss" "time $(ratio "$qt" "$st"), size $(ratio "$qs" "$ss")"
fi
if [ -f "$root/build/windows/bin/quenlow-sfx.exe" ]; then
    row "Windows stub, bytes (build/windows)" "$(stat -c %s "$root/build/windows/bin/quenlow-sfx.exe")" "-" "target <= 204,800"
fi
