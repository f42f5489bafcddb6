#!/bin/sh
# workflow_test.sh - the README's paper backup workflow, run end to end.
#
# A small directory goes through tar and xz, paprel, sheetprint's PDF and a
# 600-dpi grey Ghostscript render standing in for printer and scanner, then
# back through unpaprel and the restore commands the README recommends; the
# restored tree must equal the original file for file.  Ghostscript and, for
# the lost-page case, par2 come from Debian; without them the case is
# skipped with status 77.
#
# The case readme_steps runs the commands of the README's five steps as
# they are written there, with the programs on the PATH by their names and
# Ghostscript as the scanner of step 4.
#
# usage: workflow_test.sh tar_xz|par2_lost_page|readme_steps <paprel> <sheetprint> <unpaprel>
#                         [README.md]
set -eu

case_name=$1 paprel=$2 sheetprint=$3 unpaprel=$4 readme=${5:-}
format=0-65-93-24-3-1-2-24
page_bytes=199773

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

command -v gs >/dev/null || skip "Ghostscript (gs) is not installed; install the ghostscript package"
command -v xz >/dev/null || skip "xz is not installed; install the xz-utils package"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# size seed: pseudo-random bytes on standard output, the same for the same
# seed (a 32-bit linear congruential generator, top byte of each step; the
# products stay below 2^53, so every awk computes them exactly).
noise() {
    LC_ALL=C awk -v n="$1" -v seed="$2" 'BEGIN {
        x = seed
        for (i = 0; i < n; i++) { x = (x * 69069 + 1) % 4294967296; printf "%c", int(x / 16777216) }
    }'
}

# A directory with text, binary data that does not compress, an empty file,
# a name with a space and a subdirectory; $1 bytes of noise.
make_tree() {
    mkdir -p notes/keys
    printf 'Recovery codes\n==============\n7F3A-19QX-KK20\nB812-00ZT-4M1C\n' > notes/codes.txt
    noise "$1" 11 > "notes/keys/backup key.bin"
    : > notes/keys/empty
    noise 1000 5 | od -An -tx1 > notes/dump.txt
}

# base: every PGM page of <base> printed into <base>.pdf and "scanned" into
# scan-<base>_0001.png, ... as a 600-dpi grey scanner would.
print_and_scan() {
    "$sheetprint" -o "$1.pdf" "$1"_*.pgm || fail "sheetprint $1"
    gs -q -dSAFER -sDEVICE=pnggray -r600 -o "scan-$1_%04d.png" "$1.pdf" || fail "gs $1"
}

# base output pages: unpaprel must end well, report a clean read of every
# page and give whole pages.
decode() {
    "$unpaprel" "$format" "$1" > "$2" 2> "$2.log" || { tail -n 5 "$2.log"; fail "unpaprel $1"; }
    clean=$(grep -c '^No bad bits!$' "$2.log" || true)
    [ "$clean" -eq "$3" ] || fail "$1: $clean of $3 pages read without a bad bit"
    [ "$(wc -c < "$2")" -eq $(($3 * page_bytes)) ] || fail "$1: not $3 whole pages"
}

# The main route: tar.xz on paper, restored with xz's --single-stream, which
# stops at the end of the xz stream and so ignores the zero padding.
tar_xz() {
    make_tree 20000
    tar -cJf backup.tar.xz notes
    "$paprel" backup.tar.xz backup || fail "paprel"
    [ -f backup_0001.pgm ] && [ ! -e backup_0002.pgm ] || fail "not one page"
    print_and_scan backup
    decode scan-backup restored.bin 1
    mkdir out
    xz -dc --single-stream restored.bin | tar -xf - -C out || fail "restore route"
    diff -r notes out/notes || fail "restored tree differs"
    # The recorded-length route gives the archive itself, and what it cuts
    # off is nothing but zero bytes.
    length=$(wc -c < backup.tar.xz)
    head -c "$length" restored.bin | cmp - backup.tar.xz || fail "head -c route"
    [ "$(tail -c +$((length + 1)) restored.bin | tr -d '\000' | wc -c)" -eq 0 ] ||
        fail "padding is not zero bytes"
}

