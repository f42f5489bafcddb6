// The fast decoder stages against plain models of the same rules.
//
// Each model below is written the straightforward way, from the rule the
// stage implements: a pixel-by-pixel breadth-first fill, the 2 x 2 maximum
// and minimum as two separate passes, the blur pixel by pixel, bilinear
// interpolation with floor and a bounds test for every pixel.  The stages
// must agree with them exactly - every byte, and every float to the bit -
// on images with no symmetry, on sizes around the lengths the stages work
// in, and on the points where a shortcut could go wrong: edges, zero,
// negative and not-a-number coordinates.
//
// Built with the four-lane paths (PAPREL_SIMD), the stages run them; the
// last test checks that they take the groups these tests rely on.  Built
// without, the same tests hold the plain paths alone to the same rules.
#include "bilinear.h"
#include "bit_sampling.h"
#include "simd/simd.h"
#include "stage_internals.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include <unistd.h>

namespace {

struct frames {
    std::unique_ptr<page_state> page = std::make_unique<page_state>();
    std::vector<uint8_t> image, work;

    frames(uint32_t w, uint32_t h) : image((size_t)w * h), work((size_t)w * h, 17)
    {
        page->width = w;
        page->height = h;
        page->image = image.data();
        page->work = work.data();
    }
};

// Dark blobs of random sizes on paper of random brightness, so that runs
// and regions of every shape occur.
std::vector<uint8_t> blobs(uint32_t w, uint32_t h, unsigned seed, unsigned count)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> image((size_t)w * h);
    for (auto &v : image)
        v = (uint8_t)(200 + random() % 56);
    for (unsigned b = 0; b < count; b++) {
        int cx = (int)(random() % w), cy = (int)(random() % h), r = 1 + (int)(random() % 6);
        for (int y = cy - r; y <= cy + r; y++)
            for (int x = cx - r; x <= cx + r; x++)
                if (x >= 0 && y >= 0 && x < (int)w && y < (int)h &&
                    (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                    image[(size_t)y * w + x] = (uint8_t)(random() % 120);
    }
    return image;
}

// --- dirt removal ---------------------------------------------------------

// Pixel-by-pixel four-way fill in the order of the rule (right, left, down,
// up), marking visited pixels 0 in `visited`.
void model_fill(const std::vector<uint8_t> &image, std::vector<uint8_t> &visited, uint32_t w,
                uint32_t h, uint32_t x, uint32_t y, bool use_threshold, uint8_t cut)
{
    auto open = [&](uint32_t px, uint32_t py) {
        size_t at = (size_t)py * w + px;
        return visited[at] != 0 && (!use_threshold || image[at] >= cut);
    };
    if (!open(x, y))
        return;
    std::deque<std::pair<uint32_t, uint32_t>> queue{{x, y}};
    visited[(size_t)y * w + x] = 0;
    while (!queue.empty()) {
        auto [px, py] = queue.front();
        queue.pop_front();
        const std::pair<int, int> steps[4] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (auto [dx, dy] : steps) {
            uint32_t nx = px + dx, ny = py + dy;
            if (nx < w && ny < h && open(nx, ny)) {
                visited[(size_t)ny * w + nx] = 0;
                queue.push_back({nx, ny});
            }
        }
    }
}

struct dirt_outcome {
    std::vector<uint8_t> image, work;
    uint64_t erased;
};

dirt_outcome model_remove_dirt(std::vector<uint8_t> image, uint32_t w, uint32_t h, uint8_t cut)
{
    std::vector<uint8_t> visited(image.size(), 255);
    const uint32_t seeds[8][2] = {{0, 0},     {w / 2, 0},     {w - 1, 0},     {0, h / 2},
                                  {0, h - 1}, {w - 1, h - 1}, {w - 1, h / 2}, {w / 2, h - 1}};
    for (const auto &s : seeds)
        model_fill(image, visited, w, h, s[0], s[1], true, cut);
    model_fill(image, visited, w, h, w / 2, h / 2, false, cut);
    uint64_t erased = 0;
    for (size_t i = 0; i < image.size(); i++)
        if (visited[i] == 255) {
            image[i] = 255;
            erased++;
        }
    return {image, visited, erased};
}

void check_dirt_removal(const std::vector<uint8_t> &image, uint32_t w, uint32_t h, uint8_t cut)
{
    dirt_outcome expected = model_remove_dirt(image, w, h, cut);
    frames f(w, h);
    f.image = image;
    f.page->image = f.image.data();
    f.page->fill_cutlevel = cut;
    std::string messages = capture_stderr([&] { remove_dirt(*f.page); });
    EXPECT_EQ(f.image, expected.image) << w << " x " << h << ", cutlevel " << (int)cut;
    EXPECT_EQ(f.work, expected.work) << w << " x " << h << ", cutlevel " << (int)cut;
    EXPECT_NE(messages.find("erased " + std::to_string(expected.erased) + " pixels"),
              std::string::npos)
        << messages;
}

TEST(fast_stages, dirt_removal_visits_what_a_pixel_fill_visits)
{
    // Framed pages with specks inside and out, a frame with gaps, widths
    // around the eight pixels examined at once, and plain noise.
    unsigned seed = 1;
    for (uint32_t w : {1u, 7u, 8u, 9u, 17u, 61u, 200u}) {
        for (uint32_t h : {1u, 5u, 43u}) {
            std::vector<uint8_t> image = blobs(w, h, seed++, w * h / 40 + 1);
            if (w > 6 && h > 6)
                for (uint32_t x = 2; x + 3 < w; x++)
                    for (uint32_t y : {2u, h - 3}) {
                        image[(size_t)y * w + x] = 10;
                        if (x % 23 == 5)
                            image[(size_t)y * w + x] = 230; // a gap in the frame
                    }
            for (uint8_t cut : {0, 1, 100, 128, 201, 255})
                check_dirt_removal(image, w, h, cut);
        }
    }
    std::mt19937 random(99);
    std::vector<uint8_t> noise(97 * 61);
    for (auto &v : noise)
        v = (uint8_t)random();
    for (uint8_t cut : {60, 128, 190})
        check_dirt_removal(noise, 97, 61, cut);
}

// --- conditioning ----------------------------------------------------------

std::vector<uint8_t> model_max_cycle(std::vector<uint8_t> v, uint32_t w, uint32_t h)
{
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = w - 1; x >= 1 && x < w; x--)
            v[(size_t)y * w + x] = std::max(v[(size_t)y * w + x], v[(size_t)y * w + x - 1]);
    for (uint32_t y = h - 1; y >= 1 && y < h; y--)
        for (uint32_t x = 0; x < w; x++)
            v[(size_t)y * w + x] = std::max(v[(size_t)y * w + x], v[(size_t)(y - 1) * w + x]);
    return v;
}

std::vector<uint8_t> model_min_cycle(std::vector<uint8_t> v, uint32_t w, uint32_t h)
{
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x + 1 < w; x++)
            v[(size_t)y * w + x] = std::min(v[(size_t)y * w + x], v[(size_t)y * w + x + 1]);
    for (uint32_t y = 0; y + 1 < h; y++)
        for (uint32_t x = 0; x < w; x++)
            v[(size_t)y * w + x] = std::min(v[(size_t)y * w + x], v[(size_t)(y + 1) * w + x]);
    return v;
}

