// blemishes.cpp - dust, hairs, scratches, streaks, uneven light and sensor
// noise.
//
// Reads and rewrites the sheet in place (linear reflectance).  Dirt is drawn
// as antialiased strokes: each stroke is rasterised into its own coverage
// map first, taking the largest coverage where its segments overlap, and
// only then blended, so a bent hair is not darker at its joints.  Dust and
// hairs absorb light (multiply); a scratch or a streak removes toner, so it
// brings the pixel back towards the paper's reflectance and leaves paper
// unchanged.
#include "blemishes.h"

#include "page_format.h"
#include "random.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t max_stroke_points = 17;

struct stroke {
    double x[max_stroke_points], y[max_stroke_points];
    uint32_t points;
    double radius; // half the width, scan pixels
};

// Coverage of one stroke over its bounding box, 0..255.
struct coverage_map {
    int64_t left, top;
    uint32_t width, height;
    uint8_t *cover; // malloc'd by map_stroke, freed by the caller
};

double distance_to_segment(double px, double py, double ax, double ay, double bx, double by)
{
    double dx = bx - ax, dy = by - ay;
    double length2 = dx * dx + dy * dy;
    double t = length2 > 0.0 ? ((px - ax) * dx + (py - ay) * dy) / length2 : 0.0;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    double ex = ax + t * dx - px, ey = ay + t * dy - py;
    return sqrt(ex * ex + ey * ey);
}

// Adds segment a-b to the map (the map covers it whole).
void cover_segment(coverage_map *map, double radius, double ax, double ay, double bx, double by)
{
    int64_t x0 = (int64_t)floor(fmin(ax, bx) - radius - 1.0) - map->left;
    int64_t x1 = (int64_t)ceil(fmax(ax, bx) + radius + 1.0) - map->left;
    int64_t y0 = (int64_t)floor(fmin(ay, by) - radius - 1.0) - map->top;
    int64_t y1 = (int64_t)ceil(fmax(ay, by) + radius + 1.0) - map->top;
    x0 = x0 < 0 ? 0 : x0, y0 = y0 < 0 ? 0 : y0;
    x1 = x1 > map->width ? map->width : x1, y1 = y1 > map->height ? map->height : y1;
    for (int64_t y = y0; y < y1; y++) {
        uint8_t *row = map->cover + (size_t)y * map->width;
        for (int64_t x = x0; x < x1; x++) {
            double d = distance_to_segment((double)(x + map->left) + 0.5,
                                           (double)(y + map->top) + 0.5, ax, ay, bx, by);
            double c = radius + 0.5 - d; // a one-pixel antialiased rim
            uint8_t v = c <= 0.0 ? 0 : (c >= 1.0 ? 255 : (uint8_t)(c * 255.0 + 0.5));
            row[x] = v > row[x] ? v : row[x];
        }
    }
}

// The coverage of `st`, clipped to the sheet; false when memory is short.
bool map_stroke(const stroke &st, uint32_t sheet_width, uint32_t sheet_height, coverage_map *map)
{
    double lo_x = st.x[0], hi_x = st.x[0], lo_y = st.y[0], hi_y = st.y[0];
    for (uint32_t i = 1; i < st.points; i++) {
        lo_x = fmin(lo_x, st.x[i]), hi_x = fmax(hi_x, st.x[i]);
        lo_y = fmin(lo_y, st.y[i]), hi_y = fmax(hi_y, st.y[i]);
    }
    double pad = st.radius + 1.0;
    map->left = (int64_t)fmax(0.0, floor(lo_x - pad));
    map->top = (int64_t)fmax(0.0, floor(lo_y - pad));
    int64_t right = (int64_t)fmin((double)sheet_width, ceil(hi_x + pad));
    int64_t bottom = (int64_t)fmin((double)sheet_height, ceil(hi_y + pad));
    map->width = right > map->left ? (uint32_t)(right - map->left) : 0;
    map->height = bottom > map->top ? (uint32_t)(bottom - map->top) : 0;
    map->cover = (uint8_t *)calloc((size_t)map->width * map->height + 1, 1);
    if (!map->cover) {
        fprintf(stderr, "paperscan: cannot allocate %u x %u bytes for dirt\n", map->width,
                map->height);
        return false;
    }
    for (uint32_t i = 0; i + 1 < st.points || i == 0; i++) {
        uint32_t j = i + 1 < st.points ? i + 1 : i;
        cover_segment(map, st.radius, st.x[i], st.y[i], st.x[j], st.y[j]);
    }
    return true;
}

enum blend_kind { absorb, scrape };

// Blends a stroke into the sheet: `strength` is the opacity for absorb; for
// scrape the pixel moves towards `paper` by the coverage.
bool draw_stroke(sheet *s, const stroke &st, blend_kind kind, double strength, double paper)
{
    coverage_map map{};
    if (!map_stroke(st, s->width, s->height, &map))
        return false;
    uint16_t paper_sample = reflectance_sample(paper);
    for (uint32_t y = 0; y < map.height; y++) {
        uint16_t *row = s->pixels + (size_t)(map.top + y) * s->width + map.left;
        const uint8_t *cover = map.cover + (size_t)y * map.width;
        for (uint32_t x = 0; x < map.width; x++) {
            if (!cover[x])
                continue;
            double c = cover[x] * (1.0 / 255.0);
            if (kind == absorb)
                row[x] = (uint16_t)(row[x] * (1.0 - strength * c) + 0.5);
            else if (row[x] < paper_sample)
                row[x] = (uint16_t)(row[x] + (paper_sample - row[x]) * c + 0.5);
        }
    }
    free(map.cover);
    return true;
}

