// Border dirt removal: specks cut off by white paper are erased, the page and
// anything touching it stay, the fill never runs out of queue, and a fill
// whose stack is full parks what it cannot push and still visits the same
// pixels.
#include "dirt_fill.h"

#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <queue>
#include <random>

namespace {

constexpr uint8_t paper = 230, ink = 20;

struct test_image {
    uint32_t width, height;
    std::vector<uint8_t> pixels;

    test_image(uint32_t w, uint32_t h, uint8_t fill)
        : width(w), height(h), pixels((size_t)w * h, fill)
    {
    }
    uint8_t &at(uint32_t x, uint32_t y) { return pixels[(size_t)y * width + x]; }
    void rectangle(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, uint8_t v)
    {
        for (uint32_t x = x0; x <= x1; x++)
            at(x, y0) = at(x, y1) = v;
        for (uint32_t y = y0; y <= y1; y++)
            at(x0, y) = at(x1, y) = v;
    }
};

// A 60 x 44 scan: paper margin, a closed frame from (10, 8) to (49, 35) and
// some print inside it, placed without symmetry.
test_image framed_page()
{
    test_image img(60, 44, paper);
    img.rectangle(10, 8, 49, 35, ink);
    for (uint32_t x = 14; x < 30; x++)
        img.at(x, 12) = ink;
    img.at(40, 30) = ink;
    return img;
}

struct dirt_result {
    std::string messages;
    std::vector<uint8_t> image, work;
};

dirt_result remove_from(const test_image &img, uint8_t fill_cutlevel)
{
    auto page = std::make_unique<page_state>();
    dirt_result r;
    r.image = img.pixels;
    r.work.assign(img.pixels.size(), 17);
    page->width = img.width;
    page->height = img.height;
    page->image = r.image.data();
    page->work = r.work.data();
    page->fill_cutlevel = fill_cutlevel;
    r.messages = capture_stderr([&] { remove_dirt(*page); });
    return r;
}

std::string report(unsigned long erased)
{
    return "Removing dirt from the white border: white border identified, data area identified, "
           "erased " +
           std::to_string(erased) + " pixels of dirt.\n";
}

TEST(remove_dirt, clean_scan_keeps_every_pixel)
{
    test_image img = framed_page();
    dirt_result r = remove_from(img, 125);
    EXPECT_EQ(r.messages, report(0));
    EXPECT_EQ(r.image, img.pixels);
    EXPECT_EQ(r.work, std::vector<uint8_t>(img.pixels.size(), 0));
}

TEST(remove_dirt, specks_in_the_margin_go_with_what_they_enclose)
{
    test_image img = framed_page();
    img.rectangle(2, 30, 4, 32, ink); // a ring with one paper pixel inside
    img.at(55, 3) = ink;              // a lone speck
    img.at(50, 20) = ink;             // touches the frame: part of the page
    img.at(51, 20) = ink;
    dirt_result r = remove_from(img, 125);
    EXPECT_EQ(r.messages, report(10));
    test_image expected = img;
    expected.rectangle(2, 30, 4, 32, 255);
    expected.at(3, 31) = 255;
    expected.at(55, 3) = 255;
    EXPECT_EQ(r.image, expected.pixels);
    EXPECT_EQ(r.work[31 * 60 + 3], 255);
    EXPECT_EQ(r.work[20 * 60 + 51], 0);
}

TEST(remove_dirt, dark_band_along_an_edge_is_erased_even_under_seeds)
{
    test_image img = framed_page();
    for (uint32_t y = 0; y < 44; y++)
        img.at(0, y) = img.at(1, y) = ink; // seeds (0, 0), (0, 22), (0, 43) lie on it
    dirt_result r = remove_from(img, 125);
    EXPECT_EQ(r.messages, report(88));
    for (uint32_t y = 0; y < 44; y++)
        EXPECT_EQ(r.image[y * 60], 255);
    EXPECT_EQ(r.image[8 * 60 + 10], ink);
}

TEST(remove_dirt, dark_scanner_background_is_all_page)
{
    test_image img = framed_page();
    for (uint8_t &v : img.pixels)
        if (v == paper)
            v = 60; // everything below the fill cutlevel of 125
    img.at(30, 20) = paper;
    dirt_result r = remove_from(img, 125);
    EXPECT_EQ(r.messages, report(0));
    EXPECT_EQ(r.image, img.pixels);
    EXPECT_EQ(r.work, std::vector<uint8_t>(img.pixels.size(), 0));
}

TEST(remove_dirt, fill_cutlevel_zero_makes_everything_margin)
{
    test_image img = framed_page();
    img.at(55, 3) = 0;
    dirt_result r = remove_from(img, 0);
    EXPECT_EQ(r.messages, report(0));
    EXPECT_EQ(r.image, img.pixels);
}

TEST(remove_dirt, open_frame_lets_the_margin_in_and_the_print_is_erased)
{
    test_image img = framed_page();
    img.at(30, 35) = paper; // a gap in the bottom edge of the frame
    size_t dark = 0;
    for (uint8_t v : img.pixels)
        dark += v == ink;
    dirt_result r = remove_from(img, 125);
    EXPECT_EQ(r.messages, report(dark));
    for (size_t i = 0; i < img.pixels.size(); i++)
        EXPECT_EQ(r.image[i], img.pixels[i] == ink ? 255 : paper) << "pixel " << i;
}

// Draws an H-tree of ink corridors on paper: from the root every branch of
// a level is reached at the same time, so the page fill's front grows far
// longer than the image's sides (296 pixels on 128 x 128, where the ring
// starts with 261 entries).
void h_tree(test_image &img, uint32_t cx, uint32_t cy, uint32_t size)
{
    if (size < 4)
        return;
    uint32_t a = size / 4;
    for (uint32_t x = cx - a; x <= cx + a; x++)
        img.at(x, cy) = ink;
    for (uint32_t y = cy - a; y <= cy + a; y++)
        img.at(cx - a, y) = img.at(cx + a, y) = ink;
    for (uint32_t x : {cx - a, cx + a})
        for (uint32_t y : {cy - a, cy + a})
            h_tree(img, x, y, size / 2);
}

// Breadth-first walk from `start` through pixels where `open` is true,
// marking them in `seen`; returns the longest the queue of pending pixels
// gets.
size_t walk(const std::vector<bool> &open, uint32_t w, uint32_t h, uint32_t start_x,
            uint32_t start_y, std::vector<bool> &seen)
{
    std::queue<std::pair<uint32_t, uint32_t>> front;
    size_t longest = 0;
    if (!open[start_y * w + start_x] || seen[start_y * w + start_x])
        return 0;
    front.push({start_x, start_y});
    seen[start_y * w + start_x] = true;
    while (!front.empty()) {
        auto [x, y] = front.front();
        front.pop();
        const int steps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (const auto &s : steps) {
            uint32_t nx = x + s[0], ny = y + s[1];
            if (nx < w && ny < h && open[ny * w + nx] && !seen[ny * w + nx]) {
                seen[ny * w + nx] = true;
                front.push({nx, ny});
            }
        }
        longest = std::max(longest, front.size());
    }
    return longest;
}

TEST(remove_dirt, fill_front_longer_than_the_initial_ring_is_followed)
{
    test_image img(128, 128, paper);
    h_tree(img, 64, 64, 128);
    // The paper reached from the edges first, then the page fill's front.
    std::vector<bool> is_paper(img.pixels.size()), seen(img.pixels.size());
    for (size_t i = 0; i < img.pixels.size(); i++)
        is_paper[i] = img.pixels[i] == paper;
    for (uint32_t seed : {0u, 64u, 127u})
        for (uint32_t other : {0u, 127u})
            walk(is_paper, 128, 128, seed, other, seen),
                walk(is_paper, 128, 128, other, seed, seen);
    std::vector<bool> rest(img.pixels.size());
    for (size_t i = 0; i < img.pixels.size(); i++)
        rest[i] = !seen[i];
    std::vector<bool> seen_by_page(img.pixels.size());
    ASSERT_GT(walk(rest, 128, 128, 64, 64, seen_by_page), 2u * 128 + 5);

    dirt_result r = remove_from(img, 125);
    EXPECT_EQ(r.messages, report(0));
    EXPECT_EQ(r.image, img.pixels);
    EXPECT_EQ(r.work, std::vector<uint8_t>(img.pixels.size(), 0));
}

// A ladder of paper: rails down every other column and rungs across every
// `pitch`-th row, or turned a quarter (rails along every other row).  A
// scanline fill's front gets a seed for every rail at every rung, far more
// than the image's sides.
test_image ladder(uint32_t w, uint32_t h, uint32_t pitch, bool turned)
{
    test_image img(w, h, ink);
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++) {
            const uint32_t along = turned ? y : x, across = turned ? x : y;
            if (along % 2 == 0 || across % pitch == 0)
                img.at(x, y) = paper;
        }
    return img;
}

