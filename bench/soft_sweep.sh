#!/bin/sh
# soft_sweep.sh - how the soft decision does where the hard decision fails.
#
#   bench/soft_sweep.sh [build directory] > sweep.txt
#
# (CAP=2 bench/soft_sweep.sh caps the margins at twice the median instead of
# at the median, as unpaprel does.)
# Encodes one full page of random payload, scans it with paperscan at levels
# of blur, noise, dot gain, dot loss, low resolution and dust around and
# beyond what the hard decision corrects (on top of paperscan's default
# scan), three seeds each, and also pairs of scans with different seeds.
# For each scan (or pair) soft_sweep counts, against the payload, the
# damaged words, the hard decision's irreparable and silently wrong words,
# the soft decision's wrong words, and for a series of doubt thresholds
# (natural log-likelihood) the doubtful words and the accepted words that
# are wrong, each strictly and as unpaprel --soft decides (A/B).  One line
# per scan, then the sums over the single scans at unpaprel's threshold, 6.
# About ten minutes on one core.
set -eu

build=$(cd "${1:-build}" && pwd)
for program in encoder/paprel tools/paperscan/paperscan bench/soft_sweep; do
    [ -x "$build/$program" ] || { echo "missing $build/$program: build first" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/soft_sweep.XXXXXX")
trap 'rm -rf "$work"' EXIT
perl -e 'srand(1); print map { chr(int(rand(256))) } 1 .. 199773' > "$work/payload"
"$build/encoder/paprel" "$work/payload" "$work/page" 2> /dev/null

# scan NAME OPTIONS: one scan of the page as NAME_0001.png.
scan() {
    name=$1
    shift
    "$build/tools/paperscan/paperscan" "$@" "$work/$name" "$work/page_0001.pgm"
}

# measure LABEL SCAN...: one line of counts.
measure() {
    label=$1
    shift
    printf '%s: ' "$label"
    "$build/bench/soft_sweep" "${CAP:-1}" "$work/payload" "$@" 2> /dev/null || echo "no page"
}

{
while read -r effect option values; do
    for value in $values; do
        for seed in 1 2 3; do
            scan s "$option" "$value" --seed "$seed"
            measure "$effect $value seed $seed" "$work/s_0001.png"
        done
    done
done << 'SETTINGS'
blur --blur 0.5 0.55 0.6 0.65
noise --noise 0.1 0.12 0.15
dot-gain --dot-gain 0.8 0.85
dot-loss --dot-gain -0.4 -0.45
scale --scale 1.3 1.2
dust --dust 1000
SETTINGS
} | tee "$work/single"

while read -r effect option value; do
    scan a "$option" "$value" --seed 1
    scan b "$option" "$value" --seed 2
    measure "$effect $value, seed 1" "$work/a_0001.png"
    measure "$effect $value, seeds 1 and 2 summed" "$work/a_0001.png" "$work/b_0001.png"
done << 'PAIRS'
blur --blur 0.6
blur --blur 0.65
noise --noise 0.15
dust --dust 1000
PAIRS

# The sums over the single scans, at unpaprel's threshold.
awk '{
    for (i = 1; i < NF; i++) {
        if ($i == "damaged") damaged += $(i + 1)
        if ($i == "hard_irreparable") irreparable += $(i + 1)
        if ($i == "hard_wrong") hard_wrong += $(i + 1)
        if ($i == "soft_wrong") soft_wrong += $(i + 1)
        if ($i == "llr<6:") { split($(i + 2), d, "/"); split($(i + 4), w, "/"); doubtful += d[2]; wrong += w[2] }
    }
} END {
    printf "single scans: %d damaged words; hard decision: %d irreparable, %d silently wrong; ", damaged, irreparable, hard_wrong
    printf "--soft: %d wrong before the doubt, %d doubtful, %d accepted and wrong (%.2g of the damaged words)\n", soft_wrong, doubtful, wrong, wrong / damaged
}' "$work/single"