# A three-page archive whose middle page is lost; the parity pages from
# par2 rebuild it.  unpaprel --keep-going writes the lost page as zero bytes
# so that the third page keeps its place, and par2 repairs that one file.
par2_lost_page() {
    command -v par2 >/dev/null || skip "par2 is not installed; install the par2 package"
    make_tree 420000
    tar -cJf backup.tar.xz notes
    par2 create -q -q -s4096 -c50 -n1 backup.tar.xz || fail "par2 create"
    tar -cf parity.tar backup.tar.xz.par2 backup.tar.xz.vol*.par2
    "$paprel" backup.tar.xz backup || fail "paprel backup"
    "$paprel" parity.tar parity || fail "paprel parity"
    [ -f backup_0003.pgm ] && [ ! -e backup_0004.pgm ] || fail "archive not on three pages"
    print_and_scan backup
    print_and_scan parity
    mkdir restore && cd restore
    rm ../scan-backup_0002.png
    status=0
    "$unpaprel" --keep-going "$format" ../scan-backup > restored.bin 2> restored.log || status=$?
    [ "$status" -eq 1 ] || fail "a run that lost a page must end with status 1, not $status"
    grep -q '^unpaprel: page 2 lost, written as 199773 zero bytes$' restored.log ||
        fail "the lost page is not named: $(tail -n 3 restored.log)"
    [ "$(wc -c < restored.bin)" -eq $((3 * page_bytes)) ] || fail "not three whole pages"
    pages=$(ls ../scan-parity_*.png | wc -l)
    decode ../scan-parity parity.bin "$pages"
    tar -xf parity.bin || fail "parity tar"
    par2 repair -q -q backup.tar.xz.par2 restored.bin || fail "par2 repair"
    cmp backup.tar.xz ../backup.tar.xz || fail "repaired archive differs"
    xz -dc backup.tar.xz | tar -xf - || fail "unpack"
    diff -r ../notes notes || fail "restored tree differs"
}

# The indented command lines of the README's five steps, each as
# "<step number> <command>".
readme_commands() {
    awk '/^## From file to paper and back/ { on = 1; next }
         on && /^## / { exit }
         on && /^\*\*[0-9]\./ { step = substr($0, 3, 1) }
         on && /^    [^ ]/ { print step " " substr($0, 5) }' "$1"
}

# run_step N: every command of step N, in order, as sh runs a typed line.
run_step() {
    readme_commands "$readme" | while read -r step command; do
        [ "$step" = "$1" ] || continue
        sh -ec "$command" > "step$1.out" 2>&1 || fail "step $1: $command: $(tail -n 3 "step$1.out")"
    done
}

readme_steps() {
    [ -f "$readme" ] || fail "no README at '$readme'"
    [ "$(readme_commands "$readme" | wc -l)" -ge 6 ] || fail "the README's steps have no commands"
    mkdir bin
    ln -s "$paprel" bin/paprel
    ln -s "$sheetprint" bin/sheetprint
    ln -s "$unpaprel" bin/unpaprel
    PATH="$work/bin:$PATH"
    export PATH
    make_tree 30000
    mv notes documents
    cp -R documents original
    for step in 1 2 3; do run_step "$step"; done
    # Step 4, the scanner: every sheet of the PDF after the cover, at
    # 600 dpi, grey.
    gs -q -dSAFER -dFirstPage=2 -sDEVICE=pnggray -r600 -o backup_%04d.png backup.pdf ||
        fail "gs scan"
    rm -rf documents
    run_step 5
    diff -r original documents || fail "the README's steps did not restore the documents"
}

case $case_name in
tar_xz | par2_lost_page | readme_steps) "$case_name" ;;
*) fail "unknown case $case_name" ;;
esac
echo "workflow $case_name: restored byte for byte"