// Paper with ink at the given density, spots of which cut paper into
// pieces of every shape near the density where paper stops running through.
test_image speckled(uint32_t w, uint32_t h, double density, unsigned seed)
{
    test_image img(w, h, paper);
    std::mt19937 random(seed);
    std::bernoulli_distribution dark(density);
    for (uint8_t &v : img.pixels)
        if (dark(random))
            v = ink;
    return img;
}

// The marks the two fills leave, from a pixel-by-pixel breadth-first walk:
// 0 for what the margin fill (paper from the eight edge seeds) or the page
// fill (anything else from the centre) reaches, 255 or 254 for the rest.
std::vector<uint8_t> walked_marks(const test_image &img)
{
    const uint32_t w = img.width, h = img.height;
    std::vector<bool> seen(img.pixels.size()), open(img.pixels.size());
    for (size_t i = 0; i < img.pixels.size(); i++)
        open[i] = img.pixels[i] == paper;
    const uint32_t seeds[8][2] = {{0, 0},     {w / 2, 0},     {w - 1, 0},     {0, h / 2},
                                  {0, h - 1}, {w - 1, h - 1}, {w - 1, h / 2}, {w / 2, h - 1}};
    for (const auto &s : seeds)
        walk(open, w, h, s[0], s[1], seen);
    for (size_t i = 0; i < img.pixels.size(); i++)
        open[i] = !seen[i];
    walk(open, w, h, w / 2, h / 2, seen);
    std::vector<uint8_t> marks(img.pixels.size());
    for (size_t i = 0; i < marks.size(); i++)
        marks[i] = seen[i] ? 0 : img.pixels[i] == paper ? 255 : 254;
    return marks;
}

