// Border dirt removal: specks cut off by white paper are erased, the page and
// anything touching it stay, and the fill never runs out of queue.
#include "page_state.h"

#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <memory>
#include <queue>

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

// Breadth-first walk from `start` through pixels where `open` is true;
// returns the longest the queue of pending pixels gets.
size_t longest_front(const std::vector<bool> &open, uint32_t size, uint32_t start_x,
                     uint32_t start_y, std::vector<bool> &seen)
{
    std::queue<std::pair<uint32_t, uint32_t>> front;
    size_t longest = 0;
    if (!open[start_y * size + start_x] || seen[start_y * size + start_x])
        return 0;
    front.push({start_x, start_y});
    seen[start_y * size + start_x] = true;
    while (!front.empty()) {
        auto [x, y] = front.front();
        front.pop();
        const int steps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (const auto &s : steps) {
            uint32_t nx = x + s[0], ny = y + s[1];
            if (nx < size && ny < size && open[ny * size + nx] && !seen[ny * size + nx]) {
                seen[ny * size + nx] = true;
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
            longest_front(is_paper, 128, seed, other, seen),
                longest_front(is_paper, 128, other, seed, seen);
    std::vector<bool> rest(img.pixels.size());
    for (size_t i = 0; i < img.pixels.size(); i++)
        rest[i] = !seen[i];
    std::vector<bool> seen_by_page(img.pixels.size());
    ASSERT_GT(longest_front(rest, 128, 64, 64, seen_by_page), 2u * 128 + 5);

    dirt_result r = remove_from(img, 125);
    EXPECT_EQ(r.messages, report(0));
    EXPECT_EQ(r.image, img.pixels);
    EXPECT_EQ(r.work, std::vector<uint8_t>(img.pixels.size(), 0));
}

} // namespace
