// stage_profile.cpp - where unpaprel spends its time on one scan.
//
//   stage_profile <scan.png> [runs]
//
// Runs the decoder's stages on the scan in the order of the driver, `runs`
// times (default 3), with a clock read between stages, and prints the
// median processor time (user and system) of every stage in milliseconds,
// which other programs on the machine disturb less than wall time.  Links
// the same stage library as unpaprel and changes none of it: the stages' own
// messages and the payload go to /dev/null, the debug image to
// <scan>_profile.pgm.  The runs share one process, so only the first pays
// for the first touch of fresh frame buffers.
#include "page_state.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double now_ms()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

const char *const stage_names[] = {
    "load_png", "find_levels", "remove_dirt", "corners+geometry", "find_crosses",
    "condition_image", "mark_geometry", "bits+golay+output", "report_page_damage", "debug image",
};
constexpr int stage_count = sizeof stage_names / sizeof stage_names[0];

page_state page;

// One decode of the scan; fills `times` with the milliseconds of each stage.
bool decode_once(const char *scan, const std::string &debug_name, double *times)
{
    page = page_state{};
    page.scan_file = fopen(scan, "rb");
    if (!page.scan_file)
        return false;
    double t = now_ms();
    auto lap = [&](int stage) { double n = now_ms(); times[stage] = n - t; t = n; };
    load_png(page);                 lap(0);
    find_levels(page);              lap(1);
    remove_dirt(page);              lap(2);
    if (find_corners(page) != corner_found)
        return false;
    estimate_geometry(page);        lap(3);
    find_crosses(page);             lap(4);
    condition_image(page);          lap(5);
    mark_geometry(page);            lap(6);
    clear_damage_stats();
    read_page_bits(page);
    fflush(stdout);                 lap(7);
    report_page_damage();           lap(8);
    dump_debug_image(page, debug_name.c_str()); lap(9);
    free(page.image);
    free(page.work);
    free(page.search_area);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: stage_profile <scan.png> [runs]\n");
        return 1;
    }
    const int runs = argc > 2 ? atoi(argv[2]) : 3;
    FILE *report = fdopen(dup(2), "w");
    settings.output_base = argv[1];
    if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr))
        return 1;
    std::vector<std::vector<double>> times(stage_count);
    for (int run = 0; run < runs; run++) {
        double t[stage_count];
        if (!decode_once(argv[1], std::string(argv[1]) + "_profile.pgm", t)) {
            fprintf(report, "stage_profile: %s does not decode\n", argv[1]);
            return 1;
        }
        for (int s = 0; s < stage_count; s++)
            times[s].push_back(t[s]);
    }
    double total = 0;
    for (int s = 0; s < stage_count; s++) {
        std::sort(times[s].begin(), times[s].end());
        double median = times[s][times[s].size() / 2];
        total += median;
        fprintf(report, "%-20s %8.1f ms\n", stage_names[s], median);
    }
    fprintf(report, "%-20s %8.1f ms (sum of medians)\n", "total", total);
    return 0;
}
