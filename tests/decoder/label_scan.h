// label_scan.h - pages of paprel's own, printed and scanned by paperscan's
// model, read by the decoder's stages as far as the label.
//
// The tests of read_label need many scans of real labels under every effect
// of the simulated channel.  A whole page takes seconds to scan, the label
// needs only the last rows of crosses and the strip under them, so
// scan_label_strip scans only a window of the sheet around the bottom of
// the page and runs the decoder's stages on it as decode_page would, with
// the corner search replaced by the page's true geometry: the levels, every
// cross of the last rows searched from a prediction off its true centre, the
// conditioning, and read_label.  scan_whole_page scans the whole sheet and
// decodes it with decode_page, for the cases that must show the chain as
// unpaprel runs it.
#ifndef TESTS_DECODER_LABEL_SCAN_H
#define TESTS_DECODER_LABEL_SCAN_H

#include "page_state.h"
#include "scan_geometry.h"
#include "scan_options.h"
#include "sheet.h"

#include <cstdint>
#include <functional>
#include <vector>

// A page as paprel composes it: the label of page `number` of `count` with
// `name`, and random data words from `seed` in every codeword.
std::vector<uint8_t> paprel_page(uint32_t number, uint32_t count, const char *name, uint32_t seed);

// A decoder page record with its buffers, after read_label.
struct scanned_label {
    page_state page{};
    decoder_run run{};
    ~scanned_label();
};

// Something done to the scanned sheet before it is written (a stain), with
// the map from page to sheet.
using sheet_edit = std::function<void(sheet &, const homography &page_to_scan)>;

// The window of the scan around the label strip through the stages; false
// (with a test failure recorded) when a step fails.  The stages' messages
// are captured and dropped.  The sheet is sized to fit the page at any
// skew; options.sheet_width and sheet_height are not used.
bool scan_label_strip(const std::vector<uint8_t> &page, const scan_options &options,
                      scanned_label &out, const sheet_edit &edit = nullptr);

// The whole page on the sheet of `options`, through decode_page: the
// payload goes to /dev/null, the messages are captured and dropped.
bool scan_whole_page(const std::vector<uint8_t> &page, const scan_options &options,
                     scanned_label &out);

#endif
