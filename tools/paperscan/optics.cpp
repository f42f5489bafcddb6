// optics.cpp - blurred, dot-gained toner coverage of a page, sampled for
// every scan pixel through the inverse page transform.
//
// Reads the page bytes and the options; writes the sheet.  The toner of a
// page is split into horizontal strips (see optics.h): strip 2n + 1 is the
// core of page row n, strip 2n the band where the growth of rows n - 1 and n
// meets.  Each strip's pattern is blurred along x once, into a table of 12
// samples per page pixel; the y direction is integrated exactly per scan
// pixel.  So a scan pixel costs a handful of table reads whatever its
// position, rotation or scale, and no page-sized oversampled image exists.
#include "optics.h"

#include "page_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double edge_resolution = 1024.0; // at least this many profile entries per page pixel
constexpr uint32_t kernel_variants = 4;    // grows left (bit 0), grows right (bit 1)
// Page rows one scan pixel can see; the option ranges keep the vertical
// reach under 2 + 25 + 0.45 page pixels, so 57 rows at most.
constexpr int max_weight_rows = 64;

double normal_cdf(double z)
{
    return 0.5 * erfc(-z * 0.70710678118654752440);
}

// Antiderivative of the Gaussian edge: d/du ramp(u) = Phi(u / sigma).
double gaussian_ramp(double u, double sigma)
{
    if (sigma <= 0.0)
        return u > 0.0 ? u : 0.0;
    double z = u / sigma;
    return u * normal_cdf(z) + sigma * 0.39894228040143267794 * exp(-0.5 * z * z);
}

// The edge (integrated kernel) of a Gaussian convolved with a box: the box
// average of the Gaussian's own edge.
double edge_value(double t, double sigma, double box)
{
    double v = (gaussian_ramp(t + 0.5 * box, sigma) - gaussian_ramp(t - 0.5 * box, sigma)) / box;
    return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

inline float edge_lookup(const edge_profile &profile, double t)
{
    double x = (t + profile.reach) * profile.resolution;
    if (!(x > 0.0))
        return 0.0f;
    if (x >= (double)(profile.count - 1))
        return 1.0f;
    uint32_t k = (uint32_t)x;
    float f = (float)(x - k);
    return profile.table[k] + f * (profile.table[k + 1] - profile.table[k]);
}

bool is_toner(uint8_t value)
{
    return value < 128;
}

// Strip q's 1-D toner pattern, one byte per page column (1 = toner).
void strip_pattern(const uint8_t *page, uint32_t q, bool grow, uint8_t *pattern)
{
    uint32_t n = q / 2;
    const uint8_t *below = n < page_height ? page + (size_t)n * page_width : nullptr;
    const uint8_t *above = n > 0 ? page + (size_t)(n - 1) * page_width : nullptr;
    for (uint32_t i = 0; i < page_width; i++) {
        bool b = below && is_toner(below[i]);
        if (q % 2 == 1) {
            pattern[i] = b;
            continue;
        }
        bool a = above && is_toner(above[i]);
        // Growth joins the two rows' toner; shrinkage keeps only where both are.
        pattern[i] = grow ? (a || b) : (a && b);
    }
}

// kernels[v][r]: the blurred profile of one toner pixel of variant v, at the
// samples r / 12 - pad page pixels from its left edge.
void make_kernels(const page_optics &o, uint32_t length, float *kernels)
{
    const double m = profile_oversampling;
    for (uint32_t v = 0; v < kernel_variants; v++) {
        double left = (v & 1) ? o.half_gain : 0.0, right = (v & 2) ? o.half_gain : 0.0;
        for (uint32_t r = 0; r < length; r++) {
            double x = (double)r / m - o.pad;
            kernels[v * length + r] =
                edge_lookup(o.edge_x, x + left) - edge_lookup(o.edge_x, x - 1.0 - right);
        }
    }
}

// Blurs one strip's pattern along x into its row of profiles.
void build_strip(const page_optics &o, const uint8_t *pattern, const float *kernels,
                 uint32_t length, float *accumulator, uint16_t *profile)
{
    memset(accumulator, 0, o.samples * sizeof(float));
    for (uint32_t i = 0; i < page_width; i++) {
        if (!pattern[i])
            continue;
        uint32_t v =
            (i == 0 || !pattern[i - 1]) | (uint32_t)(i + 1 == page_width || !pattern[i + 1]) << 1;
        const float *kernel = kernels + v * length;
        float *out = accumulator + (size_t)i * profile_oversampling;
        for (uint32_t r = 0; r < length; r++)
            out[r] += kernel[r];
    }
    for (uint32_t k = 0; k < o.samples; k++) {
        float c = accumulator[k];
        c = c < 0.0f ? 0.0f : (c > 1.0f ? 1.0f : c);
        profile[k] = (uint16_t)(c * 65535.0f + 0.5f);
    }
}

// Scan-pixel bounding box of everything the page can darken.
void page_box(const page_optics &o, const scan_geometry &g, int64_t box[4])
{
    double margin = o.pad + o.edge_y.reach + fabs(o.half_gain) + 1.0;
    double xs[2] = {-margin, page_width + margin}, ys[2] = {-margin, page_height + margin};
    double lo_x = 1e300, lo_y = 1e300, hi_x = -1e300, hi_y = -1e300;
    for (double px : xs)
        for (double py : ys) {
            double x = 0, y = 0;
            map_point(g.page_to_scan, px, py, &x, &y);
            lo_x = fmin(lo_x, x), hi_x = fmax(hi_x, x);
            lo_y = fmin(lo_y, y), hi_y = fmax(hi_y, y);
        }
    box[0] = (int64_t)fmax(0.0, floor(lo_x));
    box[1] = (int64_t)fmax(0.0, floor(lo_y));
    box[2] = (int64_t)fmin((double)g.sheet_width, ceil(hi_x));
    box[3] = (int64_t)fmin((double)g.sheet_height, ceil(hi_y));
}

} // namespace

