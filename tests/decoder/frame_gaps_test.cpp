// Dirt removal on a page whose frame has a gap: the leak is
// found, closed and only the dirt outside erased; the ordinary fills stay
// where the page has no leak, where the gap cannot be closed, where the page
// runs off the image, and for the one cut the decoder reads through; and the
// erosion and dilation of the closing against a square-by-square model.
#include "dirt_fill.h"

#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint8_t paper = 230, ink = 20;

struct test_image {
    uint32_t width, height;
    std::vector<uint8_t> pixels;

    test_image(uint32_t w, uint32_t h) : width(w), height(h), pixels((size_t)w * h, paper) {}
    uint8_t &at(uint32_t x, uint32_t y) { return pixels[(size_t)y * width + x]; }
    void block(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, uint8_t v)
    {
        for (uint32_t y = y0; y <= y1; y++)
            for (uint32_t x = x0; x <= x1; x++)
                at(x, y) = v;
    }
};

// The page: a frame two pixels thick from (30, 20) to (109, 79) on a
// 140 x 100 scan, and inside it ink with single paper pixels that never
// touch each other (as random bits keep white from running far), so a white
// line through the page cuts off what lies beyond it.  Three specks of dirt
// lie in the margin, far from the frame.
constexpr uint32_t left = 30, top = 20, right = 109, bottom = 79;

test_image gap_page()
{
    test_image img(140, 100);
    img.block(left, top, right, bottom, ink);
    for (uint32_t y = top + 2; y <= bottom - 2; y++)
        for (uint32_t x = left + 2; x <= right - 2; x++)
            if ((x * 7 + y * 3) % 11 == 0)
                img.at(x, y) = paper;
    img.block(5, 7, 6, 8, ink);     // 4 pixels
    img.at(130, 90) = ink;          // 1
    img.block(10, 60, 12, 60, ink); // 3
    return img;
}
constexpr unsigned long margin_dirt = 8;

struct dirt_result {
    std::string messages;
    std::vector<uint8_t> image, work;
};

// remove_dirt as unpaprel runs it after find_levels: the histogram counts
// the image, and the cutlevels lie between ink and paper.
dirt_result remove_from(const test_image &img, bool close_gaps)
{
    auto page = std::make_unique<page_state>();
    dirt_result r;
    r.image = img.pixels;
    r.work.assign(img.pixels.size(), 17);
    page->width = img.width;
    page->height = img.height;
    page->image = r.image.data();
    page->work = r.work.data();
    for (uint8_t v : img.pixels)
        page->histogram[v]++;
    page->cutlevel = 60;
    page->fill_cutlevel = 125;
    page->close_frame_gaps = close_gaps;
    r.messages = capture_stderr([&] { EXPECT_EQ(remove_dirt(*page), page_decoded); });
    return r;
}

std::string closed_report(unsigned gap, unsigned long erased)
{
    return "Removing dirt from the white border: white border identified, data area identified, "
           "the white border runs into the page through a gap in the frame; with gaps up to " +
           std::to_string(gap) + " pixels wide closed, erased " + std::to_string(erased) +
           " pixels of dirt.\n";
}

// The image with the margin's specks painted white.
test_image without_dirt(test_image img)
{
    img.block(5, 7, 6, 8, 255);
    img.at(130, 90) = 255;
    img.block(10, 60, 12, 60, 255);
    return img;
}

TEST(frame_gaps, column_streak_keeps_the_print_and_erases_the_dirt_outside)
{
    for (uint32_t x : {left + 20, right - 9}) { // the cut part left of the centre, or right
        SCOPED_TRACE(x);
        test_image img = gap_page();
        img.block(x, top, x, bottom, paper); // one pixel wide, through both edges of the frame
        dirt_result ordinary = remove_from(img, false);
        EXPECT_NE(ordinary.image, without_dirt(img).pixels) << "the print beyond the line goes";
        dirt_result closed = remove_from(img, true);
        EXPECT_EQ(closed.messages, closed_report(2, margin_dirt));
        EXPECT_EQ(closed.image, without_dirt(img).pixels);
    }
}

