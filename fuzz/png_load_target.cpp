// png_load_target.cpp - fuzz target: the decoder's PNG input on any bytes.
//
// Every input must end one of two ways: an 8-bit grey image with its work
// buffer and the file closed, or a refusal with a reason, the file closed
// and nothing left allocated.  Anything else, and any sanitizer report, is
// a finding.  Declared sizes above max_pixels are skipped: such scans are
// legal, but each run would take seconds; the size limits have their own
// command-line tests.
#include "fuzz_input.h"
#include "page_state.h"

#include <cstdlib>

namespace {

constexpr uint64_t max_pixels = 2000000;

page_state page;

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
    page.failure.reason = nullptr;
    const page_status status = load_png(page);
    if (status == page_decoded) {
        // The image has the size its header declared, and the file is closed.
        if (page.scan_file || !page.image || !page.work ||
            (uint64_t)page.width * page.height != declared_pixels(data, size))
            abort();
    } else if (status != scan_unreadable || page.scan_file || page.image || page.work ||
               !page.failure.reason || !*page.failure.reason) {
        abort();
    }
    free(page.image);
    free(page.work);
    page.image = page.work = nullptr;
    free(copy);
    return 0;
}