// Both fills with a stack of `capacity` entries on the marks of `img`.
std::vector<uint8_t> filled_marks(const test_image &img, uint64_t capacity, uint64_t &visited)
{
    std::vector<uint8_t> image = img.pixels, work(img.pixels.size());
    std::vector<run_seed> entries(capacity);
    auto page = std::make_unique<page_state>();
    page->width = img.width;
    page->height = img.height;
    page->image = image.data();
    page->work = work.data();
    page->fill_cutlevel = 125;
    classify_pixels(*page);
    fill_stack pending = {entries.data(), capacity, 0, 1, 0, false, 0};
    fill_margin(pending, *page);
    fill_page(pending, *page);
    EXPECT_FALSE(pending.failed);
    visited = pending.visited;
    return work;
}

void check_fills(const test_image &img, const std::string &name)
{
    const std::vector<uint8_t> expected = walked_marks(img);
    const uint64_t expected_visited = std::count(expected.begin(), expected.end(), 0);
    const uint64_t ring = 2 * std::max(img.width, img.height) + 5;
    for (uint64_t capacity : {(uint64_t)1, (uint64_t)2, (uint64_t)3, (uint64_t)8, ring}) {
        uint64_t visited = 0;
        EXPECT_EQ(filled_marks(img, capacity, visited), expected)
            << name << ", stack of " << capacity;
        EXPECT_EQ(visited, expected_visited) << name << ", stack of " << capacity;
    }
}

TEST(remove_dirt, a_full_stack_parks_seeds_and_the_fills_visit_the_same_pixels)
{
    // Ladders whose front far outgrows the stack, both ways round, with
    // pitches odd and even and sides that are not a multiple of them; ink
    // specks in paper around the density where paper falls apart.
    for (uint32_t pitch : {2u, 3u, 7u})
        for (bool turned : {false, true})
            check_fills(ladder(61, 47, pitch, turned),
                        "ladder of pitch " + std::to_string(pitch) + (turned ? " turned" : ""));
    unsigned seed = 3;
    for (double density : {0.3, 0.4, 0.45, 0.55})
        for (uint32_t w : {1u, 9u, 64u}) {
            seed++;
            check_fills(speckled(w, 50, density, seed),
                        "speckled " + std::to_string(w) + " wide at " + std::to_string(density));
        }
}

TEST(remove_dirt, ladder_of_paper_is_all_margin_and_its_ink_all_dirt)
{
    // 200 x 200: the margin fill's front would need thousands of entries
    // where the stack holds 405.  The centre (100, 100) lies on a rail, so
    // the page fill finds it visited and every ink pixel is dirt.
    test_image img = ladder(200, 200, 4, false);
    ASSERT_EQ(img.at(100, 100), paper);
    test_image expected = img;
    for (uint8_t &v : expected.pixels)
        v = v == ink ? 255 : paper;
    dirt_result r = remove_from(img, 125);
    EXPECT_EQ(r.messages, report(std::count(img.pixels.begin(), img.pixels.end(), ink)));
    EXPECT_EQ(r.image, expected.pixels);
}

} // namespace
