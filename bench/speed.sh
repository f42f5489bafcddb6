#!/bin/sh
# speed.sh - how fast unpaprel and paprel are against the least each must do.
#
#   bench/speed.sh [build directory] [runs]         ratios, peak memory, stage profile
#   bench/speed.sh linearity [build directory]      1, 10 and 100 pages
#   bench/speed.sh scans [build directory] [runs]    the decoder on a clean, a
#                                                    noisy and a dusty sheet
#
# Decoder: one 600-dpi sheet (5100 x 7014 pixels, 8-bit grey PNG, the page
# turned by 0.3 degrees) made by paperscan from a page of random payload.
# unpaprel decodes it with its debug image, standard output and standard
# error going to files; png_read_baseline only reads the same PNG through
# libpng with the same gamma handling.  Encoder: paprel on 20 MB of random
# bytes (101 pages) against write_baseline, which writes as many page files
# of the same size into the same directory.  Each pair runs alternately
# `runs` times (default 5); the medians of the wall times and their ratio
# are printed, with the peak resident memory of each program and, for the
# decoder, the processor time of every stage (bench/stage_profile).
#
# Inputs are made once and kept in $PAPREL_SPEED_CACHE (default
# /tmp/paprel-speed-cache); nothing is written into the source tree.  Needs
# the built programs and bench targets, and /usr/bin/time (Debian: time).
set -eu
cd "$(dirname "$0")/.."
mode=ratios
if [ "${1:-}" = linearity ] || [ "${1:-}" = scans ]; then
    mode=$1
    shift
fi
build=$(cd "${1:-build}" && pwd)
runs=${2:-5}
cache=${PAPREL_SPEED_CACHE:-/tmp/paprel-speed-cache}
format=0-65-93-24-3-1-2-24