bool make_edge_profile(double sigma, double box, edge_profile *profile)
{
    profile->reach = 0.5 * box + 5.0 * sigma;
    profile->count = (uint32_t)ceil(2.0 * profile->reach * edge_resolution) + 1;
    // The last entry sits exactly at +reach, so a sharp edge (no blur), which
    // is a straight ramp between -reach and +reach, is exact at both ends.
    profile->resolution = (profile->count - 1) / (2.0 * profile->reach);
    profile->table = (float *)malloc((size_t)profile->count * sizeof(float));
    if (!profile->table) {
        fprintf(stderr, "paperscan: cannot allocate the edge profile\n");
        return false;
    }
    for (uint32_t k = 0; k < profile->count; k++)
        profile->table[k] = (float)edge_value(k / profile->resolution - profile->reach, sigma, box);
    return true;
}

void free_edge_profile(edge_profile *profile)
{
    free(profile->table);
    profile->table = nullptr;
}

float edge_at(const edge_profile &profile, double t)
{
    return edge_lookup(profile, t);
}

bool make_page_optics(const uint8_t *page, const scan_options &options, page_optics *o)
{
    *o = page_optics{};
    if (!make_edge_profile(options.blur, 1.0 / options.scale, &o->edge_x) ||
        !make_edge_profile(options.blur, 1.0 / (options.scale * options.aspect), &o->edge_y))
        return false;
    o->half_gain = 0.5 * options.dot_gain;
    if (2.0 * ceil(o->edge_y.reach + fabs(o->half_gain)) + 2.0 > max_weight_rows) {
        fprintf(stderr, "paperscan: blur and scale reach too far across the page\n");
        return false;
    }
    o->pad = (int32_t)ceil(o->edge_x.reach + fabs(o->half_gain)) + 1;
    o->samples = (page_width + 2 * (uint32_t)o->pad) * profile_oversampling + 1;
    o->strips = 2 * page_height + 1;
    uint32_t length = (2 * (uint32_t)o->pad + 1) * profile_oversampling + 1;
    size_t profile_bytes = (size_t)o->strips * o->samples * sizeof(uint16_t);
    o->profiles = (uint16_t *)malloc(profile_bytes);
    o->has_toner = (uint8_t *)malloc(o->strips);
    float *kernels = (float *)malloc(kernel_variants * length * sizeof(float));
    float *accumulator = (float *)malloc(o->samples * sizeof(float));
    uint8_t *pattern = (uint8_t *)malloc(page_width);
    bool ok = o->profiles && o->has_toner && kernels && accumulator && pattern;
    if (!ok) {
        fprintf(stderr, "paperscan: cannot allocate %zu bytes for the page profiles\n",
                profile_bytes);
    } else {
        make_kernels(*o, length, kernels);
        // Without growth the bands between rows have no height: skip them.
        // Strips without toner are left unfilled, which also keeps the
        // memory of a mostly white page from ever being touched.
        for (uint32_t q = 0; q < o->strips; q++) {
            strip_pattern(page, q, o->half_gain >= 0.0, pattern);
            o->has_toner[q] = (q % 2 == 1 || o->half_gain != 0.0) && memchr(pattern, 1, page_width);
            if (o->has_toner[q])
                build_strip(*o, pattern, kernels, length, accumulator,
                            o->profiles + (size_t)q * o->samples);
        }
    }
    free(kernels);
    free(accumulator);
    free(pattern);
    return ok;
}

