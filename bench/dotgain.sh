#!/bin/sh
# dotgain.sh - how much toner spread a printed page survives, with and
# without sheetprint's compensation (-g).
#
#   bench/dotgain.sh [build directory] [printer dpi] [dots per page pixel]
#
# Defaults: build, 1200 dpi, 6 dots per page pixel (the default page size of
# 7.73 x 11.21 in).  One page of random payload is printed by sheetprint for
# each compensation setting g from 0 to half the dots per pixel and rendered
# at printer resolution by Ghostscript.  dotgain_sim then grows the black by
# k printer dots on every side (toner spread), blurs, and averages down to a
# 600 dpi scan, which unpaprel decodes.  For every g the script reports the
# spreads k that still give back the exact payload; a black page pixel then
# prints dots - g + 2 k dots wide, so g = 2 k compensates k exactly.
#
# Needs Ghostscript and the built paprel, sheetprint, unpaprel and
# dotgain_sim.  Takes a few minutes; uses about 1 GB of memory at 1200 dpi.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
dpi=${2:-1200}
dots=${3:-6}
factor=$((dpi / 600))
if [ $((factor * 600)) -ne "$dpi" ]; then
    echo "dotgain.sh: the printer resolution must be a multiple of 600 dpi" >&2
    exit 1
fi
for program in encoder/paprel sheetprint/sheetprint decoder/unpaprel bench/dotgain_sim; do
    [ -x "$build/$program" ] || { echo "dotgain.sh: $build/$program is not built" >&2; exit 1; }
done
bin=$(cd "$build" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

payload_size=150000
head -c $payload_size /dev/urandom > "$work/payload.bin"
(cd "$work" && "$bin/encoder/paprel" payload.bin page)

echo "printer $dpi dpi, $dots dots per page pixel, scanned at 600 dpi"
echo "spread k: black grows by k printer dots on every side"
g=0
while [ $g -le $((dots / 2)) ]; do
    "$bin/sheetprint/sheetprint" -r "$dpi" -d "$dots" -g $g -o "$work/doc.pdf" "$work/page_0001.pgm"
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r"$dpi" \
        -sOutputFile="$work/sheet.pgm" "$work/doc.pdf"
    decoded=""
    k=0
    while [ $k -le "$dots" ]; do
        "$bin/bench/dotgain_sim" "$work/sheet.pgm" $k $factor "$work/scan_0001.png"
        if (cd "$work" && "$bin/decoder/unpaprel" 0-65-93-24-3-1-2-24 scan > out.bin 2> log) &&
            cmp -s -n $payload_size "$work/payload.bin" "$work/out.bin"; then
            decoded="$decoded $k"
        fi
        k=$((k + 1))
    done
    echo "compensation -g $g: exact payload at spread k =${decoded:- none}"
    g=$((g + 1))
done
