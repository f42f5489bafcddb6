#!/bin/bash
# paperscan_speed.sh - how long paperscan takes for one full 600-dpi sheet.
#
#   bench/paperscan_speed.sh [build directory]
#
# Encodes one full page of random payload with paprel and times paperscan
# (CPU seconds, single thread) on it for a few kinds of scan.  The goal is a
# few seconds per A4 sheet (4961 x 7016 pixels).
set -eu

build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/paperscan-speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c 199773 /dev/urandom > "$work/payload"
"$build/encoder/paprel" "$work/payload" "$work/page"

TIMEFORMAT='%U s user, %S s system, %R s elapsed'
for options in "" "--dot-gain 0 --noise 0" "--kind grey16" "--interlace" "--rotate 2 --kind rgb" \
               "--scale 4.1 --sheet 6500x9300"; do
    echo "paperscan ${options:-(defaults)}:"
    time "$build/tools/paperscan/paperscan" $options "$work/scan" "$work/page_0001.pgm"
done