std::vector<uint8_t> model_blur_cycle(const std::vector<uint8_t> &v, uint32_t w, uint32_t h)
{
    std::vector<uint8_t> out = v;
    auto at = [&](uint32_t x, uint32_t y) { return (uint32_t)v[(size_t)y * w + x]; };
    for (uint32_t y = 1; y + 1 < h; y++)
        for (uint32_t x = 1; x + 1 < w; x++)
            out[(size_t)y * w + x] =
                (uint8_t)((4 * at(x, y) +
                           2 * (at(x, y - 1) + at(x, y + 1) + at(x - 1, y) + at(x + 1, y)) +
                           at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) +
                           at(x + 1, y + 1) + 8) /
                          16);
    return out;
}

TEST(fast_stages, conditioning_cycles_match_the_two_pass_rules)
{
    std::mt19937 random(5);
    // Widths around the pieces the rows are cut into, including one short of
    // and one past whole pieces.
    for (uint32_t w : {1u, 2u, 3u, 63u, 64u, 65u, 66u, 67u, 127u, 128u, 129u, 130u, 200u, 257u}) {
        for (uint32_t h : {1u, 2u, 3u, 7u}) {
            frames f(w, h);
            for (auto &v : f.image)
                v = (uint8_t)random();
            const std::vector<uint8_t> start = f.image;
            max_cycle(*f.page);
            EXPECT_EQ(f.image, model_max_cycle(start, w, h)) << "max " << w << " x " << h;
            f.image = start;
            min_cycle(*f.page);
            EXPECT_EQ(f.image, model_min_cycle(start, w, h)) << "min " << w << " x " << h;
            f.image = start;
            blur_cycle(*f.page);
            EXPECT_EQ(f.image, model_blur_cycle(start, w, h)) << "blur " << w << " x " << h;
            EXPECT_EQ(f.work, f.image) << "blur " << w << " x " << h;
        }
    }
}

// --- bilinear sampling -----------------------------------------------------

