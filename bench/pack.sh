#!/bin/bash
# Packing a runtime: quenlow-pack --runtime-image against `7zz a -tzip -mx=5` on the same
# tree (the machine's JDK, copied without its dangling links, which 7-Zip skips and
# quenlow-pack refuses). Runs alternate between the two tools; each tool's median wall
# time of RUNS runs, its peak RSS and the archive's size are printed, with the ratios.
# The installer's archive is compared: the installer less the stub in front of it.
# Never part of the test run.
#
# usage: bench/pack.sh BUILD_DIR [TREE] [RUNS]
#   BUILD_DIR  a Linux build with bin/quenlow-pack and bin/quenlow-sfx (e.g. build/linux)
#   TREE       default /usr/lib/jvm/java-17-openjdk-amd64
set -euo pipefail

build=${1:?usage: pack.sh BUILD_DIR [TREE] [RUNS]}
tree=${2:-/usr/lib/jvm/java-17-openjdk-amd64}
runs=${3:-3}
pack=$(realpath "$build/bin/quenlow-pack")
stub=$(realpath "$build/bin/quenlow-sfx")
[ -x "$pack" ] && [ -x "$stub" ] || { echo "build the quenlow-pack and quenlow-sfx targets first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing: apt-get install -y time" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quenlow-pack-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -a "$tree" "$work/runtime"
find "$work/runtime" -xtype l -delete
mkdir -p "$work/source/Disk1"

# One run of one tool; prints "seconds peak-kib bytes".
run_one() {
    local log=$work/$1.time
    rm -f "$work/out.zip" "$work/setup"
    case $1 in
        quenlow) /usr/bin/time -v -o "$log" "$pack" --stub "$stub" --output "$work/setup" \
                     --cmd "bin/java -version" --runtime-image "$work/runtime" \
                     "$work/source" > /dev/null
                 size=$(( $(stat -c %s "$work/setup") - $(stat -c %s "$stub") )) ;;
        7zz)     (cd "$work" && /usr/bin/time -v -o "$log" 7zz a -tzip -mx=5 -bd out.zip ./runtime > /dev/null)
                 size=$(stat -c %s "$work/out.zip") ;;
    esac
    local elapsed peak
    elapsed=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$log" |
              awk -F: '{ if (NF == 3) print $1*3600 + $2*60 + $3; else print $1*60 + $2 }')
    peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
    echo "$elapsed $peak $size"
}

declare -A times peaks sizes
for ((i = 0; i < runs; i++)); do
    for tool in quenlow 7zz; do
        read -r seconds peak size < <(run_one $tool)
        times[$tool]+="$seconds "
        peaks[$tool]=$peak
        sizes[$tool]=$size
    done
done
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

echo "tree: $tree ($(du -sb "$work/runtime" | cut -f1) bytes, $runs runs each, $(nproc) cores)"
printf '%-8s %10s %12s %14s\n' tool seconds peak-KiB archive-bytes
for tool in quenlow 7zz; do
    printf '%-8s %10s %12s %14s\n' $tool "$(median "${times[$tool]}")" "${peaks[$tool]}" "${sizes[$tool]}"
done
awk -v a="$(median "${times[quenlow]}")" -v b="$(median "${times[7zz]}")" \
    -v c="${sizes[quenlow]}" -v d="${sizes[7zz]}" \
    'BEGIN { printf "quenlow-pack / 7zz: time %.2fx, size %.4fx\n", a / b, c / d }'
