// page_decode_target.cpp - fuzz target: a whole page decoded from PNG bytes.
//
// Runs the decoder's stages in the driver's order on one scan: input,
// levels, dirt removal, corners, and then either the failure image or the
// geometry, cross search, conditioning, the bit loop with error correction
// and payload output, the damage report and the debug image.  The payload
// and the debug images go to /dev/null.  The driver's exits are left out:
// a missing corner takes the failure path's steps without ending the
// process, so one fuzzer run can try many pages.  Declared sizes above
// max_pixels are skipped, and the bit loop reads every 97th codeword only
// (the first and the last among them): the full loop repeats the same
// arithmetic 133182 times, and on a fuzzed page nearly every word is
// irreparable and listed bit by bit, which took seconds per input.
#include "fuzz_input.h"
#include "page_state.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint64_t max_pixels = 2000000;

page_state page;

void release_page()
{
    free(page.image);
    free(page.search_area);
    free(page.work);
    page.image = page.work = nullptr;
    page.search_area = nullptr;
}

constexpr uint32_t codeword_stride = 97;  // 133181 = 97 x 1373

// An even number of codewords, 12 bits each, leaves whole bytes.
void read_some_bits(page_state &page)
{
    for (uint32_t k = 0; k < codewords_per_page; k += codeword_stride)
        for (uint32_t n = 0; n < 24; n++)
            receive_bit(page, sample_bit(page, n * codewords_per_page + k), k);
}

void decode_loaded_page()
{
    find_levels(page);
    remove_dirt(page);
    if (find_corners(page) != corner_found) {
        memcpy(page.work, page.image, (size_t)page.width * page.height);
        dump_debug_image(page, "/dev/null");
        return;
    }
    estimate_geometry(page);
    find_crosses(page);
    condition_image(page);
    mark_geometry(page);
    clear_damage_stats();
    read_some_bits(page);
    report_page_damage();
    check_output();
    // A page carries a whole number of bytes, whatever its scan looked like.
    if (output_byte != 1 || received_count != 0)
        abort();
    dump_debug_image(page, "/dev/null");
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
    const char *reason = nullptr;
    if (try_load_png(page, &reason))
        decode_loaded_page();
    release_page();
    free(copy);
    return 0;
}
