#!/bin/sh
# turned.sh - how many sheets that lay turned on the glass decode, before and
# after the decoder learnt to turn them.
#
#   bench/turned.sh [build directory] [build of an older decoder] > table.md
#
# Encodes one full page of random payload (the one bench/robustness.sh
# uses) and scans it with paperscan at its defaults (600 dpi, 3 scan pixels
# per page pixel) on a sheet large enough for any turn, turned by 90, 180
# and 270 degrees (paperscan's --rotate, counter-clockwise) with 0, 0.7 and
# -1.5 degrees of skew on top, at seeds 1 to 3.  Every scan is decoded by
# the older unpaprel (the second directory) and by this build's; a scan
# passes when unpaprel exits with status 0 and gives back the payload byte
# for byte.  Prints a Markdown table on standard output and one line per
# scan on standard error; takes about five minutes on one core.
set -eu

build=$(cd "${1:-build}" && pwd)
before=$(cd "${2:-$build}" && pwd)
for program in encoder/paprel tools/paperscan/paperscan decoder/unpaprel; do
    [ -x "$build/$program" ] || { echo "missing $build/$program: build first" >&2; exit 1; }
done
[ -x "$before/decoder/unpaprel" ] || { echo "missing $before/decoder/unpaprel" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/turned.XXXXXX")
trap 'rm -rf "$work"' EXIT
perl -e 'srand(1); print map { chr(int(rand(256))) } 1 .. 199773' > "$work/payload"
"$build/encoder/paprel" "$work/payload" "$work/page"

# decode PROGRAM: "1" when the scan in $work decodes exactly, else "0".
decode() {
    status=0
    (cd "$work" && "$1" 0-65-93-24-3-1-2-24 scan > decoded 2> decode.err) || status=$?
    if [ "$status" -eq 0 ] && cmp -s "$work/decoded" "$work/payload"; then echo 1; else echo 0; fi
}

echo "| sheet turned by | skew on top, degrees | decoded before | decoded now |"
echo "|---|---|---|---|"
for turn in 90 180 -90; do
    for skew in 0 0.7 -1.5; do
        old=0 new=0 scans=0
        for seed in 1 2 3; do
            rotate=$(echo "$turn $skew" | awk '{ r = $1 + $2; if (r > 180) r -= 360; print r }')
            rm -f "$work"/scan_*
            "$build/tools/paperscan/paperscan" --sheet 7500x7500 --rotate "$rotate" --seed "$seed" \
                "$work/scan" "$work/page_0001.pgm"
            o=$(decode "$before/decoder/unpaprel")
            n=$(decode "$build/decoder/unpaprel")
            echo "rotate $rotate seed $seed: before $o, now $n" >&2
            old=$((old + o)) new=$((new + n)) scans=$((scans + 1))
        done
        label=$turn
        [ "$turn" = -90 ] && label=270
        echo "| $label | $skew | $old of $scans | $new of $scans |"
    done
done
