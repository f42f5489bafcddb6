#!/bin/sh
# robustness.sh - how much of each print-and-scan effect the decoder takes.
#
#   bench/robustness.sh [build directory] [build of a commit before] > table.md
#
# Encodes one full page of random payload with paprel, scans it with
# paperscan while one effect grows step by step, and decodes it with
# unpaprel.  A step passes when unpaprel exits with status 0 and gives back
# the payload byte for byte; a failure shows unpaprel's exit status, so that
# wrong bytes with status 0 (damage the code cannot see) would stand out.  Each effect is swept twice: alone (every other
# effect off: no blur, dot gain, noise, dust or uneven light) and on top of
# paperscan's default scan.  A sweep stops at its first failure.  Prints a
# Markdown table on standard output and progress on standard error; takes
# about a quarter of an hour on one core.  Given a second build, it goes on
# with two tables of what that build and this one decode: sheets turned on
# the glass (turned.sh) and frames cut by white lines (frame_gaps.sh); a
# further three quarters of an hour.
set -eu

build=$(cd "${1:-build}" && pwd)
for program in encoder/paprel tools/paperscan/paperscan decoder/unpaprel; do
    [ -x "$build/$program" ] || { echo "missing $build/$program: build first" >&2; exit 1; }
done
paprel=$build/encoder/paprel
paperscan=$build/tools/paperscan/paperscan
unpaprel=$build/decoder/unpaprel

work=$(mktemp -d "${TMPDIR:-/tmp}/robustness.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The same pseudo-random payload every run (perl's rand is drand48 everywhere).
perl -e 'srand(1); print map { chr(int(rand(256))) } 1 .. 199773' > "$work/payload"
"$paprel" "$work/payload" "$work/page"

alone="--blur 0 --dot-gain 0 --noise 0 --dust 0 --illumination 0"

# run_step OPTIONS: prints "pass|fail BER IRREPARABLE STATUS" for one scan.
run_step() {
    rm -f "$work"/scan_*
    if ! "$paperscan" $1 "$work/scan" "$work/page_0001.pgm" 2> "$work/scan.err"; then
        echo "paperscan $1: $(cat "$work/scan.err")" >&2
        exit 1
    fi
    status=0
    (cd "$work" && "$unpaprel" 0-65-93-24-3-1-2-24 scan > decoded 2> decode.err) || status=$?
    if grep -q '^No bad bits!' "$work/decode.err"; then
        ber=0
    else
        ber=$(sed -n 's/.*bit error rate \([^%]*\)%.*/\1/p' "$work/decode.err" | head -n 1)
    fi
    irreparable=$(sed -n 's/^4 bad bits *//p' "$work/decode.err" | head -n 1)
    verdict=fail
    if [ "$status" -eq 0 ] && cmp -s "$work/decoded" "$work/payload"; then
        verdict=pass
    fi
    echo "$verdict ${ber:--} ${irreparable:--} $status"
}

# sweep NAME OPTION "VALUES" BASE LABEL: one table row.
sweep() {
    name=$1 option=$2 values=$3 base=$4 others=$5
    best="none" steps=""
    for value in $values; do
        result=$(run_step "$base $option $value") || exit 1
        set -- $result
        echo "$name ($others): $option $value -> $1, bit error rate $2 %, irreparable $3" >&2
        if [ "$1" = pass ]; then
            best=$value
            steps="$steps $value: $2 %;"
        elif [ "$2" = - ]; then
            steps="$steps $value: fails (no page found, status $4)"
            break
        else
            steps="$steps $value: fails ($2 %, $3 irreparable, status $4)"
            break
        fi
    done
    echo "| $name | $others | **$best** |$steps |"
}

echo "| effect | other effects | largest that decodes | bit error rate at each step |"
echo "|---|---|---|---|"
big_sheet="--sheet 9000x9000"  # room for the page turned by 30 degrees
sweep "rotation, degrees" --rotate "1 2 3 5 7 10 15 20 25 30" "$alone $big_sheet" off
sweep "rotation, degrees" --rotate "1 2 3 5 7 10 15 20 25 30" "$big_sheet" default
sweep "blur sigma, page pixels" --blur "0.2 0.3 0.4 0.45 0.5 0.55 0.6 0.7 0.8" "$alone" off
sweep "blur sigma, page pixels" --blur "0.2 0.3 0.4 0.45 0.5 0.55 0.6 0.7 0.8" "" default
sweep "noise, reflectance sigma" --noise "0.005 0.01 0.02 0.05 0.08 0.1 0.12 0.15" "$alone" off
sweep "noise, reflectance sigma" --noise "0.005 0.01 0.02 0.05 0.08 0.1 0.12 0.15" "" default
sweep "dot gain, page pixels" --dot-gain "0.2 0.4 0.5 0.6 0.7 0.8 0.9" "$alone" off
sweep "dot gain, page pixels" --dot-gain "0.2 0.4 0.5 0.6 0.7 0.8 0.9" "" default
sweep "dot loss, page pixels" --dot-gain "-0.1 -0.2 -0.3 -0.4 -0.5 -0.6 -0.7" "$alone" off
sweep "dot loss, page pixels" --dot-gain "-0.1 -0.2 -0.3 -0.4 -0.5 -0.6 -0.7" "" default
sweep "scan pixels per page pixel, falling" --scale "2.5 2 1.8 1.6 1.5 1.4 1.3 1.2 1.1 1" "$alone" off
sweep "scan pixels per page pixel, falling" --scale "2.5 2 1.8 1.6 1.5 1.4 1.3 1.2 1.1 1" "" default
sweep "dust specks per square inch" --dust "1 5 20 80 160 320 640 1000" "$alone" off
sweep "dust specks per square inch" --dust "1 5 20 80 160 320 640 1000" "" default

if [ $# -ge 2 ]; then
    here=$(dirname "$0")
    echo
    echo "Sheets turned on the glass, decoded by $2 and by $1:"
    echo
    "$here/turned.sh" "$build" "$2"
    echo
    echo "Frames cut by white lines, decoded by $2 and by $1:"
    echo
    "$here/frame_gaps.sh" "$build" "$2"
fi
