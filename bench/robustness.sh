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
# paperscan's default scan.  A sweep stops at its first failure, and from
# that step goes on with unpaprel --soft on the same scans until --soft
# fails too (a sweep the plain decoder never fails has its last scan read
# with --soft as well, so that column is measured too).  A second, short
# table sums two scans: noise on top of the default scan, read with --soft
# from one scan (seed 1) and from two (seeds 1 and 2).  Prints Markdown
# tables on standard output and progress on standard error; takes about
# ten minutes on one core.  Given a second build, it goes on with two
# tables of what that build and this one decode: sheets turned on the glass
# (turned.sh) and frames cut by white lines (frame_gaps.sh); a further three
# quarters of an hour.
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

# scan NAME OPTIONS: one scan of the page as NAME_0001.png.
scan() {
    rm -f "$work/$1"_*
    if ! "$paperscan" $2 "$work/$1" "$work/page_0001.pgm" 2> "$work/scan.err"; then
        echo "paperscan $2: $(cat "$work/scan.err")" >&2
        exit 1
    fi
}

# decode FLAGS BASE...: prints "pass|fail BER IRREPARABLE STATUS" for the
# scans already made.  With --soft the irreparable words are the doubtful
# ones; the bit error rate is the first scan's.
decode() {
    flags=$1
    shift
    status=0
    (cd "$work" && "$unpaprel" $flags 0-65-93-24-3-1-2-24 "$@" > decoded 2> decode.err) || status=$?
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

# note_step VALUE "VERDICT BER IRREPARABLE STATUS" WORD: the step's entry
# in the steps column (WORD names the irreparable words).
note_step() {
    set -- $1 $2 $3
    if [ "$2" = pass ]; then
        echo " $1: $3 %;"
    elif [ "$3" = - ]; then
        echo " $1: fails (no page found, status $5)"
    else
        echo " $1: fails ($3 %, $4 $6, status $5)"
    fi
}

# progress LABEL "VERDICT BER IRREPARABLE STATUS": one line on standard error.
progress() {
    set -- "$1" $2
    echo "$1 -> $2, bit error rate $3 %, irreparable $4" >&2
}

# sweep NAME OPTION "VALUES" BASE LABEL: one table row; the plain decoder
# until it fails, then --soft on the same and the following scans.
sweep() {
    name=$1 option=$2 values=$3 base=$4 others=$5
    best="none" steps="" soft_best="none" soft_steps="" mode=plain
    for value in $values; do
        scan scan "$base $option $value"
        if [ $mode = plain ]; then
            result=$(decode "" scan) || exit 1
            progress "$name ($others): $option $value" "$result"
            steps="$steps$(note_step "$value" "$result" irreparable)"
            if [ "${result%% *}" = pass ]; then
                best=$value soft_best=$value
                continue
            fi
            mode=soft
        fi
        result=$(decode --soft scan) || exit 1
        progress "$name ($others): $option $value, --soft" "$result"
        soft_steps="$soft_steps$(note_step "$value" "$result" doubtful)"
        [ "${result%% *}" = pass ] || break
        soft_best=$value
    done
    if [ $mode = plain ]; then
        result=$(decode --soft scan) || exit 1
        progress "$name ($others): $option $value, --soft" "$result"
        soft_steps="$(note_step "$value" "$result" doubtful)"
        [ "${result%% *}" = pass ] || soft_best="not $value"
    fi
    echo "| $name | $others | **$best** |$steps | **$soft_best** |$soft_steps |"
}

# noise_pair "VALUES": the two-scan table's two rows, one scan (seed 1) and
# two (seeds 1 and 2) summed, both with --soft, each until it fails.
noise_pair() {
    one_best="none" one_steps="" one=go two_best="none" two_steps="" two=go
    for value in $1; do
        [ $one = go ] || [ $two = go ] || break
        scan scan "--noise $value --seed 1"
        if [ $one = go ]; then
            result=$(decode --soft scan) || exit 1
            progress "noise $value, one scan, --soft" "$result"
            one_steps="$one_steps$(note_step "$value" "$result" doubtful)"
            if [ "${result%% *}" = pass ]; then one_best=$value; else one=stop; fi
        fi
        if [ $two = go ]; then
            scan scan2 "--noise $value --seed 2"
            result=$(decode --soft scan scan2) || exit 1
            progress "noise $value, two scans, --soft" "$result"
            two_steps="$two_steps$(note_step "$value" "$result" doubtful)"
            if [ "${result%% *}" = pass ]; then two_best=$value; else two=stop; fi
        fi
    done
    echo "| one (seed 1) | **$one_best** |$one_steps |"
    echo "| two (seeds 1 and 2), summed | **$two_best** |$two_steps |"
}

echo "| effect | other effects | largest that decodes | bit error rate at each step | largest with --soft | with --soft, from the first failure (or at the last step): bit error rate, doubtful words |"
echo "|---|---|---|---|---|---|"
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

echo
echo "Two scans summed: noise on top of the default scan, read with --soft:"
echo
echo "| scans | largest noise that decodes | bit error rate of the (summed) reading, doubtful words |"
echo "|---|---|---|"
noise_pair "0.1 0.12 0.14 0.15 0.16 0.17 0.18 0.2 0.22 0.25"

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
