// scan_geometry.h - where the page lies on the sheet and on the scan.
//
// Page coordinates are continuous: page pixel (i, j) covers the unit square
// from (i, j) to (i + 1, j + 1).  Scan coordinates likewise: scan pixel
// (X, Y) covers (X, Y) to (X + 1, Y + 1), so its centre is (X + 0.5, Y + 0.5).
// The mapping is a projective transform: scale, the x/y aspect, a mild
// keystone (perspective), rotation about the page centre, and the placement
// of the page centre on the sheet.
#ifndef PAPERSCAN_SCAN_GEOMETRY_H
#define PAPERSCAN_SCAN_GEOMETRY_H

#include "scan_options.h"

#include <cstdint>

// 3 x 3, row-major, acting on (x, y, 1).
struct homography {
    double m[9];
};

struct scan_geometry {
    uint32_t sheet_width, sheet_height; // the scan, in scan pixels
    homography page_to_scan;
    homography scan_to_page;
};

void map_point(const homography &h, double x, double y, double *mapped_x, double *mapped_y);

// Builds the transform for `options`.  Prints a message and returns false
// when a corner of the page falls off the sheet.
bool make_geometry(const scan_options &options, scan_geometry *geometry);

#endif
