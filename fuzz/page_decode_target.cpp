// page_decode_target.cpp - fuzz target: a whole page decoded from PNG bytes.
//
// Runs decode_page on one scan, as the driver does: input, levels, dirt
// removal, corners, geometry, cross search, conditioning, the bit loop with
// error correction and payload output, and the damage report; then the
// debug image, or the failure image when a corner is missing.  Dirt
// removal closes the frame's gaps (frame_gaps.cpp) on any page whose fills
// would erase much of its dark, which fuzzed pages reach.  The payload
// and the images go to /dev/null.  A failed page does not end the process,
// so one fuzzer run can try many pages.  Declared sizes above max_pixels are
// skipped, and the bit loop reads every 97th codeword only (the first and
// the last among them): the full loop repeats the same arithmetic 133182
// times, and on a fuzzed page nearly every word is irreparable and listed
// bit by bit, which took seconds per input.
#include "fuzz_input.h"
#include "page_state.h"

#include <cstdlib>

namespace {

constexpr uint64_t max_pixels = 2000000;

// 133181 = 97 x 1373: an even number of codewords, 12 bits each, leaves
// whole bytes.
constexpr uint32_t codeword_stride = 97;

page_state page;

// After a decoded page, the run holds no part of a codeword or a byte,
// whatever the scan looked like.
void check_page_end(const decoder_run &run)
{
    if (run.output_byte != 1 || run.received_count != 0)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    discard_payload();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (declared_pixels(data, size) > max_pixels)
        return 0;
    uint8_t *copy = nullptr;
    page.scan_file = open_repaired_png(data, size, &copy);
    if (!page.scan_file)
        return 0;
    decoder_run run;
    run.codeword_step = codeword_stride;
    const page_status status = decode_page(run, page, nullptr);
    if (status == page_decoded) {
        check_page_end(run);
        dump_debug_image(page, "/dev/null");
    } else if (status == corner_not_found) {
        dump_failure_image(page, "/dev/null");
    }
    release_page(page);
    free(copy);
    return 0;
}
