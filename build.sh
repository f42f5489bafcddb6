#!/bin/sh
# build.sh - set up, build and run on a fresh Debian machine.
#
#   ./build.sh demo            install what is missing, build, encode the bundled example
#   ./build.sh check           install what is missing, build, run the whole test suite
#   ./build.sh check-sanitize  the test suite once more under ASan and UBSan
set -eu
cd "$(dirname "$0")"

packages="cmake g++ make libpng-dev zlib1g-dev libgtest-dev ghostscript"

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

case "${1:-}" in
demo)
    install_missing
    build build
    rm -rf demo-out && mkdir demo-out
    build/encoder/paprel examples/sample.txt demo-out/sample
    ls -l demo-out
    echo "Encoded examples/sample.txt into the pages above; print them at 600 dpi."
    ;;
check)
    install_missing
    build build
    (cd build && ctest --output-on-failure -j "$(nproc)")
    ;;
check-sanitize)
    install_missing
    build build-sanitize -DPAPREL_SANITIZE=ON
    (cd build-sanitize && ctest --output-on-failure -j "$(nproc)")
    ;;
*)
    echo "usage: $0 demo | check | check-sanitize" >&2
    exit 2
    ;;
esac
