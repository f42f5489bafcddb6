// scan_page.cpp - the stages of one simulated scan, in the order they
// happen to the light: optics, streaks in the print, dirt on the glass,
// lamp and sensor.
//
// Reads the page bytes; writes the sheet.  Each effect draws from its own
// random stream, so changing one does not move the dust or the noise of
// another.
#include "scan_page.h"

#include "blemishes.h"
#include "optics.h"
#include "random.h"

namespace {

enum seed_stream : uint64_t { stream_dirt = 1, stream_noise = 2 };

} // namespace

bool scan_page(const uint8_t *page, uint32_t number, const scan_options &options,
               const scan_geometry &geometry, sheet *s)
{
    page_optics optics{};
    bool ok = make_page_optics(page, options, &optics);
    if (ok)
        render_page(optics, options, geometry, s);
    free_page_optics(&optics);
    ok = ok && add_streaks(s, options, geometry);
    uint64_t page_seed = derive_seed(options.seed, number);
    ok = ok && add_dirt(s, options, geometry, derive_seed(page_seed, stream_dirt));
    if (ok)
        add_light_and_noise(s, options, derive_seed(page_seed, stream_noise));
    return ok;
}
