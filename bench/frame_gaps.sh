#!/bin/sh
# frame_gaps.sh - how many pages with a cut frame decode, before and since
# unpaprel closes the frame's gaps.
#
#   bench/frame_gaps.sh <build directory> <build of a commit before> > table.md
#
# Encodes one full page of random payload (the one bench/robustness.sh
# uses) and scans it with paperscan at its defaults (600 dpi, 3 scan pixels
# per page pixel, A4) in two families of damage:
#   - white streaks one page pixel wide along a column and along a row, at
#     0, 1, 2 and 3 degrees to the page's axis, across the page from 2 % to
#     98 % of its width or height;
#   - one, two and three scratches at -1.2, 0 and 1.5 degrees of skew, and
#     one, two and three hairs, seeds 1 to 8.
# Every scan is decoded by the unpaprel of the build before and by this
# build's.  A scan passes when unpaprel exits with status 0 and gives back
# the payload byte for byte; where the old one passed, the new one must
# give every byte of its output (payload, standard error, debug image).
# Prints a Markdown table on standard output and one line per scan on
# standard error; takes about half an hour on one core.
set -eu

[ $# -eq 2 ] || { echo "usage: bench/frame_gaps.sh <build> <build before>" >&2; exit 1; }
build=$(cd "$1" && pwd)
before=$(cd "$2" && pwd)
for program in encoder/paprel tools/paperscan/paperscan decoder/unpaprel; do
    [ -x "$build/$program" ] || { echo "missing $build/$program: build first" >&2; exit 1; }
done
[ -x "$before/decoder/unpaprel" ] || { echo "missing $before/decoder/unpaprel" >&2; exit 1; }
paprel=$build/encoder/paprel
paperscan=$build/tools/paperscan/paperscan
unpaprel=$build/decoder/unpaprel
old_unpaprel=$before/decoder/unpaprel

work=$(mktemp -d "${TMPDIR:-/tmp}/frame_gaps.XXXXXX")
trap 'rm -rf "$work"' EXIT
perl -e 'srand(1); print map { chr(int(rand(256))) } 1 .. 199773' > "$work/payload"
"$paprel" "$work/payload" "$work/page"

# decode NAME PROGRAM [OPTION]: "pass" or "fail" for the scan, its standard
# output and error kept as NAME.out, NAME.err, its debug image NAME.pgm.
decode() {
    name=$1 program=$2
    shift 2
    status=0
    (cd "$work" && "$program" "$@" 0-65-93-24-3-1-2-24 scan > "$name.out" 2> "$name.err") ||
        status=$?
    mv "$work/scan_0001_debug.pgm" "$work/$name.pgm" 2> /dev/null || : > "$work/$name.pgm"
    echo "$status" >> "$work/$name.err"
    if [ "$status" -eq 0 ] && cmp -s "$work/$name.out" "$work/payload"; then
        echo pass
    else
        echo fail
    fi
}

# run_scan OPTIONS: "BEFORE NOW SAME" for one scan: pass or fail by each
# build, and whether the two outputs are the same bytes.
run_scan() {
    rm -f "$work"/scan_*
    if ! "$paperscan" $1 "$work/scan" "$work/page_0001.pgm" 2> "$work/scan.err"; then
        echo "paperscan $1: $(cat "$work/scan.err")" >&2
        exit 1
    fi
    old=$(decode old "$old_unpaprel")
    new=$(decode new "$unpaprel")
    same=yes
    for kind in out err pgm; do
        cmp -s "$work/old.$kind" "$work/new.$kind" || same=NO
    done
    echo "$old $new $same"
}

# family LABEL "OPTIONS..." (one scan per line): one table row.
family() {
    label=$1
    cases=0 old_passes=0 new_passes=0 changed=0
    while read -r options; do
        [ -n "$options" ] || continue
        result=$(run_scan "$options") || exit 1
        set -- $result
        echo "$label: $options -> before $1, now $2, same output: $3" >&2
        cases=$((cases + 1))
        [ "$1" = pass ] && old_passes=$((old_passes + 1))
        [ "$2" = pass ] && new_passes=$((new_passes + 1))
        [ "$1" = fail ] || [ "$3" = yes ] || changed=$((changed + 1))
    done
    echo "| $label | $cases | $old_passes | $new_passes | $changed |"
}

positions="0.02 0.05 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 0.95 0.98"
streaks() {
    for position in $positions; do
        echo "--streak $1:$position:$2"
    done
}
# blemishes KIND COUNT ROTATION: paperscan's scratches or hairs, seeds 1 to 8.
blemishes() {
    for seed in 1 2 3 4 5 6 7 8; do
        echo "--$1 $2 --rotate $3 --seed $seed"
    done
}

echo "| damage | scans | decoded before | decoded now | changed where it decoded before |"
echo "|---|---|---|---|---|"
for angle in 0 1 2 3; do
    streaks column "$angle" | family "streak along a column, $angle degrees"
    streaks row "$angle" | family "streak along a row, $angle degrees"
done
for rotation in -1.2 0 1.5; do
    for count in 1 2 3; do
        blemishes scratches "$count" "$rotation" |
            family "$count scratch(es) at $rotation degrees, seeds 1-8"
    done
done
for count in 1 2 3; do
    blemishes hairs "$count" 0 | family "$count hair(s), seeds 1-8"
done
