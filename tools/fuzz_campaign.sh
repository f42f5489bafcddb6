#!/bin/sh
# fuzz_campaign.sh - a libFuzzer campaign over the decoder's fuzz targets.
#
#   tools/fuzz_campaign.sh [seconds per target] [targets...]
#
# Builds build-fuzz with clang (-DPAPREL_FUZZ=ON) if needed, then runs each
# target in turn, one process at nice 10, starting from the committed seeds
# (fuzz/corpus/<target>) and the regression inputs (fuzz/regressions/<target>),
# growing a working corpus in build-fuzz/campaign/<target>/corpus.  A crash,
# leak, timeout or out-of-memory input is saved as
# build-fuzz/campaign/<target>/artifacts/<kind>-<hash>; copy it into
# fuzz/regressions/<target>/ once mended so the replay test keeps it fixed.
# Prints the executions and the findings of each target at the end.
# Targets: png_load page_decode command_line (default: all three).
set -eu
cd "$(dirname "$0")/.."

seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=${*:-png_load page_decode command_line}
build=build-fuzz

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DPAPREL_FUZZ=ON \
        -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target fuzz_png_load fuzz_page_decode fuzz_command_line \
    >/dev/null

summary=""
for target in $targets; do
    work="$build/campaign/$target"
    mkdir -p "$work/corpus" "$work/artifacts"
    seeds="fuzz/corpus/$target"
    [ -d "fuzz/regressions/$target" ] && seeds="$seeds fuzz/regressions/$target"
    log="$work/fuzz.log"
    echo "fuzzing $target for $seconds s (log: $log)"
    # -close_fd_mask=3: the decoder's payload and messages are not wanted;
    # libFuzzer keeps its own copy of standard error for its reports.
    # A run is stopped after 30 s (a hang) or 2 GB (runaway allocation).
    status=0
    nice -n 10 "$build/fuzz/fuzz_$target" "$work/corpus" $seeds \
        -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -close_fd_mask=3 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    found=$(ls "$work/artifacts" | wc -l)
    summary="$summary$target: ${runs:-?} executions, $found findings, exit status $status
"
done
printf '%s' "$summary"
