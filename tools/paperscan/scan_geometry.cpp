// scan_geometry.cpp - the projective map from page to scan and back.
//
// Built as a product of small matrices in the order the effects happen to a
// point of the page: centre it, keystone, scale, rotate, place on the sheet.
// The inverse is what rendering uses: every scan pixel asks where on the
// page it looks.
#include "scan_geometry.h"

#include "page_format.h"

#include <cmath>
#include <cstdio>

namespace {

homography multiply(const homography &a, const homography &b)
{
    homography r{};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            for (int k = 0; k < 3; k++)
                r.m[3 * i + j] += a.m[3 * i + k] * b.m[3 * k + j];
    return r;
}

// The adjugate divided by the determinant.
homography invert(const homography &h)
{
    const double *m = h.m;
    homography r{{m[4] * m[8] - m[5] * m[7], m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
                  m[5] * m[6] - m[3] * m[8], m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
                  m[3] * m[7] - m[4] * m[6], m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]}};
    double det = m[0] * r.m[0] + m[1] * r.m[3] + m[2] * r.m[6];
    for (double &v : r.m)
        v /= det;
    return r;
}

homography translation(double dx, double dy)
{
    return homography{{1, 0, dx, 0, 1, dy, 0, 0, 1}};
}

// The forward map, page to scan.
homography page_to_scan(const scan_options &o, uint32_t sheet_width, uint32_t sheet_height)
{
    const double w = page_width, h = page_height;
    // Keystone: w' = 1 + p * v / h with v from -h/2 to h/2 divides the top
    // (w' = 1 - p/2) by less than the bottom, so the top comes out wider.
    homography keystone{{1, 0, 0, 0, 1, 0, 0, o.perspective / h, 1}};
    homography scale{{o.scale, 0, 0, 0, o.scale * o.aspect, 0, 0, 0, 1}};
    double a = o.rotate * (3.14159265358979323846 / 180.0);
    // Counter-clockwise as seen with y pointing down: the page x axis turns
    // towards the top of the scan.
    homography rotation{{cos(a), sin(a), 0, -sin(a), cos(a), 0, 0, 0, 1}};
    // Centred: the unrotated page's top-left corner on a whole scan pixel,
    // so that a page at an integer scale lines up with the scan pixels.
    double left = floor((sheet_width - o.scale * w) * 0.5);
    double top = floor((sheet_height - o.scale * o.aspect * h) * 0.5);
    homography place = translation(left + o.scale * w * 0.5 + o.offset_x,
                                   top + o.scale * o.aspect * h * 0.5 + o.offset_y);
    homography r = multiply(keystone, translation(-w * 0.5, -h * 0.5));
    r = multiply(scale, r);
    r = multiply(rotation, r);
    return multiply(place, r);
}

} // namespace

void map_point(const homography &h, double x, double y, double *mapped_x, double *mapped_y)
{
    const double *m = h.m;
    double d = m[6] * x + m[7] * y + m[8];
    *mapped_x = (m[0] * x + m[1] * y + m[2]) / d;
    *mapped_y = (m[3] * x + m[4] * y + m[5]) / d;
}

bool make_geometry(const scan_options &options, scan_geometry *geometry)
{
    geometry->sheet_width = options.sheet_width;
    geometry->sheet_height = options.sheet_height;
    geometry->page_to_scan = page_to_scan(options, options.sheet_width, options.sheet_height);
    geometry->scan_to_page = invert(geometry->page_to_scan);
    const double corners[4][2] = {
        {0, 0}, {page_width, 0}, {0, page_height}, {page_width, page_height}};
    for (const auto &c : corners) {
        double x = 0, y = 0;
        map_point(geometry->page_to_scan, c[0], c[1], &x, &y);
        if (!(x >= 0 && y >= 0 && x <= options.sheet_width && y <= options.sheet_height)) {
            fprintf(stderr,
                    "paperscan: the page does not fit on the %u x %u sheet: its corner "
                    "%g,%g would be at %.1f,%.1f\n",
                    options.sheet_width, options.sheet_height, c[0], c[1], x, y);
            return false;
        }
    }
    return true;
}
