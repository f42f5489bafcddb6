#!/bin/sh
# soft_speed.sh - what --soft costs over the plain decode.
#
#   bench/soft_speed.sh [build directory]
#
# Decodes three scans of one page, each plain and with --soft, and prints the
# processor time (user + system, the best of five runs) of each and their
# ratio: paperscan's default scan (a few hundred damaged codewords), a clean
# scan (no blur, noise or dust) and a blurred one (blur 0.6: some 80000
# damaged codewords, beyond the hard decision).  Debug images are written as
# in an ordinary run.  Goals: at most 1.10 on the clean scans, at most 2 on
# the blurred one.
set -eu

build=$(cd "${1:-build}" && pwd)
for program in encoder/paprel tools/paperscan/paperscan decoder/unpaprel; do
    [ -x "$build/$program" ] || { echo "missing $build/$program: build first" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/soft_speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
perl -e 'srand(1); print map { chr(int(rand(256))) } 1 .. 199773' > payload
"$build/encoder/paprel" payload page 2> /dev/null
"$build/tools/paperscan/paperscan" default page_0001.pgm
"$build/tools/paperscan/paperscan" --blur 0 --noise 0 --dust 0 clean page_0001.pgm
"$build/tools/paperscan/paperscan" --blur 0.6 blurred page_0001.pgm

# best_time OPTIONS...: the least user + system seconds of five runs.
best_time() {
    best=
    for run in 1 2 3 4 5; do
        /usr/bin/time -f '%U %S' -o time.txt "$build/decoder/unpaprel" "$@" > out 2> err || true
        t=$(awk '{ print $1 + $2 }' time.txt | tail -n 1)
        best=$(echo "$t ${best:-$t}" | awk '{ print ($1 < $2) ? $1 : $2 }')
    done
    echo "$best"
}

echo "| scan | plain, s | --soft, s | ratio |"
echo "|---|---|---|---|"
for scan in default clean blurred; do
    plain=$(best_time 0-65-93-24-3-1-2-24 "$scan")
    soft=$(best_time --soft 0-65-93-24-3-1-2-24 "$scan")
    echo "| $scan | $plain | $soft | $(echo "$soft $plain" | awk '{ printf "%.2f", $1 / $2 }') |"
done