TEST(frame_gaps, white_reaching_the_centre_took_all_print_and_wider_lines_take_wider_closing)
{
    // A white band through the centre: the margin floods the middle and
    // the ordinary fills would erase every dark pixel of the page.
    for (uint32_t wide : {1u, 2u, 4u, 6u, 8u}) {
        SCOPED_TRACE(wide);
        test_image img = gap_page();
        img.block(0, 50, 139, 50 + wide - 1, paper);
        dirt_result closed = remove_from(img, true);
        const unsigned gap = wide % 2 == 0 ? wide : wide + 1;
        EXPECT_EQ(closed.messages, closed_report(gap, margin_dirt));
        EXPECT_EQ(closed.image, without_dirt(img).pixels);
    }
}

TEST(frame_gaps, a_cut_at_the_bottom_is_read_through_and_one_at_the_top_or_side_is_not)
{
    // The first two cut off the frame's two rows and nothing more; the
    // decoder finds lower corners two rows high and reads on, upper ones it
    // does not.  The third, a steep line, takes the lower left corner and
    // moves it sideways along the bottom, which it does not read either.
    // The fourth, lines that meet inside the page, cuts a piece out of its
    // left side and leaves every corner where it was.
    test_image low = gap_page(), high = gap_page(), steep = gap_page(), notch = gap_page();
    notch.block(0, 35, left + 20, 35, paper);
    notch.block(left + 20, 35, left + 20, 65, paper);
    notch.block(0, 65, left + 20, 65, paper);
    low.block(0, bottom - 2, 139, bottom - 2, paper);
    high.block(0, top + 2, 139, top + 2, paper);
    for (uint32_t y = bottom - 30; y <= bottom + 2; y++) { // two wide, so four-connected
        const uint32_t x = left - 1 + (y - (bottom - 30)) / 3;
        steep.at(x, y) = steep.at(x + 1, y) = paper;
    }
    dirt_result low_ordinary = remove_from(low, false), low_closed = remove_from(low, true);
    EXPECT_EQ(low_closed.messages, low_ordinary.messages);
    EXPECT_EQ(low_closed.image, low_ordinary.image);
    EXPECT_EQ(low_closed.work, low_ordinary.work);
    EXPECT_NE(low_ordinary.image, without_dirt(low).pixels);
    for (const test_image &cut : {high, steep, notch}) {
        EXPECT_NE(remove_from(cut, false).image, without_dirt(cut).pixels);
        dirt_result closed = remove_from(cut, true);
        EXPECT_EQ(closed.messages, closed_report(2, margin_dirt));
        EXPECT_EQ(closed.image, without_dirt(cut).pixels);
    }
}

// The part of `img` from (x0, y0) on, `w` x `h`: a scan that cut the page.
test_image crop(const test_image &img, uint32_t x0, uint32_t y0, uint32_t w, uint32_t h)
{
    test_image out(w, h);
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++)
            out.at(x, y) = img.pixels[(size_t)(y + y0) * img.width + x + x0];
    return out;
}

TEST(frame_gaps, what_cannot_be_closed_is_erased_as_it_always_was)
{
    test_image wide = gap_page(); // 9 pixels: more than the widest gap closed
    wide.block(50, 0, 58, 99, paper);
    // Pages running off the scan on the right and at the top, with a white
    // line through the centre that lets the margin in.
    test_image across = gap_page(), down = gap_page();
    across.block(0, 50, 139, 50, paper);
    down.block(70, 0, 70, 99, paper);
    const test_image cases[] = {wide, crop(across, 0, 0, 100, 100), crop(down, 0, 30, 140, 70)};
    for (const test_image &img : cases) {
        SCOPED_TRACE(std::to_string(img.width) + " x " + std::to_string(img.height));
        dirt_result ordinary = remove_from(img, false), closed = remove_from(img, true);
        EXPECT_EQ(closed.messages, ordinary.messages);
        EXPECT_EQ(closed.image, ordinary.image);
        EXPECT_EQ(closed.work, ordinary.work);
        EXPECT_NE(ordinary.image, img.pixels) << "the margin ran into the page";
    }
}

TEST(frame_gaps, a_field_of_dirt_without_a_gap_is_erased_as_it_always_was)
{
    // Far more dirt than the leak test lets pass unexamined: the closed
    // fills find it all again, so the ordinary ones stay.
    test_image img = gap_page();
    std::mt19937 random(4);
    for (int speck = 0; speck < 300; speck++) {
        uint32_t x = random() % 140, y = random() % 100;
        if (x + 4 < left || x > right + 4 || y + 4 < top || y > bottom + 4)
            img.at(x, y) = ink;
    }
    dirt_result ordinary = remove_from(img, false), closed = remove_from(img, true);
    EXPECT_NE(ordinary.messages.find("erased "), std::string::npos);
    EXPECT_EQ(closed.messages, ordinary.messages);
    EXPECT_EQ(closed.image, ordinary.image);
    EXPECT_EQ(closed.work, ordinary.work);
}