for program in encoder/paprel decoder/unpaprel tools/paperscan/paperscan bench/png_read_baseline \
               bench/write_baseline bench/stage_profile; do
    [ -x "$build/$program" ] || { echo "speed.sh: $build/$program is not built" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "speed.sh: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

mkdir -p "$cache"

# The scan of one full page of random payload, made once.
prepare_scan() {
    [ -f "$cache/sheet/scan_0001.png" ] && return 0
    rm -rf "$cache/sheet" && mkdir -p "$cache/sheet"
    (cd "$cache/sheet" &&
        head -c 199773 /dev/urandom > payload.bin &&
        "$build/encoder/paprel" payload.bin page &&
        "$build/tools/paperscan/paperscan" --sheet 5100x7014 --rotate 0.3 scan page_0001.pgm &&
        rm page_0001.pgm)
}

# Random payloads of `bytes` bytes, made once.
prepare_payload() { # name bytes
    [ -f "$cache/$1" ] || head -c "$2" /dev/urandom > "$cache/$1"
}

# Runs a command under /usr/bin/time; appends "wall user system maxrss_kb"
# to the file $1.  The wall time comes from the clock in nanoseconds:
# /usr/bin/time gives it in hundredths, too coarse for the encoder's
# tenth of a second.
timed() { # result file, command...
    out=$1
    shift
    start=$(date +%s%N)
    /usr/bin/time -o "$out.one" -f "%U %S %M" "$@"
    end=$(date +%s%N)
    echo "$start $end $(tail -n 1 "$out.one")" |
        awk '{ printf "%.3f %s %s %s\n", ($2 - $1) / 1e9, $3, $4, $5 }' >> "$out"
}

median() { # file column
    sort -n -k "$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}

largest() { # file column
    sort -n -k "$2" "$1" | tail -n 1 | awk -v c="$2" '{ print $c }'
}

report() { # label, program result file, baseline result file
    m=$(median "$2" 1)
    b=$(median "$3" 1)
    echo "$1: median wall ${m} s against ${b} s, ratio $(echo "$m $b" | awk '{ printf "%.2f", $1 / $2 }');" \
         "user+system $(awk '{ print $2 + $3 }' "$2" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }') s" \
         "against $(awk '{ print $2 + $3 }' "$3" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }') s;" \
         "peak RSS $(largest "$2" 4) KB against $(largest "$3" 4) KB"
}

decode_pages() { # directory with scan_NNNN.png, result file
    (cd "$1" && timed "$2" "$build/decoder/unpaprel" "$format" scan > payload.out 2> payload.err) || true
    rm -f "$1"/scan_*_debug.pgm
}

encode_pages() { # payload, directory, result file
    rm -rf "$2" && mkdir -p "$2"
    (cd "$2" && timed "$3" "$build/encoder/paprel" "$1" page)
    rm -rf "$2"
}

write_pages() { # pages, directory, result file
    rm -rf "$2" && mkdir -p "$2"
    (cd "$2" && timed "$3" "$build/bench/write_baseline" "$1" page)
    rm -rf "$2"
}

ratios() {
    prepare_scan
    prepare_payload payload_20mb.bin 20000000
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    ln -s "$cache/sheet/scan_0001.png" "$work/scan_0001.png"
    echo "Machine: $(nproc) cores, $(grep -m 1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "Decoder on $(basename "$cache")/sheet/scan_0001.png, $runs runs each, alternating:"
    for i in $(seq "$runs"); do
        timed "$work/baseline" "$build/bench/png_read_baseline" "$work/scan_0001.png" > /dev/null
        decode_pages "$work" "$work/decoder"
    done
    cmp -s "$work/payload.out" "$cache/sheet/payload.bin" || echo "  (payload differs from the one encoded!)"
    report "  unpaprel / PNG read" "$work/decoder" "$work/baseline"
    echo "Encoder on 20 MB of random bytes (101 pages), $runs runs each, alternating:"
    for i in $(seq "$runs"); do
        write_pages 101 "$work/pages" "$work/writes"
        encode_pages "$cache/payload_20mb.bin" "$work/pages" "$work/encoder"
    done
    report "  paprel / page writes" "$work/encoder" "$work/writes"
    echo "Decoder stages, processor time (median of $runs):"
    "$build/bench/stage_profile" "$cache/sheet/scan_0001.png" "$runs" 2>&1 | sed 's/^/  /'
    rm -f "$cache/sheet/scan_0001.png_profile.pgm"
}

# 1, 10 and 100 pages: the encoder on payloads of that many full pages, the
# decoder on that many copies of the one scan.
linearity() {
    prepare_scan
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    for pages in 1 10 100; do
        prepare_payload "payload_${pages}p.bin" $((pages * 199773))
        encode_pages "$cache/payload_${pages}p.bin" "$work/pages" "$work/enc_$pages"
        mkdir -p "$work/scans_$pages"
        for n in $(seq "$pages"); do
            ln -s "$cache/sheet/scan_0001.png" "$work/scans_$pages/$(printf 'scan_%04d.png' "$n")"
        done
        decode_pages "$work/scans_$pages" "$work/dec_$pages"
        rm -rf "$work/scans_$pages"
        echo "$pages pages: paprel $(median "$work/enc_$pages" 1) s, unpaprel $(median "$work/dec_$pages" 1) s" \
             "(peak RSS $(largest "$work/enc_$pages" 4) KB and $(largest "$work/dec_$pages" 4) KB)"
    done
}

# The sheet's page scanned again under other conditions, made once: name,
# then paperscan's options.
prepare_variant() {
    name=$1
    shift
    [ -f "$cache/$name/scan_0001.png" ] && return 0
    rm -rf "$cache/$name" && mkdir -p "$cache/$name"
    (cd "$cache/$name" &&
        "$build/encoder/paprel" "$cache/sheet/payload.bin" page &&
        "$build/tools/paperscan/paperscan" --sheet 5100x7014 "$@" scan page_0001.pgm &&
        rm page_0001.pgm)
}

# The decoder against the PNG read on scans whose compression and damage
# differ from the standard sheet's: no noise at all, more noise, and dust
# that leaves thousands of corrected bits to report.
scans() {
    prepare_scan
    prepare_variant clean --rotate 0.2 --noise 0 --illumination 0
    prepare_variant noisy --rotate 0.4 --noise 0.03
    prepare_variant dusty --rotate 0.3 --dust 400 --blur 0.45 --noise 0.02
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    for name in clean noisy dusty; do
        mkdir -p "$work/$name"
        ln -s "$cache/$name/scan_0001.png" "$work/$name/scan_0001.png"
        for i in $(seq "$runs"); do
            timed "$work/$name.baseline" "$build/bench/png_read_baseline" "$work/$name/scan_0001.png" > /dev/null
            decode_pages "$work/$name" "$work/$name.decoder"
        done
        cmp -s "$work/$name/payload.out" "$cache/sheet/payload.bin" || echo "  (payload differs from the one encoded!)"
        report "  $name: unpaprel / PNG read" "$work/$name.decoder" "$work/$name.baseline"
    done
}

$mode