// A hair: a quadratic curve bent sideways by up to 30 % of its length.
stroke make_hair(random_stream *r, const scan_options &o, uint32_t width, uint32_t height)
{
    stroke st{};
    double length = next_between(r, 100.0, 800.0) * o.dpi / 600.0;
    double angle = next_between(r, 0.0, 6.283185307179586);
    double x0 = next_between(r, 0.0, width), y0 = next_between(r, 0.0, height);
    double x2 = x0 + length * cos(angle), y2 = y0 + length * sin(angle);
    double bend = next_between(r, -0.3, 0.3) * length;
    double x1 = 0.5 * (x0 + x2) - bend * sin(angle), y1 = 0.5 * (y0 + y2) + bend * cos(angle);
    st.points = max_stroke_points;
    for (uint32_t i = 0; i < st.points; i++) {
        double t = (double)i / (st.points - 1);
        st.x[i] = (1 - t) * (1 - t) * x0 + 2 * t * (1 - t) * x1 + t * t * x2;
        st.y[i] = (1 - t) * (1 - t) * y0 + 2 * t * (1 - t) * y1 + t * t * y2;
    }
    st.radius = 0.5 * o.hair_width;
    return st;
}

// A scratch: a straight line through a random point of the page, 30 % to
// 90 % of the page's height long.
stroke make_scratch(random_stream *r, const scan_options &o, const scan_geometry &g)
{
    stroke st{};
    double cx = 0, cy = 0;
    map_point(g.page_to_scan, next_between(r, 0.0, page_width), next_between(r, 0.0, page_height),
              &cx, &cy);
    double half = 0.5 * next_between(r, 0.3, 0.9) * page_height * o.scale;
    double angle = next_between(r, 0.0, 3.141592653589793);
    st.points = 2;
    st.x[0] = cx - half * cos(angle), st.y[0] = cy - half * sin(angle);
    st.x[1] = cx + half * cos(angle), st.y[1] = cy + half * sin(angle);
    st.radius = 0.5 * o.scratch_width;
    return st;
}

// A streak: the page line of `line` from just above the page to just below
// it (a column) or from its left to its right (a row), so that it cuts the
// frame on both sides, mapped onto the scan.
stroke make_streak(const streak_line &line, const scan_options &o, const scan_geometry &g)
{
    const double beyond = 4.0; // page pixels past the page's edges
    const double slope = tan(line.angle * (3.141592653589793 / 180.0));
    const double across = line.along_row ? page_height : page_width;
    const double along = line.along_row ? page_width : page_height;
    const double middle = line.position * across;
    double ends[2][2];
    for (int e = 0; e < 2; e++) {
        double a = e == 0 ? -beyond : along + beyond; // along the line's axis
        double c = middle + (a - 0.5 * along) * slope;
        map_point(g.page_to_scan, line.along_row ? a : c, line.along_row ? c : a, &ends[e][0],
                  &ends[e][1]);
    }
    stroke st{};
    st.points = 2;
    st.x[0] = ends[0][0], st.y[0] = ends[0][1];
    st.x[1] = ends[1][0], st.y[1] = ends[1][1];
    // A row's width lies along the page's y axis, which the aspect stretches.
    st.radius = 0.5 * line.width * o.scale * (line.along_row ? o.aspect : 1.0);
    return st;
}

} // namespace

bool add_streaks(sheet *s, const scan_options &o, const scan_geometry &g)
{
    for (uint32_t i = 0; i < o.streak_count; i++)
        if (!draw_stroke(s, make_streak(o.streaks[i], o, g), scrape, 1.0, o.paper))
            return false;
    return true;
}

bool add_dirt(sheet *s, const scan_options &o, const scan_geometry &g, uint64_t seed)
{
    random_stream r{seed};
    double square_inches = (s->width / o.dpi) * (s->height / o.dpi);
    uint64_t specks = (uint64_t)floor(o.dust * square_inches + 0.5);
    for (uint64_t i = 0; i < specks; i++) {
        stroke st{};
        st.points = 1;
        st.x[0] = next_between(&r, 0.0, s->width), st.y[0] = next_between(&r, 0.0, s->height);
        st.radius = next_between(&r, 0.5, o.dust_size);
        if (!draw_stroke(s, st, absorb, next_between(&r, 0.6, 1.0), o.paper))
            return false;
    }
    for (uint32_t i = 0; i < o.hairs; i++) {
        stroke st = make_hair(&r, o, s->width, s->height);
        if (!draw_stroke(s, st, absorb, next_between(&r, 0.7, 0.95), o.paper))
            return false;
    }
    for (uint32_t i = 0; i < o.scratches; i++)
        if (!draw_stroke(s, make_scratch(&r, o, g), scrape, 1.0, o.paper))
            return false;
    return true;
}

double illumination_gain(double loss, uint32_t width, uint32_t height, uint32_t x, uint32_t y)
{
    double across = (x + 0.5) / width;
    double along = 2.0 * (y + 0.5) / height - 1.0;
    return 1.0 - loss * (0.6 * across + 0.4 * along * along);
}

void add_light_and_noise(sheet *s, const scan_options &o, uint64_t seed)
{
    if (o.illumination == 0.0 && o.noise == 0.0)
        return;
    random_stream r{seed};
    for (uint32_t y = 0; y < s->height; y++) {
        uint16_t *row = s->pixels + (size_t)y * s->width;
        for (uint32_t x = 0; x < s->width; x++) {
            double v = row[x] * (1.0 / 65535.0) *
                       illumination_gain(o.illumination, s->width, s->height, x, y);
            if (o.noise != 0.0)
                v += o.noise * next_normal(&r);
            row[x] = reflectance_sample(v);
        }
    }
}
