#!/bin/sh
# build.sh - set up, build and run on a fresh Debian machine.
#
#   ./build.sh demo            install what is missing, build, take the bundled example
#                              to paper and back (in demo-out/), and install the programs
#                              and their manuals into $PREFIX (default ~/.local)
#   ./build.sh check           install what is missing, build, run the whole test suite
#   ./build.sh check-plain     the decoder without its SSE2 paths (PAPREL_SIMD=OFF), against
#                              the golden outputs, the plain models and its unit tests
#   ./build.sh check-sanitize  the test suite once more under ASan and UBSan
#   ./build.sh check-format    every C++ source against .clang-format (changes nothing)
set -eu
cd "$(dirname "$0")"

# ghostscript stands in for printer and scanner in the demo and the tests
# (poppler-utils: pdftotext reads the cover sheet back);
# xz-utils and par2 are the workflow test's archive and parity tools;
# clang-format checks the layout of the sources.
packages="cmake g++ make libpng-dev zlib1g-dev libgtest-dev ghostscript poppler-utils xz-utils par2 clang-format"

install_missing() {
    missing=""
    for p in $packages; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
}

build() { # build directory, extra cmake arguments...
    dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

# The whole trip on one file: paprel's pages, a PDF from sheetprint, a
# 600-dpi grey render of it as the scans, unpaprel, and the zero padding of
# the last page cut off at the length known from the original.
run_demo() { # file
    name=$(basename "$1")
    length=$(wc -c < "$1")
    rm -rf demo-out && mkdir demo-out
    # From inside demo-out, so that the label carries the bare name.
    (cd demo-out && ../build/encoder/paprel "../$1" "${name%.*}")
    build/sheetprint/sheetprint -o demo-out/pages.pdf demo-out/*_[0-9][0-9][0-9][0-9].pgm
    gs -q -dSAFER -sDEVICE=pnggray -r600 -o demo-out/scan_%04d.png demo-out/pages.pdf
    echo "demo: $(ls demo-out/scan_*.png | wc -l) page(s) printed to demo-out/pages.pdf and scanned; decoding"
    if ! build/decoder/unpaprel 0-65-93-24-3-1-2-24 demo-out/scan > demo-out/decoded 2> demo-out/unpaprel.log; then
        tail -n 5 demo-out/unpaprel.log >&2
        echo "demo: unpaprel failed; see demo-out/unpaprel.log" >&2
        exit 1
    fi
    head -c "$length" demo-out/decoded > "demo-out/$name"
    want=$(sha256sum < "$1" | cut -d " " -f 1)
    got=$(sha256sum < "demo-out/$name" | cut -d " " -f 1)
    if [ "$got" != "$want" ]; then
        echo "demo: demo-out/$name differs from $1 (sha256 $got, not $want)" >&2
        exit 1
    fi
    echo "demo: restored $1 byte for byte (sha256 $want)"
}

# The three programs and their manual pages into $PREFIX (~/.local unless
# set), so that the README's steps can call them by name.
install_programs() {
    prefix=${PREFIX:-$HOME/.local}
    cmake --install build --prefix "$prefix" >/dev/null
    echo "demo: paprel, unpaprel and sheetprint installed in $prefix/bin (manuals: man paprel)"
    case ":$PATH:" in
    *":$prefix/bin:"*) ;;
    *) echo "demo: $prefix/bin is not on your PATH yet; in this shell run: export PATH=\"$prefix/bin:\$PATH\"" ;;
    esac
}

case "${1:-}" in
demo)
    install_missing
    # Only the three programs: the demo should not wait for the tests.
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build -j "$(nproc)" --target paprel sheetprint unpaprel
    run_demo examples/sample.txt
    install_programs
    ;;
check)
    install_missing
    build build
    (cd build && ctest --output-on-failure -j "$(nproc)")
    ;;
check-plain)
    install_missing
    # Only the programs and tests that hold the decoder's plain paths to the
    # bytes the SSE2 build gives: the golden outputs and the plain models
    # (tests/golden), and the decoder's unit tests.
    cmake -S . -B build-plain -DCMAKE_BUILD_TYPE=Release -DPAPREL_SIMD=OFF >/dev/null
    cmake --build build-plain -j "$(nproc)" --target golden_tests stage_equivalence_tests decoder_tests
    (cd build-plain && ctest --output-on-failure --no-tests=error -j "$(nproc)" -L bit_exact)
    build-plain/tests/decoder/decoder_tests --gtest_brief=1
    ;;
check-sanitize)
    install_missing
    build build-sanitize -DPAPREL_SANITIZE=ON
    (cd build-sanitize && ctest --output-on-failure -j "$(nproc)")
    ;;
check-format)
    install_missing
    # The tracked sources where git knows them, else every source below here;
    # the generated label pictures (.inc) are left as their generator writes them.
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        sources=$(git ls-files '*.cpp' '*.h')
    else
        sources=$(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
    fi
    echo "$sources" | xargs clang-format --dry-run --Werror --style=file
    echo "check-format: $(echo "$sources" | wc -l) sources as .clang-format lays them out"
    ;;
*)
    echo "usage: $0 demo | check | check-plain | check-sanitize | check-format" >&2
    exit 2
    ;;
esac
