// stage_profile.cpp - where unpaprel spends its time on one scan.
//
//   stage_profile <scan.png> [runs]
//
// Decodes the scan with decode_page, as unpaprel does, `runs` times
// (default 3), with the processor time of each stage taken, and prints the
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

double processor_milliseconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

// decode_page's stages and the debug image after them.
constexpr int column_count = stage_count + 1;

const char *column_name(int column)
{
    return column < stage_count ? stage_names[column] : "debug image";
}

page_state page;

// One decode of the scan; fills `times` with the milliseconds of each
// stage and of the debug image.
bool decode_once(const char *scan, const std::string &debug_name, double *times)
{
    page.scan_file = fopen(scan, "rb");
    if (!page.scan_file)
        return false;
    decoder_run run;
    stage_times stages;
    if (decode_page(run, page, &stages) != page_decoded) {
        release_page(page);
        return false;
    }
    const double start = processor_milliseconds();
    dump_debug_image(page, debug_name.c_str());
    times[stage_count] = processor_milliseconds() - start;
    for (int s = 0; s < stage_count; s++)
        times[s] = stages.milliseconds[s];
    release_page(page);
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
    if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr))
        return 1;
    std::vector<std::vector<double>> times(column_count);
    for (int run = 0; run < runs; run++) {
        double t[column_count];
        if (!decode_once(argv[1], std::string(argv[1]) + "_profile.pgm", t)) {
            fprintf(report, "stage_profile: %s does not decode\n", argv[1]);
            return 1;
        }
        for (int s = 0; s < column_count; s++)
            times[s].push_back(t[s]);
    }
    double total = 0;
    for (int s = 0; s < column_count; s++) {
        std::sort(times[s].begin(), times[s].end());
        double median = times[s][times[s].size() / 2];
        total += median;
        fprintf(report, "%-20s %8.1f ms\n", column_name(s), median);
    }
    fprintf(report, "%-20s %8.1f ms (sum of medians)\n", "total", total);
    return 0;
}