void free_page_optics(page_optics *o)
{
    free_edge_profile(&o->edge_x);
    free_edge_profile(&o->edge_y);
    free(o->profiles);
    free(o->has_toner);
    o->profiles = nullptr;
    o->has_toner = nullptr;
}

namespace {

// The weights of the strips near one page row position v: row n owns the
// band strip 2n from n - h to n + h and the core strip 2n + 1 from n + h to
// n + 1 - h, and a strip's weight is the kernel's integral over it.  Row
// page_height has only its band.
struct strip_weights {
    double v;
    int64_t first, last; // rows; empty when first > last
    float band[max_weight_rows], core[max_weight_rows];
};

void weigh_strips(const page_optics &o, double v, strip_weights *w)
{
    const double h = fabs(o.half_gain);
    const double reach = o.edge_y.reach + h;
    w->v = v;
    w->first = 0;
    w->last = -1;
    if (!(fabs(v) < 1e6))
        return;
    int64_t first = (int64_t)floor(v - reach), last = (int64_t)floor(v + reach);
    w->first = first < 0 ? 0 : first;
    w->last = last > (int64_t)page_height ? (int64_t)page_height : last;
    float band_top = edge_lookup(o.edge_y, v - ((double)w->first - h));
    for (int64_t n = w->first; n <= w->last; n++) {
        float core_top = h != 0.0 ? edge_lookup(o.edge_y, v - ((double)n + h)) : band_top;
        float core_bottom = edge_lookup(o.edge_y, v - ((double)n + 1.0 - h));
        bool core_exists = n < (int64_t)page_height && o.has_toner[2 * n + 1];
        w->band[n - w->first] = o.has_toner[2 * n] ? band_top - core_top : 0.0f;
        w->core[n - w->first] = core_exists ? core_top - core_bottom : 0.0f;
        band_top = core_bottom;
    }
}

float weighted_coverage(const page_optics &o, double u, const strip_weights &w)
{
    double t = (u + o.pad) * profile_oversampling;
    if (!(t >= 0.0) || t >= (double)(o.samples - 1))
        return 0.0f;
    const uint32_t k = (uint32_t)t;
    const float f = (float)(t - k);
    float sum = 0.0f;
    for (int64_t n = w.first; n <= w.last; n++) {
        float band = w.band[n - w.first], core = w.core[n - w.first];
        if (band != 0.0f) {
            const uint16_t *p = o.profiles + (size_t)(2 * n) * o.samples + k;
            sum += band * ((float)p[0] + f * ((float)p[1] - (float)p[0]));
        }
        if (core != 0.0f) {
            const uint16_t *p = o.profiles + (size_t)(2 * n + 1) * o.samples + k;
            sum += core * ((float)p[0] + f * ((float)p[1] - (float)p[0]));
        }
    }
    sum *= 1.0f / 65535.0f;
    return sum > 1.0f ? 1.0f : sum;
}

} // namespace

float coverage_at(const page_optics &o, double u, double v)
{
    strip_weights w;
    weigh_strips(o, v, &w);
    return weighted_coverage(o, u, w);
}

void render_page(const page_optics &optics, const scan_options &options,
                 const scan_geometry &geometry, sheet *s)
{
    const uint16_t paper = reflectance_sample(options.paper);
    size_t count = (size_t)s->width * s->height;
    for (size_t i = 0; i < count; i++)
        s->pixels[i] = paper;
    int64_t box[4];
    page_box(optics, geometry, box);
    const double *m = geometry.scan_to_page.m;
    const double contrast = options.paper - options.toner;
    strip_weights weights;
    weigh_strips(optics, nan(""), &weights);
    for (int64_t y = box[1]; y < box[3]; y++) {
        uint16_t *row = s->pixels + (size_t)y * s->width;
        double sx = box[0] + 0.5, sy = y + 0.5;
        // Homogeneous coordinates step linearly along a row.
        double nu = m[0] * sx + m[1] * sy + m[2], nv = m[3] * sx + m[4] * sy + m[5];
        double d = m[6] * sx + m[7] * sy + m[8];
        for (int64_t x = box[0]; x < box[2]; x++, nu += m[0], nv += m[3], d += m[6]) {
            // Unrotated, the page row position stays put along a scan row.
            double v = nv / d;
            if (v != weights.v)
                weigh_strips(optics, v, &weights);
            float c = weighted_coverage(optics, nu / d, weights);
            if (c > 0.0f)
                row[x] = reflectance_sample(options.paper - contrast * c);
        }
    }
}