// The interpolation rule with floor and a bounds test for every pixel.
float model_bilinear(const page_state &page, double x, double y)
{
    auto pixel = [&](double column, double row) -> float {
        if (!(column < page.width) || !(row < page.height))
            return 255.0f;
        return page.image[(size_t)row * page.width + (size_t)column];
    };
    double ix = x < 0 ? 0.0 : std::floor(x), iy = y < 0 ? 0.0 : std::floor(y);
    float p00 = pixel(ix, iy), p10 = pixel(ix + 1, iy), p01 = pixel(ix, iy + 1),
          p11 = pixel(ix + 1, iy + 1);
    float fx = (float)(x - ix), fy = (float)(y - iy);
    return (p11 * fx + p01 * (1 - fx)) * fy + (1 - fy) * (p10 * fx + p00 * (1 - fx));
}

bool same_bits(float a, float b)
{
    return memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

TEST(fast_stages, bilinear_samples_are_bit_for_bit_those_of_the_rule)
{
    const uint32_t w = 37, h = 23;
    frames f(w, h);
    std::mt19937 random(11);
    for (auto &v : f.image)
        v = (uint8_t)random();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> xs = {0.0,     -0.0,    1e-300,  -1e-300,   0.25,      1.0,     17.5,
                              w - 2.0, w - 1.5, w - 1.0, w - 1e-12, (double)w, w + 0.5, -0.5,
                              -1.0,    -3.75,   1e12,    -1e12,     nan};
    std::vector<double> ys = {0.0,     -0.0,      0.5,   11.125, h - 2.0, h - 1.25,
                              h - 1.0, (double)h, -0.75, 1e15,   nan};
    std::uniform_real_distribution<double> across(-2.0, w + 2.0), down(-2.0, h + 2.0);
    for (int i = 0; i < 300; i++) {
        xs.push_back(across(random));
        ys.push_back(down(random));
    }
    for (double x : xs)
        for (double y : ys) {
            const float expected = model_bilinear(*f.page, x, y);
            EXPECT_TRUE(same_bits(bilinear_at(grid_of(*f.page), x, y), expected)) << x << ", " << y;
            EXPECT_TRUE(same_bits(bilinear_sample(*f.page, x, y), expected)) << x << ", " << y;
        }
}

// The refinement score by the rule, with the model sampling.
float model_quadrant_score(const page_state &page, double x, double y)
{
    const float level = page.cutlevel;
    float sum = 0;
    for (int32_t ii = 0; ii < page.quadrant_half; ii++)
        for (int32_t jj = 0; jj < page.quadrant_half; jj++) {
            double i = ii, j = jj;
            sum = sum - (model_bilinear(page, i + x, j + y) - level);
            sum = sum - (model_bilinear(page, (x - 1) - i, (y - 1) - j) - level);
            sum = (model_bilinear(page, i + x, (y - 1) - j) - level) + sum;
            sum = (model_bilinear(page, (x - 1) - i, j + y) - level) + sum;
        }
    return sum;
}

TEST(fast_stages, quadrant_scores_follow_the_rule_for_small_and_large_halves)
{
    const uint32_t w = 181, h = 157;
    frames f(w, h);
    f.image = blobs(w, h, 3, 300);
    f.page->image = f.image.data();
    f.page->cutlevel = 97;
    std::mt19937 random(13);
    std::uniform_real_distribution<double> across(-5.0, w + 5.0), down(-5.0, h + 5.0);
    // Halves that split their rows once per score, and two that are too
    // large for that; points inside, near the edges and outside.
    for (int32_t n : {0, 1, 2, 6, 13, 64, 65, 70}) {
        f.page->quadrant_half = n;
        std::vector<std::pair<double, double>> points = {
            {90.3, 70.8}, {0.5, 0.5}, {w - 0.5, h - 2.0}, {-3.0, 40.0}};
        for (int i = 0; i < 12; i++)
            points.push_back({across(random), down(random)});
        for (auto [x, y] : points)
            EXPECT_TRUE(
                same_bits(quadrant_score(*f.page, x, y), model_quadrant_score(*f.page, x, y)))
                << "half " << n << " at " << x << ", " << y;
    }
}

// --- bit sampling ----------------------------------------------------------

// The bit decision and debug mark by the rule, with the model sampling.
int model_sample_bit(page_state &page, uint32_t position)
{
    int32_t x, y;
    bit_to_pixel(position, &x, &y);
    const bit_cell cell = locate_bit_cell(x, y);
    auto g = [&](int32_t i, int32_t j) { return page.cross_grid[cell.cx + i][cell.cy + j]; };
    const double fx = cell.fx, fy = cell.fy;
    const double top_x = g(1, 0).x * fx + g(0, 0).x * (1 - fx),
                 top_y = g(1, 0).y * fx + g(0, 0).y * (1 - fx);
    const double bot_x = g(1, 1).x * fx + g(0, 1).x * (1 - fx),
                 bot_y = g(1, 1).y * fx + g(0, 1).y * (1 - fx);
    const double px = (bot_x * fy + top_x * (1 - fy)) - 0.5,
                 py = (bot_y * fy + top_y * (1 - fy)) - 0.5;
    const point_f64 h = page.horizontal_vector, v = page.vertical_vector;
    const double bw = page.bit_width, bh = page.bit_height;
    const float left = model_bilinear(page, px - bw * h.x, py - bw * h.y);
    const float right = model_bilinear(page, px + bw * h.x, py + bw * h.y);
    const float below = model_bilinear(page, px + bh * v.x, py + bh * v.y);
    const float above = model_bilinear(page, px - bh * v.x, py - bh * v.y);
    const float centre = model_bilinear(page, px, py);
    const float u = centre + (((left + right) + below) + above) * -0.25f;
    const float sharpened = (float)((double)u * 7.0 + (double)centre);
    auto l = [&](int32_t i, int32_t j) { return page.cross_cutlevels[cell.cx + i][cell.cy + j]; };
    const float fxf = (float)fx, fyf = (float)fy;
    const float top = l(1, 0) * fxf + l(0, 0) * (1 - fxf),
                bottom = l(1, 1) * fxf + l(0, 1) * (1 - fxf);
    const float cut = bottom * fyf + (1 - fyf) * top;
    if (x % 8 == 0 || y % 8 == 0) {
        double rounded = std::floor((double)sharpened + 0.5);
        int32_t value = rounded <= 0 || std::isnan(rounded) ? 0
                        : rounded >= 255                    ? 255
                                                            : (int32_t)rounded;
        double column = std::floor(px + 0.5), row = std::floor(py + 0.5);
        if (column >= 0 && column < page.width && row >= 0 && row < page.height)
            page.work[(size_t)row * page.width + (size_t)column] = (uint8_t)(255 - value);
    }
    return cut > sharpened ? 1 : 0;
}

// What a page of bits leaves behind: the payload, the damage report, the
// counters and the debug marks.
struct page_of_bits {
    std::string payload, report;
    damage_stats stats;
    std::vector<uint8_t> marks;
};

// Standard output of `action`, through a temporary file.
std::string capture_stdout(const std::function<void()> &action)
{
    fflush(stdout);
    FILE *file = tmpfile();
    const int saved = dup(1);
    dup2(fileno(file), 1);
    action();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    rewind(file);
    for (int c; (c = fgetc(file)) != EOF;)
        text += (char)c;
    fclose(file);
    return text;
}

// A page of noise and blobs under a grid of crosses that is turned,
// stretched and jittered, and reaches past the image's left and top edges,
// so that every kind of sampling point occurs.  With bits only 1.2 pixels
// apart, the rings around damaged bits cover the sample marks of their
// neighbours, so the order of the marks shows.
struct bit_fixture {
    unsigned blob_seed, blob_count, grid_seed;
    float lowest_level, highest_level; // of the cross cutlevels
};

void set_up_bit_page(frames &f, const bit_fixture &fixture)
{
    f.image = blobs(f.page->width, f.page->height, fixture.blob_seed, fixture.blob_count);
    f.page->image = f.image.data();
    f.page->bit_width = 1.17;
    f.page->bit_height = 1.19;
    f.page->horizontal_vector = {0.9998, 0.02};
    f.page->vertical_vector = {-0.02, 0.9998};
    f.page->page_left = 30;
    f.page->page_top = 20;
    f.page->page_right = 1850;
    f.page->page_bottom = 2650;
    std::mt19937 random(fixture.grid_seed);
    std::uniform_real_distribution<double> jitter(-0.6, 0.6);
    std::uniform_real_distribution<float> level(fixture.lowest_level, fixture.highest_level);
    for (uint32_t i = 0; i < cross_cols; i++)
        for (uint32_t j = 0; j < cross_rows; j++) {
            f.page->cross_grid[i][j] = {-4.0 + 28.08 * i - 0.56 * j + jitter(random),
                                        -2.5 + 28.56 * j + 0.5 * i + jitter(random)};
            f.page->cross_cutlevels[i][j] = level(random);
        }
}

// Codewords 0, step, 2 step, ... of the page: read by the stage, or each bit
// sampled by the model just before the real error correction receives it.
page_of_bits read_bits(const bit_fixture &fixture, uint32_t step, bool use_model)
{
    frames f(1900, 2700);
    set_up_bit_page(f, fixture);
    page_of_bits out;
    decoder_run run;
    run.codeword_step = step;
    out.payload = capture_stdout([&] {
        out.report = capture_stderr([&] {
            if (!use_model) {
                read_page_bits(run, *f.page);
                return;
            }
            for (uint32_t k = 0; k < codewords_per_page; k += step)
                for (uint32_t n = 0; n < 24; n++)
                    receive_bit(run, *f.page, model_sample_bit(*f.page, n * codewords_per_page + k),
                                k);
            flush_damage_list();
        });
    });
    out.stats = run.damage;
    out.marks = f.work;
    return out;
}

void expect_same_bits(const page_of_bits &fast, const page_of_bits &model)
{
    EXPECT_TRUE(fast.payload == model.payload);
    EXPECT_TRUE(fast.report == model.report);
    EXPECT_EQ(0, memcmp(&fast.stats, &model.stats, sizeof fast.stats));
    EXPECT_EQ(fast.marks, model.marks);
}

// Every 5th codeword, which the stage samples one bit at a time: that keeps
// the test quick and still visits every band of the page.
TEST(fast_stages, bit_sampling_decides_and_marks_as_the_rule_does)
{
    const bit_fixture fixture = {21, 4000, 17, 40.0f, 160.0f};
    const page_of_bits fast = read_bits(fixture, 5, false), model = read_bits(fixture, 5, true);
    expect_same_bits(fast, model);
    EXPECT_GT(model.stats.golay_stats[0] + model.stats.golay_stats[1], 100u);
}

// The whole page, which the stage samples a batch of codewords at a time,
// four neighbouring bits side by side, and replays in codeword order.
TEST(fast_stages, a_page_of_bits_is_received_and_marked_in_codeword_order)
{
    const bit_fixture fixture = {29, 3000, 31, -250.0f, -150.0f};
    const page_of_bits fast = read_bits(fixture, 1, false), model = read_bits(fixture, 1, true);
    expect_same_bits(fast, model);
    // The fixture has to damage codewords both ways for the marks to overlap.
    EXPECT_GT(model.stats.golay_stats[1], 100u);
    EXPECT_GT(model.stats.golay_stats[4], 10u);
    EXPECT_EQ(model.payload.size(), (size_t)codewords_per_page * 12 / 8);
}

// --- Golay decoding ----------------------------------------------------------

// The decoding rule: the direct check, then the first table entry within
// distance 3 in index order, else irreparable; the real print_badbit reports.
uint32_t model_decode(decoder_run &run, page_state &page, uint64_t w, uint32_t k)
{
    const uint32_t d = (uint32_t)(w >> 12);
    if (golay_table[d] == w) {
        run.damage.golay_stats[0]++;
        return d;
    }
    for (uint32_t i = 0; i < 4096; i++) {
        const uint64_t e = golay_table[i] ^ w;
        const uint32_t distance = bit_count(e);
        if (distance > 3)
            continue;
        for (int32_t n = 0; n < 24; n++)
            if (e >> (23 - n) & 1)
                print_badbit(run, page, (int32_t)k, n, (int32_t)(w >> (23 - n) & 1));
        run.damage.golay_stats[distance]++;
        return i;
    }
    flush_damage_list();
    fputs("\n", stderr);
    for (int32_t n = 0; n < 24; n++)
        print_badbit(run, page, (int32_t)k, n, irreparable_kind);
    flush_damage_list();
    fputs("!\n", stderr);
    run.damage.irreparable += 4;
    run.damage.bad_bits += 4;
    run.damage.golay_stats[4]++;
    return d;
}

struct decoded {
    std::vector<uint32_t> data;
    std::string report;
    damage_stats stats;
    std::vector<uint8_t> marks;
};

decoded decode_all(const std::vector<uint64_t> &words, bool use_model)
{
    frames f(400, 500);
    f.page->bit_width = f.page->bit_height = 0.2;
    f.page->page_left = 7;
    f.page->page_top = 5;
    f.page->page_right = f.page->page_bottom = 390;
    for (uint32_t i = 0; i < cross_cols; i++)
        for (uint32_t j = 0; j < cross_rows; j++)
            f.page->cross_grid[i][j] = {5.0 + 4.8 * i, 5.0 + 4.8 * j};
    decoded out;
    decoder_run run;
    out.report = capture_stderr([&] {
        for (size_t i = 0; i < words.size(); i++) {
            uint32_t k = (uint32_t)(i * 7919 % codewords_per_page);
            out.data.push_back(use_model ? model_decode(run, *f.page, words[i], k)
                                         : decode_codeword(run, *f.page, words[i], k));
        }
        flush_damage_list();
    });
    out.stats = run.damage;
    out.marks = f.work;
    return out;
}

TEST(fast_stages, golay_decoding_finds_what_the_table_search_finds)
{
    // Two codewords with every error of up to three bits and some of four
    // (four bits are always irreparable), and random words of any distance.
    std::vector<uint64_t> words;
    for (uint32_t data : {0xFFFu, 0xA5Cu}) {
        const uint64_t c = golay_table[data];
        for (uint32_t a = 0; a < 24; a++)
            for (uint32_t b = a; b < 24; b++)
                for (uint32_t x = b; x < 24; x++) {
                    words.push_back(c ^ (1u << a) ^ (1u << b) ^ (1u << x));
                    if (a < b && b < x && x < 23 && (a + b + x) % 11 == 0)
                        words.push_back(c ^ (1u << a) ^ (1u << b) ^ (1u << x) ^ (1u << 23));
                }
    }
    std::mt19937 random(23);
    for (int i = 0; i < 1000; i++)
        words.push_back(random() & 0xFFFFFF);
    decoded fast = decode_all(words, false), model = decode_all(words, true);
    EXPECT_EQ(fast.data, model.data);
    EXPECT_TRUE(fast.report == model.report);
    EXPECT_EQ(0, memcmp(&fast.stats, &model.stats, sizeof fast.stats));
    EXPECT_EQ(fast.marks, model.marks);
    EXPECT_GT(model.stats.golay_stats[3], 0u);
    EXPECT_GT(model.stats.golay_stats[4], 0u);
}

// --- quadrant scores side by side ---------------------------------------------

// Batches of every length up to a few groups, cut from one list of points:
// each batch score must be, bit for bit, the single score of its point and
// the score by the rule.
void check_batches(const page_state &page, const std::vector<point_f64> &points)
{
    for (size_t start = 0; start < points.size(); start += 7) {
        const uint32_t count = (uint32_t)std::min<size_t>(points.size() - start, 1 + start % 11);
        std::vector<float> scores(count + 1, 1234.5f);
        quadrant_scores(page, points.data() + start, count, scores.data());
        EXPECT_EQ(scores[count], 1234.5f) << "written past the batch";
        for (uint32_t k = 0; k < count; k++) {
            const point_f64 p = points[start + k];
            EXPECT_TRUE(same_bits(scores[k], quadrant_score(page, p.x, p.y)))
                << "half " << page.quadrant_half << " at " << p.x << ", " << p.y;
            EXPECT_TRUE(same_bits(scores[k], model_quadrant_score(page, p.x, p.y)))
                << "half " << page.quadrant_half << " at " << p.x << ", " << p.y;
        }
    }
}

TEST(fast_stages, quadrant_scores_in_batches_are_the_single_scores)
{
    const uint32_t w = 211, h = 197;
    frames f(w, h);
    f.image = blobs(w, h, 41, 500);
    f.page->image = f.image.data();
    f.page->cutlevel = 113;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // 16 - 2^-49 is the double just below 16: adding 1 rounds it up to 17,
    // so its rows (or columns) do not lie as those of 16.5 do; likewise
    // 128 - 2^-46, far enough inside for a half of 64.
    const double below_16 = std::nextafter(16.0, 0.0), below_128 = std::nextafter(128.0, 0.0);
    std::mt19937 random(43);
    for (int32_t n : {0, 1, 2, 5, 6, 13, 64, 65, 70}) {
        f.page->quadrant_half = n;
        // Refinement-like clusters well inside, where whole groups go side
        // by side, around the middle so that a half of 64 still fits.
        std::vector<point_f64> points;
        std::uniform_real_distribution<double> centre_x(70.0, w - 70.0), centre_y(70.0, h - 70.0);
        std::uniform_real_distribution<double> step(-0.5, 0.5);
        for (int c = 0; c < 6; c++) {
            const double cx = centre_x(random), cy = centre_y(random);
            for (int k = 0; k < 9; k++)
                points.push_back({cx + step(random), cy + step(random)});
        }
        // Points whose samples reach the edges or lie beyond them, NaN, and
        // rows and columns rounded out of line, mixed into inside groups.
        const point_f64 odd[] = {
            {0.5, 0.5},         {w - 1.5, h / 2.0}, {w / 2.0, h - 0.25}, {-3.0, 40.0},
            {40.0, nan},        {nan, 40.0},        {n + 0.0, n + 1.0},  {n + 0.5, h - n - 1.5},
            {below_128, 100.5}, {100.5, below_128}, {below_16, below_16}};
        for (size_t k = 0; k < sizeof odd / sizeof odd[0]; k++) {
            points.insert(points.begin() + (long)(k * 5 % points.size()), odd[k]);
            points.push_back({90.25 + k, 70.75});
        }
        // Four points whose rows are out of line alike still go side by
        // side; the group must follow them.
        for (int k = 0; k < 4; k++)
            points.push_back({100.25 + k, below_128});
        for (int k = 0; k < 4; k++)
            points.push_back({below_128, 100.25 + k});
        // Rows that jump at j = 4 and at j = 3 (adding 4 or 3 reaches 17):
        // the same first and last rows, but not the same rows between.
        for (int k = 0; k < 4; k++)
            points.push_back({100.5 + k, std::nextafter(k % 2 ? 14.0 : 13.0, 0.0)});
        check_batches(*f.page, points);
    }
}

// --- samples along the page axes ------------------------------------------------

// The search area by the rule: samples less the cutlevel, row 0 and column 0
// zero, then running sums along the rows and down the columns.
std::vector<float> model_search_area(const page_state &page, point_f64 p)
{
    const int32_t c2 = 2 * page.chalf, side = 4 * page.chalf + 1;
    const point_f64 h = page.horizontal_vector, v = page.vertical_vector;
    std::vector<float> area((size_t)side * side, 0.0f);
    for (int32_t r = 1; r < side; r++)
        for (int32_t q = 1; q < side; q++) {
            const double a = q - 1 - c2, b = r - 1 - c2;
            area[q + r * side] =
                model_bilinear(page, (a * h.x + p.x) + b * v.x, (a * h.y + p.y) + b * v.y) -
                (float)page.cutlevel;
        }
    for (int32_t r = 0; r < side; r++)
        for (int32_t q = 1; q < side; q++)
            area[q + r * side] += area[q - 1 + r * side];
    for (int32_t r = 1; r < side; r++)
        for (int32_t q = 0; q < side; q++)
            area[q + r * side] += area[q + (r - 1) * side];
    return area;
}

// A cross's cutlevel by the rule.
float model_cutlevel(const page_state &page, point_f64 f)
{
    const point_f64 h = page.horizontal_vector, v = page.vertical_vector;
    const int64_t level = page.cutlevel;
    const int64_t wx = (int64_t)std::floor(page.bit_width * 2.25),
                  wy = (int64_t)std::floor(page.bit_height * 2.25);
    float above = 0, below = 0;
    uint64_t above_count = 0, below_count = 0;
    for (int64_t a = -wx; a <= wx; a++)
        for (int64_t b = -wy; b <= wy; b++) {
            const float s =
                model_bilinear(page, (a * h.x + f.x) + b * v.x, (a * h.y + f.y) + b * v.y);
            const int64_t d = (int64_t)s - level;
            if (d > 0) {
                above += (float)(d * d);
                above_count++;
            } else if (d < 0) {
                below += (float)(d * d);
                below_count++;
            }
        }
    if (above_count == 0 || below_count == 0)
        return (float)level;
    const float white = std::sqrt(above / (float)above_count) + (float)level;
    const float black = (float)level - std::sqrt(below / (float)below_count);
    return white * 0.06f + black * 0.94f;
}

TEST(fast_stages, search_areas_and_cross_cutlevels_follow_the_rule)
{
    const uint32_t w = 157, h = 131;
    frames f(w, h);
    f.image = blobs(w, h, 47, 300);
    f.page->image = f.image.data();
    f.page->cutlevel = 97;
    f.page->horizontal_vector = {0.9994, 0.0349};
    f.page->vertical_vector = {-0.0349, 0.9994};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Inside, across each edge (groups of four partly outside), outside.
    const point_f64 points[] = {{70.3, 61.7}, {33.25, 90.5},   {2.2, 60.4},  {w - 3.6, 50.1},
                                {80.8, 1.9},  {60.5, h - 2.3}, {-2.5, -1.5}, {w + 4.0, h + 0.5}};
    for (int32_t chalf : {1, 2, 3, 5}) {
        std::vector<float> area((size_t)(4 * chalf + 1) * (4 * chalf + 1));
        f.page->chalf = chalf;
        f.page->search_area = area.data();
        for (point_f64 p : points) {
            fill_search_area(*f.page, p);
            const std::vector<float> expected = model_search_area(*f.page, p);
            for (size_t i = 0; i < area.size(); i++)
                ASSERT_TRUE(same_bits(area[i], expected[i]))
                    << chalf << " at " << p.x << ", " << p.y << ": " << i;
        }
        fill_search_area(*f.page, {nan, 40.0});
        EXPECT_TRUE(same_bits(area.back(), model_search_area(*f.page, {nan, 40.0}).back()));
    }
    // Columns of 1, 3, 5, 7 and 13 samples: every remainder of four.
    for (double bit : {0.3, 0.5, 1.0, 1.4, 2.7}) {
        f.page->bit_width = 3.5 - bit;
        f.page->bit_height = bit;
        for (point_f64 p : points)
            EXPECT_TRUE(same_bits(measure_cutlevel(*f.page, p), model_cutlevel(*f.page, p)))
                << bit << " at " << p.x << ", " << p.y;
    }
}

// --- the four-lane paths -------------------------------------------------------

// The tests above compare the four-lane paths with the rules only if those
// paths take the groups offered to them: one that declined everything would
// leave the plain path to pass, and the decoder a third slower.  Where they
// are built, each must take a group well inside the image, with the values
// of the rule, and decline a group reaching past an edge without writing
// anything; in a plain build each declines everything.
TEST(fast_stages, four_lane_paths_take_groups_inside_and_leave_the_edges)
{
    const uint32_t w = 157, h = 131;
    frames f(w, h);
    f.image = blobs(w, h, 53, 300);
    f.page->image = f.image.data();
    f.page->cutlevel = 101;
    f.page->quadrant_half = 6;
    const point_f64 inside[4] = {{70.3, 61.7}, {70.55, 61.7}, {70.3, 61.95}, {71.05, 62.2}};
    float scores[4] = {-1, -1, -1, -1};
    EXPECT_EQ(simd_four_scores(*f.page, inside, scores), simd_built);
    for (int k = 0; k < 4; k++)
        EXPECT_TRUE(same_bits(
            scores[k], simd_built ? model_quadrant_score(*f.page, inside[k].x, inside[k].y) : -1))
            << k;
    // The second point's columns reach to x = -3.
    const point_f64 at_edge[4] = {{70.3, 61.7}, {3.0, 61.7}, {70.3, 61.95}, {71.05, 62.2}};
    float untouched[4] = {-1, -1, -1, -1};
    EXPECT_FALSE(simd_four_scores(*f.page, at_edge, untouched));
    EXPECT_EQ(std::vector<float>(untouched, untouched + 4), std::vector<float>(4, -1.0f));

    const sample_grid g = grid_of(*f.page);
    const point_f64 h_axis = {0.9994, 0.0349}, v_axis = {-0.0349, 0.9994};
    const offset_frame near_middle = {h_axis, v_axis, {70.3, 61.7}},
                       near_left = {h_axis, v_axis, {1.5, 61.7}};
    float samples[4] = {-1, -1, -1, -1};
    EXPECT_EQ(simd_four_offsets(g, near_middle, -3, 2, 1, 0, samples), simd_built);
    for (int k = 0; k < 4; k++) {
        const double a = -3 + k, b = 2;
        const float rule = model_bilinear(*f.page, (a * h_axis.x + 70.3) + b * v_axis.x,
                                          (a * h_axis.y + 61.7) + b * v_axis.y);
        EXPECT_TRUE(same_bits(samples[k], simd_built ? rule : -1)) << k;
    }
    EXPECT_FALSE(simd_four_offsets(g, near_left, -3, 2, 1, 0, untouched));
    EXPECT_EQ(std::vector<float>(untouched, untouched + 4), std::vector<float>(4, -1.0f));
}

TEST(fast_stages, four_lane_bit_sampling_takes_whole_groups_only)
{
    frames f(1900, 2700);
    set_up_bit_page(f, {37, 3000, 41, 60.0f, 180.0f});
    const std::vector<uint8_t> work_before = f.work;
    const uint32_t position = 13 * codewords_per_page + 70001;
    const sampled_bit unwritten = {12345, 7, 9, -3.0f};
    std::vector<sampled_bit> out(11, unwritten);
    const uint32_t taken = simd_sample_bits(*f.page, sampler_of(*f.page), position, 11, out.data());
    ASSERT_EQ(taken, simd_built ? 8u : 0u);
    // The bits by the rule, and its marks against those the lanes noted.
    std::vector<uint8_t> lane_marks = work_before;
    uint32_t marked = 0;
    for (uint32_t k = 0; k < taken; k++) {
        EXPECT_EQ(out[k].bit, model_sample_bit(*f.page, position + k)) << k;
        if (out[k].mark_pixel != no_mark) {
            lane_marks[out[k].mark_pixel] = out[k].mark_value;
            marked++;
        }
    }
    EXPECT_EQ(lane_marks, f.work);
    EXPECT_EQ(marked > 0, simd_built);
    for (uint32_t k = taken; k < 11; k++)
        EXPECT_TRUE(out[k].mark_pixel == 12345 && out[k].mark_value == 7 && out[k].bit == 9) << k;
    EXPECT_EQ(simd_sample_bits(*f.page, sampler_of(*f.page), position, 3, out.data()), 0u);
}

} // namespace