// --- the closing's passes against the square they stand for ---------------

struct marks_page {
    std::unique_ptr<page_state> page = std::make_unique<page_state>();
    std::vector<uint8_t> work, columns;

    marks_page(uint32_t w, uint32_t h, std::vector<uint8_t> marks)
        : work(std::move(marks)), columns(w + 1)
    {
        page->width = w;
        page->height = h;
        page->work = work.data();
    }
};

// Whether `in_set` holds for some pixel of the image within `half` of
// (x, y) in both directions.
template <typename set_test>
bool set_near(const std::vector<uint8_t> &marks, uint32_t w, uint32_t h, uint32_t x, uint32_t y,
              uint32_t half, set_test in_set)
{
    for (int64_t dy = -(int64_t)half; dy <= (int64_t)half; dy++)
        for (int64_t dx = -(int64_t)half; dx <= (int64_t)half; dx++) {
            int64_t nx = x + dx, ny = y + dy;
            if (nx >= 0 && ny >= 0 && nx < w && ny < h && in_set(marks[(size_t)ny * w + nx]))
                return true;
        }
    return false;
}

TEST(frame_gaps, erosion_and_dilation_are_those_of_the_square)
{
    unsigned seed = 11;
    for (uint32_t w : {1u, 5u, 63u, 64u, 65u, 131u})
        for (uint32_t h : {1u, 4u, 37u})
            for (uint32_t half : {1u, 2u, 4u}) {
                SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + ", half " +
                             std::to_string(half));
                std::mt19937 random(seed++);
                // Erosion follows the classification (paper and dark), the
                // dilation the margin fill (paper, dark and visited).
                std::vector<uint8_t> classified((size_t)w * h), filled((size_t)w * h);
                for (size_t i = 0; i < classified.size(); i++) {
                    unsigned r = random() % 16;
                    classified[i] = r < 11 ? unvisited_paper : unvisited_dark;
                    filled[i] = r < 9 ? unvisited_paper : r < 13 ? unvisited_dark : visited;
                }
                auto not_paper = [](uint8_t m) { return m != unvisited_paper; };
                auto is_visited = [](uint8_t m) { return m == visited; };
                std::vector<uint8_t> eroded = classified, grown = filled;
                for (uint32_t y = 0; y < h; y++)
                    for (uint32_t x = 0; x < w; x++) {
                        uint8_t &e = eroded[(size_t)y * w + x], &g = grown[(size_t)y * w + x];
                        if (e == unvisited_paper &&
                            set_near(classified, w, h, x, y, half, not_paper))
                            e = unvisited_dark;
                        if (set_near(filled, w, h, x, y, half, is_visited))
                            g = visited;
                    }
                marks_page erode(w, h, classified), grow(w, h, filled);
                erode_paper(*erode.page, half, erode.columns.data());
                grow_visited(*grow.page, half, grow.columns.data());
                EXPECT_EQ(erode.work, eroded);
                EXPECT_EQ(grow.work, grown);
            }
}

TEST(frame_gaps, the_dark_pixels_counted_are_those_the_fills_take_for_dark)
{
    std::mt19937 random(23);
    test_image img(97, 61);
    for (uint8_t &v : img.pixels)
        v = (uint8_t)random();
    for (uint8_t cut : {0, 1, 100, 254, 255}) {
        auto page = std::make_unique<page_state>();
        std::vector<uint8_t> image = img.pixels, work(image.size());
        page->width = img.width;
        page->height = img.height;
        page->image = image.data();
        page->work = work.data();
        for (uint8_t v : image)
            page->histogram[v]++;
        page->fill_cutlevel = cut;
        classify_pixels(*page);
        uint64_t marked_dark = 0;
        for (uint8_t m : work)
            marked_dark += m == unvisited_dark;
        EXPECT_EQ(dark_pixel_count(*page), marked_dark) << (int)cut;
    }
}

} // namespace
