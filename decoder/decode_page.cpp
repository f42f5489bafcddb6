// decode_page.cpp - one scanned page, from the open file to its payload.
//
// Runs the stages in their fixed order on one page record: the scan is read
// and its levels measured, the white margin cleaned, the page's corners
// found (and a turned scan set the right way up), its crosses found, the
// image conditioned, the label read, every bit read and corrected with its
// data going to standard output, and the page's damage reported.  It
// stops at the first stage that fails and says which failure it was; it
// prints no failure itself (the driver does) and leaves the page's buffers
// allocated, since the failure image shows the scan after dirt removal.
// release_page frees them.  For the stage profile it can also take the
// processor time of every stage.
#include "page_state.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

const char *const stage_names[stage_count] = {
    "load_png",        "find_levels", "remove_dirt",   "corners+geometry",  "find_crosses",
    "condition_image", "read_label",  "mark_geometry", "bits+golay+output", "report_page_damage",
};

namespace {

double processor_milliseconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

// Where the stage times go, if anywhere, and when the last stage ended.
struct stage_clock {
    stage_times *times;
    double last;
};

// The time since the last lap is `stage`'s.
void lap(stage_clock &clock, stage_id stage)
{
    if (!clock.times)
        return;
    const double now = processor_milliseconds();
    clock.times->milliseconds[stage] = now - clock.last;
    clock.last = now;
}

// The label as read, on one line, for --labels.
void print_label(const page_label &label)
{
    if (!label.read) {
        fputs("Label: cannot be read with confidence (smudged, cut off, or not drawn by paprel)\n",
              stderr);
        return;
    }
    char line[label_line_size];
    label_line_text(label, line);
    fprintf(stderr, "Label: %s\n", line);
}

// The scan in memory, its levels, a clean margin, the corners and the
// geometry that follows from them.
page_status locate_page(page_state &page, stage_clock &clock)
{
    page_status status = load_png(page);
    lap(clock, load_png_stage);
    if (status != page_decoded)
        return status;
    find_levels(page);
    lap(clock, find_levels_stage);
    status = remove_dirt(page);
    lap(clock, remove_dirt_stage);
    if (status != page_decoded)
        return status;
    page.failure.corner = find_corners(page);
    if (page.failure.corner == corner_found)
        page.failure.corner = turn_page_upright(page);
    if (page.failure.corner != corner_found)
        return corner_not_found;
    status = estimate_geometry(page);
    lap(clock, geometry_stage);
    return status;
}

// The crosses, the conditioned image and the label: all that the sampling
// of the bits needs.
page_status prepare_sampling(decoder_run &run, page_state &page, stage_clock &clock)
{
    const page_status crosses = find_crosses(page);
    lap(clock, find_crosses_stage);
    if (crosses != page_decoded)
        return crosses;
    condition_image(page);
    lap(clock, condition_image_stage);
    read_label(page);
    if (run.show_labels)
        print_label(page.label);
    lap(clock, read_label_stage);
    mark_geometry(page);
    lap(clock, mark_geometry_stage);
    return page_decoded;
}

// The bits and the page's report.
page_status read_page(decoder_run &run, page_state &page, stage_clock &clock)
{
    clear_damage_stats(run);
    read_page_bits(run, page);
    lap(clock, read_bits_stage);
    const bool written = report_page(run, page);
    lap(clock, report_damage_stage);
    return written ? page_decoded : output_not_written;
}

void begin_page(decoder_run &run, page_state &page)
{
    page.page_height = run.page_height;
    page.close_frame_gaps = true; // a cut frame must not cost the page (frame_gaps.cpp)
    page.max_pixels = run.max_pixels;
    page.image = page.work = nullptr;
    page.search_area = nullptr;
    page.failure = page_failure{corner_found, 0, "", 0};
}

} // namespace

namespace {

// Every stage before the bits, on a fresh page record.
page_status ready_for_bits(decoder_run &run, page_state &page, stage_clock &clock)
{
    begin_page(run, page);
    const page_status status = locate_page(page, clock);
    return status == page_decoded ? prepare_sampling(run, page, clock) : status;
}

} // namespace

page_status decode_page(decoder_run &run, page_state &page, stage_times *times)
{
    stage_clock clock = {times, times ? processor_milliseconds() : 0.0};
    const page_status status = ready_for_bits(run, page, clock);
    return status == page_decoded ? read_page(run, page, clock) : status;
}

page_status sample_page(decoder_run &run, page_state &page, float *margins)
{
    stage_clock clock = {nullptr, 0.0};
    const page_status status = ready_for_bits(run, page, clock);
    if (status == page_decoded)
        read_page_margins(page, margins, run.codeword_step);
    return status;
}

bool report_page(decoder_run &run, const page_state &page)
{
    report_page_damage(run);
    if (run.damage.golay_stats[4] > 0)
        explain_damage(page);
    // A full disk or a closed pipe must not pass for a decoded page.
    return check_output(run);
}

void release_page(page_state &page)
{
    free(page.image);
    free(page.search_area);
    free(page.work);
    page.image = page.work = nullptr;
    page.search_area = nullptr;
}
