#!/bin/sh
# Archives a tree (by default the machine's JDK) with 7-Zip at level 5, by deflate or by
# another method 7-Zip's ZIP writer knows (Deflate64): the benchmark corpus. 7-Zip
# answers 1 for warnings (the JDK tree holds a dangling link); the archive is complete
# all the same.
# usage: make_corpus.sh OUTPUT.zip [TREE] [METHOD]     (METHOD: Deflate, Deflate64)
out=$1
tree=${2:-/usr/lib/jvm/java-17-openjdk-amd64}
method=${3:-Deflate}
rm -f "$out"
7zz a -tzip -mm="$method" -mx=5 "$out" "$tree" > /dev/null 2>&1
status=$?
[ $status -le 1 ] && [ -s "$out" ]
